// The five frei0r plug-ins: which operator each runs and how frei0r sees it.
#include "frei0r/adapter.h"

const VxfKind vxfWarpKind = {"vorlux_warp", "VorluxWarp.so", F0R_PLUGIN_TYPE_FILTER, false,
                             "Warps the picture through a Vorlux effect"};
const VxfKind vxfDrawKind = {"vorlux_draw", "VorluxDraw.so", F0R_PLUGIN_TYPE_FILTER, false,
                             "Warps the picture through a Vorlux draw effect"};
const VxfKind vxfMorphKind = {"vorlux_morph", "VorluxMorph.so", F0R_PLUGIN_TYPE_MIXER2, false,
                              "Morphs the first input into the second through a Vorlux effect"};
const VxfKind vxfFxKind = {"vorlux_fx", "VorluxFX.so", F0R_PLUGIN_TYPE_MIXER2, false,
                           "Mixes both inputs at the effect's level, then warps the mixture"};
const VxfKind vxfOpKind = {"vorlux_op", "VorluxOp.so", F0R_PLUGIN_TYPE_MIXER2, true,
                           "Procedural warp transition with a cross-fade window"};
