#include "operator/fields.h"

#include <cstring>

#include "effect/context.h"
#include "operator/host/vxcore.h"
#include "operator/host/vxcoreimg.h"

namespace {

// The visible area must lie inside the image's rows.
bool imageGeometryValid(const HostImage *image)
{
    return image->pixels && image->width > 0 && image->height > 0 && image->xOffset >= 0 &&
           image->yOffset >= 0 && image->stride >= image->xOffset + image->width;
}

uint32_t *rowOf(const HostImage *image, int y)
{
    return image->pixels + (size_t)(y + image->yOffset) * (size_t)image->stride + image->xOffset;
}

// Rows of the visible area follow each other without gaps: one copy.
bool rowsContiguous(const HostImage *image)
{
    return image->stride == image->width;
}

// The copies move whole rows with memcpy, which uses the widest moves the
// processor has; a gapless image moves in one piece.
void copyFromImage(const HostImage *image, uint32_t *out)
{
    const size_t w = (size_t)image->width;
    if (rowsContiguous(image)) {
        memcpy(out, rowOf(image, 0), w * (size_t)image->height * 4);
        return;
    }
    for (int y = 0; y < image->height; ++y)
        memcpy(out + (size_t)y * w, rowOf(image, y), w * 4);
}

void copyToImage(const uint32_t *in, HostImage *image)
{
    const size_t w = (size_t)image->width;
    if (rowsContiguous(image)) {
        memcpy(rowOf(image, 0), in, w * (size_t)image->height * 4);
        return;
    }
    for (int y = 0; y < image->height; ++y)
        memcpy(rowOf(image, y), in + (size_t)y * w, w * 4);
}

void releaseBuffers(RenderHold &hold)
{
    freeBlock(hold.source);
    freeBlock(hold.target);
    freeBlock(hold.scratchOutput);
    // The pictures die with the render: leave no dangling pointers behind.
    if (hold.source && ctx.sourcePixels == hold.source)
        ctx.sourcePixels = nullptr;
    if (hold.target && ctx.targetPixels == hold.target)
        ctx.targetPixels = nullptr;
    opFreeImage(hold.input1);
    hold.source = hold.target = hold.scratchOutput = nullptr;
    hold.input1 = nullptr;
}

} // namespace

void releaseHold(RenderHold &hold)
{
    releaseBuffers(hold);
    opFreeImage(hold.input0);
    hold.input0 = nullptr;
}

int failRender(RenderHold &hold, int line)
{
    logFailure(line);
    releaseHold(hold);
    return -1;
}

int fetchInputs(const ActionRecord *record, int inputCount, RenderHold &hold)
{
    hold.input0 = opGetField(0, record->field);
    if (!hold.input0) {
        LOG_FAILURE();
        return -1;
    }
    if (inputCount == 2) {
        hold.input1 = opGetField(1, record->field);
        if (!hold.input1)
            return failRender(hold, __LINE__);
    }
    if (!imageGeometryValid(hold.input0) || (hold.input1 && !imageGeometryValid(hold.input1)))
        return failRender(hold, __LINE__);
    hold.width = hold.input0->width;
    hold.height = hold.input0->height;
    if (hold.input1 && (hold.input1->width != hold.width || hold.input1->height != hold.height))
        return failRender(hold, __LINE__);

    hold.pixels = (size_t)hold.width * (size_t)hold.height;
    hold.source = (uint32_t *)allocBlock(hold.pixels * 4);
    if (!hold.source)
        return failRender(hold, __LINE__);
    if (hold.input1) {
        hold.target = (uint32_t *)allocBlock(hold.pixels * 4);
        if (!hold.target)
            return failRender(hold, __LINE__);
    }
    copyFromImage(hold.input0, hold.source);
    if (hold.input1)
        copyFromImage(hold.input1, hold.target);

    ctx.sourcePixels = hold.source;
    if (hold.input1)
        ctx.targetPixels = hold.target;
    ctx.currentFrame = (int32_t)(record->field / 2);
    ctx.lastFrame = record->fieldCount < 2 ? 0 : (int32_t)(record->fieldCount / 2 - 1);
    // The last field of an odd clip lies one frame past the end: show the last frame.
    if (record->field < record->fieldCount && (uint32_t)ctx.currentFrame > (uint32_t)ctx.lastFrame)
        ctx.currentFrame = ctx.lastFrame;
    ctx.imageWidth = ctx.workWidth = hold.width;
    ctx.imageHeight = ctx.workHeight = hold.height;
    return 0;
}

int deliverOutput(RenderHold &hold, const uint32_t *out)
{
    copyToImage(out, hold.input0);
    HostImage *result = hold.input0;
    hold.input0 = nullptr;
    releaseBuffers(hold);
    return opPutField(result);
}

void chooseWorkSize(const ActionRecord *record)
{
    if ((record->flags[0] & 1) && ctx.projectWidth > 0 && ctx.projectHeight > 0) {
        ctx.workWidth = ctx.imageWidth = ctx.projectWidth;
        ctx.workHeight = ctx.imageHeight = ctx.projectHeight;
    }
    ctx.gridCols = ctx.workWidth / 4;
    ctx.gridRows = ctx.workHeight / 2;
}

int allocateWorkBuffers(bool withMeshB, const RenderHold &hold)
{
    ctx.meshCols = ctx.workWidth / 4;
    ctx.meshRows = ctx.workHeight / 2;
    const size_t pixels = (size_t)ctx.workWidth * (size_t)ctx.workHeight;
    const size_t nodes = (size_t)(ctx.workWidth / 2) * (size_t)ctx.meshRows;
    ctx.outputPixels = (uint32_t *)allocBlock(pixels * 4);
    ctx.meshA = (MeshNode *)allocZeroed(nodes, sizeof(MeshNode));
    if (withMeshB)
        ctx.meshB = (MeshNode *)allocZeroed(nodes, sizeof(MeshNode));
    if (!ctx.outputPixels || !ctx.meshA || (withMeshB && !ctx.meshB)) {
        LOG_FAILURE();
        freeBlock(ctx.outputPixels);
        freeBlock(ctx.meshA);
        freeBlock(ctx.meshB);
        ctx.outputPixels = nullptr;
        ctx.meshA = ctx.meshB = nullptr;
        return -1;
    }
    ctx.outputCapacity = pixels;
    ctx.meshCapacity = nodes;
    ctx.fieldWidth = hold.width;
    ctx.fieldHeight = hold.height;
    ctx.imageWidth = ctx.workWidth = hold.width;
    ctx.imageHeight = ctx.workHeight = hold.height;
    return 0;
}
