#include "operator/frame/fields.h"

#include <cstring>

#include "engine/heap.h"
#include "operator/frame/log.h"
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
    if (hold.source && hold.sourceSlot && *hold.sourceSlot == hold.source)
        *hold.sourceSlot = nullptr;
    if (hold.target && hold.targetSlot && *hold.targetSlot == hold.target)
        *hold.targetSlot = nullptr;
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

int failRender(const VariantDesc *variant, RenderHold &hold, int line)
{
    logFailure(variant, line);
    releaseHold(hold);
    return -1;
}

int fetchInputs(const VariantDesc *variant, const ActionRecord *record, RenderHold &hold)
{
    hold.input0 = opGetField(0, record->field);
    if (!hold.input0) {
        LOG_FAILURE(variant); // journal: input 0's field is missing
        return -1;
    }
    if (variant->inputCount == 2) {
        hold.input1 = opGetField(1, record->field);
        if (!hold.input1)
            return failRender(variant, hold, __LINE__); // journal: input 1's field is missing
    }
    if (!imageGeometryValid(hold.input0) || (hold.input1 && !imageGeometryValid(hold.input1)))
        return failRender(variant, hold, __LINE__); // journal: an input field has an invalid size
    hold.width = hold.input0->width;
    hold.height = hold.input0->height;
    if (hold.input1 && (hold.input1->width != hold.width || hold.input1->height != hold.height))
        return failRender(variant, hold, __LINE__); // journal: the two input fields differ in size

    hold.pixels = (size_t)hold.width * (size_t)hold.height;
    hold.source = (uint32_t *)allocBlock(hold.pixels * 4);
    if (!hold.source)
        return failRender(variant, hold, __LINE__); // journal: no memory for the source picture
    if (hold.input1) {
        hold.target = (uint32_t *)allocBlock(hold.pixels * 4);
        if (!hold.target)
            return failRender(variant, hold, __LINE__); // journal: no memory for the target picture
    }
    copyFromImage(hold.input0, hold.source);
    if (hold.input1)
        copyFromImage(hold.input1, hold.target);

    hold.currentFrame = (int32_t)(record->field / 2);
    hold.lastFrame = record->fieldCount < 2 ? 0 : (int32_t)(record->fieldCount / 2 - 1);
    // The last field of an odd clip lies one frame past the end: show the last frame.
    if (record->field < record->fieldCount &&
        (uint32_t)hold.currentFrame > (uint32_t)hold.lastFrame)
        hold.currentFrame = hold.lastFrame;
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
