// Clips written a frame at a time: YUV4MPEG2 to a file, a pipe or standard
// output, PNG sequences, media files (host/io/media.h).
#ifndef VXH_OUTPUT_H
#define VXH_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/io/clip.h"
#include "host/io/pattern.h"
#include "host/io/planes.h"
#include "host/io/tempfile.h"

namespace vxh {

struct MediaWriter;
struct MediaSettings;

// A container the media libraries write (.mp4, .mov, .mkv, .avi, ...; any
// case): written through host/io/media.h.
bool isMediaOutputName(const std::string &path);

// What an output holds open: a stream written in place, temporaries not yet
// renamed, a media encoder. Move-only; abandoned when it goes (temporaries
// removed, a stream written in place closed as far as it got).
struct OutputHandles {
    std::FILE *fp = nullptr;
    bool inPlace = false; // standard output, a pipe or a device: written as it is
    TempFile temp;        // a regular file: written beside it, renamed at the end
    std::vector<TempFile> frameTemps;
    MediaWriter *media = nullptr;

    OutputHandles() = default;
    OutputHandles(OutputHandles &&other) noexcept;
    OutputHandles &operator=(OutputHandles &&other) noexcept;
    OutputHandles(const OutputHandles &) = delete;
    OutputHandles &operator=(const OutputHandles &) = delete;
    ~OutputHandles();
};

struct OutputClip : OutputHandles {
    std::string path;
    bool pattern = false;
    FramePattern pat;
    PixFmt fmt = PixFmt::Yuva444;
    Clip facts;
    long framesWritten = 0;
    std::vector<uint8_t> planes;
    std::vector<std::string> notes; // how frames are converted for the encoder
    bool readerGone = false;        // a pipe or FIFO written in place lost its reader (EPIPE)
};

// Opens "-" (standard output), a .y4m name, a PNG frame pattern or a media
// file (.mp4, .mov, .mkv, .avi, ..., encoded as `media` says) for frames of facts'
// size. FIFOs and devices are written in place; regular files through a
// temporary renamed into place by finishOutput.
bool openOutput(const std::string &path, const Clip &facts, PixFmt fmt, OutputClip &out,
                std::string &err, const MediaSettings *media = nullptr);
bool writeFrame(OutputClip &out, const uint32_t *frame, std::string &err);
// Whether the output is a YUV4MPEG2 stream of frames packed as fmt, which
// writePackedFrame then takes as they are (a worker's frames, say).
bool writesPackedFrames(const OutputClip &out, PixFmt fmt);
bool writePackedFrame(OutputClip &out, const uint8_t *planes, size_t bytes, std::string &err);
// Completes the output; notes what a user should know (old PNG frames left).
bool finishOutput(OutputClip &out, std::vector<std::string> &notes, std::string &err);
// Removes every temporary; output written in place stays as far as it got.
// The output does this itself when it goes.
void abandonOutput(OutputClip &out);

} // namespace vxh

#endif
