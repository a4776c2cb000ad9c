// The effect file: byte layout, round trip, frame rescaling, damaged files,
// allocation failures and safe replacement of the file on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>

#include "effect/effectfile.h"
#include "effect/keys.h"
#include "tests/unit/support.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

void putU32(Bytes &b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back((unsigned char)(v >> (8 * i)));
}

uint32_t u32At(const Bytes &b, size_t offset)
{
    return b[offset] | b[offset + 1] << 8 | b[offset + 2] << 16 | (uint32_t)b[offset + 3] << 24;
}

Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream(path, std::ios::binary)
        .write((const char *)bytes.data(), (std::streamsize)bytes.size());
}

std::vector<std::string> listDir(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

size_t openDescriptors()
{
    return (size_t)std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

// Node i of a key stored at frame f: dx = f + i / 8, dy = -i.
float nodeDx(uint32_t f, size_t i)
{
    return (float)f + (float)i / 8.0f;
}
float nodeDy(size_t i)
{
    return -(float)i;
}

// Most cases use an 8 x 4 picture: 2 x 2 grid nodes, 40 bytes per key.
struct EffectFile : CoreTest {
    std::string dir, path;

    void SetUp() override
    {
        useVariant();
        usePicture(8, 4);
        ctx.lastFrame = 99;
        dir = scratchDir(std::string("effectfile-") +
                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        path = dir + "/effect";
        setPath(path.c_str());
    }
    void TearDown() override { useVariant(); }

    void usePicture(int w, int h)
    {
        ctx.imageWidth = w;
        ctx.imageHeight = h;
        ctx.gridCols = w / 4;
        ctx.gridRows = h / 2;
    }
    void setPath(const char *p)
    {
        snprintf(ctx.effectPathBuffer, sizeof ctx.effectPathBuffer, "%s", p);
        ctx.effectPath = ctx.effectPathBuffer;
    }
    KeyRecord *addKey(uint32_t frame, int32_t level)
    {
        KeyRecord *key = allocKey(ctx, frame, level);
        KeyRecord **link = &ctx.keyList;
        KeyRecord *prev = nullptr;
        while (*link) {
            prev = *link;
            link = &(*link)->next;
        }
        key->prev = prev;
        *link = key;
        return key;
    }
    std::vector<uint32_t> frames()
    {
        std::vector<uint32_t> v;
        for (KeyRecord *k = ctx.keyList; k; k = k->next)
            v.push_back(k->frame);
        return v;
    }
    std::vector<int32_t> levels()
    {
        std::vector<int32_t> v;
        for (KeyRecord *k = ctx.keyList; k; k = k->next)
            v.push_back(k->level);
        return v;
    }
    // An 8 x 4 effect file written here, key by key, with the node pattern above.
    Bytes effectBytes(uint32_t frameCount, const std::vector<std::pair<uint32_t, int32_t>> &keys,
                      uint32_t magic = 0x56580100u, uint32_t width = 8, uint32_t height = 4)
    {
        Bytes b(EFFECT_HEADER_BYTES);
        encodeEffectHeader(
            {magic, frameCount, (int32_t)width, (int32_t)height, (uint32_t)keys.size()}, b.data());
        for (const auto &[f, level] : keys) {
            unsigned char key[EFFECT_KEY_HEAD_BYTES + 4 * EFFECT_NODE_BYTES];
            float nodes[8];
            for (size_t i = 0; i < 4; ++i) {
                nodes[2 * i] = nodeDx(f, i);
                nodes[2 * i + 1] = nodeDy(i);
            }
            encodeKeyHead(f, level, key);
            encodeNodes(nodes, 4, key + EFFECT_KEY_HEAD_BYTES);
            b.insert(b.end(), key, key + sizeof key);
        }
        return b;
    }
    int load(const Bytes &bytes)
    {
        writeFile(path, bytes);
        return loadEffect(ctx);
    }
};

using EffectFileLayout = EffectFile;
using EffectFileLoad = EffectFile;
using EffectFileSave = EffectFile;

TEST_F(EffectFileLayout, TwoKeys720x576)
{
    usePicture(720, 576);
    ctx.lastFrame = 49;
    KeyRecord *first = addKey(0, 0);
    KeyRecord *last = addKey(49, 255);
    first->grid[0].dx = 1.5f;            // 3F C0 00 00
    first->grid[5 + 180 * 3].dy = -2.0f; // C0 00 00 00, node (5, 3)
    last->grid[288 * 180 - 1].dy = 0.1f; // 3D CC CC CD, the file's last 4 bytes
    saveEffect(ctx);
    EXPECT_TRUE(takeJournal().empty());
    const Bytes b = readFile(path);
    ASSERT_EQ(b.size(), 829476u);
    const Bytes header = {0x00, 0x01, 0x58, 0x56, 50, 0, 0, 0, 0xD0, 0x02,
                          0,    0,    0x40, 0x02, 0,  0, 2, 0, 0,    0};
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 20), header);
    EXPECT_EQ(Bytes(b.begin() + 20, b.begin() + 28), Bytes(8, 0));
    EXPECT_EQ(Bytes(b.begin() + 28, b.begin() + 36), (Bytes{0, 0, 0xC0, 0x3F, 0, 0, 0, 0}));
    const size_t node53 = 28 + 545 * 8;
    EXPECT_EQ(u32At(b, node53), 0u);
    EXPECT_EQ(u32At(b, node53 + 4), 0xC0000000u);
    const size_t secondKey = 20 + 8 + 414720;
    EXPECT_EQ(Bytes(b.begin() + secondKey, b.begin() + secondKey + 8),
              (Bytes{49, 0, 0, 0, 0xFF, 0, 0, 0}));
    EXPECT_EQ(u32At(b, secondKey + 8), 0u);
    EXPECT_EQ(Bytes(b.end() - 4, b.end()), (Bytes{0xCD, 0xCC, 0xCC, 0x3D}));
}

TEST_F(EffectFileLayout, NegativeLastFrameCountsAsOneFrame)
{
    ctx.lastFrame = -1;
    addKey(0, 0);
    addKey(0, 255);
    saveEffect(ctx);
    Bytes b = readFile(path);
    ASSERT_EQ(b.size(), 20u + 2 * 40);
    EXPECT_EQ(u32At(b, 4), 1u);
    // Frame count 1: the first key on frame 0, every later key on lastFrame.
    EXPECT_EQ(loadEffect(ctx), 0);
    EXPECT_EQ(frames(), (std::vector<uint32_t>{0, 0}));
    ctx.lastFrame = 20;
    EXPECT_EQ(loadEffect(ctx), 0);
    EXPECT_EQ(frames(), (std::vector<uint32_t>{0, 20}));
}

TEST_F(EffectFileLayout, RoundTripIsBitExact)
{
    const uint32_t patterns[] = {0x80000000u, 0x7FC12345u, 0xFFA00001u, 0x00000001u, 0x7F800000u,
                                 0xFF800000u, 0x3F800000u, 0x12345678u, 0xDEADBEEFu, 0x00000000u};
    const uint32_t keyFrames[] = {0, 40, 99};
    const int32_t keyLevels[] = {0, 77, 255};
    std::vector<uint32_t> bits;
    for (int k = 0; k < 3; ++k) {
        KeyRecord *key = addKey(keyFrames[k], keyLevels[k]);
        for (int i = 0; i < 4; ++i) {
            uint32_t dx = patterns[(k * 8 + 2 * i) % 10], dy = patterns[(k * 8 + 2 * i + 1) % 10];
            memcpy(&key->grid[i].dx, &dx, 4);
            memcpy(&key->grid[i].dy, &dy, 4);
            bits.push_back(dx);
            bits.push_back(dy);
        }
    }
    saveEffect(ctx);
    const Bytes saved = readFile(path);
    EXPECT_EQ(loadEffect(ctx), 0);
    EXPECT_TRUE(takeJournal().empty());
    EXPECT_EQ(ctx.effectFile, nullptr);
    EXPECT_EQ(frames(), (std::vector<uint32_t>{0, 40, 99}));
    EXPECT_EQ(levels(), (std::vector<int32_t>{0, 77, 255}));
    std::vector<uint32_t> loaded;
    KeyRecord *prev = nullptr;
    for (KeyRecord *k = ctx.keyList; k; prev = k, k = k->next) {
        EXPECT_EQ(k->prev, prev);
        for (int i = 0; i < 4; ++i) {
            loaded.push_back(floatBits(k->grid[i].dx));
            loaded.push_back(floatBits(k->grid[i].dy));
        }
    }
    EXPECT_EQ(loaded, bits);
    saveEffect(ctx);
    EXPECT_EQ(readFile(path), saved);
}

TEST_F(EffectFileLoad, RescalesStoredFramesWithoutOverflow)
{
    const Bytes file = effectBytes(100, {{0, 0}, {33, 128}, {99, 255}});
    const struct {
        int32_t lastFrame;
        std::vector<uint32_t> expected;
    } cases[] = {
        {49, {0, 16, 49}},
        {99, {0, 33, 99}},
        {199, {0, 66, 199}},
        // 2147483647 * 33 needs more than 32 bits.
        {INT32_MAX, {0, 715827882u, 2147483647u}},
        {-5, {0, 0, 0}},
    };
    for (const auto &c : cases) {
        ctx.lastFrame = c.lastFrame;
        EXPECT_EQ(load(file), 0);
        EXPECT_EQ(frames(), c.expected) << c.lastFrame;
        EXPECT_EQ(levels(), (std::vector<int32_t>{0, 128, 255}));
        // Grids are read as stored, whatever the frames become.
        EXPECT_EQ(floatBits(ctx.keyList->next->grid[3].dx), floatBits(nodeDx(33, 3)));
        EXPECT_EQ(floatBits(ctx.keyList->next->grid[3].dy), floatBits(nodeDy(3)));
    }
    EXPECT_TRUE(takeJournal().empty());
}

TEST_F(EffectFileLoad, FrameCountsBelowTwo)
{
    ctx.lastFrame = 49;
    EXPECT_EQ(load(effectBytes(0, {{0, 0}, {0, 255}})), 3);
    EXPECT_EQ(ctx.keyList, nullptr);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_EQ(load(effectBytes(1, {{9, 0}, {5, 10}, {7, 255}})), 0);
    EXPECT_EQ(frames(), (std::vector<uint32_t>{0, 49, 49}));
    EXPECT_TRUE(takeJournal().empty());
}

TEST_F(EffectFileLoad, ClampsLevels)
{
    EXPECT_EQ(
        load(effectBytes(100, {{0, 300}, {10, -5}, {20, 128}, {30, INT32_MIN}, {99, INT32_MAX}})),
        0);
    EXPECT_EQ(levels(), (std::vector<int32_t>{255, 0, 128, 0, 255}));
}

TEST_F(EffectFileLoad, DisorderedFramesLoadAsTheyAreAndStaySafe)
{
    ctx.lastFrame = 1000;
    // Frames out of order, two on one frame, one far beyond the stored length:
    // 1000 * 0xFFFFFFFF / 99 does not fit in uint32 and is clamped.
    EXPECT_EQ(load(effectBytes(100, {{50, 10}, {10, 20}, {10, 30}, {0xFFFFFFFFu, 40}})), 0);
    EXPECT_EQ(frames(), (std::vector<uint32_t>{505, 101, 101, 0xFFFFFFFFu}));
    std::vector<MeshNode> meshA(4), meshB(4);
    ctx.meshA = meshA.data();
    ctx.meshB = meshB.data();
    ctx.meshCapacity = 4;
    for (int32_t t : {0, 101, 300, 505, 1000, -2, -1}) {
        ctx.currentFrame = t;
        ctx.dissolveLevel = 0;
        ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
        ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
        EXPECT_GE(ctx.dissolveLevel, 0) << t;
        EXPECT_LE(ctx.dissolveLevel, 255) << t;
    }
    ctx.meshA = ctx.meshB = nullptr;
    saveEffect(ctx);
    EXPECT_EQ(loadEffect(ctx), 0);
    EXPECT_EQ(frames().size(), 4u);
}

TEST_F(EffectFileLoad, RejectsFilesOfOtherKindsAndSizes)
{
    const size_t descriptors = openDescriptors();
    const Bytes good = effectBytes(100, {{0, 0}, {99, 255}});
    const Bytes others[] = {
        effectBytes(100, {{0, 0}, {99, 255}}, 0x00015856u), // magic byte-swapped
        effectBytes(100, {{0, 0}, {99, 255}}, 0x56580100u, 12, 4),
        effectBytes(100, {{0, 0}, {99, 255}}, 0x56580100u, 8, 6),
    };
    for (const Bytes &file : others) {
        addKey(0, 0); // discarded whatever the outcome
        EXPECT_EQ(load(file), 3);
        EXPECT_EQ(ctx.keyList, nullptr);
        EXPECT_EQ(ctx.effectFile, nullptr);
        EXPECT_EQ(takeJournal().size(), 1u);
    }
    // A 720 x 576 effect read for 720 x 480 pictures.
    usePicture(720, 480);
    Bytes header;
    for (uint32_t v : {0x56580100u, 100u, 720u, 576u, 0u})
        putU32(header, v);
    EXPECT_EQ(load(header), 3);
    EXPECT_EQ(takeJournal().size(), 1u);
    usePicture(8, 4);
    // Key grids that do not match the picture size are not read into.
    ctx.gridCols = 3;
    EXPECT_EQ(load(good), 3);
    EXPECT_EQ(takeJournal().size(), 1u);
    usePicture(8, 4);
    EXPECT_EQ(load(good), 0);

    // Cannot open: no file, no path, empty path.
    fs::remove(path);
    EXPECT_EQ(loadEffect(ctx), 2);
    EXPECT_EQ(ctx.keyList, nullptr);
    EXPECT_EQ(takeJournal().size(), 1u);
    ctx.effectPath = nullptr;
    EXPECT_EQ(loadEffect(ctx), 2);
    EXPECT_EQ(takeJournal().size(), 1u);
    setPath("");
    EXPECT_EQ(loadEffect(ctx), 2);
    EXPECT_EQ(takeJournal().size(), 1u);
    // A directory or a FIFO is not read at all (a FIFO would block).
    setPath(dir.c_str());
    EXPECT_EQ(loadEffect(ctx), 2);
    EXPECT_EQ(takeJournal().size(), 1u);
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    setPath(fifo.c_str());
    EXPECT_EQ(loadEffect(ctx), 2);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(EffectFileLoad, DamagedFilesAreRejectedBeforeAnyAllocation)
{
    const size_t descriptors = openDescriptors();
    const Bytes two = effectBytes(100, {{0, 0}, {99, 255}});
    auto withCount = [&](uint32_t count) {
        Bytes b(two.begin(), two.begin() + 16);
        putU32(b, count);
        b.insert(b.end(), two.begin() + 20, two.end());
        return b;
    };
    const struct {
        const char *what;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"truncated header", Bytes(two.begin(), two.begin() + 10)},
        {"header only", Bytes(two.begin(), two.begin() + 20)},
        {"truncated key head", Bytes(two.begin(), two.begin() + 64)},
        {"truncated grid", Bytes(two.begin(), two.end() - 4)},
        {"key count 0", withCount(0)},
        {"key count 3", withCount(3)},
        {"huge key count", withCount(0xFFFFFFFFu)},
        {"key count 2^31", withCount(0x80000000u)},
    };
    for (const auto &c : cases) {
        // Any allocation would fail and give result 1.
        failAllocationAfter(0);
        EXPECT_EQ(load(c.file), 3) << c.what;
        EXPECT_EQ(ctx.keyList, nullptr) << c.what;
        EXPECT_EQ(takeJournal().size(), 1u) << c.what;
    }
    failAllocationAfter(-1);
    // Bytes after the last key are ignored.
    Bytes longer = two;
    longer.insert(longer.end(), 7, 0xAA);
    EXPECT_EQ(load(longer), 0);
    EXPECT_EQ(frames(), (std::vector<uint32_t>{0, 99}));
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(EffectFileLoad, AllocationFailuresFollowTheTable)
{
    const size_t descriptors = openDescriptors();
    const Bytes file = effectBytes(100, {{0, 0}, {50, 100}, {99, 255}});
    writeFile(path, file);
    // Allocations: key 1, grid 1, key 2, grid 2, key 3, grid 3.
    const struct {
        long allowed;
        int result;
        size_t keysKept;
    } cases[] = {{0, 1, 0}, {1, 1, 0}, {2, 1, 1}, {3, 1, 1}, {4, 1, 2}, {5, 1, 2}, {6, 0, 3}};
    for (const auto &c : cases) {
        failAllocationAfter(c.allowed);
        EXPECT_EQ(loadEffect(ctx), c.result) << c.allowed;
        failAllocationAfter(-1);
        EXPECT_EQ(takeJournal().size(), c.result ? 1u : 0u) << c.allowed;
        EXPECT_EQ(ctx.effectFile, nullptr);
        const std::vector<uint32_t> all = {0, 50, 99};
        EXPECT_EQ(frames(), std::vector<uint32_t>(all.begin(), all.begin() + c.keysKept))
            << c.allowed;
        KeyRecord *prev = nullptr;
        for (KeyRecord *k = ctx.keyList; k; prev = k, k = k->next) {
            EXPECT_EQ(k->prev, prev);
            EXPECT_EQ(floatBits(k->grid[2].dx), floatBits(nodeDx(k->frame, 2)));
        }
    }
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(EffectFileSave, NothingToWriteLeavesTheOldFile)
{
    const Bytes old = {1, 2, 3};
    writeFile(path, old);
    saveEffect(ctx); // empty list
    EXPECT_EQ(readFile(path), old);
    EXPECT_TRUE(takeJournal().empty());
    addKey(0, 0);
    ctx.effectPath = nullptr;
    saveEffect(ctx);
    EXPECT_EQ(takeJournal().size(), 1u);
    setPath("");
    saveEffect(ctx);
    EXPECT_EQ(takeJournal().size(), 1u);
    // Grids that do not match the picture size could not be read back.
    setPath(path.c_str());
    ctx.gridCols = 3;
    saveEffect(ctx);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"effect"});
}

TEST_F(EffectFileSave, ReplacesTheOldFileWholly)
{
    writeFile(path, Bytes(5000, 0x55));
    for (auto [f, level] : {std::pair<uint32_t, int32_t>{0, 0}, {37, -3}, {99, 255}}) {
        KeyRecord *key = addKey(f, level);
        for (size_t i = 0; i < 4; ++i)
            key->grid[i] = MeshNode{nodeDx(f, i), nodeDy(i)};
    }
    saveEffect(ctx);
    EXPECT_TRUE(takeJournal().empty());
    EXPECT_EQ(ctx.effectFile, nullptr);
    // Whole file as encoded by hand here; levels are stored as they are.
    EXPECT_EQ(readFile(path), effectBytes(100, {{0, 0}, {37, -3}, {99, 255}}));
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"effect"});
}

TEST_F(EffectFileSave, FailuresKeepTheOldFileAndLeaveNoTemporary)
{
    addKey(0, 0);
    addKey(99, 255);
    // Directory missing.
    setPath((dir + "/missing/effect").c_str());
    saveEffect(ctx);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_TRUE(listDir(dir).empty());

    // Target is a directory: the rename fails.
    fs::create_directory(path);
    writeFile(path + "/inside", {7});
    setPath(path.c_str());
    saveEffect(ctx);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(listDir(path), std::vector<std::string>{"inside"});
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"effect"});
    fs::remove_all(path);

    // Writes fail past a file size limit (root ignores permissions, not this).
    const Bytes old = {9, 8, 7, 6};
    writeFile(path, old);
    usePicture(720, 576);
    freeKeys(ctx);
    addKey(0, 0);
    addKey(99, 255);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    saveEffect(ctx);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_EQ(ctx.effectFile, nullptr);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"effect"});
}

} // namespace
