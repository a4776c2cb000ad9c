// The current frame: its input fields from the host, its meshes, and the
// overview and edit view drawn from them.
#include <cstring>

#include "editor/draw.h"
#include "effect/context.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "engine/viewpass.h"
#include "operator/host/vxcore.h"
#include "operator/host/vxcoreimg.h"
#include "operator/host/vxgui.h"
#include "variants/variant.h"

namespace {

// A field fits when its visible area lies inside its rows and it has the
// effect's size, which the field buffers hold.
bool fieldFits(const HostImage *image)
{
    if (!image->pixels || image->width <= 0 || image->height <= 0 || image->xOffset < 0 ||
        image->yOffset < 0 || image->stride < image->xOffset + image->width)
        return false;
    const size_t pixels = (size_t)image->width * (size_t)image->height;
    return image->width == ctx.imageWidth && image->height == ctx.imageHeight &&
           pixels <= ctx.fieldBufferCapacity;
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

int fetchFrameFields(void)
{
    // Both fields are checked before either buffer changes, so a failure
    // keeps the previous frame whole.
    const int count = vxVariant->inputCount == 1 ? 1 : 2;
    uint32_t *buffers[2] = {ctx.fieldBufferA, ctx.fieldBufferB};
    HostImage *fields[2] = {nullptr, nullptr};
    const uint32_t field = (uint32_t)ctx.currentFrame * 2u;
    for (int i = 0; i < count; ++i) {
        fields[i] = opGetField(i, field);
        if (!fields[i] || !buffers[i] || !fieldFits(fields[i])) {
            LOG_FAILURE();
            freeFields(fields, i + 1);
            return -1;
        }
    }
    for (int i = 0; i < count; ++i)
        copyField(fields[i], buffers[i]);
    ctx.sourcePixels = ctx.fieldBufferA;
    ctx.targetPixels = ctx.fieldBufferB;
    ctx.imageWidth = fields[count - 1]->width;
    ctx.imageHeight = fields[count - 1]->height;
    freeFields(fields, count);
    return 0;
}

int refreshFrame(void)
{
    const int result = fetchFrameFields();
    // The meshes follow the frame even when its pictures are missing.
    interpolateMeshA();
    if (vxVariant->hasMeshB)
        interpolateMeshB();
    if (result != 0)
        return result;
    renderPasses(ctx.previewPixels, ctx.previewWidth, ctx.previewHeight);
    drawOverview();
    interpolateMeshA();
    drawEditView();
    return 0;
}

void drawEditView(void)
{
    const int32_t level = ctx.dissolveLevel;
    const ViewBlendUse use = vxVariant->viewBlendUse;
    const int32_t w = ctx.editViewWidth, h = ctx.editViewHeight;
    const int zoom = ctx.viewZoom;
    if (w <= 0 || h <= 0 || zoom < 0 || zoom > 2)
        return;
    uint32_t *buffer = (uint32_t *)allocBlock((size_t)w * (size_t)h * 4);
    if (!buffer) {
        LOG_FAILURE();
        return;
    }
    if (use != VIEW_BLEND_NONE)
        ctx.dissolveLevel = ctx.viewBlend;
    // The view pass's size parameters and the size of the picture it writes.
    const int divisor = 2 << zoom;
    const int pictureDivisor = zoom == 2 ? 4 : 2;
    viewPass(zoom, ctx.workWidth / divisor, ctx.workHeight / divisor);
    resamplePixels(ctx.outputPixels, ctx.workWidth / pictureDivisor,
                   ctx.workHeight / pictureDivisor, buffer, w, h);
    if (use == VIEW_BLEND_RESTORED)
        ctx.dissolveLevel = level;
    vgmxYUVAtoOvl(buffer, 0, w * 4, ctx.editBoxX + 12, ctx.editBoxY + ctx.rowHeight + 20, w, h);
    freeBlock(buffer);
}
