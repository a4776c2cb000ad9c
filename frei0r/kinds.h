// The five frei0r plug-ins: which operator each runs and how frei0r sees it.
// Inline tables: a plug-in's selector uses one of them, so its library holds
// that kind and links that operator only.
#ifndef VXF_KINDS_H
#define VXF_KINDS_H

#include "frei0r/adapter.h"

inline constexpr VxfKind vxfWarpKind = {"vorlux_warp", &vxWarpVariant, F0R_PLUGIN_TYPE_FILTER,
                                        false, "Warps the picture through a Vorlux effect"};
inline constexpr VxfKind vxfDrawKind = {"vorlux_draw", &vxDrawVariant, F0R_PLUGIN_TYPE_FILTER,
                                        false, "Warps the picture through a Vorlux draw effect"};
inline constexpr VxfKind vxfMorphKind = {
    "vorlux_morph", &vxMorphVariant, F0R_PLUGIN_TYPE_MIXER2, false,
    "Morphs the first input into the second through a Vorlux effect"};
inline constexpr VxfKind vxfFxKind = {
    "vorlux_fx", &vxFxVariant, F0R_PLUGIN_TYPE_MIXER2, false,
    "Mixes both inputs at the effect's level, then warps the mixture"};
inline constexpr VxfKind vxfOpKind = {"vorlux_op", &vxOpVariant, F0R_PLUGIN_TYPE_MIXER2, true,
                                      "Procedural warp transition with a cross-fade window"};

#endif
