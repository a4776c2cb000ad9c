// The share of input 1 that vxhost computes for mixed sound is the one the
// plug-ins render: with input 0 black and input 1 white, every output
// pixel's Y is the field's dissolve level.
#include "cli_support.h"

#include "host/cli/dissolve.h"
#include "host/cli/sampleeffect.h"
#include "host/core/fields.h"
#include "host/core/pixels.h"

namespace {

using namespace clitest;

std::string flatClip(const fs::path &dir, const std::string &name, uint8_t y, int frames)
{
    vxh::Clip clip;
    clip.width = 32;
    clip.height = 16;
    clip.frames.assign(size_t(frames),
                       std::vector<uint32_t>(32 * 16, vxh::packYuva(y, 128, 128, 255)));
    std::string path = (dir / name).string(), err;
    EXPECT_TRUE(vxh::writeClip(path, clip, err)) << err;
    return path;
}

// Y of each rendered field, top field first.
std::vector<int> fieldLevels(const std::string &path)
{
    vxh::Clip out;
    std::string err;
    EXPECT_TRUE(vxh::readClip(path, out, err)) << err;
    std::vector<int> levels;
    for (const std::vector<uint32_t> &frame : out.frames)
        for (int line : {0, 1})
            levels.push_back(vxh::pixY(frame[size_t(line * out.width)]));
    return levels;
}

TEST_F(Cli, MixLevelsAreThePicturesDissolve)
{
    const std::string black = flatClip(dir, "black.y4m", 0, 20),
                      white = flatClip(dir, "white.y4m", 255, 20);
    std::string err;
    fs::create_directories(dir / "home/programs/vorlux");
    const std::string effect = (dir / "home/programs/vorlux/s").string();
    // Made for 13 frames: rendered over 20 its keys are rescaled.
    ASSERT_TRUE(vxh::writeSampleEffect(effect, 32, 8, 13, err)) << err;
    struct Case {
        const char *plugin, *args;
        long fields;
    } cases[] = {
        {"VorluxMorph", "--effect s", 40},
        {"VorluxMorph", "--effect s --fields 26", 26},
        {"VorluxFX", "--effect s --fields 31", 31},
        {"VorluxMorph", "--effect none --allow-default-effect", 40},
        {"VorluxOp", "--gadget 1=0 --gadget 2=7", 40},
        {"VorluxOp", "--gadget 1=0 --gadget 2=300 --fields 36", 36},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.plugin) + " " + c.args);
        const CliRun run =
            vxhost("render " + plugin(c.plugin) + " --fresh -q --input0 " + black + " --input1 " +
                       white + " -o " + (dir / "o.y4m").string() + " " + c.args,
                   home);
        ASSERT_EQ(run.code, 0) << run.output;
        std::vector<int> expected;
        if (std::string(c.plugin) == "VorluxOp") {
            const uint32_t length =
                std::string(c.args).find("2=300") != std::string::npos ? 300 : 7;
            for (long f = 0; f < c.fields; ++f)
                expected.push_back(vxh::crossFadeShare(uint32_t(c.fields), length, uint32_t(f)));
        } else {
            expected = vxh::keyLevels(
                vxh::renderedKeys(
                    (dir / "home/programs/vorlux" /
                     (std::string(c.args).find("none") != std::string::npos ? "none" : "s"))
                        .string(),
                    32, 8, uint32_t(c.fields)),
                0, c.fields);
        }
        std::vector<int> rendered = fieldLevels((dir / "o.y4m").string());
        rendered.resize(size_t(c.fields));
        EXPECT_EQ(rendered, expected);
        EXPECT_NE(std::count(expected.begin(), expected.end(), 0), long(expected.size()));
    }
}

} // namespace
