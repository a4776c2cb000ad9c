// The built-in sample clips: which = 0 is a "test card" (colour bars, grid,
// moving checkerboard, rings, scrolling text, frame counter); which = 1 is a
// different scene (zone-plate rings, rotating spokes, diagonal stripes,
// bouncing discs, text). Deterministic and cheap.
#ifndef VXH_SAMPLES_H
#define VXH_SAMPLES_H

#include <cstdint>
#include <vector>

#include "host/io/clip.h"

namespace vxh {

// A whole sample clip; non-positive sizes give an empty clip.
Clip makeSampleClip(int which, int w = 720, int h = 576, int frames = 50);
// Frame t of sample clip `which` (sides 1..kMaxFrameSide), drawn into f.
void drawSampleFrame(int which, int w, int h, int t, std::vector<uint32_t> &f);

} // namespace vxh

#endif
