// VorluxOp's render: three keys (none, full deformation at the middle,
// none), interpolated per frame, and a cross-fade window about the middle
// of the clip; the mixture is warped through one mesh.
#include <algorithm>

#include "effect/context.h"
#include "effect/keys.h"
#include "engine/generator.h"
#include "engine/warp.h"
#include "operator/fields.h"
#include "operator/host/vxcore.h"
#include "transition/transition.h"

// The middle key, linked after the first key once its grid exists, gets
// every deformation type with a non-zero amount, in ascending order.
static int createMiddleKey(void)
{
    KeyRecord *first = ctx.keyList;
    KeyRecord *key = allocKey((uint32_t)ctx.lastFrame / 2, 0);
    if (!key)
        return -1;
    key->prev = first;
    key->next = first->next;
    if (first->next)
        first->next->prev = key;
    first->next = key;
    for (int type = 0; type < DEFORM_TYPES; ++type)
        if (opParams.deformAmount[type] != 0)
            applyGenerator(key->grid, type + 1, opParams.deformAmount[type], false);
    return 0;
}

static int buildKeys(void)
{
    freeKeys();
    ctx.keyList = allocKey(0, 0);
    if (!ctx.keyList)
        return -1;
    KeyRecord *last = allocKey((uint32_t)ctx.lastFrame, 0);
    if (!last)
        return -1;
    last->prev = ctx.keyList;
    ctx.keyList->next = last;
    return createMiddleKey();
}

// First render after set-up: keys from the parameters current now, and
// the output picture and mesh.
static int prepareTransition(const ActionRecord *record, const RenderHold &hold)
{
    ctx.renderPrepared = 1;
    releaseTransition();
    chooseWorkSize(record);
    if (buildKeys() != 0)
        return -1;
    return allocateWorkBuffers(false, hold);
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

int renderTransition(ActionRecord *record)
{
    RenderHold hold;
    if (fetchInputs(record, 2, hold) != 0)
        return -1;
    if (ctx.renderPrepared == 0 && prepareTransition(record, hold) != 0) {
        releaseHold(hold);
        return -1;
    }
    if (!ctx.outputPixels || !ctx.meshA || hold.width != ctx.fieldWidth ||
        hold.height != ctx.fieldHeight || hold.pixels > ctx.outputCapacity)
        return failRender(hold, __LINE__);

    interpolateMeshA();
    ctx.dissolveLevel =
        crossFadeLevel(record->fieldCount, (uint32_t)lengthSlider.value, record->field);
    opChkAbort();
    warpPassMixed(ctx.outputPixels, hold.width, hold.height);
    opChkAbort();
    return deliverOutput(hold, ctx.outputPixels);
}

void releaseTransition(void)
{
    freeBlock(ctx.outputPixels);
    freeBlock(ctx.meshA);
    ctx.outputPixels = nullptr;
    ctx.meshA = nullptr;
    ctx.outputCapacity = ctx.meshCapacity = 0;
    releaseMixture();
    freeKeys();
}
