// The current frame: its input fields from the host, its meshes, and the
// overview and edit view drawn from them.
#include <cstring>

#include "editor/draw.h"
#include "effect/context.h"
#include "effect/framefields.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "engine/viewpass.h"
#include "operator/host/vxcore.h"
#include "operator/host/vxcoreimg.h"
#include "operator/host/vxgui.h"
#include "variants/variant.h"

ViewShows viewShowsOf(const VariantDesc &variant)
{
    if (variant.viewMixed)
        return VIEW_MIXTURE;
    return variant.viewOverlay ? VIEW_OVERLAY : VIEW_SOURCE;
}

void renderPreviewPicture(OperatorContext &ctx)
{
    const int32_t w = ctx.previewWidth > 0 ? ctx.previewWidth : 0;
    const int32_t h = ctx.previewHeight > 0 ? ctx.previewHeight : 0;
    renderPasses(ctx, ctx.dissolveLevel,
                 {ctx.previewPixels, ctx.previewWidth, ctx.previewHeight, (size_t)w * (size_t)h});
}

void redrawKeys(OperatorContext &ctx, unsigned changed)
{
    if (changed & CHANGED_THUMBNAILS)
        drawThumbnails(ctx);
    if (changed & CHANGED_TIMELINE)
        drawTimeline(ctx);
    if (changed & CHANGED_FRAME_MARKER)
        drawFrameMarker(ctx);
}

int refreshFrame(OperatorContext &ctx)
{
    const int result = fetchFrameFields(ctx);
    // The meshes follow the frame even when its pictures are missing.
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    if (ctx.variant->hasMeshB)
        ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    if (result != 0)
        return result;
    renderPreviewPicture(ctx);
    drawOverview(ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ctx);
    return 0;
}

void drawEditView(OperatorContext &ctx)
{
    const ViewBlendUse use = ctx.variant->viewBlendUse;
    const int32_t w = ctx.editViewWidth, h = ctx.editViewHeight;
    const int zoom = ctx.viewZoom;
    if (w <= 0 || h <= 0 || zoom < 0 || zoom > 2)
        return;
    uint32_t *buffer = (uint32_t *)allocBlock((size_t)w * (size_t)h * 4);
    if (!buffer) {
        LOG_FAILURE(ctx.variant);
        return;
    }
    // The view dissolves at viewBlend where the variant has one.
    const int32_t level = use != VIEW_BLEND_NONE ? ctx.viewBlend : ctx.dissolveLevel;
    // The view pass's size parameters and the size of the picture it writes.
    const int divisor = 2 << zoom;
    const int pictureDivisor = zoom == 2 ? 4 : 2;
    const ViewRequest view = {
        viewShowsOf(*ctx.variant), level,           zoom,           ctx.workWidth / divisor,
        ctx.workHeight / divisor,  ctx.viewScrollX, ctx.viewScrollY};
    viewPass(warpInputsOf(ctx), ctx.meshA, view, ctx.outputPixels, ctx.outputCapacity);
    resamplePixels(ctx.outputPixels, ctx.workWidth / pictureDivisor,
                   ctx.workHeight / pictureDivisor, buffer, w, h);
    if (use == VIEW_BLEND_KEPT)
        ctx.dissolveLevel = ctx.viewBlend;
    vgmxYUVAtoOvl(buffer, 0, w * 4, ctx.editBoxX + 12, ctx.editBoxY + ctx.rowHeight + 20, w, h);
    freeBlock(buffer);
}
