#include "effect/context.h"

WarpInputs warpInputsOf(const OperatorContext &ctx)
{
    return {ctx.sourcePixels, ctx.targetPixels, ctx.workWidth,   ctx.workHeight,
            ctx.meshCols,     ctx.meshRows,     ctx.meshCapacity};
}

PassOutput engineOutput(const OperatorContext &ctx, int width, int height)
{
    return {ctx.outputPixels, width, height, ctx.outputCapacity};
}
