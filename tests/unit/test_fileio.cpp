// The shared file helpers: whole-file replacement, regular-file opening and
// the effect file's bytes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"

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
