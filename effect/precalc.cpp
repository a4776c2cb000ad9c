// Precalculation of an effect for the editor.
#include "effect/precalc.h"

#include "editor/draw.h"
#include "effect/context.h"
#include "effect/effectfile.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "engine/warp.h"
#include "operator/host/vxreq.h"
#include "operator/host/vxres.h"
#include "variants/variant.h"

namespace {

// The key's frame becomes current and its thumbnail is rendered from that
// frame's pictures. A frame the host cannot deliver leaves the buffers as
// they are.
void precalculateKey(KeyRecord *key)
{
    ctx.currentFrame = (int32_t)key->frame;
    if (vxVariant->hasMeshB) {
        ctx.dissolveLevel = key->level;
        fetchFrameFields();
        interpolateMeshA();
        interpolateMeshB();
    } else {
        fetchFrameFields();
        copyMesh(key->grid, ctx.meshA);
        if (vxVariant->interpolatesLevel)
            ctx.dissolveLevel = key->level;
    }
    renderThumbnail(key);
}

// Frame 0 current, its meshes in place.
void showFirstFrame(void)
{
    ctx.currentFrame = 0;
    fetchFrameFields();
    if (vxVariant->hasMeshB) {
        interpolateMeshA();
        interpolateMeshB();
    } else {
        copyMesh(ctx.keyList->grid, ctx.meshA);
    }
}

uint32_t keyCount(void)
{
    uint32_t n = 0;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next)
        ++n;
    return n;
}

} // namespace

void fillMeterRecord(uint32_t steps)
{
    MeterRecord &m = ctx.meterRecord;
    m.title = resGetString(ctx.stringTable, 505);
    m.word1 = 0;
    m.word2 = 0;
    m.half3 = 0;
    m.steps = steps;
    m.flags = 6;
    m.word6 = 0;
    m.word7 = 0;
}

int prepareEffect(void)
{
    fillMeterRecord(0);
    ctx.gridCols = ctx.imageWidth / 4;
    ctx.gridRows = ctx.imageHeight / 2;
    const int loaded = loadEffect();
    if (loaded == EFFECT_NO_MEMORY) {
        LOG_FAILURE();
        freeKeys();
        return -1;
    }
    if (loaded == EFFECT_LOADED && ctx.keyList) {
        if (prepareMeshes(ctx.keyList->grid) != 0)
            return -1;
        ctx.meterRecord.steps = keyCount();
        vreqOpenMeter(&ctx.meterRecord);
        int n = 0;
        for (KeyRecord *k = ctx.keyList; k; k = k->next) {
            precalculateKey(k);
            vreqUpdateMeter(&ctx.meterRecord, 3, ++n);
        }
        vreqCloseMeter(&ctx.meterRecord);
        showFirstFrame();
        return 0;
    }

    freeKeys();
    if (createFirstKey() != 0 || createLastKey() != 0)
        return -1;
    ctx.meterRecord.steps = 2;
    vreqOpenMeter(&ctx.meterRecord);
    if (prepareMeshes(ctx.keyList->grid) != 0) {
        vreqCloseMeter(&ctx.meterRecord);
        return -1;
    }
    precalculateKey(ctx.keyList->next);
    vreqUpdateMeter(&ctx.meterRecord, 3, 1);
    precalculateKey(ctx.keyList);
    if (vxVariant->hasMeshB)
        interpolateMeshA();
    vreqCloseMeter(&ctx.meterRecord);
    return 0;
}
