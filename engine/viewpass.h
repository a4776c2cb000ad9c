// The edit view's reduced-size passes.
#ifndef VX_VIEWPASS_H
#define VX_VIEWPASS_H

#include <cstddef>
#include <cstdint>

#include "engine/warp.h"

// What the edit view shows through meshA.
enum ViewShows {
    VIEW_SOURCE,  // the deformed source alone
    VIEW_OVERLAY, // the target, undeformed, over it at the level
    VIEW_MIXTURE, // the deformed mixture of both at the level
};

// One picture of the edit view, by zoom:
// 0: the whole picture at (a, b) = (W/2, H/2);
// 1, 2: the window pass with (a, b) = (W/4, H/4) or (W/8, H/8), writing
//    W/2 x H/2 or W/4 x H/4 pixels of the window at (scrollX, scrollY).
struct ViewRequest {
    ViewShows shows;
    int32_t level; // dissolve of the overlay or the mixture
    int zoom, a, b;
    int32_t scrollX, scrollY;
};

// The view's picture into out (capacity pixels); nothing when it does not
// fit, or a picture it shows is missing (the mixture needs both inputs).
void viewPass(const WarpInputs &in, const MeshNode *meshA, const ViewRequest &view, uint32_t *out,
              size_t capacity);

#endif
