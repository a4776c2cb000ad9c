// Warp passes over whole fields: undeformed (zero-displacement copies) and
// deformed everywhere (one bilinear sample per pixel).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/warp.h"
#include "variants/variant.h"

namespace {

struct Field {
    std::vector<uint32_t> source, target, out;

    Field(int width, int height, bool deformed)
    {
        releaseMeshes();
        ctx.imageWidth = width;
        ctx.imageHeight = height;
        ctx.gridCols = width / 4;
        ctx.gridRows = height / 2;
        prepareMeshes(nullptr);
        const size_t pixels = (size_t)width * (size_t)height;
        source.resize(pixels);
        target.resize(pixels);
        out.assign(pixels, 0);
        uint32_t seed = 1;
        for (size_t i = 0; i < pixels; ++i) {
            seed = seed * 1664525u + 1013904223u;
            source[i] = seed;
            target[i] = seed ^ 0x5A5A5A5Au;
        }
        ctx.sourcePixels = source.data();
        ctx.targetPixels = target.data();
        ctx.dissolveLevel = 128;
        // A smooth field of a few mesh columns, non-zero at every node.
        for (int r = 0; r < ctx.meshRows; ++r)
            for (int c = 0; c < ctx.meshCols; ++c) {
                const MeshNode n = {deformed ? 0.5f + 2.0f * std::sin(0.05f * (float)c) : 0.0f,
                                    deformed ? 0.5f + 1.5f * std::cos(0.07f * (float)r) : 0.0f};
                ctx.meshA[c + ctx.meshCols * r] = n;
                ctx.meshB[c + ctx.meshCols * r] = {-n.dx, -n.dy};
            }
    }
    ~Field()
    {
        ctx.sourcePixels = ctx.targetPixels = nullptr;
        releaseMeshes();
    }
};

template <WarpPassFn Pass>
void runPass(benchmark::State &state)
{
    const int width = (int)state.range(0), height = (int)state.range(1);
    Field field(width, height, state.range(2) != 0);
    for (auto _ : state) {
        Pass(field.out.data(), width, height);
        benchmark::DoNotOptimize(field.out.data());
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] =
        benchmark::Counter((double)width * height, benchmark::Counter::kIsIterationInvariantRate);
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"W", "H", "deformed"});
    for (int deformed : {0, 1}) {
        b->Args({720, 288, deformed});
        b->Args({1920, 540, deformed});
    }
    b->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(runPass<warpPassA>)->Name("warpPassA")->Apply(sizes);
BENCHMARK(runPass<warpPassB>)->Name("warpPassB")->Apply(sizes);
BENCHMARK(runPass<warpPassMixed>)->Name("warpPassMixed")->Apply(sizes);
