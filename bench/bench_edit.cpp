// What the editor runs per brush message: one dab of the largest editor
// brush and one redraw of the edit view's picture at each zoom, for the
// overlay, the mixture and the plain view at every instruction-set level.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/brush.h"
#include "engine/simd.h"
#include "engine/viewpass.h"
#include "engine/warp.h"
#include "engine/warplevel.h"
#include "editor/draw.h"
#include "editor/session.h"
#include "effect/buffers.h"
#include "operator/instance.h"
#include "variants/variant.h"

namespace {

// A 720 x 576 frame of noise with a mesh deformed everywhere.
struct Frame {
    EffectInstance instance;
    OperatorContext &ctx = instance.ctx;
    EditorState &ed = instance.editor;
    std::vector<uint32_t> source, target;

    explicit Frame(const VariantDesc *variant = &vxMorphVariant)
    {
        initEffectInstance(instance, *variant);
        ctx.imageWidth = 720, ctx.imageHeight = 576;
        ctx.gridCols = 180, ctx.gridRows = 288;
        prepareMeshes(ctx, nullptr);
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
        releaseEffectInstance(instance);
    }
};

// The view of one variant at one zoom and instruction-set level.
void viewPassAt(benchmark::State &state, const VariantDesc *variant, int zoom, SimdLevel level)
{
    Frame frame(variant);
    OperatorContext &ctx = frame.ctx;
    EditorState &ed = frame.ed;
    ctx.simd = &warpLevelOf(level);
    const int divisor = 2 << zoom, pictureDivisor = zoom == 2 ? 4 : 2;
    ed.viewScrollX = 40, ed.viewScrollY = 30;
    const WarpInputs in = warpInputsOf(ctx);
    const ViewRequest view = {viewShowsOf(*variant), ctx.dissolveLevel, zoom,
                              720 / divisor,         576 / divisor,     ed.viewScrollX,
                              ed.viewScrollY};
    for (auto _ : state) {
        viewPass(in, ctx.meshA, view, ctx.outputPixels, ctx.outputCapacity);
        benchmark::DoNotOptimize(ctx.outputPixels[0]);
        benchmark::ClobberMemory();
    }
    // CPU nanoseconds per picture pixel.
    const double pixels = (720.0 / pictureDivisor) * (576.0 / pictureDivisor);
    state.counters["ns/pixel"] = benchmark::Counter(
        pixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// "viewPass <variant> zoom <z> <level>": overlay (morph), mixture (FX) and
// plain source (warp) at every level this processor has.
int registerViewPasses(void)
{
    const VariantDesc *variants[] = {&vxMorphVariant, &vxFxVariant, &vxWarpVariant};
    for (const VariantDesc *variant : variants)
        for (int zoom = 0; zoom <= 2; ++zoom)
            for (int level = SIMD_SCALAR; level <= bestSimdLevel(); ++level)
                benchmark::RegisterBenchmark((std::string("viewPass ") + variant->name + " zoom " +
                                              std::to_string(zoom) + " " +
                                              simdLevelName((SimdLevel)level))
                                                 .c_str(),
                                             viewPassAt, variant, zoom, (SimdLevel)level)
                    ->Unit(benchmark::kMicrosecond);
    return 0;
}
const int viewPassesRegistered = registerViewPasses();

void brushDabOfRadius(benchmark::State &state)
{
    Frame frame;
    OperatorContext &ctx = frame.ctx;
    EditorState &ed = frame.ed;
    ed.brushRadius = (int32_t)state.range(0), ed.brushStrength = 0.2f, ed.brushMode = 4;
    const StrokeTools tools = strokeToolsOf(ed, ctx);
    for (auto _ : state) {
        brushDab(tools.canvas, tools.brush, 90, 144, 0.0f, 0.0f);
        benchmark::DoNotOptimize(ctx.meshA[90 + 180 * 144]);
    }
}
BENCHMARK(brushDabOfRadius)->Arg(8)->Arg(32);

} // namespace
