// FX: the inputs are mixed at the keyed level, then the mixture is warped.
#include "variants/variant.h"

extern const VariantDesc vxFxVariant = {
    "VorluxFX",
    "src\\VorluxFX",
    0x0B8C0000,
    "$Id: VorluxFX,v 1.0 2014/12/17 00:00:00 vorlux $",
    2,
    false,
    true,
    255,
    true,
    false,
    {RENDER_PASS_MIXED, RENDER_PASS_END, RENDER_PASS_END},
    false,
    true,
    true,
    VIEW_BLEND_RESTORED,
    true,
    50,
    215,
    0x100063,
    512,
    {1, 1},
};
