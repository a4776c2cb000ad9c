// The editor's drawing: timeline, frame marker, thumbnails, overview, edit
// view, resampling and the zoom origin, against a recording screen.
#include <gtest/gtest.h>

#include <cstdlib>

#include "editor/draw.h"
#include "effect/keys.h"
#include "engine/warp.h"
#include "tests/unit/fake_screen.h"
#include "effect/buffers.h"
#include "effect/framefields.h"
#include "tests/unit/support.h"

namespace {

// Overview at (100, 50), 200 x 160: the timeline origin is (100, 210).
const int TX = 100, TY = 210;

struct EditorDraw : CoreTest {
    FakeScreen screen;
    void SetUp() override { setUpVariant(&vxMorphVariant); }
    void TearDown() override { useVariant(); }
    void setUpVariant(const VariantDesc *variant)
    {
        useVariant(variant);
        screen = FakeScreen{};
        installFakeScreen(screen);
        ed.overviewX = 100;
        ed.overviewY = 50;
        ed.overviewWidth = 200;
        ed.overviewHeight = 160;
        ed.timelineWidth = 154;
        ed.frameWidth = 720;
        ed.frameHeight = 576;
        ed.viewScale = 200 * 2.0 / (720 / 2);
    }
    // Keys on frames, each thumbnail filled with its frame number.
    void makeKeys(std::vector<uint32_t> frames)
    {
        KeyRecord *last = nullptr;
        for (uint32_t f : frames) {
            KeyRecord *k = allocKey(ctx, f, 0);
            std::fill(std::begin(k->thumbnail), std::end(k->thumbnail), f);
            k->prev = last;
            (last ? last->next : ctx.keyList) = k;
            last = k;
        }
    }
};

TEST_F(EditorDraw, TimelineMarksKeysAtTheirFramesClampedToTheScale)
{
    const struct {
        int32_t lastFrame;
        std::vector<uint32_t> frames;
        std::vector<int> offsets;
    } cases[] = {
        {10, {0, 5, 10}, {0, 77, 154}},
        {7, {0, 3, 7}, {0, 66, 154}},
        {0, {0, 3}, {0, 0}},                     // a single frame: the left end
        {3, {0, 7, 4000000000u}, {0, 154, 154}}, // frames past the end of a rescaled file
    };
    for (const auto &c : cases) {
        setUpVariant(&vxMorphVariant);
        ctx.lastFrame = c.lastFrame;
        makeKeys(c.frames);
        drawTimeline(ed, ctx);
        ASSERT_EQ(screen.calls.size(), 1 + 2 * c.frames.size());
        const ScreenCall &fill = screen.calls[0];
        EXPECT_EQ(std::vector<int>({fill.x0, fill.y0, fill.x1, fill.y1, fill.mode}),
                  std::vector<int>({TX + 14, TY + 26, TX + 168, TY + 36, 2}));
        for (size_t i = 0; i < c.offsets.size(); ++i)
            for (int half = 0; half < 2; ++half) {
                const ScreenCall &line = screen.calls[1 + 2 * i + half];
                const int x = TX + 14 + c.offsets[i] + half;
                EXPECT_EQ(std::vector<int>({line.x0, line.y0, line.x1, line.y1}),
                          std::vector<int>({x, TY + 26, x, TY + 36}));
                EXPECT_EQ(line.colour, fakeGuiColour(0, 7));
            }
    }
}

TEST_F(EditorDraw, FrameMarkerIsAnArrowWhoseColourShowsAKey)
{
    const struct {
        int guiMode;
        int32_t frame;
        uint32_t colour;
    } cases[] = {{0, 5, fakeGuiColour(0, 14)},
                 {0, 4, fakeGuiColour(0, 13)},
                 {3, 5, fakeGuiColour(1, 13)},
                 {3, 4, fakeGuiColour(1, 3)}};
    for (const auto &c : cases) {
        setUpVariant(&vxMorphVariant);
        ed.guiMode = c.guiMode;
        ctx.lastFrame = 10;
        ctx.currentFrame = c.frame;
        makeKeys({0, 5, 10});
        drawFrameMarker(ed, ctx);
        const int x = TX + 12 + c.frame * 154 / 10, y = TY + 46;
        std::set<std::pair<int, int>> arrow;
        for (const ScreenCall &p : screen.named("pixel")) {
            arrow.insert({p.x0 - x, p.y0 - y});
            EXPECT_EQ(p.colour, c.colour);
        }
        std::set<std::pair<int, int>> expected;
        for (int row = 0; row < 6; ++row)
            for (int col = 0; col < 6; ++col)
                if (std::abs(2 * col - 5) <= 1 + 2 * (row / 2))
                    expected.insert({col, row});
        EXPECT_EQ(arrow, expected);
        EXPECT_EQ(screen.calls[0].x1, TX + 154 + 17);
    }
}

TEST_F(EditorDraw, ThumbnailSlotsShowTheKeysAroundTheCurrentFrame)
{
    const struct {
        int32_t frame;
        std::vector<int> slots; // frame shown per slot, -1 for none
    } cases[] = {{10, {5, 10, -1}}, {7, {0, 5, 10}}, {5, {0, 5, 10}}, {0, {-1, 0, 5}}};
    for (const auto &c : cases) {
        setUpVariant(&vxMorphVariant);
        ctx.lastFrame = 10;
        ctx.currentFrame = c.frame;
        makeKeys({0, 5, 10});
        drawThumbnails(ed, ctx);
        const auto rects = screen.named("rect");
        ASSERT_EQ(rects.size(), 3u);
        std::vector<int> shown(3, -1);
        for (const ScreenCall &p : screen.named("picture")) {
            const int slot = (p.x0 - TX - 34) / 42;
            EXPECT_EQ(rects[slot].x0, p.x0);
            EXPECT_EQ(std::vector<int>({p.y0, p.x1, p.y1, p.mode}),
                      std::vector<int>({TY + 64, 32, 24, 128}));
            shown[slot] = (int)p.pixels[0];
        }
        EXPECT_EQ(shown, c.slots);
    }
    setUpVariant(&vxMorphVariant);
    drawThumbnails(ed, ctx);
    EXPECT_EQ(screen.calls.size(), 3u);
    EXPECT_EQ(screen.calls[2].x1, TX + 149);
    EXPECT_EQ(screen.calls[2].colour, fakeGuiColour(0, 8));
}

TEST_F(EditorDraw, ResamplingToTheSameSizeIsExactAndZeroSizesDoNothing)
{
    std::vector<uint32_t> picture(7 * 5), copy(7 * 5, 0);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = (uint32_t)rand();
    resamplePixels(picture.data(), 7, 5, copy.data(), 7, 5);
    EXPECT_EQ(copy, picture);

    std::vector<uint32_t> untouched(4, 0xABABABABu);
    resamplePixels(picture.data(), 0, 5, untouched.data(), 2, 2);
    resamplePixels(picture.data(), 7, 5, untouched.data(), 2, 0);
    EXPECT_EQ(untouched, std::vector<uint32_t>(4, 0xABABABABu));

    // Each byte on its own; the right neighbour is clamped at the edge.
    const uint32_t two[2] = {0x00FF6400u, 0xFF00C864u};
    uint32_t four[4];
    resamplePixels(two, 2, 1, four, 4, 1);
    EXPECT_EQ(four[1], 0x7F7F9632u);
    EXPECT_EQ(four[2], two[1]);
    EXPECT_EQ(four[3], two[1]);
}

TEST_F(EditorDraw, ZoomOriginCentresTheWindowInsideTheFrame)
{
    const struct {
        int zoom, x, y, scrollX, scrollY;
    } cases[] = {
        {2, 0, 0, 0, 0},        {2, 199, 159, 2 * (180 - 45), 144 - 36},
        {1, 0, 0, 0, 0},        {1, 100, 80, 2 * (90 - 45), 72 - 36},
        {1, 199, 159, 180, 72}, {1, -50, -9, 0, 0},
        {0, 100, 80, 6, 7}, // zoom 0 keeps the scroll
    };
    for (const auto &c : cases) {
        ed.viewZoom = c.zoom;
        ed.viewScrollX = 6;
        ed.viewScrollY = 7;
        setZoomOrigin(ed, c.x, c.y);
        EXPECT_EQ(ed.zoomClickX, c.x);
        EXPECT_EQ(ed.zoomClickY, c.y);
        EXPECT_EQ(ed.viewScrollX, c.scrollX) << c.zoom << " " << c.x;
        EXPECT_EQ(ed.viewScrollY, c.scrollY) << c.zoom << " " << c.y;
    }
}

TEST_F(EditorDraw, OverviewZoomBoxFramesTheWindowOfTheEditView)
{
    // A 720 x 288 field shown 200 x 160: the window of zoom z starts at
    // source (2 scrollX, 2 scrollY) and spans W/2 or W/4 by H/2 or H/4.
    std::vector<uint32_t> preview(180 * 72, 0x80808080u);
    ed.previewPixels = preview.data();
    ed.previewWidth = 180;
    ed.previewHeight = 72;
    const struct {
        int zoom, scrollX, scrollY;
        int box[4];
    } cases[] = {{1, 10, 5, {5, 5, 104, 84}}, {2, 100, 40, {55, 44, 104, 83}}, {0, 10, 5, {}}};
    for (const auto &c : cases) {
        screen.calls.clear();
        ed.viewZoom = c.zoom;
        ed.viewScrollX = c.scrollX;
        ed.viewScrollY = c.scrollY;
        drawOverview(ed, ctx);
        const auto pictures = screen.named("picture");
        ASSERT_EQ(pictures.size(), 1u);
        EXPECT_EQ(
            std::vector<int>({pictures[0].x0, pictures[0].y0, pictures[0].x1, pictures[0].y1}),
            std::vector<int>({112, 62, 200, 160}));
        const auto boxes = screen.named("box");
        if (c.zoom == 0) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        const ScreenCall &b = boxes[0];
        EXPECT_EQ(std::vector<int>({b.x0 - 112, b.y0 - 62, b.x1 - 112, b.y1 - 62, b.mode}),
                  std::vector<int>({c.box[0], c.box[1], c.box[2], c.box[3], 18}));
        const int divisor = c.zoom == 1 ? 2 : 4;
        const double left = 2.0 * c.scrollX * 200 / 720, top = 2.0 * c.scrollY * 160 / 288;
        EXPECT_NEAR(b.x0 - 112, left, 1.0);
        EXPECT_NEAR(b.y0 - 62, top, 1.0);
        EXPECT_NEAR(b.x1 - 112 + 1, left + 200.0 / divisor, 1.0);
        EXPECT_NEAR(b.y1 - 62 + 1, top + 160.0 / divisor, 1.0);
    }
    ed.previewPixels = nullptr;
}

TEST_F(EditorDraw, EditViewShowsTheViewBlendAndRestoresTheLevelByVariant)
{
    const struct {
        const VariantDesc *variant;
        bool showsTarget;
        int32_t levelAfter;
    } cases[] = {{&vxMorphVariant, true, 7},
                 {&vxFxVariant, true, 7},
                 {&vxDrawVariant, true, 255},
                 {&vxWarpVariant, false, 7}};
    for (const auto &c : cases) {
        setUpVariant(c.variant);
        std::vector<uint32_t> source(32 * 16, 0x10203040u), target(32 * 16, 0x90A0B0C0u);
        ctx.imageWidth = 32;
        ctx.imageHeight = 16;
        ctx.gridCols = 8;
        ctx.gridRows = 8;
        ASSERT_EQ(prepareMeshes(ctx, nullptr), 0);
        ctx.sourcePixels = source.data();
        ctx.targetPixels = target.data();
        ed.editBoxX = 300;
        ed.editBoxY = 40;
        ed.rowHeight = 16;
        ed.editViewWidth = 24;
        ed.editViewHeight = 12;
        ed.viewBlend = 255;
        ctx.dissolveLevel = 7;
        drawEditView(ed, ctx);
        const auto pictures = screen.named("picture");
        ASSERT_EQ(pictures.size(), 1u);
        const ScreenCall &p = pictures[0];
        EXPECT_EQ(std::vector<int>({p.x0, p.y0, p.x1, p.y1, p.mode}),
                  std::vector<int>({312, 76, 24, 12, 96}));
        EXPECT_EQ(p.pixels, std::vector<uint32_t>(24 * 12, c.showsTarget ? target[0] : source[0]))
            << c.variant->name;
        EXPECT_EQ(ctx.dissolveLevel, c.levelAfter) << c.variant->name;
        ctx.sourcePixels = ctx.targetPixels = nullptr;
    }
}

} // namespace
