// A sample effect file for the demo: four keys with a visible swirl and wave.
#ifndef VXH_SAMPLEEFFECT_H
#define VXH_SAMPLEEFFECT_H

#include <string>

namespace vxh {

// Writes an effect for pictures of w x h (one field) over `frames` frames.
bool writeSampleEffect(const std::string &path, int w, int h, int frames, std::string &err);

} // namespace vxh

#endif
