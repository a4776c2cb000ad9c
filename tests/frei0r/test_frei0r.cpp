// The frei0r plug-ins inside the real tools: ffmpeg's frei0r filter and
// melt's frei0r transitions give exactly the RGB of vxhost renders of the
// same inputs and effects. Skipped where the tools are not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
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
#include "host/cli/sampleeffect.h"

namespace {

namespace fs = std::filesystem;

constexpr int kW = 96, kH = 64, kFrames = 6;

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
        env = "VXHOME=" + (dir / "home").string() + " FREI0R_PATH=" VX_FREI0R_DIR " ";
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
            shell(env + VX_VXHOST " sample-effect " + name + " --size " + std::to_string(w) + "x" +
                  std::to_string(h) + " --frames " + std::to_string(frames));
        ASSERT_EQ(r.code, 0) << r.output;
    }
    // vxhost renders, each of the previous one's output (the first of
    // input0); the RGBA bytes of the last.
    std::string vxhostRenders(const std::vector<std::string> &renders, std::string input0,
                              const std::string &input1 = "in1_%04d.png")
    {
        for (size_t i = 0; i < renders.size(); ++i) {
            const std::string out = "vx" + std::to_string(i) + "_%04d.png";
            ToolRun r = shell(env + VX_VXHOST " render " VX_BUILD_PLUGIN_DIR "/" + renders[i] +
                              " --fields " + std::to_string(2 * kFrames) + " --input0 " +
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
    // melt crashes on a profile without a description.
    std::ofstream(dir / "profile")
        << "description=test\nframe_rate_num=25\nframe_rate_den=1\nwidth=" << kW
        << "\nheight=" << kH
        << "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
           "display_aspect_num=3\ndisplay_aspect_den=2\ncolorspace=601\n";
    struct Case {
        const char *what;
        const char *transition;
        const char *render;
    };
    const Case cases[] = {
        {"morph timed by melt", "frei0r.vorlux_morph effect=swirl length=6",
         "VorluxMorph.so --effect swirl"},
        {"morph keyed by progress", "frei0r.vorlux_morph effect=swirl length=6 'progress=0=0;5=1'",
         "VorluxMorph.so --effect swirl"},
        {"fx", "frei0r.vorlux_fx effect=counter length=6", "VorluxFX.so --effect counter"},
        {"op", "frei0r.vorlux_op length=6 amount9=40 amount4=30 fade=5",
         "VorluxOp.so --gadget 0=9 --gadget 1=40 --gadget 0=4 --gadget 1=30 --gadget 2=5"},
    };
    // One render thread: with several (real_time below -1) melt now and then
    // hands a transition the wrong input frame, whatever the plug-in. And
    // now and then melt hangs or stops early on a run, with a trivial frei0r
    // mixer too: such a run is tried again.
    const std::string last = std::to_string(kFrames - 1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        ToolRun r;
        for (int attempt = 0; attempt < 3 && out.size() != (size_t)kW * kH * 4 * kFrames;
             ++attempt) {
            fs::remove(dir / "melt.rgba");
            r = shell(env + "timeout 20 melt -silent -profile " + path("profile") +
                      " avformat:" + path("in0_%04d.png") + " out=" + last +
                      " -track avformat:" + path("in1_%04d.png") + " out=" + last +
                      " -transition " + c.transition + " in=0 out=" + last +
                      " a_track=0 b_track=1 -consumer avformat:" + path("melt.rgba") +
                      " f=rawvideo pix_fmt=rgba real_time=-1 </dev/null");
            out = readFile(dir / "melt.rgba");
        }
        ASSERT_EQ(out.size(), (size_t)kW * kH * 4 * kFrames) << r.output;
        EXPECT_TRUE(out == vxhostRenders({c.render}, "in0_%04d.png"));
    }
}

TEST_F(Frei0r, FailuresPassTheInputThrough)
{
    struct Case {
        const char *what;
        std::string prefix, filters, journal;
    };
    const Case cases[] = {
        {"the operator refuses the effect name", "",
         "frei0r=vorlux_warp:" + std::string(1100, 'x') + "|6", "source=src\\VorluxWarp"},
        {"VXHOME is a file, not a directory", "VXHOME=" + path("in0_0000.png") + " ",
         "frei0r=vorlux_warp:swirl|6", ""},
    };
    const std::string input = decoded("in0_%04d.png");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "home/log/journal");
        ToolRun r = ffmpeg(c.filters, c.prefix);
        ASSERT_EQ(r.code, 0) << r.output;
        EXPECT_NE(r.output.find("passing the input through"), std::string::npos) << r.output;
        EXPECT_TRUE(readFile(dir / "out.rgba") == input);
        EXPECT_NE(readFile(dir / "home/log/journal").find(c.journal), std::string::npos);
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
        const std::string file = VX_FREI0R_DIR "/vorlux_" + std::string(kind) + ".so";
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

// The frei0r entry points of one plug-in, loaded into this process.
struct Frei0rPlugin {
    void *handle = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t *, uint32_t *) = nullptr;

    explicit Frei0rPlugin(const std::string &file)
    {
        handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        construct = (decltype(construct))dlsym(handle, "f0r_construct");
        destruct = (decltype(destruct))dlsym(handle, "f0r_destruct");
        setParam = (decltype(setParam))dlsym(handle, "f0r_set_param_value");
        update = (decltype(update))dlsym(handle, "f0r_update");
    }
    f0r_instance_t warp(const char *effect, double length)
    {
        f0r_instance_t instance = construct(kW, kH);
        setParam(instance, &effect, 0);
        setParam(instance, &length, 1);
        return instance;
    }
};

// Instances in one process driven from several threads at once, as melt
// does (one instance per render thread; with slices, one instance from
// several threads): each gives exactly the pictures it gives alone.
TEST(Frei0rInProcess, InstancesOnThreadsKeepTheirOwnEffects)
{
    const char *base = getenv("VXHOME");
    const fs::path home = fs::path(base ? base : "/tmp/vx-test-home") / "frei0r-in-process";
    fs::remove_all(home);
    fs::create_directories(home / "programs/vorlux");
    setenv("VXHOME", home.c_str(), 1);
    std::string err;
    ASSERT_TRUE(vxh::writeSampleEffect((home / "programs/vorlux/swirl").string(), kW, kH / 2,
                                       kFrames, err));
    writeCounterEffect(home / "programs/vorlux/swirl", home / "programs/vorlux/counter");
    Frei0rPlugin plugin(VX_FREI0R_DIR "/vorlux_warp.so");
    ASSERT_TRUE(plugin.update) << dlerror();

    const vxh::Clip clip = vxh::makeSampleClip(0, kW, kH, kFrames);
    std::vector<std::vector<uint32_t>> input(kFrames, std::vector<uint32_t>((size_t)kW * kH));
    for (int f = 0; f < kFrames; ++f)
        for (size_t i = 0; i < input[f].size(); ++i) {
            auto *rgba = (uint8_t *)&input[f][i];
            vxh::yuvaToRgba(clip.frames[f][i], rgba[0], rgba[1], rgba[2], rgba[3]);
        }
    using Frames = std::vector<std::vector<uint32_t>>;
    auto render = [&](f0r_instance_t instance, Frames &out, int first, int step) {
        out.resize(kFrames);
        for (int f = first; f < kFrames; f += step) {
            out[f].resize((size_t)kW * kH);
            plugin.update(instance, f / 25.0, input[f].data(), out[f].data());
        }
    };
    const char *effects[2] = {"swirl", "counter"};
    Frames alone[2];
    for (int e = 0; e < 2; ++e) {
        f0r_instance_t instance = plugin.warp(effects[e], kFrames);
        render(instance, alone[e], 0, 1);
        plugin.destruct(instance);
    }
    EXPECT_TRUE(alone[0] != alone[1]);
    EXPECT_TRUE(alone[0] != input);

    for (int round = 0; round < 3; ++round) {
        f0r_instance_t instances[2] = {plugin.warp(effects[0], kFrames),
                                       plugin.warp(effects[1], kFrames)};
        Frames together[2], shared(kFrames);
        std::thread threads[4] = {
            std::thread(render, instances[0], std::ref(together[0]), 0, 1),
            std::thread(render, instances[1], std::ref(together[1]), 0, 1),
            std::thread(render, instances[0], std::ref(shared), 0, 2),
            std::thread(render, instances[0], std::ref(shared), 1, 2),
        };
        for (std::thread &t : threads)
            t.join();
        EXPECT_TRUE(together[0] == alone[0]);
        EXPECT_TRUE(together[1] == alone[1]);
        EXPECT_TRUE(shared == alone[0]);
        plugin.destruct(instances[0]);
        plugin.destruct(instances[1]);
    }
}

} // namespace
