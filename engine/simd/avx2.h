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

} // namespace

#include "engine/simd/vectormasks.h"

namespace {

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

// The byte operations of 16-byte groups the blends and packs are made of
// (engine/simd/bytes.h): the low or high halves of a and b interleaved
// byte by byte; unsigned bytes of weights times signed bytes of x,
// adjacent products summed into 16-bit lanes; 16-bit (or 32-bit) lanes
// packed into bytes (16-bit lanes) with unsigned saturation; bytes picked
// by index.
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

inline VH packHalves(VI low, VI high)
{
    return (VH)_mm256_packus_epi32((__m256i)low, (__m256i)high);
}

inline VU shuffleBytes(VU v, VU pick)
{
    return (VU)_mm256_shuffle_epi8((__m256i)v, (__m256i)pick);
}

} // namespace

#include "engine/simd/bytes.h"

#endif
