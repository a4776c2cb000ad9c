// The current frame's fields, the frame refresh and the precalculation of
// an effect for the editor, against a recording host.
#include <gtest/gtest.h>

#include "editor/draw.h"
#include "effect/effectfile.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "effect/precalc.h"
#include "engine/warp.h"
#include "tests/unit/fake_screen.h"
#include "effect/buffers.h"
#include "effect/framefields.h"
#include "tests/unit/support.h"

namespace {

const int W = 16, H = 8;

struct EditorFrame : CoreTest {
    FakeScreen screen;
    std::vector<uint32_t> bufferA, bufferB;
    void SetUp() override { setUpVariant(&vxMorphVariant); }
    void TearDown() override
    {
        ed.fields.a = ed.fields.b = nullptr;
        useVariant();
    }
    void setUpVariant(const VariantDesc *variant)
    {
        ed.fields.a = ed.fields.b = nullptr;
        useVariant(variant);
        screen = FakeScreen{};
        screen.fieldWidth = W;
        screen.fieldHeight = H;
        installFakeScreen(screen);
        bufferA.assign(W * H, 0x55555555u);
        bufferB.assign(W * H, 0x66666666u);
        ed.fields.a = bufferA.data();
        ed.fields.b = variant->inputCount == 2 ? bufferB.data() : nullptr;
        ed.fields.capacity = W * H;
        ctx.imageWidth = W;
        ctx.imageHeight = H;
        ctx.lastFrame = 9;
        snprintf(ctx.effectPathBuffer, sizeof ctx.effectPathBuffer, "%s/effect.vfx",
                 scratchDir("frame").c_str());
        ctx.effectPath = ctx.effectPathBuffer;
    }
    std::vector<uint32_t> field(int input, uint32_t frame)
    {
        std::vector<uint32_t> f(W * H);
        for (int i = 0; i < W * H; ++i)
            f[i] = fieldValue(input, frame, i);
        return f;
    }
    // The thumbnail the variant's passes make from the frame's pictures
    // through zero meshes at the level.
    std::vector<uint32_t> thumbnailOf(uint32_t frame, int32_t level)
    {
        std::vector<uint32_t> a = field(0, frame), b = field(1, frame),
                              out(THUMB_WIDTH * THUMB_HEIGHT);
        uint32_t *savedA = ctx.sourcePixels, *savedB = ctx.targetPixels;
        const int32_t savedLevel = ctx.dissolveLevel;
        ctx.sourcePixels = a.data();
        ctx.targetPixels = b.data();
        ctx.dissolveLevel = level;
        renderPasses(ctx, ctx.dissolveLevel, {out.data(), THUMB_WIDTH, THUMB_HEIGHT, out.size()});
        ctx.sourcePixels = savedA;
        ctx.targetPixels = savedB;
        ctx.dissolveLevel = savedLevel;
        return out;
    }
    std::vector<uint32_t> thumbnail(const KeyRecord *k)
    {
        return std::vector<uint32_t>(std::begin(k->thumbnail), std::end(k->thumbnail));
    }
};

TEST_F(EditorFrame, FetchCopiesBothFieldsOrFailsLeavingTheBuffers)
{
    const struct {
        const VariantDesc *variant;
        int width;    // of the fields the host gives
        bool missing; // frame 3 cannot be delivered
        int result;
    } cases[] = {{&vxMorphVariant, W, false, 0},
                 {&vxWarpVariant, W, false, 0},
                 {&vxMorphVariant, W, true, -1},
                 {&vxMorphVariant, W + 4, false, -1}, // more than the buffers hold
                 {&vxFxVariant, W - 4, false, -1}};
    for (const auto &c : cases) {
        setUpVariant(c.variant);
        screen.fieldWidth = c.width;
        if (c.missing)
            screen.missingFrames.insert(3);
        ctx.currentFrame = 3;
        EXPECT_EQ(fetchFrameFields(ctx, ed.fields), c.result);
        EXPECT_EQ(screen.liveImages, 0);
        EXPECT_EQ(ctx.imageWidth, W);
        EXPECT_EQ(takeJournal().size(), c.result ? 1u : 0u);
        if (c.result) {
            EXPECT_EQ(bufferA, std::vector<uint32_t>(W * H, 0x55555555u));
            EXPECT_EQ(bufferB, std::vector<uint32_t>(W * H, 0x66666666u));
            continue;
        }
        EXPECT_EQ(bufferA, field(0, 3));
        EXPECT_EQ(ctx.sourcePixels, bufferA.data());
        EXPECT_EQ(bufferB, c.variant->inputCount == 2 ? field(1, 3)
                                                      : std::vector<uint32_t>(W * H, 0x66666666u));
    }
}

TEST_F(EditorFrame, RefreshInterpolatesTheNewFrameEvenWhenItsFieldsAreMissing)
{
    ASSERT_EQ(prepareEffect(ctx, ed.fields), 0);
    for (int i = 0; i < W / 4 * H / 2; ++i)
        ctx.keyList->next->grid[i] = {2.0f, -1.0f};
    ed.previewWidth = W / 4, ed.previewHeight = H / 4; // as the editor sizes it
    std::vector<uint32_t> preview((size_t)ed.previewWidth * ed.previewHeight);
    ed.previewPixels = preview.data();
    ed.overviewWidth = ed.editViewWidth = 8;
    ed.overviewHeight = ed.editViewHeight = 4;
    screen.missingFrames.insert(3);
    ctx.currentFrame = 3;
    screen.calls.clear();
    EXPECT_EQ(refreshFrame(ed, ctx), -1);
    EXPECT_TRUE(screen.calls.empty());
    EXPECT_FLOAT_EQ(ctx.meshA[5].dx, 2.0f * 3 / 9);
    EXPECT_FLOAT_EQ(ctx.meshB[5].dy, 1.0f * 6 / 9);
    EXPECT_EQ(ctx.dissolveLevel, 255 * 3 / 9);

    ctx.currentFrame = 4;
    EXPECT_EQ(refreshFrame(ed, ctx), 0);
    EXPECT_FLOAT_EQ(ctx.meshA[5].dx, 2.0f * 4 / 9);
    EXPECT_EQ(screen.named("picture").size(), 2u); // overview and edit view
    ed.previewPixels = nullptr;
}

TEST_F(EditorFrame, NewEffectRendersBothThumbnailsFromTheirFramesUnderATwoStepMeter)
{
    for (const VariantDesc *variant :
         {&vxMorphVariant, &vxDrawVariant, &vxFxVariant, &vxWarpVariant}) {
        setUpVariant(variant);
        ASSERT_EQ(prepareEffect(ctx, ed.fields), 0);
        EXPECT_EQ(screen.meter, std::vector<std::string>({"open 2", "update 3 1", "close"}));
        EXPECT_EQ(ctx.meterRecord.flags, 6u);
        const KeyRecord *first = ctx.keyList, *last = first->next;
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->frame, 9u);
        EXPECT_EQ(thumbnail(last), thumbnailOf(9, 255)) << variant->name;
        EXPECT_EQ(thumbnail(first), thumbnailOf(0, 0)) << variant->name;
        EXPECT_EQ(ctx.currentFrame, 0);
        EXPECT_EQ(bufferA, field(0, 0));
        for (size_t i = 0; i < ctx.meshCapacity; ++i)
            EXPECT_EQ(floatBits(ctx.meshBase[i].dx) | floatBits(ctx.meshBase[i].dy), 0u);
    }
}

TEST_F(EditorFrame, FiveKeyFileRendersEachThumbnailFromItsOwnFrame)
{
    const uint32_t frames[5] = {0, 2, 4, 6, 9};
    const int32_t levels[5] = {0, 40, 80, 120, 255};
    for (const VariantDesc *variant : {&vxMorphVariant, &vxFxVariant}) {
        setUpVariant(variant);
        ctx.gridCols = W / 4;
        ctx.gridRows = H / 2;
        KeyRecord *tail = nullptr;
        for (int i = 0; i < 5; ++i) {
            KeyRecord *k = allocKey(ctx, frames[i], levels[i]);
            k->prev = tail;
            (tail ? tail->next : ctx.keyList) = k;
            tail = k;
        }
        saveEffect(ctx);
        freeKeys(ctx);
        ASSERT_EQ(prepareEffect(ctx, ed.fields), 0);
        EXPECT_EQ(screen.meter,
                  std::vector<std::string>({"open 5", "update 3 1", "update 3 2", "update 3 3",
                                            "update 3 4", "update 3 5", "close"}));
        int i = 0;
        for (const KeyRecord *k = ctx.keyList; k; k = k->next, ++i)
            EXPECT_EQ(thumbnail(k), thumbnailOf(frames[i], levels[i]))
                << variant->name << " key " << i;
        EXPECT_EQ(i, 5);
        EXPECT_EQ(ctx.currentFrame, 0);
        EXPECT_EQ(bufferB, field(1, 0));
    }
}

TEST_F(EditorFrame, PreparationFailsWithoutMemoryAndNeverLeavesTheMeterOpen)
{
    // An intact file read short of memory is a failure, not a new effect.
    ctx.gridCols = W / 4;
    ctx.gridRows = H / 2;
    ASSERT_EQ(createFirstKey(ctx), 0);
    ASSERT_EQ(createLastKey(ctx), 0);
    saveEffect(ctx);
    freeKeys(ctx);
    failAllocationAfter(2);
    EXPECT_EQ(prepareEffect(ctx, ed.fields), -1);
    EXPECT_TRUE(screen.meter.empty());
    EXPECT_EQ(ctx.keyList, nullptr);

    // The engine cannot be set up for a new effect: the meter is closed.
    setUpVariant(&vxMorphVariant);
    failAllocationAfter(4);
    EXPECT_EQ(prepareEffect(ctx, ed.fields), -1);
    EXPECT_EQ(screen.meter, std::vector<std::string>({"open 2", "close"}));
    failAllocationAfter(-1);
}

} // namespace
