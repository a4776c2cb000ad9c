// Colour conversion, field helpers, frame patterns, atomic output and the
// readClip / writeClip dispatch.
#include "host/clipio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include <unistd.h>

namespace vxh {

// ---------------------------------------------------------------------------
// Colour conversion
//
// BT.601 (Kr = 0.299, Kb = 0.114), studio range: Y = 16 + 219/255 * Y',
// U/V = 128 + 224/255 * (colour difference). Coefficients are scaled by 2^16 and
// rounded; the U and V rows were nudged so each sums to exactly zero, which makes
// every grey map to U = V = 128. Rounding is floor(x + 0.5) via an arithmetic
// shift (well defined for negative values since C++20).

namespace {

constexpr int kShift = 16;
constexpr int32_t kHalf = 1 << (kShift - 1);

inline uint8_t clamp8(int32_t v)
{
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace

uint32_t rgbaToYuva(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    const int32_t R = r, G = g, B = b;
    const int32_t y = (16829 * R + 33039 * G + 6416 * B + (16 << kShift) + kHalf) >> kShift;
    const int32_t u = (-9714 * R - 19070 * G + 28784 * B + (128 << kShift) + kHalf) >> kShift;
    const int32_t v = (28784 * R - 24103 * G - 4681 * B + (128 << kShift) + kHalf) >> kShift;
    return packYuva(clamp8(y), clamp8(u), clamp8(v), a);
}

void yuvaToRgba(uint32_t p, uint8_t &r, uint8_t &g, uint8_t &b, uint8_t &a)
{
    const int32_t y = 76309 * (int32_t(pixY(p)) - 16);
    const int32_t u = int32_t(pixU(p)) - 128;
    const int32_t v = int32_t(pixV(p)) - 128;
    r = clamp8((y + 104597 * v + kHalf) >> kShift);
    g = clamp8((y - 25675 * u - 53279 * v + kHalf) >> kShift);
    b = clamp8((y + 132201 * u + kHalf) >> kShift);
    a = pixA(p);
}

// ---------------------------------------------------------------------------
// Fields

void splitFields(const uint32_t *frame, int w, int h, std::vector<uint32_t> &even,
                 std::vector<uint32_t> &odd)
{
    const int fh = h / 2;
    const size_t rowLen = size_t(std::max(w, 0));
    even.resize(rowLen * size_t(std::max(fh, 0)));
    odd.resize(even.size());
    for (int y = 0; y < fh; ++y) {
        std::copy_n(frame + size_t(2 * y) * rowLen, rowLen, even.data() + size_t(y) * rowLen);
        std::copy_n(frame + size_t(2 * y + 1) * rowLen, rowLen, odd.data() + size_t(y) * rowLen);
    }
}

void weaveFields(const uint32_t *even, const uint32_t *odd, int w, int h, uint32_t *frame)
{
    const int fh = h / 2;
    const size_t rowLen = size_t(std::max(w, 0));
    for (int y = 0; y < fh; ++y) {
        std::copy_n(even + size_t(y) * rowLen, rowLen, frame + size_t(2 * y) * rowLen);
        std::copy_n(odd + size_t(y) * rowLen, rowLen, frame + size_t(2 * y + 1) * rowLen);
    }
    // Neither field carries the last line of an odd-height frame: repeat the one above.
    if ((h & 1) && h >= 3)
        std::copy_n(frame + size_t(h - 2) * rowLen, rowLen, frame + size_t(h - 1) * rowLen);
}

// ---------------------------------------------------------------------------
// Frame patterns

bool parseFramePattern(const std::string &path, FramePattern &pat)
{
    FramePattern p;
    std::string *cur = &p.prefix;
    int conversions = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '%') {
            *cur += path[i];
            continue;
        }
        ++i;
        if (i < path.size() && path[i] == '%') {
            *cur += '%';
            continue;
        }
        bool zero = false;
        if (i < path.size() && path[i] == '0') {
            zero = true;
            ++i;
        }
        int width = 0, digits = 0;
        while (i < path.size() && path[i] >= '0' && path[i] <= '9') {
            width = width * 10 + (path[i] - '0');
            ++i;
            if (++digits > 2)
                return false; // no sane file name needs 100+ digits
        }
        if (i >= path.size() || (path[i] != 'd' && path[i] != 'i'))
            return false;
        if (++conversions > 1)
            return false;
        p.width = width;
        p.zeroPad = zero;
        cur = &p.suffix;
    }
    if (conversions != 1)
        return false;
    pat = std::move(p);
    return true;
}

std::string framePath(const FramePattern &pat, int index)
{
    std::string digits = std::to_string(index < 0 ? -int64_t(index) : int64_t(index));
    const int signLen = index < 0 ? 1 : 0;
    std::string num;
    const int pad = pat.width - int(digits.size()) - signLen;
    if (pad > 0 && !pat.zeroPad)
        num.append(size_t(pad), ' ');
    if (index < 0)
        num += '-';
    if (pad > 0 && pat.zeroPad)
        num.append(size_t(pad), '0');
    num += digits;
    return pat.prefix + num + pat.suffix;
}

// ---------------------------------------------------------------------------
// Atomic output

bool openTemp(const std::string &finalPath, TempFile &t, std::string &err)
{
    discardTemp(t);
    t.finalPath = finalPath;
    if (atomicOpen(finalPath.c_str(), &t.file) != 0) {
        err = finalPath + ": cannot create a temporary file beside it: " + std::strerror(errno);
        return false;
    }
    t.tempPath = t.file.tempPath;
    t.fp = t.file.stream;
    return true;
}

bool closeTemp(TempFile &t, std::string &err)
{
    if (!t.fp)
        return true;
    t.fp = nullptr;
    if (atomicClose(&t.file) != 0) {
        err = t.finalPath + ": write failed: " + std::strerror(errno);
        t.tempPath.clear();
        return false;
    }
    return true;
}

bool commitTemp(TempFile &t, std::string &err)
{
    if (!closeTemp(t, err))
        return false;
    if (atomicCommit(&t.file) != 0) {
        err = t.finalPath + ": cannot rename temporary file into place: " + std::strerror(errno);
        t.tempPath.clear();
        return false;
    }
    t.tempPath.clear();
    return true;
}

void discardTemp(TempFile &t)
{
    t.fp = nullptr;
    atomicAbandon(&t.file);
    t.tempPath.clear();
}

// ---------------------------------------------------------------------------
// Dispatch

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

namespace {

bool fileExists(const std::string &p)
{
    std::error_code ec;
    return std::filesystem::exists(p, ec);
}

bool readPngSequence(const std::string &pattern, const FramePattern &pat, Clip &out,
                     std::string &err)
{
    int first = 0;
    if (!fileExists(framePath(pat, 0))) {
        first = 1;
        if (!fileExists(framePath(pat, 1))) {
            err = pattern + ": no frames found (neither " + framePath(pat, 0) + " nor " +
                  framePath(pat, 1) + " exists)";
            return false;
        }
    }
    Clip clip;
    for (int i = first;; ++i) {
        const std::string name = framePath(pat, i);
        if (i != first && !fileExists(name))
            break;
        int w = 0, h = 0;
        std::vector<uint32_t> px;
        if (!readPng(name, w, h, px, err))
            return false;
        if (clip.frames.empty()) {
            clip.width = w;
            clip.height = h;
        } else if (w != clip.width || h != clip.height) {
            err = name + ": frame is " + std::to_string(w) + "x" + std::to_string(h) +
                  " but earlier frames are " + std::to_string(clip.width) + "x" +
                  std::to_string(clip.height);
            return false;
        }
        clip.frames.push_back(std::move(px));
        if (i == INT_MAX)
            break;
    }
    out = std::move(clip);
    return true;
}

bool writePngSequence(const FramePattern &pat, const Clip &clip, std::string &err)
{
    // Write every frame to a temporary first so a failure part way through
    // does not leave a half-replaced sequence behind.
    std::vector<TempFile> temps(clip.frames.size());
    bool ok = true;
    for (size_t i = 0; ok && i < clip.frames.size(); ++i) {
        const std::string name = framePath(pat, int(i));
        ok = openTemp(name, temps[i], err) &&
             writePngStream(temps[i].fp, name, clip.width, clip.height, clip.frames[i].data(),
                            err) &&
             closeTemp(temps[i], err);
    }
    for (size_t i = 0; ok && i < temps.size(); ++i)
        ok = commitTemp(temps[i], err);
    for (TempFile &t : temps)
        discardTemp(t);
    return ok;
}

bool endsWith(const std::string &s, const std::string &suffix)
{
    if (s.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = s[s.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

} // namespace

bool readClip(const std::string &path, Clip &out, std::string &err)
{
    FramePattern pat;
    if (parseFramePattern(path, pat))
        return readPngSequence(path, pat, out, err);

    // Single file: recognise it by its first bytes.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        err = path + ": is a directory";
        return false;
    }
    std::FILE *fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        err = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    unsigned char magic[9] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, fp);
    std::fclose(fp);
    static const unsigned char kPngSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (got >= 9 && std::memcmp(magic, "YUV4MPEG2", 9) == 0)
        return readY4m(path, out, err);
    if (got >= 8 && std::memcmp(magic, kPngSig, 8) == 0) {
        Clip clip;
        clip.frames.emplace_back();
        if (!readPng(path, clip.width, clip.height, clip.frames[0], err))
            return false;
        out = std::move(clip);
        return true;
    }
    err = path + (got == 0 ? ": file is empty" : ": not a YUV4MPEG2 or PNG file");
    return false;
}

bool writeClip(const std::string &path, const Clip &clip, std::string &err)
{
    std::string why;
    if (path.find('%') != std::string::npos) {
        FramePattern pat;
        if (!parseFramePattern(path, pat)) {
            err =
                path +
                ": output pattern must contain exactly one %d-style conversion (e.g. out_%04d.png)";
            return false;
        }
        if (!validateClip(clip, why)) {
            err = path + ": " + why;
            return false;
        }
        return writePngSequence(pat, clip, err);
    }
    if (endsWith(path, ".y4m"))
        return writeY4m(path, clip, err);
    err = path + ": unknown output type (use a .y4m name or a PNG pattern such as out_%04d.png)";
    return false;
}

bool writePng(const std::string &path, int w, int h, const uint32_t *yuva, std::string &err)
{
    TempFile t;
    if (!openTemp(path, t, err))
        return false;
    const bool ok = writePngStream(t.fp, path, w, h, yuva, err) && commitTemp(t, err);
    discardTemp(t);
    return ok;
}

} // namespace vxh
