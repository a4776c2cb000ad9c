// The editor's operations on single keys, and the rendering of key pictures.
#ifndef VX_KEYOPS_H
#define VX_KEYOPS_H

#include <cstdint>

#include "effect/context.h"

// The variant's preview passes (those of its render) into out.
void renderPasses(uint32_t *out, int32_t width, int32_t height);
// The key's 32 x 24 thumbnail by the variant's preview passes.
void renderThumbnail(KeyRecord *key);

// A key on currentFrame holding meshA; nothing when a key sits there or
// currentFrame lies outside the keys.
void insertKey(void);
// A key on currentFrame holding meshBase, which takes meshA's mesh; meshA
// is unchanged.
void insertKeyFromBase(void);
// meshA (and the level, by variant) into the key on currentFrame.
void storeKey(void);
// Morph: only dissolveLevel into the key on currentFrame.
void storeKeyLevel(void);
// Removes the inner key on currentFrame; the first and last keys stay.
void deleteKey(void);

#endif
