// The frei0r plug-ins inside the real tools: ffmpeg's frei0r filter and
// melt's frei0r transitions give exactly the RGB of vxhost renders of the
// same inputs and effects (skipped where the tools are not installed); so
// do instances driven from threads in this process. Each plug-in needs the
// C and C++ runtime alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "host/io/clip.h"
#include "host/io/clipfile.h"
#include "host/io/samples.h"
#include "host/io/y4m.h"
#include "host/cli/sampleeffect.h"
#include "tests/frei0r/checksum.h"

namespace {

namespace fs = std::filesystem;

constexpr int kW = 96, kH = 64, kFrames = 6;

std::string fromEnv(const char *name, const char *otherwise)
{
    const char *value = getenv(name);
    return value && *value ? value : otherwise;
}

// The build's vxhost and plug-ins; the install test runs these tests again
// on an installed tree and names its files instead.
const std::string kFrei0rDir = fromEnv("VX_TEST_FREI0R_DIR", VX_FREI0R_DIR);
const std::string kVxhost = fromEnv("VX_TEST_VXHOST", VX_VXHOST);
const std::string kPluginDir = fromEnv("VX_TEST_PLUGIN_DIR", VX_BUILD_PLUGIN_DIR);
// Kdenlive's descriptions of the plug-ins: effects/ and transitions/.
const std::string kKdenliveDir =
    fromEnv("VX_TEST_KDENLIVE_DIR", VX_SOURCE_DIR "/packaging/kdenlive");

struct ToolRun {
    int code = -1;
    std::string output; // stdout and stderr together
};

ToolRun shell(const std::string &command)
{
    ToolRun run;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, n);
    int status = pipe ? pclose(pipe) : -1;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool installed(const std::string &tool)
{
    return shell("command -v " + tool).code == 0;
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A copy of an effect file (20-byte header, then per key its frame, level
// and a grid of float dx, dy) with every displacement negated: the same keys
// deforming the other way.
void writeCounterEffect(const fs::path &from, const fs::path &to)
{
    std::string bytes = readFile(from);
    ASSERT_GE(bytes.size(), 20u);
    const uint32_t keys = (uint8_t)bytes[16] | (uint8_t)bytes[17] << 8;
    const size_t grid = (bytes.size() - 20) / keys - 8;
    for (uint32_t k = 0; k < keys; ++k)
        for (size_t i = 3; i < grid; i += 4)
            bytes[20 + k * (grid + 8) + 8 + i] ^= (char)0x80;
    std::ofstream(to, std::ios::binary) << bytes;
}

struct Frei0r : ::testing::Test {
    fs::path dir;
    std::string env; // VXHOME and FREI0R_PATH of every command

    void SetUp() override
    {
#ifdef VX_SANITIZED
        GTEST_SKIP() << "sanitizer build: the plug-ins cannot run inside tools built without it";
#endif
        if (!installed("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is not installed: the frei0r plug-ins are not tried";
        const char *base = getenv("VXHOME");
        dir = fs::path(base ? base : "/tmp/vx-test-home") / "frei0r" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
        env = "VXHOME=" + (dir / "home").string() + " FREI0R_PATH=" + kFrei0rDir + " ";
        writeInput("in0", vxh::makeSampleClip(0, kW, kH, kFrames));
        writeInput("in1", vxh::makeSampleClip(1, kW, kH, kFrames));
        sampleEffect("swirl", kW, kH / 2, kFrames);
        writeCounterEffect(dir / "home/programs/vorlux/swirl",
                           dir / "home/programs/vorlux/counter");
    }
    std::string path(const std::string &name) const
    {
        return (dir / name).string();
    }
    void writeInput(const std::string &name, const vxh::Clip &clip)
    {
        std::string err;
        ASSERT_TRUE(vxh::writeClip(path(name + "_%04d.png"), clip, err)) << err;
    }
    void sampleEffect(const std::string &name, int w, int h, int frames)
    {
        ToolRun r =
            shell(env + kVxhost + " sample-effect " + name + " --size " + std::to_string(w) + "x" +
                  std::to_string(h) + " --frames " + std::to_string(frames));
        ASSERT_EQ(r.code, 0) << r.output;
    }
    // vxhost renders, each of the previous one's output (the first of
    // input0); the RGBA bytes of the last.
    std::string vxhostRenders(const std::vector<std::string> &renders, std::string input0,
                              const std::string &input1 = "in1_%04d.png", int frames = kFrames)
    {
        for (size_t i = 0; i < renders.size(); ++i) {
            const std::string out = "vx" + std::to_string(i) + "_%04d.png";
            ToolRun r = shell(env + kVxhost + " render " + kPluginDir + "/" + renders[i] +
                              " --fields " + std::to_string(2 * frames) + " --input0 " +
                              path(input0) + " --input1 " + path(input1) + " -q -o " + path(out));
            EXPECT_EQ(r.code, 0) << r.output;
            input0 = out;
        }
        return decoded(input0);
    }
    // The frames of a picture file or pattern as RGBA bytes.
    std::string decoded(const std::string &name)
    {
        ToolRun r = shell("ffmpeg -v error -y -i " + path(name) + " -f rawvideo -pix_fmt rgba " +
                          path("decoded.rgba"));
        EXPECT_EQ(r.code, 0) << r.output;
        return readFile(dir / "decoded.rgba");
    }
    ToolRun ffmpeg(const std::string &filters, const std::string &prefix = "",
                   const std::string &input = "in0_%04d.png")
    {
        return shell(env + prefix + "ffmpeg -v error -y -i " + path(input) + " -vf '" + filters +
                     "' -f rawvideo -pix_fmt rgba " + path("out.rgba"));
    }
    // A melt transition from input0 to input1 over their frames, with
    // realTime's render threads; the RGBA bytes it writes, empty when it
    // fails (r says why). Now and then melt hangs or stops early on a run,
    // with a trivial frei0r mixer too: such a run is tried again.
    std::string melt(const std::string &transition, int realTime, ToolRun &r,
                     const std::string &prefix = "", const std::string &input0 = "in0_%04d.png",
                     const std::string &input1 = "in1_%04d.png", int frames = kFrames)
    {
        writeProfile();
        const std::string last = std::to_string(frames - 1);
        const size_t size = (size_t)kW * kH * 4 * frames;
        std::string out;
        for (int attempt = 0; attempt < 3 && out.size() != size; ++attempt) {
            fs::remove(dir / "melt.rgba");
            prepareMeltRun();
            r = shell(
                env + prefix + "timeout 20 melt -silent -profile " + path("profile") +
                " avformat:" + path(input0) + " out=" + last + " -track avformat:" + path(input1) +
                " out=" + last + " -transition " + transition + " in=0 out=" + last +
                " a_track=0 b_track=1 -consumer avformat:" + path("melt.rgba") +
                " f=rawvideo pix_fmt=rgba real_time=" + std::to_string(realTime) + " </dev/null");
            out = readFile(dir / "melt.rgba");
        }
        return out.size() == size ? out : "";
    }
    // melt's profile of the clips (melt crashes on one without a description).
    void writeProfile()
    {
        std::ofstream(dir / "profile")
            << "description=test\nframe_rate_num=25\nframe_rate_den=1\nwidth=" << kW
            << "\nheight=" << kH
            << "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
               "display_aspect_num=3\ndisplay_aspect_den=2\ncolorspace=601\n";
    }
    // Called before each run of melt.
    std::function<void()> prepareMeltRun = [] {};

    // The parameters melt -query lists for a plug-in: title, then the
    // declared type, minimum, maximum and default as melt prints them.
    struct Declared {
        std::string title;
        std::map<std::string, std::string> fields;
    };
    std::vector<Declared> meltQuery(const std::string &name, bool filter)
    {
        const ToolRun r =
            shell(env + "melt -query " + (filter ? "filter" : "transition") + "=frei0r." + name);
        std::vector<Declared> params;
        std::istringstream lines(r.output);
        for (std::string line; std::getline(lines, line);) {
            const size_t colon = line.find(": ");
            if (line.rfind("  - identifier:", 0) == 0)
                params.emplace_back();
            else if (!params.empty() && line.rfind("    ", 0) == 0 && colon != std::string::npos) {
                std::string key = line.substr(4, colon - 4), value = line.substr(colon + 2);
                if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                    value = value.substr(1, value.size() - 2);
                if (key == "title")
                    params.back().title = value;
                params.back().fields[key] = value;
            }
        }
        return params;
    }
};

TEST_F(Frei0r, FfmpegFilterChainsMatchVxhostRenders)
{
    struct Case {
        const char *what;
        const char *filters;
        std::vector<std::string> renders;
        std::string input = "in0_%04d.png";
    };
    // Frames of odd height: fields of (kH + 1) / 2 lines, the last line
    // repeated and cropped back as vxhost does.
    writeInput("odd", vxh::makeSampleClip(0, kW, kH + 1, kFrames));
    sampleEffect("odd", kW, kH / 2 + 1, kFrames);
    const Case cases[] = {
        {"warp", "frei0r=vorlux_warp:swirl|6", {"VorluxWarp.so --effect swirl"}},
        {"draw", "frei0r=vorlux_draw:swirl|6", {"VorluxDraw.so --effect swirl"}},
        {"two warps with their own effects in one process",
         "frei0r=vorlux_warp:swirl|6,frei0r=vorlux_warp:counter|6",
         {"VorluxWarp.so --effect swirl", "VorluxWarp.so --effect counter"}},
        {"warp of frames of odd height",
         "frei0r=vorlux_warp:odd|6",
         {"VorluxWarp.so --effect odd"},
         "odd_%04d.png"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string input = decoded(c.input);
        ASSERT_EQ(input.size(),
                  (size_t)kW * (c.input == "odd_%04d.png" ? kH + 1 : kH) * 4 * kFrames);
        ToolRun r = ffmpeg(c.filters, "", c.input);
        ASSERT_EQ(r.code, 0) << r.output;
        const std::string out = readFile(dir / "out.rgba");
        EXPECT_NE(out, input);                                          // the effect shows
        EXPECT_TRUE(out == vxhostRenders(c.renders, c.input, c.input)); // filters: one input
    }
}

// Progressive: the operator warps whole frames. vxhost renders the same
// pictures as fields of a clip whose lines are doubled.
TEST_F(Frei0r, ProgressiveWarpsWholeFrames)
{
    sampleEffect("full", kW, kH, kFrames);
    vxh::Clip tall = vxh::makeSampleClip(0, kW, kH, kFrames);
    tall.height = 2 * kH;
    for (std::vector<uint32_t> &frame : tall.frames) {
        std::vector<uint32_t> doubled;
        for (int y = 0; y < 2 * kH; ++y)
            doubled.insert(doubled.end(), frame.begin() + (y / 2) * kW,
                           frame.begin() + (y / 2 + 1) * kW);
        frame = doubled;
    }
    writeInput("tall", tall);
    ToolRun r = ffmpeg("frei0r=vorlux_warp:full|6|25|-1|y");
    ASSERT_EQ(r.code, 0) << r.output;
    const std::string out = readFile(dir / "out.rgba");
    // Left out, whole frames are picked from the effect's size, and said.
    r = ffmpeg("frei0r=vorlux_warp:full|6");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("effect 'full' is made for whole frames of 96x64"), std::string::npos)
        << r.output;
    EXPECT_TRUE(readFile(dir / "out.rgba") == out);
    // vxhost renders a progressive clip the same: frame k is the operator's frame k.
    r = shell(env + kVxhost + " render " + kPluginDir +
              "/VorluxWarp.so --effect full "
              "--input0 " +
              path("in0_%04d.png") + " -q -o " + path("vp_%04d.png"));
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(decoded("vp_%04d.png") == out);
    const std::string fields =
        vxhostRenders({"VorluxWarp.so --effect full"}, "tall_%04d.png", "tall_%04d.png");
    ASSERT_EQ(out.size(), (size_t)kW * kH * 4 * kFrames);
    ASSERT_EQ(fields.size(), 2 * out.size());
    const size_t row = (size_t)kW * 4;
    for (size_t y = 0; y < (size_t)kH * kFrames; ++y)
        ASSERT_EQ(out.compare(y * row, row, fields, 2 * y * row, row), 0) << "line " << y;
}

TEST_F(Frei0r, MeltTransitionsMatchVxhostRenders)
{
    if (!installed("melt"))
        GTEST_SKIP() << "melt is not installed: the frei0r transitions are not tried";
    struct Case {
        const char *what;
        const char *transition;
        const char *render;
    };
    const Case cases[] = {
        {"morph timed by melt", "frei0r.vorlux_morph effect=swirl length=6",
         "VorluxMorph.so --effect swirl"},
        {"morph keyed by progress",
         "frei0r.vorlux_morph effect=swirl length=6 use_progress=1 'progress=0=0;5=1'",
         "VorluxMorph.so --effect swirl"},
        {"fx", "frei0r.vorlux_fx effect=counter length=6", "VorluxFX.so --effect counter"},
        {"op", "frei0r.vorlux_op length=6 amount9=40 amount4=30 fade=5",
         "VorluxOp.so --gadget 0=9 --gadget 1=40 --gadget 0=4 --gadget 1=30 --gadget 2=5"},
    };
    // One render thread: with several (real_time below -1) melt now and then
    // hands a transition the wrong input frame, whatever the plug-in (see
    // the next test).
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ToolRun r;
        const std::string out = melt(c.transition, -1, r);
        ASSERT_FALSE(out.empty()) << r.output;
        EXPECT_TRUE(out == vxhostRenders({c.render}, "in0_%04d.png"));
    }
}

// A Kdenlive project (MLT XML) with the morph transition between two tracks
// and the warp filter on the whole renders with melt to vxhost's pictures;
// Kdenlive's descriptions of the five name parameters the plug-ins have.
TEST_F(Frei0r, KdenliveProjectAndDescriptionsMatchThePlugins)
{
    if (!installed("melt"))
        GTEST_SKIP() << "melt is not installed: the Kdenlive project is not rendered";
    std::string project = readFile(VX_SOURCE_DIR "/tests/frei0r/project.kdenlive");
    const std::pair<std::string, std::string> fills[] = {{"@W@", std::to_string(kW)},
                                                         {"@H@", std::to_string(kH)},
                                                         {"@LAST@", std::to_string(kFrames - 1)},
                                                         {"@IN0@", path("in0_%04d.png")},
                                                         {"@IN1@", path("in1_%04d.png")},
                                                         {"@MORPH@", "swirl"},
                                                         {"@WARP@", "counter"},
                                                         {"@LENGTH@", std::to_string(kFrames)}};
    for (const auto &[from, to] : fills)
        for (size_t at; (at = project.find(from)) != std::string::npos;)
            project.replace(at, from.size(), to);
    std::ofstream(dir / "project.kdenlive") << project;
    ToolRun r = shell(env + "timeout 20 melt -silent " + path("project.kdenlive") +
                      " -consumer avformat:" + path("kdenlive.rgba") +
                      " f=rawvideo pix_fmt=rgba real_time=-1 </dev/null");
    const std::string out = readFile(dir / "kdenlive.rgba");
    ASSERT_EQ(out.size(), (size_t)kW * kH * 4 * kFrames) << r.output;
    EXPECT_TRUE(out ==
                vxhostRenders({"VorluxMorph.so --effect swirl", "VorluxWarp.so --effect counter"},
                              "in0_%04d.png"));

    for (const char *name :
         {"vorlux_warp", "vorlux_draw", "vorlux_morph", "vorlux_fx", "vorlux_op"}) {
        SCOPED_TRACE(name);
        const bool filter =
            std::string(name) == "vorlux_warp" || std::string(name) == "vorlux_draw";
        const std::string xml =
            readFile(kKdenliveDir + (filter ? "/effects/" : "/transitions/") + name + ".xml");
        ASSERT_NE(xml.find(std::string("tag=\"frei0r.") + name + "\""), std::string::npos);
        std::set<std::string> titles;
        for (const Declared &d : meltQuery(name, filter))
            titles.insert(d.title);
        for (size_t at = 0; (at = xml.find("<parameter ", at)) != std::string::npos; ++at) {
            const size_t begin = xml.find(" name=\"", at) + 7;
            const std::string param = xml.substr(begin, xml.find('"', begin) - begin);
            EXPECT_TRUE(titles.count(param)) << param;
        }
    }
}

// What melt -query declares is what the plug-ins take: every default lies
// in its range, and melt given every declared default (the effect and the
// length aside) renders vxhost's pictures of the operator's defaults.
TEST_F(Frei0r, MeltRendersWithTheDeclaredDefaults)
{
    if (!installed("melt"))
        GTEST_SKIP() << "melt is not installed: its view of the parameters is not tried";
    const struct Case {
        const char *name, *render;
        bool filter;
    } cases[] = {
        {"vorlux_warp", "VorluxWarp.so --effect swirl", true},
        {"vorlux_draw", "VorluxDraw.so --effect swirl", true},
        {"vorlux_morph", "VorluxMorph.so --effect swirl", false},
        {"vorlux_fx", "VorluxFX.so --effect swirl", false},
        {"vorlux_op", "VorluxOp.so", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string props;
        const std::vector<Declared> declared = meltQuery(c.name, c.filter);
        ASSERT_FALSE(declared.empty());
        for (const Declared &d : declared) {
            const auto field = [&](const char *key) {
                const auto it = d.fields.find(key);
                return it == d.fields.end() ? std::string() : it->second;
            };
            ASSERT_FALSE(field("default").empty()) << d.title;
            if (!field("minimum").empty()) {
                EXPECT_TRUE(std::stod(field("minimum")) <= std::stod(field("default")) &&
                            std::stod(field("default")) <= std::stod(field("maximum")))
                    << d.title;
            }
            const std::string value = d.title == "effect"   ? "swirl"
                                      : d.title == "length" ? std::to_string(kFrames)
                                                            : field("default");
            props += " " + d.title + "=" + value;
        }
        std::string out;
        ToolRun r;
        if (c.filter) {
            writeProfile();
            r = shell(env + "timeout 20 melt -silent -profile " + path("profile") +
                      " avformat:" + path("in0_%04d.png") + " out=" + std::to_string(kFrames - 1) +
                      " -filter frei0r." + c.name + props + " -consumer avformat:" +
                      path("melt.rgba") + " f=rawvideo pix_fmt=rgba real_time=-1 </dev/null");
            out = readFile(dir / "melt.rgba");
        } else {
            out = melt(std::string("frei0r.") + c.name + props, -1, r);
        }
        ASSERT_EQ(out.size(), (size_t)kW * kH * 4 * kFrames) << r.output;
        EXPECT_TRUE(out == vxhostRenders({c.render}, "in0_%04d.png"));
    }
}

// GStreamer's frei0r elements (gst-plugins-bad): a filter in a pipeline and
// a mixer of two branches give vxhost's pictures. A registry of the test's
// own makes GStreamer scan the plug-in folder afresh.
TEST_F(Frei0r, GstreamerPipelinesMatchVxhostRenders)
{
    if (!installed("gst-launch-1.0"))
        GTEST_SKIP() << "gst-launch-1.0 is not installed: the GStreamer elements are not tried";
    const auto branch = [&](const std::string &input, const std::string &to) {
        return " multifilesrc location=" + path(input) +
               " index=0 stop-index=" + std::to_string(kFrames - 1) +
               " caps=image/png,framerate=25/1 ! pngdec ! videoconvert ! "
               "video/x-raw,format=RGBA ! " +
               to;
    };
    const std::string sink = " ! filesink location=" + path("gst.rgba");
    const struct Case {
        const char *what;
        std::string pipeline, render;
    } cases[] = {
        {"warp", branch("in0_%04d.png", "frei0r-filter-vorlux-warp effect=swirl length=6" + sink),
         "VorluxWarp.so --effect swirl"},
        {"morph",
         "frei0r-mixer-vorlux-morph name=mix effect=swirl length=6" + sink +
             branch("in0_%04d.png", "mix.sink_0") + branch("in1_%04d.png", "mix.sink_1"),
         "VorluxMorph.so --effect swirl"},
        {"op",
         "frei0r-mixer-vorlux-op name=mix length=6 amount9=40 amount4=30 fade=5" + sink +
             branch("in0_%04d.png", "mix.sink_0") + branch("in1_%04d.png", "mix.sink_1"),
         "VorluxOp.so --gadget 0=9 --gadget 1=40 --gadget 0=4 --gadget 1=30 --gadget 2=5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "gst.rgba");
        ToolRun r = shell(env + "GST_REGISTRY=" + path("registry.bin") + " gst-launch-1.0 -q " +
                          c.pipeline);
        ASSERT_EQ(r.code, 0) << r.output;
        const std::string out = readFile(dir / "gst.rgba");
        ASSERT_EQ(out.size(), (size_t)kW * kH * 4 * kFrames) << r.output;
        EXPECT_TRUE(out == vxhostRenders({c.render}, "in0_%04d.png"));
    }
}

// melt with two render threads (real_time=-2) makes an instance per thread
// and updates them at once; melt then now and then hands a transition the
// wrong input frames, whatever the plug-in. So the transitions run behind
// the recorder (tests/frei0r/recorder.cpp), and every update whose inputs
// are the frames its time asks for must give exactly vxhost's frame.
TEST_F(Frei0r, MeltOnTwoThreadsGivesVxhostFramesForTheRightInputs)
{
    if (!installed("melt"))
        GTEST_SKIP() << "melt is not installed: the frei0r transitions are not tried";
    constexpr int kLong = 25;
    writeInput("long0", vxh::makeSampleClip(0, kW, kH, kLong));
    writeInput("long1", vxh::makeSampleClip(1, kW, kH, kLong));
    sampleEffect("long", kW, kH / 2, kLong);
    std::vector<uint64_t> inputSums[2];
    const size_t frameBytes = (size_t)kW * kH * 4;
    for (int i = 0; i < 2; ++i) {
        const std::string input = decoded("long" + std::to_string(i) + "_%04d.png");
        ASSERT_EQ(input.size(), frameBytes * kLong);
        for (int k = 0; k < kLong; ++k)
            inputSums[i].push_back(pictureChecksum(input.data() + k * frameBytes, frameBytes));
    }
    struct Case {
        const char *plugin, *transition, *render;
    };
    const Case cases[] = {
        {"vorlux_morph", "frei0r.vorlux_record effect=long length=25",
         "VorluxMorph.so --effect long"},
        {"vorlux_op", "frei0r.vorlux_record length=25 amount9=40 amount4=30 fade=12",
         "VorluxOp.so --gadget 0=9 --gadget 1=40 --gadget 0=4 --gadget 1=30 --gadget 2=12"},
    };
    const fs::path log = dir / "record.log";
    prepareMeltRun = [&] { fs::remove(log); };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.plugin);
        const std::string expected =
            vxhostRenders({c.render}, "long0_%04d.png", "long1_%04d.png", kLong);
        ASSERT_EQ(expected.size(), frameBytes * kLong);
        ToolRun r;
        const std::string out =
            melt(c.transition, -2, r,
                 "FREI0R_PATH=" VX_FREI0R_RECORD_DIR " VXF_RECORD_PLUGIN=" + kFrei0rDir + "/" +
                     std::string(c.plugin) + ".so VXF_RECORD_LOG=" + log.string() + " ",
                 "long0_%04d.png", "long1_%04d.png", kLong);
        ASSERT_FALSE(out.empty()) << r.output;
        std::ifstream lines(log);
        int updates = 0, checked = 0;
        std::set<long> framesChecked;
        double time;
        for (std::string in1, in2, result; lines >> time >> in1 >> in2 >> result; ++updates) {
            const long k = std::clamp(std::lround(time * 25), 0L, (long)kLong - 1);
            if (std::stoull(in1, nullptr, 16) != inputSums[0][k] ||
                std::stoull(in2, nullptr, 16) != inputSums[1][k])
                continue;
            ++checked;
            framesChecked.insert(k);
            EXPECT_EQ(std::stoull(result, nullptr, 16),
                      pictureChecksum(expected.data() + k * frameBytes, frameBytes))
                << "frame " << k;
        }
        printf("%s: melt handed %d of %d updates the wrong input frames; %zu of %d frames "
               "checked\n",
               c.plugin, updates - checked, updates, framesChecked.size(), kLong);
        EXPECT_GE(updates, kLong);
        EXPECT_GE(2 * checked, updates);
        EXPECT_GE(2 * (int)framesChecked.size(), kLong);
    }
}

TEST_F(Frei0r, FailuresPassTheInputThrough)
{
    struct Case {
        const char *what;
        std::string prefix, filters, journal, said = "";
    };
    const Case cases[] = {
        {"the operator refuses the effect name", "",
         "frei0r=vorlux_warp:" + std::string(1100, 'x') + "|6", "source=src\\VorluxWarp"},
        {"VXHOME is a file, not a directory", "VXHOME=" + path("in0_0000.png") + " ",
         "frei0r=vorlux_warp:swirl|6", ""},
        {"no effect file", "", "frei0r=vorlux_warp:nosuch|6", "",
         "vorlux_warp: effect 'nosuch' not found: no file " + path("home/programs/vorlux/nosuch") +
             "; passing the input through"},
        {"an effect of another size", "", "frei0r=vorlux_warp:small|6", "",
         "is made for pictures of 48x16 but the fields of these frames are 96x32; `vxhost "
         "effect resize small NEW --size 96x32`"},
    };
    sampleEffect("small", 48, 16, kFrames);
    const std::string input = decoded("in0_%04d.png");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "home/log/journal");
        ToolRun r = ffmpeg(c.filters, c.prefix);
        ASSERT_EQ(r.code, 0) << r.output;
        EXPECT_NE(r.output.find("passing the input through"), std::string::npos) << r.output;
        EXPECT_TRUE(readFile(dir / "out.rgba") == input);
        EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
        EXPECT_NE(readFile(dir / "home/log/journal").find(c.journal), std::string::npos);
    }
    // An effect of another length than the clip's is rendered, and said
    // once per instance.
    const struct Note {
        std::string filters, says;
    } notes[] = {
        {"frei0r=vorlux_warp:swirl", "effect 'swirl' has 6 frames but no length was given "
                                     "(taken as 50): its keys are rescaled to 50 frames"},
        {"frei0r=vorlux_warp:swirl|4", "effect 'swirl' has 6 frames but length is 4"},
    };
    for (const Note &n : notes) {
        ToolRun r = ffmpeg(n.filters);
        ASSERT_EQ(r.code, 0) << r.output;
        const size_t at = r.output.find(n.says);
        EXPECT_NE(at, std::string::npos) << r.output;
        EXPECT_EQ(r.output.find(n.says, at + 1), std::string::npos) << r.output;
        EXPECT_FALSE(readFile(dir / "out.rgba") == input);
    }
}

// Each plug-in is self-contained: it needs the C and C++ runtime alone (no
// library of ours, no media, PNG or font library), has no search path, and
// exports the frei0r entry points only.
TEST(Frei0rFiles, NeedOnlyTheRuntimeAndExportOnlyTheEntryPoints)
{
    if (!installed("readelf") || !installed("nm"))
        GTEST_SKIP() << "readelf or nm is not installed";
    std::set<std::string> runtime = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1",
                                     "ld-linux-x86-64.so.2"};
#ifdef VX_SANITIZED
    runtime.insert({"libasan.so.8", "libubsan.so.1"});
#endif
    const std::set<std::string> entryPoints = {
        "f0r_init",      "f0r_deinit",   "f0r_get_plugin_info", "f0r_get_param_info",
        "f0r_construct", "f0r_destruct", "f0r_set_param_value", "f0r_get_param_value",
        "f0r_update",    "f0r_update2"};
    for (const char *kind : {"warp", "draw", "morph", "fx", "op"}) {
        SCOPED_TRACE(kind);
        const std::string file = kFrei0rDir + "/vorlux_" + std::string(kind) + ".so";
        const ToolRun dynamic = shell("readelf -d -W " + file);
        ASSERT_EQ(dynamic.code, 0) << dynamic.output;
        std::istringstream lines(dynamic.output);
        int needed = 0;
        for (std::string line; std::getline(lines, line);) {
            EXPECT_EQ(line.find("PATH)"), std::string::npos) << line; // RPATH, RUNPATH
            if (line.find("(NEEDED)") == std::string::npos)
                continue;
            const size_t open = line.find('['), close = line.find(']');
            ASSERT_LT(open, close) << line;
            EXPECT_TRUE(runtime.count(line.substr(open + 1, close - open - 1))) << line;
            ++needed;
        }
        EXPECT_GT(needed, 0);
        const ToolRun symbols = shell("nm -D --defined-only " + file);
        ASSERT_EQ(symbols.code, 0) << symbols.output;
        std::set<std::string> exported;
        std::istringstream names(symbols.output);
        for (std::string address, type, name; names >> address >> type >> name;)
            exported.insert(name);
        EXPECT_EQ(exported, entryPoints);
    }
}

using Frames = std::vector<std::vector<uint32_t>>;

// A clip's frames as the RGBA bytes of its PNG frames (and of a frei0r
// host's pictures).
Frames rgbaFrames(const vxh::Clip &clip)
{
    Frames frames(clip.frames.size(), std::vector<uint32_t>((size_t)clip.width * clip.height));
    for (size_t f = 0; f < frames.size(); ++f)
        for (size_t i = 0; i < frames[f].size(); ++i) {
            auto *rgba = (uint8_t *)&frames[f][i];
            vxh::yuvaToRgba(clip.frames[f][i], rgba[0], rgba[1], rgba[2], rgba[3]);
        }
    return frames;
}

// The frei0r entry points of one plug-in, loaded into this process.
struct Frei0rPlugin {
    void *handle = nullptr;
    f0r_plugin_info_t info = {};
    void (*paramInfo)(f0r_param_info_t *, int) = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t *, uint32_t *) = nullptr;
    void (*update2)(f0r_instance_t, double, const uint32_t *, const uint32_t *, const uint32_t *,
                    uint32_t *) = nullptr;

    explicit Frei0rPlugin(const std::string &file)
    {
        handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        auto pluginInfo = (void (*)(f0r_plugin_info_t *))dlsym(handle, "f0r_get_plugin_info");
        paramInfo = (decltype(paramInfo))dlsym(handle, "f0r_get_param_info");
        construct = (decltype(construct))dlsym(handle, "f0r_construct");
        destruct = (decltype(destruct))dlsym(handle, "f0r_destruct");
        setParam = (decltype(setParam))dlsym(handle, "f0r_set_param_value");
        getParam = (decltype(getParam))dlsym(handle, "f0r_get_param_value");
        update = (decltype(update))dlsym(handle, "f0r_update");
        update2 = (decltype(update2))dlsym(handle, "f0r_update2");
        pluginInfo(&info);
    }
    // An instance with parameters set by name from "name=value" words.
    f0r_instance_t make(const std::string &params)
    {
        f0r_instance_t instance = construct(kW, kH);
        std::istringstream words(params);
        for (std::string word; words >> word;) {
            const size_t eq = word.find('=');
            const std::string name = word.substr(0, eq), text = word.substr(eq + 1);
            int index = 0;
            f0r_param_info_t param = {};
            for (; index < info.num_params; ++index) {
                paramInfo(&param, index);
                if (name == param.name)
                    break;
            }
            EXPECT_LT(index, info.num_params) << name;
            double number = atof(text.c_str());
            const char *string = text.c_str();
            setParam(instance,
                     param.type == F0R_PARAM_STRING ? (f0r_param_t)&string : (f0r_param_t)&number,
                     index);
        }
        return instance;
    }
    // Frames first, first + step, ... of a clip; a filter takes input 0 only.
    void render(f0r_instance_t instance, const Frames *inputs, Frames &out, int first, int step)
    {
        for (size_t f = first; f < inputs[0].size(); f += step)
            if (info.plugin_type == F0R_PLUGIN_TYPE_FILTER)
                update(instance, f / 25.0, inputs[0][f].data(), out[f].data());
            else
                update2(instance, f / 25.0, inputs[0][f].data(), inputs[1][f].data(), nullptr,
                        out[f].data());
    }
};

// Instances of several plug-ins in one process, each with an effect of its
// own, driven from a thread each at once: each gives exactly the frames of
// vxhost render. One of them is also updated from two more threads at once
// (as melt's slices do), which take their turns and change nothing.
TEST(Frei0rInProcess, InstancesOnThreadsMatchVxhostRenders)
{
    const char *base = getenv("VXHOME");
    const fs::path home = fs::path(base ? base : "/tmp/vx-test-home") / "frei0r-in-process";
    fs::remove_all(home);
    fs::create_directories(home / "programs/vorlux");
    setenv("VXHOME", home.c_str(), 1);
    std::string err;
    ASSERT_TRUE(vxh::writeSampleEffect((home / "programs/vorlux/swirl").string(), kW, kH / 2,
                                       kFrames, false, err));
    writeCounterEffect(home / "programs/vorlux/swirl", home / "programs/vorlux/counter");
    vxh::Clip clips[2] = {vxh::makeSampleClip(0, kW, kH, kFrames),
                          vxh::makeSampleClip(1, kW, kH, kFrames)};
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(vxh::writeClip((home / ("in" + std::to_string(i) + "_%04d.png")).string(),
                                   clips[i], err))
            << err;
    const Frames inputs[2] = {rgbaFrames(clips[0]), rgbaFrames(clips[1])};

    struct Case {
        const char *plugin, *params, *render;
    };
    const Case cases[] = {
        {"vorlux_warp", "effect=swirl length=6", "VorluxWarp.so --effect swirl"},
        {"vorlux_warp", "effect=counter length=6", "VorluxWarp.so --effect counter"},
        {"vorlux_morph", "effect=swirl length=6", "VorluxMorph.so --effect swirl"},
        {"vorlux_op", "length=6 amount9=40 amount4=30 fade=5",
         "VorluxOp.so --gadget 0=9 --gadget 1=40 --gadget 0=4 --gadget 1=30 --gadget 2=5"},
    };
    constexpr int kCases = sizeof cases / sizeof cases[0];
    std::map<std::string, std::unique_ptr<Frei0rPlugin>> plugins;
    Frames expected[kCases];
    for (int c = 0; c < kCases; ++c) {
        SCOPED_TRACE(cases[c].render);
        std::unique_ptr<Frei0rPlugin> &plugin = plugins[cases[c].plugin];
        if (!plugin)
            plugin = std::make_unique<Frei0rPlugin>(kFrei0rDir + "/" +
                                                    std::string(cases[c].plugin) + ".so");
        ASSERT_TRUE(plugin->update2) << dlerror();
        const bool filter = plugin->info.plugin_type == F0R_PLUGIN_TYPE_FILTER;
        const fs::path out = home / "vxhost.y4m";
        ToolRun r = shell("VXHOME=" + home.string() + " " + kVxhost + " render " + kPluginDir +
                          "/" + cases[c].render + " --fields " + std::to_string(2 * kFrames) +
                          " --input0 " + (home / "in0_%04d.png").string() + " --input1 " +
                          (home / (filter ? "in0_%04d.png" : "in1_%04d.png")).string() + " -q -o " +
                          out.string());
        ASSERT_EQ(r.code, 0) << r.output;
        vxh::Clip rendered;
        ASSERT_TRUE(vxh::readY4m(out.string(), rendered, err)) << err;
        expected[c] = rgbaFrames(rendered);
        EXPECT_TRUE(expected[c] != inputs[0]); // the effect shows
        for (int other = 0; other < c; ++other)
            EXPECT_TRUE(expected[c] != expected[other]);
    }

    for (int round = 0; round < 3; ++round) {
        f0r_instance_t instances[kCases];
        Frames together[kCases], shared(kFrames, std::vector<uint32_t>((size_t)kW * kH));
        std::vector<std::thread> threads;
        for (int c = 0; c < kCases; ++c) {
            Frei0rPlugin *plugin = plugins[cases[c].plugin].get();
            instances[c] = plugin->make(cases[c].params);
            together[c] = shared;
            threads.emplace_back(&Frei0rPlugin::render, plugin, instances[c], inputs,
                                 std::ref(together[c]), 0, 1);
        }
        Frei0rPlugin *first = plugins[cases[0].plugin].get();
        for (int half = 0; half < 2; ++half)
            threads.emplace_back(&Frei0rPlugin::render, first, instances[0], inputs,
                                 std::ref(shared), half, 2);
        for (std::thread &t : threads)
            t.join();
        for (int c = 0; c < kCases; ++c) {
            EXPECT_TRUE(together[c] == expected[c]) << cases[c].render;
            plugins[cases[c].plugin]->destruct(instances[c]);
        }
        EXPECT_TRUE(shared == expected[0]);
    }
}

// GUI hosts and GStreamer clamp doubles to 0..1 and set every parameter to
// its declared default: each default is in range, and an instance given
// every default renders what an instance given none renders. A number
// parameter given text that is no number keeps its value.
TEST(Frei0rInProcess, DeclaredDefaultsAreAcceptedAsTheyStand)
{
    const char *base = getenv("VXHOME");
    const fs::path home = fs::path(base ? base : "/tmp/vx-test-home") / "frei0r-defaults";
    fs::remove_all(home);
    fs::create_directories(home / "programs/vorlux");
    setenv("VXHOME", home.c_str(), 1);
    std::string err;
    ASSERT_TRUE(vxh::writeSampleEffect((home / "programs/vorlux/untitled").string(), kW, kH / 2,
                                       kFrames, false, err));
    const Frames inputs[2] = {rgbaFrames(vxh::makeSampleClip(0, kW, kH, kFrames)),
                              rgbaFrames(vxh::makeSampleClip(1, kW, kH, kFrames))};
    for (const char *name :
         {"vorlux_warp", "vorlux_draw", "vorlux_morph", "vorlux_fx", "vorlux_op"}) {
        SCOPED_TRACE(name);
        Frei0rPlugin plugin(kFrei0rDir + "/" + name + ".so");
        ASSERT_TRUE(plugin.getParam) << dlerror();
        const bool op = std::string(name) == "vorlux_op";
        f0r_instance_t untouched = plugin.make("length=6"), given = plugin.make("");
        f0r_instance_t fresh = plugin.make("");
        for (int i = 0; i < plugin.info.num_params; ++i) {
            f0r_param_info_t param = {};
            plugin.paramInfo(&param, i);
            double number = -1;
            const char *text = nullptr;
            plugin.getParam(
                fresh, param.type == F0R_PARAM_STRING ? (f0r_param_t)&text : (f0r_param_t)&number,
                i);
            if (param.type == F0R_PARAM_STRING) {
                ASSERT_NE(text, nullptr) << param.name;
                const std::string value = std::string(param.name) == "length" ? "6" : text;
                const char *set = value.c_str();
                plugin.setParam(given, &set, i);
            } else {
                EXPECT_TRUE(number >= 0 && number <= 1) << param.name << " " << number;
                plugin.setParam(given, &number, i);
            }
        }
        Frames a(kFrames, std::vector<uint32_t>((size_t)kW * kH)), b = a, c = a;
        plugin.render(untouched, inputs, a, 0, 1);
        plugin.render(given, inputs, b, 0, 1);
        EXPECT_TRUE(a != inputs[0]); // the effect shows
        EXPECT_TRUE(a == b);
        // Text that is no number leaves the length as it was.
        f0r_instance_t bad = plugin.make(op ? "length=6 length=six fade=x" : "length=6 length=six");
        plugin.render(bad, inputs, c, 0, 1);
        EXPECT_TRUE(c == a);
        for (f0r_instance_t instance : {untouched, given, fresh, bad})
            plugin.destruct(instance);
    }
}

// Each plug-in loaded, used and unloaded again, as a host does per filter
// (f0r_init, an instance rendering, f0r_deinit, dlclose): the heap after
// the cycles is the heap after the first. Under the sanitizers
// LeakSanitizer checks at exit what every cycle left.
TEST(Frei0rInProcess, LoadUseUnloadCyclesLeakNothing)
{
    const char *base = getenv("VXHOME");
    const fs::path home = fs::path(base ? base : "/tmp/vx-test-home") / "frei0r-cycles";
    fs::remove_all(home);
    fs::create_directories(home / "programs/vorlux");
    setenv("VXHOME", home.c_str(), 1);
    std::string err;
    ASSERT_TRUE(vxh::writeSampleEffect((home / "programs/vorlux/swirl").string(), kW, kH / 2,
                                       kFrames, false, err));
    const Frames inputs[2] = {rgbaFrames(vxh::makeSampleClip(0, kW, kH, kFrames)),
                              rgbaFrames(vxh::makeSampleClip(1, kW, kH, kFrames))};
    auto cycle = [&](const std::string &name) {
        Frei0rPlugin plugin(kFrei0rDir + "/" + name + ".so");
        ASSERT_TRUE(plugin.construct) << dlerror();
        auto init = (int (*)())dlsym(plugin.handle, "f0r_init");
        auto deinit = (void (*)())dlsym(plugin.handle, "f0r_deinit");
        ASSERT_EQ(init(), 1);
        f0r_instance_t instance =
            plugin.make(name == "vorlux_op" ? "length=6 amount9=40" : "effect=swirl length=6");
        Frames out(kFrames, std::vector<uint32_t>((size_t)kW * kH));
        plugin.render(instance, inputs, out, 0, 1);
        EXPECT_TRUE(out != inputs[0]) << name; // it rendered
        plugin.destruct(instance);
        deinit();
        EXPECT_EQ(dlclose(plugin.handle), 0);
    };
    auto round = [&] {
        for (const char *name :
             {"vorlux_warp", "vorlux_draw", "vorlux_morph", "vorlux_fx", "vorlux_op"})
            cycle(name);
    };
    round(); // what the process keeps once (the loader's, the C library's)
    round();
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 8; ++i)
        round();
    EXPECT_EQ(mallinfo2().uordblks, before);
}

} // namespace
