#include "host/io/clip.h"

namespace vxh {

bool validateClip(const Clip &clip, std::string &why)
{
    if (clip.width < 1 || clip.height < 1 || clip.width > kMaxFrameSide ||
        clip.height > kMaxFrameSide) {
        why =
            "invalid frame size " + std::to_string(clip.width) + "x" + std::to_string(clip.height);
        return false;
    }
    if (clip.frames.empty()) {
        why = "clip has no frames";
        return false;
    }
    const size_t n = size_t(clip.width) * size_t(clip.height);
    for (size_t i = 0; i < clip.frames.size(); ++i) {
        if (clip.frames[i].size() != n) {
            why = "frame " + std::to_string(i) + " has " + std::to_string(clip.frames[i].size()) +
                  " pixels, expected " + std::to_string(n);
            return false;
        }
    }
    if (clip.fpsNum <= 0 || clip.fpsDen <= 0) {
        why =
            "invalid frame rate " + std::to_string(clip.fpsNum) + ":" + std::to_string(clip.fpsDen);
        return false;
    }
    return true;
}

} // namespace vxh
