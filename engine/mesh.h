// Displacement meshes: one node per cell of 4 pixels x 2 lines, row-major.
#ifndef VX_MESH_H
#define VX_MESH_H

#include <cstddef>

struct MeshNode {
    float dx; // displacement in mesh columns
    float dy; // displacement in mesh rows
};

enum { FALLOFF_SIZE = 100 };

// Whole-mesh operations over count nodes; nothing for a null mesh.
void copyMesh(const MeshNode *source, MeshNode *destination, size_t count);
void swapMesh(MeshNode *a, MeshNode *b, size_t count);
// The brush falloff over squared distances in hundredths of the squared radius.
void fillFalloffTable(float table[FALLOFF_SIZE]);

#endif
