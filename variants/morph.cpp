// Morph: both inputs move through their own meshes while the second dissolves in.
#include "variants/variant.h"

extern const VariantDesc vxMorphVariant = {
    "VorluxMorph",
    "src\\VorluxMorph",
    0x0B8D0000,
    "$Id: VorluxMorph,v 1.0 2014/12/17 00:00:00 vorlux $",
    2,
    true,
    true,
    255,
    true,
    false,
    {RENDER_PASS_A, RENDER_PASS_B, RENDER_PASS_END},
    true,
    false,
    true,
    VIEW_BLEND_RESTORED,
    true,
    50,
    215,
    0x100063,
    511,
    {1, 1},
};
