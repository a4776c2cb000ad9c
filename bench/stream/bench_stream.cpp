// Memory and speed of whole 1080 renders through vxhost as a user runs it:
// a generated clip piped in, VorluxMorph through a four-key effect, output
// streamed to /dev/null. Reports the largest process's max RSS (vxhost,
// its workers or the generator) and fields per second, for clips of 250
// and 1000 frames with one and two worker processes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/measure.h"
#include "host/cli/sampleeffect.h"

namespace {

void BM_Morph1080Stream(benchmark::State &state)
{
    const long frames = state.range(0), jobs = state.range(1);
    const std::string home = (std::filesystem::temp_directory_path() / "vx-bench-stream").string();
    setenv("VXHOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/programs/vorlux");
    std::string err;
    const std::string name = "bench1080-" + std::to_string(frames);
    if (!vxh::writeSampleEffect(home + "/programs/vorlux/" + name, 1920, 540, (int)frames, false,
                                err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    const std::string command = std::string(VX_CLIPGEN) + " 1920 1080 " + std::to_string(frames) +
                                " | " + VX_VXHOST + " render " + VX_BUILD_PLUGIN_DIR +
                                "/VorluxMorph.so --effect " + name +
                                " --input0 - --input1 sample -q --jobs " + std::to_string(jobs) +
                                " -o /dev/null 2>/dev/null";
    measureRender(state, command, (double)(2 * frames));
}

BENCHMARK(BM_Morph1080Stream)
    ->ArgNames({"frames", "jobs"})
    ->Args({250, 1})
    ->Args({250, 2})
    ->Args({1000, 1})
    ->Args({1000, 2})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
