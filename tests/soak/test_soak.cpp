// Soaks, run with `ctest -L soak` (not by scripts/test.sh): thousands of
// renders and a hundred editor sessions in one process leave its memory as
// it was; vxhost render --jobs 2 interrupted 200 times never hangs, tears
// or leaves anything (tests/host's interrupt test, run longer).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

#include "host/cli/edit.h"
#include "host/cli/render.h"
#include "host/cli/sampleeffect.h"
#include "host/io/clip.h"
#include "host/io/clipfile.h"
#include "host/io/samples.h"

namespace {

namespace fs = std::filesystem;

// The heap in use (bytes) and the resident set (KiB) of this process.
struct Memory {
    size_t heap = 0;
    long residentKiB = 0;
};

Memory memoryNow()
{
    Memory m;
    m.heap = mallinfo2().uordblks;
    long pages = 0, resident = 0;
    if (FILE *f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(f);
    }
    m.residentKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
    return m;
}

void report(const char *what, const Memory &before, const Memory &after)
{
    printf("%s: heap %zu -> %zu bytes, resident %ld -> %ld KiB\n", what, before.heap, after.heap,
           before.residentKiB, after.residentKiB);
}

fs::path freshHome(const std::string &name)
{
    static const std::string base = getenv("VXHOME") ? getenv("VXHOME") : "/tmp/vx-test-home";
    const fs::path home = fs::path(base) / "soak" / name;
    fs::remove_all(home);
    fs::create_directories(home / "programs/vorlux");
    setenv("VXHOME", home.c_str(), 1);
    return home;
}

std::string pluginPath(const std::string &name)
{
    return std::string(VX_BUILD_PLUGIN_DIR) + "/" + name + ".so";
}

// 10,000 renders of a clip of 4 frames (2,000 by each plug-in), each through
// install, set-up, render and tear-down with a host of its own: the heap
// after them is the heap after the first round.
TEST(Soak, RendersAcrossSetUpAndTearDownKeepMemoryFlat)
{
    const fs::path home = freshHome("renders");
    std::string err;
    ASSERT_TRUE(
        vxh::writeSampleEffect((home / "programs/vorlux/soak").string(), 32, 8, 4, false, err))
        << err;
    const vxh::Clip in0 = vxh::makeSampleClip(0, 32, 16, 4),
                    in1 = vxh::makeSampleClip(1, 32, 16, 4);
    const char *names[] = {"VorluxMorph", "VorluxDraw", "VorluxFX", "VorluxWarp", "VorluxOp"};
    vxh::Plugin plugins[5];
    for (int p = 0; p < 5; ++p)
        ASSERT_TRUE(vxh::loadPlugin(pluginPath(names[p]), plugins[p], err)) << err;
    vxh::RenderOptions options;
    options.effect = "soak";
    options.quiet = true;
    auto round = [&](int renders) {
        for (int p = 0; p < 5; ++p)
            for (int i = 0; i < renders; ++i) {
                vxh::Host host;
                vxh::Clip out;
                ASSERT_TRUE(vxh::renderClip(plugins[p], host, options, in0, in1, out, err))
                    << names[p] << ": " << err;
                ASSERT_EQ(out.frames.size(), 4u) << names[p];
            }
    };
    const int renders = getenv("VX_SOAK_RENDERS") ? atoi(getenv("VX_SOAK_RENDERS")) : 2000;
    round(20);
    const Memory before = memoryNow();
    round(renders);
    const Memory after = memoryNow();
    report((std::to_string(5 * renders) + " renders").c_str(), before, after);
    EXPECT_LE(after.heap, before.heap + 4096);
    EXPECT_LE(after.residentKiB, before.residentKiB + 1024);
    for (vxh::Plugin &p : plugins)
        vxh::unloadPlugin(p);
}

// 100 editor sessions in one process, each loading the plug-in, painting a
// key, saving with Done and unloading: the heap after them is the heap
// after the first few.
TEST(Soak, EditorSessionsKeepMemoryFlat)
{
    const fs::path home = freshHome("editor");
    const vxh::Clip clip = vxh::makeSampleClip(0, 128, 96, 3);
    std::string err;
    ASSERT_TRUE(vxh::writeClip((home / "a.y4m").string(), clip, err)) << err;
    std::ofstream(home / "s.txt") << "press 520 450\nmove 540 460\nmove 560 470\n"
                                     "release 560 470\ngadget host:50 0\n";
    const std::vector<std::string> args = {pluginPath("VorluxMorph"),
                                           "--input0",
                                           (home / "a.y4m").string(),
                                           "--input1",
                                           (home / "a.y4m").string(),
                                           "--effect",
                                           "e",
                                           "--script",
                                           (home / "s.txt").string(),
                                           "-q"};
    auto sessions = [&](int n) {
        for (int i = 0; i < n; ++i) {
            fs::remove(home / "programs/vorlux/e");
            ASSERT_EQ(vxh::runEdit(args), 0) << "session " << i;
            ASSERT_TRUE(fs::exists(home / "programs/vorlux/e"));
        }
    };
    sessions(5);
    const Memory before = memoryNow();
    const int n = getenv("VX_SOAK_SESSIONS") ? atoi(getenv("VX_SOAK_SESSIONS")) : 100;
    sessions(n);
    const Memory after = memoryNow();
    report((std::to_string(n) + " editor sessions").c_str(), before, after);
    EXPECT_LE(after.heap, before.heap + 4096);
    EXPECT_LE(after.residentKiB, before.residentKiB + 1024);
}

} // namespace
