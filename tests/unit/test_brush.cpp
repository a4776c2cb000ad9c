// Brush dabs, strokes and the edit view's screen-to-mesh mapping.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/brush.h"
#include "engine/warp.h"
#include "tests/reference/view_reference.h"
#include "tests/unit/support.h"

namespace {

struct Brush : ::testing::Test {
    int cols = 0, rows = 0;
    std::vector<MeshNode> mesh, kernel = std::vector<MeshNode>(201 * 201);

    void SetUp() override
    {
        resetContext();
        grid(720, 288, 0, 0);
    }
    void TearDown() override
    {
        ctx.meshA = ctx.brushKernel = nullptr;
        resetContext();
    }
    // A w x h picture's mesh, every node (dx, dy).
    void grid(int w, int h, float dx, float dy)
    {
        cols = ctx.meshCols = w / 4;
        rows = ctx.meshRows = h / 2;
        ctx.workWidth = w, ctx.workHeight = h;
        mesh.assign((size_t)cols * rows, MeshNode{dx, dy});
        ctx.meshA = mesh.data();
        ctx.meshCapacity = mesh.size();
        ctx.brushKernel = kernel.data();
        fillFalloffTable();
    }
    // Large smooth displacements, so that compositions and clamps happen.
    void waves()
    {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x)
                mesh[x + cols * y] = {3.0f * std::sin(0.21f * x + 0.1f * y),
                                      -2.5f * std::cos(0.17f * y - 0.05f * x)};
    }
    void brush(int mode, int r, float s)
    {
        ctx.brushMode = mode, ctx.brushRadius = r, ctx.brushStrength = s;
    }
    MeshNode at(int x, int y) const { return mesh[x + cols * y]; }
    ::testing::AssertionResult sameBits(const std::vector<MeshNode> &expected) const
    {
        for (size_t n = 0; n < mesh.size(); ++n)
            if (floatBits(mesh[n].dx) != floatBits(expected[n].dx) ||
                floatBits(mesh[n].dy) != floatBits(expected[n].dy))
                return ::testing::AssertionFailure()
                       << "node " << n % cols << "," << n / cols << ": " << mesh[n].dx << ","
                       << mesh[n].dy << " expected " << expected[n].dx << "," << expected[n].dy;
        return ::testing::AssertionSuccess();
    }
};

// Every mode, in the middle, next to each border and half off the mesh, on
// a deformed mesh: new values come from the mesh as it was before the dab.
TEST_F(Brush, DabMatchesReferenceOnDeformedMesh)
{
    grid(160, 96, 0, 0); // 40 x 48 nodes
    const struct {
        int col, row, r;
    } dabs[] = {{20, 24, 9}, {2, 3, 12}, {38, 46, 10}, {-4, 20, 7}, {44, 50, 8}, {20, 24, 1}};
    for (int mode = 0; mode <= 5; ++mode)
        for (const auto &d : dabs) {
            waves();
            const std::vector<MeshNode> expected = ref::refDab(
                mesh, cols, rows, ctx.falloffTable, d.col, d.row, d.r, 0.7f, mode, 0.8f, -1.3f);
            brush(mode, d.r, 0.7f);
            brushDab(d.col, d.row, 0.8f, -1.3f);
            EXPECT_TRUE(sameBits(expected)) << "mode " << mode << " at " << d.col << "," << d.row;
        }
}

// On a zero mesh a node takes exactly its brush vector: the signs of each
// mode at offsets (1, 0) and (0, 1), and no vector of its own at the centre.
TEST_F(Brush, ModeSignsOnZeroMesh)
{
    const float f = (float)(1.0 * 0.1 * (double)0.7f), g = (float)((double)(1.0f * 0.7f) * 0.5);
    const struct {
        int mode;
        MeshNode right, below;
    } cases[] = {
        {0, {-f, 0}, {0, -f}},
        {1, {f, 0}, {0, f}},
        {4, {0, g}, {-g, 0}},
        {5, {0, -g}, {g, 0}},
    };
    for (const auto &t : cases) {
        grid(720, 288, 0, 0);
        brush(t.mode, 16, 0.7f);
        brushDab(90, 72, 0, 0);
        EXPECT_EQ(at(90, 72).dx, 0.0f) << t.mode;
        EXPECT_EQ(at(90, 72).dy, 0.0f) << t.mode;
        EXPECT_EQ(at(91, 72).dx, t.right.dx) << t.mode;
        EXPECT_EQ(at(91, 72).dy, t.right.dy) << t.mode;
        EXPECT_EQ(at(90, 73).dx, t.below.dx) << t.mode;
        EXPECT_EQ(at(90, 73).dy, t.below.dy) << t.mode;
    }
    grid(720, 288, 0, 0);
    brush(1, 16, 0.7f);
    brushDab(90, 72, 0, 0);
    EXPECT_NEAR(at(91, 72).dx, 0.07f, 1e-7);
    EXPECT_NE(at(101, 83).dx, 0.0f); // 11^2 + 11^2 < 256
    EXPECT_EQ(at(101, 84).dx, 0.0f); // 11^2 + 12^2 >= 256
    EXPECT_EQ(at(105, 72).dx, 15.0f * (float)(ctx.falloffTable[87] * 0.1 * (double)0.7f)); // n = 87
    EXPECT_EQ(at(106, 72).dx, 0.0f);
}

// Mode 2 drags along the stroke: a stroke to the right makes the nodes under
// the last dab fetch from their left.
TEST_F(Brush, Mode2DirectionAndStrokeOnEqualPoints)
{
    brush(2, 16, 1.0f);
    brushDab(90, 72, 1.5f, 0);
    EXPECT_EQ(at(90, 72).dx, 1.5f);
    grid(720, 288, 0, 0);
    brushStroke(100, 72, 90, 72);
    EXPECT_LT(at(100, 72).dx, 0.0f);
    EXPECT_EQ(at(100, 72).dy, 0.0f);
    // Between equal points: one dab with no direction changes nothing here.
    grid(720, 288, 0.5f, -0.25f);
    brushStroke(90, 72, 90, 72);
    EXPECT_TRUE(sameBits(std::vector<MeshNode>(mesh.size(), MeshNode{0.5f, -0.25f})));
}

TEST_F(Brush, StrokeOfFortyMakesSixDabs)
{
    waves();
    std::vector<MeshNode> expected = mesh;
    const float step = 40.0f / 6.0f;
    for (int col : {56, 63, 70, 76, 83, 89}) // the last at 89.99999, truncated
        expected =
            ref::refDab(expected, cols, rows, ctx.falloffTable, col, 72, 16, 0.5f, 2, -step, -0.0f);
    brush(2, 16, 0.5f);
    brushStroke(90, 72, 50, 72);
    EXPECT_TRUE(sameBits(expected));
}

TEST_F(Brush, Mode3RelaxesWithoutEdgeFactor)
{
    grid(720, 288, 2.0f, -4.0f);
    brush(3, 16, 0.5f);
    brushDab(90, 72, 0, 0);
    EXPECT_EQ(at(90, 72).dx, 1.5f);
    EXPECT_EQ(at(90, 72).dy, -3.0f);
    EXPECT_GT(at(105, 72).dx, 1.97f); // rim
    EXPECT_LT(at(105, 72).dx, 2.0f);
    EXPECT_EQ(at(106, 72).dx, 2.0f); // outside
    grid(720, 288, 0.25f, 0.5f);
    brushDab(0, 0, 0, 0); // on the corner
    EXPECT_EQ(at(0, 0).dx, 0.1875f);
    EXPECT_EQ(at(0, 0).dy, 0.375f);
}

// Next to a border the brush fades over e = r * 0.2 nodes; border nodes get
// no brush vector; composed values never point outside the mesh.
TEST_F(Brush, EdgeFactorAndKeepInside)
{
    brush(1, 16, 0.7f);                                // e = 3.2
    const float f = (float)(1.0 * 0.1 * (double)0.7f); // falloff 1 at n = 0
    brushDab(2, 72, 0, 0);
    EXPECT_EQ(at(1, 72).dx, -f * (1.0f / 3.2f));
    EXPECT_EQ(at(0, 72).dx, 0.0f);
    EXPECT_EQ(at(3, 72).dx, f * (3.0f / 3.2f));

    const struct {
        float dx, dy;
        int col, row, x, y;
        MeshNode expected;
    } cases[] = {
        {-5.0f, 0.0f, 3, 72, 1, 72, {-1.0f, 0.0f}},   // left of column 0
        {5.0f, 0.0f, 176, 72, 178, 72, {1.0f, 0.0f}}, // right of the last column
        {0.0f, -5.0f, 90, 3, 90, 1, {0.0f, -1.0f}},   // above row 0
        {0.0f, 5.0f, 90, 140, 90, 142, {0.0f, 1.0f}}, // below the last row
        {-5.0f, 0.5f, 3, 72, 0, 72, {0.0f, 0.5f}},    // left border: only the clamp
        {0.5f, -5.0f, 90, 3, 90, 0, {0.5f, 0.0f}},    // top border: only the clamp
        {0.5f, 0.5f, 176, 72, 179, 72, {0.0f, 0.0f}}, // last column reads outside
    };
    for (const auto &t : cases) {
        grid(720, 288, t.dx, t.dy);
        brushDab(t.col, t.row, 0, 0);
        EXPECT_EQ(at(t.x, t.y).dx, t.expected.dx) << t.x << "," << t.y;
        EXPECT_EQ(at(t.x, t.y).dy, t.expected.dy) << t.x << "," << t.y;
    }
}

// Radii outside 1..100 act as the nearest of them; missing buffers and
// unknown modes leave the mesh alone.
TEST_F(Brush, RadiusClampAndGuards)
{
    grid(1000, 500, 0, 0);
    waves();
    for (auto [set, used] :
         {std::pair{0, 1}, std::pair{-7, 1}, std::pair{101, 100}, std::pair{5000, 100}}) {
        const std::vector<MeshNode> before = mesh;
        brush(1, used, 0.7f);
        brushDab(120, 110, 0, 0);
        const std::vector<MeshNode> expected = mesh;
        mesh = before;
        ctx.brushRadius = set;
        brushDab(120, 110, 0, 0);
        EXPECT_TRUE(sameBits(expected)) << set;
        brushStroke(140, 110, 120, 110); // no division by a zero radius
    }
    const std::vector<MeshNode> before = mesh;
    brush(6, 16, 0.7f);
    brushDab(120, 110, 0, 0);
    ctx.brushMode = 1;
    ctx.brushKernel = nullptr;
    brushDab(120, 110, 0, 0);
    ctx.brushKernel = kernel.data();
    brushDab(INT32_MIN, INT32_MAX, 0, 0);
    brushDab(INT32_MAX, INT32_MIN, 0, 0);
    ctx.meshCapacity = mesh.size() - 1;
    brushDab(120, 110, 0, 0);
    EXPECT_TRUE(sameBits(before));
}

TEST_F(Brush, ScreenToMeshByZoom)
{
    ctx.imageAreaX = 100, ctx.imageAreaY = 50, ctx.viewScale = 1.5;
    ctx.viewScrollX = 11, ctx.viewScrollY = 5;
    const struct {
        int zoom, x, y;
        bool ok;
        int col, row;
    } cases[] = {
        {0, 156, 80, true, 18, 10}, // g = (37, 20)
        {1, 156, 80, true, 14, 10}, // 37/4 + 11/2, 20/4 + 5
        {2, 156, 80, true, 9, 7},   // 37/8 + 11/2, 20/8 + 5
        {0, 90, 44, true, -3, -2},  // g = (-6, -4), truncated toward zero
        {3, 156, 80, false, 0, 0},  {-1, 156, 80, false, 0, 0},
    };
    for (const auto &t : cases) {
        ctx.viewZoom = t.zoom;
        int32_t col = 0, row = 0;
        EXPECT_EQ(screenToMesh(t.x, t.y, col, row), t.ok) << t.zoom;
        EXPECT_EQ(col, t.col) << t.zoom;
        EXPECT_EQ(row, t.row) << t.zoom;
    }
    ctx.viewZoom = 0;
    ctx.viewScale = 0;
    int32_t col, row;
    EXPECT_FALSE(screenToMesh(156, 80, col, row));
}

} // namespace
