// What the editor runs per brush message: one dab of the largest editor
// brush and one redraw of the edit view's picture at each zoom.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/brush.h"
#include "engine/viewpass.h"
#include "engine/warp.h"

namespace {

// A 720 x 576 frame of noise with a mesh deformed everywhere.
struct Frame {
    std::vector<uint32_t> source, target;

    Frame()
    {
        releaseMeshes();
        ctx.imageWidth = 720, ctx.imageHeight = 576;
        ctx.gridCols = 180, ctx.gridRows = 288;
        prepareMeshes(nullptr);
        source.resize(720 * 576), target.resize(720 * 576);
        uint32_t seed = 1;
        for (size_t i = 0; i < source.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            source[i] = seed, target[i] = seed ^ 0x5A5A5A5Au;
        }
        ctx.sourcePixels = source.data(), ctx.targetPixels = target.data();
        ctx.dissolveLevel = 100;
        for (int n = 0; n < 180 * 288; ++n)
            ctx.meshA[n] = {0.5f + 2.0f * std::sin(0.05f * (float)(n % 180)),
                            0.5f + 1.5f * std::cos(0.07f * (float)(n / 180))};
    }
    ~Frame()
    {
        ctx.sourcePixels = ctx.targetPixels = nullptr;
        releaseMeshes();
    }
};

void viewPassAtZoom(benchmark::State &state)
{
    Frame frame;
    const int zoom = (int)state.range(0), divisor = zoom == 0 ? 2 : (zoom == 1 ? 4 : 8);
    ctx.viewScrollX = 40, ctx.viewScrollY = 30;
    for (auto _ : state) {
        viewPass(zoom, 720 / divisor, 576 / divisor);
        benchmark::DoNotOptimize(ctx.outputPixels[0]);
    }
}
BENCHMARK(viewPassAtZoom)->Arg(0)->Arg(1)->Arg(2);

void brushDabOfRadius(benchmark::State &state)
{
    Frame frame;
    ctx.brushRadius = (int32_t)state.range(0), ctx.brushStrength = 0.2f, ctx.brushMode = 4;
    for (auto _ : state) {
        brushDab(90, 144, 0.0f, 0.0f);
        benchmark::DoNotOptimize(ctx.meshA[90 + 180 * 144]);
    }
}
BENCHMARK(brushDabOfRadius)->Arg(8)->Arg(32);

} // namespace
