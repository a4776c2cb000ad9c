// VorluxOp driven through its exports: cross-fade window, three-key
// procedural deformation, gadgets, parameter files, install and mends.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/services.h"
#include "tests/plugin/plugin_support.h"
#include "tests/reference/generator_reference.h"
#include "tests/reference/warp_reference.h"
#include "transition/transition.h"

namespace {

namespace fs = std::filesystem;

// Fields of 28 x 8 pixels: meshes of 7 x 4 nodes (an odd column count keeps
// the column waves from landing on multiples of pi).
constexpr int kW = 28, kH = 8;

using Amounts = std::vector<std::pair<int, int>>; // (type 0..16, amount), ascending types

// Input pictures differ per input, field, position and byte. Pixel 0 is
// all 0 in input 0 and all 255 in input 1, so an undeformed output shows
// the dissolve level in each byte of its first pixel.
vxh::Picture fieldPicture(int input, uint32_t field, int w = kW, int h = kH)
{
    vxh::Picture p;
    p.width = w;
    p.height = h;
    p.pixels.resize((size_t)w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t b[4];
            for (int k = 0; k < 4; ++k)
                b[k] = (uint8_t)((x * (7 + 2 * k) + y * (31 + k) + (int)field * 13 + input * 97 +
                                  k * 50) &
                                 0xFF);
            p.pixels[(size_t)y * w + x] = ref::pixelOf(b[0], b[1], b[2], b[3]);
        }
    p.pixels[0] = input == 0 ? 0u : 0xFFFFFFFFu;
    return p;
}

// The middle key's grid: each type with its amount, in the order given,
// the rotations turning by +a.
std::vector<MeshNode> middleGrid(const Amounts &amounts, float k, int w = kW, int h = kH)
{
    std::vector<MeshNode> g((size_t)(h / 2) * (w / 4), MeshNode{0, 0});
    for (const auto &[type, a] : amounts)
        if (a != 0)
            g = ref::refGenerator(g, type + 1, a, false, h / 2, w / 4, w, h, k);
    return g;
}

// meshA of field f of an N-field clip with keys (0: zero grid), (last/2:
// mid), (last: zero grid); a field past the last frame shows the last.
std::vector<MeshNode> meshOfField(uint32_t N, uint32_t f, const std::vector<MeshNode> &mid)
{
    const uint32_t last = N < 2 ? 0 : N / 2 - 1;
    const uint32_t t = std::min(f / 2, last);
    const std::vector<MeshNode> zero(mid.size(), MeshNode{0, 0});
    const std::pair<uint32_t, const std::vector<MeshNode> *> keys[3] = {
        {0, &zero}, {last / 2, &mid}, {last, &zero}};
    for (int i = 0; i < 3; ++i) {
        if (keys[i].first == t)
            return *keys[i].second;
        if (i < 2 && keys[i].first < t && t < keys[i + 1].first) {
            const float span = (float)(keys[i + 1].first - keys[i].first);
            const float e = (float)(t - keys[i].first);
            const std::vector<MeshNode> &a = *keys[i].second, &b = *keys[i + 1].second;
            std::vector<MeshNode> out(mid.size());
            for (size_t x = 0; x < out.size(); ++x) {
                out[x].dx = (b[x].dx * e + a[x].dx * (span - e)) / span;
                out[x].dy = (b[x].dy * e + a[x].dy * (span - e)) / span;
            }
            return out;
        }
    }
    ADD_FAILURE() << "no key covers frame " << t;
    return zero;
}

// Cross-fade level of field f: window of w = min(N, length) fields from s = (N - w) / 2.
int fadeLevel(uint32_t N, uint32_t length, uint32_t f)
{
    const uint32_t w = N < length ? N : length, s = (N - w) / 2;
    return f < s ? 0 : f < s + w ? (int)((f - s) * 255 / w) : 255;
}

std::vector<uint32_t> plainMix(uint32_t f, int level)
{
    return ref::refMix(fieldPicture(0, f).pixels, fieldPicture(1, f).pixels, level);
}

// The mixture of field f warped through the mesh of its frame.
std::vector<uint32_t> expectedField(uint32_t N, uint32_t f, int level,
                                    const std::vector<MeshNode> &mid)
{
    return ref::refPass(plainMix(f, level), kW, kH, meshOfField(N, f, mid), kW, kH);
}

// File requests as the plug-in filled them, seen before the host answers.
struct SeenFileRequest {
    std::string title, directory;
    bool hasInitialName;
    std::string initialName;
    uint32_t mode;
    int16_t pathSize, nameSize;
};
std::vector<SeenFileRequest> seenFileRequests;
int (*hostFileRequest)(void *, FileRequest *) = nullptr;

int watchFileRequest(void *host, FileRequest *r)
{
    seenFileRequests.push_back({r->title ? r->title : "", r->directory ? r->directory : "",
                                r->initialName != nullptr, r->initialName ? r->initialName : "",
                                r->mode, r->pathSize, r->nameSize});
    return hostFileRequest(host, r);
}

struct TransitionFixture : PluginFixture {
    OpParamBlock *params = nullptr;
    uint8_t *bytes = nullptr;
    bool missing[2] = {false, false};

    void SetUp() override
    {
        PluginFixture::SetUp();
        load("VorluxOp");
        ASSERT_FALSE(HasFatalFailure());
        uintptr_t desc = 0;
        ASSERT_TRUE(vxh::findTag(tags, OP_TAG_PARAMS, desc));
        params = (OpParamBlock *)((const ParamBlockDesc *)desc)->block;
        bytes = (uint8_t *)params;
        host.fieldSource = [this](int input, uint32_t field, vxh::Picture &pic) {
            if (input < 0 || input > 1 || missing[input])
                return false;
            pic = fieldPicture(input, field);
            return true;
        };
    }

    // A host tears an instance down before it unloads the library.
    void TearDown() override
    {
        if (plugin.action)
            act(ACTION_TEARDOWN);
        PluginFixture::TearDown();
    }

    GadgetPopup *popup() { return (GadgetPopup *)vxh::findGadget(tags, 0); }
    GadgetSlider *slider(int index) { return (GadgetSlider *)vxh::findGadget(tags, index); }
    void setGadget(int index, int value)
    {
        vxh::setGadgetValue(vxh::findGadget(tags, index), value);
    }
    int gadget(uint16_t index) { return act(ACTION_GADGET, 1, index); }
    void setAmounts(const Amounts &amounts)
    {
        memset(params->deformAmount, 0, sizeof params->deformAmount);
        for (const auto &[type, a] : amounts)
            params->deformAmount[type] = (int16_t)a;
    }

    // Renders the fields in order (after a set-up unless told not to); every
    // render succeeds and leaves no host image behind.
    std::vector<vxh::Picture> render(uint32_t N, const std::vector<uint32_t> &fields,
                                     uint8_t flags = 0, bool setup = true)
    {
        if (setup) {
            EXPECT_EQ(act(ACTION_SETUP), 0);
        }
        const size_t before = host.outputs.size();
        for (uint32_t f : fields) {
            EXPECT_EQ(act(ACTION_RENDER, 1, 0, N, f, flags), 0) << "field " << f;
            EXPECT_TRUE(host.liveImages.empty()) << "field " << f;
        }
        std::vector<vxh::Picture> out(host.outputs.begin() + (long)before, host.outputs.end());
        EXPECT_EQ(out.size(), fields.size());
        for (const vxh::Picture &p : out) {
            EXPECT_EQ(p.width, kW);
            EXPECT_EQ(p.height, kH);
        }
        return out;
    }
    std::vector<vxh::Picture> renderClip(uint32_t N, uint8_t flags = 0)
    {
        std::vector<uint32_t> fields(N);
        for (uint32_t f = 0; f < N; ++f)
            fields[f] = f;
        return render(N, fields, flags);
    }
    // Every field of the clip against the mixture through the keys' meshes.
    void expectClip(uint32_t N, const std::vector<MeshNode> &mid, uint8_t flags = 0)
    {
        const uint32_t length = (uint32_t)slider(2)->value;
        auto out = renderClip(N, flags);
        for (uint32_t f = 0; f < out.size(); ++f)
            EXPECT_EQ(out[f].pixels, expectedField(N, f, fadeLevel(N, length, f), mid))
                << "field " << f;
    }
    // Every journal line so far is a level-4 failure of this library.
    void expectJournal(size_t lines)
    {
        EXPECT_EQ(host.journal.size(), lines);
        for (const std::string &line : host.journal) {
            EXPECT_NE(line.find("level=4 source=src\\VorluxOp line="), std::string::npos) << line;
            EXPECT_NE(line.find(" module=0x0B850000 text=\" \""), std::string::npos) << line;
        }
    }

    std::string paramPath(const std::string &name) { return home + "/programs/vorlux/op/" + name; }
    void writeFile(const std::string &name, const std::vector<uint8_t> &data)
    {
        std::ofstream(paramPath(name), std::ios::binary)
            .write((const char *)data.data(), (long)data.size());
    }
    std::vector<uint8_t> readFile(const std::string &name)
    {
        std::ifstream in(paramPath(name), std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
    }
    std::vector<uint8_t> block() { return std::vector<uint8_t>(bytes, bytes + 100); }
    void setBlock(const std::vector<uint8_t> &b) { memcpy(bytes, b.data(), 100); }
    // Runs the archives button with the given requester answers.
    void archives(const std::vector<std::string> &replies)
    {
        host.replies.assign(replies.begin(), replies.end());
        EXPECT_EQ(gadget(3), 0);
        EXPECT_TRUE(host.replies.empty());
    }
    void watchFileRequests()
    {
        seenFileRequests.clear();
        VxHostServices s = *vxHostServices();
        hostFileRequest = s.fileRequest;
        s.fileRequest = watchFileRequest;
        vxInstallHostServices(&s);
    }
};

// A block with valid amounts and length, a terminated name and marked reserved bytes.
std::vector<uint8_t> sampleBlock(int seed)
{
    OpParamBlock b;
    memset(&b, 0, sizeof b);
    for (int j = 0; j < DEFORM_TYPES; ++j)
        b.deformAmount[j] = (int16_t)((j * 37 + seed * 11) % 201 - 100);
    b.transitionLength = (int16_t)(seed * 23 % 301);
    snprintf(b.lastFileName, sizeof b.lastFileName, "stored-%d", seed);
    for (int i = 0; i < 4; ++i)
        b.reserved[i] = (uint8_t)(0xA0 + seed + i);
    std::vector<uint8_t> v(100);
    memcpy(v.data(), &b, 100);
    return v;
}

int16_t shortAt(const std::vector<uint8_t> &b, size_t offset)
{
    int16_t v;
    memcpy(&v, b.data() + offset, 2);
    return v;
}

void putShort(std::vector<uint8_t> &b, size_t offset, int16_t v)
{
    memcpy(b.data() + offset, &v, 2);
}

// ---------------------------------------------------------------------------
// Cross-fade window

using TransitionFade = TransitionFixture;

TEST_F(TransitionFade, LevelsOfTheWindowWithoutDeformation)
{
    struct Case {
        uint32_t N, length, s, w;
        std::vector<std::pair<uint32_t, int>> spots; // (field, level)
    };
    const Case cases[] = {
        {100,
         25,
         37,
         25,
         {{0, 0}, {36, 0}, {37, 0}, {38, 10}, {50, 132}, {61, 244}, {62, 255}, {99, 255}}},
        {100, 0, 50, 0, {{0, 0}, {49, 0}, {50, 255}, {99, 255}}}, // a cut at N/2
        {100, 100, 0, 100, {{0, 0}, {1, 2}, {50, 127}, {99, 252}}},
        {100, 300, 0, 100, {{0, 0}, {99, 252}}}, // never 255
        {101, 25, 38, 25, {{37, 0}, {38, 0}, {39, 10}, {62, 244}, {63, 255}}},
        {7, 4, 1, 4, {{0, 0}, {1, 0}, {2, 63}, {3, 127}, {4, 191}, {5, 255}, {6, 255}}},
        {2, 1, 0, 1, {{0, 0}, {1, 255}}},
        {1, 25, 0, 1, {{0, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("N " + std::to_string(c.N) + " length " + std::to_string(c.length));
        setGadget(2, (int)c.length);
        auto out = renderClip(c.N);
        ASSERT_EQ(out.size(), c.N);
        for (uint32_t f = 0; f < c.N; ++f) {
            const int level = f < c.s ? 0 : f < c.s + c.w ? (int)((f - c.s) * 255 / c.w) : 255;
            EXPECT_EQ(out[f].pixels, plainMix(f, level)) << "field " << f;
        }
        for (const auto &[f, level] : c.spots)
            EXPECT_EQ(out[f].pixels[0], 0x01010101u * (uint32_t)level) << "field " << f;
        host.outputs.clear();
    }
    // Input 0 alone before the window, input 1 alone after it.
    setGadget(2, 25);
    auto out = renderClip(100);
    EXPECT_EQ(out[36].pixels, fieldPicture(0, 36).pixels);
    EXPECT_EQ(out[62].pixels, fieldPicture(1, 62).pixels);
    expectJournal(0);
}

TEST_F(TransitionFade, LengthSliderActsAtOnceAndTheBlockLengthIsNotRead)
{
    params->transitionLength = 7;
    setGadget(2, 25);
    EXPECT_EQ(render(100, {40})[0].pixels, plainMix(40, 30)); // (40 - 37) * 255 / 25
    // No set-up in between: every render reads the slider's record.
    const std::pair<int, int> steps[] = {{0, 0}, {100, 102}, {80, 95}, {300, 102}};
    for (const auto &[length, level] : steps) {
        setGadget(2, length);
        EXPECT_EQ(render(100, {40}, 0, false)[0].pixels, plainMix(40, level)) << length;
    }
    EXPECT_EQ(params->transitionLength, 7);
}

// ---------------------------------------------------------------------------
// Three keys with the procedural deformation at the middle

using TransitionKeys = TransitionFixture;

TEST_F(TransitionKeys, WholeClipsMatchTheMixedPassThroughTheKeyMeshes)
{
    const Amounts cases[] = {
        {{0, 50}},
        {{1, -30}},
        {{4, -80}},
        {{5, 60}},
        {{9, 30}},
        {{10, 100}},
        {{11, -45}},
        {{12, 70}},
        {{13, -20}},
        {{14, 40}},
        {{15, 100}},
        {{16, -35}},
        {{2, 40}, {11, -60}},
        {{3, 25}, {9, -70}, {15, 55}},
        {{0, -73}, {2, -45}},
    };
    ASSERT_EQ(act(ACTION_INSTALL), 0); // project 720 x 288 fields: k = 1
    const uint32_t N = 40;             // last frame 19, middle key at frame 9
    for (const Amounts &amounts : cases) {
        SCOPED_TRACE("types from " + std::to_string(amounts[0].first));
        setAmounts(amounts);
        const std::vector<MeshNode> mid = middleGrid(amounts, 1.0f);
        expectClip(N, mid);
        const auto out = std::vector<vxh::Picture>(host.outputs.end() - N, host.outputs.end());
        // Full strength at the middle frame; the first and last frames undeformed.
        for (uint32_t f : {18u, 19u}) {
            EXPECT_EQ(out[f].pixels,
                      ref::refPass(plainMix(f, fadeLevel(N, 25, f)), kW, kH, mid, kW, kH));
            EXPECT_NE(out[f].pixels, plainMix(f, fadeLevel(N, 25, f))) << "not deformed at " << f;
        }
        for (uint32_t f : {0u, 1u, 38u, 39u})
            EXPECT_EQ(out[f].pixels, plainMix(f, fadeLevel(N, 25, f))) << f;
        // Types add in ascending order; the sums round differently the other way.
        if (amounts.size() == 2 && amounts[0].second == -73) {
            const std::vector<MeshNode> reversed = middleGrid({amounts[1], amounts[0]}, 1.0f);
            bool differs = false;
            for (uint32_t f = 0; f < N; ++f)
                differs |= out[f].pixels != expectedField(N, f, fadeLevel(N, 25, f), reversed);
            EXPECT_TRUE(differs);
        }
        host.outputs.clear();
    }
    expectJournal(0);
}

TEST_F(TransitionKeys, AmountChangesReachThePictureAfterTheNextSetUp)
{
    const uint32_t N = 40;
    auto before = render(N, {18});
    EXPECT_EQ(before[0].pixels, plainMix(18, fadeLevel(N, 25, 18)));
    // Select type 9 and move the amount slider.
    setGadget(0, 9);
    EXPECT_EQ(gadget(0), 0);
    setGadget(1, 40);
    EXPECT_EQ(gadget(1), 0);
    EXPECT_EQ(params->deformAmount[9], 40);
    EXPECT_EQ(render(N, {18, 10}, 0, false)[0].pixels, before[0].pixels);
    auto after = render(N, {18, 10});
    const std::vector<MeshNode> mid = middleGrid({{9, 40}}, 1.0f);
    EXPECT_EQ(after[0].pixels, expectedField(N, 18, fadeLevel(N, 25, 18), mid));
    EXPECT_EQ(after[1].pixels, expectedField(N, 10, fadeLevel(N, 25, 10), mid));
    EXPECT_NE(after[0].pixels, before[0].pixels);
}

// ---------------------------------------------------------------------------
// Gadgets

using TransitionGadgets = TransitionFixture;

TEST_F(TransitionGadgets, PopupShowsTheStoredAmountOfTheChosenType)
{
    for (int j = 0; j < DEFORM_TYPES; ++j)
        params->deformAmount[j] = (int16_t)(j * 12 - 96);
    const auto original = block();
    for (int type : {5, 0, 16, 9}) {
        setGadget(0, type);
        EXPECT_EQ(gadget(0), 0);
        ASSERT_FALSE(host.gadgetChanges.empty());
        EXPECT_EQ(host.gadgetChanges.back(), std::make_pair(1, type * 12 - 96));
        EXPECT_EQ(slider(1)->value, type * 12 - 96);
    }
    EXPECT_EQ(host.gadgetChanges.size(), 4u);
    EXPECT_EQ(block(), original);
}

TEST_F(TransitionGadgets, SlidersChangeOnlyTheirOwnValue)
{
    setBlock(sampleBlock(3));
    struct Case {
        int gadgetIndex, type, value;
        size_t offset; // the int16 that changes
    };
    const Case cases[] = {
        {1, 3, -100, 6}, {1, 16, 100, 32}, {1, 0, 37, 0},
        {2, -1, 0, 34},  {2, -1, 300, 34}, {2, -1, 77, 34},
    };
    for (const Case &c : cases) {
        auto expected = block();
        putShort(expected, c.offset, (int16_t)c.value);
        if (c.type >= 0)
            setGadget(0, c.type);
        setGadget(c.gadgetIndex, c.value);
        EXPECT_EQ(gadget((uint16_t)c.gadgetIndex), 0);
        EXPECT_EQ(block(), expected) << "gadget " << c.gadgetIndex << " value " << c.value;
    }
    EXPECT_TRUE(host.gadgetChanges.empty());
}

TEST_F(TransitionGadgets, PopupOutsideTheTypesAndUnknownGadgetsDoNothing)
{
    setBlock(sampleBlock(5));
    const auto original = block();
    for (int type : {-1, 17, 1000, -32768}) {
        setGadget(0, type);
        setGadget(1, 55);
        EXPECT_EQ(gadget(0), 0) << type;
        EXPECT_EQ(gadget(1), 0) << type;
        EXPECT_EQ(block(), original) << type;
    }
    for (uint16_t index : {4, 9, 0xFFFF})
        EXPECT_EQ(gadget(index), 0) << index;
    EXPECT_EQ(block(), original);
    EXPECT_TRUE(host.gadgetChanges.empty());
    EXPECT_TRUE(host.requests.empty());
    expectJournal(0);
}

// ---------------------------------------------------------------------------
// Parameter files

struct TransitionFiles : TransitionFixture {
    void SetUp() override
    {
        TransitionFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(act(ACTION_INSTALL), 0);
    }
    // The pushes that follow every load: popup 0, amount of type 0, length.
    void expectPushes(const std::vector<uint8_t> &b)
    {
        const std::vector<std::pair<int, int>> want = {
            {0, 0}, {1, shortAt(b, 0)}, {2, shortAt(b, 34)}};
        EXPECT_EQ(host.gadgetChanges, want);
        EXPECT_EQ(popup()->value, 0);
        EXPECT_EQ(slider(1)->value, shortAt(b, 0));
        EXPECT_EQ(slider(2)->value, shortAt(b, 34));
        host.gadgetChanges.clear();
    }
};

TEST_F(TransitionFiles, SaveWritesTheBlockAndLoadRestoresIt)
{
    const auto saved = sampleBlock(4);
    setBlock(saved);
    archives({"save", "set-a"});
    EXPECT_EQ(readFile("set-a"), saved);
    EXPECT_EQ(block(), saved);
    EXPECT_TRUE(host.gadgetChanges.empty());
    EXPECT_EQ(host.requests,
              (std::vector<std::string>{"archives:Archives...", "file:Save parameters"}));

    setBlock(sampleBlock(9));
    setGadget(0, 6);
    archives({"load", "set-a"});
    EXPECT_EQ(block(), saved);
    expectPushes(saved);

    archives({"delete", "set-a"});
    EXPECT_FALSE(fs::exists(paramPath("set-a")));
    EXPECT_EQ(block(), saved);
    EXPECT_TRUE(host.gadgetChanges.empty());
    expectJournal(0);
}

TEST_F(TransitionFiles, PathAnswersAndSpecialFilesAreRefusedAndLogged)
{
    // Outside the parameter directory: a load, save or delete through ".."
    // or a separator touches nothing there.
    const fs::path outside = fs::path(paramPath("x")).parent_path().parent_path() / "outside";
    std::ofstream(outside) << "keep";
    const auto start = sampleBlock(3);
    setBlock(start);
    size_t lines = 0;
    const std::vector<std::vector<std::string>> answers = {
        {"delete", "../outside"}, {"load", "../outside"}, {"save", "../outside"}, {"save", "a/b"}};
    for (const auto &replies : answers) {
        archives(replies);
        EXPECT_TRUE(fs::exists(outside)) << replies[0];
        expectJournal(++lines);
    }
    EXPECT_EQ(block(), start);
    host.gadgetChanges.clear();
    // A FIFO in a parameter file's place is not waited on.
    ASSERT_EQ(mkfifo(paramPath("pipe").c_str(), 0600), 0);
    archives({"load", "pipe"});
    expectJournal(++lines);
    // A save over an existing file replaces it whole.
    writeFile("old", std::vector<uint8_t>(160, 7));
    archives({"save", "old"});
    EXPECT_EQ(readFile("old"), block());
    expectJournal(lines);
}

TEST_F(TransitionFiles, ShortAndLongFilesTouchOnlyTheBlock)
{
    const auto start = sampleBlock(2);
    // Ten bytes: five amounts; the name comes from the requester.
    setBlock(start);
    writeFile("ten", {0xF9, 0xFF, 8, 0, 100, 0, 0x9C, 0xFF, 3, 0});
    archives({"load", "ten"});
    auto want = start;
    const uint8_t ten[10] = {0xF9, 0xFF, 8, 0, 100, 0, 0x9C, 0xFF, 3, 0};
    memcpy(want.data(), ten, 10);
    memset(want.data() + 36, 0, 60);
    memcpy(want.data() + 36, "ten", 3);
    EXPECT_EQ(block(), want);
    expectPushes(want);

    // Fifty bytes of 'x': amounts and length clamp, the name's first 14
    // bytes are the file's, the rest of the field the requester's zeros.
    setBlock(start);
    writeFile("x50", std::vector<uint8_t>(50, 'x'));
    archives({"load", "x50"});
    want = start;
    for (int j = 0; j < DEFORM_TYPES; ++j)
        putShort(want, 2 * j, 100);
    putShort(want, 34, 300);
    memset(want.data() + 36, 0, 60);
    memset(want.data() + 36, 'x', 14);
    EXPECT_EQ(block(), want);
    expectPushes(want);

    // 150 bytes: the first 100 are the block, the rest is not read.
    setBlock(start);
    auto longFile = sampleBlock(7);
    longFile.resize(150, 0x99);
    writeFile("long", longFile);
    archives({"load", "long"});
    EXPECT_EQ(block(), sampleBlock(7));
    expectPushes(sampleBlock(7));
    expectJournal(0);
}

TEST_F(TransitionFiles, LoadedValuesClampAndTheNameStaysTerminated)
{
    const int16_t rawAmounts[DEFORM_TYPES] = {-32768, -101, -100, 0,  100, 101, 32767, 5,   -5,
                                              200,    -200, 1,    -1, 99,  -99, 150,   -150};
    const std::pair<int16_t, int16_t> lengths[] = {{-1, 0},      {-32768, 0}, {301, 300},
                                                   {32767, 300}, {300, 300},  {0, 0}};
    for (const auto &[rawLength, length] : lengths) {
        std::vector<uint8_t> file(100, 'N'); // a name of 60 non-zero bytes
        for (int j = 0; j < DEFORM_TYPES; ++j)
            putShort(file, 2 * j, rawAmounts[j]);
        putShort(file, 34, rawLength);
        writeFile("raw", file);
        setBlock(sampleBlock(1));
        archives({"load", "raw"});
        auto want = file;
        for (int j = 0; j < DEFORM_TYPES; ++j)
            putShort(want, 2 * j, std::clamp<int16_t>(rawAmounts[j], -100, 100));
        putShort(want, 34, length);
        want[95] = 0;
        EXPECT_EQ(block(), want) << rawLength;
        expectPushes(want);
    }
}

TEST_F(TransitionFiles, CancelledOrUnansweredRequestersChangeNothing)
{
    writeFile("kept", sampleBlock(6));
    struct Case {
        std::vector<std::string> replies;
        bool load;
    };
    const Case cases[] = {
        {{"cancel"}, false},           {{}, false},
        {{"load", "cancel"}, true},    {{"load"}, true},
        {{"save", "cancel"}, false},   {{"save"}, false},
        {{"delete", "cancel"}, false}, {{"delete"}, false},
    };
    const auto original = sampleBlock(8);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.replies.empty() ? "no answer"
                                       : c.replies[0] + " " + std::to_string(c.replies.size()));
        setBlock(original);
        setGadget(0, 4);
        archives(c.replies);
        EXPECT_EQ(block(), original);
        if (c.load)
            expectPushes(original);
        else
            EXPECT_TRUE(host.gadgetChanges.empty());
        EXPECT_EQ(popup()->value, c.load ? 0 : 4);
        EXPECT_EQ(readFile("kept"), sampleBlock(6));
    }
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(home + "/programs/vorlux/op"))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"kept"}));
    expectJournal(0);
}

TEST_F(TransitionFiles, UnopenableFileIsSkippedSilentlyButNamed)
{
    setBlock(sampleBlock(3));
    archives({"load", "ghost"});
    auto want = sampleBlock(3);
    memset(want.data() + 36, 0, 60);
    memcpy(want.data() + 36, "ghost", 5);
    EXPECT_EQ(block(), want);
    expectPushes(want);
    expectJournal(0);
}

TEST_F(TransitionFiles, RequestersGetModeDirectoryBuffersAndTheLastName)
{
    watchFileRequests();
    setBlock(sampleBlock(2));
    memcpy(params->lastFileName, "clip-7\0junk", 11);
    archives({"load", "cancel"});
    memset(params->lastFileName, 'Q', LAST_FILE_NAME_SIZE); // unterminated in the block
    archives({"load", "cancel"});
    archives({"save", "cancel"});
    archives({"delete", "cancel"});
    ASSERT_EQ(seenFileRequests.size(), 4u);
    const struct {
        const char *title;
        bool hasInitial;
        std::string initial;
        uint32_t mode;
    } want[4] = {{"Load parameters", true, "clip-7", 1},
                 {"Load parameters", true, std::string(59, 'Q'), 1},
                 {"Save parameters", false, "", 2},
                 {"Delete parameters", false, "", 3}};
    for (int i = 0; i < 4; ++i) {
        const SeenFileRequest &s = seenFileRequests[i];
        EXPECT_EQ(s.title, want[i].title) << i;
        EXPECT_EQ(s.directory, "/programs/vorlux/op/") << i;
        EXPECT_EQ(s.hasInitialName, want[i].hasInitial) << i;
        EXPECT_EQ(s.initialName, want[i].initial) << i;
        EXPECT_EQ(s.mode, want[i].mode) << i;
        EXPECT_EQ(s.pathSize, 256) << i;
        EXPECT_EQ(s.nameSize, 1024) << i;
    }
}

// ---------------------------------------------------------------------------
// Install and the other actions

using TransitionActions = TransitionFixture;

TEST_F(TransitionActions, InstallCreatesTheDriveRootedParameterDirectory)
{
    const bool rootHadIt = fs::exists("/programs/vorlux/op");
    host.projectKnown = false;
    EXPECT_EQ(act(ACTION_INSTALL), 0);
    EXPECT_TRUE(fs::is_directory(home + "/programs/vorlux/op"));
    if (!rootHadIt) {
        EXPECT_FALSE(fs::exists("/programs/vorlux/op"));
    }
    // Again: an existing directory is no failure. Delete removes nothing.
    EXPECT_EQ(act(ACTION_INSTALL), 0);
    host.instanceNames[1] = "op";
    writeFile("op", {1, 2, 3});
    EXPECT_EQ(act(ACTION_DELETE), 0);
    EXPECT_TRUE(fs::exists(paramPath("op")));
    // Tear-down without anything prepared, twice.
    EXPECT_EQ(act(ACTION_TEARDOWN), 0);
    EXPECT_EQ(act(ACTION_TEARDOWN), 0);
    EXPECT_TRUE(host.liveImages.empty());
    expectJournal(0);
}

// ---------------------------------------------------------------------------
// Mends and failures

using TransitionMends = TransitionFixture;

TEST_F(TransitionMends, RotationScaleZeroOrUnknownCountsAsOne)
{
    const Amounts turns[] = {{{9, 60}}, {{10, -70}}, {{11, 85}}};
    struct Project {
        bool install;
        int width, height; // frame size; fields are half as high
        float k;
    };
    const Project projects[] = {
        {false, 720, 576, 1.0f}, // never probed
        {true, 500, 576, 1.0f},  // less than twice as wide as a field is high
        {true, 720, 0, 1.0f},    // no height
        {true, 720, 1, 1.0f},    // fields of no height
        {true, 1440, 576, 2.0f}, // k = 2 reaches the rotations
    };
    for (const Project &p : projects) {
        SCOPED_TRACE(std::to_string(p.width) + " x " + std::to_string(p.height));
        host.projectWidth = p.width;
        host.projectHeight = p.height;
        if (p.install) {
            ASSERT_EQ(act(ACTION_INSTALL), 0);
        }
        for (const Amounts &amounts : turns) {
            setAmounts(amounts);
            const std::vector<MeshNode> mid = middleGrid(amounts, p.k);
            for (const MeshNode &n : mid)
                ASSERT_TRUE(std::isfinite(n.dx) && std::isfinite(n.dy));
            if (p.k != 1.0f) {
                EXPECT_NE(ref::refPass(plainMix(18, 0), kW, kH, mid, kW, kH),
                          ref::refPass(plainMix(18, 0), kW, kH, middleGrid(amounts, 1.0f), kW, kH));
            }
            expectClip(20, mid);
        }
    }
    expectJournal(0);
}

TEST_F(TransitionMends, ProjectSizeFlagFallsBackToTheInputSize)
{
    host.projectKnown = false;
    ASSERT_EQ(act(ACTION_INSTALL), 0);
    setAmounts({{0, 50}, {10, 40}});
    expectClip(20, middleGrid({{0, 50}, {10, 40}}, 1.0f), 1);

    // With a known project the keys are built at its size and the passes
    // still run at the field size.
    host.projectKnown = true;
    ASSERT_EQ(act(ACTION_INSTALL), 0);
    renderClip(20, 1);
    expectJournal(0);
}

TEST_F(TransitionMends, LastFieldOfAnOddClipShowsTheLastKey)
{
    setAmounts({{0, 50}});
    setGadget(2, 300);
    const uint32_t N = 41; // last frame 19, middle 9; field 40 is frame 20
    auto out = render(N, {18, 40});
    EXPECT_EQ(out[0].pixels, expectedField(N, 18, 18 * 255 / 41, middleGrid({{0, 50}}, 1.0f)));
    EXPECT_NE(out[0].pixels, plainMix(18, 18 * 255 / 41));
    EXPECT_EQ(out[1].pixels, plainMix(40, 248)); // 40 * 255 / 41
    // A clip of three fields: one frame; its last field is frame 1.
    EXPECT_EQ(render(3, {2})[0].pixels, plainMix(2, 170)); // 2 * 255 / 3
    expectJournal(0);
}

TEST_F(TransitionMends, RenderWithoutPreparedBuffersFailsUntilTheNextSetUp)
{
    render(40, {18});
    EXPECT_EQ(act(ACTION_TEARDOWN), 0);
    const size_t outputs = host.outputs.size();
    EXPECT_EQ(act(ACTION_RENDER, 1, 0, 40, 18), -1);
    EXPECT_EQ(act(ACTION_RENDER, 1, 0, 40, 19), -1);
    EXPECT_TRUE(host.liveImages.empty());
    EXPECT_EQ(host.outputs.size(), outputs);
    expectJournal(2);
    EXPECT_EQ(render(40, {18})[0].pixels, plainMix(18, fadeLevel(40, 25, 18)));
    expectJournal(2);
}

TEST_F(TransitionMends, MissingInputFailsAndReleasesTheOther)
{
    for (int input : {1, 0}) {
        missing[0] = input == 0;
        missing[1] = input == 1;
        EXPECT_EQ(act(ACTION_SETUP), 0);
        EXPECT_EQ(act(ACTION_RENDER, 1, 0, 40, 12), -1) << input;
        EXPECT_TRUE(host.liveImages.empty()) << input;
    }
    EXPECT_TRUE(host.outputs.empty());
    EXPECT_EQ(host.badImageReturns, 0);
    expectJournal(2);
    missing[0] = missing[1] = false;
    EXPECT_EQ(render(40, {12})[0].pixels, plainMix(12, fadeLevel(40, 25, 12)));
}

} // namespace
