// A sample effect file for the demo: four keys with a visible swirl and wave.
#ifndef VXH_SAMPLEEFFECT_H
#define VXH_SAMPLEEFFECT_H

#include <string>

namespace vxh {

// Writes an effect for pictures of w x h over `frames` frames: fields, or
// whole frames when `whole`, so that its swirl is round on the frame.
bool writeSampleEffect(const std::string &path, int w, int h, int frames, bool whole,
                       std::string &err);

} // namespace vxh

#endif
