// Displacement meshes, pixel samplers and the warp passes.
//
// Arithmetic is float32 unless noted, with the association written in each
// formula; every float-to-integer conversion truncates toward zero. The
// per-pixel kernels (mesh interpolation, samplers, mixing, dissolve) sit
// apart from the loop that walks the output picture; the passes validate
// sizes and buffers once and then run the kernels without further checks.
#include "engine/warp.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "effect/keys.h"
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

void releaseMeshes(void)
{
    freeBlock(ctx.outputPixels);
    freeBlock(ctx.meshA);
    freeBlock(ctx.meshB);
    freeBlock(ctx.meshBase);
    freeBlock(ctx.meshClipboard);
    freeBlock(ctx.brushKernel);
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
    MeshNode *kernel = clipboard ? (MeshNode *)allocZeroed((size_t)BRUSH_KERNEL_SIDE * BRUSH_KERNEL_SIDE,
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
// Per-pixel kernels

namespace {

// A mesh as the kernels read it. A position is inside when
// 0 <= gc < colLimit and 0 <= gr < rowLimit; a limit of 0 makes every
// position outside.
struct MeshView {
    const MeshNode *nodes;
    size_t cols;
    float colLimit, rowLimit;
};

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

inline MeshNode interpolateMesh(const MeshView &m, float gc, float gr)
{
    if (!(gc >= 0.0f && gc < m.colLimit && gr >= 0.0f && gr < m.rowLimit))
        return {0.0f, 0.0f};
    const int c = (int)gc;
    const int r = (int)gr;
    const float fc = gc - (float)c;
    const float fr = gr - (float)r;
    const MeshNode *row0 = m.nodes + (size_t)r * m.cols + (size_t)c;
    const MeshNode *row1 = row0 + m.cols;
    const MeshNode n00 = row0[0], n10 = row0[1], n01 = row1[0], n11 = row1[1];
    const float topX = (n10.dx - n00.dx) * fc + n00.dx;
    const float bottomX = (n11.dx - n01.dx) * fc + n01.dx;
    const float topY = (n10.dy - n00.dy) * fc + n00.dy;
    const float bottomY = (n11.dy - n01.dy) * fc + n01.dy;
    return {(bottomX - topX) * fr + topX, (bottomY - topY) * fr + topY};
}

// A picture of width x height > 0 pixels as the samplers read it.
struct Picture {
    const uint32_t *pixels;
    size_t width, height;
    float maxX, maxY; // sample coordinates beyond these all read the edge
};

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

// Every coordinate <= -1 reads pixel 0 and its clamped neighbour (also 0),
// every coordinate >= limit reads the last pixel twice: clamping the
// coordinate into -1..limit first gives the same sample and keeps the
// integer conversion defined for huge, infinite or undefined values.
inline float boundCoordinate(float v, float limit)
{
    if (!(v >= -1.0f))
        return -1.0f;
    return v <= limit ? v : limit;
}

inline size_t clampIndex(int64_t v, size_t size)
{
    if (v <= 0)
        return 0;
    return (size_t)v < size ? (size_t)v : size - 1;
}

// Nearest index of a non-negative source position (truncation, clamped).
inline size_t nearestIndex(float v, size_t size)
{
    return clampIndex((int64_t)boundCoordinate(v, (float)size), size);
}

// Bilinear blend of four packed pixels, byte by byte. Differences are
// integers converted to float32; the result is clamped to 0..255 and then
// truncated (only an extrapolating fraction can leave that range).
inline uint32_t blendBilinear(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, float fx, float fy)
{
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = (int)((p00 >> shift) & 0xFF);
        const int b = (int)((p10 >> shift) & 0xFF);
        const int c = (int)((p01 >> shift) & 0xFF);
        const int d = (int)((p11 >> shift) & 0xFF);
        const float top = (float)(b - a) * fx + (float)a;
        const float bottom = (float)(d - c) * fx + (float)c;
        float value = (bottom - top) * fy + top;
        value = value < 0.0f ? 0.0f : (value > 255.0f ? 255.0f : value);
        result |= (uint32_t)value << shift;
    }
    return result;
}

// The four neighbours of a sample position, each coordinate clamped.
struct Neighbours {
    size_t x0, x1, y0, y1;
    float fx, fy;
};

inline Neighbours neighboursAt(const Picture &p, float x, float y)
{
    x = boundCoordinate(x, p.maxX);
    y = boundCoordinate(y, p.maxY);
    const int64_t ix = (int64_t)x;
    const int64_t iy = (int64_t)y;
    return {clampIndex(ix, p.width), clampIndex(ix + 1, p.width), clampIndex(iy, p.height) * p.width,
            clampIndex(iy + 1, p.height) * p.width, x - (float)ix, y - (float)iy};
}

inline uint32_t sampleBilinear(const Picture &p, float x, float y)
{
    const Neighbours n = neighboursAt(p, x, y);
    const uint32_t *row0 = p.pixels + n.y0;
    const uint32_t *row1 = p.pixels + n.y1;
    return blendBilinear(row0[n.x0], row0[n.x1], row1[n.x0], row1[n.x1], n.fx, n.fy);
}

// Byte-wise blend (a * wa + b * wb) / 255 with wa + wb = 255, truncating.
inline uint32_t blendBytes(uint32_t a, int wa, uint32_t b, int wb)
{
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int va = (int)((a >> shift) & 0xFF);
        const int vb = (int)((b >> shift) & 0xFF);
        result |= (uint32_t)((va * wa + vb * wb) / 255) << shift;
    }
    return result;
}

// The dissolve level as a weight; levels outside 0..255 are held at the ends.
inline int dissolveWeight(void)
{
    const int level = ctx.dissolveLevel;
    return level < 0 ? 0 : (level > 255 ? 255 : level);
}

// The source/target mixture: target weighted by level, source by 255 - level.
struct Mixture {
    Picture source;
    const uint32_t *target; // same geometry as the source
    int level, rest;
};

Mixture mixtureOf(void)
{
    Mixture m = {pictureOf(ctx.targetPixels ? ctx.sourcePixels : nullptr), ctx.targetPixels, dissolveWeight(), 0};
    m.rest = 255 - m.level;
    return m;
}

inline uint32_t mixedAt(const Mixture &m, size_t index)
{
    return blendBytes(m.target[index], m.level, m.source.pixels[index], m.rest);
}

inline uint32_t sampleMixture(const Mixture &m, float x, float y)
{
    const Neighbours n = neighboursAt(m.source, x, y);
    return blendBilinear(mixedAt(m, n.y0 + n.x0), mixedAt(m, n.y0 + n.x1), mixedAt(m, n.y1 + n.x0),
                         mixedAt(m, n.y1 + n.x1), n.fx, n.fy);
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
    const Mixture m = mixtureOf();
    if (!usable(m.source))
        return 0;
    return mixedAt(m, clampIndex(y, m.source.height) * m.source.width + clampIndex(x, m.source.width));
}

uint32_t sampleMixed(float x, float y)
{
    const Mixture m = mixtureOf();
    return usable(m.source) ? sampleMixture(m, x, y) : 0;
}

// ---------------------------------------------------------------------------
// Passes

namespace {

// Computes the values of a pass into the context. False when there is
// nothing to draw: an empty work picture or an empty output.
bool beginPass(int outW, int outH)
{
    const int32_t width = ctx.workWidth;
    const int32_t height = ctx.workHeight;
    if (width <= 0 || height <= 0 || outW <= 0 || outH <= 0)
        return false;
    ctx.srcRowStep = (float)height / (float)outH;
    ctx.srcColStep = (float)width / (float)outW;
    const float rowsPerLine = (float)ctx.meshRows / (float)height;
    const float colsPerPixel = (float)ctx.meshCols / (float)width;
    ctx.meshRowStep = rowsPerLine * ctx.srcRowStep;
    ctx.meshColStep = colsPerPixel * ctx.srcColStep;
    // Without mesh rows or columns no position is inside the mesh and the
    // reciprocal is never used.
    ctx.pixelsPerRow = rowsPerLine != 0.0f ? (float)(1.0 / (double)rowsPerLine) : 0.0f;
    ctx.pixelsPerColumn = colsPerPixel != 0.0f ? (float)(1.0 / (double)colsPerPixel) : 0.0f;
    return true;
}

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

// Walks the output picture. For each pixel the mesh displacement decides
// between kernel.sample (bilinear, displaced) and kernel.copy (the nearest
// source pixel, by index); kernel.store writes the result.
template <class Kernel>
void runPass(uint32_t *out, int outW, int outH, const MeshView &mesh, size_t width, size_t height,
             const Kernel &kernel)
{
    const float srcRowStep = ctx.srcRowStep, srcColStep = ctx.srcColStep;
    const float meshRowStep = ctx.meshRowStep, meshColStep = ctx.meshColStep;
    const float pixelsPerRow = ctx.pixelsPerRow, pixelsPerColumn = ctx.pixelsPerColumn;
    for (int i = 0; i < outH; ++i) {
        const float gr = (float)i * meshRowStep;
        const float sy = (float)i * srcRowStep;
        const size_t nearRow = nearestIndex(sy, height) * width;
        uint32_t *line = out + (size_t)i * (size_t)outW;
        for (int j = 0; j < outW; ++j) {
            const float gc = (float)j * meshColStep;
            const float sx = (float)j * srcColStep;
            MeshNode d = interpolateMesh(mesh, gc, gr);
            // Zero, -0.0 and not-a-number all count as no displacement.
            d.dx = std::fabs(d.dx) > 0.0f ? d.dx : 0.0f;
            d.dy = std::fabs(d.dy) > 0.0f ? d.dy : 0.0f;
            const uint32_t pixel = (d.dx != 0.0f || d.dy != 0.0f)
                                       ? kernel.sample(sx + pixelsPerColumn * d.dx, pixelsPerRow * d.dy + sy)
                                       : kernel.copy(nearRow + nearestIndex(sx, width));
            kernel.store(line + j, pixel);
        }
    }
}

struct SampleKernel {
    Picture picture;
    uint32_t sample(float x, float y) const { return sampleBilinear(picture, x, y); }
    uint32_t copy(size_t index) const { return picture.pixels[index]; }
    void store(uint32_t *dst, uint32_t pixel) const { *dst = pixel; }
};

// Pass B: the target sample dissolved into what pass A left.
struct DissolveKernel : SampleKernel {
    int level, rest;
    void store(uint32_t *dst, uint32_t pixel) const { *dst = blendBytes(*dst, rest, pixel, level); }
};

struct MixedKernel {
    Mixture mixture;
    uint32_t sample(float x, float y) const { return sampleMixture(mixture, x, y); }
    uint32_t copy(size_t index) const { return mixedAt(mixture, index); }
    void store(uint32_t *dst, uint32_t pixel) const { *dst = pixel; }
};

} // namespace

void warpPassA(uint32_t *out, int outW, int outH)
{
    if (!beginPass(outW, outH) || !outputFits(out, outW, outH))
        return;
    const SampleKernel kernel = {pictureOf(ctx.sourcePixels)};
    if (!usable(kernel.picture))
        return;
    runPass(out, outW, outH, passMesh(ctx.meshA), kernel.picture.width, kernel.picture.height, kernel);
}

void warpPassB(uint32_t *out, int outW, int outH)
{
    if (!beginPass(outW, outH) || !outputFits(out, outW, outH))
        return;
    DissolveKernel kernel;
    kernel.picture = pictureOf(ctx.targetPixels);
    kernel.level = dissolveWeight();
    kernel.rest = 255 - kernel.level;
    if (!usable(kernel.picture))
        return;
    runPass(out, outW, outH, passMesh(ctx.meshB), kernel.picture.width, kernel.picture.height, kernel);
}

void warpPassMixed(uint32_t *out, int outW, int outH)
{
    if (!beginPass(outW, outH) || !outputFits(out, outW, outH))
        return;
    const MixedKernel kernel = {mixtureOf()};
    if (!usable(kernel.mixture.source))
        return;
    runPass(out, outW, outH, passMesh(ctx.meshA), kernel.mixture.source.width, kernel.mixture.source.height,
            kernel);
}
