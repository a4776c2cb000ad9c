// The sound track of a media output (see media.h for the rules): input 0's
// packets copied, or both inputs' sound decoded, mixed and encoded. Used by
// media.cpp only; the track writes into the writer's container.
#ifndef VXH_MEDIAAUDIO_H
#define VXH_MEDIAAUDIO_H

#include <string>
#include <vector>

#include "host/io/audioplan.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vxh {

struct AudioTrack;

// Adds the audio stream to out (before its header is written), or nothing
// when there is no sound to carry; notes say what becomes of the sound.
bool openAudioTrack(const std::string &outName, AVFormatContext *out, const AudioPlan &plan,
                    AVRational frameRate, AudioTrack *&track, std::vector<std::string> &notes,
                    std::string &err);
void setAudioLevels(AudioTrack *track, std::vector<int> levels);
// Writes the sound of the first `frames` output frames that is not written
// yet; at the end, whatever is left of it and the encoder's last packets.
bool writeAudioUntil(AudioTrack *track, AVFormatContext *out, long frames, bool end,
                     std::string &err);
void closeAudioTrack(AudioTrack *&track);

} // namespace vxh

#endif
