#include "effect/context.h"

void initContext(OperatorContext &ctx, const VariantDesc &variant)
{
    ctx = OperatorContext{};
    ctx.variant = &variant;
    ctx.simd = requestedWarpLevel();
}

WarpInputs warpInputsOf(const OperatorContext &ctx)
{
    return {ctx.sourcePixels, ctx.targetPixels, ctx.workWidth,    ctx.workHeight,
            ctx.meshCols,     ctx.meshRows,     ctx.meshCapacity, ctx.simd};
}

PassOutput engineOutput(const OperatorContext &ctx, int width, int height)
{
    return {ctx.outputPixels, width, height, ctx.outputCapacity};
}
