// VorluxOp's descriptor: four host gadgets and the 100-byte parameter block.
#include <cstring>

#include "transition/instance.h"

namespace {

const uint32_t typeEntries[DEFORM_TYPES + 1] = {311, 312, 313, 314, 315, 316, 317, 318, 319,
                                                320, 321, 322, 323, 324, 325, 326, 327, 0};

} // namespace

void initTransitionInstance(TransitionInstance &instance)
{
    initContext(instance.ctx, vxOpVariant);
    instance.params = OpParamBlock{};
    instance.paramBlockDesc = {&instance.params, sizeof instance.params, 0};
    instance.typePopup = {{GADGET_POPUP, 220}, 0, typeEntries, 0};
    instance.amountSlider = {{GADGET_SLIDER, 221}, {0, 110, 0}, -100, 100, 0};
    instance.lengthSlider = {{GADGET_SLIDER, 222}, {1, 0, 0}, 0, 300, 25};
    instance.archivesButton = {{GADGET_BUTTON, 223}, 0};
    const OpTagItem tags[TRANSITION_TAG_COUNT] = {
        {OP_TAG_CAPS, 0},
        {OP_TAG_SINGLE_INPUT, 0},
        {OP_TAG_ACTION, 0},
        {OP_TAG_13, 2},
        {OP_TAG_IDENT, 0},
        {OP_TAG_PARAMS, (uintptr_t)&instance.paramBlockDesc},
        {OP_TAG_GADGET1, (uintptr_t)&instance.typePopup},
        {OP_TAG_GADGET2, (uintptr_t)&instance.amountSlider},
        {OP_TAG_GADGET3, (uintptr_t)&instance.lengthSlider},
        {OP_TAG_GADGET4, (uintptr_t)&instance.archivesButton},
        {OP_TAG_END, 0},
    };
    for (int i = 0; i < TRANSITION_TAG_COUNT; ++i)
        instance.descriptor[i] = tags[i];
    memset(instance.pathBuffer, 0, sizeof instance.pathBuffer);
    memset(instance.nameBuffer, 0, sizeof instance.nameBuffer);
}

const OpTagItem *describeTransition(TransitionInstance &instance,
                                    int (*entry)(ActionRecord *record))
{
    OpParamBlock &params = instance.params;
    // Amounts zero; the 32-bit 25 at offset 34 sets the length and clears
    // the first two bytes of the last file name.
    memset(params.deformAmount, 0, sizeof params.deformAmount);
    const uint32_t length = 25;
    memcpy((uint8_t *)&params + offsetof(OpParamBlock, transitionLength), &length, sizeof length);
    instance.descriptor[2].value = (uintptr_t)entry;
    instance.descriptor[4].value = (uintptr_t)vxOpVariant.versionString;
    return instance.descriptor;
}
