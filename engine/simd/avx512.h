// The AVX-512 level's lane operations: 16 pixels per step in 512-bit
// registers, with mask registers. Included only by engine/warp_avx512.cpp,
// compiled with -mavx512f -mavx512bw; everything here has internal linkage.
#ifndef VX_SIMD_AVX512_H
#define VX_SIMD_AVX512_H

#include <immintrin.h>

namespace {
constexpr int LANES = 16;
} // namespace

#include "engine/simd/lanes.h"

namespace {

// Whether a step picks the pairs of one sample line out of a window of two
// registers (pickFromWindow, one instruction here) instead of gathering
// them, and out of four registers where a step spans about twice its
// lanes.
constexpr bool kHasWindowPick = true;
constexpr bool kPicksWideWindows = true;
// Whether permute is one instruction: the window steps then pick their
// mesh nodes out of two loads per row where they can, as the warp steps
// always do.
constexpr bool kHasPermute = true;
// Whether the bilinear channels are packed back (packChannels) rather
// than shifted into place.
constexpr bool kPacksChannels = true;
// Whether runs of undeformed pixels are blended by the AVX2 level: three
// streams of pixels (two read, one written) run faster 8 pixels a step,
// measured on processors that split 16-pixel registers in two.
constexpr bool kBlendsRunsAtAvx2 = true;

// One bit per lane whose mask is set.
inline unsigned laneBits(VI m)
{
    return _mm512_test_epi32_mask((__m512i)m, (__m512i)m);
}

// Lane bits of comparisons, straight from the comparison into a mask
// register.
inline unsigned lanesBelow(VF a, VF b) // a < b, false for not-a-number
{
    return _mm512_cmp_ps_mask((__m512)a, (__m512)b, _CMP_LT_OQ);
}

inline unsigned lanesAbove(VU a, VU b) // a > b, unsigned
{
    return _mm512_cmpgt_epu32_mask((__m512i)a, (__m512i)b);
}

inline unsigned lanesDiffering(VU a, VU b)
{
    return _mm512_cmpneq_epu32_mask((__m512i)a, (__m512i)b);
}

// A mask of lanes, in a mask register.
typedef __mmask16 Mask;

inline unsigned laneBits(Mask m)
{
    return m;
}

// Lanes of d other than zero, -0.0 and not-a-number: an ordered
// not-equal comparison with zero.
inline Mask nonZeroLanes(VF d)
{
    return _mm512_cmp_ps_mask((__m512)d, _mm512_setzero_ps(), _CMP_NEQ_OQ);
}

// v in the lanes of m, zero in the others.
inline VF keepLanes(Mask m, VF v)
{
    return (VF)_mm512_maskz_mov_ps(m, (__m512)v);
}

// a in the lanes of m, b in the others.
inline VU selectLanes(Mask m, VU a, VU b)
{
    return (VU)_mm512_mask_mov_epi32((__m512i)b, m, (__m512i)a);
}

inline VU gather(const uint32_t *base, VI index)
{
    return (VU)_mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xFFFF, (__m512i)index, base, 4);
}

inline VF gather(const float *base, VI index)
{
    return (VF)_mm512_mask_i32gather_ps(_mm512_setzero_ps(), 0xFFFF, (__m512i)index, base, 4);
}

// Pixels index[k] and index[k] + 1 of each lane: one 64-bit read each.
__attribute__((always_inline)) inline void gatherPairs(const uint32_t *base, VI index, VU &first,
                                                       VU &second)
{
    const __m512i at = (__m512i)index;
    const __m512i low = _mm512_mask_i32gather_epi64(
        _mm512_setzero_si512(), 0xFF, _mm512_maskz_extracti64x4_epi64(0xFF, at, 0), base, 4);
    const __m512i high = _mm512_mask_i32gather_epi64(
        _mm512_setzero_si512(), 0xFF, _mm512_maskz_extracti64x4_epi64(0xFF, at, 1), base, 4);
    const VI even = lanesFrom(0) * splat(2);
    first = (VU)_mm512_permutex2var_epi32(low, (__m512i)even, high);
    second = (VU)_mm512_permutex2var_epi32(low, (__m512i)(even + splat(1)), high);
}

// Lane k of the result is pixel at[k] (0 .. 2 x LANES - 1) of the window
// whose first LANES pixels are low and whose next are high.
inline VU pickFromWindow(VU low, VU high, VI at)
{
    return (VU)_mm512_permutex2var_epi32((__m512i)low, (__m512i)at, (__m512i)high);
}

// Lane k of the result is lane index[k] of v.
inline VF permute(VF v, VI index)
{
    return (VF)_mm512_permutex2var_ps((__m512)v, (__m512i)index, (__m512)v);
}

// a > b ? a : b in each lane: the maximum instruction, which gives its
// second operand for not-a-number and for equal operands.
inline VF maximum(VF a, VF b)
{
    // The masked form with every lane set: the plain one leaves an
    // undefined pass-through value that compilers warn about.
    return (VF)_mm512_mask_max_ps((__m512)a, 0xFFFF, (__m512)a, (__m512)b);
}

inline VH mulhi(VH x, VH y)
{
    return (VH)_mm512_mulhi_epu16((__m512i)x, (__m512i)y);
}

// The byte operations of 16-byte groups the blends and packs are made of
// (engine/simd/bytes.h): the low or high halves of a and b interleaved
// byte by byte; unsigned bytes of weights times signed bytes of x,
// adjacent products summed into 16-bit lanes; 16-bit (or 32-bit) lanes
// packed into bytes (16-bit lanes) with unsigned saturation; bytes picked
// by index.
template <bool HIGH> inline VU interleaveBytes(VU a, VU b)
{
    return (VU)(HIGH ? _mm512_unpackhi_epi8((__m512i)a, (__m512i)b)
                     : _mm512_unpacklo_epi8((__m512i)a, (__m512i)b));
}

inline VH multiplyAddBytes(VU weights, VU x)
{
    return (VH)_mm512_maddubs_epi16((__m512i)weights, (__m512i)x);
}

inline VU packBytes(VH low, VH high)
{
    return (VU)_mm512_packus_epi16((__m512i)low, (__m512i)high);
}

inline VH packHalves(VI low, VI high)
{
    return (VH)_mm512_packus_epi32((__m512i)low, (__m512i)high);
}

inline VU shuffleBytes(VU v, VU pick)
{
    return (VU)_mm512_shuffle_epi8((__m512i)v, (__m512i)pick);
}

} // namespace

#include "engine/simd/bytes.h"

#endif
