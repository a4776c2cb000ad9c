// Key operations of the editor and the stroke steps with the mirror.
#include <gtest/gtest.h>

#include "engine/brush.h"
#include "engine/warp.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "tests/unit/fake_screen.h"
#include "editor/draw.h"
#include "editor/session.h"
#include "effect/buffers.h"
#include "tests/unit/support.h"

namespace {

const int W = 16, H = 8, NODES = (W / 4) * (H / 2);

enum Op { INSERT, INSERT_FROM_BASE, STORE, STORE_LEVEL, DELETE };

struct KeyOps : CoreTest {
    FakeScreen screen;
    std::vector<uint32_t> source, target;
    void SetUp() override { setUpVariant(&vxMorphVariant); }
    void TearDown() override { useVariant(); }
    // Keys on 0, 5 and 10 with grids (f, -f) and levels 10 f; meshA (7, 7),
    // meshBase (3, 3).
    void setUpVariant(const VariantDesc *variant)
    {
        useVariant(variant);
        screen = FakeScreen{};
        installFakeScreen(screen);
        ctx.imageWidth = W;
        ctx.imageHeight = H;
        ctx.gridCols = W / 4;
        ctx.gridRows = H / 2;
        ctx.lastFrame = 10;
        ed.timelineWidth = 154;
        ASSERT_EQ(prepareMeshes(ctx, nullptr), 0);
        source.assign(W * H, 0x20406080u);
        target.assign(W * H, 0x80604020u);
        ctx.sourcePixels = source.data();
        ctx.targetPixels = target.data();
        KeyRecord *tail = nullptr;
        for (uint32_t f : {0u, 5u, 10u}) {
            KeyRecord *k = allocKey(ctx, f, 10 * (int32_t)f);
            std::fill(k->grid, k->grid + NODES, MeshNode{(float)f, -(float)f});
            k->prev = tail;
            (tail ? tail->next : ctx.keyList) = k;
            tail = k;
        }
        std::fill(ctx.meshA, ctx.meshA + NODES, MeshNode{7, 7});
        std::fill(ctx.meshBase, ctx.meshBase + NODES, MeshNode{3, 3});
        ctx.dissolveLevel = 99;
        ctx.keyModified = 1;
    }
    void run(Op op)
    {
        // As the editor does: each operation, then the redraws it asks for.
        unsigned (*const ops[])(OperatorContext &) = {insertKey, insertKeyFromBase, storeKey,
                                                      storeKeyLevel};
        if (op == DELETE)
            deleteKey(ctx);
        else
            redrawKeys(ed, ctx, ops[op](ctx));
    }
    std::vector<uint32_t> frames()
    {
        std::vector<uint32_t> out;
        for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
            EXPECT_EQ(k->next ? k->next->prev : k, k);
            out.push_back(k->frame);
        }
        return out;
    }
    KeyRecord *keyOn(uint32_t f)
    {
        for (KeyRecord *k = ctx.keyList; k; k = k->next)
            if (k->frame == f)
                return k;
        return nullptr;
    }
    bool gridIs(const MeshNode *grid, MeshNode value)
    {
        for (int i = 0; i < NODES; ++i)
            if (grid[i].dx != value.dx || grid[i].dy != value.dy)
                return false;
        return true;
    }
};

TEST_F(KeyOps, EachOperationOnAndOffKeysLeavesTheFirstAndLastKeys)
{
    const struct {
        Op op;
        int32_t frame;
        std::vector<uint32_t> frames;
        bool redraws;
    } cases[] = {
        {INSERT, 3, {0, 3, 5, 10}, true},
        {INSERT, 5, {0, 5, 10}, false},
        {INSERT, 0, {0, 5, 10}, false},
        {INSERT, 10, {0, 5, 10}, false},
        {INSERT, 12, {0, 5, 10}, false},
        {INSERT_FROM_BASE, 7, {0, 5, 7, 10}, true},
        {INSERT_FROM_BASE, 10, {0, 5, 10}, false},
        {DELETE, 5, {0, 10}, false},
        {DELETE, 0, {0, 5, 10}, false},
        {DELETE, 10, {0, 5, 10}, false},
        {DELETE, 3, {0, 5, 10}, false},
        {STORE, 5, {0, 5, 10}, true},
        {STORE, 3, {0, 5, 10}, false},
        {STORE_LEVEL, 10, {0, 5, 10}, true},
    };
    for (const auto &c : cases) {
        setUpVariant(&vxMorphVariant);
        ctx.currentFrame = c.frame;
        run(c.op);
        EXPECT_EQ(frames(), c.frames) << c.op << " at " << c.frame;
        EXPECT_EQ(!screen.named("rect").empty(), c.redraws) << c.op << " at " << c.frame;
        const bool onLast = (c.op == STORE || c.op == STORE_LEVEL) && c.frame == 10;
        EXPECT_TRUE(gridIs(ctx.keyList->grid, {0, 0}));
        EXPECT_EQ(ctx.keyList->level, 0);
        KeyRecord *last = keyOn(10);
        EXPECT_TRUE(gridIs(last->grid, {10, -10}));
        EXPECT_EQ(last->level, onLast ? 99 : 100);
        if (c.op == STORE || c.op == STORE_LEVEL) {
            EXPECT_EQ(ctx.keyModified, 0);
        }
    }
}

TEST_F(KeyOps, NewAndStoredKeysTakeMeshAndLevelByVariant)
{
    // Morph: the new key holds meshA and the level; meshA shows it.
    ctx.currentFrame = 3;
    redrawKeys(ed, ctx, insertKey(ctx));
    EXPECT_TRUE(gridIs(keyOn(3)->grid, {7, 7}));
    EXPECT_EQ(keyOn(3)->level, 99);
    EXPECT_TRUE(gridIs(ctx.meshB, {-7, -7}));
    EXPECT_EQ(screen.named("line").size(), 8u); // the timeline with four keys

    // From the base: the key takes meshBase, meshBase takes meshA.
    ctx.currentFrame = 7;
    redrawKeys(ed, ctx, insertKeyFromBase(ctx));
    EXPECT_TRUE(gridIs(keyOn(7)->grid, {3, 3}));
    EXPECT_EQ(keyOn(7)->level, 0);
    EXPECT_TRUE(gridIs(ctx.meshBase, {7, 7}));
    EXPECT_TRUE(gridIs(ctx.meshA, {7, 7}));

    // Store: grid and level; storeKeyLevel only the level.
    ctx.currentFrame = 5;
    std::fill(ctx.meshA, ctx.meshA + NODES, MeshNode{1, 2});
    ctx.dissolveLevel = 77;
    redrawKeys(ed, ctx, storeKeyLevel(ctx));
    EXPECT_TRUE(gridIs(keyOn(5)->grid, {5, -5}));
    EXPECT_EQ(keyOn(5)->level, 77);
    std::fill(ctx.meshA, ctx.meshA + NODES, MeshNode{1, 2});
    ctx.dissolveLevel = 66;
    redrawKeys(ed, ctx, storeKey(ctx));
    EXPECT_TRUE(gridIs(keyOn(5)->grid, {1, 2}));
    EXPECT_EQ(keyOn(5)->level, 66);

    // Draw keeps no level of its own: new keys get 0, a store shows the key's.
    setUpVariant(&vxDrawVariant);
    ctx.currentFrame = 3;
    redrawKeys(ed, ctx, insertKey(ctx));
    EXPECT_EQ(keyOn(3)->level, 0);
    EXPECT_EQ(ctx.dissolveLevel, 0);
    ctx.currentFrame = 5;
    ctx.dissolveLevel = 66;
    redrawKeys(ed, ctx, storeKey(ctx));
    redrawKeys(ed, ctx, storeKeyLevel(ctx));
    EXPECT_EQ(keyOn(5)->level, 50);
    EXPECT_EQ(ctx.dissolveLevel, 50);

    // FX stores the level it shows.
    setUpVariant(&vxFxVariant);
    ctx.currentFrame = 5;
    ctx.dissolveLevel = 66;
    redrawKeys(ed, ctx, storeKey(ctx));
    EXPECT_EQ(keyOn(5)->level, 66);
}

TEST_F(KeyOps, FailedInsertLeavesTheListAndScreenAlone)
{
    for (Op op : {INSERT, INSERT_FROM_BASE}) {
        setUpVariant(&vxMorphVariant);
        takeJournal();
        ctx.currentFrame = 3;
        failAllocationAfter(1); // the key, not its grid
        run(op);
        failAllocationAfter(-1);
        EXPECT_EQ(frames(), std::vector<uint32_t>({0, 5, 10}));
        EXPECT_TRUE(screen.calls.empty());
        EXPECT_TRUE(gridIs(ctx.meshBase, {3, 3}));
        EXPECT_EQ(takeJournal().size(), 1u);
    }
}

TEST_F(KeyOps, MirroredDabLandsAtColumn169Of180AtEveryZoom)
{
    const struct {
        int zoom, scrollX, scrollY, x, y;
    } cases[] = {{0, 0, 0, 20, 20}, {1, 4, 3, 32, 28}, {2, 8, 6, 48, 32}};
    for (const auto &c : cases) {
        useVariant();
        ctx.imageWidth = 720;
        ctx.gridCols = 180;
        ctx.imageHeight = 40;
        ctx.gridRows = 20;
        ASSERT_EQ(prepareMeshes(ctx, nullptr), 0);
        ed.viewScale = 1.0;
        ed.viewZoom = c.zoom;
        ed.viewScrollX = c.scrollX;
        ed.viewScrollY = c.scrollY;
        ed.brushMode = 1;
        ed.brushRadius = 4;
        ed.mirrorMode = 1;
        strokeBegin(strokeToolsOf(ed, ctx), ed.stroke, c.x, c.y);
        EXPECT_EQ(std::vector<int>(
                      {ed.stroke.strokeLastCol, ed.stroke.strokeLastRow, ed.stroke.mirrorLastCol}),
                  std::vector<int>({10, 10, 169}));
        strokeMove(strokeToolsOf(ed, ctx), ed.stroke, c.x, c.y);
        const MeshNode *m = ctx.meshA;
        EXPECT_GT(m[10 * 180 + 11].dx, 0.0f);
        for (int row = 0; row < 20; ++row) {
            // The dab around column 10 repeats around column 169; between them nothing moves.
            for (int col = 0; col + 159 < 180; ++col) {
                const MeshNode a = m[row * 180 + col], b = m[row * 180 + col + 159];
                EXPECT_EQ(floatBits(a.dx), floatBits(b.dx)) << col << "," << row;
                EXPECT_EQ(floatBits(a.dy), floatBits(b.dy)) << col << "," << row;
            }
            for (int col = 15; col < 165; ++col)
                EXPECT_EQ(floatBits(m[row * 180 + col].dx) | floatBits(m[row * 180 + col].dy), 0u);
        }
    }
    // A release paints without moving the last points (zoom 2: col = x/8 + 4).
    ed.brushMode = 2;
    strokeMove(strokeToolsOf(ed, ctx), ed.stroke, 40, 32);
    strokeEnd(strokeToolsOf(ed, ctx), ed.stroke, 64, 32);
    EXPECT_EQ(std::vector<int>({ed.stroke.strokeLastCol, ed.stroke.mirrorLastCol}),
              std::vector<int>({9, 170}));
}

} // namespace
