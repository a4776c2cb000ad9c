// The edit view's reduced-size passes.
//
// The whole-picture view is the variant's warp pass at half size; the
// zoomed views walk a window of the source at one source pixel per picture
// pixel. Morph and draw then show input 1, undeformed and not interpolated,
// through the picture at the level. Both run at the instruction-set level
// of the warp passes (engine/warp.cpp).
#include "engine/viewpass.h"

#include "engine/warpkernels.h"

namespace {

// The view's picture must fit its buffer, and the pictures it shows must
// exist (the mixture needs both inputs).
bool viewFits(const WarpInputs &in, ViewShows shows, int outW, int outH, const uint32_t *out,
              size_t capacity)
{
    return out && outW > 0 && outH > 0 && in.width > 0 && in.height > 0 && in.source &&
           (in.target || shows != VIEW_MIXTURE) && (size_t)outW * (size_t)outH <= capacity;
}

PassKind passKindOf(ViewShows shows)
{
    return shows == VIEW_MIXTURE ? PASS_MIXED
                                 : (shows == VIEW_OVERLAY ? PASS_OVERLAY : PASS_SAMPLE);
}

} // namespace

void viewPass(const WarpInputs &in, const MeshNode *meshA, const ViewRequest &view, uint32_t *out,
              size_t capacity)
{
    const PassKind kind = passKindOf(view.shows);
    if (view.zoom == 0) {
        if (viewFits(in, view.shows, view.a, view.b, out, capacity))
            viewPassOf(kind, in, meshA, view.level, {out, view.a, view.b, capacity});
        return;
    }
    if (view.zoom != 1 && view.zoom != 2)
        return;
    const int ow = view.zoom == 1 ? in.width / 2 : in.width / 4;
    const int oh = view.zoom == 1 ? in.height / 2 : in.height / 4;
    if (viewFits(in, view.shows, ow, oh, out, capacity))
        windowPassOf(kind, in, meshA, view.level, view.scrollX, view.scrollY,
                     {out, ow, oh, capacity}, view.a, view.b);
}
