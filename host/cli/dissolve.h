// The share of input 1 in the picture at each field, as the two-input
// plug-ins compute it, so that mixed sound follows the picture: the effect
// operators interpolate their keys' levels, the procedural transition
// cross-fades over its fade length; the filters show input 0 only.
#ifndef VXH_DISSOLVE_H
#define VXH_DISSOLVE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "operator/host/records.h"

namespace vxh {

enum class PictureMix {
    Input0,     // a filter: Warp, Draw
    EffectKeys, // Morph, FX: the level the effect's keys interpolate to
    CrossFade,  // the procedural transition: its fade window
};

PictureMix pictureMixOf(const OpTagItem *tags);

// A key of an effect: its frame (after rescaling to the clip) and level.
using KeyLevel = std::pair<uint32_t, int32_t>;

// The keys an effect operator renders for fieldCount fields: the effect
// file's when it loads for fields of fieldW x fieldH (frames rescaled and
// levels clamped as loading does), else the default effect's two keys.
std::vector<KeyLevel> renderedKeys(const std::string &effectFile, int fieldW, int fieldH,
                                   uint32_t fieldCount);
// The level at each field of [begin, end): frame = field / 2, linear between
// keys in float, truncated; frames outside the keys keep the level before.
std::vector<int> keyLevels(const std::vector<KeyLevel> &keys, long begin, long end);
// The transition's cross-fade: 0 before a window of `length` fields centred
// in the clip, 255 after it, a truncated linear ramp inside.
int crossFadeShare(uint32_t fieldCount, uint32_t length, uint32_t field);

} // namespace vxh

#endif
