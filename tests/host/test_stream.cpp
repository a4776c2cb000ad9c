// vxhost as a streaming tool: pipes, fields, ranges, workers, checks and
// the faults found with bad input.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "fileio/effectcodec.h"
#include "host/io/png.h"
#include "host/io/input.h"
#include "host/io/output.h"
#include "host/io/reader.h"
#include "tests/host/cli_support.h"

namespace {

using namespace clitest;

std::string readAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Frame k as vxhost stores it: rows of a hash, so any misplaced line shows.
std::vector<uint32_t> hashFrame(int w, int h, int k)
{
    std::vector<uint32_t> f((size_t)w * h);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = (uint32_t)(i * 2654435761u + k * 7919u) | 0xFF000000u;
    return f;
}

// A FIFO is read as a pipe: frames asked in any order, more than the two
// kept decoded, come back from the spool exactly, whether asked of the input
// or of a reader decoding ahead on its own thread. A pipe cut off in frame 4
// fails there alone: frames before it still come back while the reader has
// already met the end.
TEST(InputClip, PipeAnswersAnyFrameInAnyOrder)
{
    const fs::path dir = fs::temp_directory_path() / ("vx-stream-" + std::to_string(getpid()));
    fs::create_directories(dir);
    vxh::Clip clip;
    clip.width = 12;
    clip.height = 6;
    for (int k = 0; k < 7; ++k)
        clip.frames.push_back(hashFrame(12, 6, k));
    std::string err;
    ASSERT_TRUE(vxh::writeClip((dir / "c.y4m").string(), clip, err)) << err;
    const std::string whole = readAll(dir / "c.y4m");
    const size_t frameBytes = (whole.size() - whole.find('\n') - 1) / 7;
    const struct {
        bool ahead;
        size_t bytes;
        std::vector<long> asked;
    } cases[] = {{false, whole.size(), {5, 0, 3, 6, 1, 5, 9}},
                 {true, whole.size(), {0, 1, 1, 5, 2, 6, 9, 3}},
                 {true, whole.size() - frameBytes * 3 + 10, {0, 1, 2, 3, 4}}};
    for (const auto &c : cases) {
        const std::string fifo = (dir / "fifo").string();
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer(
            [&] { std::ofstream(fifo, std::ios::binary).write(whole.data(), (long)c.bytes); });
        vxh::InputClip in;
        std::vector<std::string> warnings;
        ASSERT_TRUE(vxh::openInput(fifo, vxh::kDefaultMaxPixels, in, warnings, err)) << err;
        EXPECT_FALSE(in.seekable);
        vxh::FrameReader reader;
        if (c.ahead)
            vxh::startReader(reader, in, 0, 6, 2, nullptr);
        for (long k : c.asked) {
            bool repeated = false;
            const uint32_t *px =
                c.ahead ? vxh::readerFrame(reader, k, repeated, err) : vxh::frameAt(in, k, err);
            if (c.bytes < whole.size() && k == 4) {
                EXPECT_EQ(px, nullptr);
                EXPECT_NE(err.find("frame 4 is truncated"), std::string::npos) << err;
                continue;
            }
            ASSERT_NE(px, nullptr) << err;
            const auto &want = clip.frames[(size_t)std::min(k, 6L)];
            EXPECT_TRUE(std::equal(want.begin(), want.end(), px)) << "frame " << k;
            EXPECT_EQ(repeated, c.ahead && k > 6);
        }
        vxh::stopReader(reader);
        long frames = 0;
        EXPECT_EQ(vxh::countFrames(in, frames, err), c.bytes == whole.size());
        EXPECT_EQ(frames, c.bytes == whole.size() ? 7 : 0);
        vxh::closeInput(in);
        writer.join();
        fs::remove(fifo);
    }
    fs::remove_all(dir);
}

struct Stream : Cli {
    std::string effect(const std::string &name, const std::string &size, int frames)
    {
        CliRun r = vxhost("sample-effect " + name + " --size " + size + " --frames " +
                              std::to_string(frames),
                          home);
        EXPECT_EQ(r.code, 0) << r.output;
        return name;
    }
    std::string render(const std::string &args, int want = 0)
    {
        CliRun r = vxhost("render " + args, home);
        EXPECT_EQ(r.code, want) << args << "\n" << r.output;
        return r.output;
    }
};

// Pipes in and out, a FIFO output, field ranges stitched with tail and two
// worker processes all give the bytes of one whole render.
TEST_F(Stream, PipesRangesAndWorkersMatchAWholeRender)
{
    const std::string a = smallClip("a.y4m", 32, 12, 5, 1), b = smallClip("b.y4m", 32, 12, 5, 2);
    effect("fx", "32x6", 5);
    const std::string morph = plugin("VorluxMorph") + " -q --effect fx --input1 " + b;
    const fs::path whole = dir / "whole.y4m";
    render(morph + " --input0 " + a + " -o " + whole.string());
    const std::string expected = readAll(whole);
    ASSERT_GT(expected.size(), 100u);

    render(morph + " --input0 - -o - < " + a + " > " + (dir / "pipe.y4m").string());
    EXPECT_TRUE(readAll(dir / "pipe.y4m") == expected);
    render(morph + " --input0 " + a + " --jobs 2 -o " + (dir / "jobs.y4m").string());
    EXPECT_TRUE(readAll(dir / "jobs.y4m") == expected);
    render(morph + " --input0 - --jobs 3 -o - < " + a + " > " + (dir / "jobs3.y4m").string());
    EXPECT_TRUE(readAll(dir / "jobs3.y4m") == expected);
    render(morph + " --input0 " + a + " --range 0:4 -o " + (dir / "r0.y4m").string());
    render(morph + " --input0 " + a + " --range 4:100 -o " + (dir / "r1.y4m").string());
    ASSERT_EQ(
        system(
            ("cd " + dir.string() + " && { cat r0.y4m; tail -n +2 r1.y4m; } > ranges.y4m").c_str()),
        0);
    EXPECT_TRUE(readAll(dir / "ranges.y4m") == expected);
    render(morph + " --input0 " + a + " --range 3:6 -o " + (dir / "odd.y4m").string(), 2);

    const std::string fifo = (dir / "out.fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread reader(
        [&] { std::ofstream(dir / "fromfifo.y4m", std::ios::binary) << readAll(fifo); });
    render(morph + " --input0 " + a + " -o " + fifo);
    reader.join();
    EXPECT_TRUE(readAll(dir / "fromfifo.y4m") == expected);
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// The output keeps the input's header facts and size; an odd height comes
// back whole (VorluxWarp's default effect is the identity).
TEST_F(Stream, OutputKeepsHeaderFactsAndOddHeights)
{
    std::string body;
    for (int k = 0; k < 3; ++k) {
        body += "FRAME\n";
        for (int i = 0; i < 20 * 13 * 3; ++i)
            body += (char)((i * 7 + k * 13) % 251);
    }
    std::ofstream(dir / "odd.y4m", std::ios::binary)
        << "YUV4MPEG2 W20 H13 F30000:1001 Ib A16:15 C444 XCOLORRANGE=FULL\n"
        << body;
    const std::string in = " -q --input0 " + (dir / "odd.y4m").string() + " -o ";
    for (const char *flags : {"", " --top-first", " --progressive"}) {
        render(plugin("VorluxWarp") + in + (dir / "o.y4m").string() + " --pix-fmt 444" + flags);
        EXPECT_TRUE(readAll(dir / "o.y4m") ==
                    "YUV4MPEG2 W20 H13 F30000:1001 Ib A16:15 C444 XCOLORRANGE=FULL\n" + body)
            << flags;
    }
    render(plugin("VorluxWarp") + in + (dir / "o420.y4m").string() + " --pix-fmt 420");
    const std::string out = readAll(dir / "o420.y4m");
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "YUV4MPEG2 W20 H13 F30000:1001 Ib A16:15 C420jpeg XCOLORRANGE=FULL");
    EXPECT_EQ(out.size(), out.find('\n') + 1 + 3 * (6 + 20 * 13 + 2 * 10 * 7));
}

TEST_F(Stream, EffectChecksSayWhatIsWrong)
{
    const std::string a = smallClip("a.y4m", 32, 12, 2, 1);
    const std::string run = plugin("VorluxMorph") + " -q --input0 " + a + " --input1 sample -o " +
                            (dir / "o.y4m").string();
    effect("small", "16x4", 4);
    effect("whole", "32x12", 4);
    effect("fit", "32x6", 4);
    std::ofstream(dir / "home/programs/vorlux/torn", std::ios::binary) << std::string(30, '\0');
    struct Case {
        std::string args;
        int code;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {" --effect nothere", 2, {"programs/vorlux/nothere", "vxhost effects", "--size 32x6"}},
        {" --effect small",
         2,
         {"pictures of 16x4", "fields are 32x6",
          "`vxhost effect resize small small-32x6 --size 32x6`"}},
        {" --effect torn", 2, {"not an effect file"}},
        {" --effect small --allow-default-effect", 0, {"warning:", "rendering the default effect"}},
        {" --effect nothere --allow-default-effect", 0, {"rendering the default effect"}},
        {"",
         0,
         {"'untitled' has no effect file", "journal: level=4",
          "what failed: loading the effect: the file cannot be opened", "1 journal line(s)"}},
        {" --strict", 1, {"--strict"}},
        // The effect's size picks whole frames or fields, a flag forces them.
        {" --effect fit", 0, {"made for fields of 32x6: rendering each 32x12 frame as two fields"}},
        {" --effect whole",
         0,
         {"made for whole frames of 32x12: rendering them progressive",
          "warning: effect 'whole' has 4 frames but the clip has 2: its keys are rescaled"}},
        {" --effect whole --strict", 2, {"has 4 frames but the clip has 2", "--strict"}},
        {" --effect whole --interlaced",
         2,
         {"pictures of 32x12 but these fields are 32x6", "leave out --interlaced",
          "effect resize whole whole-32x6 --size 32x6"}},
        {" --effect fit --progressive",
         2,
         {"pictures of 32x6 but these whole frames are 32x12", "leave out --progressive"}},
    };
    for (const Case &c : cases) {
        CliRun r = vxhost("render " + run + c.args, home);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.output;
        for (const std::string &s : c.said)
            EXPECT_NE(r.output.find(s), std::string::npos) << c.args << ": " << s << "\n"
                                                           << r.output;
    }
    EXPECT_NE(vxhost("effects", home)
                  .output.find("small                       4 keys       4 frames  16x4  fields "
                               "of 16x8 frames, or whole frames of 16x4"),
              std::string::npos);
}

TEST_F(Stream, GadgetsAreCheckedAndStateShownResetAndLeftAloneWhenFresh)
{
    const std::string a = smallClip("a.y4m", 16, 8, 1, 1);
    const std::string op = plugin("VorluxOp") + " -q --input0 " + a +
                           " --input1 sample --fields 2 -o " + (dir / "o.y4m").string();
    for (const char *bad :
         {"--gadget 7=1", "--gadget 1=101", "--gadget 0=17", "--gadget Deformation=Nothing",
          "--gadget 3=1", "--press 9", "--gadget Amount=+5", "--reply ../x"})
        EXPECT_EQ(vxhost("render " + op + " " + bad, home).code, 2) << bad;
    render(op + " --gadget deformation=rotation --gadget Amount=60 --gadget 2=40");
    CliRun state = vxhost("state " + plugin("VorluxOp"), home);
    EXPECT_NE(state.output.find(" 9 Rotation                 amount 60"), std::string::npos)
        << state.output;
    EXPECT_NE(state.output.find("fade length 40 fields"), std::string::npos);
    render(op + " --fresh --gadget 1=-30");
    EXPECT_EQ(vxhost("state " + plugin("VorluxOp"), home).output, state.output);
    CliRun reset = vxhost("state " + plugin("VorluxOp") + " --reset", home);
    EXPECT_NE(reset.output.find("defaults (no saved state)"), std::string::npos) << reset.output;
    EXPECT_NE(reset.output.find(" 9 Rotation                 amount 0"), std::string::npos);
}

// The note on saved settings comes only when they differ from the defaults
// and the render uses them: the editor's view (the frame it was left on)
// is no render setting.
TEST_F(Stream, SavedSettingsAreNotedOnlyWhenTheRenderUsesThem)
{
    const std::string a = smallClip("a.y4m", 16, 8, 4, 1);
    const std::string inputs =
        " -q --input0 " + a + " --input1 " + a + " --fields 2 -o " + (dir / "o.y4m").string();
    const std::string script = (dir / "s.txt").string();
    std::ofstream(script) << "key 0x20E00B\nclose\n"; // to the last key, then leave
    effect("m", "16x4", 4);
    struct Case {
        std::string before, render;
        bool noted;
    } cases[] = {
        {"render " + plugin("VorluxOp") + inputs + " --gadget Amount=60", plugin("VorluxOp"), true},
        {"state " + plugin("VorluxOp") + " --reset", plugin("VorluxOp"), false},
        {"edit " + plugin("VorluxMorph") + " -q --effect m --input0 " + a + " --input1 " + a +
             " --script " + script,
         plugin("VorluxMorph") + " --effect m", false},
    };
    for (const Case &c : cases) {
        CliRun before = vxhost(c.before, home);
        EXPECT_EQ(before.code, 0) << c.before << "\n" << before.output;
        const std::string said = render(c.render + inputs);
        EXPECT_EQ(said.find("uses its saved settings") != std::string::npos, c.noted)
            << c.before << "\n"
            << said;
    }
}

// Commands that only read make nothing, not even $VXHOME.
TEST_F(Stream, ReadOnlyCommandsMakeNothing)
{
    const std::string none = "VXHOME=" + (dir / "none").string();
    for (const std::string &command :
         {std::string("effects"), "info " + plugin("VorluxOp"), "state " + plugin("VorluxOp"),
          "state " + plugin("VorluxOp") + " --reset", std::string("--help"),
          std::string("render --help"), std::string("")}) {
        vxhost(command, none);
        EXPECT_FALSE(fs::exists(dir / "none")) << command;
    }
}

TEST_F(Stream, InterruptedRunKeepsTheEarlierOutput)
{
    const fs::path out = dir / "o.y4m";
    std::ofstream(out) << "earlier";
    const std::string cmd = "VXHOME=" + (dir / "home").string() + " exec " VX_VXHOST " render " +
                            plugin("VorluxMorph") +
                            " -q --fields 10 --input0 - --input1 sample -o " + out.string() +
                            " < " + (dir / "fifo").string();
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), (char *)nullptr);
        _exit(127);
    }
    // One frame arrives, the next never does: the run waits on the pipe
    // with the first frame written to its temporary.
    const int fd = open((dir / "fifo").c_str(), O_WRONLY);
    const std::string frame = "YUV4MPEG2 W16 H8 C444\nFRAME\n" + std::string(16 * 8 * 3, '\x50');
    ASSERT_EQ(write(fd, frame.data(), frame.size()), (ssize_t)frame.size());
    while (!catches(pid, SIGINT) && waitpid(pid, nullptr, WNOHANG) == 0)
        usleep(1000);
    usleep(300000);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fd);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_TRUE(fs::exists(dir / "home")); // the run got as far as its home
    EXPECT_EQ(readAll(out), "earlier");
    for (const auto &e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
}

// Each input a user reported, with the answer now given.
TEST_F(Stream, BadInputEndsInAClearMessage)
{
    const std::string d = dir.string();
    // A small PNG declaring 16384 x 16384.
    const unsigned char ihdr[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0,    0, 0,    13,
                                  'I',  'H', 'D', 'R', 0,    0,    0x40, 0,    0,    0, 0x40, 0,
                                  8,    6,   0,   0,   0,    0xa9, 0xc8, 0x10, 0x84, 0, 0,    0,
                                  0,    'I', 'D', 'A', 'T',  0x35, 0xaf, 0x06, 0x1e};
    std::ofstream(dir / "huge.png", std::ios::binary).write((const char *)ihdr, sizeof ihdr);
    std::ofstream(dir / "bad.y4m", std::ios::binary) << "YUV4MPEG2 W16 H8 Q\x01\xff\n";
    fs::create_directories(dir / "adir");
    fs::create_directories(dir / "home2");
    std::ofstream(dir / "home2/programs") << "a file";
    fs::create_directories(dir / "home/programs/vorlux");
    ASSERT_EQ(mkfifo((dir / "home/programs/vorlux/fifo").c_str(), 0600), 0);
    const std::string warp = "render " + plugin("VorluxWarp") + " -q -o " + d + "/o.y4m ";
    struct Case {
        std::string args, env, said;
    };
    const Case cases[] = {
        {warp + "--input0 " + d + "/huge.png", "", "exceed the limit"},
        {warp + "--input0 ''", "", "empty"},
        {warp + "--input0 " + d + "/adir", "", "is a directory"},
        {warp + "--input0 " + d + "/bad.y4m", "", "'Q\\x01\\xff'"},
        {warp + "--fields ' 5'", "", "--fields"},
        {warp + "--fields 5x", "", "--fields"},
        {warp + "--fields +5", "", "--fields"},
        {warp + "--project 4x2 --project-size", "", "cannot render"},
        {"render " + plugin("VorluxMorph") + " -q -o " + d + "/o.y4m --effect fifo", "",
         "not a regular file"},
        {"samples /etc/passwd/sub", "", "/etc/passwd/sub"},
        {"samples /dev/full", "", "/dev/full"},
        {"sample-effect x", "VXHOME=" + d + "/home2", "programs"},
        {"sample-effect x --frames 2147483647", "", "--frames"},
        {"contact " + d + "/sheet.jpg " + d + "/o.y4m", "", "PNG"},
    };
    for (const Case &c : cases) {
        CliRun r = vxhost(c.args, c.env.empty() ? home : c.env);
        EXPECT_EQ(r.code, 2) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_EQ(r.output.find("terminate"), std::string::npos) << r.output;
    }
    EXPECT_FALSE(fs::exists(dir / "o.y4m"));
    // FIFOs in the journal's and the instance state's places are not waited on.
    fs::create_directories(dir / "home/log");
    fs::create_directories(dir / "home/vxhost/instances");
    ASSERT_EQ(mkfifo((dir / "home/log/journal").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir / "home/vxhost/instances/VorluxWarp.so.untitled").c_str(), 0600), 0);
    CliRun fifos = vxhost(warp + "--fields 2", home + " timeout 30");
    EXPECT_EQ(fifos.code, 0) << fifos.output;
    EXPECT_NE(fifos.output.find("journal: level=4"), std::string::npos) << fifos.output;
}

TEST_F(Stream, DoubtfulInputsWarnAndFailWhenStrict)
{
    const std::string a = smallClip("a.y4m", 16, 8, 3, 1), b = smallClip("b.y4m", 16, 8, 1, 2);
    std::string slow = readAll(b);
    slow.replace(slow.find("F25:1"), 5, "F50:1");
    std::ofstream(dir / "slow.y4m", std::ios::binary) << slow;
    std::string err;
    for (int k : {0, 1, 3}) // a gap after frame 1
        ASSERT_TRUE(vxh::writePng((dir / ("p_00" + std::to_string(k) + ".png")).string(), 16, 8,
                                  hashFrame(16, 8, k).data(), err))
            << err;
    const std::string run =
        plugin("VorluxMorph") + " -q -o " + (dir / "o.y4m").string() + " --input0 ";
    struct Case {
        std::string inputs, said;
    };
    const Case cases[] = {
        {a + " --input1 " + (dir / "slow.y4m").string(), "runs at 50:1 frames/s"},
        {a + " --input1 " + b, "has 1 frames, fewer than the render needs"},
        {(dir / "p_%03d.png").string() + " --input1 sample", "p_003.png are not read"},
    };
    for (const Case &c : cases) {
        CliRun loose = vxhost("render " + run + c.inputs, home);
        EXPECT_EQ(loose.code, 0) << loose.output;
        EXPECT_NE(loose.output.find("warning: "), std::string::npos) << loose.output;
        EXPECT_NE(loose.output.find(c.said), std::string::npos) << loose.output;
        EXPECT_EQ(vxhost("render --strict " + run + c.inputs, home).code, 2) << c.inputs;
    }
    // A clip of one frame is two fields, not a still.
    CliRun one = vxhost("render " + plugin("VorluxWarp") + " -q -o " + (dir / "one.y4m").string() +
                            " --input0 " + b,
                        home);
    EXPECT_NE(one.output.find("rendered 2 fields"), std::string::npos) << one.output;
    // A shorter PNG sequence over a longer one says what it left.
    const std::string pngs =
        plugin("VorluxWarp") + " -q --input0 " + a + " -o " + (dir / "o_%02d.png").string();
    EXPECT_EQ(vxhost("render " + pngs, home).code, 0);
    CliRun shorter = vxhost("render " + pngs + " --fields 2", home);
    EXPECT_NE(shorter.output.find("older frames " + (dir / "o_01.png").string() + " .. " +
                                  (dir / "o_02.png").string() + " were left"),
              std::string::npos)
        << shorter.output;
}

TEST_F(Stream, SampleEffectKeepsTheUsersWorkAndCommandsExplainThemselves)
{
    effect("mine", "16x4", 4);
    const std::string path = (dir / "home/programs/vorlux/mine").string();
    const std::string before = readAll(path);
    CliRun again = vxhost("sample-effect mine --size 32x8", home);
    EXPECT_EQ(again.code, 2);
    EXPECT_NE(again.output.find("--force"), std::string::npos);
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(vxhost("sample-effect mine --size 32x8 --force", home).code, 0);
    EXPECT_NE(readAll(path), before);
    for (const char *command :
         {"render", "state", "effects", "sample-effect", "effect", "samples", "contact", "info"}) {
        CliRun help = vxhost(std::string(command) + " --help");
        EXPECT_EQ(help.code, 0);
        EXPECT_EQ(help.output.rfind(std::string("usage: vxhost ") + command, 0), 0u) << help.output;
    }
    EXPECT_EQ(vxhost("--version").output.rfind("vxhost ", 0), 0u);
}

// Sample effects for fields or whole frames, effects resized to new names
// (never over the user's work), and the listing's fit to a clip.
TEST_F(Stream, EffectsAreMadeAndResizedForFieldsOrWholeFrames)
{
    vxh::Clip clip;
    clip.width = 32;
    clip.height = 12;
    clip.interlace = 'p';
    clip.frames.assign(6, std::vector<uint32_t>(32 * 12, 0xFF808080u));
    const std::string like = " --like " + (dir / "p.y4m").string();
    std::string why;
    ASSERT_TRUE(vxh::writeClip((dir / "p.y4m").string(), clip, why)) << why;
    effect("mine", "16x4", 4);
    const fs::path effects = dir / "home/programs/vorlux";
    const struct Case {
        std::string args;
        int code;
        const char *says, *name;
        int width, height;
        uint32_t frames;
    } cases[] = {
        {"sample-effect pro --progressive", 0, "whole frames of 720x576", "pro", 720, 576, 50},
        {"sample-effect pl" + like, 0, "whole frames of 32x12", "pl", 32, 12, 6},
        {"sample-effect il --interlaced" + like, 0, "fields of 32x6", "il", 32, 6, 6},
        {"effect resize mine big --size 32x8", 0, "(16x4, 4 frames) resized to 'big' (32x8, 4",
         "big", 32, 8, 4},
        {"effect resize mine big --size 64x8", 2, "big exists", "big", 32, 8, 4},
        {"effect resize mine big --size 64x8 --force", 0, "(64x8, 4 frames)", "big", 64, 8, 4},
        {"effect resize mine long --frames 9", 0, "(16x4, 9 frames)", "long", 16, 4, 9},
        {"effect resize mine lk" + like, 0, "for whole frames", "lk", 32, 12, 6},
        {"effect resize mine mine --size 32x8", 2, "another name", "mine", 16, 4, 4},
        {"effect resize nothere x --size 32x8", 2, "effect 'nothere' not found", nullptr, 0, 0, 0},
        {"effect resize mine x", 2, "needs --size WxH, --like CLIP or --frames N", nullptr, 0, 0,
         0},
        {"effect resize mine x --progressive --interlaced", 2, "opposite", nullptr, 0, 0, 0},
        {"effect mine x", 2, "`vxhost effect resize FROM TO --size WxH`", nullptr, 0, 0, 0},
    };
    for (const Case &c : cases) {
        const CliRun r = vxhost(c.args, home);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
        if (!c.name)
            continue;
        EffectHeader h;
        decodeEffectHeader((const unsigned char *)readAll(effects / c.name).data(), h);
        EXPECT_EQ(h.width, c.width) << c.args;
        EXPECT_EQ(h.height, c.height) << c.args;
        EXPECT_EQ(h.frameCount, c.frames) << c.args;
    }
    EXPECT_FALSE(fs::exists(effects / "x"));
    const std::string listed = vxhost("effects" + like, home).output;
    for (const char *line : {"pl                          4 keys       6 frames  32x12  fits: "
                             "whole frames of this clip",
                             "il                          4 keys       6 frames  32x6  fits: "
                             "fields of this clip",
                             "mine                        4 keys       4 frames  16x4  another "
                             "size than this clip: `vxhost effect resize mine mine-32x12 --like"})
        EXPECT_NE(listed.find(line), std::string::npos) << line << "\n" << listed;
}

} // namespace
