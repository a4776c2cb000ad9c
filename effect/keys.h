// The key list of an effect and its interpolation into the working meshes.
#ifndef VX_KEYS_H
#define VX_KEYS_H

#include <cstddef>

#include "effect/context.h"

// Nodes of a key grid: gridRows x gridCols (0 for non-positive sizes).
size_t gridNodeCount(const OperatorContext &ctx);

// meshA of currentFrame from the keys. Returns the dissolve level the
// frame interpolates to where the variant keeps levels in its keys, and
// level otherwise, or when no key covers the frame or meshA cannot hold a
// grid.
int32_t interpolateMeshA(const OperatorContext &ctx, int32_t level);
// Morph: meshB of currentFrame, the negated mesh moving the target
// towards the source. Returns the key's level on a key, level elsewhere
// (and for the other variants).
int32_t interpolateMeshB(const OperatorContext &ctx, int32_t level);
// Both meshes of currentFrame; the level they give.
int32_t interpolateMeshes(const OperatorContext &ctx, int32_t level);
void resetMeshB(const OperatorContext &ctx);
int createFirstKey(OperatorContext &ctx);
int createLastKey(OperatorContext &ctx);
void freeKeys(OperatorContext &ctx);
// A key with a zeroed grid of gridNodeCount() nodes, unlinked; null (logged) on failure.
KeyRecord *allocKey(const OperatorContext &ctx, uint32_t frame, int32_t level);
void freeKey(KeyRecord *key);

#endif
