// Tests for the host's clip I/O: colour conversion, YUV4MPEG2, PNG, frame
// patterns, atomic output, sample clips and contact sheets.
#include "host/core/pixels.h"
#include "host/io/clip.h"
#include "host/io/clipfile.h"
#include "host/io/contact.h"
#include "host/io/input.h"
#include "host/io/output.h"
#include "host/io/pattern.h"
#include "host/io/png.h"
#include "host/io/samples.h"
#include "host/io/tempfile.h"
#include "host/io/y4m.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using vxh::Clip;
using vxh::packYuva;
using vxh::pixA;
using vxh::pixU;
using vxh::pixV;
using vxh::pixY;

namespace {

class ClipIo : public ::testing::Test {
  protected:
    fs::path dir;
    void SetUp() override
    {
        static int n = 0;
        dir = fs::temp_directory_path() /
              ("vxh_clipio_" + std::to_string(::getpid()) + "_" + std::to_string(n++));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string &name) const { return (dir / name).string(); }
    std::string put(const std::string &name, const std::string &bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }
    std::set<std::string> listing() const
    {
        std::set<std::string> s;
        for (const auto &e : fs::directory_iterator(dir))
            s.insert(e.path().filename().string());
        return s;
    }
};

// A YUV value is in gamut when its exact BT.601 RGB lies inside 0..255.
bool inGamut(int y, int u, int v)
{
    const double Y = (y - 16) * 255.0 / 219.0, U = (u - 128) * 255.0 / 224.0,
                 V = (v - 128) * 255.0 / 224.0;
    const double r = Y + 1.402 * V, g = Y - 0.344136 * U - 0.714136 * V, b = Y + 1.772 * U;
    return r >= 0 && r <= 255 && g >= 0 && g <= 255 && b >= 0 && b <= 255;
}

uint32_t rgbPixel(int r, int g, int b, int a = 255)
{
    return vxh::rgbaToYuva(uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a));
}

Clip makeClip(int w, int h, int frames, uint32_t seed)
{
    Clip c;
    c.width = w;
    c.height = h;
    for (int f = 0; f < frames; ++f) {
        c.frames.emplace_back(size_t(w) * h);
        for (uint32_t &p : c.frames.back())
            p = seed = seed * 1664525u + 1013904223u;
    }
    return c;
}

// Writes a PNG of any colour type straight through libpng.
bool writeRawPng(const std::string &file, int w, int h, int colorType, int depth,
                 const std::vector<uint8_t> &data, const std::vector<png_color> &palette = {},
                 const std::vector<uint8_t> &trns = {})
{
    FILE *fp = fopen(file.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const size_t stride = data.size() / size_t(h);
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        rows[size_t(y)] = const_cast<uint8_t *>(data.data()) + size_t(y) * stride;
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, fp);
        png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colorType,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (!palette.empty())
            png_set_PLTE(png, info, palette.data(), int(palette.size()));
        if (!trns.empty())
            png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    fclose(fp);
    return ok;
}

} // namespace

// ---------------------------------------------------------------------------
// Colour conversion

TEST(Colour, KnownValues)
{
    EXPECT_EQ(rgbPixel(0, 0, 0), packYuva(16, 128, 128, 255));
    EXPECT_EQ(rgbPixel(255, 255, 255), packYuva(235, 128, 128, 255));
    EXPECT_EQ(rgbPixel(128, 128, 128), packYuva(126, 128, 128, 255));
    EXPECT_EQ(rgbPixel(255, 0, 0), packYuva(81, 90, 240, 255));
    EXPECT_EQ(rgbPixel(0, 255, 0), packYuva(145, 54, 34, 255));
    EXPECT_EQ(rgbPixel(0, 0, 255), packYuva(41, 240, 110, 255));
    EXPECT_EQ(rgbPixel(10, 20, 30, 77) >> 24, 77u); // alpha passes through
    for (int g = 0; g < 256; ++g) {                 // every grey: exact luma, neutral chroma
        const int y = 16 + (g * 219 * 2 + 255) / 510;
        EXPECT_EQ(rgbPixel(g, g, g), packYuva(uint8_t(y), 128, 128, 255)) << g;
    }
    uint8_t r, g, b, a;
    vxh::yuvaToRgba(packYuva(126, 128, 128, 9), r, g, b, a);
    EXPECT_EQ(std::vector<int>({r, g, b, a}), std::vector<int>({128, 128, 128, 9}));
    vxh::yuvaToRgba(packYuva(0, 128, 128, 255), r, g, b, a); // below black clamps
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({0, 0, 0}));
    vxh::yuvaToRgba(packYuva(255, 255, 255, 255), r, g, b, a); // far out of gamut clamps
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({255, 125, 255}));
}

// YUV -> RGB rounds each channel by at most 0.5, which moves Y, U and V by at
// most 0.44 (the sums of the absolute forward coefficients times 0.5), so
// converting back rounds onto the original: exact for every in-gamut value.
// Out-of-gamut YUV is clamped in RGB and cannot survive, so it is excluded.
TEST(Colour, InGamutYuvRoundTripIsExact)
{
    int tested = 0;
    for (int y = 16; y <= 235; ++y)
        for (int u = 16; u <= 240; ++u)
            for (int v = 16; v <= 240; ++v) {
                if (!inGamut(y, u, v))
                    continue;
                const uint32_t p = packYuva(uint8_t(y), uint8_t(u), uint8_t(v), uint8_t(y ^ v));
                uint8_t r, g, b, a;
                vxh::yuvaToRgba(p, r, g, b, a);
                ASSERT_EQ(vxh::rgbaToYuva(r, g, b, a), p) << y << "," << u << "," << v;
                ++tested;
            }
    EXPECT_GT(tested, 2000000);
}

// RGB -> YUV -> RGB loses precision (studio range has fewer codes); the error
// is bounded by the inverse coefficients: |dR|, |dG| <= 1 and |dB| <= 2.
TEST(Colour, RgbRoundTripErrorBound)
{
    int maxErr[3] = {0, 0, 0};
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                uint8_t o[4];
                vxh::yuvaToRgba(rgbPixel(r, g, b), o[0], o[1], o[2], o[3]);
                maxErr[0] = std::max(maxErr[0], std::abs(o[0] - r));
                maxErr[1] = std::max(maxErr[1], std::abs(o[1] - g));
                maxErr[2] = std::max(maxErr[2], std::abs(o[2] - b));
            }
    EXPECT_EQ(maxErr[0], 1);
    EXPECT_EQ(maxErr[1], 1);
    EXPECT_EQ(maxErr[2], 2);
}

// ---------------------------------------------------------------------------
// YUV4MPEG2

TEST_F(ClipIo, Y4mC444alphaRoundTripIsBitIdentical)
{
    Clip c = makeClip(7, 5, 3, 42);
    c.fpsNum = 30000;
    c.fpsDen = 1001;
    std::string err;
    ASSERT_TRUE(vxh::writeClip(path("a.y4m"), c, err)) << err;
    const std::string header = "YUV4MPEG2 W7 H5 F30000:1001 C444alpha\n";
    EXPECT_EQ(fs::file_size(path("a.y4m")), header.size() + 3 * (6 + 4 * 35));
    std::ifstream in(path("a.y4m"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes.substr(0, header.size() + 7), header + "FRAME\n" + char(pixY(c.frames[0][0])));
    Clip back;
    ASSERT_TRUE(vxh::readClip(path("a.y4m"), back, err)) << err;
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.height, 5);
    EXPECT_EQ(back.fpsNum, 30000);
    EXPECT_EQ(back.fpsDen, 1001);
    EXPECT_EQ(back.frames, c.frames);
    EXPECT_EQ(listing(), std::set<std::string>({"a.y4m"})); // no temporary left
}

TEST_F(ClipIo, Y4mReads444MonoAndParamsInAnyOrder)
{
    Clip c;
    std::string err;
    // C444: planes Y U V, alpha defaults to 255; parameters shuffled, extras ignored.
    put("444.y4m",
        std::string("YUV4MPEG2 C444 XYSCSS=444 Ib A10:11 F30000:1001 H1 W2\nFRAME Xfoo=1\n") +
            "\x01\x02\x05\x06\x09\x0a");
    ASSERT_TRUE(vxh::readClip(path("444.y4m"), c, err)) << err;
    EXPECT_EQ(c.width, 2);
    EXPECT_EQ(c.fpsNum, 30000);
    EXPECT_EQ(c.fpsDen, 1001);
    EXPECT_EQ(c.frames.at(0),
              std::vector<uint32_t>({packYuva(1, 5, 9, 255), packYuva(2, 6, 10, 255)}));
    // Cmono: U = V = 128; two frames; F0:0 (unknown rate) keeps 25:1.
    const char mono[] = "YUV4MPEG2 W3 H1 F0:0 Cmono\nFRAME\n\x10\x20\x30"
                        "FRAME\n\xeb\x00\x7f";
    put("mono.y4m", std::string(mono, sizeof mono - 1));
    ASSERT_TRUE(vxh::readClip(path("mono.y4m"), c, err)) << err;
    ASSERT_EQ(c.frames.size(), 2u);
    EXPECT_EQ(c.fpsNum, 25);
    EXPECT_EQ(c.frames[0],
              std::vector<uint32_t>({packYuva(16, 128, 128, 255), packYuva(32, 128, 128, 255),
                                     packYuva(48, 128, 128, 255)}));
    EXPECT_EQ(c.frames[1][0], packYuva(235, 128, 128, 255));
}

TEST_F(ClipIo, Y4mReads420VariantsByReplication)
{
    // 3x3 luma, chroma 2x2: pixel (x, y) takes chroma (x/2, y/2).
    const std::string planes = std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9) +
                               "\x10\x11\x12\x13" + "\x20\x21\x22\x23";
    const int uAt[3][3] = {{0, 0, 1}, {0, 0, 1}, {2, 2, 3}};
    for (const char *tag : {"", " C420jpeg", " C420mpeg2", " C420paldv", " C420"}) {
        put("c.y4m", std::string("YUV4MPEG2 W3 H3") + tag + "\nFRAME\n" + planes);
        Clip c;
        std::string err;
        ASSERT_TRUE(vxh::readClip(path("c.y4m"), c, err)) << tag << ": " << err;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(c.frames.at(0)[size_t(y * 3 + x)],
                          packYuva(uint8_t(1 + y * 3 + x), uint8_t(0x10 + uAt[y][x]),
                                   uint8_t(0x20 + uAt[y][x]), 255))
                    << tag << " at " << x << "," << y;
    }
}

// The conversions work sixteen pixels at a time: widths around and past
// that, random bytes, against the per-pixel rules (4:2:0 input replicates
// chroma; 444alpha, 444 and the luma of 420 output split the bytes).
TEST(Conversions, RowsOfAnyWidthMatchThePerPixelRules)
{
    uint32_t seed = 7;
    auto byte = [&] { return uint8_t((seed = seed * 1664525u + 1013904223u) >> 24); };
    for (const int w : {1, 15, 16, 17, 33, 47, 64}) {
        const int h = 3, cw = (w + 1) / 2;
        std::vector<uint8_t> raw(size_t(w * h + 2 * cw * 2));
        for (uint8_t &b : raw)
            b = byte();
        vxh::Y4mHeader hd;
        hd.w = w, hd.h = h, hd.chroma = vxh::Chroma::C420;
        std::vector<uint32_t> px(size_t(w * h));
        vxh::unpackY4mFrame(hd, raw.data(), px.data());
        const uint8_t *U = raw.data() + w * h, *V = U + cw * 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(px[size_t(y * w + x)],
                          packYuva(raw[size_t(y * w + x)], U[y / 2 * cw + x / 2],
                                   V[y / 2 * cw + x / 2], 255))
                    << w << " wide, at " << x << "," << y;
        for (uint32_t &p : px)
            p = packYuva(byte(), byte(), byte(), byte());
        for (const auto fmt : {vxh::PixFmt::Yuva444, vxh::PixFmt::Yuv444, vxh::PixFmt::Yuv420}) {
            std::vector<uint8_t> planes;
            vxh::packPlanes(px.data(), w, h, fmt, planes);
            const size_t n = px.size(), channels = fmt == vxh::PixFmt::Yuva444  ? 4
                                                   : fmt == vxh::PixFmt::Yuv444 ? 3
                                                                                : 1;
            for (size_t c = 0; c < channels; ++c)
                for (size_t i = 0; i < n; ++i)
                    ASSERT_EQ(planes[c * n + i], uint8_t(px[i] >> (8 * c)))
                        << w << " wide, plane " << c;
        }
    }
}

TEST_F(ClipIo, Y4mRejectsBadInputNamingTheFile)
{
    const std::string frame2x2 = "FRAME\n" + std::string(6, '\x50'); // 4:2:0, 2x2
    const struct {
        const char *what;
        std::string bytes;
        std::vector<std::string> mustSay;
    } cases[] = {
        {"empty", "", {"empty"}},
        {"unterminated header", "YUV4MPEG2 W2 H2", {"not terminated"}},
        {"missing W", "YUV4MPEG2 H2\n" + frame2x2, {"W (width)"}},
        {"missing H", "YUV4MPEG2 W2\n" + frame2x2, {"H (height)"}},
        {"zero width", "YUV4MPEG2 W0 H2\n" + frame2x2, {"width 0 out of range"}},
        {"absurd height", "YUV4MPEG2 W2 H16385\n" + frame2x2, {"height 16385 out of range"}},
        {"overlong number", "YUV4MPEG2 W99999999999 H2\n", {"bad header parameter 'W99999999999'"}},
        {"garbled width", "YUV4MPEG2 W2x H2\n" + frame2x2, {"bad header parameter 'W2x'"}},
        {"unknown param", "YUV4MPEG2 W2 H2 Q7\n" + frame2x2, {"unknown header parameter 'Q7'"}},
        {"bad rate", "YUV4MPEG2 W2 H2 F25\n" + frame2x2, {"bad frame rate"}},
        {"4:2:2", "YUV4MPEG2 W2 H2 C422\n" + frame2x2, {"'C422'", "supported"}},
        {"10-bit", "YUV4MPEG2 W2 H2 C420p10\n" + frame2x2, {"'C420p10'", "8-bit"}},
        {"16-bit mono", "YUV4MPEG2 W2 H2 Cmono16\n" + frame2x2, {"'Cmono16'", "8-bit"}},
        {"no frames", "YUV4MPEG2 W2 H2\n", {"no frames"}},
        {"short frame",
         "YUV4MPEG2 W2 H2\n" + frame2x2 + "FRAME\n\x01\x02",
         {"frame 1 is truncated", "2 of 6"}},
        {"bad marker",
         "YUV4MPEG2 W2 H2\n" + frame2x2 + "FRAMX\n",
         {"frame 1: expected a FRAME marker"}},
        {"cut marker", "YUV4MPEG2 W2 H2\nFRAME", {"frame 0 is truncated"}},
        // A huge claimed size with almost no data fails fast, without a 1 GiB buffer.
        {"huge and short",
         "YUV4MPEG2 W16384 H16384 C444alpha\nFRAME\nabc",
         {"frame 0 is truncated"}},
    };
    for (const auto &tc : cases) {
        const std::string file = put("bad.y4m", tc.bytes);
        Clip c = makeClip(1, 1, 1, 7);
        const Clip before = c;
        std::string err;
        // Files that do not start with the signature are refused by readClip before readY4m.
        const bool ok = tc.bytes.rfind("YUV4MPEG2", 0) == 0 ? vxh::readY4m(file, c, err)
                                                            : vxh::readClip(file, c, err);
        EXPECT_FALSE(ok) << tc.what;
        EXPECT_EQ(err.rfind(file + ": ", 0), 0u) << tc.what << ": " << err;
        EXPECT_EQ(err.find('\n'), std::string::npos) << tc.what;
        for (const std::string &s : tc.mustSay)
            EXPECT_NE(err.find(s), std::string::npos) << tc.what << ": " << err;
        EXPECT_EQ(c.frames, before.frames) << tc.what; // output untouched on failure
    }
    std::string err;
    Clip c;
    EXPECT_FALSE(vxh::readY4m(put("sig.y4m", "YUV4MPEG3 W2 H2\n"), c, err));
    EXPECT_NE(err.find("bad signature"), std::string::npos) << err;
    EXPECT_FALSE(vxh::readClip(path("missing.y4m"), c, err));
    EXPECT_NE(err.find("missing.y4m: cannot open"), std::string::npos) << err;
}

// ---------------------------------------------------------------------------
// PNG

TEST_F(ClipIo, PngWritesRgbaAndRoundTripsInGamutExactly)
{
    // All pixels are in gamut, with varied alpha: the trip through RGBA is exact.
    const int w = 16, h = 8;
    std::vector<uint32_t> px;
    for (int i = 0; i < w * h; ++i)
        px.push_back(rgbPixel(i * 37 % 256, i * 91 % 256, i * 13 % 256, i * 2));
    std::string err;
    ASSERT_TRUE(vxh::writePng(path("p.png"), w, h, px.data(), err)) << err;

    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&img, path("p.png").c_str()));
    EXPECT_EQ(img.format, PNG_FORMAT_RGBA); // stored as 8-bit RGBA
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(img));
    ASSERT_TRUE(png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr));
    uint8_t r, g, b, a;
    vxh::yuvaToRgba(px[5], r, g, b, a);
    EXPECT_EQ(std::vector<int>({rgba[20], rgba[21], rgba[22], rgba[23]}),
              std::vector<int>({r, g, b, a}));

    Clip c;
    ASSERT_TRUE(vxh::readClip(path("p.png"), c, err)) << err;
    EXPECT_EQ(c.width, w);
    EXPECT_EQ(c.height, h);
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0], px);
}

TEST_F(ClipIo, PngReadsEveryColourTypeAsYuva)
{
    const uint32_t black = packYuva(16, 128, 128, 255), white = packYuva(235, 128, 128, 255);
    std::string err;
    int w, h;
    std::vector<uint32_t> px;
    // 1-bit grey: 0 -> black, 1 -> white.
    ASSERT_TRUE(writeRawPng(path("g1.png"), 3, 1, PNG_COLOR_TYPE_GRAY, 1, {0xA0}));
    ASSERT_TRUE(vxh::readPng(path("g1.png"), w, h, px, err)) << err;
    EXPECT_EQ(px, std::vector<uint32_t>({white, black, white}));
    // Palette with tRNS: entry 0 is red at alpha 0x40, entry 1 opaque blue.
    ASSERT_TRUE(writeRawPng(path("pal.png"), 2, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1},
                            {{255, 0, 0}, {0, 0, 255}}, {0x40}));
    ASSERT_TRUE(vxh::readPng(path("pal.png"), w, h, px, err)) << err;
    EXPECT_EQ(px,
              std::vector<uint32_t>({packYuva(81, 90, 240, 0x40), packYuva(41, 240, 110, 255)}));
    // 16-bit RGB scales to 8 bits with rounding: 0x8080 -> 128.
    ASSERT_TRUE(
        writeRawPng(path("rgb16.png"), 1, 2, PNG_COLOR_TYPE_RGB, 16,
                    {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));
    ASSERT_TRUE(vxh::readPng(path("rgb16.png"), w, h, px, err)) << err;
    EXPECT_EQ(px, std::vector<uint32_t>({packYuva(126, 128, 128, 255), white}));
    // 8-bit grey + alpha.
    ASSERT_TRUE(writeRawPng(path("ga.png"), 2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {255, 7, 0, 200}));
    ASSERT_TRUE(vxh::readPng(path("ga.png"), w, h, px, err)) << err;
    EXPECT_EQ(px, std::vector<uint32_t>({packYuva(235, 128, 128, 7), packYuva(16, 128, 128, 200)}));
}

TEST_F(ClipIo, PngRejectsCorruptAndForeignFiles)
{
    std::vector<uint32_t> px(64 * 64);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = rgbPixel(int(i % 251), int(i % 13) * 19, int(i % 7) * 36);
    std::string err;
    ASSERT_TRUE(vxh::writePng(path("good.png"), 64, 64, px.data(), err)) << err;
    std::ifstream in(path("good.png"), std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), {});
    std::string flipped = good;
    flipped[good.size() / 2] =
        char(flipped[good.size() / 2] ^ 0x55); // inside IDAT: CRC or zlib error

    for (const auto &[name, bytes] :
         {std::pair<std::string, std::string>{"cut.png", good.substr(0, good.size() / 2)},
          {"flip.png", flipped},
          {"text.png", "hello, not an image"}}) {
        const std::string file = put(name, bytes);
        Clip c;
        EXPECT_FALSE(vxh::readClip(file, c, err)) << name;
        EXPECT_EQ(err.rfind(file + ": ", 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), std::string::npos) << err;
        EXPECT_TRUE(c.frames.empty());
    }
    int w, h;
    EXPECT_FALSE(vxh::readPng(path("text.png"), w, h, px, err));
    EXPECT_NE(err.find("not a PNG file"), std::string::npos) << err;
}

// ---------------------------------------------------------------------------
// Frame patterns and PNG sequences

TEST(Pattern, ParseAndFormat)
{
    vxh::FramePattern p;
    ASSERT_TRUE(vxh::parseFramePattern("in_%04d.png", p));
    EXPECT_EQ(vxh::framePath(p, 7), "in_0007.png");
    EXPECT_EQ(vxh::framePath(p, 123456), "in_123456.png");
    ASSERT_TRUE(vxh::parseFramePattern("100%%/f%3d.png", p));
    EXPECT_EQ(vxh::framePath(p, 7), "100%/f  7.png");
    ASSERT_TRUE(vxh::parseFramePattern("%d", p));
    EXPECT_EQ(vxh::framePath(p, 0), "0");
    for (const char *bad :
         {"plain.png", "%s.png", "%d_%d.png", "50%.png", "%", "%x", "%05", "%100d"})
        EXPECT_FALSE(vxh::parseFramePattern(bad, p)) << bad;
}

TEST_F(ClipIo, PngSequenceWritesAndReadsBack)
{
    Clip c;
    c.width = 4;
    c.height = 3;
    for (int f = 0; f < 3; ++f) {
        c.frames.emplace_back();
        for (int i = 0; i < 12; ++i)
            c.frames.back().push_back(rgbPixel(f * 80, i * 20, 255 - i * 20, 255));
    }
    std::string err;
    ASSERT_TRUE(vxh::writeClip(path("f_%03d.png"), c, err)) << err;
    EXPECT_EQ(listing(), std::set<std::string>({"f_000.png", "f_001.png", "f_002.png"}));
    Clip back;
    ASSERT_TRUE(vxh::readClip(path("f_%03d.png"), back, err)) << err;
    EXPECT_EQ(back.frames, c.frames);

    // Without frame 0 the sequence starts at 1.
    fs::remove(path("f_000.png"));
    ASSERT_TRUE(vxh::readClip(path("f_%03d.png"), back, err)) << err;
    ASSERT_EQ(back.frames.size(), 2u);
    EXPECT_EQ(back.frames[0], c.frames[1]);

    // A frame of another size is an error naming that frame.
    const uint32_t one = 0;
    ASSERT_TRUE(vxh::writePng(path("f_002.png"), 1, 1, &one, err)) << err;
    EXPECT_FALSE(vxh::readClip(path("f_%03d.png"), back, err));
    EXPECT_NE(err.find("f_002.png: frame is 1x1 but earlier frames are 4x3"), std::string::npos)
        << err;

    EXPECT_FALSE(vxh::readClip(path("g_%03d.png"), back, err));
    EXPECT_NE(err.find("no frames found"), std::string::npos) << err;
}

// ---------------------------------------------------------------------------
// Atomic output

TEST_F(ClipIo, WriteFailuresLeaveNothingBehind)
{
    const Clip c = makeClip(4, 2, 2, 1);
    std::string err;
    EXPECT_FALSE(vxh::writeClip(path("nodir/out.y4m"), c, err));
    EXPECT_NE(err.find("nodir/out.y4m"), std::string::npos) << err;
    EXPECT_FALSE(vxh::writeClip(path("nodir/f_%02d.png"), c, err));

    // The temporary is created but the rename onto a directory fails: it must go.
    fs::create_directory(path("taken.y4m"));
    EXPECT_FALSE(vxh::writeClip(path("taken.y4m"), c, err));
    EXPECT_NE(err.find("taken.y4m: cannot rename"), std::string::npos) << err;
    EXPECT_FALSE(vxh::writePng(path("taken.y4m"), 4, 2, c.frames[0].data(), err));

    Clip bad = c;
    bad.frames[1].pop_back();
    EXPECT_FALSE(vxh::writeClip(path("bad.y4m"), bad, err));
    EXPECT_NE(err.find("frame 1 has 7 pixels, expected 8"), std::string::npos) << err;
    EXPECT_FALSE(vxh::writeClip(path("bad_%d.png"), bad, err));
    EXPECT_FALSE(vxh::writeClip(path("out.avi"), c, err));
    EXPECT_FALSE(vxh::writeClip(path("out%s.png"), c, err));
    EXPECT_EQ(listing(), std::set<std::string>({"taken.y4m"}));

    // Success replaces an existing file.
    put("out.y4m", "old contents");
    ASSERT_TRUE(vxh::writeClip(path("out.y4m"), c, err)) << err;
    Clip back;
    ASSERT_TRUE(vxh::readClip(path("out.y4m"), back, err)) << err;
    EXPECT_EQ(back.frames, c.frames);
}

// ---------------------------------------------------------------------------
// Sample clips and contact sheets

TEST(Samples, DeterministicDistinctDetailedAndLegal)
{
    const Clip a = vxh::makeSampleClip(0), b = vxh::makeSampleClip(1);
    for (const Clip *c : {&a, &b}) {
        ASSERT_EQ(c->width, 720);
        ASSERT_EQ(c->height, 576);
        ASSERT_EQ(c->frames.size(), 50u);
        EXPECT_EQ(c->fpsNum * 1, 25 * c->fpsDen);
        std::string why;
        EXPECT_TRUE(vxh::validateClip(*c, why)) << why;
        for (const auto &f : c->frames)
            for (uint32_t p : f)
                ASSERT_TRUE(pixY(p) >= 16 && pixY(p) <= 235 && pixU(p) >= 16 && pixU(p) <= 240 &&
                            pixV(p) >= 16 && pixV(p) <= 240 && pixA(p) == 255);
        // Fine detail: many sharp horizontal luma steps. Motion: consecutive frames differ widely.
        size_t edges = 0, moved = 0;
        for (size_t i = 1; i < c->frames[0].size(); ++i)
            edges += std::abs(pixY(c->frames[0][i]) - pixY(c->frames[0][i - 1])) > 64;
        for (size_t i = 0; i < c->frames[0].size(); ++i)
            moved += c->frames[0][i] != c->frames[1][i];
        EXPECT_GT(edges, c->frames[0].size() / 50);
        EXPECT_GT(moved, 20000u);
    }
    size_t same = 0;
    for (size_t i = 0; i < a.frames[0].size(); ++i)
        same += a.frames[0][i] == b.frames[0][i];
    EXPECT_LT(same, a.frames[0].size() / 10);
    const Clip a2 = vxh::makeSampleClip(0);
    EXPECT_TRUE(a2.frames == a.frames);

    // Tiny and degenerate sizes.
    EXPECT_EQ(vxh::makeSampleClip(0, 1, 1, 2).frames.size(), 2u);
    EXPECT_EQ(vxh::makeSampleClip(1, 7, 3, 3).frames.at(2).size(), 21u);
    EXPECT_TRUE(vxh::makeSampleClip(1, 0, 10, 5).frames.empty());
    EXPECT_TRUE(vxh::makeSampleClip(0, 10, 10, 0).frames.empty());
}

TEST_F(ClipIo, ContactSheetLayoutAndContent)
{
    // Row 0: 64x48, 5 flat frames (Y = 40, 60, ...); row 1: 30x20, 3 frames
    // with a 2-px checkerboard of Y 100/120 plus a flat-per-frame U.
    Clip r0, r1;
    r0.width = 64;
    r0.height = 48;
    for (int f = 0; f < 5; ++f)
        r0.frames.emplace_back(64 * 48, packYuva(uint8_t(40 + 20 * f), 128, 128, 255));
    r1.width = 30;
    r1.height = 20;
    for (int f = 0; f < 3; ++f) {
        r1.frames.emplace_back(30 * 20);
        for (int i = 0; i < 600; ++i)
            r1.frames.back()[size_t(i)] = packYuva(((i % 30) / 2 + (i / 30) / 2) % 2 ? 120 : 100,
                                                   uint8_t(100 + 10 * f), 128, 0);
    }
    std::string err;
    ASSERT_TRUE(vxh::writeContactSheet(path("sheet.png"), {&r0, &r1}, err)) << err;
    Clip s;
    ASSERT_TRUE(vxh::readClip(path("sheet.png"), s, err)) << err;
    // Width 8 + 5 * (16 + 8); height 8 + 12 + 8 + 5 + 8.
    ASSERT_EQ(s.width, 128);
    ASSERT_EQ(s.height, 41);
    auto at = [&](int x, int y) { return s.frames[0][size_t(y * s.width + x)]; };
    EXPECT_EQ(at(0, 0), packYuva(126, 128, 128, 255)); // mid grey
    EXPECT_EQ(at(127, 40), packYuva(126, 128, 128, 255));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(at(8 + 24 * i, 8), packYuva(uint8_t(40 + 20 * i), 128, 128, 255))
            << i; // frames 0..4
        EXPECT_EQ(at(8 + 24 * i + 15, 19), packYuva(uint8_t(40 + 20 * i), 128, 128, 255)) << i;
        EXPECT_EQ(at(8 + 24 * i + 16, 8), packYuva(126, 128, 128, 255)) << i; // gap
        // Row 1 (8-px thumbnails) uses frames 0, 0, 1, 1, 2; the box filter averages the
        // checkerboard to 110, including the 2x4 partial block at the right edge.
        const int f = 2 * i / 4;
        const uint32_t thumb =
            packYuva(110, uint8_t(100 + 10 * f), 128, 255); // in gamut: survives the PNG
        EXPECT_EQ(at(8 + 16 * i, 28), thumb) << i;
        EXPECT_EQ(at(8 + 16 * i + 7, 32), thumb) << i;
        EXPECT_EQ(at(8 + 16 * i + 8, 28), packYuva(126, 128, 128, 255)) << i;
    }
    EXPECT_FALSE(vxh::writeContactSheet(path("none.png"), {}, err));
    EXPECT_FALSE(vxh::writeContactSheet(path("null.png"), {&r0, nullptr}, err));
    EXPECT_NE(err.find("row 1"), std::string::npos) << err;
    EXPECT_EQ(listing(), std::set<std::string>({"sheet.png"}));
}
