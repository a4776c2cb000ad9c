// The effect operators' descriptor: tag list, editor button and the
// 28-byte parameter block of the editor's settings.
#include "operator/instance.h"

void initEffectInstance(EffectInstance &instance, const VariantDesc &variant)
{
    initContext(instance.ctx, variant);
    instance.editor = EditorState{};
    instance.params = EffectParamBlock{};
    instance.paramBlockDesc = {&instance.params, sizeof instance.params, 0};
    instance.editorButton = {{GADGET_BUTTON, 200}, 2};
    const OpTagItem tags[EFFECT_TAG_COUNT] = {
        {OP_TAG_CAPS, 0x00010228},
        {OP_TAG_SINGLE_INPUT, 0},
        {OP_TAG_ACTION, 0},
        {OP_TAG_13, 2},
        {OP_TAG_IDENT, 0},
        {OP_TAG_PARAMS, (uintptr_t)&instance.paramBlockDesc},
        {OP_TAG_GADGET1, (uintptr_t)&instance.editorButton},
        {OP_TAG_END, 0},
    };
    for (int i = 0; i < EFFECT_TAG_COUNT; ++i)
        instance.descriptor[i] = tags[i];
}

const OpTagItem *describeEffect(EffectInstance &instance, int (*entry)(ActionRecord *record))
{
    const VariantDesc *variant = instance.ctx.variant;
    EffectParamBlock &p = instance.params;
    p.brushSizeIndex = 1;
    p.brushPreset = 1;
    p.generatorType = 0;
    if (variant->setsViewBlend)
        p.viewBlend = 128;
    p.savedFrame = 0;
    p.mirrorMode = 0;
    p.viewZoom = 0;
    p.viewScrollX = 0;
    p.viewScrollY = 0;
    p.zoomPointX = 0;
    p.zoomPointY = 0;

    instance.descriptor[1].value = variant->inputCount == 1 ? 1 : 0;
    instance.descriptor[2].value = (uintptr_t)entry;
    instance.descriptor[4].value = (uintptr_t)variant->versionString;
    return instance.descriptor;
}
