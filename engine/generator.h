// The 17 procedural mesh generators: waves, ripples, random shifts,
// rotation and twirls, added to a mesh of gridRows x gridCols nodes.
#ifndef VX_GENERATOR_H
#define VX_GENERATOR_H

#include <cstdint>

#include "engine/mesh.h"

enum { GENERATOR_COUNT = 17 };

// The grid a generator deforms and the picture sizes it scales by: the
// random shifts by the image size, the vertical scale k of generators 10
// to 12 by the project size.
struct GeneratorGeometry {
    int32_t gridCols, gridRows;
    int32_t imageWidth, imageHeight;
    int32_t projectWidth, projectHeight;
};

// Adds generator n (1..17) with amount a to mesh (gridRows x gridCols
// nodes). negateTurns: the effect operators turn generators 10 to 12 by
// -a, the transition operator by a. A null mesh, an empty grid or an n
// outside 1..17 changes nothing.
void applyGenerator(const GeneratorGeometry &size, MeshNode *mesh, int n, int amount,
                    bool negateTurns);

#endif
