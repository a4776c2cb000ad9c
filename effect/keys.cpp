// The key list: creation, release, and linear interpolation of grids and
// levels for the current frame. Float32 throughout, association as written.
#include "effect/keys.h"

#include <cstring>

size_t gridNodeCount(const OperatorContext &ctx)
{
    if (ctx.gridRows <= 0 || ctx.gridCols <= 0)
        return 0;
    return (size_t)ctx.gridRows * (size_t)ctx.gridCols;
}

// The working meshes must hold a whole grid before interpolation writes one.
static bool meshHoldsGrid(const OperatorContext &ctx, const MeshNode *mesh)
{
    return mesh && gridNodeCount(ctx) <= ctx.meshCapacity;
}

// Finds frame t: the key on it (on-key), or the key before the interval
// that contains it (between). Returns false when no key covers t.
static bool locateFrame(const OperatorContext &ctx, uint32_t t, const KeyRecord **key, bool *onKey)
{
    for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
        if (t == k->frame) {
            *key = k;
            *onKey = true;
            return true;
        }
        if (k->next && k->frame < t && t < k->next->frame) {
            *key = k;
            *onKey = false;
            return true;
        }
    }
    return false;
}

int32_t interpolateMeshA(const OperatorContext &ctx, int32_t level)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    const KeyRecord *k;
    bool onKey;
    if (!locateFrame(ctx, t, &k, &onKey) || !meshHoldsGrid(ctx, ctx.meshA))
        return level;
    const size_t count = gridNodeCount(ctx);
    if (onKey) {
        if (ctx.variant->interpolatesLevel)
            level = k->level;
        if (k->grid && count)
            memcpy(ctx.meshA, k->grid, count * sizeof(MeshNode));
        return level;
    }
    const KeyRecord *n = k->next;
    const float span = (float)(uint32_t)(n->frame - k->frame);
    const float e = (float)(uint32_t)(t - k->frame);
    const float w = span - e;
    if (ctx.variant->interpolatesLevel)
        level = (int32_t)(((float)n->level * e + (float)k->level * w) / span);
    if (!k->grid || !n->grid)
        return level;
    const MeshNode *kg = k->grid;
    const MeshNode *ng = n->grid;
    MeshNode *out = ctx.meshA;
    for (size_t i = 0; i < count; ++i) {
        out[i].dx = (ng[i].dx * e + kg[i].dx * w) / span;
        out[i].dy = (ng[i].dy * e + kg[i].dy * w) / span;
    }
    return level;
}

int32_t interpolateMeshB(const OperatorContext &ctx, int32_t level)
{
    if (!ctx.variant->hasMeshB)
        return level;
    const uint32_t t = (uint32_t)ctx.currentFrame;
    const KeyRecord *k;
    bool onKey;
    if (!locateFrame(ctx, t, &k, &onKey) || !meshHoldsGrid(ctx, ctx.meshB))
        return level;
    const size_t count = gridNodeCount(ctx);
    MeshNode *out = ctx.meshB;
    if (onKey) {
        if (!k->grid)
            return k->level;
        for (size_t i = 0; i < count; ++i) {
            out[i].dx = -k->grid[i].dx;
            out[i].dy = -k->grid[i].dy;
        }
        return k->level;
    }
    const KeyRecord *n = k->next;
    const float span = (float)(uint32_t)(n->frame - k->frame);
    const float e = (float)(uint32_t)(t - k->frame);
    const float w = span - e;
    if (!k->grid || !n->grid)
        return level;
    const MeshNode *kg = k->grid;
    const MeshNode *ng = n->grid;
    for (size_t i = 0; i < count; ++i) {
        out[i].dx = -((ng[i].dx * w + kg[i].dx * e) / span);
        out[i].dy = -((ng[i].dy * w + kg[i].dy * e) / span);
    }
    return level;
}

int32_t interpolateMeshes(const OperatorContext &ctx, int32_t level)
{
    return interpolateMeshB(ctx, interpolateMeshA(ctx, level));
}

// After a brush stroke the current frame is a key whose grid is meshA; the
// target then moves by its negation, as interpolateMeshB gives on a key,
// so the editor's preview shows what the render will.
void resetMeshB(const OperatorContext &ctx)
{
    if (!ctx.variant->hasMeshB || !meshHoldsGrid(ctx, ctx.meshB) || !meshHoldsGrid(ctx, ctx.meshA))
        return;
    const size_t count = gridNodeCount(ctx);
    for (size_t i = 0; i < count; ++i)
        ctx.meshB[i] = MeshNode{-ctx.meshA[i].dx, -ctx.meshA[i].dy};
}

KeyRecord *allocKey(const OperatorContext &ctx, uint32_t frame, int32_t level)
{
    KeyRecord *key = (KeyRecord *)allocZeroed(1, sizeof(KeyRecord));
    if (!key) {
        LOG_FAILURE(ctx.variant); // journal: no memory for a key
        return nullptr;
    }
    key->grid = (MeshNode *)allocZeroed(gridNodeCount(ctx), sizeof(MeshNode));
    if (!key->grid) {
        LOG_FAILURE(ctx.variant); // journal: no memory for a key's mesh
        freeBlock(key);
        return nullptr;
    }
    key->frame = frame;
    key->level = level;
    return key;
}

void freeKey(KeyRecord *key)
{
    if (!key)
        return;
    freeBlock(key->grid);
    freeBlock(key);
}

int createFirstKey(OperatorContext &ctx)
{
    ctx.keyList = allocKey(ctx, 0, 0);
    return ctx.keyList ? 0 : -1;
}

int createLastKey(OperatorContext &ctx)
{
    // Only a one-key list can take the last key: on an empty list there is
    // nothing to follow, and a longer list would lose its tail. (A line apart
    // from the effect file's sites: the journal tells sites apart by line.)
    if (!ctx.keyList || ctx.keyList->next) {
        LOG_FAILURE(ctx.variant); // journal: the key list cannot take a last key
        return -1;
    }
    KeyRecord *key = allocKey(ctx, (uint32_t)ctx.lastFrame, ctx.variant->lastKeyLevel);
    if (!key)
        return -1;
    key->prev = ctx.keyList;
    ctx.keyList->next = key;
    return 0;
}

void freeKeys(OperatorContext &ctx)
{
    KeyRecord *k = ctx.keyList;
    while (k) {
        KeyRecord *next = k->next;
        freeKey(k);
        k = next;
    }
    ctx.keyList = nullptr;
}
