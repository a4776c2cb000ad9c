// The key list and its interpolation.
#include <gtest/gtest.h>

#include "effect/keys.h"
#include "tests/unit/support.h"

namespace {

struct Keys : CoreTest {
    std::vector<MeshNode> meshA, meshB;
    void SetUp() override
    {
        useVariant();
        ctx.gridCols = 3;
        ctx.gridRows = 2;
        meshA.assign(6, MeshNode{9, 9});
        meshB.assign(6, MeshNode{9, 9});
        ctx.meshA = meshA.data();
        ctx.meshB = meshB.data();
        ctx.meshCapacity = 6;
        ctx.lastFrame = 10;
    }
    void TearDown() override
    {
        ctx.meshA = ctx.meshB = nullptr;
        useVariant();
    }
    void makeDefault()
    {
        ASSERT_EQ(createFirstKey(ctx), 0);
        ASSERT_EQ(createLastKey(ctx), 0);
    }
};

TEST_F(Keys, DefaultEffectHasTwoLinkedKeys)
{
    makeDefault();
    KeyRecord *first = ctx.keyList;
    KeyRecord *last = first->next;
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(first->prev, nullptr);
    EXPECT_EQ(last->prev, first);
    EXPECT_EQ(last->next, nullptr);
    EXPECT_EQ(first->frame, 0u);
    EXPECT_EQ(first->level, 0);
    EXPECT_EQ(last->frame, 10u);
    EXPECT_EQ(last->level, 255);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(floatBits(first->grid[i].dx) | floatBits(first->grid[i].dy), 0u);
        EXPECT_EQ(floatBits(last->grid[i].dx) | floatBits(last->grid[i].dy), 0u);
    }
    freeKeys(ctx);
    EXPECT_EQ(ctx.keyList, nullptr);
}

TEST_F(Keys, WarpLastKeyHasLevel100AndNoDissolve)
{
    ctx.variant = &vxWarpVariant;
    makeDefault();
    EXPECT_EQ(ctx.keyList->next->level, 100);
    ctx.dissolveLevel = 77;
    ctx.currentFrame = 5;
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    EXPECT_EQ(ctx.dissolveLevel, 77);
    ctx.currentFrame = 10;
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    EXPECT_EQ(ctx.dissolveLevel, 77);
}

TEST_F(Keys, LevelHalfwayTruncates)
{
    makeDefault();
    ctx.currentFrame = 5;
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    EXPECT_EQ(ctx.dissolveLevel, 127);
}

TEST_F(Keys, GridsAtFifthOfTheWay)
{
    makeDefault();
    const float D = 3.0f;
    for (int i = 0; i < 6; ++i)
        ctx.keyList->next->grid[i] = MeshNode{D, -D * (i + 1)};
    ctx.currentFrame = 2;
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    for (int i = 0; i < 6; ++i) {
        // e = 2, w = 8, span = 10, as float32 in the order written
        float ax = (D * 2.0f + 0.0f * 8.0f) / 10.0f;
        float bx = -((D * 8.0f + 0.0f * 2.0f) / 10.0f);
        float dy = -D * (i + 1);
        EXPECT_EQ(floatBits(meshA[i].dx), floatBits(ax));
        EXPECT_EQ(floatBits(meshB[i].dx), floatBits(bx));
        EXPECT_EQ(floatBits(meshA[i].dy), floatBits((dy * 2.0f + 0.0f * 8.0f) / 10.0f));
        EXPECT_EQ(floatBits(meshB[i].dy), floatBits(-((dy * 8.0f + 0.0f * 2.0f) / 10.0f)));
        EXPECT_NEAR(meshA[i].dx, 0.2 * D, 1e-6);
        EXPECT_NEAR(meshB[i].dx, -0.8 * D, 1e-6);
    }
}

TEST_F(Keys, OnKeyCopiesAndNegatesExactly)
{
    makeDefault();
    KeyRecord *last = ctx.keyList->next;
    const float values[6] = {1.5f, -0.0f, 3.25e-7f, -2.0f, 0.1f, 1e30f};
    for (int i = 0; i < 6; ++i)
        last->grid[i] = MeshNode{values[i], -values[i]};
    last->level = 200;
    ctx.currentFrame = 10;
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    EXPECT_EQ(ctx.dissolveLevel, 200);
    ctx.dissolveLevel = 0;
    ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    EXPECT_EQ(ctx.dissolveLevel, 200);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(floatBits(meshA[i].dx), floatBits(values[i]));
        EXPECT_EQ(floatBits(meshA[i].dy), floatBits(-values[i]));
        // Exact negation of the key, not the limit of the interval (which would be 0).
        EXPECT_EQ(floatBits(meshB[i].dx), floatBits(-values[i]));
        EXPECT_EQ(floatBits(meshB[i].dy), floatBits(values[i]));
    }
}

TEST_F(Keys, FramesWithoutKeysChangeNothing)
{
    // Empty list.
    ctx.currentFrame = 3;
    ctx.dissolveLevel = 42;
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    EXPECT_EQ(ctx.dissolveLevel, 42);
    EXPECT_EQ(meshA[0].dx, 9.0f);
    EXPECT_EQ(meshB[5].dy, 9.0f);
    // Past the last key.
    makeDefault();
    ctx.currentFrame = 11;
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    EXPECT_EQ(ctx.dissolveLevel, 42);
    EXPECT_EQ(meshA[3].dx, 9.0f);
    EXPECT_EQ(meshB[2].dy, 9.0f);
    // A huge frame (compared as unsigned).
    ctx.currentFrame = -1;
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    EXPECT_EQ(ctx.dissolveLevel, 42);
}

TEST_F(Keys, ResetMeshBNegatesMeshA)
{
    for (size_t i = 0; i < meshA.size(); ++i)
        meshA[i] = MeshNode{1.5f * i, -0.25f - i};
    resetMeshB(ctx);
    for (size_t i = 0; i < meshB.size(); ++i) {
        EXPECT_EQ(meshB[i].dx, -1.5f * i);
        EXPECT_EQ(meshB[i].dy, 0.25f + i);
    }
}

TEST_F(Keys, CreateLastKeyOnEmptyListFails)
{
    EXPECT_EQ(createLastKey(ctx), -1);
    EXPECT_EQ(ctx.keyList, nullptr);
    EXPECT_EQ(takeJournal().size(), 1u);
}

TEST_F(Keys, AllocationFailuresLogAndLeaveTheListSound)
{
    // First key itself.
    failAllocationAfter(0);
    EXPECT_EQ(createFirstKey(ctx), -1);
    EXPECT_EQ(ctx.keyList, nullptr);
    EXPECT_EQ(takeJournal().size(), 1u);
    // First key's grid.
    failAllocationAfter(1);
    EXPECT_EQ(createFirstKey(ctx), -1);
    EXPECT_EQ(ctx.keyList, nullptr);
    EXPECT_EQ(takeJournal().size(), 1u);
    // Last key, then its grid: the one-key list stays as it was.
    failAllocationAfter(-1);
    ASSERT_EQ(createFirstKey(ctx), 0);
    KeyRecord *first = ctx.keyList;
    for (long n : {0L, 1L}) {
        failAllocationAfter(n);
        EXPECT_EQ(createLastKey(ctx), -1);
        EXPECT_EQ(ctx.keyList, first);
        EXPECT_EQ(first->next, nullptr);
        EXPECT_EQ(takeJournal().size(), 1u);
    }
    failAllocationAfter(-1);
    EXPECT_EQ(createLastKey(ctx), 0);
}

} // namespace
