// VorluxOp's render: three keys (none, full deformation at the middle,
// none), interpolated per frame, and a cross-fade window about the middle
// of the clip; the mixture is warped through one mesh.
#include <algorithm>

#include "effect/buffers.h"
#include "effect/context.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "engine/generator.h"
#include "engine/warp.h"
#include "operator/frame/fields.h"
#include "operator/host/vxcore.h"
#include "transition/instance.h"

// The middle key, linked after the first key once its grid exists, gets
// every deformation type with a non-zero amount, in ascending order.
static int createMiddleKey(OperatorContext &ctx, const OpParamBlock &params)
{
    KeyRecord *first = ctx.keyList;
    KeyRecord *key = allocKey(ctx, (uint32_t)ctx.lastFrame / 2, 0);
    if (!key)
        return -1;
    key->prev = first;
    key->next = first->next;
    if (first->next)
        first->next->prev = key;
    first->next = key;
    const GeneratorGeometry size = generatorGeometryOf(ctx);
    for (int type = 0; type < DEFORM_TYPES; ++type)
        if (params.deformAmount[type] != 0)
            applyGenerator(size, key->grid, type + 1, params.deformAmount[type], false);
    return 0;
}

static int buildKeys(OperatorContext &ctx, const OpParamBlock &params)
{
    freeKeys(ctx);
    ctx.keyList = allocKey(ctx, 0, 0);
    if (!ctx.keyList)
        return -1;
    KeyRecord *last = allocKey(ctx, (uint32_t)ctx.lastFrame, 0);
    if (!last)
        return -1;
    last->prev = ctx.keyList;
    ctx.keyList->next = last;
    return createMiddleKey(ctx, params);
}

// First render after set-up: keys from the parameters current now, and
// the output picture and mesh.
static int prepareTransition(TransitionInstance &instance, const ActionRecord *record,
                             const RenderHold &hold)
{
    OperatorContext &ctx = instance.ctx;
    ctx.renderPrepared = 1;
    releaseTransition(ctx);
    chooseWorkSize(ctx, record);
    if (buildKeys(ctx, instance.params) != 0)
        return -1;
    return allocateWorkBuffers(ctx, false, hold);
}

int crossFadeLevel(uint32_t fieldCount, uint32_t length, uint32_t field)
{
    const uint32_t w = fieldCount < length ? fieldCount : length;
    const uint32_t s = (fieldCount - w) / 2;
    if (field < s)
        return 0;
    if (field - s < w)
        return (int)((uint64_t)(field - s) * 255 / w);
    return 255;
}

int renderTransition(TransitionInstance &instance, ActionRecord *record)
{
    OperatorContext &ctx = instance.ctx;
    RenderHold hold;
    if (fetchInputs(ctx.variant, record, hold) != 0)
        return -1;
    adoptInputs(ctx, hold);
    if (ctx.renderPrepared == 0 && prepareTransition(instance, record, hold) != 0) {
        releaseHold(hold);
        return -1;
    }
    if (!ctx.outputPixels || !ctx.meshA || hold.width != ctx.fieldWidth ||
        hold.height != ctx.fieldHeight || hold.pixels > ctx.outputCapacity)
        return failRender(ctx.variant, hold, __LINE__); // journal: field size differs from set-up

    interpolateMeshA(ctx, ctx.dissolveLevel);
    ctx.dissolveLevel =
        crossFadeLevel(record->fieldCount, (uint32_t)instance.lengthSlider.value, record->field);
    opChkAbort();
    const PassOutput out = engineOutput(ctx, hold.width, hold.height);
    warpPassMixed(warpInputsOf(ctx), ctx.meshA, ctx.dissolveLevel, ctx.mixture, out);
    opChkAbort();
    return deliverOutput(hold, out.pixels);
}

void releaseTransition(OperatorContext &ctx)
{
    freeBlock(ctx.outputPixels);
    freeBlock(ctx.meshA);
    ctx.outputPixels = nullptr;
    ctx.meshA = nullptr;
    ctx.outputCapacity = ctx.meshCapacity = 0;
    releaseMixture(ctx);
    freeKeys(ctx);
}
