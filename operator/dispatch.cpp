// The action entry point of the effect operators.
#include <cstdio>
#include <cstring>

#include "editor/edit.h"
#include "effect/context.h"
#include "effect/keys.h"
#include "engine/warp.h"
#include "operator/host/vxcore.h"
#include "operator/operator.h"
#include "variants/variant.h"

// effectPath := our own copy of the host's name for this instance (the
// host may free its string after the call). A nameless instance of the
// warp uses spezial/warp.vlw; otherwise it has no path (logged, -1).
static int lookupEffectPath(uint32_t instance)
{
    ctx.effectPath = nullptr;
    const char *name = opGetCustomPrefsName(instance, ctx.operatorDir, 0, 0);
    int n;
    if (name)
        n = snprintf(ctx.effectPathBuffer, sizeof ctx.effectPathBuffer, "%s", name);
    else if (vxVariant->hasFallbackPath)
        n = snprintf(ctx.effectPathBuffer, sizeof ctx.effectPathBuffer, "%sspezial/warp.vlw",
                     ctx.operatorDir);
    else {
        LOG_FAILURE();
        return -1;
    }
    if (n < 0 || (size_t)n >= sizeof ctx.effectPathBuffer) {
        LOG_FAILURE();
        return -1;
    }
    ctx.effectPath = ctx.effectPathBuffer;
    return 0;
}

static void saveWorkingValues(void)
{
    ctx.saved.sourcePixels = ctx.sourcePixels;
    if (vxVariant->inputCount == 2)
        ctx.saved.targetPixels = ctx.targetPixels;
    ctx.saved.imageWidth = ctx.imageWidth;
    ctx.saved.imageHeight = ctx.imageHeight;
    ctx.saved.currentFrame = ctx.currentFrame;
    ctx.saved.workWidth = ctx.workWidth;
    ctx.saved.workHeight = ctx.workHeight;
    ctx.saved.valid = 1;
}

static void restoreWorkingValues(void)
{
    ctx.sourcePixels = ctx.saved.sourcePixels;
    if (vxVariant->inputCount == 2)
        ctx.targetPixels = ctx.saved.targetPixels;
    ctx.imageWidth = ctx.saved.imageWidth;
    ctx.imageHeight = ctx.saved.imageHeight;
    ctx.currentFrame = ctx.saved.currentFrame;
    ctx.workWidth = ctx.saved.workWidth;
    ctx.workHeight = ctx.saved.workHeight;
    ctx.saved.valid = 0;
}

static int setupAction(ActionRecord *record)
{
    // Inside the editor's preview: keep the editor's state and effect path.
    if (ctx.editorActive == 1) {
        saveWorkingValues();
        return 0;
    }
    if (buildOperatorDir() != 0 || lookupEffectPath(record->instance) != 0)
        return -1;
    ctx.renderPrepared = 0;
    return 0;
}

static int teardownAction(void)
{
    if (ctx.editorActive == 1) {
        if (ctx.saved.valid)
            restoreWorkingValues();
        return 0;
    }
    releaseMeshes();
    freeKeys();
    return 0;
}

static int gadgetAction(ActionRecord *record)
{
    // A running editor owns the effect path; a second editor is refused.
    if (ctx.editorRunning) {
        if (record->gadget != 0)
            return 0;
        LOG_FAILURE();
        return -1;
    }
    if (buildOperatorDir() != 0 || lookupEffectPath(record->instance) != 0)
        return -1;
    if (record->gadget != 0)
        return 0;
    probeProjectSize();
    editEffect();
    return 0;
}

static int deleteAction(ActionRecord *record)
{
    if (buildOperatorDir() != 0)
        return 0;
    const char *name = opGetCustomPrefsName(record->instance, ctx.operatorDir, 0, 0);
    if (!name) {
        LOG_FAILURE();
        return 0;
    }
    remove(name);
    return 0;
}

static int installAction(void)
{
    if (buildOperatorDir() != 0)
        return 0;
    installDirectory(ctx.operatorDir);
    if (vxVariant->hasFallbackPath) {
        char spezial[OPERATOR_DIR_SIZE + 16];
        snprintf(spezial, sizeof spezial, "%sspezial/", ctx.operatorDir);
        installDirectory(spezial);
    }
    probeProjectSize();
    return 0;
}

VX_EXPORT int OperatorAction(ActionRecord *record)
{
    if (!record)
        return -1;
    ctx.actionRecord = record;
    switch (record->action) {
    case ACTION_SETUP:
        return setupAction(record);
    case ACTION_TEARDOWN:
        return teardownAction();
    case ACTION_RENDER:
        return renderField(record);
    case ACTION_GADGET:
        return gadgetAction(record);
    case ACTION_DELETE:
        return deleteAction(record);
    case ACTION_INSTALL:
        return installAction();
    default:
        return 0;
    }
}
