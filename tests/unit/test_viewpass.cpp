// Edit-view passes and the thumbnail pass, against reference passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/simd.h"
#include "engine/viewpass.h"
#include "engine/warp.h"
#include "engine/warplevel.h"
#include "tests/reference/view_reference.h"
#include "effect/buffers.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "tests/unit/support.h"

namespace {

using namespace ref;

const uint32_t SENTINEL = 0xDEADBEEFu;

struct ViewPass : CoreTest {
    int w = 0, h = 0;
    std::vector<uint32_t> source, target, output;
    std::vector<MeshNode> mesh;

    void TearDown() override { release(&vxMorphVariant); }
    // The pictures and the mesh belong to the test, not to the context.
    void release(const VariantDesc *variant)
    {
        ctx.sourcePixels = ctx.targetPixels = ctx.outputPixels = nullptr;
        ctx.meshA = nullptr;
        useVariant(variant);
    }
    // Noise pictures (never the sentinel) and a wavy mesh; outputPixels holds
    // (H/2) x (W/2) pixels and 64 that must stay untouched.
    void picture(const VariantDesc *variant, int width, int height)
    {
        release(variant);
        w = ctx.workWidth = width, h = ctx.workHeight = height;
        ctx.meshCols = w / 4, ctx.meshRows = h / 2;
        uint32_t seed = 99;
        source.resize((size_t)w * h), target.resize((size_t)w * h);
        for (uint32_t &p : source)
            p = (seed = seed * 1664525u + 1013904223u) >> 1;
        for (uint32_t &p : target)
            p = (seed = seed * 1664525u + 1013904223u) >> 1;
        mesh.resize((size_t)(w / 4) * (h / 2));
        for (size_t n = 0; n < mesh.size(); ++n)
            mesh[n] = {1.7f * std::sin(0.31f * (n % (w / 4)) + 0.2f * (n / (w / 4))),
                       1.3f * std::cos(0.23f * (n / (w / 4)))};
        output.assign((size_t)(h / 2) * (w / 2) + 64, SENTINEL);
        ctx.sourcePixels = source.data(), ctx.targetPixels = target.data();
        ctx.outputPixels = output.data(), ctx.outputCapacity = output.size() - 64;
        ctx.meshA = mesh.data(), ctx.meshCapacity = mesh.size();
    }
    std::vector<uint32_t> written(size_t count) const
    {
        return std::vector<uint32_t>(output.begin(), output.begin() + (long)count);
    }
    size_t untouched(size_t from) const
    {
        return (size_t)std::count(output.begin() + (long)from, output.end(), SENTINEL);
    }
};

// The window example: with scroll 10/5 at zoom 1, pixel (0, 0) shows source
// (20, 10) moved by the mesh at (5, 5), pixel (1, 0) source (21, 10) moved by
// the mesh at (5.25, 5).
TEST_F(ViewPass, ZoomOneWindowExample)
{
    picture(&vxWarpVariant, 64, 32);
    ed.viewScrollX = 10, ed.viewScrollY = 5;
    runViewPass(ed, ctx, 1, 16, 8);
    const MeshNode d0 = refMeshAt(mesh, 16, 16, 5.0f, 5.0f),
                   d1 = refMeshAt(mesh, 16, 16, 5.25f, 5.0f);
    EXPECT_EQ(output[0], refSample(source, w, h, 4.0f * d0.dx + 20.0f, 2.0f * d0.dy + 10.0f));
    EXPECT_EQ(output[1], refSample(source, w, h, 4.0f * d1.dx + 21.0f, 2.0f * d1.dy + 10.0f));
    std::fill(mesh.begin(), mesh.end(), MeshNode{0, -0.0f});
    runViewPass(ed, ctx, 1, 16, 8);
    EXPECT_EQ(output[0], source[20 + w * 10]);
    EXPECT_EQ(output[1], source[21 + w * 10]);
}

// Whole pictures of every variant at every zoom, also for sizes where
// W/4 * 2 != W/2, against the references; nothing is written past the
// picture of the zoom.
TEST_F(ViewPass, EveryVariantAndZoomMatchesReference)
{
    const VariantDesc *variants[] = {&vxMorphVariant, &vxDrawVariant, &vxFxVariant, &vxWarpVariant};
    const struct {
        int w, h, scrollX, scrollY, level;
    } sizes[] = {{64, 32, 10, 5, 77}, {94, 46, 3, 2, 200}, {22, 14, 1, 1, 128}};
    for (const VariantDesc *variant : variants)
        for (const auto &s : sizes)
            for (int zoom = 0; zoom <= 2; ++zoom) {
                picture(variant, s.w, s.h);
                ed.viewScrollX = s.scrollX, ed.viewScrollY = s.scrollY;
                ctx.dissolveLevel = s.level;
                const int a = zoom == 0 ? w / 2 : (zoom == 1 ? w / 4 : w / 8);
                const int b = zoom == 0 ? h / 2 : (zoom == 1 ? h / 4 : h / 8);
                const int ow = zoom == 2 ? w / 4 : w / 2, oh = zoom == 2 ? h / 4 : h / 2;
                const std::vector<uint32_t> &pic =
                    variant->viewMixed ? refMix(source, target, s.level) : source;
                const std::vector<uint32_t> *overlay = variant->viewOverlay ? &target : nullptr;
                std::vector<uint32_t> expected;
                if (zoom == 0) {
                    expected = refPass(pic, w, h, mesh, ow, oh);
                    if (overlay)
                        expected = refOverlay(expected, target, w, h, ow, oh, s.level);
                } else {
                    expected = refWindowPass(pic, w, h, mesh, zoom, a, b, s.scrollX, s.scrollY,
                                             overlay, s.level);
                }
                // The scalar reference loop and the best vectorised one.
                for (const SimdLevel level : {SIMD_SCALAR, bestSimdLevel()}) {
                    ctx.simd = &warpLevelOf(level);
                    runViewPass(ed, ctx, zoom, a, b);
                    const size_t count = (size_t)ow * oh;
                    EXPECT_EQ(written(count), expected)
                        << variant->name << " " << w << "x" << h << " zoom " << zoom << " "
                        << simdLevelName(level);
                    EXPECT_EQ(untouched(count), output.size() - count)
                        << variant->name << " zoom " << zoom;
                }
            }
}

// At L = 0 the overlay leaves the deformed source; at L = 255 the view is
// the undeformed target alone.
TEST_F(ViewPass, OverlayEnds)
{
    for (int zoom : {0, 1}) {
        picture(&vxWarpVariant, 64, 32);
        ed.viewScrollX = 6, ed.viewScrollY = 3;
        runViewPass(ed, ctx, zoom, zoom ? 16 : 32, zoom ? 8 : 16);
        const std::vector<uint32_t> plain = written(32 * 16);
        picture(&vxMorphVariant, 64, 32);
        ed.viewScrollX = 6, ed.viewScrollY = 3;
        runViewPass(ed, ctx, zoom, zoom ? 16 : 32, zoom ? 8 : 16);
        EXPECT_EQ(written(32 * 16), plain) << zoom;
        ctx.dissolveLevel = 255;
        runViewPass(ed, ctx, zoom, zoom ? 16 : 32, zoom ? 8 : 16);
        for (int n = 0; n < 32 * 16; ++n)
            ASSERT_EQ(output[n], zoom ? target[12 + n % 32 + w * (6 + n / 32)]
                                      : target[2 * (n % 32) + w * 2 * (n / 32)])
                << zoom << ": " << n;
    }
}

// The thumbnail shows the deformed source alone, also in FX; undeformed it
// copies source pixel (trunc(x * (W/32)), trunc(y * (H/24))) with float
// steps: at H = 200, thumbnail row 15 shows line 124 (15 * 8.333333), not 125.
TEST_F(ViewPass, ThumbnailOfSourceAlone)
{
    picture(&vxFxVariant, 72, 200);
    ctx.dissolveLevel = 150;
    std::vector<uint32_t> thumb(32 * 24 + 8, SENTINEL);
    thumbnailPass(ctx, thumb.data());
    EXPECT_EQ(std::vector<uint32_t>(thumb.begin(), thumb.begin() + 32 * 24),
              refPass(source, w, h, mesh, 32, 24));
    EXPECT_EQ(thumb[32 * 24], SENTINEL);
    std::fill(mesh.begin(), mesh.end(), MeshNode{0, 0});
    thumbnailPass(ctx, thumb.data());
    const float colStep = 72.0f / 32.0f, rowStep = 200.0f / 24.0f;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(thumb[x + 32 * y],
                      source[(int)((float)x * colStep) + w * (int)((float)y * rowStep)]);
    EXPECT_EQ(thumb[32 * 15], source[w * 124]);
}

// Nothing is drawn without room or pictures; a mesh smaller than the
// geometry displaces nothing.
TEST_F(ViewPass, Guards)
{
    picture(&vxMorphVariant, 64, 32);
    runViewPass(ed, ctx, 0, 64, 32); // more than outputPixels holds
    runViewPass(ed, ctx, 3, 16, 8);
    picture(&vxFxVariant, 64, 32);
    ctx.targetPixels = nullptr;
    runViewPass(ed, ctx, 1, 16, 8);
    runViewPass(ed, ctx, 0, 32, 16);
    EXPECT_EQ(untouched(0), output.size());
    picture(&vxWarpVariant, 64, 32);
    ctx.meshCapacity = mesh.size() - 1;
    ed.viewScrollX = 4, ed.viewScrollY = 2;
    runViewPass(ed, ctx, 2, 8, 4);
    for (int n = 0; n < 16 * 8; ++n)
        ASSERT_EQ(output[n], source[8 + n % 16 + w * (4 + n / 16)]) << n;
}

} // namespace
