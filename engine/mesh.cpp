// Whole-mesh operations and the brush falloff table.
#include "engine/mesh.h"

#include <cmath>
#include <cstring>
#include <numbers>

void copyMesh(const MeshNode *source, MeshNode *destination, size_t count)
{
    if (source && destination && count && source != destination)
        memmove(destination, source, count * sizeof(MeshNode));
}

void swapMesh(MeshNode *a, MeshNode *b, size_t count)
{
    if (!a || !b || a == b)
        return;
    for (size_t i = 0; i < count; ++i) {
        const MeshNode t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

void fillFalloffTable(float table[FALLOFF_SIZE])
{
    for (int n = 0; n < FALLOFF_SIZE; ++n) {
        const float q = (float)n / 100.0f;
        const double s = (double)(float)std::sqrt((double)q);
        const double c = (std::cos(std::numbers::pi * s) + 1.0) * 0.5;
        table[n] = (float)std::pow(c, 0.7);
    }
}
