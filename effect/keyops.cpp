// Inserting, storing and deleting single keys, each with the key's new
// thumbnail and the redraws the editor relies on.
#include "effect/keyops.h"

#include "editor/draw.h"
#include "effect/keys.h"
#include "engine/viewpass.h"
#include "engine/warp.h"
#include "variants/variant.h"

namespace {

KeyRecord *keyOn(uint32_t t)
{
    for (KeyRecord *k = ctx.keyList; k; k = k->next)
        if (k->frame == t)
            return k;
    return nullptr;
}

// The key after which a new key on t belongs; null when a key sits on t or
// no interval holds t.
KeyRecord *insertionPoint(uint32_t t)
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

void redrawKeys(void)
{
    drawThumbnails();
    drawTimeline();
    drawFrameMarker();
}

} // namespace

void renderPasses(uint32_t *out, int32_t width, int32_t height)
{
    for (RenderPass code : vxVariant->passes) {
        WarpPassFn pass = passFor(code);
        if (!pass)
            break;
        pass(out, width, height);
    }
}

void renderThumbnail(KeyRecord *key)
{
    renderPasses(key->thumbnail, THUMB_WIDTH, THUMB_HEIGHT);
}

void insertKey(void)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    KeyRecord *k = insertionPoint(t);
    if (!k)
        return;
    KeyRecord *key = allocKey(t, vxVariant->hasKeyLevel ? ctx.dissolveLevel : 0);
    if (!key)
        return;
    if (vxVariant->hasMeshB) {
        linkAfter(k, key);
        copyMesh(ctx.meshA, key->grid);
        interpolateMeshA();
        interpolateMeshB();
        renderThumbnail(key);
        redrawKeys();
        interpolateMeshA();
        return;
    }
    copyMesh(ctx.meshA, key->grid);
    if (vxVariant->interpolatesLevel)
        ctx.dissolveLevel = key->level;
    renderThumbnail(key);
    linkAfter(k, key);
    redrawKeys();
}

void insertKeyFromBase(void)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    KeyRecord *k = insertionPoint(t);
    if (!k)
        return;
    KeyRecord *key = allocKey(t, 0);
    if (!key)
        return;
    swapMesh(ctx.meshBase, ctx.meshA);
    copyMesh(ctx.meshA, key->grid);
    // The deformed first input alone, without dissolve or mixture.
    thumbnailPass(key->thumbnail);
    copyMesh(ctx.meshBase, ctx.meshA);
    linkAfter(k, key);
    redrawKeys();
}

void storeKey(void)
{
    ctx.keyModified = 0;
    KeyRecord *key = keyOn((uint32_t)ctx.currentFrame);
    if (!key)
        return;
    copyMesh(ctx.meshA, key->grid);
    if (vxVariant->hasKeyLevel)
        key->level = ctx.dissolveLevel;
    else if (vxVariant->interpolatesLevel)
        ctx.dissolveLevel = key->level;
    if (vxVariant->hasMeshB) {
        interpolateMeshA();
        interpolateMeshB();
    }
    renderThumbnail(key);
    drawThumbnails();
    if (vxVariant->hasMeshB)
        interpolateMeshA();
}

void storeKeyLevel(void)
{
    if (!vxVariant->hasMeshB)
        return;
    ctx.keyModified = 0;
    KeyRecord *key = keyOn((uint32_t)ctx.currentFrame);
    if (!key)
        return;
    key->level = ctx.dissolveLevel;
    interpolateMeshA();
    interpolateMeshB();
    renderThumbnail(key);
    drawThumbnails();
    interpolateMeshA();
}

void deleteKey(void)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    for (KeyRecord *k = ctx.keyList; k; k = k->next) {
        if (k->frame != t || !k->prev || !k->next)
            continue;
        k->prev->next = k->next;
        k->next->prev = k->prev;
        freeKey(k);
        return;
    }
}
