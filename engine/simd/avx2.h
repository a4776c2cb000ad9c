// The AVX2 level's lane operations: 8 pixels per step in 256-bit
// registers. Included only by engine/warp_avx2.cpp, compiled with -mavx2;
// everything here has internal linkage.
#ifndef VX_SIMD_AVX2_H
#define VX_SIMD_AVX2_H

#include <immintrin.h>

namespace {
constexpr int LANES = 8;
} // namespace

#include "engine/simd/lanes.h"

namespace {

// Whether a step picks the pairs of one sample line out of a window of two
// registers (pickFromWindow) instead of gathering them: two permutes and a
// select here. Four-register windows take two picks more, which does not
// pay at this width.
constexpr bool kHasWindowPick = true;
constexpr bool kPicksWideWindows = false;
// Whether permute is one instruction: the window steps then pick their
// mesh nodes out of two loads per row where they can, as the warp steps
// always do.
constexpr bool kHasPermute = true;
// Whether the bilinear channels are packed back (packChannels) rather
// than shifted into place.
constexpr bool kPacksChannels = true;
// Whether runs of undeformed pixels are blended by the AVX2 level (this
// one: its own lanes).
constexpr bool kBlendsRunsAtAvx2 = false;

// One bit per lane whose mask is set.
inline unsigned laneBits(VI m)
{
    return (unsigned)_mm256_movemask_ps((__m256)m);
}

// Lane bits of comparisons.
inline unsigned lanesBelow(VF a, VF b) // a < b, false for not-a-number
{
    return laneBits(a < b);
}

inline unsigned lanesAbove(VU a, VU b) // a > b, unsigned
{
    return laneBits((VI)(a > b));
}

inline unsigned lanesDiffering(VU a, VU b)
{
    return laneBits((VI)(a != b));
}

// A mask of lanes, as comparisons give it.
typedef VI Mask;

// Lanes of d other than zero, -0.0 and not-a-number: |d| > 0 is an
// ordered not-equal comparison with zero.
inline Mask nonZeroLanes(VF d)
{
    return (VF)((VI)d & splat(0x7FFFFFFF)) > splat(0.0f);
}

// v in the lanes of m, zero in the others.
inline VF keepLanes(Mask m, VF v)
{
    return m ? v : splat(0.0f);
}

// a in the lanes of m, b in the others.
inline VU selectLanes(Mask m, VU a, VU b)
{
    return m ? a : b;
}

inline VU gather(const uint32_t *base, VI index)
{
    return (VU)_mm256_i32gather_epi32((const int *)base, (__m256i)index, 4);
}

inline VF gather(const float *base, VI index)
{
    return (VF)_mm256_i32gather_ps(base, (__m256i)index, 4);
}

// Pixels index[k] and index[k] + 1 of each lane: one 64-bit read each.
__attribute__((always_inline)) inline void gatherPairs(const uint32_t *base, VI index, VU &first,
                                                       VU &second)
{
    const __m256i at = (__m256i)index;
    const long long *pairs = (const long long *)(const void *)base;
    const __m256i low = _mm256_mask_i32gather_epi64(
        _mm256_setzero_si256(), pairs, _mm256_castsi256_si128(at), _mm256_set1_epi64x(-1), 4);
    const __m256i high = _mm256_mask_i32gather_epi64(
        _mm256_setzero_si256(), pairs, _mm256_extracti128_si256(at, 1), _mm256_set1_epi64x(-1), 4);
    // low = a0 b0 a1 b1 | a2 b2 a3 b3, high = a4 b4 a5 b5 | a6 b6 a7 b7
    const __m256 a =
        _mm256_shuffle_ps((__m256)low, (__m256)high, 0x88); // a0 a1 a4 a5 | a2 a3 a6 a7
    const __m256 b = _mm256_shuffle_ps((__m256)low, (__m256)high, 0xDD);
    first = (VU)_mm256_permute4x64_epi64((__m256i)a, 0xD8);
    second = (VU)_mm256_permute4x64_epi64((__m256i)b, 0xD8);
}

// Lane k of the result is pixel at[k] (0 .. 2 x LANES - 1) of the window
// whose first LANES pixels are low and whose next are high.
inline VU pickFromWindow(VU low, VU high, VI at)
{
    const VU fromLow = (VU)_mm256_permutevar8x32_epi32((__m256i)low, (__m256i)at);
    const VU fromHigh = (VU)_mm256_permutevar8x32_epi32((__m256i)high, (__m256i)at);
    return at > splat(LANES - 1) ? fromHigh : fromLow;
}

// Lane k of the result is lane index[k] of v.
inline VF permute(VF v, VI index)
{
    return (VF)_mm256_permutevar8x32_ps((__m256)v, (__m256i)index);
}

// a > b ? a : b in each lane: the maximum instruction, which gives its
// second operand for not-a-number and for equal operands.
inline VF maximum(VF a, VF b)
{
    return (VF)_mm256_max_ps((__m256)a, (__m256)b);
}

inline VH mulhi(VH x, VH y)
{
    return (VH)_mm256_mulhi_epu16((__m256i)x, (__m256i)y);
}

// The byte operations of the blend, each within 16-byte groups: the low
// or high halves of a and b interleaved byte by byte; unsigned bytes of
// weights times signed bytes of x, adjacent products summed into 16-bit
// lanes; 16-bit lanes packed into bytes with unsigned saturation.
template <bool HIGH> inline VU interleaveBytes(VU a, VU b)
{
    return (VU)(HIGH ? _mm256_unpackhi_epi8((__m256i)a, (__m256i)b)
                     : _mm256_unpacklo_epi8((__m256i)a, (__m256i)b));
}

inline VH multiplyAddBytes(VU weights, VU x)
{
    return (VH)_mm256_maddubs_epi16((__m256i)weights, (__m256i)x);
}

inline VU packBytes(VH low, VH high)
{
    return (VU)_mm256_packus_epi16((__m256i)low, (__m256i)high);
}

// The weights of a byte blend (a * wa + b * wb) / 255, wa + wb = 255:
// bytes wa, wb in every 16-bit lane.
struct Blend {
    VU pairs;
};

inline Blend blendOf(int wa, int wb)
{
    Blend r;
    r.pairs = splat((uint32_t)(wa | wb << 8) * 0x00010001u);
    return r;
}

// blendBytes of each lane. Bytes of a and b are interleaved and offset by
// -128, so that one byte multiply-add gives each weighted sum x as
// x - 128 x 255 in a signed 16-bit lane (wa (a - 128) + wb (b - 128), in
// -32640..32385: never saturated). Adding 32641 gives x + 1, and
// ((x + 1) * 257) >> 16 is x / 255 for every x up to 65535; the results
// pack back into bytes in order (the interleave and the pack both work
// within 16-byte groups).
__attribute__((always_inline)) inline VU blendBytes(VU a, VU b, const Blend &w)
{
    const VU offset = splat(0x80808080u);
    const VH back = (VH)splat(0x7F817F81u), divisor = (VH)splat(0x01010101u);
    const VU sa = a ^ offset, sb = b ^ offset;
    const VH low = multiplyAddBytes(w.pairs, interleaveBytes<false>(sa, sb));
    const VH high = multiplyAddBytes(w.pairs, interleaveBytes<true>(sa, sb));
    return packBytes(mulhi(low + back, divisor), mulhi(high + back, divisor));
}

// Byte shift / 8 of each lane, as a number 0..255: one byte shuffle (it
// works within 16-byte groups). The lowest and the highest byte take one
// plain operation, which leaves the shuffle unit to the others.
inline VI byteOf(VU v, int shift)
{
    if (shift == 0)
        return (VI)(v & splat(0xFFu));
    if (shift == 24)
        return (VI)(v >> 24);
    const VI pick =
        splat((int32_t)(0x80808000u | (uint32_t)(shift / 8))) + ((lanesFrom(0) & splat(3)) << 2);
    return (VI)_mm256_shuffle_epi8((__m256i)v, (__m256i)pick);
}

// Channel k of each lane saturated to 0..255 into byte k, for channels in
// -32768..32767. The packs saturate and gather the four channels of each
// 16-byte group channel by channel; one byte shuffle puts them back pixel
// by pixel.
__attribute__((always_inline)) inline VU packChannels(const VI (&channel)[4])
{
    // Byte 4m + k of a group comes from byte 4k + m.
    const VU order = splat(0x0C080400u) + (VU)((lanesFrom(0) & splat(3)) * splat(0x01010101));
    const VH low = (VH)_mm256_packus_epi32((__m256i)channel[0], (__m256i)channel[1]);
    const VH high = (VH)_mm256_packus_epi32((__m256i)channel[2], (__m256i)channel[3]);
    return (VU)_mm256_shuffle_epi8((__m256i)packBytes(low, high), (__m256i)order);
}

} // namespace

#endif
