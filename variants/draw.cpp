// Draw: warps input 0; input 1 is fetched only as the editor's guide.
#include "variants/variant.h"

extern const VariantDesc vxDrawVariant = {
    .hooks = &effectOperatorHooks,
    .name = "VorluxDraw",
    .sourceName = "src\\VorluxDraw",
    .moduleCode = 0x0B8B0000,
    .versionString = "$Id: VorluxDraw,v 1.0 2014/12/17 00:00:00 vorlux $",
    .inputCount = 2,
    .interpolatesLevel = true,
    .lastKeyLevel = 255,
    .setsViewBlend = true,
    .passes = {RENDER_PASS_A, RENDER_PASS_END, RENDER_PASS_END},
    .viewOverlay = true,
    .viewBlendUse = VIEW_BLEND_KEPT,
    .hasViewBlend = true,
    .aboutText = 510,
};
