// The SSE2 level's lane operations: 4 pixels per step in 128-bit
// registers. Included only by engine/warp_sse2.cpp; everything here has
// internal linkage.
//
// SSE2 has no gathers, no lane permutes across registers and no byte
// multiply-add: gathers and permutes are lane by lane, byte blends work in
// 16-bit lanes, and the capabilities below keep the passes on the roads
// that pay here.
#ifndef VX_SIMD_SSE2_H
#define VX_SIMD_SSE2_H

#include <immintrin.h>

namespace {
constexpr int LANES = 4;
} // namespace

#include "engine/simd/lanes.h"

namespace {

// Whether a step picks the pairs of one sample line out of a window of
// two (or four) registers (pickFromWindow) instead of gathering them.
constexpr bool kHasWindowPick = false;
constexpr bool kPicksWideWindows = false;
// Whether permute is one instruction: the window steps then pick their
// mesh nodes out of two loads per row where they can, as the warp steps
// always do.
constexpr bool kHasPermute = false;
// Whether the bilinear channels are packed back (packChannels) rather
// than shifted into place.
constexpr bool kPacksChannels = false;
// Whether runs of undeformed pixels are blended by the AVX2 level.
constexpr bool kBlendsRunsAtAvx2 = false;

// One bit per lane whose mask is set.
inline unsigned laneBits(VI m)
{
    return (unsigned)_mm_movemask_ps((__m128)m);
}

} // namespace

#include "engine/simd/vectormasks.h"

namespace {

inline VU gather(const uint32_t *base, VI index)
{
    VU r;
    for (int k = 0; k < LANES; ++k)
        r[k] = base[index[k]];
    return r;
}

inline VF gather(const float *base, VI index)
{
    VF r;
    for (int k = 0; k < LANES; ++k)
        r[k] = base[index[k]];
    return r;
}

// Pixels index[k] and index[k] + 1 of each lane.
__attribute__((always_inline)) inline void gatherPairs(const uint32_t *base, VI index, VU &first,
                                                       VU &second)
{
    for (int k = 0; k < LANES; ++k) {
        first[k] = base[index[k]];
        second[k] = base[index[k] + 1];
    }
}

// Lane k of the result is pixel at[k] (0 .. 2 x LANES - 1) of the window
// whose first LANES pixels are low and whose next are high; lane by lane,
// so the passes do not take this road here.
inline VU pickFromWindow(VU low, VU high, VI at)
{
    VU r;
    for (int k = 0; k < LANES; ++k) {
        const int i = at[k] & (2 * LANES - 1);
        r[k] = i < LANES ? low[i] : high[i - LANES];
    }
    return r;
}

// Lane k of the result is lane index[k] of v (the index taken modulo the
// lanes, as GCC's shuffle takes it; clang, which builds the fuzz targets,
// has no shuffle by a variable index and picks lane by lane).
inline VF permute(VF v, VI index)
{
#if defined(__clang__)
    VF r;
    for (int k = 0; k < LANES; ++k)
        r[k] = v[index[k] & (LANES - 1)];
    return r;
#else
    return __builtin_shuffle(v, index);
#endif
}

// a > b ? a : b in each lane: the maximum instruction, which gives its
// second operand for not-a-number and for equal operands.
inline VF maximum(VF a, VF b)
{
    return (VF)_mm_max_ps((__m128)a, (__m128)b);
}

inline VH mulhi(VH x, VH y)
{
    return (VH)_mm_mulhi_epu16((__m128i)x, (__m128i)y);
}

// The weights of a byte blend (a * wa + b * wb) / 255, wa + wb = 255:
// each weight plain and times 256, in every 16-bit lane.
struct Blend {
    VH plainA, highA, plainB, highB;
};

inline Blend blendOf(int wa, int wb)
{
    Blend r;
    for (int k = 0; k < 2 * LANES; ++k) {
        r.plainA[k] = (uint16_t)wa;
        r.highA[k] = (uint16_t)(wa << 8);
        r.plainB[k] = (uint16_t)wb;
        r.highB[k] = (uint16_t)(wb << 8);
    }
    return r;
}

// blendBytes of each lane, in 16-bit lanes: even bytes and odd bytes
// apart, each weighted sum x at most 255 x 255, where h = (x * 0x8081) >> 16
// gives x / 255 = h >> 7. The odd bytes stay in the high byte of their
// lane: the high half of (b << 8) * (w << 8) is b * w, and (h >> 7) << 8 is
// (h + h) with the low byte cleared (h + h < 65536). Fewer shifts than
// moving them down and back.
__attribute__((always_inline)) inline VU blendBytes(VU a, VU b, const Blend &w)
{
    const VH low = (VH)splat(0x00FF00FFu), high = (VH)splat(0xFF00FF00u);
    const VH divisor = (VH)splat(0x80818081u);
    const VH ha = (VH)a, hb = (VH)b;
    const VH even = (ha & low) * w.plainA + (hb & low) * w.plainB;
    const VH odd = mulhi(ha & high, w.highA) + mulhi(hb & high, w.highB);
    const VH h = mulhi(odd, divisor);
    return (VU)((mulhi(even, divisor) >> 7) | ((h + h) & high));
}

// Byte shift / 8 of each lane, as a number 0..255.
inline VI byteOf(VU v, int shift)
{
    return (VI)((v >> shift) & splat(0xFFu));
}

// Channel k of each lane saturated to 0..255 into byte k; the passes do
// not take this road at this level (kPacksChannels).
inline VU packChannels(const VI (&channel)[4])
{
    const VI zero = splat(0), top = splat(255);
    VU r = splat(0u);
    for (int k = 0; k < 4; ++k) {
        const VI low = channel[k] > zero ? channel[k] : zero;
        r |= (VU)(low < top ? low : top) << (8 * k);
    }
    return r;
}

} // namespace

#endif
