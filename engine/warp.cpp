// Displacement meshes, pixel samplers and the warp passes.
//
// The per-pixel kernels (engine/warpkernels.h) sit apart from the loops
// that walk the output picture. A pass validates sizes and buffers once,
// builds its PassParams and hands them to the table of the instruction-set
// level in use (engine/warplevel.h); the scalar loops here are the
// reference the vectorised ones reproduce bit for bit.
#include "engine/warp.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "effect/keys.h"
#include "engine/simd.h"
#include "engine/warpkernels.h"
#include "engine/warplevel.h"
#include "variants/variant.h"

enum { BRUSH_KERNEL_SIDE = 201 };

// ---------------------------------------------------------------------------
// Engine buffers

namespace {

// (H/2) x (W/2): the node count of every working mesh and the pixel count of
// the engine's output picture. Zero for non-positive sizes.
size_t halfSizeCount(int32_t width, int32_t height)
{
    if (width < 2 || height < 2)
        return 0;
    return (size_t)(height / 2) * (size_t)(width / 2);
}

// Nodes that copyMesh and swapMesh handle.
size_t wholeMeshCount(const MeshNode *a, const MeshNode *b)
{
    if (!a || !b)
        return 0;
    return gridNodeCount();
}

} // namespace

void releaseMixture(void)
{
    freeBlock(ctx.mixturePixels);
    ctx.mixturePixels = nullptr;
    ctx.mixtureBytes = 0;
}

void releaseMeshes(void)
{
    freeBlock(ctx.outputPixels);
    freeBlock(ctx.meshA);
    freeBlock(ctx.meshB);
    freeBlock(ctx.meshBase);
    freeBlock(ctx.meshClipboard);
    freeBlock(ctx.brushKernel);
    releaseMixture();
    ctx.outputPixels = nullptr;
    ctx.meshA = ctx.meshB = ctx.meshBase = ctx.meshClipboard = ctx.brushKernel = nullptr;
    ctx.outputCapacity = 0;
    ctx.meshCapacity = 0;
}

int prepareMeshes(const MeshNode *keyGrid)
{
    ctx.workWidth = ctx.imageWidth;
    ctx.workHeight = ctx.imageHeight;
    ctx.meshCols = ctx.imageWidth / 4;
    ctx.meshRows = ctx.imageHeight / 2;
    ctx.previewWidth = ctx.imageWidth / 4;
    ctx.previewHeight = ctx.imageHeight / 4;

    // The new set is built aside and installed only when complete, so the
    // key grid may even be one of the buffers being replaced.
    const size_t count = halfSizeCount(ctx.imageWidth, ctx.imageHeight);
    uint32_t *output = (uint32_t *)allocBlock(count * sizeof(uint32_t));
    MeshNode *meshA = output ? (MeshNode *)allocZeroed(count, sizeof(MeshNode)) : nullptr;
    MeshNode *meshB = nullptr;
    bool complete = meshA != nullptr;
    if (complete && vxVariant->hasMeshB) {
        meshB = (MeshNode *)allocZeroed(count, sizeof(MeshNode));
        complete = meshB != nullptr;
    }
    MeshNode *meshBase = complete ? (MeshNode *)allocZeroed(count, sizeof(MeshNode)) : nullptr;
    MeshNode *clipboard = meshBase ? (MeshNode *)allocZeroed(count, sizeof(MeshNode)) : nullptr;
    MeshNode *kernel = clipboard
                           ? (MeshNode *)allocZeroed((size_t)BRUSH_KERNEL_SIDE * BRUSH_KERNEL_SIDE,
                                                     sizeof(MeshNode))
                           : nullptr;
    if (!kernel) {
        LOG_FAILURE();
        freeBlock(output);
        freeBlock(meshA);
        freeBlock(meshB);
        freeBlock(meshBase);
        freeBlock(clipboard);
        releaseMeshes();
        return -1;
    }

    // The key grid has gridRows x gridCols nodes; never copy more than a
    // working mesh holds, whatever the grid geometry says.
    if (keyGrid) {
        size_t nodes = gridNodeCount();
        if (nodes > count)
            nodes = count;
        memmove(meshA, keyGrid, nodes * sizeof(MeshNode));
        if (meshB)
            memmove(meshB, keyGrid, nodes * sizeof(MeshNode));
    }

    releaseMeshes();
    ctx.outputPixels = output;
    ctx.meshA = meshA;
    ctx.meshB = meshB;
    ctx.meshBase = meshBase;
    ctx.meshClipboard = clipboard; // all (0, 0) from the zeroed allocation
    ctx.brushKernel = kernel;
    ctx.outputCapacity = count;
    ctx.meshCapacity = count;
    fillFalloffTable();
    return 0;
}

void copyMesh(const MeshNode *source, MeshNode *destination)
{
    const size_t count = wholeMeshCount(source, destination);
    if (count && source != destination)
        memmove(destination, source, count * sizeof(MeshNode));
}

void swapMesh(MeshNode *a, MeshNode *b)
{
    const size_t count = wholeMeshCount(a, b);
    if (a == b)
        return;
    for (size_t i = 0; i < count; ++i) {
        const MeshNode t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

void fillFalloffTable(void)
{
    for (int n = 0; n < FALLOFF_SIZE; ++n) {
        const float q = (float)n / 100.0f;
        const double s = (double)(float)std::sqrt((double)q);
        const double c = (std::cos(std::numbers::pi * s) + 1.0) * 0.5;
        ctx.falloffTable[n] = (float)std::pow(c, 0.7);
    }
}

// ---------------------------------------------------------------------------
// Samplers

namespace {

MeshView viewOf(const MeshNode *mesh)
{
    MeshView v = {mesh, 0, 0.0f, 0.0f};
    if (mesh && ctx.meshCols > 1 && ctx.meshRows > 1) {
        v.cols = (size_t)ctx.meshCols;
        v.colLimit = (float)(ctx.meshCols - 1);
        v.rowLimit = (float)(ctx.meshRows - 1);
    }
    return v;
}

Picture pictureOf(const uint32_t *pixels)
{
    Picture p = {pixels, 0, 0, 0.0f, 0.0f};
    if (pixels && ctx.workWidth > 0 && ctx.workHeight > 0) {
        p.width = (size_t)ctx.workWidth;
        p.height = (size_t)ctx.workHeight;
        p.maxX = (float)ctx.workWidth;
        p.maxY = (float)ctx.workHeight;
    }
    return p;
}

inline bool usable(const Picture &p)
{
    return p.width != 0;
}

// The dissolve level as a weight; levels outside 0..255 are held at the ends.
int dissolveWeight(void)
{
    const int level = ctx.dissolveLevel;
    return level < 0 ? 0 : (level > 255 ? 255 : level);
}

// The source/target mixture at the context's dissolve level: target
// weighted by level, source by 255 - level.
PassParams mixtureOf(void)
{
    PassParams p = {};
    p.kind = PASS_MIXED;
    p.picture = pictureOf(ctx.targetPixels ? ctx.sourcePixels : nullptr);
    p.target = ctx.targetPixels;
    p.level = dissolveWeight();
    p.rest = 255 - p.level;
    return p;
}

} // namespace

MeshNode meshDisplacementAt(const MeshNode *mesh, float gc, float gr)
{
    return interpolateMesh(viewOf(mesh), gc, gr);
}

uint32_t sampleSource(float x, float y)
{
    const Picture p = pictureOf(ctx.sourcePixels);
    return usable(p) ? sampleBilinear(p, x, y) : 0;
}

uint32_t sampleTarget(float x, float y)
{
    const Picture p = pictureOf(ctx.targetPixels);
    return usable(p) ? sampleBilinear(p, x, y) : 0;
}

uint32_t fetchMixed(int x, int y)
{
    const PassParams m = mixtureOf();
    if (!usable(m.picture))
        return 0;
    return mixedAt(m, clampIndex(y, m.picture.height) * m.picture.width +
                          clampIndex(x, m.picture.width));
}

uint32_t sampleMixed(float x, float y)
{
    const PassParams m = mixtureOf();
    return usable(m.picture) ? sampleMixture(m, x, y) : 0;
}

// ---------------------------------------------------------------------------
// Passes

namespace {

// The output must exist, and the engine's own output picture must hold it.
bool outputFits(const uint32_t *out, int outW, int outH)
{
    if (!out)
        return false;
    return out != ctx.outputPixels || (size_t)outW * (size_t)outH <= ctx.outputCapacity;
}

// A working mesh is read over meshCols x meshRows nodes; one that does not
// hold them (or is missing) displaces nothing.
MeshView passMesh(const MeshNode *mesh)
{
    if (ctx.meshCols > 0 && ctx.meshRows > 0 &&
        (size_t)ctx.meshCols * (size_t)ctx.meshRows <= ctx.meshCapacity)
        return viewOf(mesh);
    return viewOf(nullptr);
}

// The values of a pass of stepW x stepH output pixels over the whole
// picture, computed from the context and kept there too.
void computeSteps(int stepW, int stepH)
{
    const int32_t width = ctx.workWidth;
    const int32_t height = ctx.workHeight;
    ctx.srcRowStep = (float)height / (float)stepH;
    ctx.srcColStep = (float)width / (float)stepW;
    const float rowsPerLine = (float)ctx.meshRows / (float)height;
    const float colsPerPixel = (float)ctx.meshCols / (float)width;
    ctx.meshRowStep = rowsPerLine * ctx.srcRowStep;
    ctx.meshColStep = colsPerPixel * ctx.srcColStep;
    // Without mesh rows or columns no position is inside the mesh and the
    // reciprocal is never used.
    ctx.pixelsPerRow = rowsPerLine != 0.0f ? (float)(1.0 / (double)rowsPerLine) : 0.0f;
    ctx.pixelsPerColumn = colsPerPixel != 0.0f ? (float)(1.0 / (double)colsPerPixel) : 0.0f;
}

// The values of a pass (steps of stepW x stepH), and out, its size and the
// mesh into p. False when there is nothing to draw: an empty work picture
// or output, a missing output or input picture, or an output the engine's
// picture cannot hold.
bool beginPass(PassParams &p, uint32_t *out, int outW, int outH, const MeshNode *mesh, int stepW,
               int stepH)
{
    if (ctx.workWidth <= 0 || ctx.workHeight <= 0 || outW <= 0 || outH <= 0)
        return false;
    computeSteps(stepW, stepH);
    if (!outputFits(out, outW, outH) || !usable(p.picture))
        return false;
    p.out = out;
    p.outW = outW;
    p.outH = outH;
    p.mesh = passMesh(mesh);
    p.srcRowStep = ctx.srcRowStep;
    p.srcColStep = ctx.srcColStep;
    p.meshRowStep = ctx.meshRowStep;
    p.meshColStep = ctx.meshColStep;
    p.pixelsPerRow = ctx.pixelsPerRow;
    p.pixelsPerColumn = ctx.pixelsPerColumn;
    return true;
}

bool beginPass(PassParams &p, uint32_t *out, int outW, int outH, const MeshNode *mesh)
{
    return beginPass(p, out, outW, outH, mesh, outW, outH);
}

// The table of the passes' instruction-set level: the one place where a
// pass turns the level in use into the entry points it calls.
const WarpLevel &passLevel(void)
{
    return warpLevelOf(activeSimdLevel());
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
void keepMixture(const WarpLevel &level, PassParams &p)
{
    if (!level.keepsMixture || !(p.srcColStep <= 1.0f && p.srcRowStep <= 1.0f) || p.level == 0 ||
        p.level == 255)
        return;
    const size_t bytes = (size_t)KEPT_LINES * p.picture.width * sizeof(uint32_t);
    if (bytes > ctx.mixtureBytes) {
        freeBlock(ctx.mixturePixels);
        ctx.mixturePixels = (uint32_t *)allocBlock(bytes);
        ctx.mixtureBytes = ctx.mixturePixels ? bytes : 0;
    }
    p.mixture = ctx.mixturePixels;
}

// A pass of kind over the source: pass A, the mixture or the overlay.
PassParams viewParams(PassKind kind)
{
    PassParams p = mixtureOf();
    if (kind != PASS_MIXED) {
        p.picture = pictureOf(ctx.sourcePixels);
        p.kind = kind;
        if (kind == PASS_OVERLAY && !ctx.targetPixels)
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

void warpPassA(uint32_t *out, int outW, int outH)
{
    PassParams p = {};
    p.kind = PASS_SAMPLE;
    p.picture = pictureOf(ctx.sourcePixels);
    if (beginPass(p, out, outW, outH, ctx.meshA))
        runPass(passLevel(), p);
}

void warpPassB(uint32_t *out, int outW, int outH)
{
    PassParams p = {};
    p.kind = PASS_DISSOLVE;
    p.picture = pictureOf(ctx.targetPixels);
    p.level = dissolveWeight();
    p.rest = 255 - p.level;
    if (beginPass(p, out, outW, outH, ctx.meshB))
        runPass(passLevel(), p);
}

void warpPassMixed(uint32_t *out, int outW, int outH)
{
    PassParams p = mixtureOf();
    if (beginPass(p, out, outW, outH, ctx.meshA)) {
        const WarpLevel &level = passLevel();
        keepMixture(level, p);
        runPass(level, p);
    }
}

void viewPassOf(PassKind kind, uint32_t *out, int outW, int outH)
{
    PassParams p = viewParams(kind);
    if (beginPass(p, out, outW, outH, ctx.meshA))
        runPass(passLevel(), p);
}

void windowPassOf(PassKind kind, uint32_t *out, int ow, int oh, int a, int b)
{
    PassParams p = viewParams(kind);
    if (!beginPass(p, out, ow, oh, ctx.meshA, ctx.workWidth / 2, ctx.workHeight / 2))
        return;
    p.colOrigin = (float)ctx.viewScrollX;
    p.rowOrigin = (float)ctx.viewScrollY;
    p.colAdvance = (float)a / (float)ow;
    p.rowAdvance = (float)b / (float)oh;
    const WarpLevel &level = passLevel();
    if (shortenEnds(p, level))
        level.viewRows(p);
}

WarpPassFn passFor(int code)
{
    static const WarpPassFn passes[] = {nullptr, warpPassA, warpPassB, warpPassMixed};
    return code > 0 && code < 4 ? passes[code] : nullptr;
}
