// Inserting, storing and deleting single keys, each with the key's new
// thumbnail; the editor redraws what they say changed.
#include "effect/keyops.h"

#include "effect/keys.h"
#include "engine/generator.h"

namespace {

KeyRecord *keyOn(const OperatorContext &ctx, uint32_t t)
{
    for (KeyRecord *k = ctx.keyList; k; k = k->next)
        if (k->frame == t)
            return k;
    return nullptr;
}

// The key after which a new key on t belongs; null when a key sits on t or
// no interval holds t.
KeyRecord *insertionPoint(const OperatorContext &ctx, uint32_t t)
{
    for (KeyRecord *k = ctx.keyList; k; k = k->next)
        if (k->next && k->frame <= t && t < k->next->frame)
            return k->frame == t ? nullptr : k;
    return nullptr;
}

void linkAfter(KeyRecord *k, KeyRecord *key)
{
    key->next = k->next;
    k->next->prev = key;
    k->next = key;
    key->prev = k;
}

PassOutput thumbnailOf(KeyRecord *key)
{
    return {key->thumbnail, THUMB_WIDTH, THUMB_HEIGHT, (size_t)THUMB_WIDTH * THUMB_HEIGHT};
}

} // namespace

bool runRenderPass(OperatorContext &ctx, RenderPass code, int32_t level, const PassOutput &out)
{
    const WarpInputs in = warpInputsOf(ctx);
    switch (code) {
    case RENDER_PASS_A:
        warpPassA(in, ctx.meshA, out);
        return true;
    case RENDER_PASS_B:
        warpPassB(in, ctx.meshB, level, out);
        return true;
    case RENDER_PASS_MIXED:
        warpPassMixed(in, ctx.meshA, level, ctx.mixture, out);
        return true;
    default:
        return false;
    }
}

void renderPasses(OperatorContext &ctx, int32_t level, const PassOutput &out)
{
    for (RenderPass code : ctx.variant->passes)
        if (!runRenderPass(ctx, code, level, out))
            break;
}

void renderThumbnail(OperatorContext &ctx, KeyRecord *key)
{
    renderPasses(ctx, ctx.dissolveLevel, thumbnailOf(key));
}

void thumbnailPass(const OperatorContext &ctx, uint32_t *picture)
{
    warpPassA(warpInputsOf(ctx), ctx.meshA,
              {picture, THUMB_WIDTH, THUMB_HEIGHT, (size_t)THUMB_WIDTH * THUMB_HEIGHT});
}

unsigned insertKey(OperatorContext &ctx)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    KeyRecord *k = insertionPoint(ctx, t);
    if (!k)
        return KEYS_UNCHANGED;
    KeyRecord *key = allocKey(ctx, t, ctx.variant->hasKeyLevel ? ctx.dissolveLevel : 0);
    if (!key)
        return KEYS_UNCHANGED;
    if (ctx.variant->hasMeshB) {
        linkAfter(k, key);
        copyMesh(ctx.meshA, key->grid, gridNodeCount(ctx));
        ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
        renderThumbnail(ctx, key);
        ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
        return CHANGED_KEYS;
    }
    copyMesh(ctx.meshA, key->grid, gridNodeCount(ctx));
    if (ctx.variant->interpolatesLevel)
        ctx.dissolveLevel = key->level;
    renderThumbnail(ctx, key);
    linkAfter(k, key);
    return CHANGED_KEYS;
}

unsigned insertKeyFromBase(OperatorContext &ctx)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    KeyRecord *k = insertionPoint(ctx, t);
    if (!k)
        return KEYS_UNCHANGED;
    KeyRecord *key = allocKey(ctx, t, 0);
    if (!key)
        return KEYS_UNCHANGED;
    const size_t nodes = gridNodeCount(ctx);
    swapMesh(ctx.meshBase, ctx.meshA, nodes);
    copyMesh(ctx.meshA, key->grid, nodes);
    // The deformed first input alone, without dissolve or mixture.
    thumbnailPass(ctx, key->thumbnail);
    copyMesh(ctx.meshBase, ctx.meshA, nodes);
    linkAfter(k, key);
    return CHANGED_KEYS;
}

unsigned storeKey(OperatorContext &ctx)
{
    ctx.keyModified = 0;
    KeyRecord *key = keyOn(ctx, (uint32_t)ctx.currentFrame);
    if (!key)
        return KEYS_UNCHANGED;
    copyMesh(ctx.meshA, key->grid, gridNodeCount(ctx));
    if (ctx.variant->hasKeyLevel)
        key->level = ctx.dissolveLevel;
    else if (ctx.variant->interpolatesLevel)
        ctx.dissolveLevel = key->level;
    if (ctx.variant->hasMeshB)
        ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    renderThumbnail(ctx, key);
    if (ctx.variant->hasMeshB)
        ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    return CHANGED_THUMBNAILS;
}

unsigned storeKeyLevel(OperatorContext &ctx)
{
    if (!ctx.variant->hasMeshB)
        return KEYS_UNCHANGED;
    ctx.keyModified = 0;
    KeyRecord *key = keyOn(ctx, (uint32_t)ctx.currentFrame);
    if (!key)
        return KEYS_UNCHANGED;
    key->level = ctx.dissolveLevel;
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    renderThumbnail(ctx, key);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    return CHANGED_THUMBNAILS;
}

bool deleteKey(OperatorContext &ctx)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    for (KeyRecord *k = ctx.keyList; k; k = k->next) {
        if (k->frame != t || !k->prev || !k->next)
            continue;
        k->prev->next = k->next;
        k->next->prev = k->prev;
        freeKey(k);
        return true;
    }
    return false;
}

GeneratorGeometry generatorGeometryOf(const OperatorContext &ctx)
{
    return {ctx.gridCols,    ctx.gridRows,     ctx.imageWidth,
            ctx.imageHeight, ctx.projectWidth, ctx.projectHeight};
}
