// Clips read a frame at a time, so neither a render's nor the editor's
// memory grows with the clip's length.
//
// An input is opened once and answers "frame k" in any order: a YUV4MPEG2
// file is indexed by seeking past each frame's planes and read back by
// seeking; a pipe's frames are copied, as they arrive, into an unlinked
// temporary file and read back from there; PNG sequences read one file per
// frame; media files are decoded by host/io/media.h; the built-in sample
// clips draw the frame asked for. Two decoded frames are kept (the two
// fields of one frame come from the same one).
#ifndef VXH_INPUT_H
#define VXH_INPUT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/io/clip.h"
#include "host/io/pattern.h"
#include "host/io/y4m.h"

namespace vxh {

struct MediaReader;

// Largest picture (width x height) accepted unless --max-pixels says more:
// 8192 x 8192, a little above 8K UHD.
constexpr int64_t kDefaultMaxPixels = int64_t(8192) * 8192;

enum class InputKind { Y4m, Still, PngSequence, Sample, Media };

// What an input holds open: its stream (closed unless it is standard input
// or a stream lent to it), the spool of a pipe's frames, a media decoder.
// Move-only; closed when it goes.
struct InputHandles {
    std::FILE *fp = nullptr;
    bool ownsFp = false;
    std::FILE *spool = nullptr;
    MediaReader *media = nullptr;

    InputHandles() = default;
    InputHandles(InputHandles &&other) noexcept;
    InputHandles &operator=(InputHandles &&other) noexcept;
    InputHandles(const InputHandles &) = delete;
    InputHandles &operator=(const InputHandles &) = delete;
    ~InputHandles();
};

struct InputClip : InputHandles {
    std::string name; // as given; "-" is standard input, "" a sample clip
    InputKind kind = InputKind::Y4m;
    Clip facts;            // size, rate and header facts; no frames
    long knownFrames = 0;  // frames found so far
    bool complete = false; // knownFrames is the clip's length
    // YUV4MPEG2
    bool seekable = false;
    Y4mHeader header;
    size_t frameBytes = 0;
    std::vector<int64_t> offsets; // planes of frame k: in fp, or in the spool for a pipe
    // PNG sequence
    FramePattern pattern;
    int firstIndex = 0;
    // Sample clip
    int sampleWhich = 0;
    // Decoded frames kept
    long cachedIndex[2] = {-1, -1};
    std::vector<uint32_t> cached[2];
    int nextSlot = 0;
    std::vector<uint8_t> raw;
};

// Opens path ("-" = standard input) as a YUV4MPEG2 stream or file, a PNG
// still, a PNG frame pattern, or a media file read by host/io/media.h (named
// files only). Sizes above maxPixels are refused before anything is
// allocated. Warnings (a gap in a PNG sequence, a pixel conversion) are
// appended.
bool openInput(const std::string &path, int64_t maxPixels, InputClip &in,
               std::vector<std::string> &warnings, std::string &err);
// A built-in sample clip of w x h and `frames` frames, drawn on demand.
void openSampleInput(int which, int w, int h, long frames, InputClip &in);
// Closes now; the input closes itself when it goes.
void closeInput(InputClip &in);
// The clip's length in frames; a pipe is read to its end (into the spool).
bool countFrames(InputClip &in, long &frames, std::string &err);
// Frame k; past the end the last frame. Null with err on a read failure.
// The pointer stays valid until the next call but one.
const uint32_t *frameAt(InputClip &in, long k, std::string &err);
// Frame k into out, which the input does not keep (for a reader with
// buffers of its own); past the end the last frame, `repeated` set. False
// with err on a read failure.
bool readFrame(InputClip &in, long k, std::vector<uint32_t> &out, bool &repeated,
               std::string &err);

} // namespace vxh

#endif
