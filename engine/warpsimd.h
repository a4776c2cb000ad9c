// Internal to the engine: the warp and window passes several output pixels
// at a time. Included once by each level's file, which defines VX_LANES
// (pixels per step), VX_WARP_ROWS and VX_VIEW_ROWS (the names of its entry
// points for the warp passes and the window passes) and is compiled with
// that level's instruction-set flags. Everything else here has internal
// linkage, so the levels never share a compiled copy.
//
// Each lane computes what warpRowsScalar (or viewRowsScalar) computes for
// its pixel, with the same operations in the same order: float32 products
// and sums without contraction, truncating conversions, the same
// comparisons (so NaN and -0.0 behave alike) and the same clamping of
// coordinates and indices.
// Byte blends use the exact division by 255 of blendBytes.
#include <immintrin.h>

#include <cstring>

#include "engine/warpkernels.h"

namespace {

constexpr int LANES = VX_LANES;
typedef float VF __attribute__((vector_size(4 * VX_LANES)));
typedef int32_t VI __attribute__((vector_size(4 * VX_LANES)));
typedef uint32_t VU __attribute__((vector_size(4 * VX_LANES)));
typedef uint16_t VH __attribute__((vector_size(4 * VX_LANES)));

inline VF splat(float v)
{
    VF r;
    for (int k = 0; k < LANES; ++k)
        r[k] = v;
    return r;
}

inline VI splat(int32_t v)
{
    VI r;
    for (int k = 0; k < LANES; ++k)
        r[k] = v;
    return r;
}

inline VU splat(uint32_t v)
{
    VU r;
    for (int k = 0; k < LANES; ++k)
        r[k] = v;
    return r;
}

inline VI lanesFrom(int32_t first)
{
    VI r;
    for (int k = 0; k < LANES; ++k)
        r[k] = first + k;
    return r;
}

inline VF toFloat(VI v)
{
    return __builtin_convertvector(v, VF);
}

// Truncation toward zero, as a scalar cast (operands are kept in range).
inline VI truncate(VF v)
{
    return __builtin_convertvector(v, VI);
}

inline VU loadPixels(const uint32_t *p)
{
    VU v;
    memcpy(&v, p, sizeof v);
    return v;
}

inline void storePixels(uint32_t *p, VU v)
{
    memcpy(p, &v, sizeof v);
}

// One bit per lane whose mask is set.
inline unsigned laneBits(VI m)
{
#if VX_LANES == 16
    return _mm512_test_epi32_mask((__m512i)m, (__m512i)m);
#elif VX_LANES == 8
    return (unsigned)_mm256_movemask_ps((__m256)m);
#else
    return (unsigned)_mm_movemask_ps((__m128)m);
#endif
}

// Lane bits of comparisons, straight from the comparison where the level
// has mask registers.
inline unsigned lanesBelow(VF a, VF b) // a < b, false for not-a-number
{
#if VX_LANES == 16
    return _mm512_cmp_ps_mask((__m512)a, (__m512)b, _CMP_LT_OQ);
#else
    return laneBits(a < b);
#endif
}

inline unsigned lanesAbove(VU a, VU b) // a > b, unsigned
{
#if VX_LANES == 16
    return _mm512_cmpgt_epu32_mask((__m512i)a, (__m512i)b);
#else
    return laneBits((VI)(a > b));
#endif
}

inline unsigned lanesDiffering(VU a, VU b)
{
#if VX_LANES == 16
    return _mm512_cmpneq_epu32_mask((__m512i)a, (__m512i)b);
#else
    return laneBits((VI)(a != b));
#endif
}

constexpr unsigned ALL_LANES = (1u << LANES) - 1u;

inline VU gather(const uint32_t *base, VI index)
{
#if VX_LANES == 16
    return (VU)_mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xFFFF, (__m512i)index, base, 4);
#elif VX_LANES == 8 && defined(__AVX2__)
    return (VU)_mm256_i32gather_epi32((const int *)base, (__m256i)index, 4);
#else
    VU r;
    for (int k = 0; k < LANES; ++k)
        r[k] = base[index[k]];
    return r;
#endif
}

// Pixels index[k] and index[k] + 1 of each lane: one 64-bit read each.
__attribute__((always_inline)) inline void gatherPairs(const uint32_t *base, VI index, VU &first,
                                                       VU &second)
{
#if VX_LANES == 16
    const __m512i at = (__m512i)index;
    const __m512i low = _mm512_mask_i32gather_epi64(
        _mm512_setzero_si512(), 0xFF, _mm512_maskz_extracti64x4_epi64(0xFF, at, 0), base, 4);
    const __m512i high = _mm512_mask_i32gather_epi64(
        _mm512_setzero_si512(), 0xFF, _mm512_maskz_extracti64x4_epi64(0xFF, at, 1), base, 4);
    const VI even = lanesFrom(0) * splat(2);
    first = (VU)_mm512_permutex2var_epi32(low, (__m512i)even, high);
    second = (VU)_mm512_permutex2var_epi32(low, (__m512i)(even + splat(1)), high);
#elif VX_LANES == 8 && defined(__AVX2__)
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
#else
    for (int k = 0; k < LANES; ++k) {
        first[k] = base[index[k]];
        second[k] = base[index[k] + 1];
    }
#endif
}

// A window of 2 x LANES pixels of one source row, two registers wide,
// that starts WINDOW_LEAD pixels before lane 0's pair.
#if VX_LANES == 16 || (VX_LANES == 8 && defined(__AVX2__))
#define VX_WINDOW 1
constexpr int WINDOW_LEAD = LANES / 2;

// Lane k of the result is pixel at[k] (0 .. 2 x LANES - 1) of the window.
inline VU pickFromWindow(VU low, VU high, VI at)
{
#if VX_LANES == 16
    return (VU)_mm512_permutex2var_epi32((__m512i)low, (__m512i)at, (__m512i)high);
#else
    const VU fromLow = (VU)_mm256_permutevar8x32_epi32((__m256i)low, (__m256i)at);
    const VU fromHigh = (VU)_mm256_permutevar8x32_epi32((__m256i)high, (__m256i)at);
    return at > splat(LANES - 1) ? fromHigh : fromLow;
#endif
}

// The first pixel of the window, when every lane reads the same source
// rows (one sample line iy) and its pair lies in the window; -1 otherwise.
__attribute__((always_inline)) inline int32_t windowStart(VI iy, VI base, int32_t width)
{
    const int32_t left = base[0] > WINDOW_LEAD ? base[0] - WINDOW_LEAD : 0;
    const VI at = base - splat(left);
    if (left + 2 * LANES > width || (lanesAbove((VU)at, splat((uint32_t)(2 * LANES - 2))) |
                                     lanesDiffering((VU)iy, splat((uint32_t)iy[0]))))
        return -1;
    return left;
}

// A window of 4 x LANES pixels, four registers wide, that starts
// WIDE_LEAD pixels before lane 0's pair: for steps of about two source
// pixels per output pixel, where the pairs of a step span more than two
// registers.
constexpr int WIDE_LEAD = LANES;
// Picking from four registers pays where one instruction picks from two.
constexpr bool WIDE = LANES == 16;

__attribute__((always_inline)) inline VU pickFromWideWindow(const VU (&window)[4], VI at)
{
    const VU fromLow = pickFromWindow(window[0], window[1], at);
    const VU fromHigh = pickFromWindow(window[2], window[3], at - splat(2 * LANES));
    return at > splat(2 * LANES - 1) ? fromHigh : fromLow;
}

__attribute__((always_inline)) inline int32_t wideWindowStart(VI iy, VI base, int32_t width)
{
    const int32_t left = base[0] > WIDE_LEAD ? base[0] - WIDE_LEAD : 0;
    const VI at = base - splat(left);
    if (left + 4 * LANES > width || (lanesAbove((VU)at, splat((uint32_t)(4 * LANES - 2))) |
                                     lanesDiffering((VU)iy, splat((uint32_t)iy[0]))))
        return -1;
    return left;
}
#endif

inline VF gather(const float *base, VI index)
{
#if VX_LANES == 16
    return (VF)_mm512_mask_i32gather_ps(_mm512_setzero_ps(), 0xFFFF, (__m512i)index, base, 4);
#elif VX_LANES == 8 && defined(__AVX2__)
    return (VF)_mm256_i32gather_ps(base, (__m256i)index, 4);
#else
    VF r;
    for (int k = 0; k < LANES; ++k)
        r[k] = base[index[k]];
    return r;
#endif
}

// Lane k of the result is lane index[k] of v.
inline VF permute(VF v, VI index)
{
#if VX_LANES == 16
    return (VF)_mm512_permutex2var_ps((__m512)v, (__m512i)index, (__m512)v);
#elif VX_LANES == 8 && defined(__AVX2__)
    return (VF)_mm256_permutevar8x32_ps((__m256)v, (__m256i)index);
#else
    return __builtin_shuffle(v, index);
#endif
}

#if VX_LANES == 16 || (VX_LANES == 8 && defined(__AVX2__))
constexpr bool HAS_PERMUTE = true;
#else
constexpr bool HAS_PERMUTE = false;
#endif

inline VF loadFloats(const float *p)
{
    VF v;
    memcpy(&v, p, sizeof v);
    return v;
}

// clampIndex of each lane into 0..size-1.
inline VI clampIndex(VI v, VI last)
{
    const VI zero = splat(0);
    v = v > zero ? v : zero;
    return v < last ? v : last;
}

// a > b ? a : b in each lane: the maximum instruction, which gives its
// second operand for not-a-number and for equal operands.
inline VF maximum(VF a, VF b)
{
#if VX_LANES == 16
    // The masked form with every lane set: the plain one leaves an
    // undefined pass-through value that compilers warn about.
    return (VF)_mm512_mask_max_ps((__m512)a, 0xFFFF, (__m512)a, (__m512)b);
#elif VX_LANES == 8
    return (VF)_mm256_max_ps((__m256)a, (__m256)b);
#else
    return (VF)_mm_max_ps((__m128)a, (__m128)b);
#endif
}

// boundCoordinate of each lane, in the operand order of a maximum and a
// minimum instruction: equal operands give the same value either way, and
// not-a-number gives -1.
inline VF boundCoordinate(VF v, VF limit)
{
    v = maximum(v, splat(-1.0f));
    return v < limit ? v : limit;
}

inline VH mulhi(VH x, VH y)
{
#if VX_LANES == 16
    return (VH)_mm512_mulhi_epu16((__m512i)x, (__m512i)y);
#elif VX_LANES == 8 && defined(__AVX2__)
    return (VH)_mm256_mulhi_epu16((__m256i)x, (__m256i)y);
#else
    return (VH)_mm_mulhi_epu16((__m128i)x, (__m128i)y);
#endif
}

// The weights of a byte blend (a * wa + b * wb) / 255, wa + wb = 255.
struct Blend {
#if VX_LANES == 16 || (VX_LANES == 8 && defined(__AVX2__))
    VU pairs; // bytes wa, wb in every 16-bit lane
#else
    VH plainA, highA, plainB, highB; // each weight plain and times 256
#endif
};

inline Blend blendOf(int wa, int wb)
{
    Blend r;
#if VX_LANES == 16 || (VX_LANES == 8 && defined(__AVX2__))
    r.pairs = splat((uint32_t)(wa | wb << 8) * 0x00010001u);
#else
    for (int k = 0; k < 2 * LANES; ++k) {
        r.plainA[k] = (uint16_t)wa;
        r.highA[k] = (uint16_t)(wa << 8);
        r.plainB[k] = (uint16_t)wb;
        r.highB[k] = (uint16_t)(wb << 8);
    }
#endif
    return r;
}

#if VX_LANES == 16 || (VX_LANES == 8 && defined(__AVX2__))
// The byte operations of the blend, each within 16-byte groups: the low
// or high halves of a and b interleaved byte by byte; unsigned bytes of
// weights times signed bytes of x, adjacent products summed into 16-bit
// lanes; 16-bit lanes packed into bytes with unsigned saturation.
#if VX_LANES == 16
typedef __m512i IntRegister;
#define VX_INTRINSIC(name) _mm512_##name
#else
typedef __m256i IntRegister;
#define VX_INTRINSIC(name) _mm256_##name
#endif

template <bool HIGH> inline VU interleaveBytes(VU a, VU b)
{
    return (VU)(HIGH ? VX_INTRINSIC(unpackhi_epi8)((IntRegister)a, (IntRegister)b)
                     : VX_INTRINSIC(unpacklo_epi8)((IntRegister)a, (IntRegister)b));
}

inline VH multiplyAddBytes(VU weights, VU x)
{
    return (VH)VX_INTRINSIC(maddubs_epi16)((IntRegister)weights, (IntRegister)x);
}

inline VU packBytes(VH low, VH high)
{
    return (VU)VX_INTRINSIC(packus_epi16)((IntRegister)low, (IntRegister)high);
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
#else
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
#endif

// Byte shift / 8 of each lane, as a number 0..255: one byte shuffle
// where the level has it (the shuffle works within 16-byte groups).
inline VI byteOf(VU v, int shift)
{
#if VX_LANES == 16 || (VX_LANES == 8 && defined(__AVX2__))
    // The lowest and the highest byte take one plain operation, which
    // leaves the shuffle unit to the others.
    if (shift == 0)
        return (VI)(v & splat(0xFFu));
    if (shift == 24)
        return (VI)(v >> 24);
    const VI pick =
        splat((int32_t)(0x80808000u | (uint32_t)(shift / 8))) + ((lanesFrom(0) & splat(3)) << 2);
#if VX_LANES == 16
    return (VI)_mm512_shuffle_epi8((__m512i)v, (__m512i)pick);
#else
    return (VI)_mm256_shuffle_epi8((__m256i)v, (__m256i)pick);
#endif
#else
    return (VI)((v >> shift) & splat(0xFFu));
#endif
}

// One channel of blendBilinear: the byte at shift of each lane's four
// pixels, blended; not yet clamped nor truncated.
__attribute__((always_inline)) inline VF blendChannel(VU p00, VU p10, VU p01, VU p11, VF fx, VF fy,
                                                      int shift)
{
    const VI a = byteOf(p00, shift), b = byteOf(p10, shift);
    const VI c = byteOf(p01, shift), d = byteOf(p11, shift);
    const VF top = toFloat(b - a) * fx + toFloat(a);
    const VF bottom = toFloat(d - c) * fx + toFloat(c);
    return (bottom - top) * fy + top;
}

// blendBilinear of each lane. Without a negative fraction (extrapolates
// false) every value lies within its four bytes up to rounding, so in
// -1..256 where truncation alone gives the clamped result.
__attribute__((always_inline)) inline VU blendBilinear(VU p00, VU p10, VU p01, VU p11, VF fx, VF fy,
                                                       bool extrapolates)
{
    const VF zero = splat(0.0f), top255 = splat(255.0f);
    VU result = splat(0u);
#pragma GCC unroll 4
    for (int shift = 0; shift < 32; shift += 8) {
        VF value = blendChannel(p00, p10, p01, p11, fx, fy, shift);
        // As value < 0 ? 0 : (value > 255 ? 255 : value) once truncated
        // (-0.0 becomes +0.0 here, and both truncate to 0); never NaN.
        if (extrapolates) {
            value = value > zero ? value : zero;
            value = value < top255 ? value : top255;
        }
        result |= (VU)truncate(value) << shift;
    }
    return result;
}

#if VX_LANES == 16 || (VX_LANES == 8 && defined(__AVX2__))
// blendBilinear of each lane, the channels packed back instead of shifted.
// Fractions lie in -1..1, so every value lies in -1020..1275 and is never
// NaN: truncating first and then saturating to 0..255 gives what clamping
// to 0..255 and truncating gives. The packs saturate and gather the four
// channels of each 16-byte group channel by channel; one byte shuffle puts
// them back pixel by pixel. Faster in the warp passes; the window passes,
// which hold more values at a time, are faster with the shifts.
__attribute__((always_inline)) inline VU packBilinear(VU p00, VU p10, VU p01, VU p11, VF fx, VF fy,
                                                      bool)
{
    VI channel[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k)
        channel[k] = truncate(blendChannel(p00, p10, p01, p11, fx, fy, 8 * k));
    // Byte 4m + k of a group comes from byte 4k + m.
    const VU order = splat(0x0C080400u) + (VU)((lanesFrom(0) & splat(3)) * splat(0x01010101));
    const VH low = (VH)VX_INTRINSIC(packus_epi32)((IntRegister)channel[0], (IntRegister)channel[1]);
    const VH high =
        (VH)VX_INTRINSIC(packus_epi32)((IntRegister)channel[2], (IntRegister)channel[3]);
    return (VU)VX_INTRINSIC(shuffle_epi8)((IntRegister)packBytes(low, high), (IntRegister)order);
}
#else
__attribute__((always_inline)) inline VU packBilinear(VU p00, VU p10, VU p01, VU p11, VF fx, VF fy,
                                                      bool extrapolates)
{
    return blendBilinear(p00, p10, p01, p11, fx, fy, extrapolates);
}
#endif

// What stays the same over a whole pass, in lanes.
struct Lanes {
    VF srcColStep, meshColStep, colLimit;
    VF pixelsPerColumn, pixelsPerRow;
    VF maxX, maxY, widthF;
    VI lastX, lastY, width;
    bool pairs;                 // a picture of two columns or more: neighbours are read in pairs
    Blend levelRest, restLevel; // first operand weighted by level, or by rest
    bool contiguous;            // the copy of output column j is source column j
    bool wide;                  // a step's pairs span about twice its lanes: wide windows
    struct KeptLines *kept;     // PASS_MIXED: the lines of the mixture kept, or null
};

Lanes lanesOf(const PassParams &p)
{
    Lanes l;
    l.srcColStep = splat(p.srcColStep);
    l.meshColStep = splat(p.meshColStep);
    l.colLimit = splat(p.mesh.colLimit);
    l.pixelsPerColumn = splat(p.pixelsPerColumn);
    l.pixelsPerRow = splat(p.pixelsPerRow);
    l.maxX = splat(p.picture.maxX);
    l.maxY = splat(p.picture.maxY);
    l.widthF = splat((float)p.picture.width);
    l.lastX = splat((int32_t)p.picture.width - 1);
    l.lastY = splat((int32_t)p.picture.height - 1);
    l.width = splat((int32_t)p.picture.width);
    l.pairs = p.picture.width >= 2;
    l.levelRest = blendOf(p.level, p.rest);
    l.restLevel = blendOf(p.rest, p.level);
    l.contiguous = p.srcColStep == 1.0f && (size_t)p.outW <= p.picture.width;
    l.wide = p.srcColStep > 1.0f && p.srcColStep <= 2.5f;
    l.kept = nullptr;
    return l;
}

// One output row of a pass.
struct Row {
    uint32_t *line;
    int32_t nearRow; // index of the first pixel of the nearest source row
    VF sy, fr;
    const float *node0, *node1; // mesh rows r and r + 1, as floats
    bool inside;                // the row lies inside the mesh
};

// Both pictures blend alike in the mixture (target weighted by level) and
// in the overlay of an undeformed pixel (source weighted by rest).
constexpr bool blendsCopies(PassKind k)
{
    return k == PASS_MIXED || k == PASS_OVERLAY;
}

// The pixel of kind K for lanes that copy: the nearest source pixel, or
// the mixture or overlay there.
template <PassKind K> inline VU copyAt(const PassParams &p, const Lanes &l, VI index)
{
    if (blendsCopies(K))
        return blendBytes(gather(p.target, index), gather(p.picture.pixels, index), l.levelRest);
    return gather(p.picture.pixels, index);
}

template <PassKind K> inline VU copyContiguous(const PassParams &p, const Lanes &l, int32_t index)
{
    if (blendsCopies(K))
        return blendBytes(loadPixels(p.target + index), loadPixels(p.picture.pixels + index),
                          l.levelRest);
    return loadPixels(p.picture.pixels + index);
}

// Stores n <= LANES results of kind K at dst; pass B dissolves them into
// what is there.
template <PassKind K> inline void storeResult(const Lanes &l, uint32_t *dst, VU pixels, int n)
{
    if (n == LANES) {
        if (K == PASS_DISSOLVE)
            pixels = blendBytes(loadPixels(dst), pixels, l.restLevel);
        storePixels(dst, pixels);
        return;
    }
    VU old = splat(0u);
    memcpy(&old, dst, (size_t)n * 4);
    if (K == PASS_DISSOLVE)
        pixels = blendBytes(old, pixels, l.restLevel);
    memcpy(dst, &pixels, (size_t)n * 4);
}

// Nearest source column of each lane's output column (nearestIndex).
__attribute__((always_inline)) inline VI nearestColumn(const Lanes &l, VF sx)
{
    return clampIndex(truncate(boundCoordinate(sx, l.widthF)), l.lastX);
}

// Output columns [j, end) of a row are undeformed: copies in bulk.
template <PassKind K>
void copyRun(const PassParams &p, const Lanes &l, const Row &row, int j, int end)
{
    if (K == PASS_SAMPLE && l.contiguous) {
        memcpy(row.line + j, p.picture.pixels + row.nearRow + j, (size_t)(end - j) * 4);
        return;
    }
    // Whole steps of a run that reads its source columns in order: two
    // loads, the blend and a store each, nothing per pixel.
    if (l.contiguous && K != PASS_SAMPLE) {
        // Pointers held in locals: the stores could otherwise alias them.
        uint32_t *const dst = row.line;
        const uint32_t *const src = p.picture.pixels + row.nearRow;
        const uint32_t *const other = K == PASS_DISSOLVE ? dst : p.target + row.nearRow;
#if VX_LANES == 16
        // Three streams of pixels run faster 8 pixels a step, measured on
        // processors that split 16-pixel registers in two.
        const int wOther = K == PASS_DISSOLVE ? p.rest : p.level;
        blendRunAvx2(dst + j, other + j, src + j, (size_t)(end - j), wOther, 255 - wOther);
        return;
#else
        const Blend weights = K == PASS_DISSOLVE ? l.restLevel : l.levelRest;
        for (; j + LANES <= end; j += LANES)
            storePixels(dst + j, blendBytes(loadPixels(other + j), loadPixels(src + j), weights));
#endif
    }
    for (; j < end; j += LANES) {
        const int n = end - j < LANES ? end - j : LANES;
        VU pixels;
        if (l.contiguous && n == LANES) {
            pixels = copyContiguous<K>(p, l, row.nearRow + j);
        } else {
            const VF sx = toFloat(lanesFrom(j)) * l.srcColStep;
            pixels = copyAt<K>(p, l, splat(row.nearRow) + nearestColumn(l, sx));
        }
        storeResult<K>(l, row.line + j, pixels, n);
    }
}

// The bits of a node pair other than the sign bits: zero for +0.0 and -0.0.
inline uint64_t magnitudeBits(const float *node)
{
    uint64_t bits;
    memcpy(&bits, node, 8);
    return bits & 0x7FFFFFFF7FFFFFFFull;
}

// The first node column from c of one mesh row that holds a node other
// than zero or -0.0 in either component; cols if none.
int firstDeformedNode(const float *nodes, int c, int cols)
{
    const VU magnitude = splat(0x7FFFFFFFu), none = splat(0u);
    // Four registers per test while they are all zero; the register that
    // is not is then found one by one.
    constexpr int BLOCK = 4 * (LANES / 2);
    for (; c + BLOCK <= cols; c += BLOCK) {
        VU any = none;
        for (int k = 0; k < BLOCK; k += LANES / 2) {
            VU a;
            memcpy(&a, nodes + 2 * (c + k), sizeof a);
            any |= a;
        }
        if (lanesDiffering(any & magnitude, none))
            break;
    }
    for (; c + LANES / 2 <= cols; c += LANES / 2) {
        VU a;
        memcpy(&a, nodes + 2 * c, sizeof a);
        const unsigned lanes = lanesDiffering(a & magnitude, none);
        if (lanes)
            return c + __builtin_ctz(lanes) / 2;
    }
    for (; c < cols; ++c)
        if (magnitudeBits(nodes + 2 * c))
            return c;
    return cols;
}

// The last two scans of single mesh rows: nodes [from, first) of row are
// zero and node first is not (or first is the row's end). Consecutive
// output row pairs share a mesh row, which is then scanned once.
struct Scans {
    struct Scan {
        const float *row;
        int from, first;
    } last[2] = {{nullptr, 0, 0}, {nullptr, 0, 0}};
    int newest = 0;

    int firstDeformed(const float *row, int c, int cols)
    {
        for (const Scan &s : last)
            if (s.row == row && s.from <= c && c <= s.first)
                return s.first;
        newest ^= 1;
        last[newest] = {row, c, firstDeformedNode(row, c, cols)};
        return last[newest].first;
    }
};

// End of the run of undeformed output columns from j. A column is
// undeformed when the nodes it interpolates, columns c and c + 1 of both
// mesh rows, are all zero or -0.0 (the interpolation is then zero or -0.0),
// or when it lies past the last mesh column.
int undeformedUntil(const PassParams &p, const Row &row, int j, Scans &scans)
{
    if (!row.inside)
        return p.outW;
    const float step = p.meshColStep;
    const float gc = (float)j * step;
    if (!(gc < p.mesh.colLimit))
        return p.outW;
    const int cols = (int)p.mesh.cols;
    const int first0 = scans.firstDeformed(row.node0, (int)gc, cols);
    const int first1 = scans.firstDeformed(row.node1, (int)gc, cols);
    const int deformed = first0 < first1 ? first0 : first1;
    if (deformed >= (int)p.mesh.cols)
        return p.outW;
    // The first column from j whose node c reaches deformed - 1; the
    // truncated mesh column grows with the output column.
    const int reach = deformed - 1;
    if ((int)gc >= reach)
        return j;
    if (!(step > 0.0f))
        return p.outW;
    const double estimate = (double)reach / (double)step;
    int end = estimate >= (double)p.outW ? p.outW : (int)estimate;
    end = end < j ? j : end;
    while (end > j && (int)((float)(end - 1) * step) >= reach)
        --end;
    while (end < p.outW && (int)((float)end * step) < reach)
        ++end;
    return end;
}

#ifdef VX_WINDOW
// Pixels at[k] and at[k] + 1 of the window that starts at pixel index
// start, or of the mixture there.
template <PassKind K>
__attribute__((always_inline)) inline void windowPairs(const PassParams &p, const uint32_t *pixels,
                                                       const Lanes &l, size_t start, VI at,
                                                       VU &first, VU &second)
{
    VU low = loadPixels(pixels + start), high = loadPixels(pixels + start + LANES);
    if (K == PASS_MIXED) {
        low = blendBytes(loadPixels(p.target + start), low, l.levelRest);
        high = blendBytes(loadPixels(p.target + start + LANES), high, l.levelRest);
    }
    first = pickFromWindow(low, high, at);
    second = pickFromWindow(low, high, at + splat(1));
}

template <PassKind K>
__attribute__((always_inline)) inline void
wideWindowPairs(const PassParams &p, const uint32_t *pixels, const Lanes &l, size_t start, VI at,
                VU &first, VU &second)
{
    VU window[4];
    for (int k = 0; k < 4; ++k) {
        window[k] = loadPixels(pixels + start + (size_t)(k * LANES));
        if (K == PASS_MIXED)
            window[k] = blendBytes(loadPixels(p.target + start + (size_t)(k * LANES)), window[k],
                                   l.levelRest);
    }
    first = pickFromWideWindow(window, at);
    second = pickFromWideWindow(window, at + splat(1));
}

// The pairs of both sample lines of a step from the windows that start at
// pixels start0 and start1.
template <PassKind K>
__attribute__((always_inline)) inline void
windowRows(const PassParams &p, const uint32_t *pixels, const Lanes &l, size_t start0,
           size_t start1, VI at, VU &left0, VU &right0, VU &left1, VU &right1)
{
    if (WIDE && l.wide) {
        wideWindowPairs<K>(p, pixels, l, start0, at, left0, right0);
        wideWindowPairs<K>(p, pixels, l, start1, at, left1, right1);
    } else {
        windowPairs<K>(p, pixels, l, start0, at, left0, right0);
        windowPairs<K>(p, pixels, l, start1, at, left1, right1);
    }
}
#endif

// Pixels index[k] and index[k] + 1 of each lane, or of the mixture there.
template <PassKind K>
__attribute__((always_inline)) inline void gatheredPairs(const PassParams &p,
                                                         const uint32_t *pixels, const Lanes &l,
                                                         VI index, VU &first, VU &second)
{
    gatherPairs(pixels, index, first, second);
    if (K == PASS_MIXED) {
        VU t, u;
        gatherPairs(p.target, index, t, u);
        first = blendBytes(t, first, l.levelRest);
        second = blendBytes(u, second, l.levelRest);
    }
}

// The mixture kept a few lines at a time by a mixed pass that samples
// about every pixel: each line is blended once, where the samples would
// blend each of their four neighbours. Picture line y sits in slot
// y % KEPT_LINES while lineIn holds y there; the slots stay in cache.
struct KeptLines {
    uint32_t *pixels;
    int32_t lineIn[KEPT_LINES];
    int64_t budget; // lines still to blend; a pass that jumps about stops keeping
};

// Whether a pass samples the kept mixture: room was given and the
// picture has enough columns for pairs.
inline bool samplesKeptMixture(const PassParams &p)
{
    return p.kind == PASS_MIXED && p.mixture && p.picture.width >= 2;
}

KeptLines keptLinesOf(const PassParams &p)
{
    KeptLines k;
    k.pixels = p.mixture;
    for (int32_t &line : k.lineIn)
        line = -1;
    k.budget = 2 * ((int64_t)p.picture.height + p.outH);
    return k;
}

// Blends lines first..last of the mixture that are not kept yet; false
// when the budget runs out first.
__attribute__((noinline)) bool blendLines(const PassParams &p, const Lanes &l, size_t first,
                                          size_t last)
{
    KeptLines &k = *l.kept;
    const size_t width = p.picture.width;
    for (size_t y = first; y <= last; ++y) {
        const size_t slot = y % KEPT_LINES;
        if (k.lineIn[slot] == (int32_t)y)
            continue;
        if (k.budget <= 0)
            return false;
        --k.budget;
        k.lineIn[slot] = (int32_t)y;
        const uint32_t *const target = p.target + y * width;
        const uint32_t *const source = p.picture.pixels + y * width;
        uint32_t *const mixed = k.pixels + slot * width;
        size_t x = 0;
        for (; x + LANES <= width; x += LANES)
            storePixels(mixed + x,
                        blendBytes(loadPixels(target + x), loadPixels(source + x), l.levelRest));
        for (; x < width; ++x)
            mixed[x] = ::blendBytes(target[x], p.level, source[x], p.rest);
    }
    return true;
}

// Makes lines first..last of the mixture present; false (the caller then
// blends as it reads) when they cannot all be kept at once or the budget
// is spent. Lines already kept cost a look each, nothing more.
__attribute__((always_inline)) inline bool keepLines(const PassParams &p, const Lanes &l,
                                                     size_t first, size_t last)
{
    if (last - first >= (size_t)KEPT_LINES)
        return false;
    for (size_t y = first; y <= last; ++y)
        if (l.kept->lineIn[y % KEPT_LINES] != (int32_t)y)
            return blendLines(p, l, y, last);
    return true;
}

// The part of a step that depends on the mesh rows only, not on the
// fraction between them: output rows that share their mesh rows share it.
struct MeshStep {
    VF sx;
    VI inside;      // the lane lies before the last mesh column
    bool allInside; // every lane does
    VF topX, bottomX, topY, bottomY;
};

// The nodes around each lane's mesh column c in the step's two mesh rows,
// blended across the column by fc into m. With pick, every lane's node lies
// within one register's width from column cFirst, so the nodes are picked
// out of two loads per row; otherwise they are gathered.
__attribute__((always_inline)) inline void blendNodes(const Row &row, VI c, VF fc, int cFirst,
                                                      bool pick, MeshStep &m)
{
    VF n00x, n00y, n10x, n10y, n01x, n01y, n11x, n11y;
    if (pick) {
        const VI at = (c - splat(cFirst)) * splat(2);
        const VI atY = at + splat(1);
        const float *node0 = row.node0 + 2 * cFirst, *node1 = row.node1 + 2 * cFirst;
        const VF a0 = loadFloats(node0), b0 = loadFloats(node0 + 2);
        const VF a1 = loadFloats(node1), b1 = loadFloats(node1 + 2);
        n00x = permute(a0, at), n00y = permute(a0, atY);
        n10x = permute(b0, at), n10y = permute(b0, atY);
        n01x = permute(a1, at), n01y = permute(a1, atY);
        n11x = permute(b1, at), n11y = permute(b1, atY);
    } else {
        const VI at = c + c;
        n00x = gather(row.node0, at), n00y = gather(row.node0 + 1, at);
        n10x = gather(row.node0 + 2, at), n10y = gather(row.node0 + 3, at);
        n01x = gather(row.node1, at), n01y = gather(row.node1 + 1, at);
        n11x = gather(row.node1 + 2, at), n11y = gather(row.node1 + 3, at);
    }
    m.topX = (n10x - n00x) * fc + n00x;
    m.bottomX = (n11x - n01x) * fc + n01x;
    m.topY = (n10y - n00y) * fc + n00y;
    m.bottomY = (n11y - n01y) * fc + n01y;
}

// Mesh interpolation across the columns of a step; lanes past the last
// mesh column read the node of lane 0 (later set to zero).
// undeformedUntil leaves lane 0 inside.
__attribute__((always_inline)) inline MeshStep meshStep(const PassParams &p, const Lanes &l,
                                                        const Row &row, int j)
{
    const VF jf = toFloat(lanesFrom(j));
    const VF gc = jf * l.meshColStep;
    const VF zero = splat(0.0f);
    const float gcFirst = (float)j * p.meshColStep;
    const float gcLast = (float)(j + LANES - 1) * p.meshColStep;
    const int cFirst = (int)gcFirst;
    const int cLast = gcLast < p.mesh.colLimit ? (int)gcLast : (int)p.mesh.cols - 2;
    MeshStep m;
    m.sx = jf * l.srcColStep;
    m.inside = (gc >= zero) & (gc < l.colLimit);
    m.allInside = gcLast < p.mesh.colLimit;
    const VI c = m.inside ? truncate(gc) : splat(cFirst);
    const VF fc = gc - toFloat(c);
    // The step's nodes lie in one register's width of each mesh row: pick
    // them out of two loads per row instead of gathering.
    blendNodes(row, c, fc, cFirst,
               cLast - cFirst < LANES / 2 && cFirst + LANES / 2 < (int)p.mesh.cols, m);
    return m;
}

// The rest of a step for one output row: n of its LANES pixels are stored.
// With KEPT (PASS_MIXED only), the bilinear samples read the kept mixture
// where they can. PACKED picks packBilinear over blendBilinear.
template <PassKind K, bool KEPT = false, bool PACKED = true>
__attribute__((always_inline)) inline void
sampleStep(const PassParams &p, const Lanes &l, const Row &row, const MeshStep &m, int j, int n)
{
    const VF zero = splat(0.0f);
    const VF sx = m.sx;
    VF dx = (m.bottomX - m.topX) * row.fr + m.topX;
    VF dy = (m.bottomY - m.topY) * row.fr + m.topY;
    if (!m.allInside) {
        dx = m.inside ? dx : zero;
        dy = m.inside ? dy : zero;
    }

    // Zero, -0.0 and not-a-number all count as no displacement: |d| > 0
    // is an ordered not-equal comparison with zero.
#if VX_LANES == 16
    const __mmask16 movedX = _mm512_cmp_ps_mask((__m512)dx, (__m512)zero, _CMP_NEQ_OQ);
    const __mmask16 movedY = _mm512_cmp_ps_mask((__m512)dy, (__m512)zero, _CMP_NEQ_OQ);
    dx = (VF)_mm512_maskz_mov_ps(movedX, (__m512)dx);
    dy = (VF)_mm512_maskz_mov_ps(movedY, (__m512)dy);
    const __mmask16 moved = movedX | movedY;
    const unsigned movedBits = moved;
#else
    const VI signless = splat(0x7FFFFFFF);
    const VI movedX = (VF)((VI)dx & signless) > zero;
    const VI movedY = (VF)((VI)dy & signless) > zero;
    dx = movedX ? dx : zero;
    dy = movedY ? dy : zero;
    const VI moved = movedX | movedY;
    const unsigned movedBits = laneBits(moved);
#endif

    VU pixels = splat(0u);
    if (movedBits != ALL_LANES)
        pixels = copyAt<K>(p, l, splat(row.nearRow) + nearestColumn(l, sx));
    if (movedBits) {
        const VF x = boundCoordinate(sx + l.pixelsPerColumn * dx, l.maxX);
        const VF y = boundCoordinate(l.pixelsPerRow * dy + row.sy, l.maxY);
        const VI ix = truncate(x), iy = truncate(y);
        const VF fx = x - toFloat(ix), fy = y - toFloat(iy);
        const VI one = splat(1);
        const bool extrapolates = (lanesBelow(fx, zero) | lanesBelow(fy, zero)) != 0;
        VU p00, p10, p01, p11;
        if (l.pairs) {
            // Both columns come from the pair at the clamped ix (at the last
            // column, the pair before it); at an edge, where ix < 0 or
            // ix >= the last column, both are the same pixel of the pair.
            const VI base = clampIndex(ix, l.lastX - one);
            VU left0, right0, left1, right1;
#ifdef VX_WINDOW
            // Lanes on one sample line: two windows, rows found once.
            const int32_t width = (int32_t)p.picture.width;
            const int32_t window =
                WIDE && l.wide ? wideWindowStart(iy, base, width) : windowStart(iy, base, width);
            if (window >= 0) {
                const VI at = base - splat(window);
                const size_t line0 = ::clampIndex(iy[0], p.picture.height);
                const size_t line1 = ::clampIndex(iy[0] + 1, p.picture.height);
                const size_t width = p.picture.width;
                if (KEPT && keepLines(p, l, line0, line1))
                    windowRows<PASS_SAMPLE>(p, l.kept->pixels, l,
                                            line0 % KEPT_LINES * width + (size_t)window,
                                            line1 % KEPT_LINES * width + (size_t)window, at, left0,
                                            right0, left1, right1);
                else
                    windowRows<K>(p, p.picture.pixels, l, line0 * width + (size_t)window,
                                  line1 * width + (size_t)window, at, left0, right0, left1, right1);
            } else
#endif
            {
                const VI line0 = clampIndex(iy, l.lastY), line1 = clampIndex(iy + one, l.lastY);
                int32_t first = line0[0], last = line1[0];
                if (KEPT)
                    for (int k = 1; k < LANES; ++k) {
                        first = line0[k] < first ? line0[k] : first;
                        last = line1[k] > last ? line1[k] : last;
                    }
                if (KEPT && keepLines(p, l, (size_t)first, (size_t)last)) {
                    const VI slots = splat(KEPT_LINES - 1);
                    gatheredPairs<PASS_SAMPLE>(p, l.kept->pixels, l,
                                               (line0 & slots) * l.width + base, left0, right0);
                    gatheredPairs<PASS_SAMPLE>(p, l.kept->pixels, l,
                                               (line1 & slots) * l.width + base, left1, right1);
                } else {
                    gatheredPairs<K>(p, p.picture.pixels, l, line0 * l.width + base, left0, right0);
                    gatheredPairs<K>(p, p.picture.pixels, l, line1 * l.width + base, left1, right1);
                }
            }
            p00 = left0, p10 = right0, p01 = left1, p11 = right1;
            if (lanesAbove((VU)ix, (VU)(l.lastX - one))) {
                const VI x0 = clampIndex(ix, l.lastX), x1 = clampIndex(ix + one, l.lastX);
                const VI firstIsLeft = x0 == base, secondIsLeft = x1 == base;
                p00 = firstIsLeft ? left0 : right0;
                p10 = secondIsLeft ? left0 : right0;
                p01 = firstIsLeft ? left1 : right1;
                p11 = secondIsLeft ? left1 : right1;
            }
        } else {
            const VI x0 = clampIndex(ix, l.lastX), x1 = clampIndex(ix + one, l.lastX);
            const VI y0 = clampIndex(iy, l.lastY) * l.width;
            const VI y1 = clampIndex(iy + one, l.lastY) * l.width;
            constexpr PassKind S = K == PASS_MIXED ? PASS_MIXED : PASS_SAMPLE;
            p00 = copyAt<S>(p, l, y0 + x0), p10 = copyAt<S>(p, l, y0 + x1);
            p01 = copyAt<S>(p, l, y1 + x0), p11 = copyAt<S>(p, l, y1 + x1);
        }
        VU sample = PACKED ? packBilinear(p00, p10, p01, p11, fx, fy, extrapolates)
                           : blendBilinear(p00, p10, p01, p11, fx, fy, extrapolates);
        if (K == PASS_OVERLAY)
            sample = blendBytes(sample, gather(p.target, splat(row.nearRow) + nearestColumn(l, sx)),
                                l.restLevel);
#if VX_LANES == 16
        pixels = (VU)_mm512_mask_mov_epi32((__m512i)pixels, moved, (__m512i)sample);
#else
        pixels = moved ? sample : pixels;
#endif
    }
    storeResult<K>(l, row.line + j, pixels, n);
}

// Rows i and i + 1 share their mesh rows (or both lie outside the mesh):
// their runs of undeformed columns are the same, and so is the mesh part
// of every step.
inline bool shareMeshRows(const PassParams &p, int i)
{
    const float gr0 = (float)i * p.meshRowStep, gr1 = (float)(i + 1) * p.meshRowStep;
    const bool inside0 = gr0 >= 0.0f && gr0 < p.mesh.rowLimit;
    const bool inside1 = gr1 >= 0.0f && gr1 < p.mesh.rowLimit;
    return inside0 == inside1 && (!inside0 || (int)gr0 == (int)gr1);
}

// Output row i at mesh row gr and source line sy.
Row rowFor(const PassParams &p, int i, float gr, float sy)
{
    const float *nodes = (const float *)p.mesh.nodes;
    Row row;
    row.line = p.out + (size_t)i * (size_t)p.outW;
    row.nearRow = (int32_t)(nearestIndex(sy, p.picture.height) * p.picture.width);
    row.sy = splat(sy);
    row.fr = splat(0.0f);
    row.inside = gr >= 0.0f && gr < p.mesh.rowLimit;
    row.node0 = row.node1 = nodes;
    if (row.inside) {
        const int r = (int)gr;
        row.fr = splat(gr - (float)r);
        row.node0 = nodes + 2 * (size_t)r * p.mesh.cols;
        row.node1 = row.node0 + 2 * p.mesh.cols;
    }
    return row;
}

Row rowAt(const PassParams &p, int i)
{
    return rowFor(p, i, (float)i * p.meshRowStep, (float)i * p.srcRowStep);
}

// The first column from j not known to be undeformed; a quick look at the
// first node saves the scan in deformed stretches.
inline int undeformedFrom(const PassParams &p, const Row &row, int j, Scans &scans)
{
    if (row.inside) {
        const float gc = (float)j * p.meshColStep;
        if (gc < p.mesh.colLimit) {
            const int c = (int)gc;
            if (magnitudeBits(row.node0 + 2 * c) | magnitudeBits(row.node1 + 2 * c))
                return j;
        }
    }
    return undeformedUntil(p, row, j, scans);
}

template <PassKind K, bool KEPT = false>
void warpRows(const PassParams &p, int rowBegin, int rowEnd)
{
    Lanes l = lanesOf(p);
    KeptLines kept;
    if (KEPT) {
        kept = keptLinesOf(p);
        l.kept = &kept;
    }
    Scans scans;
    for (int i = rowBegin; i < rowEnd;) {
        const bool pair = i + 1 < rowEnd && shareMeshRows(p, i);
        const Row row = rowAt(p, i), second = rowAt(p, pair ? i + 1 : i);
        int j = 0, nextJ = -1;
        MeshStep next;
        while (j < p.outW) {
            const int end = undeformedFrom(p, row, j, scans);
            if (end > j) {
                copyRun<K>(p, l, row, j, end);
                if (pair)
                    copyRun<K>(p, l, second, j, end);
                j = end;
                continue;
            }
            const int n = p.outW - j < LANES ? p.outW - j : LANES;
            const MeshStep m = nextJ == j ? next : meshStep(p, l, row, j);
            // The next step's mesh part comes first: its chain of dependent
            // operations then runs while this step samples.
            // meshStep needs lane 0 inside the mesh, as undeformedFrom
            // leaves it for the steps it calls deformed.
            nextJ = j + LANES;
            if (nextJ < p.outW && (float)nextJ * p.meshColStep < p.mesh.colLimit)
                next = meshStep(p, l, row, nextJ);
            else
                nextJ = -1;
            sampleStep<K, KEPT>(p, l, row, m, j, n);
            if (pair)
                sampleStep<K, KEPT>(p, l, second, m, j, n);
            j += LANES;
        }
        i += pair ? 2 : 1;
    }
}

// Pixel and node indices travel in 32-bit lanes.
bool indicesFit(const PassParams &p)
{
    const size_t limit = (size_t)1 << 30;
    return p.picture.width * p.picture.height < limit &&
           p.mesh.cols * (size_t)(p.mesh.rowLimit + 1) < limit && (size_t)p.outW + LANES < limit;
}

// Columns of a window pass are walked in strips, so that the coordinates
// u of a strip's columns (a chain of float32 sums) are found once for all
// its rows.
constexpr int STRIP = 256;

// Row i of a window pass at row coordinate v.
Row windowRowAt(const PassParams &p, int i, float v)
{
    return rowFor(p, i, p.meshRowStep * v, p.srcRowStep * v);
}

// Rows at v0 and v1 read the same mesh rows (or both lie outside).
inline bool shareMeshRowsAt(const PassParams &p, float v0, float v1)
{
    const float gr0 = p.meshRowStep * v0, gr1 = p.meshRowStep * v1;
    const bool inside0 = gr0 >= 0.0f && gr0 < p.mesh.rowLimit;
    const bool inside1 = gr1 >= 0.0f && gr1 < p.mesh.rowLimit;
    return inside0 == inside1 && (!inside0 || (int)gr0 == (int)gr1);
}

// The mesh part of a window step at column coordinates u; lanes outside
// the mesh (or all, on a row outside it) read node 0 and are set to zero.
__attribute__((always_inline)) inline MeshStep windowMeshStep(const Lanes &l, const Row &row, VF u,
                                                              size_t cols)
{
    const VF zero = splat(0.0f);
    const VF gc = l.meshColStep * u;
    MeshStep m;
    m.sx = l.srcColStep * u;
    m.inside = (gc >= zero) & (gc < l.colLimit);
    unsigned insideBits = laneBits(m.inside);
    if (!row.inside) {
        m.inside = splat(0);
        insideBits = 0;
    }
    m.allInside = insideBits == ALL_LANES;
    m.topX = m.bottomX = m.topY = m.bottomY = zero;
    if (!insideBits)
        return m;
    // Lanes outside read the column of the first lane inside (column 0
    // where the level gathers: picking one lane costs more than it saves).
    const int cFirst = HAS_PERMUTE ? (int)gc[__builtin_ctz(insideBits)] : 0;
    const VI c = m.inside ? truncate(gc) : splat(cFirst);
    const VF fc = gc - toFloat(c);
    // As in meshStep where the level permutes lanes in one instruction.
    const bool pick = HAS_PERMUTE && cFirst + LANES / 2 < (int)cols &&
                      !lanesAbove((VU)(c - splat(cFirst)), splat((uint32_t)(LANES / 2 - 1)));
    blendNodes(row, c, fc, cFirst, pick, m);
    return m;
}

template <PassKind K> void viewRows(const PassParams &p)
{
    Lanes l = lanesOf(p);
    const float step = p.srcColStep * p.colAdvance; // source pixels per output pixel
    l.wide = step > 1.0f && step <= 2.5f;
    float u[STRIP + LANES];
    float uNext = p.colOrigin;
    for (int begin = 0; begin < p.outW; begin += STRIP) {
        const int end = p.outW - begin < STRIP ? p.outW : begin + STRIP;
        // Lanes past the last column read on along the chain; every index
        // they give is clamped and nothing of theirs is stored.
        for (int k = 0; k < end - begin; ++k, uNext += p.colAdvance)
            u[k] = uNext;
        float tail = uNext;
        for (int k = end - begin; k < STRIP + LANES; ++k, tail += p.colAdvance)
            u[k] = tail;
        float v = p.rowOrigin;
        for (int i = 0; i < p.outH;) {
            const float vNext = v + p.rowAdvance;
            const bool pair = i + 1 < p.outH && shareMeshRowsAt(p, v, vNext);
            const Row row = windowRowAt(p, i, v), second = windowRowAt(p, pair ? i + 1 : i, vNext);
            // As in warpRows, each step's mesh part one step ahead; u holds
            // the coordinates of LANES columns past the strip.
            MeshStep next = windowMeshStep(l, row, loadFloats(u), p.mesh.cols);
            for (int j = begin; j < end; j += LANES) {
                const int n = end - j < LANES ? end - j : LANES;
                const MeshStep m = next;
                if (j + LANES < end)
                    next = windowMeshStep(l, row, loadFloats(u + (j + LANES - begin)), p.mesh.cols);
                sampleStep<K, false, false>(p, l, row, m, j, n);
                if (pair)
                    sampleStep<K, false, false>(p, l, second, m, j, n);
            }
            v = pair ? vNext + p.rowAdvance : vNext;
            i += pair ? 2 : 1;
        }
    }
}

} // namespace

#if VX_LANES == 8 && defined(__AVX2__)
void blendRunAvx2(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                  int wOther, int wSrc)
{
    const Blend weights = blendOf(wOther, wSrc);
    size_t j = 0;
    for (; j + LANES <= count; j += LANES)
        storePixels(dst + j, blendBytes(loadPixels(other + j), loadPixels(src + j), weights));
    for (; j < count; ++j)
        dst[j] = ::blendBytes(other[j], wOther, src[j], wSrc);
}
#endif

void VX_WARP_ROWS(const PassParams &p, int rowBegin, int rowEnd)
{
    if (!indicesFit(p)) {
        warpRowsScalar(p, rowBegin, rowEnd);
        return;
    }
    switch (p.kind) {
    case PASS_SAMPLE:
        warpRows<PASS_SAMPLE>(p, rowBegin, rowEnd);
        break;
    case PASS_DISSOLVE:
        warpRows<PASS_DISSOLVE>(p, rowBegin, rowEnd);
        break;
    case PASS_MIXED:
        if (samplesKeptMixture(p))
            warpRows<PASS_MIXED, true>(p, rowBegin, rowEnd);
        else
            warpRows<PASS_MIXED>(p, rowBegin, rowEnd);
        break;
    case PASS_OVERLAY:
        warpRows<PASS_OVERLAY>(p, rowBegin, rowEnd);
        break;
    }
}

void VX_VIEW_ROWS(const PassParams &p)
{
    if (!indicesFit(p)) {
        viewRowsScalar(p);
        return;
    }
    switch (p.kind) {
    case PASS_SAMPLE:
        viewRows<PASS_SAMPLE>(p);
        break;
    case PASS_MIXED:
        viewRows<PASS_MIXED>(p);
        break;
    case PASS_OVERLAY:
        viewRows<PASS_OVERLAY>(p);
        break;
    case PASS_DISSOLVE: // not a view pass
        viewRowsScalar(p);
        break;
    }
}
