// The procedural mesh generators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "editor/session.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "engine/generator.h"
#include "tests/reference/generator_reference.h"
#include "tests/unit/support.h"

namespace {

using ref::refGenerator;

struct Geometry {
    int nc, nr, pw, ph;
};

void setGeometry(OperatorContext &ctx, const Geometry &g)
{
    ctx.gridCols = g.nc;
    ctx.gridRows = g.nr;
    ctx.imageWidth = g.nc * 4;
    ctx.imageHeight = g.nr * 2;
    ctx.projectWidth = g.pw;
    ctx.projectHeight = g.ph;
}

std::vector<MeshNode> startMesh(int count)
{
    std::vector<MeshNode> m(count);
    for (int x = 0; x < count; ++x)
        m[x] = MeshNode{0.37f * (float)x - 3.1f, 1.9f - 0.23f * (float)x};
    return m;
}

void expectSameBits(const std::vector<MeshNode> &got, const std::vector<MeshNode> &want,
                    const char *what)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t x = 0; x < got.size(); ++x) {
        EXPECT_EQ(floatBits(got[x].dx), floatBits(want[x].dx)) << what << " node " << x << " dx";
        EXPECT_EQ(floatBits(got[x].dy), floatBits(want[x].dy)) << what << " node " << x << " dy";
    }
}

bool allFinite(const std::vector<MeshNode> &m)
{
    for (const MeshNode &p : m)
        if (!std::isfinite(p.dx) || !std::isfinite(p.dy))
            return false;
    return true;
}

struct GeneratorTest : CoreTest {
    void SetUp() override { useVariant(); }
    void TearDown() override
    {
        ctx.meshA = nullptr;
        ctx.meshCapacity = 0;
        useVariant();
    }
    // Applies generator n to a copy of m under the context's geometry.
    std::vector<MeshNode> run(std::vector<MeshNode> m, int n, int a, bool negate = true)
    {
        applyGenerator(generatorGeometryOf(ctx), m.data(), n, a, negate);
        return m;
    }
};

using GeneratorFormulas = GeneratorTest;

TEST_F(GeneratorFormulas, EveryGeneratorMatchesTheTableBitForBit)
{
    // k = 1, 2 and 3; even and odd sizes.
    const Geometry geometries[] = {{8, 4, 720, 288}, {6, 5, 1440, 288}, {7, 3, 2160, 288}};
    const int amounts[] = {37, -100, 100, 1, -13};
    for (const Geometry &g : geometries) {
        setGeometry(ctx, g);
        const float k = (float)(g.pw / (2 * g.ph));
        const std::vector<MeshNode> start = startMesh(g.nc * g.nr);
        for (int n = 1; n <= 17; ++n)
            for (int a : amounts)
                for (bool negate : {true, false}) {
                    auto want =
                        refGenerator(start, n, a, negate, g.nr, g.nc, g.nc * 4, g.nr * 2, k);
                    std::string what = "generator " + std::to_string(n) + " a " +
                                       std::to_string(a) + " nc " + std::to_string(g.nc) +
                                       (negate ? " effect" : " transition");
                    expectSameBits(run(start, n, a, negate), want, what.c_str());
                }
    }
}

TEST_F(GeneratorFormulas, HandComputedValues)
{
    setGeometry(ctx, {8, 4, 720, 288});
    const std::vector<MeshNode> zero(32, MeshNode{0, 0});
    auto at = [](const std::vector<MeshNode> &m, int j, int i) { return m[i * 8 + j]; };

    // 1: row 1 is at 3/2 of a turn (sine -1), row 3 at 9/2 (+1).
    auto m = run(zero, 1, 50);
    EXPECT_NEAR(at(m, 5, 1).dx, -25.0, 1e-5);
    EXPECT_NEAR(at(m, 2, 3).dx, 25.0, 1e-5);
    EXPECT_EQ(at(m, 2, 3).dy, 0.0f);
    // 2: column 1 at 3/4 of a half turn.
    m = run(zero, 2, 100);
    EXPECT_NEAR(at(m, 1, 0).dy, 50.0 * std::sqrt(0.5), 1e-5);
    EXPECT_EQ(at(m, 1, 0).dx, 0.0f);
    // 5 and 6 and 16 at the corner node: u = -4, t = -2.
    m = run(zero, 5, 100);
    EXPECT_NEAR(at(m, 0, 0).dx, 0.72474978, 1e-5);
    EXPECT_NEAR(at(m, 0, 0).dy, 0.36237489, 1e-5);
    m = run(zero, 6, 100);
    EXPECT_NEAR(at(m, 0, 0).dx, 9.5459840, 1e-4);
    EXPECT_NEAR(at(m, 0, 0).dy, 9.5459840, 1e-4);
    m = run(zero, 16, 100);
    EXPECT_NEAR(at(m, 0, 0).dx, 2.9374506, 1e-5);
    // 11 and 12 (effect form, k = 1) at the corner node.
    m = run(zero, 11, 100);
    EXPECT_NEAR(at(m, 0, 0).dx, 2.5852866, 1e-4);
    EXPECT_NEAR(at(m, 0, 0).dy, -2.2424740, 1e-4);
    m = run(zero, 12, 100);
    EXPECT_NEAR(at(m, 0, 0).dx, -0.2274272, 1e-4);
    EXPECT_NEAR(at(m, 0, 0).dy, 0.5409390, 1e-4);
    // 13: column 2, row 1: both a quarter of a half turn.
    m = run(zero, 13, 100);
    EXPECT_NEAR(at(m, 2, 1).dx, 25.0, 1e-5);
    EXPECT_NEAR(at(m, 2, 1).dy, 25.0, 1e-5);
    // 15: u = -3 over a half of 4 columns, t = -2 over 2 rows.
    m = run(zero, 15, 100);
    EXPECT_NEAR(at(m, 1, 0).dx, 10.0, 1e-5);
    EXPECT_NEAR(at(m, 1, 0).dy, 10.0, 1e-5);
    // 17: column 1, row 1.
    m = run(zero, 17, 100);
    EXPECT_NEAR(at(m, 1, 1).dx, 10.0, 1e-5);
    EXPECT_NEAR(at(m, 1, 1).dy, -10.0, 1e-5);
}

TEST_F(GeneratorFormulas, OutOfRangeGeneratorOrEmptyGridTouchesNothing)
{
    setGeometry(ctx, {8, 4, 720, 288});
    const std::vector<MeshNode> start = startMesh(32);
    for (int n : {0, -1, 18, 100})
        expectSameBits(run(start, n, 100), start, "bad n");
    for (int rows : {0, -3}) {
        ctx.gridRows = rows;
        for (int n = 1; n <= 17; ++n)
            expectSameBits(run(start, n, 100), start, "no rows");
    }
    ctx.gridRows = 4;
    ctx.gridCols = 0;
    for (int n = 1; n <= 17; ++n) {
        expectSameBits(run(start, n, 100), start, "no columns");
        applyGenerator(generatorGeometryOf(ctx), nullptr, n, 100, true);
    }
}

using GeneratorRotation = GeneratorTest;

TEST_F(GeneratorRotation, HalfTurnFetchesFromTheOppositePoint)
{
    setGeometry(ctx, {8, 4, 720, 288});
    auto m = run(std::vector<MeshNode>(32, MeshNode{0, 0}), 10, 100);
    // (A + 1, B) = column 5, row 2.
    EXPECT_NEAR(m[2 * 8 + 5].dx, -2.0, 1e-5);
    EXPECT_NEAR(m[2 * 8 + 5].dy, 0.0, 1e-5);
    // The centre does not move; the corner fetches from the far corner.
    EXPECT_NEAR(m[2 * 8 + 4].dx, 0.0, 1e-5);
    EXPECT_NEAR(m[0].dx, 8.0, 1e-5);
    EXPECT_NEAR(m[0].dy, 4.0, 1e-5);
}

TEST_F(GeneratorRotation, TransitionFormTurnsTheOtherWay)
{
    setGeometry(ctx, {8, 4, 720, 288});
    const std::vector<MeshNode> zero(32, MeshNode{0, 0});
    for (int n : {10, 11, 12}) {
        auto effect = run(zero, n, 50, true);
        auto transition = run(zero, n, 50, false);
        // Column 5, row 2: a quarter turn either way for 10.
        const MeshNode e = effect[2 * 8 + 5], t = transition[2 * 8 + 5];
        EXPECT_LT(e.dy, 0.0f) << n;
        EXPECT_GT(t.dy, 0.0f) << n;
        EXPECT_EQ(floatBits(e.dx), floatBits(t.dx)) << n;
        EXPECT_EQ(floatBits(e.dy), floatBits(-t.dy)) << n;
    }
    auto q = run(zero, 10, 50, false);
    EXPECT_NEAR(q[2 * 8 + 5].dx, -1.0, 1e-5);
    EXPECT_NEAR(q[2 * 8 + 5].dy, 1.0, 1e-5);
}

using GeneratorRandom = GeneratorTest;

TEST_F(GeneratorRandom, FirstDrawsFromTheSeedAreFixed)
{
    // One row shift per row: t = ((r - 16383) * W / 26213600) * a.
    const int first[5] = {28322, 7943, 4653, 8133, 31660};
    setGeometry(ctx, {2, 5, 720, 288});
    ctx.imageWidth = 800;
    ctx.imageHeight = 1600;
    auto rows = run(std::vector<MeshNode>(10, MeshNode{0, 0}), 7, 1);
    for (int i = 0; i < 5; ++i) {
        const float want = ((float)(first[i] - 16383) * 800.0f / 26213600.0f) * 1.0f;
        EXPECT_EQ(floatBits(rows[i * 2].dx), floatBits(want)) << i;
        EXPECT_EQ(floatBits(rows[i * 2 + 1].dx), floatBits(want)) << i;
        EXPECT_NEAR(rows[i * 2].dx, (first[i] - 16383) / 32767.0, 1e-6);
        EXPECT_EQ(rows[i * 2].dy, 0.0f);
    }
    // Columns draw the same sequence; jitter takes x, y, x, y, ...
    setGeometry(ctx, {5, 1, 720, 288});
    ctx.imageWidth = 800;
    ctx.imageHeight = 1600;
    auto cols = run(std::vector<MeshNode>(5, MeshNode{0, 0}), 8, 1);
    for (int j = 0; j < 5; ++j)
        EXPECT_NEAR(cols[j].dy, 2.0 * (first[j] - 16383) / 32767.0, 1e-6) << j;
    auto jitter = run(std::vector<MeshNode>(5, MeshNode{0, 0}), 9, 1);
    EXPECT_NEAR(jitter[0].dx, (first[0] - 16383) / 32767.0, 1e-6);
    EXPECT_NEAR(jitter[0].dy, 2.0 * (first[1] - 16383) / 32767.0, 1e-6);
    EXPECT_NEAR(jitter[1].dx, (first[2] - 16383) / 32767.0, 1e-6);
    EXPECT_NEAR(jitter[1].dy, 2.0 * (first[3] - 16383) / 32767.0, 1e-6);
    EXPECT_NEAR(jitter[2].dx, (first[4] - 16383) / 32767.0, 1e-6);
}

TEST_F(GeneratorRandom, EveryRunRestartsTheSequence)
{
    setGeometry(ctx, {8, 4, 720, 288});
    const std::vector<MeshNode> start = startMesh(32);
    for (int n : {7, 8, 9}) {
        auto once = run(start, n, 60);
        // Another random generator in between does not shift the pattern.
        run(start, 9, 10);
        expectSameBits(run(start, n, 60), once, "rerun");
    }
    // Only the scale follows the amount.
    auto half = run(std::vector<MeshNode>(32, MeshNode{0, 0}), 9, 50);
    auto full = run(std::vector<MeshNode>(32, MeshNode{0, 0}), 9, 100);
    for (int x = 0; x < 32; ++x)
        EXPECT_EQ(floatBits(full[x].dx), floatBits(half[x].dx * 2.0f)) << x;
}

using GeneratorMends = GeneratorTest;

TEST_F(GeneratorMends, ZeroOrMissingVerticalScaleCountsAsOne)
{
    const std::vector<MeshNode> start = startMesh(32);
    setGeometry(ctx, {8, 4, 720, 288});
    std::vector<std::vector<MeshNode>> unit;
    for (int n : {10, 11, 12})
        unit.push_back(run(start, n, 77));
    // 720 x 576: less than twice as wide as high; then no height at all.
    const int heights[][2] = {{720, 576}, {720, 0}, {720, -288}, {100, 288}};
    for (const auto &h : heights) {
        ctx.projectWidth = h[0];
        ctx.projectHeight = h[1];
        int idx = 0;
        for (int n : {10, 11, 12}) {
            auto m = run(start, n, 77);
            EXPECT_TRUE(allFinite(m)) << n << " " << h[1];
            expectSameBits(m, unit[idx++], "k = 1");
        }
    }
}

TEST_F(GeneratorMends, OneRowOrOneColumnStaysFinite)
{
    const Geometry thin[] = {{8, 1, 720, 288}, {1, 4, 720, 288}, {1, 1, 720, 288}};
    for (const Geometry &g : thin) {
        setGeometry(ctx, g);
        const std::vector<MeshNode> start = startMesh(g.nc * g.nr);
        for (int n = 1; n <= 17; ++n) {
            auto m = run(start, n, 100);
            EXPECT_TRUE(allFinite(m)) << n << " " << g.nc << "x" << g.nr;
            if (n == 15 || n == 17)
                expectSameBits(
                    m, refGenerator(start, n, 100, true, g.nr, g.nc, g.nc * 4, g.nr * 2, 1.0f),
                    "divisor 1");
        }
    }
}

// The editor's form over a two-key effect.
struct GeneratorApply : GeneratorTest {
    std::vector<MeshNode> meshA;
    std::vector<MeshNode> keyed; // the interpolation alone
    void SetUp() override
    {
        GeneratorTest::SetUp();
        setGeometry(ctx, {8, 4, 720, 288});
        meshA.assign(32, MeshNode{99, 99});
        ctx.meshA = meshA.data();
        ctx.meshCapacity = 32;
        ctx.lastFrame = 10;
        ASSERT_EQ(createFirstKey(ctx), 0);
        ASSERT_EQ(createLastKey(ctx), 0);
        const std::vector<MeshNode> last = startMesh(32);
        for (int x = 0; x < 32; ++x)
            ctx.keyList->next->grid[x] = last[x];
        ctx.currentFrame = 3;
        ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
        keyed = meshA;
        meshA.assign(32, MeshNode{99, 99});
    }
};

TEST_F(GeneratorApply, TypeZeroOrNoAmountsGiveTheKeyInterpolation)
{
    for (int n = 1; n <= 17; ++n)
        ed.generatorParams[n] = n % 2 ? 40 : -70;
    ed.generatorType = 0;
    applyGenerators(ed, ctx);
    expectSameBits(meshA, keyed, "type 0");

    for (int n = 0; n < 20; ++n)
        ed.generatorParams[n] = 0;
    // Unused entries are not generators.
    ed.generatorParams[0] = ed.generatorParams[18] = ed.generatorParams[19] = 100;
    ed.generatorType = 5;
    meshA.assign(32, MeshNode{99, 99});
    applyGenerators(ed, ctx);
    expectSameBits(meshA, keyed, "no amounts");
}

TEST_F(GeneratorApply, AmountsApplyInAscendingOrderAndDoNotAccumulate)
{
    ed.generatorType = 10;
    ed.generatorParams[9] = 30;
    ed.generatorParams[10] = 45;
    applyGenerators(ed, ctx);
    auto byHand = refGenerator(refGenerator(keyed, 9, 30, true, 4, 8, 32, 8, 1.0f), 10, 45, true, 4,
                               8, 32, 8, 1.0f);
    expectSameBits(meshA, byHand, "9 then 10");
    auto reversed = refGenerator(refGenerator(keyed, 10, 45, true, 4, 8, 32, 8, 1.0f), 9, 30, true,
                                 4, 8, 32, 8, 1.0f);
    bool differs = false;
    for (int x = 0; x < 32; ++x)
        differs |= floatBits(reversed[x].dx) != floatBits(meshA[x].dx);
    EXPECT_TRUE(differs);

    // A second run starts from the keys again.
    applyGenerators(ed, ctx);
    expectSameBits(meshA, byHand, "second run");
    ed.generatorParams[9] = 0;
    applyGenerators(ed, ctx);
    expectSameBits(meshA, refGenerator(keyed, 10, 45, true, 4, 8, 32, 8, 1.0f), "9 back to 0");
}

TEST_F(GeneratorApply, TooSmallWorkingMeshIsLeftAlone)
{
    ed.generatorType = 1;
    ed.generatorParams[1] = 100;
    ctx.meshCapacity = 31;
    applyGenerators(ed, ctx);
    for (const MeshNode &p : meshA) {
        EXPECT_EQ(p.dx, 99.0f);
        EXPECT_EQ(p.dy, 99.0f);
    }
}

} // namespace
