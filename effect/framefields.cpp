// The current frame's input fields from the host, into the editor's field
// buffers.
#include "effect/framefields.h"

#include <cstring>

#include "operator/host/vxcore.h"
#include "operator/host/vxcoreimg.h"

namespace {

// A field fits when its visible area lies inside its rows and it has the
// effect's size, which the field buffers hold.
bool fieldFits(const OperatorContext &ctx, const HostImage *image, size_t capacity)
{
    if (!image->pixels || image->width <= 0 || image->height <= 0 || image->xOffset < 0 ||
        image->yOffset < 0 || image->stride < image->xOffset + image->width)
        return false;
    const size_t pixels = (size_t)image->width * (size_t)image->height;
    return image->width == ctx.imageWidth && image->height == ctx.imageHeight && pixels <= capacity;
}

void copyField(const HostImage *image, uint32_t *buffer)
{
    const size_t w = (size_t)image->width;
    for (int y = 0; y < image->height; ++y)
        memcpy(buffer + (size_t)y * w,
               image->pixels + (size_t)(y + image->yOffset) * (size_t)image->stride +
                   image->xOffset,
               w * 4);
}

void freeFields(HostImage **fields, int count)
{
    for (int i = 0; i < count; ++i)
        opFreeImage(fields[i]);
}

} // namespace

int fetchFrameFields(OperatorContext &ctx, const FieldBuffers &fields)
{
    // Both fields are checked before either buffer changes, so a failure
    // keeps the previous frame whole.
    const int count = ctx.variant->inputCount == 1 ? 1 : 2;
    uint32_t *buffers[2] = {fields.a, fields.b};
    HostImage *images[2] = {nullptr, nullptr};
    const uint32_t field = (uint32_t)ctx.currentFrame * 2u;
    for (int i = 0; i < count; ++i) {
        images[i] = opGetField(i, field);
        if (!images[i] || !buffers[i] || !fieldFits(ctx, images[i], fields.capacity)) {
            LOG_FAILURE(ctx.variant); // journal: a field of the frame is missing or too big
            freeFields(images, i + 1);
            return -1;
        }
    }
    for (int i = 0; i < count; ++i)
        copyField(images[i], buffers[i]);
    ctx.sourcePixels = fields.a;
    ctx.targetPixels = fields.b;
    ctx.imageWidth = images[count - 1]->width;
    ctx.imageHeight = images[count - 1]->height;
    freeFields(images, count);
    return 0;
}
