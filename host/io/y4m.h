// YUV4MPEG2: whole files and the pieces the streaming reader and writer
// share.
#ifndef VXH_Y4M_H
#define VXH_Y4M_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "host/io/clip.h"

namespace vxh {

bool readY4m(const std::string &path, Clip &out, std::string &err);
bool writeY4m(const std::string &path, const Clip &clip, std::string &err);

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

} // namespace vxh

#endif
