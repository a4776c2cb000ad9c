// Morph: both inputs move through their own meshes while the second dissolves in.
#include "variants/variant.h"

extern const VariantDesc vxMorphVariant = {
    .hooks = &effectOperatorHooks,
    .name = "VorluxMorph",
    .sourceName = "src\\VorluxMorph",
    .moduleCode = 0x0B8D0000,
    .versionString = "$Id: VorluxMorph,v 1.0 2014/12/17 00:00:00 vorlux $",
    .inputCount = 2,
    .hasMeshB = true,
    .interpolatesLevel = true,
    .lastKeyLevel = 255,
    .setsViewBlend = true,
    .passes = {RENDER_PASS_A, RENDER_PASS_B, RENDER_PASS_END},
    .viewOverlay = true,
    .hasKeyLevel = true,
    .viewBlendUse = VIEW_BLEND_RESTORED,
    .hasViewBlend = true,
    .aboutText = 511,
};
