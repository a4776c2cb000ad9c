// Warp passes over whole fields at every instruction-set level, side by
// side with a general-purpose bilinear remap (when OpenCV is built in), a
// plain memcpy of the picture and the bytewise sum of two pictures into a
// third (the memory traffic of the mixed pass without its blend), on the
// same pictures: a mesh deformed everywhere (one bilinear sample per
// pixel) and an all-zero mesh (copies).
// After the runs a table gives ns per pixel and the ratios to the remap
// with float maps and to memcpy.
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/simd.h"
#include "effect/buffers.h"
#include "engine/warp.h"
#include "engine/warplevel.h"
#include "operator/instance.h"

#ifdef VX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Field {
    EffectInstance instance;
    OperatorContext &ctx = instance.ctx;
    std::vector<uint32_t> source, target, out;

    Field(int width, int height, bool deformed)
    {
        initEffectInstance(instance, vxMorphVariant);
        ctx.imageWidth = width;
        ctx.imageHeight = height;
        ctx.gridCols = width / 4;
        ctx.gridRows = height / 2;
        prepareMeshes(ctx, nullptr);
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
        releaseEffectInstance(instance);
    }
};

// One pass over a field's pictures and meshes at its dissolve level.
using PassRun = void (*)(Field &field, const WarpInputs &in, const PassOutput &out);

void passA(Field &field, const WarpInputs &in, const PassOutput &out)
{
    warpPassA(in, field.ctx.meshA, out);
}

void passB(Field &field, const WarpInputs &in, const PassOutput &out)
{
    warpPassB(in, field.ctx.meshB, field.ctx.dissolveLevel, out);
}

void passMixed(Field &field, const WarpInputs &in, const PassOutput &out)
{
    warpPassMixed(in, field.ctx.meshA, field.ctx.dissolveLevel, field.ctx.mixture, out);
}

struct Size {
    int width, height;
    bool deformed;
};

const Size sizes[] = {{720, 288, true}, {1920, 540, true}, {720, 288, false}, {1920, 540, false}};

std::string caseName(const Size &s)
{
    return std::to_string(s.width) + "x" + std::to_string(s.height) +
           (s.deformed ? " deformed" : " zero");
}

void setCounters(benchmark::State &state, const Size &s)
{
    // Pixels in 1e9s, inverted: CPU nanoseconds per pixel.
    state.counters["ns/pixel"] = benchmark::Counter((double)s.width * s.height * 1e-9,
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

void runPass(benchmark::State &state, PassRun pass, SimdLevel level, Size s)
{
    Field field(s.width, s.height, s.deformed);
    field.ctx.simd = &warpLevelOf(level);
    const WarpInputs in = warpInputsOf(field.ctx);
    const PassOutput out = {field.out.data(), s.width, s.height, field.out.size()};
    for (auto _ : state) {
        pass(field, in, out);
        benchmark::DoNotOptimize(field.out.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, s);
}

void runMemcpy(benchmark::State &state, Size s)
{
    Field field(s.width, s.height, false);
    for (auto _ : state) {
        memcpy(field.out.data(), field.source.data(), field.out.size() * 4);
        benchmark::DoNotOptimize(field.out.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, s);
}

// The least a pass that reads two pictures and writes a third can take:
// bytewise sums, no blend. The mixed pass on the zero mesh does this much
// memory traffic.
void runTwoPictureSum(benchmark::State &state, Size s)
{
    Field field(s.width, s.height, false);
    const uint32_t *a = field.source.data(), *b = field.target.data();
    uint32_t *out = field.out.data();
    const size_t n = field.out.size();
    for (auto _ : state) {
        for (size_t i = 0; i + 4 <= n; i += 4)
            _mm_storeu_si128((__m128i *)(out + i),
                             _mm_add_epi8(_mm_loadu_si128((const __m128i *)(a + i)),
                                          _mm_loadu_si128((const __m128i *)(b + i))));
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    setCounters(state, s);
}

#ifdef VX_HAVE_OPENCV
// The remap reads the same source positions as pass A: each output pixel's
// displaced position, or its own position where the mesh is zero.
void runRemap(benchmark::State &state, Size s, bool fixedPoint)
{
    Field field(s.width, s.height, s.deformed);
    cv::setNumThreads(1);
    const OperatorContext &ctx = field.ctx;
    const PassSteps steps = passSteps(warpInputsOf(ctx), s.width, s.height);
    cv::Mat mapX(s.height, s.width, CV_32FC1), mapY(s.height, s.width, CV_32FC1);
    for (int i = 0; i < s.height; ++i)
        for (int j = 0; j < s.width; ++j) {
            const MeshNode d =
                meshDisplacementAt(ctx.meshA, ctx.meshCols, ctx.meshRows,
                                   (float)j * steps.meshColStep, (float)i * steps.meshRowStep);
            mapX.at<float>(i, j) = (float)j + steps.pixelsPerColumn * d.dx;
            mapY.at<float>(i, j) = steps.pixelsPerRow * d.dy + (float)i;
        }
    cv::Mat map1 = mapX, map2 = mapY;
    if (fixedPoint)
        cv::convertMaps(mapX, mapY, map1, map2, CV_16SC2);
    const cv::Mat src(s.height, s.width, CV_8UC4, field.source.data());
    cv::Mat dst(s.height, s.width, CV_8UC4, field.out.data());
    for (auto _ : state) {
        cv::remap(src, dst, map1, map2, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    setCounters(state, s);
}
#endif

// Collects each benchmark's CPU time per pixel for the closing table: the
// least of its repetitions, the one other work on the machine disturbed
// least.
struct TableReporter : benchmark::ConsoleReporter {
    std::map<std::string, double> nsPerPixel;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const auto it = run.counters.find("ns/pixel");
            if (run.run_type != Run::RT_Iteration || it == run.counters.end())
                continue;
            const std::string name = run.run_name.function_name;
            const auto known = nsPerPixel.find(name);
            if (known == nsPerPixel.end() || it->second.value < known->second)
                nsPerPixel[name] = it->second.value;
        }
    }
};

void printTable(const TableReporter &r, const std::vector<std::string> &rows)
{
    for (const Size &s : sizes) {
        const std::string suffix = "/" + caseName(s);
        const auto ns = [&](const std::string &name) {
            const auto it = r.nsPerPixel.find(name + suffix);
            return it == r.nsPerPixel.end() ? 0.0 : it->second;
        };
        const double remap = ns("cv::remap float maps"), copy = ns("memcpy");
        std::printf("\n%-28s %9s %9s %9s\n", caseName(s).c_str(), "ns/pixel", "x remap",
                    "x memcpy");
        for (const std::string &row : rows) {
            const double v = ns(row);
            if (v == 0.0)
                continue;
            std::printf("%-28s %9.3f", row.c_str(), v);
            if (remap > 0.0)
                std::printf(" %9.2f", v / remap);
            else
                std::printf(" %9s", "-");
            std::printf(" %9.2f\n", v / copy);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> rows;
    const struct {
        const char *name;
        PassRun pass;
    } passes[] = {{"warpPassA", passA}, {"warpPassB", passB}, {"warpPassMixed", passMixed}};
    for (const auto &pass : passes)
        for (int level = SIMD_SCALAR; level <= bestSimdLevel(); ++level)
            rows.push_back(std::string(pass.name) + " " + simdLevelName((SimdLevel)level));
    rows.push_back("cv::remap float maps");
    rows.push_back("cv::remap fixed-point maps");
    rows.push_back("memcpy");
    rows.push_back("sum of two pictures");

    for (const Size &s : sizes) {
        const std::string suffix = "/" + caseName(s);
        size_t row = 0;
        for (const auto &pass : passes)
            for (int level = SIMD_SCALAR; level <= bestSimdLevel(); ++level)
                benchmark::RegisterBenchmark((rows[row++] + suffix).c_str(), runPass, pass.pass,
                                             (SimdLevel)level, s)
                    ->Unit(benchmark::kMicrosecond);
#ifdef VX_HAVE_OPENCV
        benchmark::RegisterBenchmark(("cv::remap float maps" + suffix).c_str(), runRemap, s, false)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("cv::remap fixed-point maps" + suffix).c_str(), runRemap, s,
                                     true)
            ->Unit(benchmark::kMicrosecond);
#endif
        benchmark::RegisterBenchmark(("memcpy" + suffix).c_str(), runMemcpy, s)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("sum of two pictures" + suffix).c_str(), runTwoPictureSum, s)
            ->Unit(benchmark::kMicrosecond);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTable(reporter, rows);
    benchmark::Shutdown();
    return 0;
}
