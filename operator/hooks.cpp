// The lifecycle hooks of the effect operators: create, describe, set-up,
// tear-down, render, gadget (the editor), delete, install, destroy.
#include <cstdio>
#include <cstring>

#include "editor/edit.h"
#include "effect/buffers.h"
#include "effect/context.h"
#include "effect/keys.h"
#include "operator/frame/dirs.h"
#include "operator/host/vxcore.h"
#include "operator/instance.h"
#include "variants/variant.h"

namespace {

EffectInstance &instanceOf(void *self)
{
    return *static_cast<EffectInstance *>(self);
}

// effectPath := our own copy of the host's name for this instance (the
// host may free its string after the call). A nameless instance of the
// warp uses spezial/warp.vlw; otherwise it has no path (logged, -1).
int lookupEffectPath(OperatorContext &ctx, uint32_t instance)
{
    ctx.effectPath = nullptr;
    const char *name = opGetCustomPrefsName(instance, ctx.operatorDir, 0, 0);
    int n;
    if (name)
        n = snprintf(ctx.effectPathBuffer, sizeof ctx.effectPathBuffer, "%s", name);
    else if (ctx.variant->hasFallbackPath)
        n = snprintf(ctx.effectPathBuffer, sizeof ctx.effectPathBuffer, "%sspezial/warp.vlw",
                     ctx.operatorDir);
    else {
        LOG_FAILURE(ctx.variant); // journal: the instance has no effect file name
        return -1;
    }
    if (n < 0 || (size_t)n >= sizeof ctx.effectPathBuffer) {
        LOG_FAILURE(ctx.variant); // journal: the effect file path is too long
        return -1;
    }
    ctx.effectPath = ctx.effectPathBuffer;
    return 0;
}

int buildDirectory(OperatorContext &ctx)
{
    return buildOperatorDir(ctx.variant, ctx.operatorDir);
}

void saveWorkingValues(OperatorContext &ctx)
{
    ctx.saved.sourcePixels = ctx.sourcePixels;
    if (ctx.variant->inputCount == 2)
        ctx.saved.targetPixels = ctx.targetPixels;
    ctx.saved.imageWidth = ctx.imageWidth;
    ctx.saved.imageHeight = ctx.imageHeight;
    ctx.saved.currentFrame = ctx.currentFrame;
    ctx.saved.workWidth = ctx.workWidth;
    ctx.saved.workHeight = ctx.workHeight;
    ctx.saved.valid = 1;
}

void restoreWorkingValues(OperatorContext &ctx)
{
    ctx.sourcePixels = ctx.saved.sourcePixels;
    if (ctx.variant->inputCount == 2)
        ctx.targetPixels = ctx.saved.targetPixels;
    ctx.imageWidth = ctx.saved.imageWidth;
    ctx.imageHeight = ctx.saved.imageHeight;
    ctx.currentFrame = ctx.saved.currentFrame;
    ctx.workWidth = ctx.saved.workWidth;
    ctx.workHeight = ctx.saved.workHeight;
    ctx.saved.valid = 0;
}

void *createAction(const VariantDesc &variant)
{
    // A plain record: its bytes are allocated like every buffer of the core,
    // and the hook of the allocator's tests can refuse them too.
    EffectInstance *instance = (EffectInstance *)allocBlock(sizeof(EffectInstance));
    if (instance)
        initEffectInstance(*instance, variant);
    return instance;
}

void destroyAction(void *self)
{
    if (!self)
        return;
    releaseEffectInstance(instanceOf(self));
    freeBlock(self);
}

const OpTagItem *describeAction(void *self, int (*entry)(ActionRecord *record))
{
    return describeEffect(instanceOf(self), entry);
}

int setupAction(void *self, ActionRecord *record)
{
    OperatorContext &ctx = instanceOf(self).ctx;
    ctx.actionRecord = record;
    // Inside the editor's preview: keep the editor's state and effect path.
    if (ctx.editorActive == 1) {
        saveWorkingValues(ctx);
        return 0;
    }
    if (buildDirectory(ctx) != 0 || lookupEffectPath(ctx, record->instance) != 0)
        return -1;
    ctx.renderPrepared = 0;
    return 0;
}

int teardownAction(void *self, ActionRecord *record)
{
    OperatorContext &ctx = instanceOf(self).ctx;
    ctx.actionRecord = record;
    if (ctx.editorActive == 1) {
        if (ctx.saved.valid)
            restoreWorkingValues(ctx);
        return 0;
    }
    releaseMeshes(ctx);
    freeKeys(ctx);
    return 0;
}

int renderAction(void *self, ActionRecord *record)
{
    instanceOf(self).ctx.actionRecord = record;
    return renderField(instanceOf(self), record);
}

int gadgetAction(void *self, ActionRecord *record)
{
    EffectInstance &instance = instanceOf(self);
    OperatorContext &ctx = instance.ctx;
    ctx.actionRecord = record;
    // A running editor owns the effect path; a second editor is refused
    // (logged a line apart from the editor's sites).
    if (ctx.editorRunning) {
        if (record->gadget != 0)
            return 0;
        LOG_FAILURE(ctx.variant); // journal: an editor is already open for this instance
        return -1;
    }
    if (buildDirectory(ctx) != 0 || lookupEffectPath(ctx, record->instance) != 0)
        return -1;
    if (record->gadget != 0)
        return 0;
    probeProjectSize(ctx.projectWidth, ctx.projectHeight);
    editEffect(instance.editor, ctx, instance.params);
    return 0;
}

int deleteAction(void *self, ActionRecord *record)
{
    OperatorContext &ctx = instanceOf(self).ctx;
    ctx.actionRecord = record;
    if (buildDirectory(ctx) != 0)
        return 0;
    const char *name = opGetCustomPrefsName(record->instance, ctx.operatorDir, 0, 0);
    if (!name) {
        LOG_FAILURE(ctx.variant); // journal: the host gave no instance name
        return 0;
    }
    remove(name);
    return 0;
}

int installAction(void *self, ActionRecord *record)
{
    OperatorContext &ctx = instanceOf(self).ctx;
    ctx.actionRecord = record;
    if (buildDirectory(ctx) != 0)
        return 0;
    installDirectory(ctx.variant, ctx.operatorDir);
    if (ctx.variant->hasFallbackPath) {
        char spezial[OPERATOR_DIR_SIZE + 16];
        snprintf(spezial, sizeof spezial, "%sspezial/", ctx.operatorDir);
        installDirectory(ctx.variant, spezial);
    }
    probeProjectSize(ctx.projectWidth, ctx.projectHeight);
    return 0;
}

} // namespace

void releaseEffectInstance(EffectInstance &instance)
{
    releaseMeshes(instance.ctx);
    freeKeys(instance.ctx);
}

extern const OperatorHooks effectOperatorHooks = {
    .create = createAction,
    .destroy = destroyAction,
    .describe = describeAction,
    .setup = setupAction,
    .teardown = teardownAction,
    .render = renderAction,
    .gadget = gadgetAction,
    .remove = deleteAction,
    .install = installAction,
};
