// The editor run against a scripted host: layout, sessions, leaving, the
// parameter block and the variants' gadgets.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "editor/edit.h"
#include "editor/session.h"
#include "editor/undo.h"
#include "effect/effectfile.h"
#include "effect/keys.h"
#include "operator/instance.h"
#include "platform/services.h"
#include "tests/unit/fake_screen.h"
#include "tests/unit/support.h"

namespace {

EditorMessage message(uint16_t type)
{
    EditorMessage m{};
    m.type = type;
    return m;
}
// a: button, (b, c) in the edit view
EditorMessage inView(const EditorState &ed, const ScriptStep &s)
{
    EditorMessage m = message(s.a ? EDITOR_MSG_MOUSE_BUTTON : EDITOR_MSG_MOUSE_MOVE);
    m.u.mouse.button = (uint16_t)s.a;
    m.u.mouse.x = (int16_t)(ed.imageAreaX + s.b);
    m.y = (int16_t)(ed.imageAreaY + s.c);
    return m;
}
// a: button, (b, c) on the screen
EditorMessage onScreen(const EditorState &, const ScriptStep &s)
{
    EditorMessage m = message(EDITOR_MSG_MOUSE_BUTTON);
    m.u.mouse.button = (uint16_t)s.a;
    m.u.mouse.x = (int16_t)s.b;
    m.y = (int16_t)s.c;
    return m;
}
// a: gadget, b: value
EditorMessage gadget(const EditorState &ed, const ScriptStep &s)
{
    EditorMessage m = message(EDITOR_MSG_GADGET);
    m.u.code = (uint32_t)ed.session.gadget[s.a];
    m.value = s.b;
    return m;
}
// Timeline click: a: 0 key row, 1 marker row; b: offset from the scale's left end
EditorMessage onTimeline(const EditorState &ed, const ScriptStep &s)
{
    EditorMessage m = message(EDITOR_MSG_MOUSE_BUTTON);
    m.u.mouse.button = MOUSE_LEFT_DOWN;
    m.u.mouse.x = (int16_t)(ed.overviewX + 14 + s.b);
    m.y = (int16_t)(ed.overviewY + ed.overviewHeight + (s.a ? 48 : 30));
    return m;
}

// a: key code
EditorMessage key(const EditorState &, const ScriptStep &s)
{
    EditorMessage m = message(EDITOR_MSG_KEY);
    m.u.code = (uint32_t)s.a;
    return m;
}

const ScriptStep releaseOutside = {onScreen, MOUSE_LEFT_UP, 0, 0};

std::vector<ScriptStep> paint(int button = MOUSE_LEFT_DOWN)
{
    return {{inView, button, 200, 200},
            {inView, 0, 230, 210},
            {inView, 0, 260, 220},
            {inView, button == MOUSE_LEFT_DOWN ? MOUSE_LEFT_UP : MOUSE_RIGHT_UP, 260, 220}};
}

struct Edit : CoreTest {
    FakeScreen screen;
    ActionRecord record{};
    std::string path;
    void SetUp() override
    {
        path = scratchDir("edit") + "/effect.vfx";
        start(&vxMorphVariant);
        describeEffect(instance, nullptr);
    }
    void TearDown() override { useVariant(); }
    void start(const VariantDesc *variant, uint32_t fields = 20)
    {
        useVariant(variant);
        screen = FakeScreen{};
        screen.fieldWidth = 352;
        screen.fieldHeight = 144;
        installFakeScreen(screen);
        ctx.projectWidth = 352;
        ctx.projectHeight = 144;
        record.fieldCount = fields;
        ctx.actionRecord = &record;
        snprintf(ctx.effectPathBuffer, sizeof ctx.effectPathBuffer, "%s", path.c_str());
        ctx.effectPath = ctx.effectPathBuffer;
    }
    int run(std::vector<ScriptStep> script)
    {
        screen.script = std::move(script);
        screen.editor = &ed;
        return editEffect(ed, ctx, paramBlock);
    }
    // The saved effect: frame, level and whether the grid is all zero, per key.
    std::vector<std::tuple<uint32_t, int32_t, bool>> savedKeys()
    {
        ctx.imageWidth = 352;
        ctx.imageHeight = 144;
        ctx.gridCols = 88;
        ctx.gridRows = 72;
        ctx.lastFrame = (int32_t)record.fieldCount / 2 - 1;
        std::vector<std::tuple<uint32_t, int32_t, bool>> keys;
        if (loadEffect(ctx) != EFFECT_LOADED)
            return keys;
        for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
            bool zero = true;
            for (int i = 0; i < 88 * 72; ++i)
                zero = zero && k->grid[i].dx == 0.0f && k->grid[i].dy == 0.0f;
            keys.emplace_back(k->frame, k->level, zero);
        }
        freeKeys(ctx);
        return keys;
    }
    const FakeGadget *gadgetOfKind(int kind, int32_t key)
    {
        for (const FakeGadget &g : screen.gadgets)
            if (g.kind == kind && g.key == key)
                return &g;
        return nullptr;
    }
};

TEST_F(Edit, LayoutFollowsTheScreenAndShrinksToALowScreen)
{
    const struct {
        int sw, sh, visTop;
        const VariantDesc *variant;
        std::vector<int> expected; // overviewX, overviewY, W, overviewHeight, overviewBoxH,
                                   // editBoxX, editBoxH, editViewHeight, logoX, bottomY
    } cases[] = {
        {1024,
         768,
         96,
         &vxMorphVariant,
         {49, 114, 290, 232, 410, 371, 540, 464, 195, 672}}, // too low: W shrinks
        {1024, 1024, 224, &vxMorphVariant, {1, 281, 322, 257, 435, 355, 591, 515, 195, 928}},
        {1024, 1024, 224, &vxDrawVariant, {1, 281, 322, 257, 409, 355, 591, 515, 195, 928}},
        {600, 1024, 224, &vxWarpVariant, {0, 394, 181, 144, 296, 213, 365, 289, -17, 928}},
    };
    for (const auto &c : cases) {
        start(c.variant);
        ed.session.visibleTop = c.visTop;
        ed.session.visibleBottom = c.sh - 1;
        computeLayout(ed, ctx, c.sw, c.sh, 720, 576);
        const EditorSession &e = ed.session;
        EXPECT_EQ(std::vector<int>({ed.overviewX, ed.overviewY, ed.overviewWidth, ed.overviewHeight,
                                    e.overviewBoxHeight, ed.editBoxX, e.editBoxHeight,
                                    ed.editViewHeight, e.logoX, e.bottomY}),
                  c.expected)
            << c.sw << "x" << c.sh << " " << c.variant->name;
        EXPECT_EQ(ed.editViewWidth, 2 * ed.overviewWidth);
        EXPECT_DOUBLE_EQ(ed.viewScale, ed.overviewWidth * 2.0 / 360);
    }
}

TEST_F(Edit, SessionPaintsInsertsKeysAndStoresLevelsOnDone)
{
    std::vector<ScriptStep> script = paint();
    script.push_back({gadget, GADGET_FRAME, 3});
    script.push_back(releaseOutside);
    for (const ScriptStep &s : paint())
        script.push_back(s);
    script.push_back({gadget, GADGET_KEY_LEVEL, 200});
    script.push_back(releaseOutside);
    script.push_back({gadget, GADGET_DONE, 0});
    EXPECT_EQ(run(script), 0);
    EXPECT_EQ(screen.nextStep, script.size());
    EXPECT_EQ(savedKeys(), (std::vector<std::tuple<uint32_t, int32_t, bool>>{
                               {0, 0, false}, {3, 200, false}, {9, 255, true}}));
    EXPECT_EQ(paramBlock.savedFrame, 3);
    EXPECT_EQ(screen.requestsDeleted, 1);
    EXPECT_EQ(ctx.meshA, nullptr);
    EXPECT_EQ(ed.fields.a, nullptr);
    EXPECT_EQ(ctx.renderPrepared, 0);
    // The overview's preview picture was a quarter of the 352 x 144 fields each way.
    EXPECT_EQ(ed.previewWidth, 88);
    EXPECT_EQ(ed.previewHeight, 36);

    // A second opening starts where the first left off.
    start(&vxMorphVariant);
    EXPECT_EQ(run({}), 0);
    const FakeGadget *frame = gadgetOfKind(VG_GADGET_SLIDER, 0x200074);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(std::vector<int>({frame->minimum, frame->maximum, frame->value}),
              std::vector<int>({0, 9, 3}));
}

using Keys = std::vector<std::tuple<uint32_t, int32_t, bool>>; // frame, level, zero grid

std::vector<ScriptStep> joined(std::initializer_list<std::vector<ScriptStep>> parts)
{
    std::vector<ScriptStep> all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST_F(Edit, EveryVariantPaintsTwoKeysAndSavesThem)
{
    const struct {
        const VariantDesc *variant;
        Keys keys;
    } cases[] = {{&vxMorphVariant, {{0, 0, false}, {3, 85, false}, {9, 255, true}}},
                 {&vxDrawVariant, {{0, 0, false}, {3, 0, false}, {9, 255, true}}},
                 {&vxFxVariant, {{0, 0, false}, {3, 85, false}, {9, 255, true}}},
                 {&vxWarpVariant, {{0, 0, false}, {3, 0, false}, {9, 100, true}}}};
    for (const auto &c : cases) {
        start(c.variant);
        describeEffect(instance, nullptr);
        std::filesystem::remove(path);
        run(joined({paint(),
                    {{gadget, GADGET_FRAME, 3}, releaseOutside},
                    paint(),
                    {{gadget, GADGET_DONE}}}));
        EXPECT_EQ(savedKeys(), c.keys) << c.variant->name;
    }
}

TEST_F(Edit, ReactionsKeepAndStoreTheMeshTheEditorShows)
{
    const ScriptStep done = {gadget, GADGET_DONE};
    const struct {
        const char *what;
        std::vector<ScriptStep> script;
        int textAnswer;
        Keys keys;
    } cases[] = {
        {"generator amount, released",
         {{gadget, GADGET_GENERATOR, 1}, {gadget, GADGET_AMOUNT, 50}, releaseOutside, done},
         1,
         {{0, 0, false}, {9, 255, true}}},
        {"frame slider by keyboard",
         joined({{{gadget, GADGET_FRAME, 3}}, paint(), {{gadget, GADGET_FRAME, 5}, done}}),
         1,
         {{0, 0, true}, {3, 85, false}, {9, 255, true}}},
        {"copy and paste",
         joined(
             {paint(),
              {{key, 0x20063}, {gadget, GADGET_FRAME, 4}, releaseOutside, {key, 0x20076}, done}}),
         1,
         {{0, 0, false}, {4, 113, false}, {9, 255, true}}},
        {"reset confirmed",
         joined({paint(), {{gadget, GADGET_RESET}, done}}),
         1,
         {{0, 0, true}, {9, 255, true}}},
        {"reset cancelled",
         joined({paint(), {{gadget, GADGET_RESET}, done}}),
         2,
         {{0, 0, false}, {9, 255, true}}},
        {"delete key",
         joined({{{gadget, GADGET_FRAME, 3}, releaseOutside},
                 paint(),
                 {{gadget, GADGET_DELETE_KEY}, done}}),
         1,
         {{0, 0, true}, {9, 255, true}}},
        {"key level released once",
         {{gadget, GADGET_FRAME, 3},
          releaseOutside,
          {gadget, GADGET_KEY_LEVEL, 200},
          releaseOutside,
          {onTimeline, 1, 103},
          releaseOutside,
          done},
         1,
         {{0, 0, true}, {3, 200, true}, {9, 255, true}}},
        {"close does not store", paint(), 1, {{0, 0, true}, {9, 255, true}}},
        {"preview stores, close does not",
         joined({paint(), {{gadget, GADGET_PREVIEW}}, paint()}),
         1,
         {{0, 0, false}, {9, 255, true}}},
    };
    for (const auto &c : cases) {
        start(&vxMorphVariant);
        describeEffect(instance, nullptr);
        std::filesystem::remove(path);
        screen.textAnswer = c.textAnswer;
        run(c.script);
        EXPECT_EQ(savedKeys(), c.keys) << c.what;
        EXPECT_EQ(ctx.editorActive, 0);
    }
    EXPECT_EQ(screen.previews, 1);
}

TEST_F(Edit, ShortClipAndNarrowScreenStillEdit)
{
    // Three fields: one frame, both keys on it; the frame slider runs 0..0.
    start(&vxMorphVariant, 3);
    screen.screenWidth = 600;
    run(joined({paint(), {{gadget, GADGET_DONE}}}));
    EXPECT_EQ(ed.session.logoX, -17);
    EXPECT_EQ(gadgetOfKind(VG_GADGET_SLIDER, 0x200074)->maximum, 0);
    EXPECT_EQ(savedKeys(), (Keys{{0, 0, false}, {0, 255, true}}));
}

TEST_F(Edit, StoredSettingsOutOfRangeTakeTheirDefaults)
{
    paramBlock = {0, 9, -1, 40, 300, 77, 3, 5, 7, 9, 9999, -5};
    run({});
    const EffectParamBlock &p = paramBlock;
    EXPECT_EQ(std::vector<int>({p.brushSizeIndex, p.brushPreset, p.generatorType, p.viewBlend,
                                p.savedFrame, p.mirrorMode, p.viewZoom, p.viewScrollX,
                                p.viewScrollY, p.zoomPointX, p.zoomPointY}),
              std::vector<int>({1, 1, 0, 128, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ed.brushRadius, 16);

    paramBlock = {0, 3, 7, 5, 64, 2, 1, 2, 20, 7, 100, 80};
    run({}); // zoom 2 re-applies the click point: scroll (2 (45 - 11), 36 - 9)
    EXPECT_EQ(
        std::vector<int>({paramBlock.brushSizeIndex, paramBlock.viewZoom, paramBlock.viewScrollX,
                          paramBlock.viewScrollY, paramBlock.generatorType}),
        std::vector<int>({3, 2, 68, 27, 5}));
    EXPECT_EQ(ed.brushRadius, 8);
    EXPECT_EQ(ed.brushMode, 3);
}

TEST_F(Edit, RightDragRelaxesAtHalfStrengthAndRestoresThePreset)
{
    std::vector<ScriptStep> script = paint();
    for (const ScriptStep &s : paint(MOUSE_RIGHT_DOWN))
        script.push_back(s);
    script.push_back({gadget, GADGET_DONE, 0});
    run(script);
    EXPECT_FLOAT_EQ(ed.brushStrength, 0.7f);
    EXPECT_EQ(ed.brushMode, 2);
}

TEST_F(Edit, TimelineClicksSnapToKeysOrTakeTheFrame)
{
    // Keys on 0, 3 and 9 of frames 0..9; scale 154 pixels.
    const struct {
        int row, offset, frame;
    } cases[] = {
        {0, -4, 0},  // left of the scale: frame 0
        {0, 103, 3}, // frame 6, halfway between 3 and 9: the earlier key
        {0, 120, 9}, // frame 7: the nearer key
        {0, 158, 9}, // right of the scale: the last key
        {1, 103, 6}, // marker row: the frame as is
        {1, 158, 9},
    };
    for (const auto &c : cases) {
        start(&vxMorphVariant);
        describeEffect(instance, nullptr);
        std::filesystem::remove(path);
        run({{gadget, GADGET_FRAME, 3},
             releaseOutside,
             {inView, MOUSE_LEFT_DOWN, 10, 10},
             {inView, MOUSE_LEFT_UP, 10, 10},
             {onTimeline, c.row, c.offset}});
        EXPECT_EQ(paramBlock.savedFrame, c.frame) << c.row << " " << c.offset;
    }
    EXPECT_EQ(timelineFrame(ed, ctx, ed.overviewX + 14 - 100000), 0u);
}

TEST_F(Edit, EditorDoesNotOpenWithoutAClipImageQueueOrRoom)
{
    const struct {
        uint32_t fields;
        bool noImage, noQueue;
        int screenHeight;
        size_t texts;
    } cases[] = {{1, false, false, 768, 1},
                 {20, true, false, 768, 0},
                 {20, false, true, 768, 0},
                 {20, false, false, 60, 0}};
    for (const auto &c : cases) {
        start(&vxMorphVariant, c.fields);
        describeEffect(instance, nullptr);
        std::filesystem::remove(path);
        screen.noImage = c.noImage;
        screen.noQueue = c.noQueue;
        screen.screenHeight = c.screenHeight;
        run(paint());
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(screen.texts.size(), c.texts);
        EXPECT_EQ(screen.liveImages, 0);
        EXPECT_EQ(ctx.stringTable, nullptr);
    }
}

TEST_F(Edit, WarpHasNoLevelOrViewBlendGadgetsAndItsOwnDoneKey)
{
    for (const VariantDesc *variant : {&vxMorphVariant, &vxWarpVariant}) {
        start(variant);
        run({});
        const bool warp = variant == &vxWarpVariant;
        EXPECT_EQ(gadgetOfKind(VG_GADGET_SLIDER, 0x200066) == nullptr, warp);
        EXPECT_EQ(gadgetOfKind(VG_GADGET_SLIDER, 118) == nullptr, warp);
        EXPECT_NE(gadgetOfKind(VG_GADGET_IMAGE_BUTTON, warp ? 0x100069 : 0x100063), nullptr);
        EXPECT_EQ(screen.panels[0][3], ed.overviewHeight + (warp ? 2 * 18 + 116 : 3 * 18 + 124));
    }
}

// ---- Undo and redo ----

// The editor's model and the last picture drawn at each place, as bytes:
// key frames, levels, grids and thumbnails, the current frame, level and
// flags, the working meshes, the clipboard and the generator's amounts.
std::string modelNow(const EditorState &ed, const OperatorContext &ctx, const FakeScreen &screen)
{
    std::string m;
    auto put = [&m](const void *p, size_t n) { m.append((const char *)p, n); };
    const size_t mesh = gridNodeCount(ctx) * sizeof(MeshNode);
    for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
        put(&k->frame, 4), put(&k->level, 4), put(k->grid, mesh);
        put(k->thumbnail, sizeof k->thumbnail);
    }
    for (const MeshNode *n : {ctx.meshA, ctx.meshBase, ctx.meshClipboard})
        put(n, mesh);
    if (ctx.variant->hasMeshB)
        put(ctx.meshB, mesh);
    put(&ctx.currentFrame, 4), put(&ctx.dissolveLevel, 4), put(&ctx.keyModified, 4);
    put(ed.generatorParams, sizeof ed.generatorParams);
    // The last overview and edit view pictures.
    const std::pair<int, int> views[] = {{ed.overviewX + 12, ed.overviewY + 12},
                                         {ed.imageAreaX, ed.imageAreaY}};
    for (const auto &[x, y] : views)
        for (auto c = screen.calls.rbegin(); c != screen.calls.rend(); ++c)
            if (c->name == "picture" && c->x0 == x && c->y0 == y) {
                put(c->pixels.data(), c->pixels.size() * 4);
                break;
            }
    return m;
}

std::string readFile(const std::string &path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// What the probes of a session saw, in order.
struct Probes {
    const CoreTest *test = nullptr;
    const FakeScreen *screen = nullptr;
    std::vector<std::string> models;
    std::vector<int32_t> steps;
    std::vector<size_t> bytes;
} probes;

EditorMessage probe(const EditorState &ed, const ScriptStep &)
{
    probes.models.push_back(modelNow(ed, probes.test->ctx, *probes.screen));
    probes.steps.push_back(undoableSteps(ed));
    probes.bytes.push_back(undoHistoryBytes(ed));
    return message(0);
}

// Every kind of step in every editor: undoing them all gives back the
// model and pictures the session started with, redoing them all those it
// ended with, and Done then saves what a session without them saves.
TEST_F(Edit, UndoAllGivesTheStartAndRedoAllTheEnd)
{
    const ScriptStep done = {gadget, GADGET_DONE}, check = {probe, 0};
    const std::vector<ScriptStep> steps = joined({
        paint(),
        paint(MOUSE_RIGHT_DOWN),
        {{gadget, GADGET_GENERATOR, 3}, {gadget, GADGET_AMOUNT, 40}, {gadget, GADGET_AMOUNT, 60}},
        {releaseOutside, {gadget, GADGET_KEY_LEVEL, 200}, releaseOutside},
        {{gadget, GADGET_FRAME, 3}, releaseOutside},
        paint(), // a new key
        {{key, 0x20063}, {gadget, GADGET_FRAME, 5}, releaseOutside},
        {{key, 0x20076}}, // paste as a new key
        paint(),
        {{key, 0x20073}}, // swap
        paint(),
        {{gadget, GADGET_REVERT}, {gadget, GADGET_CLEAR}, {gadget, GADGET_DELETE_KEY}},
        {{gadget, GADGET_FRAME, 3}, releaseOutside},
        paint(),
        {{gadget, GADGET_RESET}},
    });
    auto times = [](int n, uint32_t code) {
        return std::vector<ScriptStep>((size_t)n, ScriptStep{key, (int)code});
    };
    // One step per edit; the draw and warp editors have no level slider.
    const std::pair<const VariantDesc *, int32_t> editors[] = {
        {&vxMorphVariant, 15}, {&vxDrawVariant, 14}, {&vxFxVariant, 15}, {&vxWarpVariant, 14}};
    for (const auto &[variant, stepCount] : editors) {
        start(variant);
        describeEffect(instance, nullptr);
        std::filesystem::remove(path);
        probes = {this, &screen};
        run(joined({{check},
                    steps,
                    {check},
                    times(30, 0x2007A),
                    {check},
                    times(15, 0x22007A),
                    times(15, 0x20079),
                    {check},
                    times(30, 0x2007A),
                    {done}}));
        ASSERT_EQ(probes.models.size(), 4u) << variant->name;
        const std::string undone = readFile(path);
        EXPECT_EQ(probes.steps[1], stepCount) << variant->name;
        EXPECT_NE(probes.models[1], probes.models[0]) << variant->name;
        EXPECT_TRUE(probes.models[2] == probes.models[0]) << variant->name << ": undo all";
        EXPECT_TRUE(probes.models[3] == probes.models[1]) << variant->name << ": redo all";
        EXPECT_EQ(probes.steps[2], 0) << variant->name;
        EXPECT_EQ(probes.steps[3], probes.steps[1]) << variant->name;

        std::filesystem::remove(path);
        run({done});
        EXPECT_TRUE(readFile(path) == undone) << variant->name << ": saved effect";
    }
}

// At the step limit the oldest steps go; a byte limit keeps fewer, within it.
TEST_F(Edit, UndoKeepsTheLastHundredStepsWithinItsBytes)
{
    const struct {
        size_t limit;
        int32_t steps; // -1: fewer than 100
    } cases[] = {{(size_t)256 << 20, 100}, {(size_t)1 << 20, -1}};
    for (const auto &c : cases) {
        start(&vxMorphVariant);
        ed.undoByteLimit = c.limit;
        std::filesystem::remove(path);
        probes = {this, &screen};
        std::vector<ScriptStep> script;
        for (int i = 0; i < 110; ++i) {
            script.push_back({inView, MOUSE_LEFT_DOWN, 20 + i % 300, 20 + i % 90});
            script.push_back({inView, 0, 30 + i % 300, 25 + i % 90});
            script.push_back({inView, MOUSE_LEFT_UP, 30 + i % 300, 25 + i % 90});
            if (i == 9)
                script.push_back({probe, 0});
        }
        script.push_back({probe, 0});
        for (int i = 0; i < 105; ++i)
            script.push_back({key, 0x2007A});
        script.push_back({probe, 0});
        run(script);
        ASSERT_EQ(probes.steps.size(), 3u);
        EXPECT_LE(probes.bytes[1], c.limit);
        EXPECT_LE(probes.bytes[2], c.limit);
        if (c.steps > 0) {
            EXPECT_EQ(probes.steps[1], c.steps);
            EXPECT_TRUE(probes.models[2] == probes.models[0]) << "undone to stroke 10";
        } else {
            EXPECT_GT(probes.steps[1], 0);
            EXPECT_LT(probes.steps[1], 100);
        }
    }
}

} // namespace
