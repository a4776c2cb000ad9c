// Whole-clip render throughput through the real plug-ins and the stand-in
// host's in-memory render, on built-in sample clips of 50 frames (100
// fields) at PAL (720x576) and 1080 (1920x1080) frame sizes. Fields per
// second count the CPU time of the rendering thread (the render is
// single-threaded; on a shared machine wall time also counts the waits).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/io/clip.h"
#include "host/io/samples.h"
#include "host/cli/render.h"
#include "host/cli/sampleeffect.h"

namespace {

// The two sample inputs of a frame size, made once.
const std::pair<vxh::Clip, vxh::Clip> &clipsOf(int width, int height)
{
    static std::map<std::pair<int, int>, std::pair<vxh::Clip, vxh::Clip>> clips;
    auto it = clips.find({width, height});
    if (it == clips.end())
        it = clips
                 .emplace(std::make_pair(width, height),
                          std::make_pair(vxh::makeSampleClip(0, width, height),
                                         vxh::makeSampleClip(1, width, height)))
                 .first;
    return it->second;
}

void renderPlugin(benchmark::State &state, const char *name, int width, int height, bool withEffect,
                  std::vector<vxh::GadgetUse> gadgets = {})
{
    const std::string home = std::filesystem::temp_directory_path() / "vx-bench-home";
    setenv("VXHOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/programs/vorlux");
    std::string err;
    const std::string effect = "bench" + std::to_string(width);
    if (withEffect)
        vxh::writeSampleEffect(home + "/programs/vorlux/" + effect, width, height / 2, 50, false,
                               err);
    const auto &[in0, in1] = clipsOf(width, height);
    vxh::Plugin plugin;
    if (!vxh::loadPlugin(std::string(VX_BUILD_PLUGIN_DIR) + "/" + name + ".so", plugin, err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    vxh::RenderOptions options;
    options.effect = withEffect ? effect : "plain";
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

// Rotation at 40 and radial wave at 30, as in the demo.
const std::vector<vxh::GadgetUse> opDeformation = {
    {0, true, 9, {}, {}}, {1, true, 40, {}, {}}, {0, true, 4, {}, {}}, {1, true, 30, {}, {}}};

void BM_MorphClip(benchmark::State &state, int w, int h)
{
    renderPlugin(state, "VorluxMorph", w, h, true);
}
void BM_MorphClipUndeformed(benchmark::State &state, int w, int h)
{
    renderPlugin(state, "VorluxMorph", w, h, false);
}
void BM_OpClip(benchmark::State &state, int w, int h)
{
    renderPlugin(state, "VorluxOp", w, h, false, opDeformation);
}
void BM_OpClipUndeformed(benchmark::State &state, int w, int h)
{
    renderPlugin(state, "VorluxOp", w, h, false);
}

#define VX_CLIP_BENCH(fn, w, h)                                                                    \
    BENCHMARK_CAPTURE(fn, w##x##h, w, h)->Unit(benchmark::kMillisecond)->MinTime(2.0)

VX_CLIP_BENCH(BM_MorphClip, 720, 576);
VX_CLIP_BENCH(BM_MorphClip, 1920, 1080);
VX_CLIP_BENCH(BM_MorphClipUndeformed, 720, 576);
VX_CLIP_BENCH(BM_MorphClipUndeformed, 1920, 1080);
VX_CLIP_BENCH(BM_OpClip, 720, 576);
VX_CLIP_BENCH(BM_OpClip, 1920, 1080);
VX_CLIP_BENCH(BM_OpClipUndeformed, 720, 576);
VX_CLIP_BENCH(BM_OpClipUndeformed, 1920, 1080);

} // namespace
