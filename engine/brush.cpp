// Brush dabs and strokes on a mesh, and the mapping of edit-view positions to
// mesh nodes.
//
// A dab composes a new displacement with the one in the mesh: a node moved by
// the brush fetches from where its displaced position fetched before. The new
// values are gathered in the kernel and written afterwards, so every node
// composes with the mesh as it was before the dab. Arithmetic is float32
// unless noted; float-to-integer conversions truncate toward zero.
#include "engine/brush.h"

#include <cmath>

#include "engine/warp.h"

namespace {

enum { BRUSH_RADIUS_MIN = 1, BRUSH_RADIUS_MAX = 100 };

// The radius a dab uses: the circle test divides by r * r and the kernel
// holds (2 * 100 + 1)^2 nodes, so the setting is held inside 1..100.
int32_t dabRadius(const BrushSettings &brush)
{
    const int32_t r = brush.radius;
    return r < BRUSH_RADIUS_MIN ? BRUSH_RADIUS_MIN : (r > BRUSH_RADIUS_MAX ? BRUSH_RADIUS_MAX : r);
}

// The mesh must hold cols x rows nodes and the kernel must exist.
bool brushReady(const BrushCanvas &canvas)
{
    return canvas.mesh && canvas.kernel && canvas.cols > 0 && canvas.rows > 0 &&
           (size_t)canvas.cols * (size_t)canvas.rows <= canvas.capacity;
}

// The nodes a dab touches: offsets j = jmin..jmax, i = imin..imax from the
// centre, clipped to the mesh. False when no node of the mesh is touched.
struct DabArea {
    int32_t jmin, jmax, imin, imax;
};

bool dabArea(const BrushCanvas &canvas, int32_t col, int32_t row, int32_t r, DabArea &a)
{
    const int64_t c = col, w = row, cols = canvas.cols, rows = canvas.rows;
    const int64_t jmin = c - r < 0 ? -c : -r, jmax = c + r < cols ? r : cols - c - 1;
    const int64_t imin = w - r < 0 ? -w : -r, imax = w + r < rows ? r : rows - w - 1;
    if (jmin > jmax || imin > imax)
        return false;
    // Non-empty ranges lie within -r..r.
    a = {(int32_t)jmin, (int32_t)jmax, (int32_t)imin, (int32_t)imax};
    return true;
}

// Falloff index of offset (j, i): the squared distance in hundredths of the
// squared radius; the node takes part when it is below 100.
inline int32_t falloffIndex(int32_t j, int32_t i, int32_t r)
{
    return (j * j + i * i) * 100 / (r * r);
}

inline size_t kernelIndex(int32_t j, int32_t i, int32_t r)
{
    return (size_t)(i + r) * (size_t)(2 * r + 1) + (size_t)(j + r);
}

// The brush's own displacement of the node at offset (j, i) with falloff F.
MeshNode brushVector(int32_t mode, float F, float s, int32_t j, int32_t i, float c, float d)
{
    const float fj = (float)j, fi = (float)i;
    switch (mode) {
    case 0: {
        const float f = (float)((double)F * 0.1 * (double)s);
        return {-fj * f, -fi * f};
    }
    case 1: {
        const float f = (float)((double)F * 0.1 * (double)s);
        return {fj * f, fi * f};
    }
    case 2: {
        const float g = F * s;
        return {g * c, g * d};
    }
    case 4: {
        const float f = (float)((double)(F * s) * 0.5);
        return {-fi * f, fj * f};
    }
    default: { // 5
        const float f = (float)((double)(F * s) * 0.5);
        return {fi * f, -fj * f};
    }
    }
}

// Brush fade next to the mesh border: 1, or distance / e for the nearest
// border closer than e = r * 0.2 nodes; 0 on the border itself.
float edgeFactor(const BrushCanvas &canvas, int32_t x, int32_t y, int32_t r)
{
    const float e = (float)((double)r * 0.2);
    const int32_t distances[4] = {x, y, canvas.cols - 1 - x, canvas.rows - 1 - y};
    float factor = 1.0f;
    for (int32_t distance : distances) {
        if (e > (float)distance) {
            const float q = (float)distance / e;
            factor = q < factor ? q : factor;
        }
    }
    return factor;
}

// The new value of node (col + j, row + i) moved by the brush vector v:
// composed with the mesh at the displaced position, then kept pointing
// inside the mesh.
MeshNode composeNode(const BrushCanvas &canvas, int32_t col, int32_t row, int32_t j, int32_t i,
                     MeshNode v)
{
    const int32_t x = col + j, y = row + i;
    const float X = ((float)col + v.dx) + (float)j;
    const float Y = (float)(i + row) + v.dy;
    // Outside the interpolation range (including the last column and row)
    // the mesh reads as zero.
    const MeshNode m = meshDisplacementAt(canvas.mesh, canvas.cols, canvas.rows, X, Y);
    MeshNode n = {m.dx + v.dx, m.dy + v.dy};
    if ((float)x + n.dx < 0.0f)
        n.dx = (float)-x;
    else if ((float)x + n.dx > (float)(canvas.cols - 1))
        n.dx = (float)(canvas.cols - 1 - x);
    if ((float)y + n.dy < 0.0f)
        n.dy = (float)-y;
    else if ((float)y + n.dy > (float)(canvas.rows - 1))
        n.dy = (float)(canvas.rows - 1 - y);
    return n;
}

// A dab position, truncated; positions beyond any mesh are held at +-2^30,
// still beyond it, so the conversion stays defined.
inline int32_t truncatePosition(float v)
{
    const float limit = 1073741824.0f;
    if (!(v > -limit))
        return -(int32_t)limit;
    return v < limit ? (int32_t)v : (int32_t)limit;
}

} // namespace

void brushDab(const BrushCanvas &canvas, const BrushSettings &brush, int32_t col, int32_t row,
              float c, float d)
{
    const int32_t mode = brush.mode;
    if (mode < 0 || mode > 5 || !brushReady(canvas))
        return;
    const int32_t r = dabRadius(brush);
    const float s = brush.strength;
    DabArea a;
    if (!dabArea(canvas, col, row, r, a))
        return;
    MeshNode *const mesh = canvas.mesh;
    MeshNode *const kernel = canvas.kernel;
    const size_t cols = (size_t)canvas.cols;

    // Gather: every new value from the mesh as it was before the dab.
    for (int32_t i = a.imin; i <= a.imax; ++i) {
        for (int32_t j = a.jmin; j <= a.jmax; ++j) {
            const int32_t n = falloffIndex(j, i, r);
            if (n >= FALLOFF_SIZE)
                continue;
            const float F = canvas.falloff[n];
            const int32_t x = col + j, y = row + i;
            if (mode == 3) {
                // Relax toward no displacement; no edge fade, no composition.
                const float factor = (float)(1.0 - (double)F * ((double)s * 0.5));
                const MeshNode m = mesh[(size_t)y * cols + (size_t)x];
                kernel[kernelIndex(j, i, r)] = {m.dx * factor, m.dy * factor};
                continue;
            }
            MeshNode v = brushVector(mode, F, s, j, i, c, d);
            const float J = edgeFactor(canvas, x, y, r);
            v = {v.dx * J, v.dy * J};
            kernel[kernelIndex(j, i, r)] = composeNode(canvas, col, row, j, i, v);
        }
    }
    // Write.
    for (int32_t i = a.imin; i <= a.imax; ++i) {
        for (int32_t j = a.jmin; j <= a.jmax; ++j) {
            if (falloffIndex(j, i, r) < FALLOFF_SIZE)
                mesh[(size_t)(row + i) * cols + (size_t)(col + j)] = kernel[kernelIndex(j, i, r)];
        }
    }
}

void brushStroke(const BrushCanvas &canvas, const BrushSettings &brush, int32_t col, int32_t row,
                 int32_t lastCol, int32_t lastRow)
{
    const int32_t r = dabRadius(brush);
    const float dx = (float)((int64_t)col - lastCol);
    const float dy = (float)((int64_t)row - lastRow);
    const float len = (float)std::sqrt((double)(dy * dy + dx * dx));
    // 1 + trunc(2 * len / r): consecutive dabs at most r / 2 apart. A segment
    // longer than any mesh is cut to a count the conversion can hold.
    float t = len * -2.0f / (float)r;
    if (!(t > -1.0e6f))
        t = -1.0e6f;
    const int32_t n = 1 - (int32_t)t;
    const float sx = dx / (float)n, sy = dy / (float)n;
    float X = (float)lastCol + sx, Y = (float)lastRow + sy;
    for (int32_t k = 0; k < n; ++k) {
        brushDab(canvas, brush, truncatePosition(X), truncatePosition(Y), -sx, -sy);
        X += sx;
        Y += sy;
    }
}

bool screenToMesh(const ViewMapping &view, int32_t x, int32_t y, int32_t &col, int32_t &row)
{
    const int32_t zoom = view.zoom;
    if (zoom < 0 || zoom > 2 || !(view.scale > 0.0))
        return false;
    const double qx = (double)((int64_t)x - view.areaX) / view.scale;
    const double qy = (double)((int64_t)y - view.areaY) / view.scale;
    // Positions no view can show map to nothing rather than overflow.
    if (!(std::fabs(qx) < 1.0e9 && std::fabs(qy) < 1.0e9))
        return false;
    const int32_t gx = (int32_t)qx, gy = (int32_t)qy;
    if (zoom == 0) {
        col = gx / 2;
        row = gy / 2;
        return true;
    }
    const int32_t divisor = zoom == 1 ? 4 : 8;
    col = gx / divisor + view.scrollX / 2;
    row = gy / divisor + view.scrollY;
    return true;
}
