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
// the output picture and mesh at the work size.
static int prepareTransition(const ActionRecord *record, int fieldW, int fieldH)
{
    ctx.renderPrepared = 1;
    releaseTransition();
    if ((record->flags[0] & 1) && ctx.projectWidth > 0 && ctx.projectHeight > 0) {
        ctx.workWidth = ctx.imageWidth = ctx.projectWidth;
        ctx.workHeight = ctx.imageHeight = ctx.projectHeight;
    }
    ctx.gridCols = ctx.workWidth / 4;
    ctx.gridRows = ctx.workHeight / 2;
    if (buildKeys() != 0)
        return -1;
    ctx.meshCols = ctx.workWidth / 4;
    ctx.meshRows = ctx.workHeight / 2;
    const size_t pixels = (size_t)ctx.workWidth * (size_t)ctx.workHeight;
    const size_t nodes = (size_t)(ctx.workWidth / 2) * (size_t)(ctx.workHeight / 2);
    ctx.outputPixels = (uint32_t *)allocBlock(pixels * 4);
    ctx.meshA = (MeshNode *)allocZeroed(nodes, sizeof(MeshNode));
    if (!ctx.outputPixels || !ctx.meshA) {
        LOG_FAILURE();
        releaseTransition();
        return -1;
    }
    ctx.outputCapacity = pixels;
    ctx.meshCapacity = nodes;
    ctx.fieldWidth = fieldW;
    ctx.fieldHeight = fieldH;
    ctx.imageWidth = ctx.workWidth = fieldW;
    ctx.imageHeight = ctx.workHeight = fieldH;
    return 0;
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
    if (ctx.renderPrepared == 0 && prepareTransition(record, hold.width, hold.height) != 0) {
        releaseHold(hold);
        return -1;
    }
    if (!ctx.outputPixels || !ctx.meshA || hold.width != ctx.fieldWidth ||
        hold.height != ctx.fieldHeight || hold.pixels > ctx.outputCapacity)
        return failRender(hold, __LINE__);

    interpolateMeshA();
    ctx.dissolveLevel = crossFadeLevel(record->fieldCount, (uint32_t)lengthSlider.value, record->field);
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
    freeKeys();
}
