// The effect operators' descriptor: tag list, editor button and the
// 28-byte parameter block of the editor's settings.
#include <cstddef>
#include <cstring>

#include "operator/operator.h"
#include "variants/variant.h"

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
