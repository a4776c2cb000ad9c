// The stand-in screen through the host GUI libraries: clipping, corners,
// the YUVA overlay, text, palettes, panels, the meter and the resources.
// The gallery test leaves pictures in $VXHOME/screens for a person to see.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "host/cli/script.h"
#include "host/core/pixels.h"
#include "host/io/png.h"
#include "host/gui/gui.h"
#include "host/gui/window.h"
#include "operator/host/vxgui.h"
#include "operator/host/vxlist.h"
#include "operator/host/vxreq.h"
#include "operator/host/vxres.h"

namespace {

struct ScreenTest : ::testing::Test {
    vxh::GuiHost host;
    void SetUp() override
    {
        host.screen.meterOnStderr = false;
        vxh::initScreen(host.screen, 100, 80);
        vxh::installGuiHost(&host);
    }
    void TearDown() override { vxh::installHost(nullptr); }
    // Paints the screen black, then the drawing colour white.
    void blank()
    {
        vgSetColorYUV(0, vxh::packYuva(16, 128, 128, 255));
        vgRectFill(0, 0, 0, 99, 79);
        vgSetColorYUV(0, vxh::packYuva(235, 128, 128, 255));
    }
    // Pixels that are not black, and their bounding box.
    int lit(int box[4]) const
    {
        int n = 0;
        box[0] = box[1] = 1 << 20, box[2] = box[3] = -1;
        for (int y = 0; y < host.screen.height; ++y)
            for (int x = 0; x < host.screen.width; ++x)
                if (vxh::pixelRgb(host.screen, x, y)) {
                    ++n;
                    box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
                    box[2] = std::max(box[2], x), box[3] = std::max(box[3], y);
                }
        return n;
    }
};

std::string screensDir()
{
    const char *home = getenv("VXHOME");
    std::string dir = std::string(home ? home : "/tmp") + "/screens";
    std::filesystem::create_directories(dir);
    return dir;
}

TEST_F(ScreenTest, DrawingClipsAndTakesInclusiveCorners)
{
    static const uint32_t picture[6] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    struct Case {
        const char *what;
        void (*draw)();
        int count, x0, y0, x1, y1;
    } cases[] = {
        {"rect", [] { vgRectFill(0, 10, 10, 12, 11); }, 6, 10, 10, 12, 11},
        {"rect reversed", [] { vgRectFill(0, 12, 11, 10, 10); }, 6, 10, 10, 12, 11},
        {"rect off the left top", [] { vgRectFill(0, -5, -5, 2, 2); }, 9, 0, 0, 2, 2},
        {"rect off the right bottom", [] { vgRectFill(0, 98, 78, 120, 90); }, 4, 98, 78, 99, 79},
        {"rect wholly outside", [] { vgRectFill(0, -9, 5, -1, 9); }, 0, 0, 0, 0, 0},
        {"line", [] { vgLine(0, 0, 0, 4, 0); }, 5, 0, 0, 4, 0},
        {"line from off screen", [] { vgLine(0, -10, 5, 10, 5); }, 11, 0, 5, 10, 5},
        {"diagonal", [] { vgLine(0, 3, 3, 7, 7); }, 5, 3, 3, 7, 7},
        {"very long line", [] { vgLine(0, -2000000000, 9, 2000000000, 9); }, 100, 0, 9, 99, 9},
        {"box", [] { vgDrawBox(0, 10, 10, 13, 12, 18); }, 10, 10, 10, 13, 12},
        {"pixel off screen", [] { vgSetPixel(0, -1, 0); }, 0, 0, 0, 0, 0},
        {"pixel at the corner", [] { vgSetPixel(0, 99, 79); }, 1, 99, 79, 99, 79},
        {"picture half off", [] { vgmxYUVAtoOvl(picture, 0, 12, -1, -1, 3, 2); }, 2, 0, 0, 1, 0},
        {"picture rows apart", [] { vgmxYUVAtoOvl(picture, 0, 8, 50, 50, 1, 3); }, 3, 50, 50, 50,
         52},
        {"background", [] { vgDrawBackground(97, 0, 120, 0); }, 3, 97, 0, 99, 0},
        {"panel", [] { vgCreatePanel(0, 90, 70, 20, 20, 0x40, 0, 0); }, 100, 90, 70, 99, 79},
        {"frame", [] { vgCreatePanel(0, -4, 0, 8, 6, 0x400, 0, 0); }, 1, 0, 0, 3, 5},
    };
    for (const Case &c : cases) {
        blank();
        c.draw();
        int box[4];
        int n = lit(box);
        if (std::string(c.what) == "frame") {
            // A sunken frame: its bevel is lit, its inside black.
            EXPECT_GT(n, 0);
            EXPECT_EQ(box[2], 3) << c.what;
            continue;
        }
        EXPECT_EQ(n, c.count) << c.what;
        if (n) {
            EXPECT_EQ((std::vector<int>{box[0], box[1], box[2], box[3]}),
                      (std::vector<int>{c.x0, c.y0, c.x1, c.y1}))
                << c.what;
        }
    }
}

TEST(Screen, WithoutPixelsNothingIsDrawn)
{
    vxh::Screen bare; // sized but not yet allocated
    vxh::fillRect(bare, 0, 0, 10, 10);
    vxh::drawText(bare, "text", 0, 0, 0, 0, 100, 100);
    VxGadgetInfo info{};
    info.kind = VG_GADGET_SLIDER, info.w = 50, info.h = 20, info.maximum = 9;
    EXPECT_GT(vxh::addGadget(bare, info), 0);
    std::string err;
    EXPECT_FALSE(vxh::saveScreen(bare, "/tmp/never.png", err));
    EXPECT_FALSE(vxh::initScreen(bare, 63, 100));
}

TEST_F(ScreenTest, OverlayConvertsStudioRangeYuva)
{
    struct Case {
        uint8_t y, u, v, a;
        uint32_t rgb;
    } cases[] = {
        {16, 128, 128, 255, 0x000000}, {235, 128, 128, 0, 0xFFFFFF},
        {126, 128, 128, 7, 0x808080},  {81, 90, 240, 255, 0xFE0000},
        {145, 54, 34, 255, 0x00FF01},  {41, 240, 110, 255, 0x0000FF},
        {0, 0, 0, 255, 0x008800},      {255, 255, 255, 255, 0xFF7DFF},
    };
    for (const Case &c : cases) {
        uint32_t p = vxh::packYuva(c.y, c.u, c.v, c.a);
        vgmxYUVAtoOvl(&p, 0, 4, 5, 6, 1, 1);
        EXPECT_EQ(vxh::pixelRgb(host.screen, 5, 6), c.rgb) << int(c.y) << "," << int(c.u);
    }
}

TEST_F(ScreenTest, TextIsDrawnInsideItsBoxOnly)
{
    ASSERT_TRUE(vxh::fontAvailable());
    blank();
    vgBoxText(0, "Wide text that does not fit", 10, 20, 40, 19, 0x10);
    int box[4];
    EXPECT_GT(lit(box), 20);
    EXPECT_GE(box[0], 10);
    EXPECT_LE(box[2], 49);
    EXPECT_GE(box[1], 20);
    EXPECT_LE(box[3], 38);
    EXPECT_GT(vxh::textWidth("Wide text"), vxh::textWidth("Wide"));
    EXPECT_EQ(vxh::textWidth("a\nbbbb"), vxh::textWidth("bbbb"));
}

TEST_F(ScreenTest, PalettesDifferByModeAndTellTheMarkerColoursApart)
{
    for (int n : {0, 1, 2, 7, 8, 9, 10, 13, 14})
        EXPECT_NE(vgGetGuiColorYUV(n), vgGetNewGuiColorYUV(n)) << n;
    for (int n : {0, 7, 8, 9, 13, 14, 18, 1001, 500})
        EXPECT_EQ(vgGetNewGuiColorYUV(n) >> 24, 255u) << n;
    EXPECT_NE(vgGetGuiColorYUV(13), vgGetGuiColorYUV(14)); // marker off and on a key
    EXPECT_NE(vgGetNewGuiColorYUV(3), vgGetNewGuiColorYUV(13));
    EXPECT_NE(vgGetNewGuiColorYUV(1001), vgGetNewGuiColorYUV(2)); // titles on panels
    host.screen.guiMode = 0;
    EXPECT_EQ(vgGetGuiMode(), 0);
    EXPECT_EQ(vgGetScreenWidth(), 100);
    EXPECT_EQ(vgGetFontHeightMonitor(vgGetDefaultMonitor()) + vgGetAddHeight(), 19);
}

TEST_F(ScreenTest, MeterDrawsAndRestoresTheScreen)
{
    vxh::initScreen(host.screen, 400, 300);
    std::vector<uint8_t> before = host.screen.rgb;
    MeterRecord meter{};
    meter.title = "Preparing";
    meter.steps = 2;
    vreqOpenMeter(&meter);
    std::vector<uint8_t> open = host.screen.rgb;
    vreqUpdateMeter(&meter, 3, 1);
    EXPECT_NE(host.screen.rgb, open); // the bar grew
    vreqCloseMeter(&meter);
    EXPECT_EQ(host.screen.rgb, before);
    EXPECT_EQ(host.host.requests, (std::vector<std::string>{"meter:open", "meter:close"}));
}

TEST_F(ScreenTest, ResourcesHoldEveryTextAndImage)
{
    void *strings = resLoadStrings("vorlux_ops");
    ASSERT_NE(strings, nullptr);
    std::vector<int> ids = {110, 200, 400, 401, 403, 404, 405, 407, 408};
    for (int id = 220; id <= 226; ++id)
        ids.push_back(id);
    for (int id : {300, 310, 500})
        for (int k = 0; k < (id == 310 ? 18 : 8); ++k)
            ids.push_back(id + k);
    for (int id = 509; id <= 512; ++id)
        ids.push_back(id);
    for (int id : ids)
        EXPECT_STRNE(resGetString(strings, id), "") << id;
    for (int id = 509; id <= 512; ++id) {
        std::string text = resGetString(strings, id);
        int percents = 0;
        for (size_t i = 0; (i = text.find('%', i)) != std::string::npos; ++i, ++percents)
            EXPECT_EQ(text.compare(i, 2, "%d"), 0) << id;
        EXPECT_EQ(percents, 2) << id;
    }
    EXPECT_EQ(vxResStringId(resGetString(strings, 405)), 405);
    EXPECT_STREQ(resGetString(strings, 9999), "");
    resFreeStrings(strings);
    EXPECT_STREQ(resGetString(strings, 110), ""); // a freed table is no table

    const int gadgetH = vgGetFontHeightMonitor(0) + vgGetAddHeight() + 4;
    void *images = resLoadImages("vorlux_ops");
    ASSERT_NE(images, nullptr);
    struct Want {
        void *table;
        int id, maxW, maxH;
    } wants[] = {{images, 200, 32, gadgetH},
                 {images, 203, 32, gadgetH},
                 {images, 209, 32, gadgetH},
                 {images, 210, 32, gadgetH},
                 {images, 211, 32, gadgetH},
                 {images, 213, 32, gadgetH},
                 {images, 214, 40, gadgetH},
                 {images, 215, 40, gadgetH},
                 {images, 216, 32, gadgetH},
                 {images, 218, 32, gadgetH},
                 {images, 302, 60, 80},
                 {images, 303, 60, 80},
                 {vgGetGuiResource(45, 0, 0), 45, 20, 32},
                 {vgGetGuiResource(46, 0, 0), 46, 20, 32},
                 {vgGetGuiResource(50, 0, 0), 50, 32, gadgetH},
                 {vgGetGuiResource(51, 0, 0), 51, 32, gadgetH}};
    for (const Want &w : wants) {
        auto *image = static_cast<const VxResImage *>(resGetImage(w.table, w.id));
        ASSERT_NE(image, nullptr) << w.id;
        EXPECT_EQ(image->id, w.id);
        EXPECT_GT(image->width, 0);
        EXPECT_LE(image->width, w.maxW) << w.id;
        EXPECT_LE(image->height, w.maxH) << w.id;
    }
    EXPECT_EQ(resGetImage(images, 1), nullptr);
    void *logo = resGetImage(images, 302);
    EXPECT_EQ(vxResImageLive(logo), 1);
    resFreeImages(images);
    EXPECT_EQ(vxResImageLive(logo), 0); // a freed image is never drawn
    EXPECT_EQ(resLoadStrings("no_such_table"), nullptr);
    EXPECT_EQ(resLoadStrings("../platform/vorlux_ops"), nullptr);
}

// Gadgets and panels of every kind in both palettes, for a person to look
// at: $VXHOME/screens/gallery-classic.png and gallery-new.png.
TEST_F(ScreenTest, GalleryPictures)
{
    for (int mode : {0, 3}) {
        host.screen.guiMode = mode;
        vxh::initScreen(host.screen, 640, 400);
        void *strings = resLoadStrings("vorlux_ops");
        void *images = resLoadImages("vorlux_ops");
        const uint32_t request = 0;
        const int pal = mode == 3;
        auto colour = [&](int n) { return pal ? vgGetNewGuiColorYUV(n) : vgGetGuiColorYUV(n); };
        vgCreatePanel(request, 10, 30, 300, 200, 0x40, 0, 0);
        vgCreatePanel(request, 320, 30, 310, 200, 0x40, 0, 0);
        vgSetColorYUV(request, pal ? vgGetNewGuiColorYUV(1001) : colour(12));
        vgBoxText(request, resGetString(strings, 502), 14, 30 - 19, 200, 23, 0x51);
        vgBoxText(request, resGetString(strings, 504), 324, 30 - 19, 200, 23, 0x51);
        GadgetExtension *sizes = vgAllocGadExt();
        sizes->group = 100;
        for (int k = 0; k < 4; ++k)
            vgAddImageButton(request, 18 + 34 * k, 40, 32, 23, resGetImage(images, 200 + k),
                             0x20000 | (k == 1), sizes);
        ListHeader list;
        ListNode nodes[8] = {};
        listInitHeader(&list);
        for (int k = 0; k < 8; ++k) {
            nodes[k].kind = 513;
            nodes[k].text = resGetString(strings, 300 + k);
            listAppendNode(&list, &nodes[k]);
        }
        vgAddPopup(request, 18, 70, 168, 23, &list, 1, 0, 0, 0);
        GadgetExtension *mirror = vgAllocGadExt();
        mirror->text = resGetString(strings, 400);
        vgAddCheckBox(request, 154, 100, 32, 23, 1, 0, mirror);
        GadgetExtension *frames = vgAllocGadExt();
        frames->formatter = vgSliderCallbackFramesTime;
        vgAddSlider(request, 18, 130, 168, 23, 0, 99, 40, 0, nullptr, 0x130000, frames);
        int32_t amount = vgAddSlider(request, 18, 160, 168, 23, -100, 100, 0, 0,
                                     resGetString(strings, 110), 0x130000, nullptr);
        vgDisableElement(request, amount);
        vgAddTextButton(request, 18, 190, 134, 23, resGetString(strings, 405), 0, 0);
        vgAddImageButton(request, 200, 190, 40, 23, resGetImage(images, 215), 0, nullptr);
        vgAddImageButton(request, 250, 180, 20, 32, resGetImage(vgGetGuiResource(45, 0, 0), 45), 0,
                         nullptr);
        // A picture in a sunken frame, the zoom box over it, a timeline.
        vgCreatePanel(request, 328, 40, 136, 104, 0x400, 0, 0);
        std::vector<uint32_t> picture(128 * 96);
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 128; ++x)
                picture[y * 128 + x] =
                    vxh::packYuva((uint8_t)(16 + (x + y) * 219 / 222),
                                  (uint8_t)(16 + x * 224 / 127), (uint8_t)(16 + y * 224 / 95), 255);
        vgmxYUVAtoOvl(picture.data(), 0, 128 * 4, 332, 44, 128, 96);
        vgDrawBox(request, 340, 50, 403, 97, 18);
        vgFillBackground(request, 330, 160, 500, 170, 2, 0);
        vgSetColorYUV(request, colour(pal ? 13 : 7));
        for (int k = 0; k <= 4; ++k)
            vgLine(request, 334 + k * 40, 160, 334 + k * 40, 170);
        vgWriteResImage(request, resGetImage(images, mode == 3 ? 303 : 302), 560, 40);
        // Palette swatches 0..18 along the bottom.
        for (int n = 0; n <= 18; ++n) {
            vgSetColorYUV(request, colour(n));
            vgRectFill(request, 10 + n * 32, 250, 10 + n * 32 + 29, 279);
        }
        MeterRecord meter{};
        meter.title = resGetString(strings, 505);
        meter.steps = 5;
        vreqOpenMeter(&meter);
        vreqUpdateMeter(&meter, 3, 2);
        std::string err,
            path = screensDir() + (mode == 3 ? "/gallery-new.png" : "/gallery-classic.png");
        ASSERT_TRUE(vxh::saveScreen(host.screen, path, err)) << err;
        vreqCloseMeter(&meter);
        int w = 0, h = 0;
        std::vector<uint32_t> back;
        ASSERT_TRUE(vxh::readPng(path, w, h, back, err)) << err;
        EXPECT_EQ(w, 640);
        EXPECT_EQ(h, 400);
        vgFreeGadExt(sizes);
        vgFreeGadExt(mirror);
        vgFreeGadExt(frames);
        resFreeImages(images);
        resFreeStrings(strings);
    }
}

// A requester's text, wrapped to the screen, loses no ink to its box: drawn
// clipped as the requester draws it, it equals the text drawn unclipped.
TEST(Requester, TextIsWrappedAndNeverClipped)
{
    if (!vxh::fontAvailable())
        GTEST_SKIP() << "no font";
    const std::string startOver = "Throw away every key and start the effect anew?";
    struct Case {
        int width;
        std::string text;
        int lines;
    } cases[] = {
        {1024, startOver, 1},
        {200, startOver, 3},
        {640, "The effect file could not be written.\nTry another name?", 2},
    };
    for (const Case &c : cases) {
        vxh::Screen clipped, whole;
        vxh::initScreen(clipped, c.width, 400);
        vxh::initScreen(whole, c.width, 400);
        const vxh::RequesterBox box = vxh::requesterBox(clipped, c.text);
        EXPECT_EQ(std::count(box.text.begin(), box.text.end(), '\n') + 1, c.lines) << box.text;
        EXPECT_TRUE(box.x >= 0 && box.x + box.w <= c.width) << c.width;
        const int left = box.x + vxh::kRequesterMargin, top = box.y + 16;
        for (vxh::Screen *s : {&clipped, &whole})
            vxh::setColourRgb(*s, 255, 255, 255);
        vxh::drawBoxText(clipped, box.text, left, top, box.w - 2 * vxh::kRequesterMargin, box.h, 0);
        vxh::drawText(whole, box.text, left + 2, top, 0, 0, c.width - 1, 399);
        EXPECT_EQ(clipped.rgb, whole.rgb) << c.width << ": " << box.text;
    }
}

} // namespace
