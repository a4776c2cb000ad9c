// The 17 procedural mesh generators: waves, ripples, random shifts,
// rotation and twirls, added to a mesh of gridRows x gridCols nodes.
#ifndef VX_GENERATOR_H
#define VX_GENERATOR_H

#include "effect/context.h"

enum { GENERATOR_COUNT = 17 };

// Adds generator n (1..17) with amount a to mesh (gridRows x gridCols
// nodes). W and H are imageWidth and imageHeight; the vertical scale k of
// generators 10 to 12 comes from the project size. negateTurns: the effect
// operators turn generators 10 to 12 by -a, the transition operator by a.
// A null mesh, an empty grid or an n outside 1..17 changes nothing.
void applyGenerator(MeshNode *mesh, int n, int amount, bool negateTurns);

// The editor's generator: meshA from the keys at currentFrame, then, unless
// generatorType is 0, every generator with a non-zero amount in
// generatorParams, in ascending order.
void applyGenerators(void);

#endif
