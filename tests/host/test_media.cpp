// Media files: decoding matches the YUV4MPEG2 path, outputs probe right,
// damage is refused. Needs FFmpeg's libraries in vxhost and the ffmpeg and
// ffprobe tools to make and probe files; skipped without them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/io/media.h"
#include "host/io/clipfile.h"
#include "host/io/samples.h"
#include "host/io/input.h"
#include "host/io/output.h"

namespace {

namespace fs = std::filesystem;

struct Shell {
    int code = -1;
    std::string output;
};

Shell shell(const std::string &command)
{
    Shell run;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string bytesOf(const fs::path &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

struct Media : ::testing::Test {
    fs::path dir;
    void SetUp() override
    {
        if (!vxh::mediaBuilt())
            GTEST_SKIP() << "vxhost was built without FFmpeg's libraries "
                            "(libavformat-dev libavcodec-dev libswscale-dev libswresample-dev "
                            "libavutil-dev)";
        if (shell("ffmpeg -version").code != 0 || shell("ffprobe -version").code != 0)
            GTEST_SKIP() << "the ffmpeg and ffprobe tools are not installed";
        const char *base = getenv("VXHOME");
        dir = fs::path(base ? base : "/tmp/vx-test-home") / "media" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
    }
    Shell in(const std::string &command) { return shell("cd " + dir.string() + " && " + command); }
    Shell ffmpeg(const std::string &args) { return in("ffmpeg -v error -y " + args); }
    Shell render(const std::string &plugin, const std::string &args)
    {
        return in("VXHOME=" + (dir / "home").string() +
                  " " VX_VXHOST " render " VX_BUILD_PLUGIN_DIR "/" + plugin + ".so --fresh -q " +
                  args);
    }
    std::string edit(const std::string &plugin, const std::string &args)
    {
        return "VXHOME=" + (dir / "home").string() +
               " " VX_VXHOST " edit " VX_BUILD_PLUGIN_DIR "/" + plugin + ".so -q " + args;
    }
    // The exit code and the largest resident size (KiB) of a command.
    std::pair<int, long> measured(const std::string &command)
    {
        const std::string line =
            "cd " + dir.string() + " && exec env " + command + " >/dev/null 2>&1";
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", line.c_str(), (char *)nullptr);
            _exit(127);
        }
        int status = 0;
        struct rusage usage = {};
        wait4(pid, &status, 0, &usage);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
    }
    // Codec, size, rate, frame count and pixel format as ffprobe sees them.
    std::string probe(const std::string &file)
    {
        return in("ffprobe -v error -count_frames -select_streams v -show_entries "
                  "stream=codec_name,width,height,r_frame_rate,nb_read_frames,pix_fmt,field_order "
                  "-of "
                  "default=nw=1 " +
                  file)
            .output;
    }
};

// Two clips of a kind, their frames as the ffmpeg tool decodes them written
// as YUV4MPEG2, and a morph rendered from each pair: the same bytes.
TEST_F(Media, RenderFromMediaEqualsRenderFromItsDecodedFrames)
{
    struct Case {
        const char *what, *file, *encode;
    } cases[] = {
        {"H.264 4:2:0 with B-frames", "x.mp4", "-c:v libx264 -bf 3 -g 5 -pix_fmt yuv420p"},
        {"H.264 4:4:4 in Matroska", "x.mkv", "-c:v libx264 -pix_fmt yuv444p"},
        {"grey FFV1", "g.mkv", "-c:v ffv1 -pix_fmt gray"},
        {"full-range MJPEG", "j.mov", "-c:v mjpeg -pix_fmt yuvj420p"},
        {"interlaced H.264", "i.mp4", "-c:v libx264 -flags +ildct+ilme -pix_fmt yuv420p"},
    };
    ASSERT_EQ(in("VXHOME=home " VX_VXHOST " sample-effect m --size 176x72 --frames 7").code, 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string a = std::string("a") + c.file, b = std::string("b") + c.file;
        ASSERT_EQ(ffmpeg("-f lavfi -i mandelbrot=size=176x144:rate=25 -frames:v 7 " +
                         std::string(c.encode) + " " + a)
                      .code,
                  0);
        ASSERT_EQ(ffmpeg("-f lavfi -i testsrc2=size=176x144:rate=25 -frames:v 7 " +
                         std::string(c.encode) + " " + b)
                      .code,
                  0);
        ASSERT_EQ(ffmpeg("-i " + a + " -f yuv4mpegpipe a.y4m").code, 0);
        ASSERT_EQ(ffmpeg("-i " + b + " -f yuv4mpegpipe b.y4m").code, 0);
        const Shell fromMedia =
            render("VorluxMorph", "--effect m --input0 " + a + " --input1 " + b + " -o m1.y4m");
        ASSERT_EQ(fromMedia.code, 0) << fromMedia.output;
        ASSERT_EQ(render("VorluxMorph", "--effect m --input0 a.y4m --input1 b.y4m -o m2.y4m").code,
                  0);
        const std::string one = bytesOf(dir / "m1.y4m"), two = bytesOf(dir / "m2.y4m");
        EXPECT_GT(one.size(), 7u * 176 * 144 * 4);
        EXPECT_TRUE(one == two) << one.substr(0, 80) << "\n" << two.substr(0, 80);
    }
}

TEST_F(Media, OutputsProbeWithCodecSizeRateAndFrames)
{
    vxh::Clip clip;
    clip.width = 176;
    clip.height = 144;
    clip.fpsNum = 30000;
    clip.fpsDen = 1001;
    clip.frames.resize(6);
    for (int f = 0; f < 6; ++f)
        vxh::drawSampleFrame(1, 176, 144, f, clip.frames[size_t(f)]);
    std::string err;
    ASSERT_TRUE(vxh::writeClip((dir / "p.y4m").string(), clip, err)) << err;
    clip.interlace = 't';
    ASSERT_TRUE(vxh::writeClip((dir / "t.y4m").string(), clip, err)) << err;
    struct Case {
        const char *input, *out, *options, *expected;
    } cases[] = {
        {"p.y4m", "o.mp4", "",
         "codec_name=h264\nwidth=176\nheight=144\npix_fmt=yuv420p\nr_frame_rate=30000/1001\n"},
        {"p.y4m", "o.mkv", "--codec ffv1 --pix-fmt 444",
         "codec_name=ffv1\npix_fmt=yuv444p\nr_frame_rate=30000/1001\n"},
        {"p.y4m", "o.mov", "--codec prores_ks",
         "codec_name=prores\npix_fmt=yuv422p10le\nr_frame_rate=30000/1001\n"},
        {"t.y4m", "t.mp4", "--crf 30", "codec_name=h264\nfield_order=tt\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.out);
        const Shell run = render("VorluxWarp", std::string("--allow-default-effect --input0 ") +
                                                   c.input + " -o " + c.out + " " + c.options);
        ASSERT_EQ(run.code, 0) << run.output;
        const std::string facts = probe(c.out),
                          expected = std::string(c.expected) + "nb_read_frames=6\n";
        for (size_t at = 0, next; (next = expected.find('\n', at)) != std::string::npos;
             at = next + 1)
            EXPECT_NE(facts.find(expected.substr(at, next + 1 - at)), std::string::npos) << facts;
    }
}

// A lossless H.264 file decodes to the very frames a 4:2:0 YUV4MPEG2 output
// holds, read in any order: seeking back across groups of pictures in an
// MP4, decoding again from the start in a raw stream without time stamps.
TEST_F(Media, LosslessRoundTripInAnyOrder)
{
    const std::string common =
        "--allow-default-effect --progressive --input0 in.mp4 --pix-fmt 420 ";
    ASSERT_EQ(ffmpeg("-f lavfi -i mandelbrot=size=176x144:rate=25 -frames:v 12 -c:v libx264 -g 4 "
                     "-bf 2 in.mp4")
                  .code,
              0);
    ASSERT_EQ(render("VorluxWarp", common + "--crf 0 -o out.mp4").code, 0);
    ASSERT_EQ(render("VorluxWarp", common + "-o out.y4m").code, 0);
    ASSERT_EQ(ffmpeg("-i out.mp4 -c copy -f h264 out.h264").code, 0);
    for (const char *name : {"out.mp4", "out.h264"}) {
        SCOPED_TRACE(name);
        vxh::InputClip media, y4m;
        std::vector<std::string> notes;
        std::string err;
        ASSERT_TRUE(
            vxh::openInput((dir / name).string(), vxh::kDefaultMaxPixels, media, notes, err))
            << err;
        ASSERT_TRUE(
            vxh::openInput((dir / "out.y4m").string(), vxh::kDefaultMaxPixels, y4m, notes, err))
            << err;
        EXPECT_EQ(media.knownFrames, 12);
        EXPECT_TRUE(notes.empty());
        for (long k : {0, 1, 11, 3, 2, 9, 10, 0, 7, 5, 6, 4, 8}) {
            const uint32_t *a = vxh::frameAt(media, k, err);
            ASSERT_NE(a, nullptr) << err;
            const std::vector<uint32_t> frame(a, a + 176 * 144);
            const uint32_t *b = vxh::frameAt(y4m, k, err);
            ASSERT_NE(b, nullptr) << err;
            EXPECT_TRUE(std::equal(frame.begin(), frame.end(), b)) << "frame " << k;
        }
        vxh::closeInput(media);
        vxh::closeInput(y4m);
    }
}

// Formats the YUV4MPEG2 path has no counterpart for follow their stated
// rule, checked against the decoded samples the ffmpeg tool writes raw.
TEST_F(Media, OtherFormatsFollowTheirRule)
{
    const int w = 64, h = 48;
    ASSERT_EQ(ffmpeg("-f lavfi -i mandelbrot=size=64x48 -frames:v 1 -c:v ffv1 -pix_fmt yuv422p10le "
                     "p10.mkv")
                  .code,
              0);
    ASSERT_EQ(ffmpeg("-i p10.mkv -f rawvideo p10.raw").code, 0);
    ASSERT_EQ(
        ffmpeg("-f lavfi -i mandelbrot=size=64x48 -frames:v 1 -c:v qtrle -pix_fmt rgb24 rgb.mov")
            .code,
        0);
    ASSERT_EQ(ffmpeg("-i rgb.mov -f rawvideo rgb.raw").code, 0);
    const std::string p10 = bytesOf(dir / "p10.raw"), rgb = bytesOf(dir / "rgb.raw");
    ASSERT_EQ(p10.size(), size_t(w * h * 2 * 2));
    ASSERT_EQ(rgb.size(), size_t(w * h * 3));
    auto sample = [&](size_t i) {
        return unsigned(uint8_t(p10[2 * i])) | unsigned(uint8_t(p10[2 * i + 1])) << 8;
    };
    auto to8 = [](unsigned v) { return uint8_t(std::min(255u, (v + 2) >> 2)); };
    struct Case {
        const char *file, *note;
    } cases[] = {
        {"p10.mkv", "chroma replicated over the 2x1 block it covers; 10-bit samples rounded"},
        {"rgb.mov", "RGB converted to Y, U, V with the BT.601 studio-range matrix"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        vxh::InputClip in;
        std::vector<std::string> notes;
        std::string err;
        ASSERT_TRUE(vxh::openInput((dir / c.file).string(), vxh::kDefaultMaxPixels, in, notes, err))
            << err;
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_NE(notes[0].find(c.note), std::string::npos) << notes[0];
        const uint32_t *px = vxh::frameAt(in, 0, err);
        ASSERT_NE(px, nullptr) << err;
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(y * w + x), ci = size_t(y * w / 2 + x / 2);
                const uint32_t want =
                    c.file[0] == 'p'
                        ? vxh::packYuva(to8(sample(i)), to8(sample(size_t(w * h) + ci)),
                                        to8(sample(size_t(w * h * 3 / 2) + ci)), 255)
                        : vxh::rgbaToYuva(uint8_t(rgb[3 * i]), uint8_t(rgb[3 * i + 1]),
                                          uint8_t(rgb[3 * i + 2]), 255);
                wrong += px[i] != want;
            }
        EXPECT_EQ(wrong, 0);
        vxh::closeInput(in);
    }
}

// The editor reads media files as render does: a morph edited on an MP4
// pair by script and on a MOV pair in a (dummy) window saves an effect
// whose render from the media equals its render from their frames as
// YUV4MPEG2.
TEST_F(Media, EditorEditsMediaInputs)
{
    struct Case {
        const char *what, *ext, *encode, *env, *options;
    } cases[] = {
        {"H.264 in MP4, scripted", "mp4", "-c:v libx264 -bf 2 -g 3 -pix_fmt yuv420p", "", ""},
        {"MJPEG in MOV, in a window", "mov", "-c:v mjpeg -pix_fmt yuvj420p",
         "SDL_VIDEODRIVER=dummy", "--window"},
    };
    std::ofstream(dir / "s.txt") << "press 520 450\nmove 560 470\nrelease 560 470\n"
                                    "gadget host:50 0\n";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string a = std::string("a.") + c.ext, b = std::string("b.") + c.ext,
                          effect = std::string("e") + c.ext;
        ASSERT_EQ(ffmpeg("-f lavfi -i mandelbrot=size=128x96:rate=25 -frames:v 5 " +
                         std::string(c.encode) + " " + a)
                      .code,
                  0);
        ASSERT_EQ(ffmpeg("-f lavfi -i testsrc2=size=128x96:rate=25 -frames:v 5 " +
                         std::string(c.encode) + " " + b)
                      .code,
                  0);
        ASSERT_EQ(ffmpeg("-i " + a + " -f yuv4mpegpipe a.y4m").code, 0);
        ASSERT_EQ(ffmpeg("-i " + b + " -f yuv4mpegpipe b.y4m").code, 0);
        const Shell session =
            in(std::string(c.env) + " " +
               edit("VorluxMorph", "--effect " + effect + " --input0 " + a + " --input1 " + b +
                                       " --script s.txt " + c.options));
        ASSERT_EQ(session.code, 0) << session.output;
        const std::string inputs = " --input0 " + a + " --input1 " + b;
        ASSERT_EQ(render("VorluxMorph", "--effect " + effect + inputs + " -o m1.y4m").code, 0);
        ASSERT_EQ(render("VorluxMorph", "--effect " + effect +
                                            " --input0 a.y4m --input1 b.y4m "
                                            "-o m2.y4m")
                      .code,
                  0);
        ASSERT_EQ(
            render("VorluxMorph", "--effect plain --allow-default-effect" + inputs + " -o m0.y4m")
                .code,
            0);
        const std::string edited = bytesOf(dir / "m1.y4m");
        EXPECT_GT(edited.size(), 5u * 128 * 96 * 4);
        EXPECT_TRUE(edited == bytesOf(dir / "m2.y4m"));
        EXPECT_FALSE(edited == bytesOf(dir / "m0.y4m")); // the painted stroke shows
    }
}

// The editor reads its inputs a frame at a time: a session that previews
// every field of a 1080 clip takes no more memory on a clip six times
// as long.
TEST_F(Media, EditorMemoryDoesNotGrowWithTheClip)
{
#ifdef VX_SANITIZED
    GTEST_SKIP() << "sanitizer build: freed memory is held in quarantine";
#endif
    std::ofstream(dir / "s.txt") << "key 0xE010\nkey 0x100069\n"; // preview, then Done
    long rss[2] = {};
    const int frames[2] = {16, 96};
    for (int i = 0; i < 2; ++i) {
        const std::string clip = "c" + std::to_string(frames[i]) + ".mp4";
        ASSERT_EQ(ffmpeg("-f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v " +
                         std::to_string(frames[i]) +
                         " -c:v libx264 -preset ultrafast -g 12 -pix_fmt yuv420p " + clip)
                      .code,
                  0);
        const auto [code, kib] =
            measured(edit("VorluxWarp", "--effect w" + std::to_string(i) + " --input0 " + clip +
                                            " --script s.txt"));
        ASSERT_EQ(code, 0);
        rss[i] = kib;
    }
    EXPECT_LT(rss[1], rss[0] + 8 * 1024) << rss[0] << " KiB, then " << rss[1] << " KiB";
}

TEST_F(Media, DamagedOrVideolessInputsExitTwoLeavingNothing)
{
    ASSERT_EQ(
        ffmpeg("-f lavfi -i testsrc2=size=176x144:rate=25 -frames:v 20 -c:v libx264 ok.mp4").code,
        0);
    ASSERT_EQ(ffmpeg("-i ok.mp4 -c copy -movflags +faststart fast.mp4").code, 0);
    const std::string fast = bytesOf(dir / "fast.mp4"), ok = bytesOf(dir / "ok.mp4");
    std::string corrupt = fast;
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 3000 && i < corrupt.size(); ++i)
        corrupt[i] = char(i * 2654435761u >> 13);
    std::ofstream(dir / "cut.mp4", std::ios::binary) << ok.substr(0, ok.size() / 2);
    std::ofstream(dir / "cutfast.mp4", std::ios::binary) << fast.substr(0, fast.size() * 2 / 3);
    std::ofstream(dir / "corrupt.mp4", std::ios::binary) << corrupt;
    ASSERT_EQ(ffmpeg("-f lavfi -i sine -t 1 sound.m4a").code, 0);
    // Matroska cut short: its demuxer logs the cut and reports a plain end.
    ASSERT_EQ(ffmpeg("-i ok.mp4 -frames:v 10 -c:v ffv1 f.mkv").code, 0);
    ASSERT_EQ(ffmpeg("-i ok.mp4 -frames:v 10 -c copy h.mkv").code, 0);
    const std::string ffv1 = bytesOf(dir / "f.mkv"), h264 = bytesOf(dir / "h.mkv");
    std::ofstream(dir / "cutffv1.mkv", std::ios::binary) << ffv1.substr(0, ffv1.size() / 2);
    std::ofstream(dir / "cuth264.mkv", std::ios::binary) << h264.substr(0, h264.size() * 9 / 10);
    struct Case {
        const char *input, *says;
    } cases[] = {
        {"cut.mp4", "cut.mp4: not a YUV4MPEG2, PNG or media file the libraries can open"},
        {"cutfast.mp4", "cutfast.mp4: frame "},
        {"corrupt.mp4", "corrupt.mp4: decode error near frame"},
        {"cutffv1.mkv", "cutffv1.mkv: cut off or damaged after frame "},
        {"cuth264.mkv", "cuth264.mkv: cut off or damaged after frame "},
        {"sound.m4a", "sound.m4a: has no video stream"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        for (const char *out : {"out.mp4", "out.y4m"}) {
            const Shell run = render("VorluxWarp", std::string("--allow-default-effect --input0 ") +
                                                       c.input + " -o " + out);
            EXPECT_EQ(run.code, 2) << run.output;
            EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
            for (const auto &entry : fs::directory_iterator(dir))
                EXPECT_NE(entry.path().filename().string().rfind("out", 0), 0u) << entry.path();
        }
    }
}

// Input 1's tone's share of a frame's sound: the amplitudes of two tones in
// the samples of output frame `frame` (Hann window).
std::pair<double, double> toneAmplitudes(const std::vector<float> &sound, int rate, int fps,
                                         int frame, double f0, double f1)
{
    const size_t n = size_t(rate / fps), at = size_t(frame) * n;
    double re0 = 0, im0 = 0, re1 = 0, im1 = 0, weight = 0;
    for (size_t i = 0; i < n && at + i < sound.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n));
        const double t = double(at + i) / rate, x = sound[at + i] * w;
        re0 += x * std::cos(2 * M_PI * f0 * t);
        im0 += x * std::sin(2 * M_PI * f0 * t);
        re1 += x * std::cos(2 * M_PI * f1 * t);
        im1 += x * std::sin(2 * M_PI * f1 * t);
        weight += w;
    }
    return {2 * std::hypot(re0, im0) / weight, 2 * std::hypot(re1, im1) / weight};
}

// A filter's output carries input 0's sound packet for packet; a morph's
// --audio mix crosses from input 0's tone to input 1's as its dissolve goes
// from 0 to 255; --audio none and pictures-only outputs carry none.
TEST_F(Media, SoundFollowsThePicture)
{
    for (const char *tone : {"440", "1000"})
        ASSERT_EQ(ffmpeg(std::string("-f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i "
                                     "sine=f=") +
                         tone + ":sample_rate=48000 -t 2 -c:v libx264 -c:a aac -shortest t" + tone +
                         ".mp4")
                      .code,
                  0);
    const Shell warp = render("VorluxWarp", "--allow-default-effect --input0 t440.mp4 -o w.mp4");
    ASSERT_EQ(warp.code, 0) << warp.output;
    const std::string packets = " -map 0:a -c copy -f framemd5 - | grep -v '^#'";
    const std::string given = in("ffmpeg -v error -i t440.mp4" + packets).output,
                      kept = in("ffmpeg -v error -i w.mp4" + packets).output;
    EXPECT_GT(kept.size(), given.size() * 9 / 10);
    EXPECT_EQ(given.substr(0, kept.size()), kept);

    // The default effect over 50 frames: level 255 * t / 49, truncated.
    const Shell mix = render("VorluxMorph", "--allow-default-effect --input0 t440.mp4 --input1 "
                                            "t1000.mp4 --audio mix -o m.mp4");
    ASSERT_EQ(mix.code, 0) << mix.output;
    ASSERT_EQ(ffmpeg("-i m.mp4 -map 0:a -f f32le -ac 1 -ar 48000 m.raw").code, 0);
    const std::string raw = bytesOf(dir / "m.raw");
    std::vector<float> sound(raw.size() / sizeof(float));
    std::memcpy(sound.data(), raw.data(), sound.size() * sizeof(float));
    EXPECT_GE(sound.size(), 96000u); // the last AAC frame is whole
    EXPECT_LT(sound.size(), 96000u + 1024);
    const double amplitude = 0.125; // the sine source's
    for (const auto &[frame, level] : {std::pair{1, 5}, {24, 124}, {48, 249}}) {
        SCOPED_TRACE(frame);
        const auto [a0, a1] = toneAmplitudes(sound, 48000, 25, frame, 440, 1000);
        EXPECT_NEAR(a0, amplitude * (255 - level) / 255, 0.006);
        EXPECT_NEAR(a1, amplitude * level / 255, 0.006);
    }

    struct Case {
        const char *plugin, *args, *streams, *says;
    } cases[] = {
        {"VorluxWarp", "--input0 t440.mp4 --audio none -o n.mp4", "h264\n", ""},
        {"VorluxWarp", "--input0 t440.mp4 -o w.avi", "h264\naac\n", ""},
        {"VorluxMorph", "--input0 t440.mp4 --input1 t1000.mp4 --audio mix -o m.mkv",
         "h264\nvorbis\n", ""},
        {"VorluxWarp", "--input0 pcm.mov -o p.mp4", "h264\naac\n",
         "p.mp4: mp4 files cannot hold input 0's pcm_s16le sound as it is: it is re-encoded"},
        {"VorluxWarp", "--input0 t440.mp4 -o w.y4m", "",
         "note: the sound of t440.mp4 is not carried"},
        {"VorluxWarp", "--input0 t440.mp4 --audio none -o n.y4m", "", ""},
    };
    ASSERT_EQ(ffmpeg("-i t440.mp4 -c:v copy -c:a pcm_s16le pcm.mov").code, 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Shell run = render(c.plugin, std::string("--allow-default-effect ") + c.args);
        ASSERT_EQ(run.code, 0) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("not carried") != std::string::npos,
                  std::string(c.says).find("not carried") != std::string::npos);
        const std::string out = c.args + std::string(c.args).rfind(' ') + 1;
        if (c.streams[0]) {
            EXPECT_EQ(
                in("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + out).output,
                c.streams);
        }
    }
}

// What an output cannot take is refused in words that name the way out.
TEST_F(Media, RefusalsNameTheFix)
{
    vxh::Clip odd;
    odd.width = 177;
    odd.height = 143;
    odd.frames.resize(2);
    for (int f = 0; f < 2; ++f)
        vxh::drawSampleFrame(1, odd.width, odd.height, f, odd.frames[size_t(f)]);
    std::string err;
    ASSERT_TRUE(vxh::writeClip((dir / "odd.y4m").string(), odd, err)) << err;
    ASSERT_EQ(ffmpeg("-f lavfi -i testsrc2=size=176x144:rate=25 -frames:v 2 even.y4m").code, 0);
    struct Case {
        const char *plugin, *args;
        int code;
        const char *says;
    } cases[] = {
        {"VorluxWarp", "--input0 odd.y4m -o odd.mp4", 2,
         "width and height of 177x143 must be even: write --pix-fmt 444"},
        {"VorluxWarp", "--input0 odd.y4m -o odd.mp4 --pix-fmt 444", 0, ""},
        {"VorluxWarp", "--input0 even.y4m --audio mix -o w.mp4", 2, "shows input 0 only"},
        {"VorluxWarp", "--input0 even.y4m --audio loud -o w.mp4", 2,
         "--audio takes input0, mix or none, not 'loud'"},
        {"VorluxWarp", "--input0 even.y4m -o w.png", 2, "unknown output type"},
    };
#ifdef VX_SANITIZED
    // libx264 keeps a few bytes of its settings when it refuses a size;
    // vxhost exits right after, and they are not its own.
    const char *asan = getenv("ASAN_OPTIONS");
    const std::string kept = asan ? asan : "";
    setenv("ASAN_OPTIONS", (kept + ":detect_leaks=0").c_str(), 1);
#endif
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Shell run = render(c.plugin, std::string("--allow-default-effect ") + c.args);
        EXPECT_EQ(run.code, c.code) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
#ifdef VX_SANITIZED
    setenv("ASAN_OPTIONS", kept.c_str(), 1);
#endif
}

} // namespace
