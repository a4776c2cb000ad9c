// The editor's operations on single keys, and the rendering of key pictures.
#ifndef VX_KEYOPS_H
#define VX_KEYOPS_H

#include <cstdint>

#include "effect/context.h"
#include "engine/generator.h"

// What a key operation changed, for the editor to redraw.
enum KeyChange : unsigned {
    KEYS_UNCHANGED = 0,
    CHANGED_THUMBNAILS = 1, // a key's thumbnail
    CHANGED_TIMELINE = 2,   // the marks of the keys on the timeline
    CHANGED_FRAME_MARKER = 4,
    CHANGED_KEYS = CHANGED_THUMBNAILS | CHANGED_TIMELINE | CHANGED_FRAME_MARKER,
};

// Runs the variant's pass code at level into out; false (nothing run) for
// a code that names no pass, which ends a variant's list.
bool runRenderPass(OperatorContext &ctx, RenderPass code, int32_t level, const PassOutput &out);
// The variant's preview passes (those of its render) at level into out.
void renderPasses(OperatorContext &ctx, int32_t level, const PassOutput &out);
// The key's 32 x 24 thumbnail by the variant's preview passes at dissolveLevel.
void renderThumbnail(OperatorContext &ctx, KeyRecord *key);
// A 32 x 24 picture (row stride 32) of the deformed source alone.
void thumbnailPass(const OperatorContext &ctx, uint32_t *picture);

// A key on currentFrame holding meshA; nothing when a key sits there or
// currentFrame lies outside the keys.
unsigned insertKey(OperatorContext &ctx);
// A key on currentFrame holding meshBase, which takes meshA's mesh; meshA
// is unchanged.
unsigned insertKeyFromBase(OperatorContext &ctx);
// meshA (and the level, by variant) into the key on currentFrame.
unsigned storeKey(OperatorContext &ctx);
// Morph: only dissolveLevel into the key on currentFrame.
unsigned storeKeyLevel(OperatorContext &ctx);
// Removes the inner key on currentFrame; the first and last keys stay.
// True when a key was removed.
bool deleteKey(OperatorContext &ctx);

// The grid and picture sizes the generators work with.
GeneratorGeometry generatorGeometryOf(const OperatorContext &ctx);

#endif
