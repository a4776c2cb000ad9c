// Brush dabs, strokes and the edit view's screen-to-mesh mapping.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/brush.h"
#include "engine/warp.h"
#include "tests/reference/view_reference.h"
#include "editor/session.h"
#include "effect/buffers.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "tests/unit/support.h"

namespace {

struct Brush : CoreTest {
    int cols = 0, rows = 0;
    std::vector<MeshNode> mesh, kernel = std::vector<MeshNode>(201 * 201);

    void SetUp() override { grid(720, 288, 0, 0); }
    void TearDown() override
    {
        ctx.meshA = ctx.brushKernel = nullptr;
        useVariant();
    }
    // The mesh of a w x h picture, every node (dx, dy); or smooth large
    // displacements, so that compositions and clamps happen.
    void grid(int w, int h, float dx, float dy, bool waves = false)
    {
        ctx.meshA = ctx.brushKernel = nullptr; // the test's, not the context's
        useVariant();
        cols = ctx.meshCols = w / 4, rows = ctx.meshRows = h / 2;
        mesh.assign((size_t)cols * rows, MeshNode{dx, dy});
        for (int n = 0; waves && n < cols * rows; ++n)
            mesh[n] = {3.0f * std::sin(0.21f * (n % cols) + 0.1f * (n / cols)),
                       -2.5f * std::cos(0.17f * (n / cols) - 0.05f * (n % cols))};
        ctx.meshA = mesh.data(), ctx.meshCapacity = mesh.size(), ctx.brushKernel = kernel.data();
        fillFalloffTable(ctx.falloffTable);
    }
    void brush(int mode, int r, float s)
    {
        ed.brushMode = mode, ed.brushRadius = r, ed.brushStrength = s;
    }
    MeshNode at(int x, int y) const { return mesh[x + cols * y]; }
    bool same(const std::vector<MeshNode> &expected) const
    {
        return memcmp(mesh.data(), expected.data(), mesh.size() * sizeof(MeshNode)) == 0;
    }
};

// Every mode in the middle, next to each border, half off the mesh and at
// r = 1, on a deformed mesh: new values come from the mesh before the dab.
TEST_F(Brush, DabMatchesReferenceOnDeformedMesh)
{
    const int dabs[][3] = {{20, 24, 9}, {2, 3, 12},  {38, 46, 10},
                           {-4, 20, 7}, {44, 50, 8}, {20, 24, 1}};
    for (int mode = 0; mode <= 5; ++mode)
        for (const auto &d : dabs) {
            grid(160, 96, 0, 0, true);
            const std::vector<MeshNode> expected = ref::refDab(
                mesh, cols, rows, ctx.falloffTable, d[0], d[1], d[2], 0.7f, mode, 0.8f, -1.3f);
            brush(mode, d[2], 0.7f);
            brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, d[0], d[1], 0.8f,
                     -1.3f);
            EXPECT_TRUE(same(expected)) << "mode " << mode << " at " << d[0] << "," << d[1];
        }
}

// On a zero mesh a node takes exactly its brush vector: signs at offsets
// (1, 0) and (0, 1), none at the centre; mode 1 gives about (0.07, 0).
TEST_F(Brush, ModeSignsOnZeroMesh)
{
    const float f = (float)(0.1 * (double)0.7f), g = (float)((double)0.7f * 0.5);
    const struct {
        int mode;
        float c;
        MeshNode right, below;
    } cases[] = {{0, 0, {-f, 0}, {0, -f}},
                 {1, 0, {f, 0}, {0, f}},
                 {4, 0, {0, g}, {-g, 0}},
                 {5, 0, {0, -g}, {g, 0}},
                 {2, 1.5f, {1.05f, 0}, {1.05f, 0}}};
    for (const auto &t : cases) {
        grid(720, 288, 0, 0);
        brush(t.mode, 16, 0.7f);
        brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 90, 72, t.c, 0);
        const MeshNode got[3] = {at(90, 72), at(91, 72), at(90, 73)};
        const MeshNode want[3] = {{t.mode == 2 ? 1.05f : 0, 0}, t.right, t.below};
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(got[k].dx, want[k].dx) << t.mode << " " << k;
            EXPECT_FLOAT_EQ(got[k].dy, want[k].dy) << t.mode << " " << k;
        }
    }
    grid(720, 288, 0, 0);
    brush(1, 16, 0.7f);
    brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 90, 72, 0, 0);
    EXPECT_NEAR(at(91, 72).dx, 0.07f, 1e-7);
    EXPECT_EQ(at(105, 72).dx, 15.0f * (float)(ctx.falloffTable[87] * 0.1 * (double)0.7f)); // rim
    EXPECT_NE(at(101, 83).dx, 0.0f); // 11^2 + 11^2 < 256
    EXPECT_EQ(at(101, 84).dx, 0.0f); // 11^2 + 12^2 >= 256
    EXPECT_EQ(at(106, 72).dx, 0.0f);
}

// Dabs r/2 apart from one step after the last point; mode 2 points back
// along the stroke, so the content is dragged forward.
TEST_F(Brush, Strokes)
{
    grid(720, 288, 0, 0, true);
    std::vector<MeshNode> expected = mesh;
    for (int col : {56, 63, 70, 76, 83, 89}) // the last at 89.99999
        expected = ref::refDab(expected, cols, rows, ctx.falloffTable, col, 72, 16, 0.5f, 2,
                               -40.0f / 6, -0.0f);
    brush(2, 16, 0.5f);
    brushStroke(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 90, 72, 50, 72);
    EXPECT_TRUE(same(expected));
    grid(720, 288, 0, 0);
    brushStroke(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 100, 72, 90, 72);
    EXPECT_LT(at(100, 72).dx, 0.0f);
    grid(720, 288, 0.5f, -0.25f); // equal points: one dab without direction
    brushStroke(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 90, 72, 90, 72);
    EXPECT_TRUE(same(std::vector<MeshNode>(mesh.size(), MeshNode{0.5f, -0.25f})));
}

// Fade over e = r * 0.2 nodes next to a border; composed values never point
// outside the mesh; border nodes change only by that clamp on the left and
// top, while the last column reads outside the mesh. Mode 3 scales without
// a fade, also on the corner.
TEST_F(Brush, EdgeFactorKeepInsideAndRelax)
{
    const float f = (float)(0.1 * (double)0.7f);
    brush(1, 16, 0.7f);
    brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 2, 72, 0, 0);
    EXPECT_EQ(at(0, 72).dx, 0.0f);
    EXPECT_EQ(at(1, 72).dx, -f * (1.0f / 3.2f));
    EXPECT_EQ(at(3, 72).dx, f * (3.0f / 3.2f));
    const struct {
        int mode;
        float dx, dy;
        int col, row, x, y;
        MeshNode expected;
    } cases[] = {
        {1, -5, 0, 3, 72, 1, 72, {-1, 0}},
        {1, 5, 0, 176, 72, 178, 72, {1, 0}},
        {1, 0, -5, 90, 3, 90, 1, {0, -1}},
        {1, 0, 5, 90, 140, 90, 142, {0, 1}},
        {1, -5, 0.5f, 3, 72, 0, 72, {0, 0.5f}},
        {1, 0.5f, -5, 90, 3, 90, 0, {0.5f, 0}},
        {1, 0.5f, 0.5f, 176, 72, 179, 72, {0, 0}},
        {3, 2, -4, 90, 72, 90, 72, {1.5f, -3}},
        {3, 0.25f, 0.5f, 0, 0, 0, 0, {0.1875f, 0.375f}},
    };
    for (const auto &t : cases) {
        grid(720, 288, t.dx, t.dy);
        brush(t.mode, 16, t.mode == 3 ? 0.5f : 0.7f);
        brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, t.col, t.row, 0, 0);
        EXPECT_EQ(at(t.x, t.y).dx, t.expected.dx) << t.x << "," << t.y;
        EXPECT_EQ(at(t.x, t.y).dy, t.expected.dy) << t.x << "," << t.y;
    }
    EXPECT_GT(at(15, 0).dx, 0.24f); // mode 3 rim: almost unchanged
}

// Radii outside 1..100 act as the nearest of them; unknown modes, missing
// buffers and far positions leave the mesh alone.
TEST_F(Brush, RadiusClampAndGuards)
{
    for (auto [set, used] :
         {std::pair{0, 1}, std::pair{-7, 1}, std::pair{101, 100}, std::pair{5000, 100}}) {
        grid(1000, 500, 0, 0, true);
        brush(1, used, 0.7f);
        brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 120, 110, 0, 0);
        const std::vector<MeshNode> expected = mesh;
        grid(1000, 500, 0, 0, true);
        brush(1, set, 0.7f);
        brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 120, 110, 0, 0);
        EXPECT_TRUE(same(expected)) << set;
        brushStroke(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 140, 110, 120,
                    110); // no division by a zero radius
    }
    grid(720, 288, 0.5f, 0.5f);
    brush(6, 16, 0.7f);
    brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 90, 72, 0, 0);
    ed.brushMode = 1;
    brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, INT32_MIN, INT32_MAX, 0,
             0);
    brushStroke(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, INT32_MAX, INT32_MIN,
                INT32_MAX - 10, INT32_MIN);
    ctx.meshCapacity = mesh.size() - 1;
    brushDab(strokeToolsOf(ed, ctx).canvas, strokeToolsOf(ed, ctx).brush, 90, 72, 0, 0);
    EXPECT_TRUE(same(std::vector<MeshNode>(mesh.size(), MeshNode{0.5f, 0.5f})));
}

TEST_F(Brush, ScreenToMeshByZoom)
{
    ed.imageAreaX = 100, ed.imageAreaY = 50, ed.viewScale = 1.5;
    ed.viewScrollX = 11, ed.viewScrollY = 5;
    const int cases[][6] = {
        // zoom, x, y, mapped, col, row; (156, 80) is g = (37, 20)
        {0, 156, 80, 1, 18, 10}, {1, 156, 80, 1, 14, 10},
        {2, 156, 80, 1, 9, 7},   {0, 90, 44, 1, -3, -2}, // g = (-6, -4), truncated toward zero
        {3, 156, 80, 0, 0, 0},   {-1, 156, 80, 0, 0, 0},
    };
    for (const auto &t : cases) {
        ed.viewZoom = t[0];
        int32_t col = 0, row = 0;
        EXPECT_EQ(screenToMesh(strokeToolsOf(ed, ctx).view, t[1], t[2], col, row), t[3] != 0)
            << t[0];
        EXPECT_EQ(col, t[4]) << t[0];
        EXPECT_EQ(row, t[5]) << t[0];
    }
    ed.viewZoom = 0, ed.viewScale = 0;
    int32_t col, row;
    EXPECT_FALSE(screenToMesh(strokeToolsOf(ed, ctx).view, 156, 80, col, row));
}

} // namespace
