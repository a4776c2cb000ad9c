// A morph round trip through media files against the YUV4MPEG2 path: the
// same generated clip read as .y4m or as H.264 .mp4, rendered by
// VorluxMorph through a four-key effect and written as .y4m or .mp4, at
// 1080 and (MP4 only) at 4K, beside a plain ffmpeg transcode of the clip.
// Reports fields per second and the max RSS of vxhost (or ffmpeg).
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

// Frames of the clip at each height: 100 at 1080, 50 at 2160 (4K).
int framesAt(int height)
{
    return height > 1080 ? 50 : 100;
}

// Makes in<H>.y4m and in<H>.mp4 (H.264, CRF 23) once; false when it cannot.
bool makeInputs(const std::string &dir, int height)
{
    const std::string stem = dir + "/in" + std::to_string(height);
    if (std::filesystem::exists(stem + ".mp4"))
        return true;
    long rss;
    const std::string vx =
        std::string(VX_VXHOST) + " render " + VX_BUILD_PLUGIN_DIR + "/VorluxWarp.so";
    return runMeasured(std::string(VX_CLIPGEN) + " " + std::to_string(height * 16 / 9) + " " +
                           std::to_string(height) + " " + std::to_string(framesAt(height)) + " > " +
                           stem + ".y4m",
                       rss) == 0 &&
           runMeasured(vx + " --fresh --allow-default-effect -q --input0 " + stem + ".y4m -o " +
                           stem + ".mp4 2>/dev/null",
                       rss) == 0;
}

// A morph through the sample effect, YUV4MPEG2 or MP4 in and out, and the
// plain transcode `ffmpeg -i in.mp4 -c:v libx264 out.mp4` of the same clip
// that an MP4 render's memory and speed are held against. The clip is
// interlaced and vxhost encodes it so (x264 then holds some 250 MB more at
// 1080), so the transcode is asked for interlaced coding too.
void BM_MorphRoundTrip(benchmark::State &state)
{
    static const char *const kinds[][2] = {
        {"y4m", "y4m"}, {"mp4", "y4m"}, {"mp4", "mp4"}, {"mp4", "ffmpeg"}};
    const char *in = kinds[state.range(0)][0], *out = kinds[state.range(0)][1];
    const int height = int(state.range(1)), width = height * 16 / 9, frames = framesAt(height);
    state.SetLabel(std::string(in) + " -> " + out);
    if (!vxh::mediaBuilt()) {
        state.SkipWithError("vxhost built without FFmpeg's libraries");
        return;
    }
    const std::string home = (std::filesystem::temp_directory_path() / "vx-bench-media").string();
    const std::string effect = "bench" + std::to_string(height);
    setenv("VXHOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/programs/vorlux");
    std::string err;
    if (!vxh::writeSampleEffect(home + "/programs/vorlux/" + effect, width, height / 2, frames,
                                false, err) ||
        !makeInputs(home, height)) {
        state.SkipWithError("cannot make the inputs");
        return;
    }
    const std::string input = home + "/in" + std::to_string(height) + "." + in;
    const std::string command =
        std::string(out) == "ffmpeg"
            ? "ffmpeg -v error -y -i " + input + " -c:v libx264 -flags +ildct+ilme " + home +
                  "/out.ffmpeg.mp4"
            : std::string(VX_VXHOST) + " render " + VX_BUILD_PLUGIN_DIR +
                  "/VorluxMorph.so --effect " + effect + " -q --input0 " + input + " --input1 " +
                  input + " -o " + home + "/out." + out + " 2>/dev/null";
    // The transcode's fields/s counts two per frame, as the renders do.
    measureRender(state, command, 2.0 * frames);
}

BENCHMARK(BM_MorphRoundTrip)
    ->ArgNames({"kind", "height"})
    ->ArgsProduct({{0, 1, 2, 3}, {1080}})
    ->ArgsProduct({{2, 3}, {2160}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
