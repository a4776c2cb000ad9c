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
    const fs::path effects = dir / "home/programs/vorlux";
    fs::create_directories(effects);
    // Made for 13 and 17 frames: rendered over 20 their keys are rescaled.
    ASSERT_TRUE(vxh::writeSampleEffect((effects / "s").string(), 32, 8, 13, false, err)) << err;
    ASSERT_TRUE(vxh::writeSampleEffect((effects / "w").string(), 32, 16, 17, true, err)) << err;
    struct Case {
        const char *plugin, *args;
        long fields;
        const char *effect; // its keys' levels; null: the cross-fade
        uint32_t fade;      // the cross-fade's length
    } cases[] = {
        {"VorluxMorph", "--effect s", 40, "s", 0},
        {"VorluxMorph", "--effect s --fields 26", 26, "s", 0},
        {"VorluxFX", "--effect s --fields 31", 31, "s", 0},
        {"VorluxMorph", "--effect none --allow-default-effect", 40, "none", 0},
        {"VorluxMorph", "--effect w --progressive", 40, "w", 0},
        {"VorluxOp", "--gadget 1=0 --gadget 2=7", 40, nullptr, 7},
        {"VorluxOp", "--gadget 1=0 --gadget 2=300 --fields 36", 36, nullptr, 300},
        {"VorluxOp", "--gadget 1=0 --gadget 2=9 --progressive", 40, nullptr, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.plugin) + " " + c.args);
        const CliRun run =
            vxhost("render " + plugin(c.plugin) + " --fresh -q --input0 " + black + " --input1 " +
                       white + " -o " + (dir / "o.y4m").string() + " " + c.args,
                   home);
        ASSERT_EQ(run.code, 0) << run.output;
        const bool progressive = std::string(c.args).find("progressive") != std::string::npos;
        std::vector<int> expected;
        if (c.effect)
            expected = vxh::keyLevels(vxh::renderedKeys((effects / c.effect).string(), 32,
                                                        progressive ? 16 : 8, uint32_t(c.fields)),
                                      0, c.fields);
        for (long f = 0; !c.effect && f < c.fields; ++f)
            expected.push_back(vxh::crossFadeShare(uint32_t(c.fields), c.fade, uint32_t(f)));
        // Progressive, a frame is its first field rendered whole.
        for (size_t f = 1; progressive && f < expected.size(); f += 2)
            expected[f] = expected[f - 1];
        std::vector<int> rendered = fieldLevels((dir / "o.y4m").string());
        rendered.resize(size_t(c.fields));
        EXPECT_EQ(rendered, expected);
        EXPECT_NE(std::count(expected.begin(), expected.end(), 0), long(expected.size()));
    }
}

} // namespace
