// FX: the inputs are mixed at the keyed level, then the mixture is warped.
#include "variants/variant.h"

extern const VariantDesc vxFxVariant = {
    .hooks = &effectOperatorHooks,
    .name = "VorluxFX",
    .sourceName = "src\\VorluxFX",
    .moduleCode = 0x0B8C0000,
    .versionString = "$Id: VorluxFX,v 1.0 2014/12/17 00:00:00 vorlux $",
    .inputCount = 2,
    .interpolatesLevel = true,
    .lastKeyLevel = 255,
    .setsViewBlend = true,
    .passes = {RENDER_PASS_MIXED, RENDER_PASS_END, RENDER_PASS_END},
    .viewMixed = true,
    .hasKeyLevel = true,
    .viewBlendUse = VIEW_BLEND_RESTORED,
    .hasViewBlend = true,
    .aboutText = 512,
};
