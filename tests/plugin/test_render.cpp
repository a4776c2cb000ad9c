// The render action of the four effect operators, driven through the built
// plug-ins and the stand-in host. Every output field is compared bit for bit
// with an expectation built here: key interpolation written from the
// formulas, then the reference passes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "fileio/effectcodec.h"
#include "platform/services.h"
#include "tests/plugin/plugin_support.h"
#include "tests/reference/warp_reference.h"

namespace {

namespace fs = std::filesystem;
using Pixels = std::vector<uint32_t>;
using Grid = std::vector<MeshNode>;

enum class Kind { Morph, Draw, FX, Warp };

struct Op {
    const char *name;
    Kind kind;
    const char *source;
    uint32_t module;
    int lastKeyLevel;
    int inputs;
};

const Op kOps[] = {
    {"VorluxMorph", Kind::Morph, "src\\VorluxMorph", 0x0B8D0000, 255, 2},
    {"VorluxDraw", Kind::Draw, "src\\VorluxDraw", 0x0B8B0000, 255, 2},
    {"VorluxFX", Kind::FX, "src\\VorluxFX", 0x0B8C0000, 255, 2},
    {"VorluxWarp", Kind::Warp, "src\\VorluxWarp", 0x0B8A0000, 100, 1},
};
const Op &kMorph = kOps[0];
const Op &kWarp = kOps[3];

const uint32_t kMarker = 0xDEADBEEF;

uint32_t hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// Field `field` of input `input`: different content per input and field.
Pixels fieldPixels(int input, uint32_t field, int w, int h)
{
    Pixels p((size_t)w * h);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = hash((uint32_t)i * 2654435761u + field * 97u + (uint32_t)input * 7919u + 1u);
    return p;
}

// A grid of cols x rows nodes, up to 1.5 cells each way, with exact zeros,
// a negative zero and nodes that move one component only.
Grid makeGrid(int cols, int rows, uint32_t seed)
{
    Grid g((size_t)cols * rows);
    for (size_t i = 0; i < g.size(); ++i) {
        const uint32_t r = hash(seed * 1000003u + (uint32_t)i);
        const float dx = (float)((int)(r % 61) - 30) / 20.0f;
        const float dy = (float)((int)((r >> 8) % 61) - 30) / 20.0f;
        switch ((r >> 20) % 6) {
        case 0:
            g[i] = {0.0f, 0.0f};
            break;
        case 1:
            g[i] = {dx, -0.0f};
            break;
        case 2:
            g[i] = {0.0f, dy};
            break;
        default:
            g[i] = {dx, dy};
            break;
        }
    }
    return g;
}

struct Key {
    uint32_t frame;
    int32_t level;
    Grid grid;
};

// The effect file of keys, through the codec the plug-ins and vxhost share.
std::string effectBytes(uint32_t frameCount, int w, int h, const std::vector<Key> &keys)
{
    std::string bytes(EFFECT_HEADER_BYTES, '\0');
    encodeEffectHeader({EFFECT_MAGIC, frameCount, w, h, (uint32_t)keys.size()},
                       (unsigned char *)bytes.data());
    for (const Key &k : keys) {
        std::string key(EFFECT_KEY_HEAD_BYTES + k.grid.size() * EFFECT_NODE_BYTES, '\0');
        encodeKeyHead(k.frame, k.level, (unsigned char *)key.data());
        encodeNodes(reinterpret_cast<const float *>(k.grid.data()), k.grid.size(),
                    (unsigned char *)key.data() + EFFECT_KEY_HEAD_BYTES);
        bytes += key;
    }
    return bytes;
}

void writeFile(const fs::path &path, const std::string &bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), (std::streamsize)bytes.size());
}

// Meshes and level of frame t, straight from the interpolation formulas.
struct FrameMeshes {
    Grid a, b;
    int level = 0;
};

FrameMeshes meshesAt(const std::vector<Key> &keys, uint32_t t)
{
    FrameMeshes m;
    for (size_t i = 0; i < keys.size(); ++i) {
        const Key &k = keys[i];
        if (t == k.frame) {
            m.a = k.grid;
            m.b = k.grid;
            for (MeshNode &n : m.b)
                n = {-n.dx, -n.dy};
            m.level = k.level;
            return m;
        }
        if (i + 1 < keys.size() && k.frame < t && t < keys[i + 1].frame) {
            const Key &n = keys[i + 1];
            const float span = (float)(n.frame - k.frame), e = (float)(t - k.frame), w = span - e;
            m.level = (int)(((float)n.level * e + (float)k.level * w) / span);
            m.a.resize(k.grid.size());
            m.b.resize(k.grid.size());
            for (size_t j = 0; j < k.grid.size(); ++j) {
                m.a[j].dx = (n.grid[j].dx * e + k.grid[j].dx * w) / span;
                m.a[j].dy = (n.grid[j].dy * e + k.grid[j].dy * w) / span;
                m.b[j].dx = -((n.grid[j].dx * w + k.grid[j].dx * e) / span);
                m.b[j].dy = -((n.grid[j].dy * w + k.grid[j].dy * e) / span);
            }
            return m;
        }
    }
    ADD_FAILURE() << "no key covers frame " << t;
    return m;
}

// The picture size of the effect's grids, when it is not the field's.
struct MeshSize {
    int cols = 0, rows = 0;
};

// The output field of an operator at frame t of an effect.
Pixels expectedField(const Op &op, const std::vector<Key> &keys, uint32_t t, const Pixels &src,
                     const Pixels &tgt, int w, int h, MeshSize mesh = {})
{
    const int cols = mesh.cols ? mesh.cols : w / 4, rows = mesh.rows ? mesh.rows : h / 2;
    const FrameMeshes m = meshesAt(keys, t);
    switch (op.kind) {
    case Kind::Morph: {
        Pixels out = ref::refPassMesh(src, w, h, m.a, cols, rows, w, h);
        const Pixels moved = ref::refPassMesh(tgt, w, h, m.b, cols, rows, w, h);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = ref::refBlend(out[i], moved[i], m.level);
        return out;
    }
    case Kind::FX:
        return ref::refPassMesh(ref::refMix(src, tgt, m.level), w, h, m.a, cols, rows, w, h);
    default:
        return ref::refPassMesh(src, w, h, m.a, cols, rows, w, h);
    }
}

// The two keys of the effect an operator builds when it has none.
std::vector<Key> defaultEffect(const Op &op, uint32_t lastFrame, int w, int h)
{
    const Grid zero((size_t)(w / 4) * (h / 2), MeshNode{0.0f, 0.0f});
    return {{0, 0, zero}, {lastFrame, op.lastKeyLevel, zero}};
}

// A three-key effect for a clip of `frames` frames: keys on the first
// frame, the third and the last.
std::vector<Key> threeKeys(uint32_t frames, int w, int h, uint32_t seed)
{
    return {{0, 0, makeGrid(w / 4, h / 2, seed)},
            {2, 100, makeGrid(w / 4, h / 2, seed + 1)},
            {frames - 1, 255, makeGrid(w / 4, h / 2, seed + 2)}};
}

uint32_t lastFrameOf(uint32_t fieldCount)
{
    return fieldCount < 2 ? 0 : fieldCount / 2 - 1;
}

// ---- service tap ------------------------------------------------------------
// Sits between the plug-in and the test host: can spoil the geometry of the
// images handed out (and puts it right before the host takes them back), and
// keeps the whole buffer, padding included, of every image handed back.

struct RawImage {
    HostImage geometry;
    Pixels buffer; // stride x (yOffset + height) pixels
};

struct Tap {
    VxHostServices base{};
    std::function<void(int input, HostImage *)> spoil;
    std::map<HostImage *, HostImage> originals;
    std::vector<RawImage> handedBack;
};
Tap *gTap = nullptr;

void restore(HostImage *image)
{
    auto it = gTap->originals.find(image);
    if (it != gTap->originals.end()) {
        *image = it->second;
        gTap->originals.erase(it);
    }
}

HostImage *tapGetField(void *host, int input, uint32_t field)
{
    HostImage *image = gTap->base.getField(host, input, field);
    if (image && gTap->spoil) {
        gTap->originals[image] = *image;
        gTap->spoil(input, image);
    }
    return image;
}

int tapPutField(void *host, HostImage *image)
{
    if (image) {
        restore(image);
        RawImage raw{*image, {}};
        raw.buffer.assign(image->pixels,
                          image->pixels +
                              (size_t)image->stride * (size_t)(image->yOffset + image->height));
        gTap->handedBack.push_back(std::move(raw));
    }
    return gTap->base.putField(host, image);
}

void tapFreeImage(void *host, HostImage *image)
{
    if (image)
        restore(image);
    gTap->base.freeImage(host, image);
}

// ---- fixture ----------------------------------------------------------------

struct RenderBase : PluginFixture {
    int width = 24, height = 10;
    // Optional size of a field: by default every field is width x height.
    std::function<std::pair<int, int>(int input, uint32_t field)> sizeOf;
    std::set<int> missingInputs;
    Tap tap;

    // Unloads the plug-in and starts over with a new host, as for a new case.
    void freshHost()
    {
        vxh::unloadPlugin(plugin);
        host = vxh::Host{};
    }

    void start(const Op &op, const char *instanceName = "render-effect")
    {
        load(op.name);
        if (instanceName)
            host.instanceNames[1] = instanceName;
        host.fieldSource = [this](int input, uint32_t field, vxh::Picture &pic) {
            if (missingInputs.count(input))
                return false;
            auto [w, h] = sizeOf ? sizeOf(input, field) : std::make_pair(width, height);
            pic.width = w;
            pic.height = h;
            pic.pixels = fieldPixels(input, field, w, h);
            return true;
        };
        tap.base = *vxHostServices();
        VxHostServices s = tap.base;
        s.getField = tapGetField;
        s.putField = tapPutField;
        s.freeImage = tapFreeImage;
        gTap = &tap;
        vxInstallHostServices(&s);
        ASSERT_EQ(act(ACTION_INSTALL), 0);
    }
    void TearDown() override
    {
        PluginFixture::TearDown();
        gTap = nullptr;
    }

    fs::path effectPath(const std::string &name = "render-effect") const
    {
        return fs::path(home) / "programs/vorlux" / name;
    }

    // One render; whatever its result, the host must have every image back.
    int render(uint32_t fieldCount, uint32_t field, uint8_t flags = 0)
    {
        const size_t before = host.outputs.size();
        const int result = act(ACTION_RENDER, 1, 0, fieldCount, field, flags);
        EXPECT_TRUE(host.liveImages.empty()) << "field " << field;
        EXPECT_EQ(host.badImageReturns, 0) << "field " << field;
        EXPECT_EQ(host.outputs.size(), before + (result == 0 ? 1 : 0)) << "field " << field;
        return result;
    }
    const Pixels &lastOutput() const { return host.outputs.back().pixels; }

    // Set-up, every field of the clip (flags on the first render only),
    // tear-down. Returns the output fields; a failed render fails the test.
    std::vector<Pixels> renderClip(uint32_t fieldCount, uint8_t firstFlags = 0)
    {
        std::vector<Pixels> out;
        EXPECT_EQ(act(ACTION_SETUP, 1, 0, fieldCount), 0);
        for (uint32_t f = 0; f < fieldCount; ++f) {
            if (render(fieldCount, f, f == 0 ? firstFlags : 0) != 0) {
                ADD_FAILURE() << "render of field " << f << " failed";
                break;
            }
            out.push_back(lastOutput());
        }
        EXPECT_EQ(act(ACTION_TEARDOWN, 1, 0, fieldCount), 0);
        return out;
    }

    // Expected output of field f of a clip of fieldCount fields.
    Pixels expected(const Op &op, const std::vector<Key> &keys, uint32_t fieldCount, uint32_t f,
                    MeshSize mesh = {})
    {
        const uint32_t t = std::min(f / 2, lastFrameOf(fieldCount));
        return expectedField(op, keys, t, fieldPixels(0, f, width, height),
                             fieldPixels(1, f, width, height), width, height, mesh);
    }
    void expectClip(const Op &op, const std::vector<Key> &keys, uint32_t fieldCount,
                    const std::vector<Pixels> &out, MeshSize mesh = {})
    {
        ASSERT_EQ(out.size(), fieldCount);
        for (uint32_t f = 0; f < fieldCount; ++f)
            EXPECT_EQ(out[f], expected(op, keys, fieldCount, f, mesh)) << op.name << " field " << f;
    }

    // Every journal line since `since` (at least one) is a failure line of
    // this operator: level 4, its source name and module code, text " ".
    void expectLogged(const Op &op, size_t since)
    {
        ASSERT_GT(host.journal.size(), since) << "no journal line";
        char tail[64];
        snprintf(tail, sizeof tail, " module=0x%08X text=\" \"", op.module);
        const std::string head = std::string("level=4 source=") + op.source + " line=";
        for (size_t i = since; i < host.journal.size(); ++i) {
            const std::string &line = host.journal[i];
            const bool framed = line.size() > head.size() + strlen(tail) &&
                                line.starts_with(head) && line.ends_with(tail);
            ASSERT_TRUE(framed) << line;
            const std::string number =
                line.substr(head.size(), line.size() - head.size() - strlen(tail));
            EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << line;
            EXPECT_NE(number[0], '0') << line;
        }
    }
};

// ---- whole clips --------------------------------------------------------------

struct RenderClip : RenderBase {};

// Sizes that are not multiples of the mesh cell, and pictures too small for
// a mesh cell (nothing moves), render as well as the common ones.
TEST_F(RenderClip, ThreeKeyEffectOfEachOperatorBitForBit)
{
    const uint32_t fieldCount = 12; // frames 0..5: keys on 0, 2 and 5
    const std::pair<int, int> sizes[] = {{24, 10}, {22, 9}, {9, 5}, {4, 2}, {3, 1}};
    for (const Op &op : kOps)
        for (auto [w, h] : sizes) {
            SCOPED_TRACE(std::string(op.name) + " " + std::to_string(w) + "x" + std::to_string(h));
            freshHost();
            width = w;
            height = h;
            start(op);
            const std::vector<Key> keys = threeKeys(6, width, height, 11);
            writeFile(effectPath(), effectBytes(6, width, height, keys));
            const std::vector<Pixels> out = renderClip(fieldCount);
            expectClip(op, keys, fieldCount, out);
            if (w == 24 && out.size() == fieldCount) { // the effect does move the picture
                EXPECT_NE(out[5], expected(op, defaultEffect(op, 5, w, h), fieldCount, 5));
            }
            // The second input is fetched for every field, even by the draw operator.
            EXPECT_EQ(host.fieldRequests, (int)fieldCount * op.inputs);
            vxh::installHost(nullptr);
        }
}

TEST_F(RenderClip, KeysOfALongerStoredEffectAreRescaled)
{
    start(kMorph);
    // Stored over 11 frames on 0, 4, 10; the clip has 6 frames: 0, 2, 5.
    std::vector<Key> keys = threeKeys(11, width, height, 23);
    keys[1].frame = 4;
    writeFile(effectPath(), effectBytes(11, width, height, keys));
    for (Key &k : keys)
        k.frame = 5 * k.frame / 10;
    expectClip(kMorph, keys, 12, renderClip(12));
}

TEST_F(RenderClip, DefaultEffectWithoutFile)
{
    const uint32_t fieldCount = 10;
    for (const Op &op : kOps) {
        SCOPED_TRACE(op.name);
        freshHost();
        start(op);
        const std::vector<Pixels> out = renderClip(fieldCount);
        expectClip(op, defaultEffect(op, 4, width, height), fieldCount, out);
        if (op.kind == Kind::Morph && out.size() == fieldCount) {
            EXPECT_EQ(out[0], fieldPixels(0, 0, width, height));
            EXPECT_EQ(out[fieldCount - 1], fieldPixels(1, fieldCount - 1, width, height));
        }
        vxh::installHost(nullptr);
    }
}

// The host's stride and offsets are honoured on the way in and out: only the
// visible area of the returned image changes.
TEST_F(RenderClip, PaddedHostImages)
{
    const struct {
        int left, top, right;
    } layouts[] = {{3, 2, 5}, {0, 1, 0}, {7, 0, 0}, {0, 0, 4}};
    for (const Op &op : kOps)
        for (const auto &layout : layouts) {
            SCOPED_TRACE(std::string(op.name) + " pad " + std::to_string(layout.left) + "," +
                         std::to_string(layout.top) + "," + std::to_string(layout.right));
            freshHost();
            tap.handedBack.clear();
            host.padLeft = layout.left;
            host.padTop = layout.top;
            host.padRight = layout.right;
            start(op);
            const std::vector<Key> keys = threeKeys(4, width, height, 37);
            writeFile(effectPath(), effectBytes(4, width, height, keys));
            expectClip(op, keys, 8, renderClip(8));
            ASSERT_EQ(tap.handedBack.size(), 8u);
            for (const RawImage &raw : tap.handedBack) {
                const HostImage &g = raw.geometry;
                ASSERT_EQ(g.stride, layout.left + width + layout.right);
                for (int y = 0; y < g.yOffset + g.height; ++y)
                    for (int x = 0; x < g.stride; ++x) {
                        const bool visible =
                            y >= g.yOffset && x >= g.xOffset && x < g.xOffset + g.width;
                        if (!visible) {
                            ASSERT_EQ(raw.buffer[(size_t)y * g.stride + x], kMarker)
                                << x << "," << y;
                        }
                    }
            }
            vxh::installHost(nullptr);
        }
}

// ---- fields and frames ----------------------------------------------------------

struct RenderTiming : RenderBase {};

// Each case renders one field right after a fresh set-up, so nothing is left
// in the meshes from an earlier frame.
TEST_F(RenderTiming, FieldToFrameAtTheEndsOfClips)
{
    start(kMorph);
    const std::vector<Key> keys = threeKeys(6, width, height, 41);
    writeFile(effectPath(), effectBytes(6, width, height, keys));
    const struct {
        uint32_t fieldCount, field, frame;
    } cases[] = {
        {12, 0, 0},  {12, 3, 1},
        {12, 10, 5}, {12, 11, 5}, // even clip: the last field shows lastFrame
        {13, 11, 5}, {13, 12, 5}, // odd clip: the last field stays on lastFrame
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("fields " + std::to_string(c.fieldCount) + " field " +
                     std::to_string(c.field));
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, c.fieldCount), 0);
        ASSERT_EQ(render(c.fieldCount, c.field), 0);
        EXPECT_EQ(lastOutput(),
                  expectedField(kMorph, keys, c.frame, fieldPixels(0, c.field, width, height),
                                fieldPixels(1, c.field, width, height), width, height));
        act(ACTION_TEARDOWN);
    }
}

// With no more than one field there is one frame: every key of a stored
// effect lands on frame 0, and the first of them is shown.
TEST_F(RenderTiming, ClipsOfZeroOrOneField)
{
    start(kMorph);
    const std::vector<Key> keys = threeKeys(6, width, height, 43);
    writeFile(effectPath(), effectBytes(6, width, height, keys));
    for (uint32_t fieldCount : {0u, 1u}) {
        SCOPED_TRACE(fieldCount);
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, fieldCount), 0);
        for (uint32_t field : {0u, 1u}) {
            ASSERT_EQ(render(fieldCount, field), 0);
            EXPECT_EQ(lastOutput(),
                      expectedField(kMorph, {keys[0]}, 0, fieldPixels(0, field, width, height),
                                    fieldPixels(1, field, width, height), width, height));
        }
        act(ACTION_TEARDOWN);
    }
    // The default effect of a one-field clip: both keys on frame 0, the first shown.
    fs::remove(effectPath());
    ASSERT_EQ(act(ACTION_SETUP, 1, 0, 1), 0);
    ASSERT_EQ(render(1, 0), 0);
    EXPECT_EQ(lastOutput(), fieldPixels(0, 0, width, height));
    act(ACTION_TEARDOWN);
}

// ---- failures ------------------------------------------------------------------

struct RenderFailure : RenderBase {};

TEST_F(RenderFailure, MissingInputField)
{
    for (const Op &op : kOps)
        for (int missing : {0, 1}) {
            SCOPED_TRACE(std::string(op.name) + " without input " + std::to_string(missing));
            freshHost();
            missingInputs = {missing};
            start(op);
            ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
            const size_t lines = host.journal.size();
            if (missing == 1 && op.inputs == 1) {
                // The warp never asks for a second input.
                ASSERT_EQ(render(8, 2), 0);
                EXPECT_EQ(lastOutput(), fieldPixels(0, 2, width, height));
            } else {
                EXPECT_EQ(render(8, 2), -1);
                expectLogged(op, lines);
            }
            EXPECT_EQ(host.fieldRequests, missing == 0 ? 1 : op.inputs);
            act(ACTION_TEARDOWN);
            vxh::installHost(nullptr);
        }
    missingInputs.clear();
}

// Images whose geometry does not describe a visible area are refused.
TEST_F(RenderFailure, MalformedImageGeometry)
{
    const struct {
        const char *what;
        std::function<void(HostImage *)> spoil;
    } spoils[] = {
        {"zero width", [](HostImage *i) { i->width = 0; }},
        {"zero height", [](HostImage *i) { i->height = 0; }},
        {"negative width", [](HostImage *i) { i->width = -24; }},
        {"negative height", [](HostImage *i) { i->height = -1; }},
        {"negative x offset", [](HostImage *i) { i->xOffset = -1; }},
        {"negative y offset", [](HostImage *i) { i->yOffset = -3; }},
        {"stride below the row",
         [](HostImage *i) { i->stride = (int16_t)(i->xOffset + i->width - 1); }},
        {"negative stride", [](HostImage *i) { i->stride = -i->stride; }},
        {"no pixels", [](HostImage *i) { i->pixels = nullptr; }},
    };
    for (const Op &op : kOps)
        for (int input = 0; input < op.inputs; ++input)
            for (const auto &s : spoils) {
                SCOPED_TRACE(std::string(op.name) + " input " + std::to_string(input) + ": " +
                             s.what);
                freshHost();
                tap = Tap{};
                host.padLeft = 2;
                host.padTop = 1;
                start(op);
                ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
                tap.spoil = [&](int in, HostImage *image) {
                    if (in == input)
                        s.spoil(image);
                };
                const size_t lines = host.journal.size();
                EXPECT_EQ(render(8, 4), -1);
                expectLogged(op, lines);
                EXPECT_TRUE(tap.originals.empty());
                // The same set-up renders again once the host's images are sound.
                tap.spoil = nullptr;
                ASSERT_EQ(render(8, 4), 0);
                EXPECT_EQ(lastOutput(), expected(op, defaultEffect(op, 3, width, height), 8, 4));
                act(ACTION_TEARDOWN);
                vxh::installHost(nullptr);
            }
}

TEST_F(RenderFailure, InputsOfDifferentSizes)
{
    const struct {
        int w, h;
    } sizes[] = {{16, 10}, {24, 8}, {32, 12}, {28, 10}};
    for (const Op &op : {kOps[0], kOps[1], kOps[2]})
        for (const auto &size : sizes) {
            SCOPED_TRACE(std::string(op.name) + " input 1 " + std::to_string(size.w) + "x" +
                         std::to_string(size.h));
            freshHost();
            sizeOf = [&](int input, uint32_t) {
                return input == 1 ? std::make_pair(size.w, size.h) : std::make_pair(width, height);
            };
            start(op);
            ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
            const size_t lines = host.journal.size();
            EXPECT_EQ(render(8, 0), -1);
            expectLogged(op, lines);
            act(ACTION_TEARDOWN);
            vxh::installHost(nullptr);
        }
    sizeOf = nullptr;
}

// ---- mends -----------------------------------------------------------------------

struct RenderMend : RenderBase {};

TEST_F(RenderMend, RenderAfterTearDownFailsUntilNextSetUp)
{
    for (const Op &op : kOps) {
        SCOPED_TRACE(op.name);
        freshHost();
        start(op);
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
        ASSERT_EQ(render(8, 0), 0);
        act(ACTION_TEARDOWN);
        const size_t lines = host.journal.size();
        EXPECT_EQ(render(8, 1), -1);
        EXPECT_EQ(render(8, 2), -1);
        expectLogged(op, lines);
        EXPECT_EQ(host.journal.size(), lines + 2);
        act(ACTION_TEARDOWN); // a second tear-down has nothing left to free
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
        ASSERT_EQ(render(8, 7), 0);
        EXPECT_EQ(lastOutput(), expected(op, defaultEffect(op, 3, width, height), 8, 7));
        act(ACTION_TEARDOWN);
        vxh::installHost(nullptr);
    }
}

// A set-up without a tear-down in between starts over: the effect is read
// again and the buffers of the first set-up are not lost (the sanitizer
// build checks for leaks).
TEST_F(RenderMend, SecondSetUpWithoutTearDown)
{
    for (const Op &op : kOps) {
        SCOPED_TRACE(op.name);
        freshHost();
        start(op);
        const std::vector<Key> first = threeKeys(4, width, height, 51);
        const std::vector<Key> second = threeKeys(4, width, height, 61);
        writeFile(effectPath(), effectBytes(4, width, height, first));
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
        ASSERT_EQ(render(8, 3), 0);
        EXPECT_EQ(lastOutput(), expected(op, first, 8, 3));
        writeFile(effectPath(), effectBytes(4, width, height, second));
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
        ASSERT_EQ(render(8, 3), 0);
        EXPECT_EQ(lastOutput(), expected(op, second, 8, 3));
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
        ASSERT_EQ(render(8, 7), 0);
        EXPECT_EQ(lastOutput(), expected(op, second, 8, 7));
        // A new set-up may come with fields of a new size: the effect of the
        // old size is not taken, the default effect is made for the new one.
        width = 16;
        height = 8;
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
        ASSERT_EQ(render(8, 5), 0);
        EXPECT_EQ(lastOutput(), expected(op, defaultEffect(op, 3, width, height), 8, 5));
        act(ACTION_TEARDOWN);
        width = 24;
        height = 10;
        vxh::installHost(nullptr);
    }
}

// Every field of one set-up must have the size of the first; a field of
// another size is refused (never written past the prepared buffers), and
// fields of the prepared size render on.
TEST_F(RenderMend, FieldSizeChangesWithinOneSetUp)
{
    const std::pair<int, int> sizes[] = {{16, 8}, {32, 12}, {24, 12}, {28, 10}, {24, 9}};
    for (const Op &op : kOps) {
        SCOPED_TRACE(op.name);
        freshHost();
        // Odd fields of both inputs come at the sizes above, even ones at the clip's size.
        sizeOf = [&](int, uint32_t field) {
            return field % 2 ? sizes[field / 2] : std::make_pair(width, height);
        };
        start(op);
        const std::vector<Key> keys = threeKeys(6, width, height, 71);
        writeFile(effectPath(), effectBytes(6, width, height, keys));
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 12), 0);
        for (uint32_t f = 0; f < 2 * std::size(sizes); ++f) {
            SCOPED_TRACE(f);
            const size_t lines = host.journal.size();
            if (f % 2) {
                EXPECT_EQ(render(12, f), -1);
                expectLogged(op, lines);
            } else {
                ASSERT_EQ(render(12, f), 0);
                EXPECT_EQ(lastOutput(), expected(op, keys, 12, f));
            }
        }
        act(ACTION_TEARDOWN);
        vxh::installHost(nullptr);
    }
    sizeOf = nullptr;
}

// ---- effect files and the project size ------------------------------------------------

struct RenderEffect : RenderBase {};

// With flags bit 0 on the first render the effect is made for the project
// size; it is drawn on every field at the field's size.
TEST_F(RenderEffect, ProjectSizeFlag)
{
    const int projectW = 2 * width, projectH = 2 * height; // one field of the project
    const struct {
        uint8_t flags;
        bool projectFile; // the effect file is of the project size (else of the field size)
        bool loaded;
    } cases[] = {{1, true, true}, {1, false, false}, {0, true, false}, {0, false, true}};
    for (const Op &op : kOps)
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(op.name) + " flags " + std::to_string(c.flags) +
                         (c.projectFile ? " project file" : " field file"));
            freshHost();
            host.projectWidth = projectW;
            host.projectHeight = 2 * projectH; // a frame: two fields
            start(op);
            const int fileW = c.projectFile ? projectW : width,
                      fileH = c.projectFile ? projectH : height;
            const std::vector<Key> keys = threeKeys(5, fileW, fileH, 83);
            writeFile(effectPath(), effectBytes(5, fileW, fileH, keys));
            const std::vector<Pixels> out = renderClip(10, c.flags);
            // The mesh is the effect's size; with the flag set it spans the field.
            const MeshSize mesh = c.flags ? MeshSize{projectW / 4, projectH / 2} : MeshSize{};
            const std::vector<Key> shown =
                c.loaded
                    ? keys
                    : defaultEffect(op, 4, c.flags ? projectW : width, c.flags ? projectH : height);
            expectClip(op, shown, 10, out, mesh);
            vxh::installHost(nullptr);
        }
}

// A project size below the field size leaves buffers too small for a field:
// every render is refused.
TEST_F(RenderEffect, ProjectSmallerThanTheField)
{
    for (const Op &op : kOps) {
        SCOPED_TRACE(op.name);
        freshHost();
        host.projectWidth = 16;
        host.projectHeight = 16; // fields of 16 x 8
        start(op);
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
        for (uint32_t f = 0; f < 3; ++f) {
            const size_t lines = host.journal.size();
            EXPECT_EQ(render(8, f, 1), -1);
            expectLogged(op, lines);
        }
        act(ACTION_TEARDOWN);
        vxh::installHost(nullptr);
    }
}

// Files that are not an effect for this picture are not loaded: the default
// effect is rendered instead.
TEST_F(RenderEffect, ForeignOrCorruptFilesAreNotLoaded)
{
    const std::vector<Key> good = threeKeys(4, width, height, 97);
    const std::string goodBytes = effectBytes(4, width, height, good);
    std::string badMagic = goodBytes;
    badMagic[0] = 0x01;
    std::string badKeyCount = goodBytes;
    badKeyCount[16] = 4;
    const struct {
        const char *what;
        std::string bytes;
    } files[] = {
        {"narrower picture",
         effectBytes(4, width - 4, height, threeKeys(4, width - 4, height, 97))},
        {"taller picture", effectBytes(4, width, height + 2, threeKeys(4, width, height + 2, 97))},
        {"same grid, other width",
         effectBytes(4, width + 2, height, threeKeys(4, width + 2, height, 97))},
        {"wrong magic", badMagic},
        {"more keys announced than stored", badKeyCount},
        {"cut inside a grid", goodBytes.substr(0, goodBytes.size() - 9)},
        {"header only", goodBytes.substr(0, 20)},
        {"short header", goodBytes.substr(0, 12)},
        {"empty", ""},
    };
    for (const Op &op : kOps)
        for (const auto &file : files) {
            SCOPED_TRACE(std::string(op.name) + ": " + file.what);
            freshHost();
            start(op);
            writeFile(effectPath(), file.bytes);
            expectClip(op, defaultEffect(op, 3, width, height), 8, renderClip(8));
            vxh::installHost(nullptr);
        }
}

// A warp instance without a name keeps its effect in spezial/warp.vlw.
TEST_F(RenderEffect, NamelessWarpUsesTheSpecialFile)
{
    start(kWarp, nullptr);
    const std::vector<Key> keys = threeKeys(4, width, height, 101);
    writeFile(fs::path(home) / "programs/vorlux/spezial/warp.vlw",
              effectBytes(4, width, height, keys));
    expectClip(kWarp, keys, 8, renderClip(8));
}

// Each operator's failure lines carry its own source name and module code.
TEST_F(RenderEffect, JournalLinesNameTheOperator)
{
    for (const Op &op : kOps) {
        SCOPED_TRACE(op.name);
        freshHost();
        start(op);
        ASSERT_EQ(act(ACTION_SETUP, 1, 0, 8), 0);
        const size_t lines = host.journal.size();
        missingInputs = {0};
        EXPECT_EQ(render(8, 0), -1);
        missingInputs.clear();
        ASSERT_EQ(host.journal.size(), lines + 1);
        expectLogged(op, lines);
        act(ACTION_TEARDOWN);
        vxh::installHost(nullptr);
    }
}

} // namespace
