// Warp: one input, no dissolve; a nameless instance keeps its effect in spezial/warp.vlw.
#include "variants/variant.h"

extern const VariantDesc vxWarpVariant = {
    .hooks = &effectOperatorHooks,
    .name = "VorluxWarp",
    .sourceName = "src\\VorluxWarp",
    .moduleCode = 0x0B8A0000,
    .versionString = "$Id: VorluxWarp,v 1.0 2014/12/17 00:00:00 vorlux $",
    .inputCount = 1,
    .lastKeyLevel = 100,
    .hasFallbackPath = true,
    .passes = {RENDER_PASS_A, RENDER_PASS_END, RENDER_PASS_END},
    .viewBlendUse = VIEW_BLEND_NONE,
    .doneHostImage = 51,
    .doneImage = 214,
    .doneKey = 0x100069,
    .aboutText = 509,
    .aboutNumbers = {2, 1},
};
