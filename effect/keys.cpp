// The key list: creation, release, and linear interpolation of grids and
// levels for the current frame. Float32 throughout, association as written.
#include "effect/keys.h"

#include <cstring>

#include "variants/variant.h"

size_t gridNodeCount(void)
{
    if (ctx.gridRows <= 0 || ctx.gridCols <= 0)
        return 0;
    return (size_t)ctx.gridRows * (size_t)ctx.gridCols;
}

// The working meshes must hold a whole grid before interpolation writes one.
static bool meshHoldsGrid(const MeshNode *mesh)
{
    return mesh && gridNodeCount() <= ctx.meshCapacity;
}

// Finds frame t: the key on it (on-key), or the key before the interval
// that contains it (between). Returns false when no key covers t.
static bool locateFrame(uint32_t t, const KeyRecord **key, bool *onKey)
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

void interpolateMeshA(void)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    const KeyRecord *k;
    bool onKey;
    if (!locateFrame(t, &k, &onKey) || !meshHoldsGrid(ctx.meshA))
        return;
    const size_t count = gridNodeCount();
    if (onKey) {
        if (vxVariant->interpolatesLevel)
            ctx.dissolveLevel = k->level;
        if (k->grid && count)
            memcpy(ctx.meshA, k->grid, count * sizeof(MeshNode));
        return;
    }
    const KeyRecord *n = k->next;
    const float span = (float)(uint32_t)(n->frame - k->frame);
    const float e = (float)(uint32_t)(t - k->frame);
    const float w = span - e;
    if (vxVariant->interpolatesLevel)
        ctx.dissolveLevel = (int32_t)(((float)n->level * e + (float)k->level * w) / span);
    if (!k->grid || !n->grid)
        return;
    const MeshNode *kg = k->grid;
    const MeshNode *ng = n->grid;
    MeshNode *out = ctx.meshA;
    for (size_t i = 0; i < count; ++i) {
        out[i].dx = (ng[i].dx * e + kg[i].dx * w) / span;
        out[i].dy = (ng[i].dy * e + kg[i].dy * w) / span;
    }
}

void interpolateMeshB(void)
{
    if (!vxVariant->hasMeshB)
        return;
    const uint32_t t = (uint32_t)ctx.currentFrame;
    const KeyRecord *k;
    bool onKey;
    if (!locateFrame(t, &k, &onKey) || !meshHoldsGrid(ctx.meshB))
        return;
    const size_t count = gridNodeCount();
    MeshNode *out = ctx.meshB;
    if (onKey) {
        ctx.dissolveLevel = k->level;
        if (!k->grid)
            return;
        for (size_t i = 0; i < count; ++i) {
            out[i].dx = -k->grid[i].dx;
            out[i].dy = -k->grid[i].dy;
        }
        return;
    }
    const KeyRecord *n = k->next;
    const float span = (float)(uint32_t)(n->frame - k->frame);
    const float e = (float)(uint32_t)(t - k->frame);
    const float w = span - e;
    if (!k->grid || !n->grid)
        return;
    const MeshNode *kg = k->grid;
    const MeshNode *ng = n->grid;
    for (size_t i = 0; i < count; ++i) {
        out[i].dx = -((ng[i].dx * w + kg[i].dx * e) / span);
        out[i].dy = -((ng[i].dy * w + kg[i].dy * e) / span);
    }
}

// After a brush stroke the current frame is a key whose grid is meshA; the
// target then moves by its negation, as interpolateMeshB gives on a key,
// so the editor's preview shows what the render will.
void resetMeshB(void)
{
    if (!vxVariant->hasMeshB || !meshHoldsGrid(ctx.meshB) || !meshHoldsGrid(ctx.meshA))
        return;
    const size_t count = gridNodeCount();
    for (size_t i = 0; i < count; ++i)
        ctx.meshB[i] = MeshNode{-ctx.meshA[i].dx, -ctx.meshA[i].dy};
}

KeyRecord *allocKey(uint32_t frame, int32_t level)
{
    KeyRecord *key = (KeyRecord *)allocZeroed(1, sizeof(KeyRecord));
    if (!key) {
        LOG_FAILURE();
        return nullptr;
    }
    key->grid = (MeshNode *)allocZeroed(gridNodeCount(), sizeof(MeshNode));
    if (!key->grid) {
        LOG_FAILURE();
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

int createFirstKey(void)
{
    ctx.keyList = allocKey(0, 0);
    return ctx.keyList ? 0 : -1;
}

int createLastKey(void)
{
    // Only a one-key list can take the last key: on an empty list there is
    // nothing to follow, and a longer list would lose its tail.
    if (!ctx.keyList || ctx.keyList->next) {
        LOG_FAILURE();
        return -1;
    }
    KeyRecord *key = allocKey((uint32_t)ctx.lastFrame, vxVariant->lastKeyLevel);
    if (!key)
        return -1;
    key->prev = ctx.keyList;
    ctx.keyList->next = key;
    return 0;
}

void freeKeys(void)
{
    KeyRecord *k = ctx.keyList;
    while (k) {
        KeyRecord *next = k->next;
        freeKey(k);
        k = next;
    }
    ctx.keyList = nullptr;
}
