// The key list of an effect and its interpolation into the working meshes.
#ifndef VX_KEYS_H
#define VX_KEYS_H

#include <cstddef>

#include "effect/context.h"

// Nodes of a key grid: gridRows x gridCols (0 for non-positive sizes).
size_t gridNodeCount(void);

void interpolateMeshA(void);
void interpolateMeshB(void);
void resetMeshB(void);
int createFirstKey(void);
int createLastKey(void);
void freeKeys(void);
// A key with a zeroed grid of gridNodeCount() nodes, unlinked; null (logged) on failure.
KeyRecord *allocKey(uint32_t frame, int32_t level);
void freeKey(KeyRecord *key);

#endif
