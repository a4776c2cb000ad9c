// Render action of the effect operators: fetch the input fields, prepare
// the effect on the first render after set-up, interpolate the meshes of
// the current frame, run the variant's passes, hand the result back.
#include "effect/context.h"
#include "effect/effectfile.h"
#include "effect/keys.h"
#include "engine/warp.h"
#include "operator/fields.h"
#include "operator/host/vxcore.h"
#include "operator/operator.h"
#include "variants/variant.h"

static_assert(RENDER_PASS_A == 1 && RENDER_PASS_B == 2 && RENDER_PASS_MIXED == 3,
              "the engine's pass codes");

// First render after set-up: load the effect (or build the default one)
// and allocate the output picture and the working meshes.
static int prepareRender(const ActionRecord *record, const RenderHold &hold)
{
    ctx.renderPrepared = 1;
    // A set-up without tear-down leaves the previous buffers: release them.
    releaseMeshes();
    chooseWorkSize(record);
    if (loadEffect() != 0) {
        freeKeys();
        if (createFirstKey() != 0 || createLastKey() != 0)
            return -1;
    }
    return allocateWorkBuffers(vxVariant->hasMeshB, hold);
}

int renderField(ActionRecord *record)
{
    RenderHold hold;
    if (fetchInputs(record, vxVariant->inputCount, hold) != 0)
        return -1;
    if (ctx.renderPrepared == 0 && ctx.editorActive != 1) {
        if (prepareRender(record, hold) != 0) {
            releaseHold(hold);
            return -1;
        }
    }
    if (!ctx.outputPixels || !ctx.meshA || (vxVariant->hasMeshB && !ctx.meshB))
        return failRender(hold, __LINE__);

    uint32_t *out = ctx.outputPixels;
    if (ctx.editorActive == 1) {
        // The editor's output picture is smaller than a field: use our own.
        if (hold.pixels > ctx.outputCapacity) {
            hold.scratchOutput = (uint32_t *)allocBlock(hold.pixels * 4);
            if (!hold.scratchOutput)
                return failRender(hold, __LINE__);
            out = hold.scratchOutput;
        }
    } else if (hold.width != ctx.fieldWidth || hold.height != ctx.fieldHeight ||
               hold.pixels > ctx.outputCapacity) {
        return failRender(hold, __LINE__);
    }

    interpolateMeshA();
    interpolateMeshB();
    opChkAbort();
    for (RenderPass code : vxVariant->passes) {
        WarpPassFn pass = passFor(code);
        if (!pass)
            break;
        pass(out, hold.width, hold.height);
        opChkAbort();
    }
    return deliverOutput(hold, out);
}
