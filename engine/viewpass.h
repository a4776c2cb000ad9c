// The edit view's reduced-size passes and the key thumbnail pass.
#ifndef VX_VIEWPASS_H
#define VX_VIEWPASS_H

#include <cstdint>

// The edit view's picture into outputPixels, by zoom:
// 0: the whole picture at (a, b) = (W/2, H/2) through the variant's pass;
// 1, 2: the window pass with (a, b) = (W/4, H/4) or (W/8, H/8), writing
//    W/2 x H/2 or W/4 x H/4 pixels of the window at (viewScrollX, viewScrollY).
// Morph and draw show input 1 undeformed through it at dissolveLevel; FX
// samples the mixture of both inputs.
void viewPass(int zoom, int a, int b);
// A 32 x 24 picture (row stride 32) of the deformed source alone.
void thumbnailPass(uint32_t *picture);

#endif
