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

// First render after set-up: load or build the effect, allocate the output
// picture and the working meshes (zeroed) at the work size.
static int prepareRender(const ActionRecord *record, int fieldW, int fieldH)
{
    ctx.renderPrepared = 1;
    // A set-up without tear-down leaves the previous buffers: release them.
    releaseMeshes();
    if ((record->flags[0] & 1) && ctx.projectWidth > 0 && ctx.projectHeight > 0) {
        ctx.workWidth = ctx.imageWidth = ctx.projectWidth;
        ctx.workHeight = ctx.imageHeight = ctx.projectHeight;
    }
    ctx.gridCols = ctx.workWidth / 4;
    ctx.gridRows = ctx.workHeight / 2;
    if (loadEffect() != 0) {
        freeKeys();
        if (createFirstKey() != 0 || createLastKey() != 0)
            return -1;
    }
    ctx.meshCols = ctx.workWidth / 4;
    ctx.meshRows = ctx.workHeight / 2;
    const size_t pixels = (size_t)ctx.workWidth * (size_t)ctx.workHeight;
    const size_t nodes = (size_t)(ctx.workWidth / 2) * (size_t)ctx.meshRows;
    ctx.outputPixels = (uint32_t *)allocBlock(pixels * 4);
    ctx.meshA = (MeshNode *)allocZeroed(nodes, sizeof(MeshNode));
    if (vxVariant->hasMeshB)
        ctx.meshB = (MeshNode *)allocZeroed(nodes, sizeof(MeshNode));
    if (!ctx.outputPixels || !ctx.meshA || (vxVariant->hasMeshB && !ctx.meshB)) {
        LOG_FAILURE();
        releaseMeshes();
        return -1;
    }
    ctx.outputCapacity = pixels;
    ctx.meshCapacity = nodes;
    ctx.fieldWidth = fieldW;
    ctx.fieldHeight = fieldH;
    ctx.imageWidth = ctx.workWidth = fieldW;
    ctx.imageHeight = ctx.workHeight = fieldH;
    return 0;
}

int renderField(ActionRecord *record)
{
    RenderHold hold;
    if (fetchInputs(record, vxVariant->inputCount, hold) != 0)
        return -1;
    if (ctx.renderPrepared == 0 && ctx.editorActive != 1) {
        if (prepareRender(record, hold.width, hold.height) != 0) {
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
    for (WarpPassFn pass : vxVariant->passes) {
        if (!pass)
            break;
        pass(out, hold.width, hold.height);
        opChkAbort();
    }
    return deliverOutput(hold, out);
}
