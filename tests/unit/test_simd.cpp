// Every instruction-set level of the warp and view passes against the
// scalar passes, bit for bit, on random pictures and meshes that hold zero runs, -0.0,
// NaN, infinities and huge displacements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "effect/buffers.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "engine/simd.h"
#include "engine/viewpass.h"
#include "engine/warp.h"
#include "engine/warplevel.h"
#include "tests/unit/support.h"
#include "transition/instance.h"

namespace {

struct Geometry {
    const char *name;
    int width, height;         // the sampled pictures
    int meshWidth, meshHeight; // the picture size the mesh was made for
    int outW, outH;
};

const Geometry geometries[] = {
    {"one to one, odd width", 37, 19, 37, 19, 37, 19},
    {"one to one, PAL field", 720, 288, 720, 288, 720, 288},
    {"one to one, 1080 field", 1920, 540, 1920, 540, 1920, 540},
    {"preview", 203, 98, 203, 98, 50, 24},
    {"thumbnail", 720, 288, 720, 288, 32, 24},
    {"enlarged", 21, 14, 21, 14, 67, 45},
    {"mesh of the project size", 360, 144, 720, 288, 360, 144},
    {"mesh of a smaller project", 722, 290, 360, 144, 722, 290},
    {"one column under a larger mesh", 1, 10, 64, 20, 1, 10},
    {"tiny picture under a larger mesh", 5, 3, 64, 20, 17, 11},
};

float nodeValue(std::mt19937 &rng)
{
    const float specials[] = {0.0f,
                              -0.0f,
                              std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              1e30f,
                              -3e9f,
                              1e-40f};
    const unsigned pick = rng() % 100;
    if (pick < 8)
        return specials[pick];
    return std::uniform_real_distribution<float>(-6.0f, 6.0f)(rng);
}

// Zero runs of random length between deformed ones, so both the bulk
// copies and the lane-by-lane choice are crossed.
std::vector<MeshNode> randomMesh(std::mt19937 &rng, size_t nodes)
{
    std::vector<MeshNode> mesh(nodes);
    size_t i = 0;
    while (i < nodes) {
        const bool zero = rng() % 2 == 0;
        for (size_t run = 1 + rng() % 40; run && i < nodes; --run, ++i)
            mesh[i] = zero ? MeshNode{rng() % 5 ? 0.0f : -0.0f, 0.0f}
                           : MeshNode{nodeValue(rng), nodeValue(rng)};
    }
    return mesh;
}

// A smooth field, as real effects have: steps of neighbouring pixels then
// read neighbouring source pixels of one or two rows.
std::vector<MeshNode> smoothMesh(std::mt19937 &rng, int cols, int rows)
{
    const float a = std::uniform_real_distribution<float>(0.5f, 4.0f)(rng);
    const float b = std::uniform_real_distribution<float>(-0.3f, 0.3f)(rng);
    std::vector<MeshNode> mesh((size_t)cols * rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            mesh[c + (size_t)cols * r] = {a * std::sin(0.05f * c + 0.1f * r) - 0.25f,
                                          0.5f + 1.5f * std::cos(0.07f * r) +
                                              b * std::sin(0.2f * c)};
    return mesh;
}

std::vector<uint32_t> randomPicture(std::mt19937 &rng, size_t pixels)
{
    std::vector<uint32_t> picture(pixels);
    for (uint32_t &p : picture)
        p = rng();
    return picture;
}

// Pictures of width x height under a mesh made for meshWidth x meshHeight;
// returns the mesh's node count.
size_t sizeContext(OperatorContext &ctx, int width, int height, int meshWidth, int meshHeight)
{
    ctx.workWidth = ctx.imageWidth = width;
    ctx.workHeight = ctx.imageHeight = height;
    ctx.meshCols = ctx.gridCols = meshWidth / 4;
    ctx.meshRows = ctx.gridRows = meshHeight / 2;
    return (size_t)ctx.meshCols * ctx.meshRows;
}

struct SimdPasses : CoreTest, ::testing::WithParamInterface<Geometry> {
    void TearDown() override
    {
        ctx.sourcePixels = ctx.targetPixels = nullptr;
        ctx.meshA = ctx.meshB = nullptr;
        useVariant();
    }
};

TEST_P(SimdPasses, EveryLevelGivesTheScalarBits)
{
    const Geometry g = GetParam();
    std::mt19937 rng(20261207u + (unsigned)g.width * 7u + (unsigned)g.outW);
    for (int trial = 0; trial < 8; ++trial) {
        TearDown(); // the context must not free the previous trial's vectors
        const size_t nodes = sizeContext(ctx, g.width, g.height, g.meshWidth, g.meshHeight);
        std::vector<uint32_t> source = randomPicture(rng, (size_t)g.width * g.height);
        std::vector<uint32_t> target = randomPicture(rng, source.size());
        std::vector<MeshNode> meshA = randomMesh(rng, nodes), meshB = randomMesh(rng, nodes);
        if (trial == 0)
            meshA.assign(nodes, MeshNode{0.0f, -0.0f});
        if (trial >= 6) {
            meshA = smoothMesh(rng, ctx.meshCols, ctx.meshRows);
            meshB = smoothMesh(rng, ctx.meshCols, ctx.meshRows);
        }
        ctx.sourcePixels = source.data();
        ctx.targetPixels = target.data();
        ctx.meshA = meshA.data();
        ctx.meshB = meshB.data();
        ctx.meshCapacity = nodes;
        ctx.dissolveLevel = trial == 1 ? 0 : (trial == 2 ? 255 : (int)(rng() % 256));
        const std::vector<uint32_t> before = randomPicture(rng, (size_t)g.outW * g.outH);

        // Pass A then B on one picture (as a morph renders), and the mixed
        // pass twice: nothing of the first level may linger in the second.
        const int level = ctx.dissolveLevel;
        auto render = [&](SimdLevel simd) {
            ctx.simd = &warpLevelOf(simd);
            std::vector<uint32_t> morph = before, mixed = before, again = before;
            runPassA(ctx, morph.data(), g.outW, g.outH, morph.size());
            runPassB(ctx, morph.data(), g.outW, g.outH, morph.size());
            runPassMixed(ctx, mixed.data(), g.outW, g.outH, mixed.size());
            ctx.dissolveLevel = 255 - level / 2;
            runPassMixed(ctx, again.data(), g.outW, g.outH, again.size());
            ctx.dissolveLevel = level;
            morph.insert(morph.end(), mixed.begin(), mixed.end());
            morph.insert(morph.end(), again.begin(), again.end());
            return morph;
        };
        const std::vector<uint32_t> expected = render(SIMD_SCALAR);
        for (int level = SIMD_SSE2; level <= bestSimdLevel(); ++level) {
            const std::vector<uint32_t> got = render((SimdLevel)level);
            size_t first = 0;
            while (first < got.size() && got[first] == expected[first])
                ++first;
            EXPECT_EQ(first, got.size()) << simdLevelName((SimdLevel)level) << ", trial " << trial
                                         << ": first difference at pixel " << first;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Geometries, SimdPasses, ::testing::ValuesIn(geometries),
                         [](const auto &info) {
                             std::string name = info.param.name;
                             for (char &c : name)
                                 if (!isalnum((unsigned char)c))
                                     c = '_';
                             return name;
                         });

// Undeformed runs of the dissolve and the mixture are blended in bulk: at
// the end levels, next to them and beyond them (held at 0 and 255), over
// rows that no vector width divides and runs that end mid-row.
TEST_F(SimdPasses, UndeformedRunsBlendAsTheScalarPass)
{
    const int levels[] = {0, 1, 128, 254, 255, -7, 300};
    const struct {
        int width, height;
    } sizes[] = {{37, 19}, {720, 288}, {86, 10}};
    std::mt19937 rng(20261208u);
    for (const auto &size : sizes)
        for (const int level : levels) {
            ctx.sourcePixels = ctx.targetPixels = nullptr; // owned by the vectors here
            ctx.meshA = ctx.meshB = nullptr;
            useVariant();
            const size_t nodes = sizeContext(ctx, size.width, size.height, size.width, size.height);
            std::vector<uint32_t> source = randomPicture(rng, (size_t)size.width * size.height);
            std::vector<uint32_t> target = randomPicture(rng, source.size());
            const std::vector<uint32_t> before = randomPicture(rng, source.size());
            // All zero, but for one deformed node that cuts a run short.
            std::vector<MeshNode> mesh(nodes, MeshNode{-0.0f, 0.0f});
            mesh[nodes / 2 + 3] = {0.75f, -0.5f};
            ctx.sourcePixels = source.data(), ctx.targetPixels = target.data();
            ctx.meshA = ctx.meshB = mesh.data(), ctx.meshCapacity = nodes;
            ctx.dissolveLevel = level;
            auto render = [&](SimdLevel simd) {
                ctx.simd = &warpLevelOf(simd);
                std::vector<uint32_t> dissolved = before, mixed = before;
                runPassB(ctx, dissolved.data(), size.width, size.height, dissolved.size());
                runPassMixed(ctx, mixed.data(), size.width, size.height, mixed.size());
                dissolved.insert(dissolved.end(), mixed.begin(), mixed.end());
                return dissolved;
            };
            const std::vector<uint32_t> expected = render(SIMD_SCALAR);
            for (int simd = SIMD_SSE2; simd <= bestSimdLevel(); ++simd)
                EXPECT_EQ(render((SimdLevel)simd), expected)
                    << simdLevelName((SimdLevel)simd) << " " << size.width << "x" << size.height
                    << " level " << level;
        }
    ctx.sourcePixels = ctx.targetPixels = nullptr;
    ctx.meshA = ctx.meshB = nullptr;
    useVariant();
}

// The edit view of every variant at every zoom: widths where W/4 * 2 !=
// W/2 and that no vector width divides, windows at and past the edges.
using SimdViewPasses = CoreTest;

TEST_F(SimdViewPasses, EveryLevelGivesTheScalarBits)
{
    const VariantDesc *variants[] = {&vxMorphVariant, &vxDrawVariant, &vxFxVariant, &vxWarpVariant};
    const struct {
        int width, height, scrollX, scrollY;
    } views[] = {{94, 46, 0, 0},   {94, 46, 23, 11},  {722, 290, 180, 72},
                 {37, 22, -2, 11}, {1926, 542, 3, 1}, {10, 6, 4, 3}};
    std::mt19937 rng(20261207u);
    for (const auto &v : views)
        for (int trial = 0; trial < 5; ++trial) {
            const size_t nodes = (size_t)(v.width / 4) * (v.height / 2);
            const size_t capacity = (size_t)(v.width / 2) * (v.height / 2); // outputPixels
            std::vector<uint32_t> source = randomPicture(rng, (size_t)v.width * v.height);
            std::vector<uint32_t> target = randomPicture(rng, source.size());
            std::vector<MeshNode> mesh =
                trial >= 3 ? smoothMesh(rng, v.width / 4, v.height / 2) : randomMesh(rng, nodes);
            if (trial == 4) // a shear: the lanes of a step read one sample line
                for (MeshNode &n : mesh)
                    n.dy = 0.25f;
            const std::vector<uint32_t> before = randomPicture(rng, capacity + 64);
            const int level = trial == 1 ? 0 : (trial == 2 ? 255 : (int)(rng() % 256));
            for (const VariantDesc *variant : variants)
                for (int zoom = 0; zoom <= 2; ++zoom) {
                    auto render = [&](SimdLevel simd) {
                        ctx.sourcePixels = ctx.targetPixels = ctx.outputPixels = nullptr;
                        ctx.meshA = nullptr;
                        useVariant(variant);
                        ctx.simd = &warpLevelOf(simd);
                        ctx.workWidth = v.width, ctx.workHeight = v.height;
                        ctx.meshCols = v.width / 4, ctx.meshRows = v.height / 2;
                        ed.viewScrollX = v.scrollX, ed.viewScrollY = v.scrollY;
                        ctx.dissolveLevel = level;
                        std::vector<uint32_t> out = before;
                        ctx.sourcePixels = source.data(), ctx.targetPixels = target.data();
                        ctx.outputPixels = out.data(), ctx.outputCapacity = capacity;
                        ctx.meshA = mesh.data(), ctx.meshCapacity = nodes;
                        const int divisor = 2 << zoom;
                        runViewPass(ed, ctx, zoom, v.width / divisor, v.height / divisor);
                        ctx.sourcePixels = ctx.targetPixels = ctx.outputPixels = nullptr;
                        ctx.meshA = nullptr;
                        return out;
                    };
                    const std::vector<uint32_t> expected = render(SIMD_SCALAR);
                    ASSERT_NE(expected, before) << "nothing drawn at zoom " << zoom;
                    for (int simd = SIMD_SSE2; simd <= bestSimdLevel(); ++simd) {
                        const std::vector<uint32_t> got = render((SimdLevel)simd);
                        size_t first = 0;
                        while (first < got.size() && got[first] == expected[first])
                            ++first;
                        EXPECT_EQ(first, got.size())
                            << simdLevelName((SimdLevel)simd) << ", " << variant->name << " "
                            << v.width << "x" << v.height << " zoom " << zoom << ", trial " << trial
                            << ": first difference at pixel " << first;
                    }
                }
        }
    useVariant();
}

// Every table's run blend against blendBytes: runs that no step width
// divides, empty ones, in place (dst = other), at the end weights.
TEST_F(SimdPasses, EveryLevelsRunBlendGivesTheScalarBits)
{
    std::mt19937 rng(20261209u);
    const std::vector<uint32_t> other = randomPicture(rng, 40), src = randomPicture(rng, 40);
    for (int simd = SIMD_SCALAR; simd <= bestSimdLevel(); ++simd)
        for (const int w : {0, 1, 128, 254, 255})
            for (const size_t count : {0, 1, 3, 4, 7, 8, 15, 16, 17, 31, 33, 40})
                for (const bool inPlace : {false, true}) {
                    std::vector<uint32_t> dst = inPlace ? other : randomPicture(rng, 40);
                    std::vector<uint32_t> expected = dst;
                    for (size_t k = 0; k < count; ++k)
                        expected[k] = blendBytes(other[k], w, src[k], 255 - w);
                    warpLevelOf((SimdLevel)simd)
                        .blendRun(dst.data(), inPlace ? dst.data() : other.data(), src.data(),
                                  count, w, 255 - w);
                    EXPECT_EQ(dst, expected) << simdLevelName((SimdLevel)simd) << " weight " << w
                                             << ", " << count << " pixels, in place " << inPlace;
                }
}

TEST(SimdLevel, IsHeldAtWhatTheProcessorHasAndNamedAsInVxSimd)
{
    EXPECT_EQ(heldSimdLevel(SIMD_SCALAR), SIMD_SCALAR);
    EXPECT_EQ(heldSimdLevel(SIMD_AVX512), bestSimdLevel());
    // The passes' tables alike, SIMD_LEVEL_COUNT too.
    const WarpLevel *const tables[] = {&warpLevelScalar, &warpLevelSse2, &warpLevelAvx2,
                                       &warpLevelAvx512};
    for (int level = SIMD_SCALAR; level <= SIMD_LEVEL_COUNT; ++level)
        EXPECT_EQ(&warpLevelOf((SimdLevel)level), tables[std::min(level, (int)bestSimdLevel())])
            << level;
    const struct {
        const char *name;
        SimdLevel level;
    } names[] = {{"scalar", SIMD_SCALAR}, {"sse2", SIMD_SSE2},        {"avx2", SIMD_AVX2},
                 {"avx512", SIMD_AVX512}, {"AVX2", SIMD_LEVEL_COUNT}, {nullptr, SIMD_LEVEL_COUNT}};
    for (const auto &n : names)
        EXPECT_EQ(simdLevelNamed(n.name, SIMD_LEVEL_COUNT), n.level) << (n.name ? n.name : "null");
}

// An instance reads VX_SIMD once, when it is made: the level it names,
// held at what the processor has, else the best.
TEST(SimdLevel, AnInstanceRunsAtTheLevelVxSimdNamedWhenItWasMade)
{
    const char *before = std::getenv("VX_SIMD");
    const std::string saved = before ? before : "";
    const struct {
        const char *value;
        SimdLevel level;
    } cases[] = {{"scalar", SIMD_SCALAR},     {"sse2", heldSimdLevel(SIMD_SSE2)},
                 {"avx512", bestSimdLevel()}, {"AVX2", bestSimdLevel()},
                 {"", bestSimdLevel()},       {nullptr, bestSimdLevel()}};
    for (const auto &c : cases) {
        if (c.value)
            setenv("VX_SIMD", c.value, 1);
        else
            unsetenv("VX_SIMD");
        auto effect = std::make_unique<EffectInstance>();
        auto transition = std::make_unique<TransitionInstance>();
        initEffectInstance(*effect, vxWarpVariant);
        initTransitionInstance(*transition);
        setenv("VX_SIMD", "scalar", 1); // too late for these instances
        const char *name = c.value ? c.value : "unset";
        EXPECT_EQ(warpInputsOf(effect->ctx).simd, &warpLevelOf(c.level)) << name;
        EXPECT_EQ(warpInputsOf(transition->ctx).simd, &warpLevelOf(c.level)) << name;
    }
    if (before)
        setenv("VX_SIMD", saved.c_str(), 1);
    else
        unsetenv("VX_SIMD");
}

// Every pass calls through the table its inputs carry, a row table once
// per pass; without a table it runs the scalar reference.
TEST_F(SimdViewPasses, PassesCallTheTableTheirInputsCarry)
{
    static int rowCalls, viewCalls;
    WarpLevel spy = warpLevelScalar;
    spy.warpRows = [](const PassParams &p, int rowBegin, int rowEnd) {
        ++rowCalls;
        warpRowsScalar(p, rowBegin, rowEnd);
    };
    spy.viewRows = [](const PassParams &p) {
        ++viewCalls;
        viewRowsScalar(p);
    };
    std::mt19937 rng(20261210u);
    const size_t nodes = sizeContext(ctx, 32, 16, 32, 16);
    std::vector<uint32_t> source = randomPicture(rng, 32 * 16),
                          target = randomPicture(rng, 32 * 16);
    std::vector<MeshNode> mesh = smoothMesh(rng, ctx.meshCols, ctx.meshRows);
    std::vector<uint32_t> out(32 * 16);
    ctx.sourcePixels = source.data(), ctx.targetPixels = target.data();
    ctx.meshA = ctx.meshB = mesh.data(), ctx.meshCapacity = nodes;
    ctx.outputPixels = out.data(), ctx.outputCapacity = out.size();
    ctx.dissolveLevel = 100;
    auto render = [&](const WarpLevel *simd) {
        ctx.simd = simd;
        std::vector<uint32_t> all;
        for (int pass = 0; pass < 5; ++pass) {
            std::fill(out.begin(), out.end(), 0u);
            if (pass == 0)
                runPassA(ctx, out.data(), 16, 8, out.size());
            else if (pass == 1)
                runPassB(ctx, out.data(), 16, 8, out.size());
            else if (pass == 2)
                runPassMixed(ctx, out.data(), 16, 8, out.size());
            else
                runViewPass(ed, ctx, pass - 3, pass == 3 ? 16 : 8, pass == 3 ? 8 : 4);
            all.insert(all.end(), out.begin(), out.end());
        }
        return all;
    };
    rowCalls = viewCalls = 0;
    const std::vector<uint32_t> spied = render(&spy);
    EXPECT_EQ(rowCalls, 4);  // passes A, B and mixed, the whole-picture view
    EXPECT_EQ(viewCalls, 1); // the zoomed view
    EXPECT_EQ(render(nullptr), spied);
    EXPECT_EQ(rowCalls, 4);
    EXPECT_EQ(viewCalls, 1);
    ctx.sourcePixels = ctx.targetPixels = ctx.outputPixels = nullptr;
    ctx.meshA = ctx.meshB = nullptr;
}

} // namespace
