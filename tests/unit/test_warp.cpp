// Meshes, samplers and warp passes, against expectations computed here
// straight from the formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/warp.h"
#include "tests/reference/warp_reference.h"
#include "effect/buffers.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "tests/unit/support.h"

namespace {

using namespace ref;

struct WarpFixture : CoreTest {
    int w = 0, h = 0;
    std::vector<uint32_t> source, target, out;
    std::vector<MeshNode> meshA, meshB;

    void SetUp() override { useVariant(); }
    void TearDown() override
    {
        ctx.sourcePixels = ctx.targetPixels = nullptr;
        ctx.meshA = ctx.meshB = nullptr;
        useVariant();
    }
    void picture(int width, int height)
    {
        w = width, h = height;
        ctx.workWidth = ctx.imageWidth = w;
        ctx.workHeight = ctx.imageHeight = h;
        ctx.meshCols = ctx.gridCols = w / 4;
        ctx.meshRows = ctx.gridRows = h / 2;
        uint32_t seed = 12345;
        source.resize((size_t)w * h);
        target.resize((size_t)w * h);
        for (auto *pic : {&source, &target})
            for (uint32_t &p : *pic) {
                seed = seed * 1664525u + 1013904223u;
                p = seed ^ (seed >> 13);
            }
        meshA.assign((size_t)(w / 4) * (h / 2), MeshNode{0, 0});
        meshB = meshA;
        ctx.sourcePixels = source.data();
        ctx.targetPixels = target.data();
        ctx.meshA = meshA.data();
        ctx.meshB = meshB.data();
        ctx.meshCapacity = meshA.size();
        out.assign((size_t)w * h, 0xDEADBEEFu);
    }
    void fill(std::vector<MeshNode> &mesh, float dx, float dy)
    {
        std::fill(mesh.begin(), mesh.end(), MeshNode{dx, dy});
    }
    void waves(std::vector<MeshNode> &mesh, float bias)
    {
        for (int r = 0; r < h / 2; ++r)
            for (int c = 0; c < w / 4; ++c)
                mesh[c + (w / 4) * r] = {bias + 2.5f * std::sin(0.05f * c),
                                         bias + 1.5f * std::cos(0.07f * r)};
    }
    std::vector<uint32_t> passA(int outW, int outH)
    {
        std::vector<uint32_t> o((size_t)outW * outH, 0xDEADBEEFu);
        runPassA(ctx, o.data(), outW, outH, o.size());
        return o;
    }
};

using WarpMesh = WarpFixture;

TEST_F(WarpMesh, InterpolatesWithWrittenAssociationAndIsZeroOnLastColumnAndRow)
{
    picture(16, 8); // 4 x 4 nodes
    meshA[1 + 4 * 1] = {0.3f, -1.1f};
    meshA[2 + 4 * 1] = {1.7f, 0.2f};
    meshA[1 + 4 * 2] = {-0.9f, 2.3f};
    meshA[2 + 4 * 2] = {0.25f, 0.6f};
    const float gc = 1.37f, gr = 1.81f, fc = gc - 1.0f, fr = gr - 1.0f;
    const float topX = (1.7f - 0.3f) * fc + 0.3f, bottomX = (0.25f - -0.9f) * fc + -0.9f;
    const float topY = (0.2f - -1.1f) * fc + -1.1f, bottomY = (0.6f - 2.3f) * fc + 2.3f;
    MeshNode d = meshDisplacementAt(meshA.data(), ctx.meshCols, ctx.meshRows, gc, gr);
    EXPECT_EQ(floatBits(d.dx), floatBits((bottomX - topX) * fr + topX));
    EXPECT_EQ(floatBits(d.dy), floatBits((bottomY - topY) * fr + topY));
    fill(meshA, 5, 5);
    for (auto [c, r] : {std::pair{3.0f, 0.0f}, std::pair{3.5f, 1.0f}, std::pair{0.0f, 3.0f},
                        std::pair{1.0f, 3.2f}, std::pair{-0.001f, 1.0f}, std::pair{1.0f, -0.001f},
                        std::pair{NAN, 1.0f}, std::pair{1.0f, NAN}}) {
        d = meshDisplacementAt(meshA.data(), ctx.meshCols, ctx.meshRows, c, r);
        EXPECT_EQ(floatBits(d.dx) | floatBits(d.dy), 0u) << c << "," << r;
    }
    EXPECT_EQ(meshDisplacementAt(meshA.data(), ctx.meshCols, ctx.meshRows, 2.999f, 2.999f).dx,
              5.0f);
    EXPECT_EQ(meshDisplacementAt(nullptr, ctx.meshCols, ctx.meshRows, 1.0f, 1.0f).dx, 0.0f);
}

TEST_F(WarpMesh, DenseInterpolationMatchesFormulaBits)
{
    picture(43, 29); // 10 x 14 nodes
    uint32_t seed = 7;
    for (MeshNode &n : meshA) {
        seed = seed * 1103515245u + 12345u;
        n = {(float)(int)(seed >> 8 & 0xFFFF) / 977.0f - 30.0f,
             (float)(int)(seed >> 4 & 0xFFF) / 131.0f - 15.0f};
    }
    int inside = 0;
    for (float gr = -0.3f; gr < 14.5f; gr += 0.173f)
        for (float gc = -0.3f; gc < 10.5f; gc += 0.119f) {
            float ex = 0, ey = 0;
            if (gc >= 0 && gc < 9.0f && gr >= 0 && gr < 13.0f) {
                ++inside;
                const int c = (int)gc, r = (int)gr;
                const float fc = gc - (float)c, fr = gr - (float)r;
                const MeshNode a = meshA[c + 10 * r], b = meshA[c + 1 + 10 * r];
                const MeshNode e = meshA[c + 10 * (r + 1)], f = meshA[c + 1 + 10 * (r + 1)];
                const float tx = (b.dx - a.dx) * fc + a.dx, bx = (f.dx - e.dx) * fc + e.dx;
                const float ty = (b.dy - a.dy) * fc + a.dy, by = (f.dy - e.dy) * fc + e.dy;
                ex = (bx - tx) * fr + tx;
                ey = (by - ty) * fr + ty;
            }
            const MeshNode d = meshDisplacementAt(meshA.data(), ctx.meshCols, ctx.meshRows, gc, gr);
            ASSERT_EQ(floatBits(d.dx), floatBits(ex)) << gc << "," << gr;
            ASSERT_EQ(floatBits(d.dy), floatBits(ey)) << gc << "," << gr;
        }
    EXPECT_GT(inside, 5000);
}

TEST_F(WarpMesh, CopyOntoItselfAndSwapTwiceKeepBits)
{
    picture(16, 8);
    for (size_t i = 0; i < meshA.size(); ++i) {
        meshA[i] = {(float)i * 0.5f, -0.0f};
        meshB[i] = {std::numeric_limits<float>::quiet_NaN(), -(float)i};
    }
    const std::vector<MeshNode> a = meshA, b = meshB;
    auto same = [](const std::vector<MeshNode> &x, const std::vector<MeshNode> &y) {
        return memcmp(x.data(), y.data(), x.size() * sizeof(MeshNode)) == 0;
    };
    copyMesh(meshA.data(), meshA.data(), gridNodeCount(ctx));
    EXPECT_TRUE(same(meshA, a));
    swapMesh(meshA.data(), meshB.data(), gridNodeCount(ctx));
    EXPECT_TRUE(same(meshA, b));
    EXPECT_TRUE(same(meshB, a));
    swapMesh(meshA.data(), meshB.data(), gridNodeCount(ctx));
    EXPECT_TRUE(same(meshA, a));
    EXPECT_TRUE(same(meshB, b));
    copyMesh(meshB.data(), meshA.data(), gridNodeCount(ctx));
    EXPECT_TRUE(same(meshA, b));
    copyMesh(nullptr, meshA.data(), gridNodeCount(ctx)); // nothing to copy from
    EXPECT_TRUE(same(meshA, b));
}

using WarpFalloff = CoreTest;

TEST_F(WarpFalloff, EntriesMatchTheStatedPrecisions)
{
    useVariant();
    fillFalloffTable(ctx.falloffTable);
    for (int n = 0; n < FALLOFF_SIZE; ++n) {
        const float q = (float)n / 100.0f;
        const double s = (double)(float)std::sqrt((double)q);
        const float expected = (float)std::pow((std::cos(3.141592653589793 * s) + 1.0) * 0.5, 0.7);
        EXPECT_EQ(floatBits(ctx.falloffTable[n]), floatBits(expected)) << n;
    }
    EXPECT_EQ(ctx.falloffTable[0], 1.0f);
    EXPECT_NEAR(ctx.falloffTable[25], 0.61557f, 5e-6f);
    EXPECT_NEAR(ctx.falloffTable[50], 0.32089f, 5e-6f);
    EXPECT_NEAR(ctx.falloffTable[75], 0.11166f, 5e-6f);
    EXPECT_NEAR(ctx.falloffTable[99], 0.0011341f, 5e-8f);
}

struct WarpPrepare : CoreTest {
    std::vector<MeshNode> grid;
    void start(const VariantDesc *variant)
    {
        useVariant(variant);
        ctx.imageWidth = 720;
        ctx.imageHeight = 288;
        ctx.gridCols = 180;
        ctx.gridRows = 144;
        grid.resize(180 * 144);
        for (size_t i = 0; i < grid.size(); ++i)
            grid[i] = {(float)i, -(float)i * 0.25f};
    }
    void TearDown() override { useVariant(); }
    void expectReleased()
    {
        EXPECT_EQ(ctx.outputPixels, nullptr);
        EXPECT_EQ(ctx.meshA, nullptr);
        EXPECT_EQ(ctx.meshB, nullptr);
        EXPECT_EQ(ctx.meshBase, nullptr);
        EXPECT_EQ(ctx.meshClipboard, nullptr);
        EXPECT_EQ(ctx.brushKernel, nullptr);
        EXPECT_EQ(ctx.outputCapacity, 0u);
        EXPECT_EQ(ctx.meshCapacity, 0u);
    }
};

TEST_F(WarpPrepare, SetsGeometryBuffersAndCopiesTheGrid)
{
    start(&vxMorphVariant);
    ASSERT_EQ(prepareMeshes(ctx, grid.data()), 0);
    EXPECT_EQ(ctx.workWidth, 720);
    EXPECT_EQ(ctx.workHeight, 288);
    EXPECT_EQ(ctx.meshCols, 180);
    EXPECT_EQ(ctx.meshRows, 144);
    EXPECT_EQ(ctx.outputCapacity, 144u * 360u);
    EXPECT_EQ(ctx.meshCapacity, 144u * 360u);
    ASSERT_NE(ctx.meshB, nullptr);
    ASSERT_NE(ctx.brushKernel, nullptr);
    EXPECT_EQ(memcmp(ctx.meshA, grid.data(), grid.size() * sizeof(MeshNode)), 0);
    EXPECT_EQ(memcmp(ctx.meshB, grid.data(), grid.size() * sizeof(MeshNode)), 0);
    for (size_t i = 0; i < ctx.meshCapacity; ++i)
        ASSERT_EQ(floatBits(ctx.meshClipboard[i].dx) | floatBits(ctx.meshClipboard[i].dy), 0u);
    EXPECT_EQ(ctx.falloffTable[0], 1.0f);
    ASSERT_EQ(prepareMeshes(ctx, grid.data()), 0); // again: the first set is released (leak check)
    releaseMeshes(ctx);
    releaseMeshes(ctx);
    expectReleased();

    start(&vxWarpVariant);
    ASSERT_EQ(prepareMeshes(ctx, grid.data()), 0);
    EXPECT_EQ(ctx.meshB, nullptr);
    EXPECT_NE(ctx.meshA, nullptr);
}

TEST_F(WarpPrepare, AllocationFailureLogsAndLeavesNothing)
{
    for (const VariantDesc *variant : {&vxMorphVariant, &vxWarpVariant}) {
        const long blocks = variant->hasMeshB ? 6 : 5;
        for (long n = 0; n <= blocks; ++n) {
            start(variant);
            if (n == 2) { // a failure also drops a set prepared before
                ASSERT_EQ(prepareMeshes(ctx, grid.data()), 0);
            }
            failAllocationAfter(n);
            const int result = prepareMeshes(ctx, grid.data());
            failAllocationAfter(-1);
            if (n == blocks) {
                EXPECT_EQ(result, 0);
                EXPECT_TRUE(takeJournal().empty());
                continue;
            }
            EXPECT_EQ(result, -1) << variant->name << " " << n;
            EXPECT_EQ(takeJournal().size(), 1u);
            expectReleased();
        }
    }
}

using WarpSampler = WarpFixture;

TEST_F(WarpSampler, TruncatesAndClampsExtrapolation)
{
    picture(4, 2);
    source[0] = pixelOf(10, 254, 0, 255);
    source[1] = pixelOf(21, 255, 255, 0);
    source[4] = source[0];
    source[5] = source[1];
    const uint32_t half = sampleSource(warpInputsOf(ctx), 0.5f, 0.0f);
    EXPECT_EQ(byteOf(half, 0), 15);
    ASSERT_LT(1.0f * 0.9999f + 254.0f, 255.0f);
    EXPECT_EQ(byteOf(sampleSource(warpInputsOf(ctx), 0.9999f, 0.5f), 1), 254);
    // Between -1 and 0 the formula extrapolates: -127.5 and 382.5 are held.
    const uint32_t outside = sampleSource(warpInputsOf(ctx), -0.5f, 0.0f);
    EXPECT_EQ(byteOf(outside, 2), 0);
    EXPECT_EQ(byteOf(outside, 3), 255);
    ctx.targetPixels = source.data();
    ctx.sourcePixels = target.data();
    EXPECT_EQ(sampleTarget(warpInputsOf(ctx), 0.5f, 0.0f), half);
}

TEST_F(WarpSampler, AnyCoordinateReadsTheEdges)
{
    picture(8, 4);
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(sampleSource(warpInputsOf(ctx), 1e30f, 2.0f), source[2 * 8 + 7]);
    EXPECT_EQ(sampleSource(warpInputsOf(ctx), inf, inf), source[3 * 8 + 7]);
    EXPECT_EQ(sampleSource(warpInputsOf(ctx), -inf, -1e30f), source[0]);
    EXPECT_EQ(sampleSource(warpInputsOf(ctx), -1.5f, 7.25f), source[3 * 8]);
    EXPECT_EQ(sampleSource(warpInputsOf(ctx), NAN, 1.0f), source[8]);
    EXPECT_EQ(sampleSource(warpInputsOf(ctx), 7.5f, 3.5f), source[3 * 8 + 7]);
    EXPECT_EQ(sampleMixed(warpInputsOf(ctx), ctx.dissolveLevel, inf, -inf),
              fetchMixed(warpInputsOf(ctx), ctx.dissolveLevel, 7, 0));
    ctx.sourcePixels = nullptr; // no picture: nothing to read
    EXPECT_EQ(sampleSource(warpInputsOf(ctx), 1.0f, 1.0f), 0u);
}

TEST_F(WarpSampler, MixtureWeightsTargetByLevel)
{
    picture(8, 4);
    for (int level : {0, 77, 255}) {
        ctx.dissolveLevel = level;
        EXPECT_EQ(fetchMixed(warpInputsOf(ctx), ctx.dissolveLevel, 3, 2),
                  refBlend(source[2 * 8 + 3], target[2 * 8 + 3], level));
        EXPECT_EQ(fetchMixed(warpInputsOf(ctx), ctx.dissolveLevel, -4, 99),
                  refBlend(source[3 * 8], target[3 * 8], level));
    }
    ctx.dissolveLevel = 300; // held at 255
    EXPECT_EQ(fetchMixed(warpInputsOf(ctx), ctx.dissolveLevel, 1, 1), target[9]);
    ctx.dissolveLevel = -3;
    EXPECT_EQ(fetchMixed(warpInputsOf(ctx), ctx.dissolveLevel, 1, 1), source[9]);
}

using WarpPassA = WarpFixture;

TEST_F(WarpPassA, ZeroMeshCopiesAndPreviewTakesEveryFourthPixel)
{
    picture(720, 288);
    EXPECT_EQ(passA(w, h), source);
    const std::vector<uint32_t> small = passA(w / 4, h / 4);
    const PassSteps steps = passSteps(warpInputsOf(ctx), w / 4, h / 4);
    EXPECT_EQ(steps.srcColStep, 4.0f);
    EXPECT_EQ(steps.srcRowStep, 4.0f);
    for (int i = 0; i < h / 4; ++i)
        for (int j = 0; j < w / 4; ++j)
            ASSERT_EQ(small[i * (w / 4) + j], source[4 * i * w + 4 * j]) << j << "," << i;
    // A mesh that does not hold meshCols x meshRows nodes displaces nothing.
    waves(meshA, 0.5f);
    ctx.meshCapacity = meshA.size() - 1;
    EXPECT_EQ(passA(w, h), source);
}

TEST_F(WarpPassA, DeformedEverywhereMatchesReferenceWithPlainEdges)
{
    picture(720, 288);
    waves(meshA, 0.5f);
    const std::vector<uint32_t> o = passA(w, h);
    EXPECT_EQ(o, refPass(source, w, h, meshA, w, h));
    EXPECT_NE(o[100 * w + 100], source[100 * w + 100]);
    for (int y = 0; y < h; ++y)
        for (int x = 716; x < 720; ++x)
            ASSERT_EQ(o[y * w + x], source[y * w + x]) << x << "," << y;
    for (int y = 286; y < 288; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(o[y * w + x], source[y * w + x]) << x << "," << y;
}

TEST_F(WarpPassA, SmallPassMatchesReferenceBitForBit)
{
    picture(16, 8);
    meshA[1 + 4 * 1] = {0.3f, -1.1f};
    meshA[2 + 4 * 1] = {-7.0f, 0.2f}; // beyond the left edge
    meshA[1 + 4 * 2] = {0.0f, 9.5f};  // beyond the bottom
    meshA[0 + 4 * 0] = {-0.2f, -0.3f};
    for (auto [ow, oh] : {std::pair{16, 8}, std::pair{10, 6}, std::pair{32, 24}, std::pair{7, 3}}) {
        EXPECT_EQ(passA(ow, oh), refPass(source, w, h, meshA, ow, oh)) << ow << "x" << oh;
        const PassSteps steps = passSteps(warpInputsOf(ctx), ow, oh);
        EXPECT_EQ(floatBits(steps.srcColStep), floatBits(16.0f / (float)ow));
        EXPECT_EQ(floatBits(steps.meshRowStep), floatBits((4.0f / 8.0f) * (8.0f / (float)oh)));
        EXPECT_EQ(floatBits(steps.pixelsPerColumn),
                  floatBits((float)(1.0 / (double)(4.0f / 16.0f))));
    }
    // Sizes that are not multiples of the cell: steps and reciprocals are inexact.
    for (auto [pw, ph] : {std::pair{30, 13}, std::pair{22, 10}, std::pair{43, 29}}) {
        picture(pw, ph);
        waves(meshA, 0.1f);
        for (auto [ow, oh] : {std::pair{pw, ph}, std::pair{pw / 4, ph / 4}, std::pair{32, 24}}) {
            EXPECT_EQ(passA(ow, oh), refPass(source, w, h, meshA, ow, oh))
                << pw << "x" << ph << " " << ow;
            const PassSteps steps = passSteps(warpInputsOf(ctx), ow, oh);
            EXPECT_EQ(floatBits(steps.pixelsPerRow),
                      floatBits((float)(1.0 / (double)((float)(ph / 2) / (float)ph))));
            EXPECT_EQ(floatBits(steps.meshColStep),
                      floatBits(((float)(pw / 4) / (float)pw) * ((float)pw / (float)ow)));
        }
    }
}

TEST_F(WarpPassA, DisplacementBeyondTheEdgeRepeatsEdgePixels)
{
    picture(64, 16);
    const int inner = (64 / 4 - 1) * 4, lines = (16 / 2 - 1) * 2; // positions inside the mesh
    for (float dx : {-40.0f, -1e30f, 1e30f, 3e38f}) {
        fill(meshA, dx, 0.0f);
        const std::vector<uint32_t> o = passA(w, h);
        for (int y = 0; y < lines; ++y)
            for (int x = 0; x < inner; ++x)
                ASSERT_EQ(o[y * w + x], source[y * w + (dx < 0 ? 0 : w - 1)])
                    << dx << " " << x << "," << y;
    }
    fill(meshA, 0.0f, 1e30f);
    const std::vector<uint32_t> o = passA(w, h);
    for (int x = 0; x < inner; ++x)
        ASSERT_EQ(o[x], source[(h - 1) * w + x]);
}

TEST_F(WarpPassA, NegativeZeroNanAndInfinityCountAsNoDisplacement)
{
    picture(16, 8);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    fill(meshA, 0.0f, 0.0f);
    const std::vector<uint32_t> plain =
        passA(10, 6); // fractional steps: copy differs from a sample
    fill(meshA, -0.0f, -0.0f);
    EXPECT_EQ(passA(10, 6), plain);
    fill(meshA, nan, nan);
    EXPECT_EQ(passA(10, 6), plain);
    fill(meshA, std::numeric_limits<float>::infinity(), 0.0f); // interpolates to inf - inf
    EXPECT_EQ(passA(10, 6), plain);
    fill(meshA, 1e-30f, 0.0f);
    EXPECT_NE(passA(10, 6), plain);
    fill(meshA, 0.0f, 0.7f);
    const std::vector<uint32_t> down = passA(16, 8);
    EXPECT_EQ(down, refPass(source, w, h, meshA, 16, 8));
    fill(meshA, nan, 0.7f);
    EXPECT_EQ(passA(16, 8), down);
}

TEST_F(WarpPassA, EmptyOrUnfitPicturesWriteNothing)
{
    picture(16, 8);
    const std::vector<uint32_t> untouched(16 * 8, 0xDEADBEEFu);
    for (auto [ow, oh] :
         {std::pair{0, 8}, std::pair{16, 0}, std::pair{-16, 8}, std::pair{16, -1}}) {
        runPassA(ctx, out.data(), ow, oh, out.size());
        EXPECT_EQ(out, untouched);
    }
    runPassA(ctx, nullptr, 16, 8, 0);
    for (auto [sw, sh] : {std::pair{0, 8}, std::pair{16, 0}, std::pair{-4, 8}}) {
        ctx.workWidth = sw, ctx.workHeight = sh;
        runPassA(ctx, out.data(), 16, 8, out.size());
        runPassB(ctx, out.data(), 16, 8, out.size());
        runPassMixed(ctx, out.data(), 16, 8, out.size());
        EXPECT_EQ(out, untouched);
    }
    picture(16, 8);
    ctx.outputPixels = out.data(); // the engine's output holds 16 x 7 pixels only
    ctx.outputCapacity = 16 * 7;
    runPassA(ctx, ctx.outputPixels, 16, 8, ctx.outputCapacity);
    EXPECT_EQ(out, untouched);
    ctx.outputCapacity = 16 * 8;
    runPassA(ctx, ctx.outputPixels, 16, 8, ctx.outputCapacity);
    EXPECT_EQ(out, source);
    ctx.outputPixels = nullptr;
}

using WarpPassB = WarpFixture;

TEST_F(WarpPassB, DissolvesWarpedTargetIntoPassA)
{
    picture(16, 8);
    meshA[1 + 4 * 1] = {0.6f, 0.4f};
    meshB[2 + 4 * 1] = {-1.3f, 0.9f};
    meshB[1 + 4 * 2] = {0.2f, -2.5f};
    const std::vector<uint32_t> a = passA(16, 8);
    const std::vector<uint32_t> t = refPass(target, w, h, meshB, 16, 8);
    for (int level : {0, 1, 128, 254, 255}) {
        std::vector<uint32_t> o = a;
        ctx.dissolveLevel = level;
        runPassB(ctx, o.data(), 16, 8, o.size());
        if (level == 0) {
            EXPECT_EQ(o, a);
        }
        if (level == 255) {
            EXPECT_EQ(o, t);
        }
        for (size_t i = 0; i < o.size(); ++i)
            ASSERT_EQ(o[i], refBlend(a[i], t[i], level)) << level << " " << i;
    }
}

using WarpPassMixed = WarpFixture;

TEST_F(WarpPassMixed, MixesBeforeWarping)
{
    picture(16, 8);
    waves(meshA, 0.25f);
    meshA[1 + 4 * 1] = {-0.0f, 0.0f};
    std::vector<uint32_t> o(16 * 8);
    for (int level : {0, 200, 255}) {
        ctx.dissolveLevel = level;
        std::vector<uint32_t> mixed(source.size());
        for (size_t i = 0; i < mixed.size(); ++i)
            mixed[i] = refBlend(source[i], target[i], level);
        for (auto [ow, oh] : {std::pair{16, 8}, std::pair{10, 6}}) {
            o.assign((size_t)ow * oh, 0);
            runPassMixed(ctx, o.data(), ow, oh, o.size());
            ASSERT_EQ(o, refPass(mixed, w, h, meshA, ow, oh)) << level << " " << ow;
        }
        if (level == 0) {
            EXPECT_EQ(o, passA(10, 6));
        }
        if (level == 255) {
            ctx.sourcePixels = target.data();
            EXPECT_EQ(o, passA(10, 6));
        }
    }
}

} // namespace
