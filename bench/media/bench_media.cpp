// A 1080 morph round trip through media files against the YUV4MPEG2 path:
// the same generated clip read as .y4m or as H.264 .mp4, rendered by
// VorluxMorph through a four-key effect and written as .y4m or .mp4.
// Reports fields per second and the max RSS of vxhost.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/io/media.h"
#include "bench/measure.h"
#include "host/cli/sampleeffect.h"

namespace {

constexpr int kFrames = 100;

// Makes in.y4m and in.mp4 (H.264, CRF 23) once; false when it cannot.
bool makeInputs(const std::string &dir)
{
    if (std::filesystem::exists(dir + "/in.mp4"))
        return true;
    long rss;
    const std::string vx =
        std::string(VX_VXHOST) + " render " + VX_BUILD_PLUGIN_DIR + "/VorluxWarp.so";
    return runMeasured(std::string(VX_CLIPGEN) + " 1920 1080 " + std::to_string(kFrames) + " > " +
                           dir + "/in.y4m",
                       rss) == 0 &&
           runMeasured(vx + " --fresh --allow-default-effect -q --input0 " + dir + "/in.y4m -o " +
                           dir + "/in.mp4 2>/dev/null",
                       rss) == 0;
}

void BM_Morph1080RoundTrip(benchmark::State &state)
{
    static const char *const kinds[][2] = {{"y4m", "y4m"}, {"mp4", "y4m"}, {"mp4", "mp4"}};
    const char *in = kinds[state.range(0)][0], *out = kinds[state.range(0)][1];
    state.SetLabel(std::string(in) + " -> " + out);
    if (!vxh::mediaBuilt()) {
        state.SkipWithError("vxhost built without FFmpeg's libraries");
        return;
    }
    const std::string home = (std::filesystem::temp_directory_path() / "vx-bench-media").string();
    setenv("VXHOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/programs/vorlux");
    std::string err;
    if (!vxh::writeSampleEffect(home + "/programs/vorlux/bench1080", 1920, 540, kFrames, false,
                                err) ||
        !makeInputs(home)) {
        state.SkipWithError("cannot make the inputs");
        return;
    }
    const std::string input = home + "/in." + in;
    const std::string command = std::string(VX_VXHOST) + " render " + VX_BUILD_PLUGIN_DIR +
                                "/VorluxMorph.so --effect bench1080 -q --input0 " + input +
                                " --input1 " + input + " -o " + home + "/out." + out +
                                " 2>/dev/null";
    measureRender(state, command, 2.0 * kFrames);
}

BENCHMARK(BM_Morph1080RoundTrip)
    ->ArgName("kind")
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
