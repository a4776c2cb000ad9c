// vxhost on the command line: exit codes, messages, outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include "host/io/clip.h"
#include "host/io/clipfile.h"
#include "tests/host/cli_support.h"

namespace {

using namespace clitest;

TEST_F(Cli, InfoPrintsDescriptorOrRefuses)
{
    CliRun ok = vxhost("info " + plugin("VorluxMorph"));
    EXPECT_EQ(ok.code, 0);
    EXPECT_NE(ok.output.find("OP_TAG_CAPS          0x4F504500  0x00010228"), std::string::npos)
        << ok.output;
    EXPECT_NE(ok.output.find("parameter block  28 bytes"), std::string::npos);
    CliRun op = vxhost("info " + plugin("VorluxOp"));
    EXPECT_EQ(op.code, 0);
    EXPECT_NE(op.output.find("1  slider  label 221"), std::string::npos) << op.output;
    EXPECT_NE(op.output.find("range -100..100"), std::string::npos);

    std::ofstream(dir / "text.so") << "not a library\n";
    CliRun text = vxhost("info " + (dir / "text.so").string());
    EXPECT_EQ(text.code, 2);
    EXPECT_EQ(std::count(text.output.begin(), text.output.end(), '\n'), 1) << text.output;
    CliRun lib = vxhost(std::string("info ") + VX_PLATFORM_DIR + "/libvxres.so");
    EXPECT_EQ(lib.code, 2);
    EXPECT_NE(lib.output.find("missing GetOperatorInfo"), std::string::npos) << lib.output;
    EXPECT_EQ(vxhost("info").code, 2);
    EXPECT_EQ(vxhost("frobnicate").code, 2);

    // Plug-ins beside vxhost by name or kind; a file here comes first.
    const std::string fx = vxhost("info " + plugin("VorluxFX")).output;
    for (const char *name : {"fx", "FX", "VorluxFX", "VorluxFX.so"})
        EXPECT_EQ(vxhost(std::string("info ") + name).output, fx) << name;
    // A name longer than a file name can be is no plug-in either (it threw).
    for (const std::string &name : {std::string("nosuch"), std::string(300, 'm')}) {
        CliRun none = vxhost("info " + name);
        EXPECT_EQ(none.code, 2);
        EXPECT_NE(none.output.find(name + ": no such plug-in"), std::string::npos) << none.output;
    }
    const std::string here = shell("cd " + dir.string() + " && cp " + plugin("VorluxOp") +
                                   " fx && " VX_VXHOST " info fx")
                                 .output;
    EXPECT_EQ(here.substr(0, 12), "plug-in  fx\n");
    EXPECT_NE(here.find("Fade length"), std::string::npos) << here;
}

TEST_F(Cli, BadArgumentsExitTwo)
{
    const std::string out = (dir / "out.y4m").string();
    for (const std::string &args :
         {std::string("render"), "render " + plugin("VorluxWarp"),
          "render " + plugin("VorluxWarp") + " -o",
          "render " + plugin("VorluxWarp") + " -o " + out + " --gadget 4=1",
          "render " + plugin("VorluxWarp") + " -o " + out + " --gadget 1",
          "render " + plugin("VorluxWarp") + " -o " + out + " --fields 0",
          "render " + plugin("VorluxWarp") + " -o " + out + " --project 720",
          "render " + plugin("VorluxWarp") + " -o " + out + " --effect ../x",
          "render " + plugin("VorluxWarp") + " -o " + out + " --bogus"}) {
        CliRun r = vxhost(args, home);
        EXPECT_EQ(r.code, 2) << args << "\n" << r.output;
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(
        vxhost("render " + plugin("VorluxWarp"), home)
            .output.find("render needs -o OUT (.y4m, - for standard output, a PNG pattern "
                         "such as out_%04d.png, or a media file such as .mp4, .mov, .mkv or .avi)"),
        std::string::npos);
}

TEST_F(Cli, UnreadableInputsExitTwoAndWriteNothing)
{
    const std::string out = (dir / "out.y4m").string();
    std::ofstream(dir / "bad.y4m") << "YUV4MPEG2 W0 H0\nFRAME\n";
    const std::string good = smallClip("good.y4m", 16, 8, 2, 1);
    const std::string other = smallClip("other.y4m", 20, 8, 2, 2);
    for (const std::string &inputs :
         {"--input0 " + (dir / "missing.y4m").string(), "--input0 " + (dir / "bad.y4m").string(),
          "--input0 " + good + " --input1 " + other}) {
        CliRun r = vxhost("render " + plugin("VorluxMorph") + " -o " + out + " " + inputs, home);
        EXPECT_EQ(r.code, 2) << inputs << "\n" << r.output;
        EXPECT_NE(r.output.find("vxhost: "), std::string::npos);
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(Cli, RenderFailureNamesFieldAndJournal)
{
    const std::string out = (dir / "out.y4m").string();
    const std::string clip = smallClip("c.y4m", 16, 8, 2, 1);
    // A home too long for the operator directory: set-up fails inside the plug-in.
    const std::string longHome =
        (dir / std::string(200, 'h') / std::string(200, 'h') / std::string(120, 'h')).string();
    CliRun r = vxhost("render " + plugin("VorluxMorph") + " -o " + out + " --input0 " + clip +
                          " --input1 " + clip,
                      "VXHOME=" + longHome);
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_NE(r.output.find("src\\VorluxMorph"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("what failed: a path below VXHOME is too long"), std::string::npos)
        << r.output;
    EXPECT_FALSE(fs::exists(out));
}

// The build step behind the journal's reasons refuses a logging site
// without its reason and two sites one operator logs on the same line.
TEST_F(Cli, JournalSitesNeedReasonsAndDistinctLines)
{
    struct Case {
        std::string a, b; // a/x.cpp, b/y.cpp
        int code;
        std::string said;
    } cases[] = {
        {"\n  LOG_FAILURE(v); // journal: no memory\n", "int y;\n", 0, ""},
        {"  LOG_FAILURE(v);\n", "", 1, "a/x.cpp:1: a journal line without its reason"},
        {"\n  return fail(v, __LINE__); // journal:\n", "", 1, "a/x.cpp:2: a journal line"},
        {"\n  LOG_FAILURE(v); // journal: one\n", "\n  LOG_FAILURE(v); // journal: two\n", 1,
         "b/y.cpp:2: journal line 2 is also logged at a/x.cpp:2"},
    };
    for (const Case &c : cases) {
        fs::create_directories(dir / "src/a");
        fs::create_directories(dir / "src/b");
        std::ofstream(dir / "src/a/x.cpp") << c.a;
        std::ofstream(dir / "src/b/y.cpp") << c.b;
        const std::string out = (dir / "sites.inc").string();
        CliRun r = shell(std::string(VX_JOURNAL_SITES) + " " + out + " " + (dir / "src").string() +
                         " Op=a,b");
        EXPECT_EQ(r.code, c.code) << c.a << c.b << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
        if (c.code == 0) {
            std::ifstream in(out);
            const std::string table((std::istreambuf_iterator<char>(in)), {});
            EXPECT_NE(table.find("{\"a/x.cpp\", 2, \"no memory\"},"), std::string::npos) << table;
            EXPECT_NE(table.find("{\"Op\", \",a,b,\"},"), std::string::npos) << table;
        }
    }
}

TEST_F(Cli, RendersSmallClipsToY4mAndPng)
{
    const std::string a = smallClip("a.y4m", 16, 8, 3, 1);
    const std::string b = smallClip("b.y4m", 16, 8, 3, 2);
    const std::string out = (dir / "out.y4m").string();
    CliRun r = vxhost("render " + plugin("VorluxFX") + " -q -o " + out + " --input0 " + a +
                          " --input1 " + b,
                      home);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("rendered 6 fields"), std::string::npos) << r.output;
    vxh::Clip result, first;
    std::string err;
    ASSERT_TRUE(vxh::readClip(out, result, err)) << err;
    ASSERT_TRUE(vxh::readClip(a, first, err)) << err;
    ASSERT_EQ(result.frames.size(), 3u);
    // The default effect of the FX starts on input 0 alone, undeformed.
    EXPECT_EQ(result.frames[0], first.frames[0]);

    const std::string pattern = (dir / "f_%02d.png").string();
    r = vxhost("render " + plugin("VorluxWarp") + " -q -o " + pattern + " --input0 " + a +
                   " --fields 3",
               home);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(fs::exists(dir / "f_00.png"));
    EXPECT_TRUE(fs::exists(dir / "f_01.png")); // the odd last field makes a frame of its own
    EXPECT_FALSE(fs::exists(dir / "f_02.png"));
}

TEST_F(Cli, UnsetHomeUsesUserDataDirectory)
{
    const std::string clip = smallClip("c.y4m", 16, 8, 1, 1);
    CliRun r = vxhost("render " + plugin("VorluxWarp") + " -q -o " + (dir / "o.y4m").string() +
                          " --input0 " + clip + " --fields 2",
                      "env -u VXHOME XDG_DATA_HOME=" + (dir / "data").string());
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("VXHOME is not set; using " + (dir / "data").string() + "/vorlux"),
              std::string::npos)
        << r.output;
    EXPECT_TRUE(fs::is_directory(dir / "data/vorlux/programs/vorlux/spezial"));
}

TEST_F(Cli, ReadsY4mWrittenByAnotherTool)
{
    if (system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::string in = (dir / "ff.y4m").string();
    ASSERT_EQ(system(("ffmpeg -loglevel error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 4 "
                      "-pix_fmt yuv420p -y " +
                      in)
                         .c_str()),
              0);
    CliRun r = vxhost("render " + plugin("VorluxWarp") + " -q -o " + (dir / "o.y4m").string() +
                          " --input0 " + in,
                      home);
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("rendered 8 fields"), std::string::npos) << r.output;
}

} // namespace
