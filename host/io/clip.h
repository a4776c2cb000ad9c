// Whole clips in memory: what the tests, the in-memory render, the
// contact sheet and the sample clips deal in, and the facts (size, rate,
// header facts) every input and output carries. Renders and the editor read
// their inputs a frame at a time (host/io/input.h).
#ifndef VXH_CLIP_H
#define VXH_CLIP_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/core/pixels.h"

namespace vxh {

struct Clip {
    int width = 0, height = 0; // frame size in pixels
    int fpsNum = 25, fpsDen = 1;
    // YUV4MPEG2 header facts kept from the input: pixel aspect ("1:1"),
    // interlacing ('p', 't', 'b', 'm', '?'; 0 = not given) and colour range
    // ("LIMITED", "FULL"; empty = not given).
    std::string aspect;
    char interlace = 0;
    std::string colorRange;
    std::vector<std::vector<uint32_t>>
        frames; // each width*height packed YUVA pixels, row-major, no gaps
};

// Checks that a clip can be written: sides 1..kMaxFrameSide, at least one frame,
// every frame exactly width*height pixels, positive frame rate. Sets `why`.
bool validateClip(const Clip &clip, std::string &why);

} // namespace vxh

#endif
