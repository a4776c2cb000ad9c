// Media files (MP4, MOV, MKV and whatever else FFmpeg's libraries decode)
// read and written a frame at a time.
//
// Reading: the file is chosen by its content. Opening demuxes the whole
// video stream once (no decoding) to list every frame's time stamp, so the
// length is known and frame k is found by seeking to the key frame before
// it and decoding forward. A decoded picture goes back to the decoder as
// soon as it is unpacked (the input keeps the last two frames unpacked,
// host/io/input.h), so memory stays a few pictures whatever the clip.
//
// Samples reach the host's Y, U, V, A bytes as the YUV4MPEG2 reader gives
// them: 8-bit planar 4:2:0, 4:4:4 and grey go through as they are (chroma
// replicated over the block it covers, grey with U = V = 128, no alpha
// gives A = 255). Other formats follow one rule each, said when a file is
// opened:
//   * other chroma subsampling (4:2:2, 4:1:1, 4:4:0, semi-planar, packed):
//     chroma replicated over the block it covers;
//   * more than 8 bits: rounded to 8 bits, (v + 2^(d-9)) >> (d-8), at most 255;
//   * RGB: rounded to 8 bits and converted with the BT.601 studio-range
//     matrix the PNG reader uses;
//   * palettes, 1-bit, floating point and Bayer: converted to 8-bit RGBA by
//     libswscale, then as RGB.
// Full-range samples go through unchanged and the range is kept as a
// header fact (XCOLORRANGE=FULL), as the YUV4MPEG2 reader does.
//
// Writing: any container the libraries write (.mp4, .mov, .mkv, .avi, ...),
// H.264 in yuv420p by default (x264's CRF 23 unless --crf says otherwise),
// frame rate, pixel aspect and interlacing from the clip's facts. 4:2:0
// chroma is the rounded mean of each 2x2 block, as in YUV4MPEG2 output.
//
// Sound: input 0's audio stream is copied packet for packet (no re-encode)
// alongside the pictures it belongs to, cut to the frames written. Mixed,
// the two inputs' audio is decoded, input 1's share at each field given as
// a level 0..255 (the picture's dissolve), and encoded with the container's
// usual audio encoder. Sound a container cannot hold as it is is
// re-encoded that way too, and said.
//
// A vxhost built without the libraries keeps these functions: they refuse
// with a message that names the packages that add them.
#ifndef VXH_MEDIA_H
#define VXH_MEDIA_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/io/audioplan.h"
#include "host/io/clip.h"
#include "host/io/planes.h"

namespace vxh {

// True when this vxhost was built with FFmpeg's libraries.
bool mediaBuilt();

struct MediaReader;

// Opens a media file; fills facts (size, rate, aspect, interlacing, range)
// and the number of frames. Notes say how samples are converted.
bool openMediaReader(const std::string &path, int64_t maxPixels, MediaReader *&reader, Clip &facts,
                     long &frames, std::vector<std::string> &notes, std::string &err);
// The same for a file held in memory (bytes stay valid while the reader is
// open), read through an I/O context of our own; name is for messages.
bool openMediaReaderMemory(const uint8_t *bytes, size_t size, const std::string &name,
                           int64_t maxPixels, MediaReader *&reader, Clip &facts, long &frames,
                           std::vector<std::string> &notes, std::string &err);
// Frame k (0 <= k < frames) as packed host pixels.
bool readMediaFrame(MediaReader *reader, long k, std::vector<uint32_t> &out, std::string &err);
void closeMediaReader(MediaReader *&reader);

// True when the name's extension is a container the libraries write.
bool mediaWritesName(const std::string &path);
// True when path is a media file with an audio stream.
bool mediaHasAudio(const std::string &path);

struct MediaSettings {
    std::string codec; // encoder name; empty: H.264
    int crf = -1;      // -1: the encoder's default
    PixFmt fmt = PixFmt::Yuv420;
    AudioPlan audio;
};

struct MediaWriter;

// Opens a temporary beside path and an encoder for frames of facts' size.
bool openMediaWriter(const std::string &path, const Clip &facts, const MediaSettings &settings,
                     MediaWriter *&writer, std::vector<std::string> &notes, std::string &err);
// Mixed sound: input 1's share (0..255) at each output field; set before
// the first frame. Fields past the end keep the last level.
void setMediaAudioLevels(MediaWriter *writer, std::vector<int> levels);
bool writeMediaFrame(MediaWriter *writer, const uint32_t *frame, std::string &err);
// Drains the encoder, completes the file and renames it into place.
bool finishMediaWriter(MediaWriter *&writer, std::string &err);
// Removes the temporary; safe on a writer already finished or never opened.
void abandonMediaWriter(MediaWriter *&writer);

} // namespace vxh

#endif
