// The shared file helpers: whole-file replacement, regular-file opening and
// the effect file's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"
#include "fileio/effectfiles.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct FileIo : ::testing::Test {
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("vx-fileio-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    size_t entries() const { return (size_t)std::distance(fs::directory_iterator(dir), {}); }
};

TEST_F(FileIo, ReplacementIsWholeKeepsModeAndLeavesNoTemporary)
{
    const std::string path = (dir / "f").string();
    std::ofstream(path) << "old contents, longer than the new";
    chmod(path.c_str(), 0640);
    ASSERT_EQ(atomicWriteFile(path.c_str(), "new", 3), 0);
    EXPECT_EQ(readAll(path), "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), 1u);

    // An abandoned write keeps the old file; a missing directory fails cleanly.
    AtomicFile file;
    ASSERT_EQ(atomicOpen(path.c_str(), &file), 0);
    fputs("partial", file.stream);
    atomicAbandon(&file);
    EXPECT_EQ(readAll(path), "new");
    EXPECT_EQ(entries(), 1u);
    EXPECT_EQ(atomicWriteFile((dir / "no/such").c_str(), "x", 1), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileIo, OnlyRegularFilesAreOpened)
{
    std::ofstream(dir / "plain") << "x";
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    FILE *plain = openRegularFile((dir / "plain").c_str());
    ASSERT_NE(plain, nullptr);
    fclose(plain);
    const struct {
        fs::path path;
        int err;
    } refused[] = {{dir / "fifo", EINVAL}, {dir, EISDIR}, {dir / "missing", ENOENT}};
    for (const auto &r : refused) {
        errno = 0;
        EXPECT_EQ(openRegularFile(r.path.c_str()), nullptr) << r.path;
        EXPECT_EQ(errno, r.err) << r.path;
    }
}

TEST(EffectCodec, BytesAreLittleEndianAndRoundTrip)
{
    unsigned char header[EFFECT_HEADER_BYTES];
    encodeEffectHeader({EFFECT_MAGIC, 50, 720, 288, 4}, header);
    const unsigned char want[EFFECT_HEADER_BYTES] = {0x00, 0x01, 0x58, 0x56, 50, 0, 0, 0, 0xD0, 2,
                                                     0,    0,    0x20, 1,    0,  0, 4, 0, 0,    0};
    EXPECT_EQ(memcmp(header, want, sizeof want), 0);
    EffectHeader back;
    decodeEffectHeader(header, back);
    EXPECT_EQ(back.width, 720);
    EXPECT_EQ(back.keyCount, 4u);

    unsigned char head[EFFECT_KEY_HEAD_BYTES], nodes[2 * EFFECT_NODE_BYTES];
    encodeKeyHead(7, -3, head);
    uint32_t frame;
    int32_t level;
    decodeKeyHead(head, frame, level);
    EXPECT_EQ(frame, 7u);
    EXPECT_EQ(level, -3);
    const float pairs[4] = {1.5f, -2.0f, 0.1f, -0.0f};
    encodeNodes(pairs, 2, nodes);
    EXPECT_EQ(nodes[3], 0x3F); // 1.5f = 3F C0 00 00, stored low byte first
    EXPECT_EQ(nodes[2], 0xC0);
    float out[4];
    decodeNodes(nodes, 2, out);
    EXPECT_EQ(memcmp(out, pairs, sizeof pairs), 0);
}

TEST(EffectCodec, LayoutFaultsAreNamed)
{
    const uint64_t key = effectKeyBytes(8, 4); // 8 + 2 x 2 nodes x 8
    ASSERT_EQ(key, 40u);
    const struct {
        EffectHeader header;
        uint64_t bytes;
        bool fine;
    } cases[] = {
        {{EFFECT_MAGIC, 2, 8, 4, 2}, 20 + 2 * key, true},
        {{EFFECT_MAGIC, 2, 8, 4, 2}, 20 + 2 * key - 1, false},
        {{EFFECT_MAGIC, 2, 8, 4, 2}, 19, false},
        {{EFFECT_MAGIC + 1, 2, 8, 4, 2}, 20 + 2 * key, false},
        {{EFFECT_MAGIC, 0, 8, 4, 2}, 20 + 2 * key, false},
        {{EFFECT_MAGIC, 2, 8, 4, 0}, 20, false},
        {{EFFECT_MAGIC, 2, 3, 4, 1}, 1000, false},
        {{EFFECT_MAGIC, 2, 8, 4, 0xFFFFFFFFu}, 20 + 2 * key, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(effectLayoutFault(c.header, c.bytes) == nullptr, c.fine)
            << c.header.magic << " " << c.header.keyCount << " " << c.bytes;
}

} // namespace

namespace {

// A smooth deformation as fractions of the picture, the same on any size.
void smoothShift(double u, double v, double &dx, double &dy)
{
    dx = 0.01 * std::sin(6.283185307179586 * u) * std::sin(3.141592653589793 * v) + 0.005;
    dy = 0.008 * std::cos(3.141592653589793 * u) * std::sin(6.283185307179586 * v);
}

// The effect's key grid (2 floats a node) of the smooth shift sampled at the
// nodes of a w x h picture, in mesh columns and rows.
std::vector<float> sampledGrid(int w, int h)
{
    const int cols = w / 4, rows = h / 2;
    std::vector<float> grid(2 * (size_t)cols * rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            double dx, dy;
            smoothShift((double)c / cols, (double)r / rows, dx, dy);
            grid[2 * ((size_t)r * cols + c)] = (float)(dx * cols);
            grid[2 * ((size_t)r * cols + c) + 1] = (float)(dy * rows);
        }
    return grid;
}

// Effect file of two keys (frames 0 and frames-1, levels 0 and 255) of grid.
void writeEffect(const std::string &path, int w, int h, uint32_t frames,
                 const std::vector<float> &grid)
{
    const size_t nodes = effectNodeCount(w, h), key = EFFECT_KEY_HEAD_BYTES + nodes * 8;
    std::vector<unsigned char> bytes(EFFECT_HEADER_BYTES + 2 * key);
    encodeEffectHeader({EFFECT_MAGIC, frames, w, h, 2}, bytes.data());
    for (int k = 0; k < 2; ++k) {
        unsigned char *at = bytes.data() + EFFECT_HEADER_BYTES + k * key;
        encodeKeyHead(k ? frames - 1 : 0, k ? 255 : 0, at);
        encodeNodes(grid.data(), nodes, at + EFFECT_KEY_HEAD_BYTES);
    }
    ASSERT_EQ(atomicWriteFile(path.c_str(), bytes.data(), bytes.size()), 0);
}

// The header, the key frames and levels, and the largest distance in
// pixels of the w x h picture between each key's grid and `want`.
double gridDistance(const std::string &path, const std::vector<float> &want, EffectHeader &h,
                    uint32_t frames[2], int32_t levels[2])
{
    const std::string bytes = readAll(path);
    decodeEffectHeader((const unsigned char *)bytes.data(), h);
    const size_t nodes = effectNodeCount(h.width, h.height),
                 key = EFFECT_KEY_HEAD_BYTES + nodes * 8;
    EXPECT_EQ(bytes.size(), EFFECT_HEADER_BYTES + h.keyCount * key);
    std::vector<float> grid(2 * nodes);
    double worst = 0;
    for (uint32_t k = 0; k < 2 && k < h.keyCount; ++k) {
        const auto *at = (const unsigned char *)bytes.data() + EFFECT_HEADER_BYTES + k * key;
        decodeKeyHead(at, frames[k], levels[k]);
        decodeNodes(at + EFFECT_KEY_HEAD_BYTES, nodes, grid.data());
        for (size_t i = 0; i < grid.size(); ++i)
            worst = std::max(worst, std::fabs(grid[i] - want[i]) * (i % 2 ? 2.0 : 4.0));
    }
    return worst;
}

} // namespace

// A resized effect holds the same deformation as one made at the new size:
// proxies, fields and whole frames, integer and uneven ratios; the key
// frames move as loading moves them and the levels stay.
TEST_F(FileIo, ResizedEffectsKeepTheirDeformation)
{
    const struct Case {
        int w, h, toW, toH;
        uint32_t frames, toFrames;
    } cases[] = {
        {480, 270, 1920, 1080, 10, 40}, // proxy fields to whole frames of the original
        {1920, 1080, 480, 270, 40, 10}, // and back
        {960, 270, 960, 540, 50, 50},   // fields to whole frames
        {720, 288, 1000, 562, 50, 7},   // uneven ratios
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " to " +
                     std::to_string(c.toW) + "x" + std::to_string(c.toH));
        const std::string from = (dir / "from").string(), to = (dir / "to").string();
        writeEffect(from, c.w, c.h, c.frames, sampledGrid(c.w, c.h));
        std::string err;
        ASSERT_TRUE(resizeEffectFile(from, to, c.toW, c.toH, c.toFrames, err)) << err;
        EffectHeader h;
        uint32_t frames[2];
        int32_t levels[2];
        EXPECT_LT(gridDistance(to, sampledGrid(c.toW, c.toH), h, frames, levels), 1.0 / 8);
        EXPECT_EQ(h.magic, EFFECT_MAGIC);
        EXPECT_EQ(h.width, c.toW);
        EXPECT_EQ(h.height, c.toH);
        EXPECT_EQ(h.frameCount, c.toFrames);
        EXPECT_EQ(h.keyCount, 2u);
        EXPECT_EQ(frames[0], 0u);
        EXPECT_EQ(frames[1], c.toFrames - 1);
        EXPECT_EQ(levels[0], 0);
        EXPECT_EQ(levels[1], 255);
        // And back: within 1/8 pixel of the original at every node.
        ASSERT_TRUE(resizeEffectFile(to, from + "2", c.w, c.h, c.frames, err)) << err;
        EXPECT_LT(gridDistance(from + "2", sampledGrid(c.w, c.h), h, frames, levels), 1.0 / 8);
        EXPECT_EQ(frames[1], c.frames - 1);
    }
    // Failures name the file and leave the target alone.
    const std::string kept = readAll(dir / "to");
    std::ofstream(dir / "torn", std::ios::binary) << std::string(30, '\0');
    const struct Bad {
        std::string from;
        int w, h;
        uint32_t frames;
        const char *says;
    } bad[] = {
        {"none", 64, 32, 5, "none: no such effect file"},
        {"torn", 64, 32, 5, "torn: not an effect file"},
        {"from", 2, 2, 5, "at least 4x2"},
        {"from", 64, 32, 0, "one frame"},
    };
    for (const Bad &b : bad) {
        std::string err;
        EXPECT_FALSE(resizeEffectFile((dir / b.from).string(), (dir / "to").string(), b.w, b.h,
                                      b.frames, err));
        EXPECT_NE(err.find(b.says), std::string::npos) << err;
    }
    EXPECT_EQ(readAll(dir / "to"), kept);
}
