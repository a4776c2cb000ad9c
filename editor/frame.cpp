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

void renderPreviewPicture(EditorState &ed, OperatorContext &ctx)
{
    const int32_t w = ed.previewWidth > 0 ? ed.previewWidth : 0;
    const int32_t h = ed.previewHeight > 0 ? ed.previewHeight : 0;
    renderPasses(ctx, ctx.dissolveLevel,
                 {ed.previewPixels, ed.previewWidth, ed.previewHeight, (size_t)w * (size_t)h});
}

void redrawKeys(EditorState &ed, const OperatorContext &ctx, unsigned changed)
{
    if (changed & CHANGED_THUMBNAILS)
        drawThumbnails(ed, ctx);
    if (changed & CHANGED_TIMELINE)
        drawTimeline(ed, ctx);
    if (changed & CHANGED_FRAME_MARKER)
        drawFrameMarker(ed, ctx);
}

int refreshFrame(EditorState &ed, OperatorContext &ctx)
{
    const int result = fetchFrameFields(ctx, ed.fields);
    // The meshes follow the frame even when its pictures are missing.
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    if (ctx.variant->hasMeshB)
        ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    if (result != 0)
        return result;
    renderPreviewPicture(ed, ctx);
    drawOverview(ed, ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ed, ctx);
    return 0;
}

void drawEditView(EditorState &ed, OperatorContext &ctx)
{
    const ViewBlendUse use = ctx.variant->viewBlendUse;
    const int32_t w = ed.editViewWidth, h = ed.editViewHeight;
    const int zoom = ed.viewZoom;
    if (w <= 0 || h <= 0 || zoom < 0 || zoom > 2)
        return;
    uint32_t *buffer = (uint32_t *)allocBlock((size_t)w * (size_t)h * 4);
    if (!buffer) {
        LOG_FAILURE(ctx.variant); // journal: no memory for a thumbnail picture
        return;
    }
    // The view dissolves at viewBlend where the variant has one.
    const int32_t level = use != VIEW_BLEND_NONE ? ed.viewBlend : ctx.dissolveLevel;
    // The view pass's size parameters and the size of the picture it writes.
    const int divisor = 2 << zoom;
    const int pictureDivisor = zoom == 2 ? 4 : 2;
    const ViewRequest view = {
        viewShowsOf(*ctx.variant), level,          zoom,          ctx.workWidth / divisor,
        ctx.workHeight / divisor,  ed.viewScrollX, ed.viewScrollY};
    viewPass(warpInputsOf(ctx), ctx.meshA, view, ctx.outputPixels, ctx.outputCapacity);
    resamplePixels(ctx.outputPixels, ctx.workWidth / pictureDivisor,
                   ctx.workHeight / pictureDivisor, buffer, w, h);
    if (use == VIEW_BLEND_KEPT)
        ctx.dissolveLevel = ed.viewBlend;
    vgmxYUVAtoOvl(buffer, 0, w * 4, ed.editBoxX + 12, ed.editBoxY + ed.rowHeight + 20, w, h);
    freeBlock(buffer);
}
