// Reference brush dab and edit-view passes for tests, written straight from
// the formulas and independent of the engine's code.
#ifndef VX_VIEW_REFERENCE_H
#define VX_VIEW_REFERENCE_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/reference/warp_reference.h"

namespace ref {

// The mesh (cols x rows nodes) interpolated at (gc, gr); zero outside.
inline MeshNode refMeshAt(const std::vector<MeshNode> &mesh, int cols, int rows, float gc, float gr)
{
    if (!(gc >= 0 && gc < (float)(cols - 1) && gr >= 0 && gr < (float)(rows - 1)))
        return {0, 0};
    const int c = (int)gc, r = (int)gr;
    const float fc = gc - (float)c, fr = gr - (float)r;
    const MeshNode &n00 = mesh[c + cols * r], &n10 = mesh[c + 1 + cols * r];
    const MeshNode &n01 = mesh[c + cols * (r + 1)], &n11 = mesh[c + 1 + cols * (r + 1)];
    float top = (n10.dx - n00.dx) * fc + n00.dx, bottom = (n11.dx - n01.dx) * fc + n01.dx;
    const float dx = (bottom - top) * fr + top;
    top = (n10.dy - n00.dy) * fc + n00.dy, bottom = (n11.dy - n01.dy) * fc + n01.dy;
    return {dx, (bottom - top) * fr + top};
}

// One dab on a copy of mesh: every node of the mesh within the circle gets
// its new value from the mesh as it was before.
inline std::vector<MeshNode> refDab(const std::vector<MeshNode> &mesh, int cols, int rows,
                                    const float *falloff, int col, int row, int r, float s,
                                    int mode, float c, float d)
{
    std::vector<MeshNode> out = mesh;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            const int j = x - col, i = y - row;
            if (std::abs(j) > r || std::abs(i) > r || (j * j + i * i) * 100 / (r * r) >= 100)
                continue;
            const float F = falloff[(j * j + i * i) * 100 / (r * r)];
            const MeshNode m = mesh[x + cols * y];
            if (mode == 3) {
                const float k = (float)(1.0 - F * (s * 0.5));
                out[x + cols * y] = {m.dx * k, m.dy * k};
                continue;
            }
            const float f = (float)(F * 0.1 * s), f4 = (float)((F * s) * 0.5);
            float vx = 0, vy = 0;
            switch (mode) {
            case 0:
                vx = -j * f, vy = -i * f;
                break;
            case 1:
                vx = j * f, vy = i * f;
                break;
            case 2:
                vx = (F * s) * c, vy = (F * s) * d;
                break;
            case 4:
                vx = -i * f4, vy = j * f4;
                break;
            case 5:
                vx = i * f4, vy = -j * f4;
                break;
            }
            const float e = (float)(r * 0.2);
            float J = 1;
            for (int dist : {x, y, cols - 1 - x, rows - 1 - y})
                if (e > (float)dist)
                    J = std::min(J, (float)dist / e);
            vx *= J, vy *= J;
            const MeshNode q =
                refMeshAt(mesh, cols, rows, ((float)col + vx) + (float)j, (float)(i + row) + vy);
            float nx = q.dx + vx, ny = q.dy + vy;
            if ((float)x + nx < 0)
                nx = (float)-x;
            if ((float)x + nx > (float)(cols - 1))
                nx = (float)(cols - 1 - x);
            if ((float)y + ny < 0)
                ny = (float)-y;
            if ((float)y + ny > (float)(rows - 1))
                ny = (float)(rows - 1 - y);
            out[x + cols * y] = {nx, ny};
        }
    return out;
}

// The zoom-1 or zoom-2 window pass over pic (w x h, mesh w/4 x h/2), with
// the overlay of target at level when target is given.
inline std::vector<uint32_t> refWindowPass(const std::vector<uint32_t> &pic, int w, int h,
                                           const std::vector<MeshNode> &mesh, int zoom, int a,
                                           int b, int scrollX, int scrollY,
                                           const std::vector<uint32_t> *target, int level)
{
    const int cols = w / 4, rows = h / 2;
    const int ow = zoom == 1 ? w / 2 : w / 4, oh = zoom == 1 ? h / 2 : h / 4;
    const float colStep = (float)w / (float)(w / 2), rowStep = (float)h / (float)(h / 2);
    const float mColStep = ((float)cols / (float)w) * colStep,
                mRowStep = ((float)rows / (float)h) * rowStep;
    const float ppc = (float)(1.0 / (double)((float)cols / (float)w));
    const float ppr = (float)(1.0 / (double)((float)rows / (float)h));
    const float xs = (float)a / (float)ow, ys = (float)b / (float)oh;
    auto nearest = [&](const std::vector<uint32_t> &p, float x, float y) {
        return p[std::min((int)y, h - 1) * w + std::min((int)x, w - 1)];
    };
    std::vector<uint32_t> out((size_t)ow * oh);
    float v = (float)scrollY;
    for (int i = 0; i < oh; ++i, v += ys) {
        float u = (float)scrollX;
        for (int j = 0; j < ow; ++j, u += xs) {
            const float sx = colStep * u, sy = rowStep * v;
            const MeshNode m = refMeshAt(mesh, cols, rows, mColStep * u, mRowStep * v);
            uint32_t p = (std::fabs(m.dx) > 0 || std::fabs(m.dy) > 0)
                             ? refSample(pic, w, h, ppc * m.dx + sx, ppr * m.dy + sy)
                             : nearest(pic, sx, sy);
            if (target)
                p = refBlend(p, nearest(*target, sx, sy), level);
            out[(size_t)i * ow + j] = p;
        }
    }
    return out;
}

// The overlay of target over a whole-picture pass of outW x outH pixels.
inline std::vector<uint32_t> refOverlay(std::vector<uint32_t> out,
                                        const std::vector<uint32_t> &target, int w, int h, int outW,
                                        int outH, int level)
{
    const float colStep = (float)w / (float)outW, rowStep = (float)h / (float)outH;
    for (int i = 0; i < outH; ++i)
        for (int j = 0; j < outW; ++j) {
            const int x = std::min((int)((float)j * colStep), w - 1),
                      y = std::min((int)((float)i * rowStep), h - 1);
            out[(size_t)i * outW + j] =
                refBlend(out[(size_t)i * outW + j], target[(size_t)y * w + x], level);
        }
    return out;
}

} // namespace ref

#endif
