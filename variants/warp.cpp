// Warp: one input, no dissolve; a nameless instance keeps its effect in spezial/warp.vlw.
#include "variants/variant.h"

extern const VariantDesc vxWarpVariant = {
    "VorluxWarp",
    "src\\VorluxWarp",
    0x0B8A0000,
    "$Id: VorluxWarp,v 1.0 2014/12/17 00:00:00 vorlux $",
    1,
    false,
    false,
    100,
    false,
    true,
    {RENDER_PASS_A, RENDER_PASS_END, RENDER_PASS_END},
    false,
    false,
    false,
    VIEW_BLEND_NONE,
    false,
    51,
    214,
    0x100069,
    509,
    {2, 1},
};
