// Reference warp passes for tests, written straight from the formulas and
// independent of the engine's code: expectations for whole pictures.
#ifndef VX_WARP_REFERENCE_H
#define VX_WARP_REFERENCE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/context.h"

namespace ref {

inline uint32_t pixelOf(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3)
{
    const uint8_t b[4] = {b0, b1, b2, b3};
    uint32_t p;
    memcpy(&p, b, 4);
    return p;
}

inline uint8_t byteOf(uint32_t p, int k)
{
    uint8_t b[4];
    memcpy(b, &p, 4);
    return b[k];
}

// Reference bilinear sample with each neighbour clamped (moderate coordinates).
inline uint32_t refSample(const std::vector<uint32_t> &pic, int w, int h, float x, float y)
{
    const int ix = (int)x, iy = (int)y;
    const float fx = x - (float)ix, fy = y - (float)iy;
    auto at = [&](int px, int py) {
        return pic[std::clamp(py, 0, h - 1) * w + std::clamp(px, 0, w - 1)];
    };
    const uint32_t p00 = at(ix, iy), p10 = at(ix + 1, iy), p01 = at(ix, iy + 1),
                   p11 = at(ix + 1, iy + 1);
    uint8_t r[4];
    for (int k = 0; k < 4; ++k) {
        const float top = (float)(byteOf(p10, k) - byteOf(p00, k)) * fx + (float)byteOf(p00, k);
        const float bottom = (float)(byteOf(p11, k) - byteOf(p01, k)) * fx + (float)byteOf(p01, k);
        r[k] = (uint8_t)(int)std::clamp((bottom - top) * fy + top, 0.0f, 255.0f);
    }
    return pixelOf(r[0], r[1], r[2], r[3]);
}

inline uint32_t refBlend(uint32_t a, uint32_t b,
                         int level) // a weighted 255 - level, b weighted level
{
    uint8_t r[4];
    for (int k = 0; k < 4; ++k)
        r[k] = (uint8_t)((byteOf(a, k) * (255 - level) + byteOf(b, k) * level) / 255);
    return pixelOf(r[0], r[1], r[2], r[3]);
}

// Reference pass A over pic (w x h) through a mesh of cols x rows nodes that
// spans the whole picture (a mesh made for another picture size, as when an
// effect prepared at the project size is drawn on a field).
inline std::vector<uint32_t> refPassMesh(const std::vector<uint32_t> &pic, int w, int h,
                                         const std::vector<MeshNode> &mesh, int cols, int rows,
                                         int outW, int outH)
{
    const float rowStep = (float)h / (float)outH, colStep = (float)w / (float)outW;
    const float mRowStep = ((float)rows / (float)h) * rowStep,
                mColStep = ((float)cols / (float)w) * colStep;
    const float ppr = (float)(1.0 / (double)((float)rows / (float)h));
    const float ppc = (float)(1.0 / (double)((float)cols / (float)w));
    std::vector<uint32_t> out((size_t)outW * outH);
    for (int i = 0; i < outH; ++i)
        for (int j = 0; j < outW; ++j) {
            const float gr = (float)i * mRowStep, gc = (float)j * mColStep;
            const float sy = (float)i * rowStep, sx = (float)j * colStep;
            float dx = 0, dy = 0;
            if (gc >= 0 && gc < (float)(cols - 1) && gr >= 0 && gr < (float)(rows - 1)) {
                const int c = (int)gc, r = (int)gr;
                const float fc = gc - (float)c, fr = gr - (float)r;
                const MeshNode &n00 = mesh[c + cols * r], &n10 = mesh[c + 1 + cols * r];
                const MeshNode &n01 = mesh[c + cols * (r + 1)], &n11 = mesh[c + 1 + cols * (r + 1)];
                float top = (n10.dx - n00.dx) * fc + n00.dx,
                      bottom = (n11.dx - n01.dx) * fc + n01.dx;
                dx = (bottom - top) * fr + top;
                top = (n10.dy - n00.dy) * fc + n00.dy, bottom = (n11.dy - n01.dy) * fc + n01.dy;
                dy = (bottom - top) * fr + top;
            }
            if (std::isnan(dx))
                dx = 0;
            if (std::isnan(dy))
                dy = 0;
            if (std::fabs(dx) > 0 || std::fabs(dy) > 0)
                out[i * outW + j] = refSample(pic, w, h, sx + ppc * dx, ppr * dy + sy);
            else
                out[i * outW + j] = pic[std::min((int)sy, h - 1) * w + std::min((int)sx, w - 1)];
        }
    return out;
}

// Reference pass A over pic (w x h) through mesh (w/4 x h/2 nodes).
inline std::vector<uint32_t> refPass(const std::vector<uint32_t> &pic, int w, int h,
                                     const std::vector<MeshNode> &mesh, int outW, int outH)
{
    return refPassMesh(pic, w, h, mesh, w / 4, h / 2, outW, outH);
}

// Pixel-by-pixel mixture: a weighted 255 - level, b weighted level.
inline std::vector<uint32_t> refMix(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b,
                                    int level)
{
    std::vector<uint32_t> out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = refBlend(a[i], b[i], level);
    return out;
}

} // namespace ref

#endif
