// Render action of the effect operators: fetch the input fields, prepare
// the effect on the first render after set-up, interpolate the meshes of
// the current frame, run the variant's passes, hand the result back.
#include <cstring>

#include "effect/context.h"
#include "effect/effectfile.h"
#include "effect/keys.h"
#include "engine/warp.h"
#include "operator/host/vxcore.h"
#include "operator/host/vxcoreimg.h"
#include "operator/operator.h"
#include "variants/variant.h"

namespace {

// What one render holds, released on every path.
struct RenderHold {
    HostImage *input0 = nullptr;
    HostImage *input1 = nullptr;
    uint32_t *source = nullptr;
    uint32_t *target = nullptr;
    uint32_t *scratchOutput = nullptr;
};

void releaseHold(RenderHold &hold, bool keepInput0)
{
    freeBlock(hold.source);
    freeBlock(hold.target);
    freeBlock(hold.scratchOutput);
    if (ctx.sourcePixels == hold.source)
        ctx.sourcePixels = nullptr;
    if (hold.target && ctx.targetPixels == hold.target)
        ctx.targetPixels = nullptr;
    opFreeImage(hold.input1);
    if (!keepInput0)
        opFreeImage(hold.input0);
}

int failRender(RenderHold &hold, int line)
{
    logFailure(line);
    releaseHold(hold, false);
    return -1;
}

// The visible area must lie inside the image's rows.
bool imageGeometryValid(const HostImage *image)
{
    return image->pixels && image->width > 0 && image->height > 0 && image->xOffset >= 0 &&
           image->yOffset >= 0 && image->stride >= image->xOffset + image->width;
}

void copyFromImage(const HostImage *image, uint32_t *out)
{
    const size_t w = (size_t)image->width;
    for (int y = 0; y < image->height; ++y)
        memcpy(out + (size_t)y * w,
               image->pixels + (size_t)(y + image->yOffset) * (size_t)image->stride + image->xOffset,
               w * 4);
}

void copyToImage(const uint32_t *in, HostImage *image)
{
    const size_t w = (size_t)image->width;
    for (int y = 0; y < image->height; ++y)
        memcpy(image->pixels + (size_t)(y + image->yOffset) * (size_t)image->stride + image->xOffset,
               in + (size_t)y * w, w * 4);
}

// First render after set-up: load or build the effect, allocate the
// output picture and the working meshes (zeroed) at the work size.
int prepareRender(const ActionRecord *record, int fieldW, int fieldH)
{
    ctx.renderPrepared = 1;
    // A set-up without tear-down leaves the previous buffers: release them.
    releaseMeshes();
    const bool projectSize = record->flags[0] & 1;
    if (projectSize && ctx.projectWidth > 0 && ctx.projectHeight > 0) {
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

} // namespace

int renderField(ActionRecord *record)
{
    RenderHold hold;
    const bool twoInputs = vxVariant->inputCount == 2;
    hold.input0 = opGetField(0, record->field);
    if (!hold.input0) {
        LOG_FAILURE();
        return -1;
    }
    if (twoInputs) {
        hold.input1 = opGetField(1, record->field);
        if (!hold.input1)
            return failRender(hold, __LINE__);
    }
    if (!imageGeometryValid(hold.input0) || (hold.input1 && !imageGeometryValid(hold.input1)))
        return failRender(hold, __LINE__);
    const int w = hold.input0->width;
    const int h = hold.input0->height;
    if (hold.input1 && (hold.input1->width != w || hold.input1->height != h))
        return failRender(hold, __LINE__);

    const size_t pixels = (size_t)w * (size_t)h;
    hold.source = (uint32_t *)allocBlock(pixels * 4);
    if (!hold.source)
        return failRender(hold, __LINE__);
    if (twoInputs) {
        hold.target = (uint32_t *)allocBlock(pixels * 4);
        if (!hold.target)
            return failRender(hold, __LINE__);
    }
    copyFromImage(hold.input0, hold.source);
    if (twoInputs)
        copyFromImage(hold.input1, hold.target);

    ctx.sourcePixels = hold.source;
    if (twoInputs)
        ctx.targetPixels = hold.target;
    ctx.currentFrame = (int32_t)(record->field / 2);
    ctx.lastFrame = record->fieldCount < 2 ? 0 : (int32_t)(record->fieldCount / 2 - 1);
    // The last field of an odd clip lies one frame past the end: show the last frame.
    if (record->field < record->fieldCount && (uint32_t)ctx.currentFrame > (uint32_t)ctx.lastFrame)
        ctx.currentFrame = ctx.lastFrame;
    ctx.imageWidth = ctx.workWidth = w;
    ctx.imageHeight = ctx.workHeight = h;

    if (ctx.renderPrepared == 0 && ctx.editorActive != 1) {
        if (prepareRender(record, w, h) != 0) {
            releaseHold(hold, false);
            return -1;
        }
    }
    if (!ctx.outputPixels || !ctx.meshA || (vxVariant->hasMeshB && !ctx.meshB))
        return failRender(hold, __LINE__);

    uint32_t *out = ctx.outputPixels;
    if (ctx.editorActive == 1) {
        // The editor's output picture is smaller than a field: use our own.
        if (pixels > ctx.outputCapacity) {
            hold.scratchOutput = (uint32_t *)allocBlock(pixels * 4);
            if (!hold.scratchOutput)
                return failRender(hold, __LINE__);
            out = hold.scratchOutput;
        }
    } else if (w != ctx.fieldWidth || h != ctx.fieldHeight || pixels > ctx.outputCapacity) {
        return failRender(hold, __LINE__);
    }

    interpolateMeshA();
    interpolateMeshB();
    opChkAbort();
    for (WarpPassFn pass : vxVariant->passes) {
        if (!pass)
            break;
        pass(out, w, h);
        opChkAbort();
    }
    copyToImage(out, hold.input0);
    HostImage *result = hold.input0;
    releaseHold(hold, true);
    return opPutField(result);
}
