// The host's pixels: packed 32-bit words whose bytes in memory are Y, U, V,
// A (byte 0 = Y): p = Y | U << 8 | V << 16 | A << 24 on a little-endian
// machine. Y/U/V are 8-bit BT.601 studio range (Y 16..235, U/V 16..240); A
// is 0..255.
#ifndef VXH_PIXELS_H
#define VXH_PIXELS_H

#include <cstdint>
#include <vector>

namespace vxh {

// A picture of packed pixels, row after row without gaps.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// Largest frame side accepted by the readers, writers and the frei0r adapter.
constexpr int kMaxFrameSide = 16384;

constexpr uint32_t packYuva(uint8_t y, uint8_t u, uint8_t v, uint8_t a)
{
    return uint32_t(y) | uint32_t(u) << 8 | uint32_t(v) << 16 | uint32_t(a) << 24;
}
constexpr uint8_t pixY(uint32_t p)
{
    return uint8_t(p);
}
constexpr uint8_t pixU(uint32_t p)
{
    return uint8_t(p >> 8);
}
constexpr uint8_t pixV(uint32_t p)
{
    return uint8_t(p >> 16);
}
constexpr uint8_t pixA(uint32_t p)
{
    return uint8_t(p >> 24);
}

// Colour conversion: BT.601, studio range, 16-bit fixed point with rounding,
// results clamped to 0..255. Alpha passes through unchanged.
uint32_t rgbaToYuva(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
void yuvaToRgba(uint32_t p, uint8_t &r, uint8_t &g, uint8_t &b, uint8_t &a);

} // namespace vxh

#endif
