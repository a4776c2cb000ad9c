// Draw: warps input 0; input 1 is fetched only as the editor's guide.
#include "variants/variant.h"

extern const VariantDesc vxDrawVariant = {
    "VorluxDraw",
    "src\\VorluxDraw",
    0x0B8B0000,
    "$Id: VorluxDraw,v 1.0 2014/12/17 00:00:00 vorlux $",
    2,
    false,
    true,
    255,
    true,
    false,
    {RENDER_PASS_A, RENDER_PASS_END, RENDER_PASS_END},
    true,
    false,
    false,
    VIEW_BLEND_KEPT,
    true,
    50,
    215,
    0x100063,
    510,
    {1, 1},
};
