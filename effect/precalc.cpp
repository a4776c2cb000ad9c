// Precalculation of an effect for the editor.
#include "effect/precalc.h"

#include "effect/buffers.h"
#include "effect/context.h"
#include "effect/effectfile.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "effect/framefields.h"
#include "operator/host/vxreq.h"
#include "operator/host/vxres.h"

namespace {

// The key's frame becomes current and its thumbnail is rendered from that
// frame's pictures. A frame the host cannot deliver leaves the buffers as
// they are.
void precalculateKey(OperatorContext &ctx, const FieldBuffers &fields, KeyRecord *key)
{
    ctx.currentFrame = (int32_t)key->frame;
    if (ctx.variant->hasMeshB) {
        ctx.dissolveLevel = key->level;
        fetchFrameFields(ctx, fields);
        ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
        ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    } else {
        fetchFrameFields(ctx, fields);
        copyMesh(key->grid, ctx.meshA, gridNodeCount(ctx));
        if (ctx.variant->interpolatesLevel)
            ctx.dissolveLevel = key->level;
    }
    renderThumbnail(ctx, key);
}

// Frame 0 current, its meshes in place.
void showFirstFrame(OperatorContext &ctx, const FieldBuffers &fields)
{
    ctx.currentFrame = 0;
    fetchFrameFields(ctx, fields);
    if (ctx.variant->hasMeshB) {
        ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
        ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    } else {
        copyMesh(ctx.keyList->grid, ctx.meshA, gridNodeCount(ctx));
    }
}

uint32_t keyCount(const OperatorContext &ctx)
{
    uint32_t n = 0;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next)
        ++n;
    return n;
}

} // namespace

void fillMeterRecord(OperatorContext &ctx, uint32_t steps)
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

int prepareEffect(OperatorContext &ctx, const FieldBuffers &fields)
{
    fillMeterRecord(ctx, 0);
    ctx.gridCols = ctx.imageWidth / 4;
    ctx.gridRows = ctx.imageHeight / 2;
    const int loaded = loadEffect(ctx);
    if (loaded == EFFECT_NO_MEMORY) {
        LOG_FAILURE(ctx.variant); // journal: no memory to load the effect
        freeKeys(ctx);
        return -1;
    }
    if (loaded == EFFECT_UNREADABLE) // the default effect would be saved over it
        return -1;
    if (loaded == EFFECT_LOADED && ctx.keyList) {
        if (prepareMeshes(ctx, ctx.keyList->grid) != 0)
            return -1;
        ctx.meterRecord.steps = keyCount(ctx);
        vreqOpenMeter(&ctx.meterRecord);
        int n = 0;
        for (KeyRecord *k = ctx.keyList; k; k = k->next) {
            precalculateKey(ctx, fields, k);
            vreqUpdateMeter(&ctx.meterRecord, 3, ++n);
        }
        vreqCloseMeter(&ctx.meterRecord);
        showFirstFrame(ctx, fields);
        return 0;
    }

    freeKeys(ctx);
    if (createFirstKey(ctx) != 0 || createLastKey(ctx) != 0)
        return -1;
    ctx.meterRecord.steps = 2;
    vreqOpenMeter(&ctx.meterRecord);
    if (prepareMeshes(ctx, ctx.keyList->grid) != 0) {
        vreqCloseMeter(&ctx.meterRecord);
        return -1;
    }
    precalculateKey(ctx, fields, ctx.keyList->next);
    vreqUpdateMeter(&ctx.meterRecord, 3, 1);
    precalculateKey(ctx, fields, ctx.keyList);
    if (ctx.variant->hasMeshB)
        ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    vreqCloseMeter(&ctx.meterRecord);
    return 0;
}
