// Whole-clip render throughput through the real plug-ins and the stand-in
// host, on the built-in 720x576 sample clips (100 fields).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/clipio.h"
#include "host/render.h"
#include "host/sampleeffect.h"

namespace {

void renderPlugin(benchmark::State &state, const char *name, bool withEffect,
                  std::vector<vxh::GadgetUse> gadgets = {})
{
    const std::string home = std::filesystem::temp_directory_path() / "vx-bench-home";
    setenv("VXHOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/programs/vorlux");
    std::string err;
    if (withEffect)
        vxh::writeSampleEffect(home + "/programs/vorlux/bench", 720, 288, 50, err);
    static const vxh::Clip in0 = vxh::makeSampleClip(0);
    static const vxh::Clip in1 = vxh::makeSampleClip(1);
    vxh::Plugin plugin;
    if (!vxh::loadPlugin(std::string(VX_BUILD_PLUGIN_DIR) + "/" + name + ".so", plugin, err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    vxh::RenderOptions options;
    options.effect = withEffect ? "bench" : "plain";
    options.quiet = true;
    options.gadgets = gadgets;
    long fields = 0;
    for (auto _ : state) {
        vxh::Host host;
        vxh::Clip out;
        if (!vxh::renderClip(plugin, host, options, in0, in1, out, err)) {
            state.SkipWithError(err.c_str());
            break;
        }
        fields += (long)in0.frames.size() * 2;
    }
    state.counters["fields/s"] = benchmark::Counter((double)fields, benchmark::Counter::kIsRate);
    vxh::unloadPlugin(plugin);
}

void BM_MorphClip720x576(benchmark::State &state) { renderPlugin(state, "VorluxMorph", true); }
void BM_MorphClip720x576Undeformed(benchmark::State &state) { renderPlugin(state, "VorluxMorph", false); }
void BM_OpClip720x576Undeformed(benchmark::State &state) { renderPlugin(state, "VorluxOp", false); }
// Rotation at 40 and radial wave at 30, as in the demo.
void BM_OpClip720x576(benchmark::State &state)
{
    renderPlugin(state, "VorluxOp", false, {{0, true, 9}, {1, true, 40}, {0, true, 4}, {1, true, 30}});
}

BENCHMARK(BM_MorphClip720x576)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_MorphClip720x576Undeformed)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_OpClip720x576)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_OpClip720x576Undeformed)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace
