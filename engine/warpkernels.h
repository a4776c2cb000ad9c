// Internal to the engine: the value a warp pass runs on and the per-pixel
// kernels that define its bits. The scalar pass, the public samplers and
// the vectorised passes all take their definitions from here.
//
// Every function here has internal linkage (static): this header is also
// compiled into the files built with wider instruction sets, and no copy
// of these functions compiled for one level may stand in for another.
//
// Arithmetic is float32 with the association written in each formula;
// every float-to-integer conversion truncates toward zero.
#ifndef VX_WARPKERNELS_H
#define VX_WARPKERNELS_H

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "engine/mesh.h"
#include "engine/warpinputs.h"

// A mesh as the kernels read it. A position is inside when
// 0 <= gc < colLimit and 0 <= gr < rowLimit; a limit of 0 makes every
// position outside.
struct MeshView {
    const MeshNode *nodes;
    size_t cols;
    float colLimit, rowLimit;
};

// A picture of width x height pixels as the samplers read it; width 0
// marks a picture that cannot be sampled.
struct Picture {
    const uint32_t *pixels;
    size_t width, height;
    float maxX, maxY; // sample coordinates beyond these all read the edge
};

enum PassKind {
    PASS_SAMPLE,   // out = sample of picture
    PASS_DISSOLVE, // out = (out * rest + sample * level) / 255
    PASS_MIXED,    // out = sample of (target * level + picture * rest) / 255
    PASS_OVERLAY,  // out = (sample * rest + target at the nearest pixel * level) / 255
};

// Everything one pass reads, built once from the context before the loop.
struct PassParams {
    PassKind kind;
    uint32_t *out;
    int outW, outH;
    MeshView mesh;
    Picture picture;        // the sampled picture (the source of the mixture)
    const uint32_t *target; // PASS_MIXED: the other picture, same geometry
    int level, rest;        // dissolve weights, level + rest = 255
    float srcRowStep, srcColStep;
    float meshRowStep, meshColStep;
    float pixelsPerRow, pixelsPerColumn;
    // Window passes: the coordinates u and v of the first output column and
    // row and their growth per output pixel (the warp passes use j and i).
    float colOrigin, rowOrigin, colAdvance, rowAdvance;
    // PASS_MIXED, vectorised passes: room for KEPT_LINES lines of the
    // mixture, kept there as they are sampled (null: the mixture is blended
    // wherever it is read).
    uint32_t *mixture;
};

// Lines of the mixture that a vectorised mixed pass keeps at a time.
constexpr int KEPT_LINES = 32;

// Output rows [rowBegin, rowEnd) of a pass: the scalar reference, whose
// bits every instruction-set level gives (engine/warplevel.h).
void warpRowsScalar(const PassParams &p, int rowBegin, int rowEnd);
// A whole window pass: output pixel (j, i) stands at mesh position
// (meshColStep * u, meshRowStep * v) and source position (srcColStep * u,
// srcRowStep * v), with u = colOrigin + colAdvance added j times and v
// likewise (float32 sums, one after the other).
void viewRowsScalar(const PassParams &p);

static inline MeshNode interpolateMesh(const MeshView &m, float gc, float gr)
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

// Every coordinate <= -1 reads pixel 0 and its clamped neighbour (also 0),
// every coordinate >= limit reads the last pixel twice: clamping the
// coordinate into -1..limit first gives the same sample and keeps the
// integer conversion defined for huge, infinite or undefined values.
static inline float boundCoordinate(float v, float limit)
{
    if (!(v >= -1.0f))
        return -1.0f;
    return v <= limit ? v : limit;
}

static inline size_t clampIndex(int64_t v, size_t size)
{
    if (v <= 0)
        return 0;
    return (size_t)v < size ? (size_t)v : size - 1;
}

// Nearest index of a non-negative source position (truncation, clamped).
static inline size_t nearestIndex(float v, size_t size)
{
    return clampIndex((int64_t)boundCoordinate(v, (float)size), size);
}

// Bilinear blend of four packed pixels, byte by byte. Differences are
// integers converted to float32; the result is clamped to 0..255 and then
// truncated (only an extrapolating fraction can leave that range).
static inline uint32_t blendBilinear(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11,
                                     float fx, float fy)
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

static inline Neighbours neighboursAt(const Picture &p, float x, float y)
{
    x = boundCoordinate(x, p.maxX);
    y = boundCoordinate(y, p.maxY);
    const int64_t ix = (int64_t)x;
    const int64_t iy = (int64_t)y;
    return {clampIndex(ix, p.width),
            clampIndex(ix + 1, p.width),
            clampIndex(iy, p.height) * p.width,
            clampIndex(iy + 1, p.height) * p.width,
            x - (float)ix,
            y - (float)iy};
}

static inline uint32_t sampleBilinear(const Picture &p, float x, float y)
{
    const Neighbours n = neighboursAt(p, x, y);
    const uint32_t *row0 = p.pixels + n.y0;
    const uint32_t *row1 = p.pixels + n.y1;
    return blendBilinear(row0[n.x0], row0[n.x1], row1[n.x0], row1[n.x1], n.fx, n.fy);
}

// Byte-wise blend (a * wa + b * wb) / 255 with wa + wb = 255, truncating.
// Bytes 0 and 2 (and 1 and 3) travel together in 16-bit halves: each
// weighted sum is at most 255 * 255 and cannot carry into its neighbour,
// and (x + 1 + (x >> 8)) >> 8 equals x / 255 for every such x.
static inline uint32_t divideHalves255(uint32_t x)
{
    return ((x + 0x00010001u + ((x >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

static inline uint32_t blendBytes(uint32_t a, int wa, uint32_t b, int wb)
{
    const uint32_t even = (a & 0x00FF00FFu) * (uint32_t)wa + (b & 0x00FF00FFu) * (uint32_t)wb;
    const uint32_t odd =
        ((a >> 8) & 0x00FF00FFu) * (uint32_t)wa + ((b >> 8) & 0x00FF00FFu) * (uint32_t)wb;
    return divideHalves255(even) | (divideHalves255(odd) << 8);
}

static inline uint32_t mixedAt(const PassParams &p, size_t index)
{
    return blendBytes(p.target[index], p.level, p.picture.pixels[index], p.rest);
}

static inline uint32_t sampleMixture(const PassParams &p, float x, float y)
{
    const Neighbours n = neighboursAt(p.picture, x, y);
    return blendBilinear(mixedAt(p, n.y0 + n.x0), mixedAt(p, n.y0 + n.x1), mixedAt(p, n.y1 + n.x0),
                         mixedAt(p, n.y1 + n.x1), n.fx, n.fy);
}

// The edit view's passes over the source through meshA: kind PASS_SAMPLE,
// PASS_MIXED (the mixture at level) or PASS_OVERLAY (the target at level
// over the sample; PASS_SAMPLE without a target). The whole picture into
// out, or a window of out's size at (scrollX, scrollY) stepping a / width
// and b / height per pixel with the steps of a W/2 x H/2 pass.
void viewPassOf(PassKind kind, const WarpInputs &in, const MeshNode *meshA, int32_t level,
                const PassOutput &out);
void windowPassOf(PassKind kind, const WarpInputs &in, const MeshNode *meshA, int32_t level,
                  int32_t scrollX, int32_t scrollY, const PassOutput &out, int a, int b);

// One output pixel of a pass at mesh position (gc, gr) and source position
// (sx, sy), whose nearest source pixel is near; old is what out holds there.
// The displacement decides between a bilinear sample at the displaced
// position and the nearest source pixel.
static inline uint32_t passPixel(const PassParams &p, float gc, float gr, float sx, float sy,
                                 size_t near, uint32_t old)
{
    MeshNode d = interpolateMesh(p.mesh, gc, gr);
    // Zero, -0.0 and not-a-number all count as no displacement.
    d.dx = std::fabs(d.dx) > 0.0f ? d.dx : 0.0f;
    d.dy = std::fabs(d.dy) > 0.0f ? d.dy : 0.0f;
    const bool moved = d.dx != 0.0f || d.dy != 0.0f;
    const float x = sx + p.pixelsPerColumn * d.dx;
    const float y = p.pixelsPerRow * d.dy + sy;
    switch (p.kind) {
    case PASS_SAMPLE:
        return moved ? sampleBilinear(p.picture, x, y) : p.picture.pixels[near];
    case PASS_DISSOLVE: {
        const uint32_t t = moved ? sampleBilinear(p.picture, x, y) : p.picture.pixels[near];
        return blendBytes(old, p.rest, t, p.level);
    }
    case PASS_MIXED:
        return moved ? sampleMixture(p, x, y) : mixedAt(p, near);
    case PASS_OVERLAY: {
        const uint32_t s = moved ? sampleBilinear(p.picture, x, y) : p.picture.pixels[near];
        return blendBytes(s, p.rest, p.target[near], p.level);
    }
    }
    return old;
}

#endif
