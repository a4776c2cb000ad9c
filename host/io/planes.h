// Planar colour spaces of the outputs: the host's packed pixels split into
// planes of a YUV4MPEG2 frame or an encoder's picture.
#ifndef VXH_PLANES_H
#define VXH_PLANES_H

#include <cstdint>
#include <string>
#include <vector>

namespace vxh {

enum class PixFmt { Yuva444, Yuv444, Yuv420 };
bool parsePixFmt(const std::string &text, PixFmt &fmt);
// Planes of one frame in a planar colour space: 4:2:0 chroma is the rounded
// mean of the samples of each 2x2 block (fewer at odd edges).
void packPlanes(const uint32_t *src, int w, int h, PixFmt fmt, std::vector<uint8_t> &planes);

} // namespace vxh

#endif
