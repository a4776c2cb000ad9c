// The effect operators' action dispatch, driven directly on the core.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "effect/keys.h"
#include "engine/heap.h"
#include "operator/frame/dispatch.h"
#include "operator/host/vxcore.h"
#include "platform/services.h"
#include "tests/unit/support.h"

namespace {

namespace fs = std::filesystem;

// A host with one optional instance name and a project field size.
struct MiniHost {
    std::string name;
    bool hasName = true;
    std::string returned; // the host's string, rewritten after each call
    HostImage project = {};
    int allocs = 0, frees = 0;
};
MiniHost mini;

const char *miniName(void *, uint32_t, const char *dir)
{
    if (!mini.hasName)
        return nullptr;
    mini.returned = std::string(dir) + mini.name;
    return mini.returned.c_str();
}

HostImage *miniAlloc(void *, int, int, int, int)
{
    ++mini.allocs;
    return &mini.project;
}

void miniFree(void *, HostImage *)
{
    ++mini.frees;
}

struct Dispatch : CoreTest {
    std::string home;
    std::string savedHome;
    bool hadHome = false;
    void SetUp() override
    {
        if (const char *h = getenv("VXHOME")) {
            hadHome = true;
            savedHome = h;
        }
        useVariant();
        mini = MiniHost{};
        mini.name = "clip-7";
        mini.project.width = 720;
        mini.project.height = 288;
        VxHostServices s = *vxHostServices();
        s.customPrefsName = miniName;
        s.allocImage = miniAlloc;
        s.freeImage = miniFree;
        vxInstallHostServices(&s);
        home = scratchDir("dispatch");
        setenv("VXHOME", home.c_str(), 1);
    }
    void TearDown() override
    {
        if (hadHome)
            setenv("VXHOME", savedHome.c_str(), 1);
        else
            unsetenv("VXHOME");
        useVariant();
    }
    int act(uint16_t action, uint16_t gadget = 0)
    {
        ActionRecord record = {action, gadget, {0, 0, 0, 0}, 100, 0, 7};
        return dispatchAction(*ctx.variant, &instance, &record);
    }
};

// Two instances of one variant, made and driven through the variant's
// hooks, keep their own parameter blocks, tag lists, paths and settings;
// the transition's instances likewise keep their gadget records.
TEST_F(Dispatch, InstancesOfOneVariantKeepTheirOwnState)
{
    for (const VariantDesc *variant : {&vxMorphVariant, &vxOpVariant}) {
        const OperatorHooks &hooks = *variant->hooks;
        void *a = hooks.create(*variant), *b = hooks.create(*variant);
        ASSERT_TRUE(a && b);
        const OpTagItem *tagsA = hooks.describe(a, nullptr), *tagsB = hooks.describe(b, nullptr);
        ASSERT_NE(tagsA, tagsB);
        const ParamBlockDesc *blockA = (const ParamBlockDesc *)tagsA[5].value;
        const ParamBlockDesc *blockB = (const ParamBlockDesc *)tagsB[5].value;
        ASSERT_EQ(tagsA[5].tag, OP_TAG_PARAMS);
        ASSERT_NE(blockA->block, blockB->block);
        std::vector<uint8_t> before((uint8_t *)blockB->block,
                                    (uint8_t *)blockB->block + blockB->size);
        memset(blockA->block, 0x5A, blockA->size); // the host restores A's saved bytes
        EXPECT_EQ(memcmp(blockB->block, before.data(), before.size()), 0) << variant->name;
        // A gadget value the host writes reaches its own instance only.
        const GadgetDesc *gadgetA = (const GadgetDesc *)tagsA[6].value;
        const GadgetDesc *gadgetB = (const GadgetDesc *)tagsB[6].value;
        EXPECT_NE(gadgetA, gadgetB);
        ActionRecord setup = {ACTION_SETUP, 0, {0, 0, 0, 0}, 100, 0, 7};
        mini.name = "first";
        EXPECT_EQ(dispatchAction(*variant, a, &setup), 0);
        mini.name = "second";
        EXPECT_EQ(dispatchAction(*variant, b, &setup), 0);
        if (variant == &vxMorphVariant) {
            EXPECT_EQ(std::string(((EffectInstance *)a)->ctx.effectPath),
                      home + "/programs/vorlux/first");
            EXPECT_EQ(std::string(((EffectInstance *)b)->ctx.effectPath),
                      home + "/programs/vorlux/second");
            ((EffectInstance *)a)->editor.brushRadius = 40;
            EXPECT_EQ(((EffectInstance *)b)->editor.brushRadius, 16);
        }
        hooks.destroy(a);
        hooks.destroy(b);
    }
    failAllocationAfter(0); // no memory: no instance
    EXPECT_EQ(vxMorphVariant.hooks->create(vxMorphVariant), nullptr);
    failAllocationAfter(-1);
}

TEST_F(Dispatch, NullRecordFails)
{
    EXPECT_EQ(dispatchAction(*ctx.variant, &instance, nullptr), -1);
}

TEST_F(Dispatch, SetupCopiesTheHostsName)
{
    ctx.renderPrepared = 1;
    EXPECT_EQ(act(ACTION_SETUP), 0);
    EXPECT_EQ(ctx.renderPrepared, 0);
    ASSERT_NE(ctx.effectPath, nullptr);
    const std::string expected = home + "/programs/vorlux/clip-7";
    EXPECT_EQ(std::string(ctx.effectPath), expected);
    EXPECT_STREQ(ctx.operatorDir, (home + "/programs/vorlux/").c_str());
    // The host reuses its string: our path must not change with it.
    mini.returned.assign(300, 'x');
    EXPECT_EQ(std::string(ctx.effectPath), expected);
    EXPECT_NE(ctx.effectPath, mini.returned.c_str());
}

TEST_F(Dispatch, NamelessInstance)
{
    mini.hasName = false;
    ctx.renderPrepared = 1;
    EXPECT_EQ(act(ACTION_SETUP), -1);
    EXPECT_EQ(ctx.renderPrepared, 1);
    EXPECT_EQ(ctx.effectPath, nullptr);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_EQ(act(ACTION_GADGET, 0), -1);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_EQ(act(ACTION_DELETE), 0);
    EXPECT_EQ(takeJournal().size(), 1u);

    // The warp falls back to its fixed file.
    ctx.variant = &vxWarpVariant;
    EXPECT_EQ(act(ACTION_SETUP), 0);
    EXPECT_EQ(std::string(ctx.effectPath), home + "/programs/vorlux/spezial/warp.vlw");
    EXPECT_TRUE(takeJournal().empty());
}

TEST_F(Dispatch, JournalNamesSourceAndModule)
{
    mini.hasName = false;
    act(ACTION_SETUP);
    std::vector<std::string> lines = takeJournal();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("level=4"), std::string::npos);
    EXPECT_NE(lines[0].find("source=src\\VorluxMorph"), std::string::npos);
    EXPECT_NE(lines[0].find("module=0x0B8D0000"), std::string::npos);
    EXPECT_NE(lines[0].find("text=\" \""), std::string::npos);
}

TEST_F(Dispatch, HomeUnsetOrTooLong)
{
    for (int round = 0; round < 3; ++round) {
        if (round == 0)
            unsetenv("VXHOME");
        else if (round == 1)
            setenv("VXHOME", "", 1);
        else
            setenv("VXHOME", ("/tmp/" + std::string(600, 'h')).c_str(), 1);
        SCOPED_TRACE(round);
        EXPECT_EQ(act(ACTION_SETUP), -1);
        EXPECT_EQ(act(ACTION_GADGET, 0), -1);
        EXPECT_EQ(act(ACTION_DELETE), 0);
        EXPECT_EQ(act(ACTION_INSTALL), 0);
        EXPECT_EQ(takeJournal().size(), 4u);
        EXPECT_EQ(ctx.effectPath, nullptr);
    }
    // Just short enough: the directory and the longest name below it fit.
    std::string base = home + "/";
    base += std::string(OPERATOR_DIR_SIZE - base.size() - 17 - 17 - 1,
                        'd'); // the terminator needs its byte too
    setenv("VXHOME", base.c_str(), 1);
    EXPECT_EQ(act(ACTION_SETUP), 0);
    setenv("VXHOME", (base + "d").c_str(), 1);
    EXPECT_EQ(act(ACTION_SETUP), -1);
}

TEST_F(Dispatch, InstallCreatesParentsAndProbes)
{
    const std::string deep = home + "/not/yet/there";
    ctx.variant = &vxWarpVariant;
    setenv("VXHOME", deep.c_str(), 1);
    EXPECT_EQ(act(ACTION_INSTALL), 0);
    EXPECT_TRUE(fs::is_directory(deep + "/programs/vorlux"));
    EXPECT_TRUE(fs::is_directory(deep + "/programs/vorlux/spezial"));
    EXPECT_EQ(ctx.projectWidth, 720);
    EXPECT_EQ(ctx.projectHeight, 288);
    EXPECT_EQ(mini.allocs, 1);
    EXPECT_EQ(mini.frees, 1);
    EXPECT_TRUE(takeJournal().empty());

    // A file where the directory should be: logged, still 0.
    fs::remove_all(home + "/blocked");
    fs::create_directories(home + "/blocked");
    {
        FILE *f = fopen((home + "/blocked/programs").c_str(), "w");
        fclose(f);
    }
    setenv("VXHOME", (home + "/blocked").c_str(), 1);
    EXPECT_EQ(act(ACTION_INSTALL), 0);
    EXPECT_EQ(takeJournal().size(), 2u); // operator directory and spezial
}

TEST_F(Dispatch, DeleteRemovesTheInstancesFile)
{
    fs::create_directories(home + "/programs/vorlux");
    const std::string file = home + "/programs/vorlux/clip-7";
    {
        FILE *f = fopen(file.c_str(), "w");
        fclose(f);
    }
    EXPECT_EQ(act(ACTION_DELETE), 0);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(act(ACTION_DELETE), 0); // already gone: nothing to do
}

TEST_F(Dispatch, OtherGadgetsLookUpThePathOnly)
{
    EXPECT_EQ(act(ACTION_GADGET, 2), 0);
    EXPECT_EQ(std::string(ctx.effectPath), home + "/programs/vorlux/clip-7");
    EXPECT_EQ(mini.allocs, 0); // no project probe, no editor
}

TEST_F(Dispatch, EditorGadgetProbesTheProject)
{
    EXPECT_EQ(act(ACTION_GADGET, 0), 0);
    EXPECT_EQ(ctx.projectWidth, 720);
    EXPECT_EQ(ctx.projectHeight, 288);
    EXPECT_EQ(ctx.editorRunning, 0);
}

TEST_F(Dispatch, SecondEditorIsRefused)
{
    ctx.editorRunning = 1;
    strcpy(ctx.effectPathBuffer, "/editor/own/path");
    ctx.effectPath = ctx.effectPathBuffer;
    EXPECT_EQ(act(ACTION_GADGET, 0), -1);
    EXPECT_EQ(takeJournal().size(), 1u);
    EXPECT_EQ(act(ACTION_GADGET, 1), 0);
    EXPECT_STREQ(ctx.effectPath, "/editor/own/path");
}

// The editor's preview: the host nests set-up, render and tear-down.
TEST_F(Dispatch, PreviewNestingRestoresWorkingValues)
{
    uint32_t source[4], target[4];
    MeshNode mesh[4] = {};
    ctx.gridCols = ctx.gridRows = 1;
    ctx.lastFrame = 9;
    ASSERT_EQ(createFirstKey(ctx), 0);
    ASSERT_EQ(createLastKey(ctx), 0);
    KeyRecord *keys = ctx.keyList;
    uint32_t *output = (uint32_t *)allocBlock(16);
    ctx.outputPixels = output;
    ctx.meshA = mesh;
    ctx.sourcePixels = source;
    ctx.targetPixels = target;
    ctx.imageWidth = 720;
    ctx.imageHeight = 576;
    ctx.currentFrame = 33;
    ctx.workWidth = 360;
    ctx.workHeight = 144;
    strcpy(ctx.effectPathBuffer, "/editor/own/path");
    ctx.effectPath = ctx.effectPathBuffer;
    mini.hasName = false; // a null name during a preview is no error
    ctx.editorActive = 1;

    EXPECT_EQ(act(ACTION_SETUP), 0);
    // What a nested render overwrites.
    ctx.sourcePixels = ctx.targetPixels = nullptr;
    ctx.imageWidth = ctx.imageHeight = ctx.workWidth = ctx.workHeight = 1;
    ctx.currentFrame = 0;
    EXPECT_EQ(act(ACTION_TEARDOWN), 0);

    EXPECT_EQ(ctx.sourcePixels, source);
    EXPECT_EQ(ctx.targetPixels, target);
    EXPECT_EQ(ctx.imageWidth, 720);
    EXPECT_EQ(ctx.imageHeight, 576);
    EXPECT_EQ(ctx.currentFrame, 33);
    EXPECT_EQ(ctx.workWidth, 360);
    EXPECT_EQ(ctx.workHeight, 144);
    EXPECT_STREQ(ctx.effectPath, "/editor/own/path");
    EXPECT_EQ(ctx.keyList, keys); // nothing freed
    EXPECT_EQ(ctx.outputPixels, output);
    EXPECT_EQ(ctx.meshA, mesh);
    EXPECT_TRUE(takeJournal().empty());

    // A tear-down without a nested set-up restores nothing.
    ctx.currentFrame = 5;
    EXPECT_EQ(act(ACTION_TEARDOWN), 0);
    EXPECT_EQ(ctx.currentFrame, 5);

    ctx.editorActive = 0;
    ctx.meshA = nullptr; // test-owned
}

TEST_F(Dispatch, TeardownFreesBuffersAndKeys)
{
    ctx.gridCols = ctx.gridRows = 2;
    ASSERT_EQ(createFirstKey(ctx), 0);
    ctx.meshA = (MeshNode *)allocZeroed(4, sizeof(MeshNode));
    ctx.outputPixels = (uint32_t *)allocBlock(16);
    EXPECT_EQ(act(ACTION_TEARDOWN), 0);
    EXPECT_EQ(ctx.keyList, nullptr);
    EXPECT_EQ(ctx.meshA, nullptr);
    EXPECT_EQ(ctx.outputPixels, nullptr);
}

} // namespace
