// VorluxOp's table: its facts and the lifecycle hooks of the transition.

#include "operator/frame/dirs.h"
#include "transition/instance.h"
#include "variants/variant.h"

namespace {

TransitionInstance &instanceOf(void *self)
{
    return *static_cast<TransitionInstance *>(self);
}

void *createAction(const VariantDesc &)
{
    // A plain record: its bytes are allocated like every buffer of the core,
    // and the hook of the allocator's tests can refuse them too.
    TransitionInstance *instance = (TransitionInstance *)allocBlock(sizeof(TransitionInstance));
    if (instance)
        initTransitionInstance(*instance);
    return instance;
}

void destroyAction(void *self)
{
    if (!self)
        return;
    releaseTransition(instanceOf(self).ctx);
    freeBlock(self);
}

const OpTagItem *describeAction(void *self, int (*entry)(ActionRecord *record))
{
    return describeTransition(instanceOf(self), entry);
}

int setupAction(void *self, ActionRecord *)
{
    instanceOf(self).ctx.renderPrepared = 0;
    return 0;
}

int teardownAction(void *self, ActionRecord *)
{
    releaseTransition(instanceOf(self).ctx);
    return 0;
}

int renderAction(void *self, ActionRecord *record)
{
    return renderTransition(instanceOf(self), record);
}

int gadgetAction(void *self, ActionRecord *record)
{
    transitionGadget(instanceOf(self), record->gadget);
    return 0;
}

int installAction(void *self, ActionRecord *)
{
    OperatorContext &ctx = instanceOf(self).ctx;
    // The parameter directory is drive-rooted; this platform's drive root is $VXHOME.
    char dir[OPERATOR_DIR_SIZE];
    if (homePath(ctx.variant, "/programs/vorlux/op", dir, sizeof dir) != 0)
        return 0;
    installDirectory(ctx.variant, dir);
    probeProjectSize(ctx.projectWidth, ctx.projectHeight);
    return 0;
}

const OperatorHooks transitionHooks = {
    .create = createAction,
    .destroy = destroyAction,
    .describe = describeAction,
    .setup = setupAction,
    .teardown = teardownAction,
    .render = renderAction,
    .gadget = gadgetAction,
    .remove = nullptr, // parameter files are deleted through the archives gadget
    .install = installAction,
};

} // namespace

// The mixed pass is its only pass, set up by its own render.
extern const VariantDesc vxOpVariant = {
    .hooks = &transitionHooks,
    .name = "VorluxOp",
    .sourceName = "src\\VorluxOp",
    .moduleCode = 0x0B850000,
    .versionString = "$Id: VorluxFX,v 1.0 2014/03/31 00:00:00 vorlux $",
    .inputCount = 2,
    .lastKeyLevel = 255,
};
