// VorluxOp's descriptor: four host gadgets and the 100-byte parameter block.
#include <cstring>

#include "operator/operator.h"
#include "transition/transition.h"
#include "variants/variant.h"

// Identity for logging; the mixed pass is its only pass.
extern const VariantDesc vxOpVariant = {
    "VorluxOp",
    "src\\VorluxOp",
    0x0B850000,
    "$Id: VorluxFX,v 1.0 2014/03/31 00:00:00 vorlux $",
    2,
    false,
    false,
    255,
    false,
    false,
    {RENDER_PASS_END, RENDER_PASS_END, RENDER_PASS_END},
    false,
    false,
};

OpParamBlock opParams;

static const uint32_t typeEntries[DEFORM_TYPES + 1] = {311, 312, 313, 314, 315, 316, 317, 318, 319,
                                                       320, 321, 322, 323, 324, 325, 326, 327, 0};

GadgetPopup typePopup = {{GADGET_POPUP, 220}, 0, typeEntries, 0};
GadgetSlider amountSlider = {{GADGET_SLIDER, 221}, {0, 110, 0}, -100, 100, 0};
GadgetSlider lengthSlider = {{GADGET_SLIDER, 222}, {1, 0, 0}, 0, 300, 25};
GadgetButton archivesButton = {{GADGET_BUTTON, 223}, 0};

static ParamBlockDesc paramBlockDesc = {&opParams, sizeof opParams, 0};

VX_EXPORT int OperatorAction(ActionRecord *record);

static OpTagItem descriptor[] = {
    {OP_TAG_CAPS, 0},
    {OP_TAG_SINGLE_INPUT, 0},
    {OP_TAG_ACTION, 0},
    {OP_TAG_13, 2},
    {OP_TAG_IDENT, 0},
    {OP_TAG_PARAMS, (uintptr_t)&paramBlockDesc},
    {OP_TAG_GADGET1, (uintptr_t)&typePopup},
    {OP_TAG_GADGET2, (uintptr_t)&amountSlider},
    {OP_TAG_GADGET3, (uintptr_t)&lengthSlider},
    {OP_TAG_GADGET4, (uintptr_t)&archivesButton},
    {OP_TAG_END, 0},
};

VX_EXPORT const OpTagItem *GetOperatorInfo(void)
{
    // Amounts zero; the 32-bit 25 at offset 34 sets the length and clears
    // the first two bytes of the last file name.
    memset(opParams.deformAmount, 0, sizeof opParams.deformAmount);
    const uint32_t length = 25;
    memcpy((uint8_t *)&opParams + offsetof(OpParamBlock, transitionLength), &length, sizeof length);
    descriptor[2].value = (uintptr_t)&OperatorAction;
    descriptor[4].value = (uintptr_t)vxOpVariant.versionString;
    return descriptor;
}
