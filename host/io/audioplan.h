// What a media output does with its inputs' sound.
#ifndef VXH_AUDIOPLAN_H
#define VXH_AUDIOPLAN_H

#include <string>

namespace vxh {

enum class AudioMode {
    Input0, // input 0's audio, copied
    Mix,    // input 0's and input 1's, mixed by the levels and encoded
    None,
};

// The sound of a media output, and how frames of the output meet the inputs'.
struct AudioPlan {
    AudioMode mode = AudioMode::Input0;
    std::string source0, source1; // media files whose audio is used; empty: none
    long firstFrame = 0;          // input frame shown as output frame 0
    int fieldsPerFrame = 2;
};

} // namespace vxh

#endif
