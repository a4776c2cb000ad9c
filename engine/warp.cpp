// Meshes, samplers and warp passes (being built).
#include "engine/warp.h"

#include <cstring>

int prepareMeshes(const MeshNode *) { return -1; }
void releaseMeshes(void)
{
    freeBlock(ctx.outputPixels);
    freeBlock(ctx.meshA);
    freeBlock(ctx.meshB);
    freeBlock(ctx.meshBase);
    freeBlock(ctx.meshClipboard);
    freeBlock(ctx.brushKernel);
    ctx.outputPixels = nullptr;
    ctx.meshA = ctx.meshB = ctx.meshBase = ctx.meshClipboard = ctx.brushKernel = nullptr;
    ctx.outputCapacity = 0;
    ctx.meshCapacity = 0;
}
void copyMesh(const MeshNode *, MeshNode *) {}
void swapMesh(MeshNode *, MeshNode *) {}
void fillFalloffTable(void) {}
MeshNode meshDisplacementAt(const MeshNode *, float, float) { return {0, 0}; }
uint32_t sampleSource(float, float) { return 0; }
uint32_t sampleTarget(float, float) { return 0; }
uint32_t fetchMixed(int, int) { return 0; }
uint32_t sampleMixed(float, float) { return 0; }
void warpPassA(uint32_t *, int, int) {}
void warpPassB(uint32_t *, int, int) {}
void warpPassMixed(uint32_t *, int, int) {}
