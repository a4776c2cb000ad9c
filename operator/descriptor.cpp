// The effect operators' descriptor: tag list, editor button and the
// 28-byte parameter block of the editor's settings.
#include <cstddef>
#include <cstring>

#include "operator/operator.h"
#include "variants/variant.h"

// The editor's persistent settings, carried per instance by the host.
struct EffectParamBlock {
    int16_t unused;
    int16_t brushSizeIndex;
    int16_t brushPreset;
    int16_t generatorType;
    int32_t viewBlend;
    int32_t savedFrame;
    int16_t mirrorMode;
    int16_t viewZoom;
    int16_t viewScrollX;
    int16_t viewScrollY;
    int16_t zoomPointX;
    int16_t zoomPointY;
};
static_assert(sizeof(EffectParamBlock) == 28);
static_assert(offsetof(EffectParamBlock, viewBlend) == 8);
static_assert(offsetof(EffectParamBlock, mirrorMode) == 16);
static_assert(offsetof(EffectParamBlock, zoomPointY) == 26);

EffectParamBlock paramBlock;

static ParamBlockDesc paramBlockDesc = {&paramBlock, sizeof paramBlock, 0};
static GadgetButton editorButton = {{GADGET_BUTTON, 200}, 2};

VX_EXPORT int OperatorAction(ActionRecord *record);

static OpTagItem descriptor[] = {
    {OP_TAG_CAPS, 0x00010228},
    {OP_TAG_SINGLE_INPUT, 0},
    {OP_TAG_ACTION, 0},
    {OP_TAG_13, 2},
    {OP_TAG_IDENT, 0},
    {OP_TAG_PARAMS, (uintptr_t)&paramBlockDesc},
    {OP_TAG_GADGET1, (uintptr_t)&editorButton},
    {OP_TAG_END, 0},
};

VX_EXPORT const OpTagItem *GetOperatorInfo(void)
{
    paramBlock.brushSizeIndex = 1;
    paramBlock.brushPreset = 1;
    paramBlock.generatorType = 0;
    if (vxVariant->setsViewBlend)
        paramBlock.viewBlend = 128;
    paramBlock.savedFrame = 0;
    paramBlock.mirrorMode = 0;
    paramBlock.viewZoom = 0;
    paramBlock.viewScrollX = 0;
    paramBlock.viewScrollY = 0;
    paramBlock.zoomPointX = 0;
    paramBlock.zoomPointY = 0;

    descriptor[1].value = vxVariant->inputCount == 1 ? 1 : 0;
    descriptor[2].value = (uintptr_t)&OperatorAction;
    descriptor[4].value = (uintptr_t)vxVariant->versionString;
    return descriptor;
}
