// Render action of the effect operators: fetch the input fields, prepare
// the effect on the first render after set-up, interpolate the meshes of
// the current frame, run the variant's passes, hand the result back.
#include "effect/buffers.h"
#include "effect/context.h"
#include "effect/effectfile.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "operator/frame/fields.h"
#include "operator/host/vxcore.h"
#include "operator/instance.h"
#include "variants/variant.h"

namespace {

// First render after set-up: load the effect (or build the default one)
// and allocate the output picture and the working meshes.
int prepareRender(OperatorContext &ctx, const ActionRecord *record, const RenderHold &hold)
{
    ctx.renderPrepared = 1;
    // A set-up without tear-down leaves the previous buffers: release them.
    releaseMeshes(ctx);
    chooseWorkSize(ctx, record);
    // A file that is there but cannot be read is not taken for a missing
    // one: the render fails rather than show the default effect.
    const int loaded = loadEffect(ctx);
    if (loaded == EFFECT_UNREADABLE)
        return -1;
    if (loaded != 0) {
        freeKeys(ctx);
        if (createFirstKey(ctx) != 0 || createLastKey(ctx) != 0)
            return -1;
    }
    return allocateWorkBuffers(ctx, ctx.variant->hasMeshB, hold);
}

} // namespace

int renderField(EffectInstance &instance, ActionRecord *record)
{
    OperatorContext &ctx = instance.ctx;
    const VariantDesc *variant = ctx.variant;
    RenderHold hold;
    if (fetchInputs(variant, record, hold) != 0)
        return -1;
    adoptInputs(ctx, hold);
    if (ctx.renderPrepared == 0 && ctx.editorActive != 1) {
        if (prepareRender(ctx, record, hold) != 0) {
            releaseHold(hold);
            return -1;
        }
    }
    if (!ctx.outputPixels || !ctx.meshA || (variant->hasMeshB && !ctx.meshB))
        return failRender(variant, hold, __LINE__); // journal: no output picture or meshes

    PassOutput out = engineOutput(ctx, hold.width, hold.height);
    if (ctx.editorActive == 1) {
        // The editor's output picture is smaller than a field: use our own.
        if (hold.pixels > ctx.outputCapacity) {
            hold.scratchOutput = (uint32_t *)allocBlock(hold.pixels * 4);
            if (!hold.scratchOutput)
                return failRender(variant, hold, __LINE__); // journal: no memory for the output
            out = {hold.scratchOutput, hold.width, hold.height, hold.pixels};
        }
    } else if (hold.width != ctx.fieldWidth || hold.height != ctx.fieldHeight ||
               hold.pixels > ctx.outputCapacity) {
        return failRender(variant, hold, __LINE__); // journal: field size differs from set-up
    }

    // The level stays the instance's: a frame no key covers keeps it.
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    opChkAbort();
    for (RenderPass code : variant->passes) {
        if (!runRenderPass(ctx, code, ctx.dissolveLevel, out))
            break;
        opChkAbort();
    }
    return deliverOutput(hold, out.pixels);
}
