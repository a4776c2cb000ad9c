// A render nested in the editor's preview works on the editor's effect and
// buffers, and never writes past the editor's smaller output picture.
#include <gtest/gtest.h>

#include <vector>

#include "effect/keys.h"
#include "operator/frame/dispatch.h"
#include "platform/services.h"
#include "tests/unit/support.h"

namespace {

const int kW = 16, kH = 8;

struct PreviewHost {
    HostImage images[2];
    std::vector<uint32_t> pixels[2];
    std::vector<uint32_t> delivered;
    int fetched = 0, returned = 0;
};
PreviewHost preview;

HostImage *previewField(void *, int input, uint32_t)
{
    ++preview.fetched;
    return &preview.images[input];
}

int previewPut(void *, HostImage *image)
{
    ++preview.returned;
    preview.delivered.assign(image->pixels, image->pixels + kW * kH);
    return 0;
}

void previewFree(void *, HostImage *)
{
    ++preview.returned;
}

using PreviewRender = CoreTest;

TEST_F(PreviewRender, RendersIntoItsOwnBufferAndLeavesTheEditorsAlone)
{
    useVariant();
    preview = PreviewHost{};
    for (int input = 0; input < 2; ++input) {
        preview.pixels[input].resize(kW * kH);
        for (int i = 0; i < kW * kH; ++i)
            preview.pixels[input][i] = 0x01010101u * (uint32_t)(i + 100 * input);
        preview.images[input] = {preview.pixels[input].data(), kW, 0, 0, 0, kW, kH};
    }
    VxHostServices s = *vxHostServices();
    s.getField = previewField;
    s.putField = previewPut;
    s.freeImage = previewFree;
    vxInstallHostServices(&s);

    // The editor's state: effect at the field size, engine buffers at a quarter.
    ctx.imageWidth = kW;
    ctx.imageHeight = kH;
    ctx.gridCols = kW / 4;
    ctx.gridRows = kH / 2;
    ctx.lastFrame = 9;
    ASSERT_EQ(createFirstKey(ctx), 0);
    ASSERT_EQ(createLastKey(ctx), 0);
    const size_t small = (size_t)(kW / 2) * (kH / 2);
    std::vector<uint32_t> editorOutput(small, 0xA5A5A5A5u);
    std::vector<MeshNode> meshA(small), meshB(small);
    ctx.outputPixels = editorOutput.data();
    ctx.outputCapacity = small;
    ctx.meshA = meshA.data();
    ctx.meshB = meshB.data();
    ctx.meshCapacity = small;
    ctx.meshCols = kW / 4;
    ctx.meshRows = kH / 2;
    KeyRecord *keys = ctx.keyList;
    ctx.editorActive = 1;

    ActionRecord setup = {ACTION_SETUP, 0, {0, 0, 0, 0}, 20, 0, 1};
    ActionRecord render = {ACTION_RENDER, 0, {0, 0, 0, 0}, 20, 0, 1};
    ActionRecord teardown = {ACTION_TEARDOWN, 0, {0, 0, 0, 0}, 20, 0, 1};
    EXPECT_EQ(dispatchAction(*ctx.variant, &instance, &setup), 0);
    EXPECT_EQ(dispatchAction(*ctx.variant, &instance, &render), 0);
    EXPECT_EQ(dispatchAction(*ctx.variant, &instance, &teardown), 0);

    // Frame 0 of the default effect: input 0 unchanged.
    EXPECT_EQ(preview.delivered, preview.pixels[0]);
    EXPECT_EQ(preview.fetched, 2);
    EXPECT_EQ(preview.returned, 2);
    for (uint32_t p : editorOutput)
        EXPECT_EQ(p, 0xA5A5A5A5u);
    EXPECT_EQ(ctx.keyList, keys);
    EXPECT_EQ(ctx.outputPixels, editorOutput.data());
    EXPECT_EQ(ctx.imageWidth, kW);
    EXPECT_TRUE(takeJournal().empty());

    ctx.editorActive = 0;
    ctx.outputPixels = nullptr;
    ctx.meshA = ctx.meshB = nullptr;
    useVariant();
}

} // namespace
