// Colour conversion between the host's Y, U, V, A pixels and RGBA.
//
// BT.601 (Kr = 0.299, Kb = 0.114), studio range: Y = 16 + 219/255 * Y',
// U/V = 128 + 224/255 * (colour difference). Coefficients are scaled by 2^16 and
// rounded; the U and V rows were nudged so each sums to exactly zero, which makes
// every grey map to U = V = 128. Rounding is floor(x + 0.5) via an arithmetic
// shift (well defined for negative values since C++20).
#include "host/core/pixels.h"

namespace vxh {

namespace {

constexpr int kShift = 16;
constexpr int32_t kHalf = 1 << (kShift - 1);

inline uint8_t clamp8(int32_t v)
{
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace

uint32_t rgbaToYuva(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    const int32_t R = r, G = g, B = b;
    const int32_t y = (16829 * R + 33039 * G + 6416 * B + (16 << kShift) + kHalf) >> kShift;
    const int32_t u = (-9714 * R - 19070 * G + 28784 * B + (128 << kShift) + kHalf) >> kShift;
    const int32_t v = (28784 * R - 24103 * G - 4681 * B + (128 << kShift) + kHalf) >> kShift;
    return packYuva(clamp8(y), clamp8(u), clamp8(v), a);
}

void yuvaToRgba(uint32_t p, uint8_t &r, uint8_t &g, uint8_t &b, uint8_t &a)
{
    const int32_t y = 76309 * (int32_t(pixY(p)) - 16);
    const int32_t u = int32_t(pixU(p)) - 128;
    const int32_t v = int32_t(pixV(p)) - 128;
    r = clamp8((y + 104597 * v + kHalf) >> kShift);
    g = clamp8((y - 25675 * u - 53279 * v + kHalf) >> kShift);
    b = clamp8((y + 132201 * u + kHalf) >> kShift);
    a = pixA(p);
}

} // namespace vxh
