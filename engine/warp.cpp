// Pixel samplers and the warp passes.
//
// The per-pixel kernels (engine/warpkernels.h) sit apart from the loops
// that walk the output picture. A pass validates sizes and buffers once,
// builds its PassParams and hands them to the table of the instruction-set
// level its inputs carry (engine/warplevel.h); the scalar loops here are
// the reference the vectorised ones reproduce bit for bit.
#include "engine/warp.h"

#include <cmath>
#include <cstring>

#include "engine/heap.h"
#include "engine/warpkernels.h"
#include "engine/warplevel.h"

// ---------------------------------------------------------------------------
// Samplers

namespace {

MeshView viewOf(const MeshNode *mesh, int32_t cols, int32_t rows)
{
    MeshView v = {mesh, 0, 0.0f, 0.0f};
    if (mesh && cols > 1 && rows > 1) {
        v.cols = (size_t)cols;
        v.colLimit = (float)(cols - 1);
        v.rowLimit = (float)(rows - 1);
    }
    return v;
}

Picture pictureOf(const uint32_t *pixels, const WarpInputs &in)
{
    Picture p = {pixels, 0, 0, 0.0f, 0.0f};
    if (pixels && in.width > 0 && in.height > 0) {
        p.width = (size_t)in.width;
        p.height = (size_t)in.height;
        p.maxX = (float)in.width;
        p.maxY = (float)in.height;
    }
    return p;
}

inline bool usable(const Picture &p)
{
    return p.width != 0;
}

// The dissolve level as a weight; levels outside 0..255 are held at the ends.
int dissolveWeight(int32_t level)
{
    return level < 0 ? 0 : (level > 255 ? 255 : level);
}

// The source/target mixture at level: target weighted by level, source by
// 255 - level.
PassParams mixtureOf(const WarpInputs &in, int32_t level)
{
    PassParams p = {};
    p.kind = PASS_MIXED;
    p.picture = pictureOf(in.target ? in.source : nullptr, in);
    p.target = in.target;
    p.level = dissolveWeight(level);
    p.rest = 255 - p.level;
    return p;
}

} // namespace

void releaseKeptMixture(KeptMixture &kept)
{
    freeBlock(kept.pixels);
    kept.pixels = nullptr;
    kept.bytes = 0;
}

MeshNode meshDisplacementAt(const MeshNode *mesh, int32_t cols, int32_t rows, float gc, float gr)
{
    return interpolateMesh(viewOf(mesh, cols, rows), gc, gr);
}

uint32_t sampleSource(const WarpInputs &in, float x, float y)
{
    const Picture p = pictureOf(in.source, in);
    return usable(p) ? sampleBilinear(p, x, y) : 0;
}

uint32_t sampleTarget(const WarpInputs &in, float x, float y)
{
    const Picture p = pictureOf(in.target, in);
    return usable(p) ? sampleBilinear(p, x, y) : 0;
}

uint32_t fetchMixed(const WarpInputs &in, int32_t level, int x, int y)
{
    const PassParams m = mixtureOf(in, level);
    if (!usable(m.picture))
        return 0;
    return mixedAt(m, clampIndex(y, m.picture.height) * m.picture.width +
                          clampIndex(x, m.picture.width));
}

uint32_t sampleMixed(const WarpInputs &in, int32_t level, float x, float y)
{
    const PassParams m = mixtureOf(in, level);
    return usable(m.picture) ? sampleMixture(m, x, y) : 0;
}

// ---------------------------------------------------------------------------
// Passes

PassSteps passSteps(const WarpInputs &in, int stepW, int stepH)
{
    PassSteps p;
    p.srcRowStep = (float)in.height / (float)stepH;
    p.srcColStep = (float)in.width / (float)stepW;
    const float rowsPerLine = (float)in.meshRows / (float)in.height;
    const float colsPerPixel = (float)in.meshCols / (float)in.width;
    p.meshRowStep = rowsPerLine * p.srcRowStep;
    p.meshColStep = colsPerPixel * p.srcColStep;
    // Without mesh rows or columns no position is inside the mesh and the
    // reciprocal is never used.
    p.pixelsPerRow = rowsPerLine != 0.0f ? (float)(1.0 / (double)rowsPerLine) : 0.0f;
    p.pixelsPerColumn = colsPerPixel != 0.0f ? (float)(1.0 / (double)colsPerPixel) : 0.0f;
    return p;
}

const WarpLevel *requestedWarpLevel(void)
{
    return &warpLevelOf(requestedSimdLevel());
}

namespace {

// The output must exist and its buffer must hold it.
bool outputFits(const PassOutput &out)
{
    return out.pixels && (size_t)out.width * (size_t)out.height <= out.capacity;
}

// A working mesh is read over meshCols x meshRows nodes; one that does not
// hold them (or is missing) displaces nothing.
MeshView passMesh(const WarpInputs &in, const MeshNode *mesh)
{
    if (in.meshCols > 0 && in.meshRows > 0 &&
        (size_t)in.meshCols * (size_t)in.meshRows <= in.meshCapacity)
        return viewOf(mesh, in.meshCols, in.meshRows);
    return viewOf(nullptr, 0, 0);
}

// The values of a pass (steps of stepW x stepH), and out, its size and the
// mesh into p. False when there is nothing to draw: an empty work picture
// or output, a missing output or input picture, or an output its buffer
// cannot hold.
bool beginPass(PassParams &p, const WarpInputs &in, const PassOutput &out, const MeshNode *mesh,
               int stepW, int stepH)
{
    if (in.width <= 0 || in.height <= 0 || out.width <= 0 || out.height <= 0)
        return false;
    if (!outputFits(out) || !usable(p.picture))
        return false;
    const PassSteps steps = passSteps(in, stepW, stepH);
    p.srcRowStep = steps.srcRowStep;
    p.srcColStep = steps.srcColStep;
    p.meshRowStep = steps.meshRowStep;
    p.meshColStep = steps.meshColStep;
    p.pixelsPerRow = steps.pixelsPerRow;
    p.pixelsPerColumn = steps.pixelsPerColumn;
    p.out = out.pixels;
    p.outW = out.width;
    p.outH = out.height;
    p.mesh = passMesh(in, mesh);
    return true;
}

bool beginPass(PassParams &p, const WarpInputs &in, const PassOutput &out, const MeshNode *mesh)
{
    return beginPass(p, in, out, mesh, out.width, out.height);
}

// The table of the instruction-set level a pass runs at, read once per
// pass: the one its inputs carry, else the scalar reference.
const WarpLevel &tableOf(const WarpInputs &in)
{
    return in.simd ? *in.simd : warpLevelScalar;
}

// Above the scalar reference, the end levels of a dissolve take the
// shorter road to the same bits: pass B and the overlay at level 0 leave
// the sample as it is, pass B at 255 is the plain warp of the target; the
// mixture at level 0 is the source and at 255 the target. False when the
// pass has nothing to change.
bool shortenEnds(PassParams &p, const WarpLevel &level)
{
    if (!level.shortensEnds || p.kind == PASS_SAMPLE || (p.level != 0 && p.level != 255))
        return true;
    if (p.kind == PASS_OVERLAY && p.level == 255)
        return true;
    if (p.kind == PASS_DISSOLVE && p.level == 0)
        return false;
    if (p.kind == PASS_MIXED && p.level == 255)
        p.picture.pixels = p.target;
    p.kind = PASS_SAMPLE;
    return true;
}

// Runs a pass through the table of its level.
void runPass(const WarpLevel &level, PassParams p)
{
    if (shortenEnds(p, level))
        level.warpRows(p, 0, p.outH);
}

// Gives a vectorised mixed pass room to keep lines of the mixture, each
// blended once, instead of blending the four neighbours of every sample.
// That pays when a pass samples at least every pixel (steps of one source
// pixel or less); without the room (memory short) it blends as it reads.
void keepMixture(const WarpLevel &level, PassParams &p, KeptMixture &kept)
{
    if (!level.keepsMixture || !(p.srcColStep <= 1.0f && p.srcRowStep <= 1.0f) || p.level == 0 ||
        p.level == 255)
        return;
    const size_t bytes = (size_t)KEPT_LINES * p.picture.width * sizeof(uint32_t);
    if (bytes > kept.bytes) {
        freeBlock(kept.pixels);
        kept.pixels = (uint32_t *)allocBlock(bytes);
        kept.bytes = kept.pixels ? bytes : 0;
    }
    p.mixture = kept.pixels;
}

// A pass of kind over the source: pass A, the mixture or the overlay.
PassParams viewParams(PassKind kind, const WarpInputs &in, int32_t level)
{
    PassParams p = mixtureOf(in, level);
    if (kind != PASS_MIXED) {
        p.picture = pictureOf(in.source, in);
        p.kind = kind;
        if (kind == PASS_OVERLAY && !in.target)
            p.kind = PASS_SAMPLE;
    }
    return p;
}

} // namespace

// The reference loops.
void warpRowsScalar(const PassParams &p, int rowBegin, int rowEnd)
{
    const size_t width = p.picture.width, height = p.picture.height;
    for (int i = rowBegin; i < rowEnd; ++i) {
        const float gr = (float)i * p.meshRowStep;
        const float sy = (float)i * p.srcRowStep;
        const size_t nearRow = nearestIndex(sy, height) * width;
        uint32_t *line = p.out + (size_t)i * (size_t)p.outW;
        for (int j = 0; j < p.outW; ++j) {
            const float gc = (float)j * p.meshColStep;
            const float sx = (float)j * p.srcColStep;
            line[j] = passPixel(p, gc, gr, sx, sy, nearRow + nearestIndex(sx, width), line[j]);
        }
    }
}

void viewRowsScalar(const PassParams &p)
{
    const size_t width = p.picture.width, height = p.picture.height;
    float v = p.rowOrigin;
    for (int i = 0; i < p.outH; ++i, v += p.rowAdvance) {
        const float gr = p.meshRowStep * v, sy = p.srcRowStep * v;
        const size_t nearRow = nearestIndex(sy, height) * width;
        uint32_t *line = p.out + (size_t)i * (size_t)p.outW;
        float u = p.colOrigin;
        for (int j = 0; j < p.outW; ++j, u += p.colAdvance) {
            const float gc = p.meshColStep * u, sx = p.srcColStep * u;
            line[j] = passPixel(p, gc, gr, sx, sy, nearRow + nearestIndex(sx, width), line[j]);
        }
    }
}

void warpPassA(const WarpInputs &in, const MeshNode *meshA, const PassOutput &out)
{
    PassParams p = {};
    p.kind = PASS_SAMPLE;
    p.picture = pictureOf(in.source, in);
    if (beginPass(p, in, out, meshA))
        runPass(tableOf(in), p);
}

void warpPassB(const WarpInputs &in, const MeshNode *meshB, int32_t level, const PassOutput &out)
{
    PassParams p = {};
    p.kind = PASS_DISSOLVE;
    p.picture = pictureOf(in.target, in);
    p.level = dissolveWeight(level);
    p.rest = 255 - p.level;
    if (beginPass(p, in, out, meshB))
        runPass(tableOf(in), p);
}

void warpPassMixed(const WarpInputs &in, const MeshNode *mesh, int32_t level, KeptMixture &kept,
                   const PassOutput &out)
{
    PassParams p = mixtureOf(in, level);
    if (beginPass(p, in, out, mesh)) {
        const WarpLevel &table = tableOf(in);
        keepMixture(table, p, kept);
        runPass(table, p);
    }
}

void viewPassOf(PassKind kind, const WarpInputs &in, const MeshNode *meshA, int32_t level,
                const PassOutput &out)
{
    PassParams p = viewParams(kind, in, level);
    if (beginPass(p, in, out, meshA))
        runPass(tableOf(in), p);
}

void windowPassOf(PassKind kind, const WarpInputs &in, const MeshNode *meshA, int32_t level,
                  int32_t scrollX, int32_t scrollY, const PassOutput &out, int a, int b)
{
    PassParams p = viewParams(kind, in, level);
    if (!beginPass(p, in, out, meshA, in.width / 2, in.height / 2))
        return;
    p.colOrigin = (float)scrollX;
    p.rowOrigin = (float)scrollY;
    p.colAdvance = (float)a / (float)out.width;
    p.rowAdvance = (float)b / (float)out.height;
    const WarpLevel &table = tableOf(in);
    if (shortenEnds(p, table))
        table.viewRows(p);
}
