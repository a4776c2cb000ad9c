// YUV4MPEG2 reading and writing.
//
// A file is one header line "YUV4MPEG2 <params>\n" followed by frames, each a
// line starting with "FRAME" (optionally followed by parameters) and then the raw
// 8-bit planes. Reading accepts these colour spaces (the C parameter):
//   444alpha            planes Y, U, V, A, copied byte for byte
//   444                 planes Y, U, V; A = 255
//   420jpeg, 420mpeg2,  planes Y (w x h), U and V (ceil(w/2) x ceil(h/2)); A = 255.
//   420paldv, 420       Chroma is upsampled by replication: each chroma sample is
//                       used for the whole 2x2 block of luma it covers (for odd
//                       sizes the last column/row of blocks is 1 pixel wide/high).
//                       The chroma siting that distinguishes the variants is
//                       ignored. A header without a C parameter means 420jpeg.
//   mono                plane Y only; U = V = 128, A = 255
// Anything else (4:2:2, 4:1:1, samples deeper than 8 bits, ...) is rejected.
// Writing always produces C444alpha.
#include "host/io/y4m.h"

#include "host/core/pixels.h"
#include "host/io/tempfile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <sys/types.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vxh {

namespace {

// One row of 4:2:0: pixel x takes chroma sample x / 2. Sixteen pixels a step
// where the processor has SSE2 (every x86-64 does): the chroma bytes are
// doubled, then Y with U and V with alpha are interleaved into pixels.
void unpack420Row(const uint8_t *Y, const uint8_t *U, const uint8_t *V, uint32_t *out, size_t w)
{
    size_t x = 0;
#ifdef __SSE2__
    const __m128i alpha = _mm_set1_epi8(char(0xFF));
    for (; x + 16 <= w; x += 16) {
        const __m128i y = _mm_loadu_si128((const __m128i *)(Y + x));
        const __m128i u = _mm_loadl_epi64((const __m128i *)(U + x / 2));
        const __m128i v = _mm_loadl_epi64((const __m128i *)(V + x / 2));
        const __m128i uu = _mm_unpacklo_epi8(u, u), vv = _mm_unpacklo_epi8(v, v);
        const __m128i yuLow = _mm_unpacklo_epi8(y, uu), yuHigh = _mm_unpackhi_epi8(y, uu);
        const __m128i vaLow = _mm_unpacklo_epi8(vv, alpha), vaHigh = _mm_unpackhi_epi8(vv, alpha);
        _mm_storeu_si128((__m128i *)(out + x), _mm_unpacklo_epi16(yuLow, vaLow));
        _mm_storeu_si128((__m128i *)(out + x + 4), _mm_unpackhi_epi16(yuLow, vaLow));
        _mm_storeu_si128((__m128i *)(out + x + 8), _mm_unpacklo_epi16(yuHigh, vaHigh));
        _mm_storeu_si128((__m128i *)(out + x + 12), _mm_unpackhi_epi16(yuHigh, vaHigh));
    }
#endif
    for (; x < w; ++x)
        out[x] = packYuva(Y[x], U[x / 2], V[x / 2], 255);
}

constexpr size_t kMaxHeaderLine = 65536; // header or FRAME line, including parameters

struct FileCloser {
    std::FILE *fp;
    ~FileCloser()
    {
        if (fp)
            std::fclose(fp);
    }
};

// Reads bytes up to and excluding '\n'. Eof means no byte at all was available.
} // namespace

LineResult readY4mLine(std::FILE *fp, std::string &line)
{
    line.clear();
    for (;;) {
        const int c = std::getc(fp);
        if (c == EOF)
            return line.empty() ? LineResult::Eof : LineResult::Truncated;
        if (c == '\n')
            return LineResult::Ok;
        if (line.size() >= kMaxHeaderLine)
            return LineResult::TooLong;
        line += char(c);
    }
}

namespace {

// Unsigned decimal of 1..9 digits, nothing else.
bool parseUnsigned(std::string_view s, int &v)
{
    if (s.empty() || s.size() > 9)
        return false;
    int r = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        r = r * 10 + (c - '0');
    }
    v = r;
    return true;
}

bool parseRatio(std::string_view s, int &n, int &d)
{
    const size_t colon = s.find(':');
    return colon != std::string_view::npos && parseUnsigned(s.substr(0, colon), n) &&
           parseUnsigned(s.substr(colon + 1), d);
}

} // namespace

bool parseChroma(const std::string &tag, Chroma &c, std::string &why)
{
    if (tag == "444alpha")
        c = Chroma::C444alpha;
    else if (tag == "444")
        c = Chroma::C444;
    else if (tag == "420jpeg" || tag == "420mpeg2" || tag == "420paldv" || tag == "420")
        c = Chroma::C420;
    else if (tag == "mono")
        c = Chroma::Mono;
    else {
        // High bit depth tags look like 420p10, 444p16, mono16.
        const size_t p = tag.rfind("mono", 0) == 0 ? 4 : tag.find('p');
        const bool deep =
            p != std::string::npos && p + 1 < tag.size() && tag[p + 1] >= '0' && tag[p + 1] <= '9';
        why = "unsupported colour space 'C" + tag + "'" +
              (deep ? " (only 8-bit samples are supported)"
                    : " (supported: C444alpha, C444, C420jpeg, C420mpeg2, C420paldv, C420, Cmono)");
        return false;
    }
    return true;
}

std::string escapeBytes(std::string_view bytes)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += char(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool readY4mHeaderLine(std::FILE *fp, const std::string &path, std::string &line, std::string &err)
{
    switch (readY4mLine(fp, line)) {
    case LineResult::Ok:
        return true;
    case LineResult::Eof:
        err = path + ": file is empty";
        return false;
    case LineResult::Truncated:
        err = path + ": header line is not terminated (file truncated?)";
        return false;
    case LineResult::TooLong:
        err = path + ": header line is too long";
        return false;
    }
    return false;
}

bool parseY4mHeader(const std::string &line, Y4mHeader &hd, std::string &why)
{
    static constexpr std::string_view kMagic = "YUV4MPEG2";
    if (line.compare(0, kMagic.size(), kMagic) != 0 ||
        (line.size() > kMagic.size() && line[kMagic.size()] != ' ')) {
        why = "not a YUV4MPEG2 file (bad signature)";
        return false;
    }
    size_t pos = kMagic.size();
    while (pos < line.size()) {
        size_t end = line.find(' ', pos + 1);
        if (end == std::string::npos)
            end = line.size();
        std::string_view tok(line.data() + pos, end - pos);
        pos = end;
        while (!tok.empty() && tok.front() == ' ')
            tok.remove_prefix(1);
        if (tok.empty())
            continue;
        const char key = tok.front();
        const std::string_view val = tok.substr(1);
        const std::string shown = escapeBytes(tok.substr(0, 40));
        switch (key) {
        case 'W':
        case 'H': {
            int v = 0;
            if (!parseUnsigned(val, v)) {
                why = "bad header parameter '" + shown + "'";
                return false;
            }
            if (v < 1 || v > kMaxFrameSide) {
                why = std::string(key == 'W' ? "width " : "height ") +
                      std::string(val.substr(0, 20)) + " out of range (1.." +
                      std::to_string(kMaxFrameSide) + ")";
                return false;
            }
            (key == 'W' ? hd.w : hd.h) = v;
            break;
        }
        case 'F': {
            int n = 0, d = 0;
            if (!parseRatio(val, n, d) || (n == 0) != (d == 0)) {
                why = "bad frame rate '" + shown + "'";
                return false;
            }
            if (n == 0) { // F0:0 = unknown; keep the default
                n = 25;
                d = 1;
            }
            hd.fpsNum = n;
            hd.fpsDen = d;
            break;
        }
        case 'A': {
            int n = 0, d = 0;
            if (!parseRatio(val, n, d)) {
                why = "bad pixel aspect '" + shown + "'";
                return false;
            }
            hd.aspect = std::string(val);
            break;
        }
        case 'I':
            if (val.size() != 1 ||
                std::string_view("ptbm?").find(val[0]) == std::string_view::npos) {
                why = "bad interlacing parameter '" + shown + "'";
                return false;
            }
            hd.interlace = val[0];
            break;
        case 'C':
            if (!parseChroma(escapeBytes(val.substr(0, 40)), hd.chroma, why))
                return false;
            break;
        case 'X': // application extension: only the colour range is kept
            if (val.rfind("COLORRANGE=", 0) == 0 && val.size() < 64 && val.size() > 11 &&
                val.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 11) ==
                    std::string_view::npos)
                hd.colorRange = std::string(val.substr(11));
            break;
        default:
            why = "unknown header parameter '" + shown + "'";
            return false;
        }
    }
    if (hd.w < 0 || hd.h < 0) {
        why =
            std::string("header has no ") + (hd.w < 0 ? "W (width)" : "H (height)") + " parameter";
        return false;
    }
    return true;
}

// Bytes of one frame's planes. Sides are capped at kMaxFrameSide, so at most
// 4 * 2^28 bytes; the check keeps 32-bit builds honest too.
bool y4mFrameBytes(const Y4mHeader &hd, size_t &bytes)
{
    const uint64_t n = uint64_t(hd.w) * uint64_t(hd.h);
    const uint64_t cw = (uint64_t(hd.w) + 1) / 2, ch = (uint64_t(hd.h) + 1) / 2;
    uint64_t b = 0;
    switch (hd.chroma) {
    case Chroma::C444alpha:
        b = 4 * n;
        break;
    case Chroma::C444:
        b = 3 * n;
        break;
    case Chroma::C420:
        b = n + 2 * cw * ch;
        break;
    case Chroma::Mono:
        b = n;
        break;
    }
    if (b > uint64_t(SIZE_MAX) / 4)
        return false; // room for the unpacked frame as well
    bytes = size_t(b);
    return true;
}

void unpackY4mFrame(const Y4mHeader &hd, const uint8_t *src, uint32_t *dst)
{
    const size_t w = size_t(hd.w), h = size_t(hd.h), n = w * h;
    const uint8_t *Y = src;
    switch (hd.chroma) {
    case Chroma::C444alpha: {
        const uint8_t *U = Y + n, *V = U + n, *A = V + n;
        for (size_t i = 0; i < n; ++i)
            dst[i] = packYuva(Y[i], U[i], V[i], A[i]);
        break;
    }
    case Chroma::C444: {
        const uint8_t *U = Y + n, *V = U + n;
        for (size_t i = 0; i < n; ++i)
            dst[i] = packYuva(Y[i], U[i], V[i], 255);
        break;
    }
    case Chroma::C420: {
        // Replication: pixel (x, y) takes chroma sample (x/2, y/2).
        const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
        const uint8_t *U = Y + n, *V = U + cw * ch;
        for (size_t y = 0; y < h; ++y)
            unpack420Row(Y + y * w, U + (y / 2) * cw, V + (y / 2) * cw, dst + y * w, w);
        break;
    }
    case Chroma::Mono:
        for (size_t i = 0; i < n; ++i)
            dst[i] = packYuva(Y[i], 128, 128, 255);
        break;
    }
}

bool readY4m(const std::string &path, Clip &out, std::string &err)
{
    FileCloser f{std::fopen(path.c_str(), "rb")};
    if (!f.fp) {
        err = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    // File size, when it can be known, lets a truncated frame be reported before
    // allocating a buffer for it.
    int64_t fileSize = -1;
    if (fseeko(f.fp, 0, SEEK_END) == 0)
        fileSize = int64_t(ftello(f.fp));
    if (fseeko(f.fp, 0, SEEK_SET) != 0)
        fileSize = -1;

    std::string line, why;
    if (!readY4mHeaderLine(f.fp, path, line, err))
        return false;
    Y4mHeader hd;
    if (!parseY4mHeader(line, hd, why)) {
        err = path + ": " + why;
        return false;
    }
    size_t bytes = 0;
    if (!y4mFrameBytes(hd, bytes)) {
        err = path + ": frame size " + std::to_string(hd.w) + "x" + std::to_string(hd.h) +
              " is too large";
        return false;
    }

    Clip clip;
    clip.width = hd.w;
    clip.height = hd.h;
    clip.fpsNum = hd.fpsNum;
    clip.fpsDen = hd.fpsDen;
    clip.aspect = hd.aspect;
    clip.interlace = hd.interlace;
    clip.colorRange = hd.colorRange;
    std::vector<uint8_t> raw;
    for (size_t index = 0;; ++index) {
        auto frameName = [index] { return "frame " + std::to_string(index); };
        const LineResult lr = readY4mLine(f.fp, line);
        if (lr == LineResult::Eof)
            break;
        if (lr == LineResult::TooLong) {
            err = path + ": " + frameName() + ": FRAME line is too long";
            return false;
        }
        if (line.compare(0, 5, "FRAME") != 0 || (line.size() > 5 && line[5] != ' ')) {
            err = path + ": " + frameName() + ": expected a FRAME marker";
            return false;
        }
        if (lr == LineResult::Truncated) {
            err = path + ": " + frameName() + " is truncated (FRAME line not terminated)";
            return false;
        }
        if (fileSize >= 0) {
            const int64_t left = fileSize - int64_t(ftello(f.fp));
            if (left < int64_t(bytes)) {
                err = path + ": " + frameName() + " is truncated (" +
                      std::to_string(left < 0 ? 0 : left) + " of " + std::to_string(bytes) +
                      " bytes present)";
                return false;
            }
        }
        raw.resize(bytes);
        const size_t got = std::fread(raw.data(), 1, bytes, f.fp);
        if (got != bytes) {
            err = path + ": " + frameName() + " is truncated (" + std::to_string(got) + " of " +
                  std::to_string(bytes) + " bytes present)";
            return false;
        }
        clip.frames.emplace_back(size_t(hd.w) * size_t(hd.h));
        unpackY4mFrame(hd, raw.data(), clip.frames.back().data());
    }
    if (std::ferror(f.fp)) {
        err = path + ": read error: " + std::strerror(errno);
        return false;
    }
    if (clip.frames.empty()) {
        err = path + ": file contains no frames";
        return false;
    }
    out = std::move(clip);
    return true;
}

std::string y4mHeaderLine(const Clip &facts, const char *chroma)
{
    std::string line = "YUV4MPEG2 W" + std::to_string(facts.width) + " H" +
                       std::to_string(facts.height) + " F" + std::to_string(facts.fpsNum) + ":" +
                       std::to_string(facts.fpsDen);
    if (facts.interlace)
        line += std::string(" I") + facts.interlace;
    if (!facts.aspect.empty())
        line += " A" + facts.aspect;
    line += std::string(" C") + chroma;
    if (!facts.colorRange.empty())
        line += " XCOLORRANGE=" + facts.colorRange;
    return line + "\n";
}

bool writeY4m(const std::string &path, const Clip &clip, std::string &err)
{
    std::string why;
    if (!validateClip(clip, why)) {
        err = path + ": " + why;
        return false;
    }
    TempFile t;
    if (!openTemp(path, t, err))
        return false;
    const std::string header = y4mHeaderLine(clip, "444alpha");
    const size_t n = size_t(clip.width) * size_t(clip.height);
    std::vector<uint8_t> planes(4 * n);
    bool ok = std::fwrite(header.data(), 1, header.size(), t.fp) == header.size();
    for (size_t f = 0; ok && f < clip.frames.size(); ++f) {
        const uint32_t *src = clip.frames[f].data();
        uint8_t *Y = planes.data(), *U = Y + n, *V = U + n, *A = V + n;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t p = src[i];
            Y[i] = pixY(p);
            U[i] = pixU(p);
            V[i] = pixV(p);
            A[i] = pixA(p);
        }
        ok = std::fwrite("FRAME\n", 1, 6, t.fp) == 6 &&
             std::fwrite(planes.data(), 1, planes.size(), t.fp) == planes.size();
    }
    if (!ok)
        err = path + ": write failed: " + std::strerror(errno);
    ok = ok && commitTemp(t, err);
    discardTemp(t);
    return ok;
}

} // namespace vxh
