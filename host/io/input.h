// Clips read and written a frame at a time, so a render's memory does not
// grow with the clip's length.
//
// An input is opened once and answers "frame k" in any order: a YUV4MPEG2
// file is indexed by seeking past each frame's planes and read back by
// seeking; a pipe's frames are copied, as they arrive, into an unlinked
// temporary file and read back from there; PNG sequences read one file per
// frame; the built-in sample clips draw the frame asked for. Two decoded
// frames are kept (the two fields of one frame come from the same one).
#ifndef VXH_STREAM_H
#define VXH_STREAM_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/clipio.h"

namespace vxh {

struct MediaReader;
struct MediaWriter;
struct MediaSettings;

// Largest picture (width x height) accepted unless --max-pixels says more:
// 8192 x 8192, a little above 8K UHD.
constexpr int64_t kDefaultMaxPixels = int64_t(8192) * 8192;

enum class InputKind { Y4m, Still, PngSequence, Sample, Media };

struct InputClip {
    std::string name; // as given; "-" is standard input, "" a sample clip
    InputKind kind = InputKind::Y4m;
    Clip facts;            // size, rate and header facts; no frames
    long knownFrames = 0;  // frames found so far
    bool complete = false; // knownFrames is the clip's length
    // YUV4MPEG2
    std::FILE *fp = nullptr;
    bool ownsFp = false, seekable = false;
    Y4mHeader header;
    size_t frameBytes = 0;
    std::vector<int64_t> offsets; // planes of frame k: in fp, or in spool for a pipe
    std::FILE *spool = nullptr;
    // PNG sequence
    FramePattern pattern;
    int firstIndex = 0;
    // Sample clip
    int sampleWhich = 0;
    // Media file (host/media.h)
    MediaReader *media = nullptr;
    // Decoded frames kept
    long cachedIndex[2] = {-1, -1};
    std::vector<uint32_t> cached[2];
    int nextSlot = 0;
    std::vector<uint8_t> raw;
};

// Opens path ("-" = standard input) as a YUV4MPEG2 stream or file, a PNG
// still, a PNG frame pattern, or a media file read by host/media.h (named
// files only). Sizes above maxPixels are refused before anything is
// allocated. Warnings (a gap in a PNG sequence, a pixel conversion) are
// appended.
bool openInput(const std::string &path, int64_t maxPixels, InputClip &in,
               std::vector<std::string> &warnings, std::string &err);
// A built-in sample clip of w x h and `frames` frames, drawn on demand.
void openSampleInput(int which, int w, int h, long frames, InputClip &in);
void closeInput(InputClip &in);
// The clip's length in frames; a pipe is read to its end (into the spool).
bool countFrames(InputClip &in, long &frames, std::string &err);
// Frame k; past the end the last frame. Null with err on a read failure.
// The pointer stays valid until the next call but one.
const uint32_t *frameAt(InputClip &in, long k, std::string &err);

enum class PixFmt { Yuva444, Yuv444, Yuv420 };
bool parsePixFmt(const std::string &text, PixFmt &fmt);
// Planes of one frame in a planar colour space: 4:2:0 chroma is the rounded
// mean of the samples of each 2x2 block (fewer at odd edges).
void packPlanes(const uint32_t *src, int w, int h, PixFmt fmt, std::vector<uint8_t> &planes);
// .mp4, .mov or .mkv, any case: written through host/media.h.
bool isMediaOutputName(const std::string &path);

struct OutputClip {
    std::string path;
    bool pattern = false;
    FramePattern pat;
    PixFmt fmt = PixFmt::Yuva444;
    Clip facts;
    std::FILE *fp = nullptr;
    bool inPlace = false; // standard output, a pipe or a device: written as it is
    TempFile temp;        // a regular file: written beside it, renamed at the end
    std::vector<TempFile> frameTemps;
    long framesWritten = 0;
    std::vector<uint8_t> planes;
    MediaWriter *media = nullptr;
    std::vector<std::string> notes; // how frames are converted for the encoder
};

// Opens "-" (standard output), a .y4m name, a PNG frame pattern or a media
// file (.mp4, .mov, .mkv, encoded as `media` says) for frames of facts'
// size. FIFOs and devices are written in place; regular files through a
// temporary renamed into place by finishOutput.
bool openOutput(const std::string &path, const Clip &facts, PixFmt fmt, OutputClip &out,
                std::string &err, const MediaSettings *media = nullptr);
bool writeFrame(OutputClip &out, const uint32_t *frame, std::string &err);
// Completes the output; notes what a user should know (old PNG frames left).
bool finishOutput(OutputClip &out, std::vector<std::string> &notes, std::string &err);
// Removes every temporary; output written in place stays as far as it got.
void abandonOutput(OutputClip &out);

} // namespace vxh

#endif
