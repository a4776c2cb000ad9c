// The edit view's reduced-size passes and the key thumbnail pass.
//
// The whole-picture view is the variant's warp pass at half size; the
// zoomed views walk a window of the source at one source pixel per picture
// pixel. Morph and draw then show input 1, undeformed and not interpolated,
// through the picture at dissolveLevel. Both run at the instruction-set
// level of the warp passes (engine/warp.cpp).
#include "engine/viewpass.h"

#include "engine/warp.h"
#include "engine/warpkernels.h"
#include "variants/variant.h"

namespace {

// The edit view's picture must fit the engine's output picture, and the
// pictures the variant shows must exist (the mixture needs both inputs).
bool viewFits(int outW, int outH)
{
    return ctx.outputPixels && outW > 0 && outH > 0 && ctx.workWidth > 0 && ctx.workHeight > 0 &&
           ctx.sourcePixels && (ctx.targetPixels || !vxVariant->viewMixed) &&
           (size_t)outW * (size_t)outH <= ctx.outputCapacity;
}

// What the variant shows: the mixture, the overlay or the plain source.
PassKind viewKind(void)
{
    if (vxVariant->viewMixed)
        return PASS_MIXED;
    return vxVariant->viewOverlay ? PASS_OVERLAY : PASS_SAMPLE;
}

} // namespace

void viewPass(int zoom, int a, int b)
{
    if (zoom == 0) {
        if (viewFits(a, b))
            viewPassOf(viewKind(), ctx.outputPixels, a, b);
        return;
    }
    if (zoom != 1 && zoom != 2)
        return;
    const int ow = zoom == 1 ? ctx.workWidth / 2 : ctx.workWidth / 4;
    const int oh = zoom == 1 ? ctx.workHeight / 2 : ctx.workHeight / 4;
    if (viewFits(ow, oh))
        windowPassOf(viewKind(), ctx.outputPixels, ow, oh, a, b);
}

void thumbnailPass(uint32_t *picture)
{
    warpPassA(picture, THUMB_WIDTH, THUMB_HEIGHT);
}
