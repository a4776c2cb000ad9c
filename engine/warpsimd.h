// Internal to the engine: the warp and window passes several output pixels
// at a time, written once over the lane operations of an instruction-set
// level. Included by each level's file (engine/warp_sse2.cpp,
// warp_avx2.cpp, warp_avx512.cpp) after that level's header
// (engine/simd/sse2.h, avx2.h, avx512.h), which gives LANES (pixels per
// step), the vector types, the lane operations and the capabilities that
// choose between roads here; the file is compiled with that level's
// instruction-set flags. Everything here has internal linkage, so the
// levels never share a compiled copy; the level's file puts the entry
// points into its table (engine/warplevel.h).
//
// Each lane computes what warpRowsScalar (or viewRowsScalar) computes for
// its pixel, with the same operations in the same order: float32 products
// and sums without contraction, truncating conversions, the same
// comparisons (so NaN and -0.0 behave alike) and the same clamping of
// coordinates and indices.
// Byte blends use the exact division by 255 of blendBytes.
#include <cstring>

#include "engine/warpkernels.h"
#include "engine/warplevel.h"

namespace {

// boundCoordinate of each lane, in the operand order of a maximum and a
// minimum instruction: equal operands give the same value either way, and
// not-a-number gives -1.
inline VF boundCoordinate(VF v, VF limit)
{
    v = maximum(v, splat(-1.0f));
    return v < limit ? v : limit;
}

// Where the level picks pairs from windows (kHasWindowPick): a window of
// 2 x LANES pixels of one source row, two registers wide, that starts
// WINDOW_LEAD pixels before lane 0's pair.
constexpr int WINDOW_LEAD = LANES / 2;

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

// Where the level picks from four registers (kPicksWideWindows): a window
// of 4 x LANES pixels, four registers wide, that starts WIDE_LEAD pixels
// before lane 0's pair, for steps of about two source pixels per output
// pixel, where the pairs of a step span more than two registers.
constexpr int WIDE_LEAD = LANES;

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

// blendBilinear of each lane, the channels packed back (packChannels)
// instead of shifted, where the level packs them. Fractions lie in -1..1,
// so every value lies in -1020..1275 and is never NaN: truncating first
// and then saturating to 0..255 gives what clamping to 0..255 and
// truncating gives. Faster in the warp passes; the window passes, which
// hold more values at a time, are faster with the shifts.
__attribute__((always_inline)) inline VU packBilinear(VU p00, VU p10, VU p01, VU p11, VF fx, VF fy,
                                                      bool extrapolates)
{
    if constexpr (kPacksChannels) {
        VI channel[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k)
            channel[k] = truncate(blendChannel(p00, p10, p01, p11, fx, fy, 8 * k));
        return packChannels(channel);
    } else {
        return blendBilinear(p00, p10, p01, p11, fx, fy, extrapolates);
    }
}

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

// Byte-wise blendBytes(other[k], wOther, src[k], wSrc) into dst[k] for
// count pixels (dst may be other), a step of LANES at a time.
void blendRunOfLanes(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                     int wOther, int wSrc)
{
    const Blend weights = blendOf(wOther, wSrc);
    size_t j = 0;
    for (; j + 2 * LANES <= count; j += 2 * LANES) {
        const VU a = blendBytes(loadPixels(other + j), loadPixels(src + j), weights);
        const VU b =
            blendBytes(loadPixels(other + j + LANES), loadPixels(src + j + LANES), weights);
        storePixels(dst + j, a);
        storePixels(dst + j + LANES, b);
    }
    for (; j + LANES <= count; j += LANES)
        storePixels(dst + j, blendBytes(loadPixels(other + j), loadPixels(src + j), weights));
    for (; j < count; ++j)
        dst[j] = ::blendBytes(other[j], wOther, src[j], wSrc);
}

// The run blend of the level's passes and table: its own, or the AVX2
// level's where the level says so.
constexpr BlendRunFn levelRunBlend = kBlendsRunsAtAvx2 ? blendRunAvx2 : blendRunOfLanes;

// Output columns [j, end) of a row are undeformed: copies in bulk.
template <PassKind K>
void copyRun(const PassParams &p, const Lanes &l, const Row &row, int j, int end)
{
    if (K == PASS_SAMPLE && l.contiguous) {
        memcpy(row.line + j, p.picture.pixels + row.nearRow + j, (size_t)(end - j) * 4);
        return;
    }
    // A run that reads its source columns in order: the run blend, two
    // loads, the blend and a store per step, nothing per pixel.
    if (l.contiguous && K != PASS_SAMPLE) {
        const uint32_t *const src = p.picture.pixels + row.nearRow;
        const uint32_t *const other = K == PASS_DISSOLVE ? row.line : p.target + row.nearRow;
        const int wOther = K == PASS_DISSOLVE ? p.rest : p.level;
        levelRunBlend(row.line + j, other + j, src + j, (size_t)(end - j), wOther, 255 - wOther);
        return;
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
#pragma GCC unroll 4
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
    if (kPicksWideWindows && l.wide) {
        wideWindowPairs<K>(p, pixels, l, start0, at, left0, right0);
        wideWindowPairs<K>(p, pixels, l, start1, at, left1, right1);
    } else {
        windowPairs<K>(p, pixels, l, start0, at, left0, right0);
        windowPairs<K>(p, pixels, l, start1, at, left1, right1);
    }
}

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

    // Zero, -0.0 and not-a-number all count as no displacement.
    const Mask movedX = nonZeroLanes(dx), movedY = nonZeroLanes(dy);
    dx = keepLanes(movedX, dx);
    dy = keepLanes(movedY, dy);
    const Mask moved = movedX | movedY;
    const unsigned movedBits = laneBits(moved);

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
            // Where the level picks from windows and the lanes lie on one
            // sample line: two windows, rows found once; else gathers.
            int32_t window = -1;
            if constexpr (kHasWindowPick) {
                const int32_t width = (int32_t)p.picture.width;
                window = kPicksWideWindows && l.wide ? wideWindowStart(iy, base, width)
                                                     : windowStart(iy, base, width);
            }
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
            } else {
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
        pixels = selectLanes(moved, sample, pixels);
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
    const int cFirst = kHasPermute ? (int)gc[__builtin_ctz(insideBits)] : 0;
    const VI c = m.inside ? truncate(gc) : splat(cFirst);
    const VF fc = gc - toFloat(c);
    // As in meshStep where the level permutes lanes in one instruction.
    const bool pick = kHasPermute && cFirst + LANES / 2 < (int)cols &&
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

// The entry points of the level's table: the vectorised passes where
// pixel and node indices fit in their lanes, the scalar ones otherwise.
void warpRowsOfLanes(const PassParams &p, int rowBegin, int rowEnd)
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

void viewRowsOfLanes(const PassParams &p)
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

} // namespace
