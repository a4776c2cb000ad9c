// Writes each fuzz target's seed corpus with the project's own writers:
// vxfuzzseeds DIR makes DIR/TARGET/ for every target.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/support.h"
#include "host/cli/render.h"
#include "host/cli/sampleeffect.h"
#include "host/io/clip.h"
#include "host/io/media.h"
#include "host/io/png.h"
#include "host/io/samples.h"
#include "host/io/y4m.h"

namespace fs = std::filesystem;

namespace {

std::string root;

std::string seedPath(const std::string &target, const std::string &name)
{
    fs::create_directories(fs::path(root) / target);
    return (fs::path(root) / target / name).string();
}

void writeSeed(const std::string &target, const std::string &name, const std::string &bytes)
{
    std::FILE *fp = std::fopen(seedPath(target, name).c_str(), "wb");
    if (!fp || std::fwrite(bytes.data(), 1, bytes.size(), fp) != bytes.size() || std::fclose(fp)) {
        std::perror(name.c_str());
        std::exit(1);
    }
}

// A YUV4MPEG2 file in one of the reader's colour spaces, frames as the
// plane sizes of that space say.
std::string y4mText(const vxh::Clip &c, const char *chroma, size_t frameBytes)
{
    std::string s = vxh::y4mHeaderLine(c, chroma);
    for (size_t k = 0; k < c.frames.size(); ++k) {
        s += "FRAME\n";
        for (size_t i = 0; i < frameBytes; ++i)
            s += char(i * 13 + k);
    }
    return s;
}

void y4mSeeds()
{
    vxh::Clip c = vxfuzz::smallClip(6, 4, 2);
    const size_t px = 6 * 4;
    writeSeed("y4m", "444alpha", y4mText(c, "444alpha", px * 4));
    writeSeed("y4m", "444", y4mText(c, "444", px * 3));
    writeSeed("y4m", "420jpeg", y4mText(c, "420jpeg", px + 2 * 3 * 2));
    c.interlace = 'b', c.aspect = "16:15", c.colorRange = "FULL", c.fpsNum = 30000, c.fpsDen = 1001;
    writeSeed("y4m", "tags", y4mText(c, "444", px * 3));
    std::string mono = "YUV4MPEG2 W5 H3 F25:1 Ip A1:1 Cmono\nFRAME\n" + std::string(15, 'x');
    writeSeed("y4m", "mono", mono);
}

void pngSeeds()
{
    const vxh::Clip c = vxfuzz::smallClip(5, 3, 1);
    std::string err;
    const std::string p = seedPath("png", "rgba.png");
    if (!vxh::writePng(p, c.width, c.height, c.frames[0].data(), err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        std::exit(1);
    }
    std::vector<uint8_t> rgb(4 * 2 * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i * 29);
    if (!vxh::writePngRgb(seedPath("png", "rgb.png"), 4, 2, rgb.data(), err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        std::exit(1);
    }
}

[[noreturn]] void fail(const std::string &err)
{
    std::fprintf(stderr, "vxfuzzseeds: %s\n", err.c_str());
    std::exit(1);
}

std::string readWhole(const std::string &path)
{
    std::string s;
    std::FILE *fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        fail(path + ": cannot open");
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, fp)) > 0;)
        s.append(buf, n);
    std::fclose(fp);
    return s;
}

// Sample effects for the fuzz clip (24 x 12, 4 frames): fields and whole
// frames, each behind the byte that picks the plug-in and the scan.
void effectSeeds()
{
    std::string err;
    const std::string fields = vxfuzz::workDir() + "/seed-fields";
    const std::string whole = vxfuzz::workDir() + "/seed-whole";
    if (!vxh::writeSampleEffect(fields, 24, 6, 4, false, err) ||
        !vxh::writeSampleEffect(whole, 24, 12, 4, true, err))
        fail(err);
    for (int plugin = 0; plugin < 4; ++plugin) {
        writeSeed("effect", "fields" + std::to_string(plugin),
                  std::string(1, char(plugin)) + readWhole(fields));
        writeSeed("effect", "whole" + std::to_string(plugin),
                  std::string(1, char(plugin | 4)) + readWhole(whole));
    }
}

// VorluxOp parameter files saved by the plug-in itself, after gadget
// settings (type, amount) and the fade length.
void opSeeds()
{
    std::filesystem::create_directories(vxfuzz::effectDir() + "/op");
    const std::vector<std::vector<vxh::GadgetUse>> settings = {
        {},
        {{0, true, 9, {}, {}}, {1, true, 40, {}, {}}, {0, true, 4, {}, {}}, {1, true, 30, {}, {}}},
        {{0, true, 16, {}, {}}, {1, true, -100, {}, {}}, {2, true, 300, {}, {}}},
    };
    for (size_t i = 0; i < settings.size(); ++i) {
        vxh::RenderOptions o;
        o.effect = "seedop";
        o.fresh = true;
        o.gadgets = settings[i];
        o.gadgets.push_back({3, false, 0, {}, {}});
        const std::string name = "seed" + std::to_string(i);
        o.replies = {"save", name};
        std::string err;
        if (!vxfuzz::renderSmall(vxfuzz::loadedPlugin("VorluxOp"), o, 24, 12, 1, err))
            fail(err);
        writeSeed("opparams", name, readWhole(vxfuzz::effectDir() + "/op/" + name));
    }
}

void scriptSeeds()
{
    writeSeed("script", "clicks",
              "# a stroke and a key\nclick 700 300\npress 600 300 right\nmove 610 305\n"
              "release 610 305 right\nkey 0x20063\nwait 0\nclose\n");
    writeSeed("script", "gadgets",
              "gadget str:12 3\nset img:4 0x10\ngadget key:0x200074 7\nset host:45 1\n"
              "screenshot s.png\n");
}

void cliSeeds()
{
    writeSeed("cli", "render",
              std::string("\0", 1) +
                  "-o\nout.y4m\n--input0\na.y4m\n--input1\nsample\n--fields\n20\n--range\n"
                  "2:10\n--jobs\n2\n--effect\nm\n--pix-fmt\n420\n--gadget\n"
                  "Deformation=Rotation\n--gadget\nAmount=40\n--press\n3\n--reply\nsave\n-q");
    writeSeed("cli", "media",
              std::string("\0", 1) + "-o\nx.mkv\n--codec\nffv1\n--crf\n0\n--audio\nmix\n"
                                     "--progressive\n--max-pixels\n100\n--project\n64x32\n"
                                     "--strict\n--fresh\n--allow-default-effect\n--bottom-first");
    writeSeed("cli", "edit",
              "\x01--script\ns.txt\n--screen\n640x480\n--gui-mode\n2\n--screenshot\nx.png\n"
              "--dump-layout\nl.json\n--preview-out\nd\n--effect\ne\n--interlaced");
}

// Small media files written by our own writer: H.264 in MP4, FFV1 in
// Matroska, MPEG-4 in AVI, with three frames each.
void mediaSeeds()
{
    if (!vxh::mediaBuilt())
        return;
    const vxh::Clip c = vxfuzz::smallClip(16, 8, 3);
    const struct {
        const char *name, *codec;
        vxh::PixFmt fmt;
    } files[] = {{"h264.mp4", "", vxh::PixFmt::Yuv420},
                 {"ffv1.mkv", "ffv1", vxh::PixFmt::Yuv444},
                 {"mpeg4.avi", "mpeg4", vxh::PixFmt::Yuv420}};
    for (const auto &f : files) {
        vxh::MediaSettings settings;
        settings.codec = f.codec;
        settings.fmt = f.fmt;
        settings.audio.mode = vxh::AudioMode::None;
        vxh::MediaWriter *w = nullptr;
        std::vector<std::string> notes;
        std::string err;
        if (!vxh::openMediaWriter(seedPath("media", f.name), c, settings, w, notes, err))
            fail(err);
        for (const auto &frame : c.frames)
            if (!vxh::writeMediaFrame(w, frame.data(), err))
                fail(err);
        if (!vxh::finishMediaWriter(w, err))
            fail(err);
    }
}

void writeBytes(const std::string &target, const std::string &name, std::vector<uint8_t> b)
{
    writeSeed(target, name, std::string(b.begin(), b.end()));
}

// The structured targets take their choices byte by byte (fuzz/*.cpp say
// how): a plain session of each plug-in for each.
void sessionSeeds()
{
    for (uint8_t k = 0; k < 5; ++k) {
        // frei0r: an instance of 24 x 12, updated, its effect named, updated, destroyed.
        writeBytes(
            "frei0r", "plain" + std::to_string(k),
            {k, 0, 23, 11, 3, 0, 5, 10, 1, 0, 0, 0, 2, 0, 0, 1, 0, 3, 0, 5, 20, 2, 0, 0, 0, 1, 0});
        // Host boundary: install, set-up, eight fields, tear-down of instance 1
        // over fields of 24 x 6 in a project of 24 x 12.
        std::vector<uint8_t> b = {k, 24, 0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
        auto step = [&](uint8_t action, uint8_t field) {
            b.insert(b.end(), {action, 0, 0, 8, field, 1});
        };
        step(5, 0), step(0, 0);
        for (uint8_t f = 0; f < 8; ++f)
            step(2, f);
        step(1, 0);
        writeBytes("hostapi", "plain" + std::to_string(k), b);
        if (k == 4)
            continue;
        // Editor: a stroke in the edit view, a preview (F1), a key level, then
        // Done or the close.
        writeBytes("editor", "stroke" + std::to_string(k),
                   {k,    1,    0x90, 0x01, 0xfa, 0x00, 2, 0x9a, 0x01, 0x04, 0x01, 3,
                    0x9a, 0x01, 0x04, 0x01, 0,    4,    9, 6,    0,    30,   20,   0});
        writeBytes("editor", "keys" + std::to_string(k),
                   {k, 4, 0, 4, 1, 4, 2, 4, 5, 4, 8, 4, 14, 0, 0x20, 0x00, 0x40, 0x00, 0, 1});
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vxfuzzseeds DIR\n");
        return 2;
    }
    root = argv[1];
    y4mSeeds();
    pngSeeds();
    effectSeeds();
    opSeeds();
    scriptSeeds();
    cliSeeds();
    mediaSeeds();
    sessionSeeds();
    return 0;
}
