// Clip input/output for the vxhost command-line host.
//
// Pixels are packed 32-bit words whose bytes in memory are Y, U, V, A
// (byte 0 = Y): p = Y | U << 8 | V << 16 | A << 24 on a little-endian machine.
// Y/U/V are 8-bit BT.601 studio range (Y 16..235, U/V 16..240); A is 0..255.
//
// Supported files:
//   * YUV4MPEG2 (.y4m): read C444alpha, C444, C420jpeg/C420mpeg2/C420paldv/C420
//     (no C tag means 420jpeg) and Cmono; written as C444alpha.
//   * PNG stills, any colour type / bit depth; written as 8-bit RGBA.
//   * printf-style PNG frame sequences ("in_%04d.png").
#pragma once

#include <cstdint>
#include "fileio/atomicfile.h"
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vxh {

struct Clip {
    int width = 0, height = 0; // frame size in pixels
    int fpsNum = 25, fpsDen = 1;
    // YUV4MPEG2 header facts kept from the input: pixel aspect ("1:1"),
    // interlacing ('p', 't', 'b', 'm', '?'; 0 = not given) and colour range
    // ("LIMITED", "FULL"; empty = not given).
    std::string aspect;
    char interlace = 0;
    std::string colorRange;
    std::vector<std::vector<uint32_t>>
        frames; // each width*height packed YUVA pixels, row-major, no gaps
};

// Largest frame side accepted by the readers and writers.
constexpr int kMaxFrameSide = 16384;

constexpr uint32_t packYuva(uint8_t y, uint8_t u, uint8_t v, uint8_t a)
{
    return uint32_t(y) | uint32_t(u) << 8 | uint32_t(v) << 16 | uint32_t(a) << 24;
}
constexpr uint8_t pixY(uint32_t p)
{
    return uint8_t(p);
}
constexpr uint8_t pixU(uint32_t p)
{
    return uint8_t(p >> 8);
}
constexpr uint8_t pixV(uint32_t p)
{
    return uint8_t(p >> 16);
}
constexpr uint8_t pixA(uint32_t p)
{
    return uint8_t(p >> 24);
}

// ---------------------------------------------------------------------------
// Whole clips

// Reads a YUV4MPEG2 file, a single PNG still, or a printf pattern of PNG frames
// (path contains one %d-style conversion such as "in_%04d.png"; frames are read
// from index 0 -- or 1 if 0 is missing -- until one is missing). Single files are
// recognised by their content, not their extension. On failure returns false,
// leaves `out` untouched and sets err to a one-line message naming the file.
bool readClip(const std::string &path, Clip &out, std::string &err);

// Writes .y4m as C444alpha (the host pixel bytes exactly), or a printf pattern of
// PNG frames (numbered from 0). Chooses by the path: contains '%' -> PNG frames,
// ends with .y4m -> y4m, else error. Each output file is first written to a
// temporary beside it and renamed into place only when complete; on failure the
// temporaries are removed.
bool writeClip(const std::string &path, const Clip &clip, std::string &err);

// YUVA -> 8-bit RGBA PNG, written atomically like writeClip.
bool writePng(const std::string &path, int w, int h, const uint32_t *yuva, std::string &err);

// Packed RGB bytes (3 per pixel) -> RGB PNG, written atomically.
bool writePngRgb(const std::string &path, int w, int h, const uint8_t *rgb, std::string &err);

// ---------------------------------------------------------------------------
// Single formats (readClip / writeClip dispatch to these)

// Checks that a clip can be written: sides 1..kMaxFrameSide, at least one frame,
// every frame exactly width*height pixels, positive frame rate. Sets `why`.
bool validateClip(const Clip &clip, std::string &why);

bool readY4m(const std::string &path, Clip &out, std::string &err);

// YUV4MPEG2 pieces the streaming reader shares.
enum class Chroma { C444alpha, C444, C420, Mono };
struct Y4mHeader {
    int w = -1, h = -1;
    int fpsNum = 25, fpsDen = 1;
    Chroma chroma = Chroma::C420;
    std::string aspect;     // value of A, empty when absent
    char interlace = 0;     // value of I, 0 when absent
    std::string colorRange; // value of XCOLORRANGE=, empty when absent
};
enum class LineResult { Ok, Eof, Truncated, TooLong };
// Reads bytes up to and excluding '\n' (at most 64 KiB).
LineResult readY4mLine(std::FILE *fp, std::string &line);
// The header line of a file named path; false with a message naming the
// file when it is empty, unterminated or too long.
bool readY4mHeaderLine(std::FILE *fp, const std::string &path, std::string &line, std::string &err);
bool parseY4mHeader(const std::string &line, Y4mHeader &hd, std::string &why);
// Bytes of one frame's planes; false when absurdly large.
bool y4mFrameBytes(const Y4mHeader &hd, size_t &bytes);
void unpackY4mFrame(const Y4mHeader &hd, const uint8_t *src, uint32_t *dst);
// The header line (with '\n') for frames of `facts` in colour space `chroma`
// ("444alpha", "444", "420jpeg"), keeping rate, aspect, interlacing, range.
std::string y4mHeaderLine(const Clip &facts, const char *chroma);
// Printable ASCII as it is, every other byte (and '\\') as \xNN.
std::string escapeBytes(std::string_view bytes);
bool writeY4m(const std::string &path, const Clip &clip, std::string &err);
// Reads one PNG into w*h packed YUVA pixels.
// Pictures of more than maxPixels are refused before any allocation.
bool readPng(const std::string &path, int &w, int &h, std::vector<uint32_t> &yuva, std::string &err,
             int64_t maxPixels = INT64_MAX);
// Encodes one PNG to an open stream; `name` is used in error messages only.
bool writePngStream(std::FILE *fp, const std::string &name, int w, int h, const uint32_t *yuva,
                    std::string &err);

// ---------------------------------------------------------------------------
// Frame-number patterns: exactly one conversion %d, %Nd or %0Nd ('i' is accepted
// for 'd'); "%%" stands for a literal '%'. Parsed by hand, never handed to printf.
struct FramePattern {
    std::string prefix, suffix;
    int width = 0;        // minimum number of digits
    bool zeroPad = false; // pad with '0' rather than ' '
};
bool parseFramePattern(const std::string &path, FramePattern &pat);
std::string framePath(const FramePattern &pat, int index);

// ---------------------------------------------------------------------------
// Atomic output: a unique temporary beside the final file (fileio/atomicfile.h).
struct TempFile {
    std::string finalPath, tempPath;
    std::FILE *fp = nullptr;
    AtomicFile file{};
};
// Creates the temporary (exclusively) and opens it for writing.
bool openTemp(const std::string &finalPath, TempFile &t, std::string &err);
// Flushes and closes the stream, reporting any write error.
bool closeTemp(TempFile &t, std::string &err);
// Renames the closed temporary onto the final name.
bool commitTemp(TempFile &t, std::string &err);
// Closes (if open) and removes the temporary; safe to call more than once.
void discardTemp(TempFile &t);

// ---------------------------------------------------------------------------
// Fields: field 0 = even lines, field 1 = odd lines, each h/2 lines (h odd: the
// last line is dropped). The output vectors are resized to w*(h/2).
void splitFields(const uint32_t *frame, int w, int h, std::vector<uint32_t> &even,
                 std::vector<uint32_t> &odd);
// Inverse of splitFields. For odd h the last frame line, which neither field
// carries, is a copy of the line above it (left unchanged when h == 1).
void weaveFields(const uint32_t *even, const uint32_t *odd, int w, int h, uint32_t *frame);

// ---------------------------------------------------------------------------
// Built-in sample clips: which = 0 is a "test card" (colour bars, grid, moving
// checkerboard, rings, scrolling text, frame counter); which = 1 is a different
// scene (zone-plate rings, rotating spokes, diagonal stripes, bouncing discs,
// text). Deterministic and cheap. Non-positive sizes give an empty clip.
Clip makeSampleClip(int which, int w = 720, int h = 576, int frames = 50);
// Frame t of sample clip `which` (sides 1..kMaxFrameSide), drawn into f.
void drawSampleFrame(int which, int w, int h, int t, std::vector<uint32_t> &f);

// Contact sheet: one row per clip showing the frames at 0, 25, 50, 75 and 100 %
// (index = (n-1)*pct/100), each box-filtered down to ceil(w/4) x ceil(h/4),
// separated and surrounded by kContactGap pixels of mid grey. The sheet is as
// wide as its widest row and fully opaque.
constexpr int kContactGap = 8;
bool writeContactSheet(const std::string &path, const std::vector<const Clip *> &rows,
                       std::string &err);

// ---------------------------------------------------------------------------
// Colour conversion: BT.601, studio range, 16-bit fixed point with rounding,
// results clamped to 0..255. Alpha passes through unchanged.
uint32_t rgbaToYuva(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
void yuvaToRgba(uint32_t p, uint8_t &r, uint8_t &g, uint8_t &b, uint8_t &a);

} // namespace vxh
