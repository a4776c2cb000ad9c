// The context's buffers: the editor's set around a key grid and the
// render's set at the work size.
#include "effect/buffers.h"

#include <cstring>

#include "effect/keys.h"

enum { BRUSH_KERNEL_SIDE = 201 };

namespace {

// (H/2) x (W/2): the node count of every working mesh and the pixel count of
// the engine's output picture. Zero for non-positive sizes.
size_t halfSizeCount(int32_t width, int32_t height)
{
    if (width < 2 || height < 2)
        return 0;
    return (size_t)(height / 2) * (size_t)(width / 2);
}

} // namespace

void releaseMixture(OperatorContext &ctx)
{
    releaseKeptMixture(ctx.mixture);
}

void releaseMeshes(OperatorContext &ctx)
{
    freeBlock(ctx.outputPixels);
    freeBlock(ctx.meshA);
    freeBlock(ctx.meshB);
    freeBlock(ctx.meshBase);
    freeBlock(ctx.meshClipboard);
    freeBlock(ctx.brushKernel);
    releaseMixture(ctx);
    ctx.outputPixels = nullptr;
    ctx.meshA = ctx.meshB = ctx.meshBase = ctx.meshClipboard = ctx.brushKernel = nullptr;
    ctx.outputCapacity = 0;
    ctx.meshCapacity = 0;
}

int prepareMeshes(OperatorContext &ctx, const MeshNode *keyGrid)
{
    ctx.workWidth = ctx.imageWidth;
    ctx.workHeight = ctx.imageHeight;
    ctx.meshCols = ctx.imageWidth / 4;
    ctx.meshRows = ctx.imageHeight / 2;

    // The new set is built aside and installed only when complete, so the
    // key grid may even be one of the buffers being replaced.
    const size_t count = halfSizeCount(ctx.imageWidth, ctx.imageHeight);
    uint32_t *output = (uint32_t *)allocBlock(count * sizeof(uint32_t));
    MeshNode *meshA = output ? (MeshNode *)allocZeroed(count, sizeof(MeshNode)) : nullptr;
    MeshNode *meshB = nullptr;
    bool complete = meshA != nullptr;
    if (complete && ctx.variant->hasMeshB) {
        meshB = (MeshNode *)allocZeroed(count, sizeof(MeshNode));
        complete = meshB != nullptr;
    }
    MeshNode *meshBase = complete ? (MeshNode *)allocZeroed(count, sizeof(MeshNode)) : nullptr;
    MeshNode *clipboard = meshBase ? (MeshNode *)allocZeroed(count, sizeof(MeshNode)) : nullptr;
    MeshNode *kernel = clipboard
                           ? (MeshNode *)allocZeroed((size_t)BRUSH_KERNEL_SIDE * BRUSH_KERNEL_SIDE,
                                                     sizeof(MeshNode))
                           : nullptr;
    if (!kernel) {
        LOG_FAILURE(ctx.variant); // journal: no memory for the brush
        freeBlock(output);
        freeBlock(meshA);
        freeBlock(meshB);
        freeBlock(meshBase);
        freeBlock(clipboard);
        releaseMeshes(ctx);
        return -1;
    }

    // The key grid has gridRows x gridCols nodes; never copy more than a
    // working mesh holds, whatever the grid geometry says.
    if (keyGrid) {
        size_t nodes = gridNodeCount(ctx);
        if (nodes > count)
            nodes = count;
        memmove(meshA, keyGrid, nodes * sizeof(MeshNode));
        if (meshB)
            memmove(meshB, keyGrid, nodes * sizeof(MeshNode));
    }

    releaseMeshes(ctx);
    ctx.outputPixels = output;
    ctx.meshA = meshA;
    ctx.meshB = meshB;
    ctx.meshBase = meshBase;
    ctx.meshClipboard = clipboard; // all (0, 0) from the zeroed allocation
    ctx.brushKernel = kernel;
    ctx.outputCapacity = count;
    ctx.meshCapacity = count;
    fillFalloffTable(ctx.falloffTable);
    return 0;
}

void adoptInputs(OperatorContext &ctx, RenderHold &hold)
{
    ctx.sourcePixels = hold.source;
    hold.sourceSlot = &ctx.sourcePixels;
    if (hold.target) {
        ctx.targetPixels = hold.target;
        hold.targetSlot = &ctx.targetPixels;
    }
    ctx.currentFrame = hold.currentFrame;
    ctx.lastFrame = hold.lastFrame;
    ctx.imageWidth = ctx.workWidth = hold.width;
    ctx.imageHeight = ctx.workHeight = hold.height;
}

void chooseWorkSize(OperatorContext &ctx, const ActionRecord *record)
{
    if ((record->flags[0] & 1) && ctx.projectWidth > 0 && ctx.projectHeight > 0) {
        ctx.workWidth = ctx.imageWidth = ctx.projectWidth;
        ctx.workHeight = ctx.imageHeight = ctx.projectHeight;
    }
    ctx.gridCols = ctx.workWidth / 4;
    ctx.gridRows = ctx.workHeight / 2;
}

int allocateWorkBuffers(OperatorContext &ctx, bool withMeshB, const RenderHold &hold)
{
    ctx.meshCols = ctx.workWidth / 4;
    ctx.meshRows = ctx.workHeight / 2;
    const size_t pixels = (size_t)ctx.workWidth * (size_t)ctx.workHeight;
    const size_t nodes = (size_t)(ctx.workWidth / 2) * (size_t)ctx.meshRows;
    ctx.outputPixels = (uint32_t *)allocBlock(pixels * 4);
    ctx.meshA = (MeshNode *)allocZeroed(nodes, sizeof(MeshNode));
    if (withMeshB)
        ctx.meshB = (MeshNode *)allocZeroed(nodes, sizeof(MeshNode));
    if (!ctx.outputPixels || !ctx.meshA || (withMeshB && !ctx.meshB)) {
        LOG_FAILURE(ctx.variant); // journal: no memory for the output picture or the meshes
        freeBlock(ctx.outputPixels);
        freeBlock(ctx.meshA);
        freeBlock(ctx.meshB);
        ctx.outputPixels = nullptr;
        ctx.meshA = ctx.meshB = nullptr;
        return -1;
    }
    ctx.outputCapacity = pixels;
    ctx.meshCapacity = nodes;
    ctx.fieldWidth = hold.width;
    ctx.fieldHeight = hold.height;
    ctx.imageWidth = ctx.workWidth = hold.width;
    ctx.imageHeight = ctx.workHeight = hold.height;
    return 0;
}
