// vxhost auto-key: keys found by optical flow recover a known deformation
// and line the pictures up when rendered; bad invocations write nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "fileio/effectcodec.h"
#include "tests/host/cli_support.h"

namespace {

using namespace clitest;

constexpr int kW = 160, kH = 120, kFrames = 5;
constexpr double kPi = 3.14159265358979;

// The deformation input 1 is made with, in pixels: in1(p) = in0(p + d(p)).
void knownShift(double x, double y, double &dx, double &dy)
{
    dx = 3.0 * std::sin(2 * kPi * y / kH);
    dy = 2.0 * std::cos(2 * kPi * x / kW);
}

// A smooth, non-repeating texture: luma in studio range.
uint32_t textureAt(double x, double y)
{
    const double v = 126 + 38 * std::sin(0.23 * x + 0.05 * y) +
                     30 * std::sin(0.19 * y - 0.08 * x) * std::cos(0.11 * x) +
                     22 * std::sin(0.047 * x * y / 9 + 0.3 * std::cos(0.05 * y));
    return vxh::packYuva((uint8_t)std::lround(std::clamp(v, 16.0, 235.0)), 128, 128, 255);
}

std::string writeTextureClip(const fs::path &path, bool deformed)
{
    vxh::Clip clip;
    clip.width = kW;
    clip.height = kH;
    clip.interlace = 'p';
    std::vector<uint32_t> frame((size_t)kW * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            double dx = 0, dy = 0;
            if (deformed)
                knownShift(x, y, dx, dy);
            frame[(size_t)y * kW + x] = textureAt(x + dx, y + dy);
        }
    clip.frames.assign(kFrames, frame);
    std::string err;
    EXPECT_TRUE(vxh::writeClip(path.string(), clip, err)) << err;
    return path.string();
}

struct Key {
    uint32_t frame;
    int32_t level;
    std::vector<float> grid;
};

std::vector<Key> readKeys(const fs::path &path, EffectHeader &h)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    decodeEffectHeader(bytes.data(), h);
    const size_t nodes = effectNodeCount(h.width, h.height);
    std::vector<Key> keys;
    const unsigned char *at = bytes.data() + EFFECT_HEADER_BYTES;
    for (uint32_t k = 0; k < h.keyCount; ++k, at += effectKeyBytes(h.width, h.height)) {
        Key key{0, 0, std::vector<float>(2 * nodes)};
        decodeKeyHead(at, key.frame, key.level);
        decodeNodes(at + EFFECT_KEY_HEAD_BYTES, nodes, key.grid.data());
        keys.push_back(key);
    }
    return keys;
}

double meanLumaDifference(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs((int)vxh::pixY(a[i]) - (int)vxh::pixY(b[i]));
    return sum / (double)a.size();
}

// RMS distance in frame pixels, over the nodes 12 pixels or more inside
// the frame, between a key grid and the known deformation; `fieldLines` is
// 2 when the grid is a field's (each of its lines two frame lines apart).
double meshError(const std::vector<float> &grid, int fieldLines, int &nodes)
{
    const int cols = kW / 4, rows = kH / fieldLines / 2;
    double squares = 0;
    nodes = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const double x = c * 4.0, y = r * 2.0 * fieldLines;
            if (x < 12 || y < 12 || x > kW - 12 || y > kH - 12)
                continue;
            double dx, dy;
            knownShift(x, y, dx, dy);
            const float *node = &grid[2 * ((size_t)r * cols + c)];
            squares +=
                std::pow(node[0] * 4.0 - dx, 2) + std::pow(node[1] * 2.0 * fieldLines - dy, 2);
            ++nodes;
        }
    return std::sqrt(squares / nodes);
}

std::map<std::string, std::string> filesBelow(const fs::path &dir)
{
    std::map<std::string, std::string> files;
    for (auto &e : fs::recursive_directory_iterator(dir)) {
        if (e.is_directory())
            continue;
        std::ifstream in(e.path(), std::ios::binary);
        files[e.path().string()] = std::string((std::istreambuf_iterator<char>(in)), {});
    }
    return files;
}

TEST_F(Cli, AutoKeyRecoversAKnownDeformation)
{
    const std::string in0 = writeTextureClip(dir / "in0.y4m", false);
    const std::string in1 = writeTextureClip(dir / "in1.y4m", true);
    const fs::path effect = dir / "home/programs/vorlux/k";
    // Keys on 0, 1, 2 and 4 with levels 0, 64, 192, 255.
    ASSERT_EQ(vxhost("sample-effect k --size 160x120 --frames 5 --progressive", home).code, 0);
    EffectHeader h;
    const std::vector<Key> sample = readKeys(effect, h);
    ASSERT_EQ(sample.size(), 4u);

    const std::string keyArgs = "auto-key morph --effect k -i " + in0 + " -i " + in1;
    CliRun run = vxhost(keyArgs + " --frames 2,3", home);
    ASSERT_EQ(run.code, 0) << run.output;
    run = vxhost(keyArgs + " --frames 3 --level 0", home);
    ASSERT_EQ(run.code, 0) << run.output;
    printf("%s", run.output.c_str());

    // Key 2 replaced at its own level, key 3 new at the level it had
    // (192 + 255) / 2 truncated, then set to 0; the others untouched.
    const std::vector<Key> keys = readKeys(effect, h);
    ASSERT_EQ(keys.size(), 5u);
    const uint32_t frames[] = {0, 1, 2, 3, 4};
    const int32_t levels[] = {0, 64, 192, 0, 255};
    for (size_t k = 0; k < keys.size(); ++k) {
        EXPECT_EQ(keys[k].frame, frames[k]);
        EXPECT_EQ(keys[k].level, levels[k]);
    }
    EXPECT_EQ(keys[0].grid, sample[0].grid);
    EXPECT_EQ(keys[1].grid, sample[1].grid);
    EXPECT_EQ(keys[4].grid, sample[3].grid);
    EXPECT_NE(keys[2].grid, sample[2].grid);
    const std::string first = vxhost(keyArgs + " --frames 2 --levels 7", home).output;
    EXPECT_NE(first.find("frame 2: level 7"), std::string::npos) << first;

    int nodes = 0;
    const double rms = meshError(keys[3].grid, 1, nodes);
    EXPECT_LT(rms, 1.0);

    // Rendered at the key (level 0: input 0 through the key's mesh alone),
    // input 0 lines up with input 1.
    run = vxhost("render morph --effect k -q --input0 " + in0 + " --input1 " + in1 + " -o " +
                     (dir / "out.y4m").string(),
                 home);
    ASSERT_EQ(run.code, 0) << run.output;
    vxh::Clip out, a, b;
    std::string err;
    ASSERT_TRUE(vxh::readClip((dir / "out.y4m").string(), out, err)) << err;
    ASSERT_TRUE(vxh::readClip(in0, a, err) && vxh::readClip(in1, b, err)) << err;
    const double before = meanLumaDifference(a.frames[3], b.frames[3]);
    const double after = meanLumaDifference(out.frames[3], b.frames[3]);
    printf("known deformation: mesh RMS error %.3f px over %d nodes; luma difference at the key "
           "%.2f unwarped, %.2f warped (%.0f%% lower)\n",
           rms, nodes, before, after, 100 * (1 - after / before));
    EXPECT_LT(after, 0.4 * before);
}

// Fields: a new effect for the fields of the frames, started as the
// plug-in starts one, with the key's vertical displacement in field lines.
TEST_F(Cli, AutoKeyStartsAFieldEffect)
{
    const std::string in0 = writeTextureClip(dir / "in0.y4m", false);
    const std::string in1 = writeTextureClip(dir / "in1.y4m", true);
    const CliRun run =
        vxhost("auto-key draw --effect f --frames 2 --interlaced -i " + in0 + " -i " + in1, home);
    ASSERT_EQ(run.code, 0) << run.output;
    EffectHeader h;
    const std::vector<Key> keys = readKeys(dir / "home/programs/vorlux/f", h);
    EXPECT_EQ(h.width, kW);
    EXPECT_EQ(h.height, kH / 2);
    EXPECT_EQ(h.frameCount, (uint32_t)kFrames);
    ASSERT_EQ(keys.size(), 3u);
    const uint32_t frames[] = {0, 2, 4};
    const int32_t levels[] = {0, 127, 255};
    for (size_t k = 0; k < keys.size(); ++k) {
        EXPECT_EQ(keys[k].frame, frames[k]);
        EXPECT_EQ(keys[k].level, levels[k]);
    }
    EXPECT_EQ(keys[0].grid, std::vector<float>(keys[0].grid.size(), 0.0f));
    int nodes = 0;
    const double rms = meshError(keys[1].grid, 2, nodes);
    printf("fields: mesh RMS error %.3f px over %d nodes\n", rms, nodes);
    EXPECT_LT(rms, 1.0);
}

TEST_F(Cli, AutoKeyRefusesBadInvocations)
{
    const std::string in0 = writeTextureClip(dir / "in0.y4m", false);
    const std::string in1 = writeTextureClip(dir / "in1.y4m", true);
    const std::string small = smallClip("small.y4m", 80, 60, kFrames, 1);
    ASSERT_EQ(vxhost("sample-effect k --size 160x120 --frames 5 --progressive", home).code, 0);
    ASSERT_EQ(vxhost("sample-effect long --size 160x120 --frames 9 --progressive", home).code, 0);
    const std::string inputs = " -i " + in0 + " -i " + in1;
    const struct {
        std::string args, says;
    } cases[] = {
        {"nosuch --effect k --frames 1" + inputs, "nosuch"},
        {"warp --effect k --frames 1" + inputs, "morph and draw plug-ins only"},
        {"morph --effect k --frames 5" + inputs, "frame 5 is past the clip"},
        {"morph --effect k --frames 1 --level 256" + inputs, "--level takes"},
        {"morph --effect k --frames 1,2 --levels 1,2,3" + inputs, "3 levels for 2 frames"},
        {"morph --effect k --frames 1 --flow lucas" + inputs, "--flow takes"},
        {"morph --effect k" + inputs, "needs --frames"},
        {"morph --effect k --frames 1 -i " + in0, "two inputs"},
        {"draw --effect k --frames 1 -i " + in0 + " -i " + small, "must have one size"},
        {"morph --effect k --frames 1 -i " + in0 + " -i " + (dir / "none.y4m").string(),
         "none.y4m"},
        {"morph --effect long --frames 1" + inputs, "effect resize"},
    };
    const auto files = filesBelow(dir / "home");
    for (const auto &c : cases) {
        const CliRun run = vxhost("auto-key " + c.args + " --progressive", home);
        EXPECT_EQ(run.code, 2) << c.args << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.args << "\n" << run.output;
        EXPECT_EQ(filesBelow(dir / "home"), files) << c.args;
    }
}

} // namespace
