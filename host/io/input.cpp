#include "host/stream.h"

#include "host/media.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vxh {

namespace fs = std::filesystem;

namespace {

bool tooLarge(int w, int h, int64_t maxPixels)
{
    return int64_t(w) * int64_t(h) > maxPixels;
}

std::string pixelLimitMessage(const std::string &name, int w, int h, int64_t maxPixels)
{
    return name + ": pictures of " + std::to_string(w) + "x" + std::to_string(h) +
           " exceed the limit of " + std::to_string(maxPixels) +
           " pixels (--max-pixels N raises it)";
}

// Reads the FRAME line before a frame's planes. False at a clean end (err
// empty) or on a malformed marker (err set).
bool readFrameMarker(InputClip &in, std::string &err)
{
    std::string line;
    const LineResult lr = readY4mLine(in.fp, line);
    if (lr == LineResult::Eof)
        return false;
    const std::string frame = in.name + ": frame " + std::to_string(in.knownFrames);
    if (lr == LineResult::TooLong || line.compare(0, 5, "FRAME") != 0 ||
        (line.size() > 5 && line[5] != ' ')) {
        err = frame + ": expected a FRAME marker, found '" +
              escapeBytes(std::string_view(line).substr(0, 20)) + "'";
        return false;
    }
    if (lr == LineResult::Truncated) {
        err = frame + " is truncated (FRAME line not terminated)";
        return false;
    }
    return true;
}

// Indexes a seekable file: every FRAME marker is read, the planes skipped.
bool indexFile(InputClip &in, std::string &err)
{
    struct stat st;
    if (fstat(fileno(in.fp), &st) != 0) {
        err = in.name + ": " + std::strerror(errno);
        return false;
    }
    const int64_t size = st.st_size;
    for (;;) {
        if (!readFrameMarker(in, err)) {
            if (!err.empty())
                return false;
            break;
        }
        const int64_t at = ftello(in.fp);
        if (size - at < int64_t(in.frameBytes)) {
            err = in.name + ": frame " + std::to_string(in.knownFrames) + " is truncated (" +
                  std::to_string(size - at < 0 ? 0 : size - at) + " of " +
                  std::to_string(in.frameBytes) + " bytes present)";
            return false;
        }
        in.offsets.push_back(at);
        ++in.knownFrames;
        if (fseeko(in.fp, at + int64_t(in.frameBytes), SEEK_SET) != 0) {
            err = in.name + ": " + std::strerror(errno);
            return false;
        }
    }
    in.complete = true;
    return true;
}

// Reads the next frame of a pipe into the spool; false at the end (err
// empty) or on a failure.
bool spoolNextFrame(InputClip &in, std::string &err)
{
    if (in.complete)
        return false;
    if (!readFrameMarker(in, err)) {
        if (err.empty() && std::ferror(in.fp))
            err = in.name + ": read error: " + std::strerror(errno);
        in.complete = err.empty();
        return false;
    }
    in.raw.resize(in.frameBytes);
    const size_t got = std::fread(in.raw.data(), 1, in.frameBytes, in.fp);
    if (got != in.frameBytes) {
        err = in.name + ": frame " + std::to_string(in.knownFrames) + " is truncated (" +
              std::to_string(got) + " of " + std::to_string(in.frameBytes) + " bytes present)";
        return false;
    }
    if (!in.spool) {
        in.spool = std::tmpfile();
        if (!in.spool) {
            err = in.name +
                  ": cannot create a temporary file for the piped frames: " + std::strerror(errno);
            return false;
        }
    }
    const int64_t at = int64_t(in.offsets.size()) * int64_t(in.frameBytes);
    if (fseeko(in.spool, at, SEEK_SET) != 0 ||
        std::fwrite(in.raw.data(), 1, in.frameBytes, in.spool) != in.frameBytes) {
        err = in.name + ": cannot keep piped frames in a temporary file: " + std::strerror(errno);
        return false;
    }
    in.offsets.push_back(at);
    ++in.knownFrames;
    return true;
}

bool openY4m(const std::string &path, std::FILE *fp, bool owns, int64_t maxPixels, InputClip &in,
             std::string &err)
{
    in.fp = fp;
    in.ownsFp = owns;
    std::string line, why;
    if (!readY4mHeaderLine(fp, path, line, err))
        return false;
    if (!parseY4mHeader(line, in.header, why)) {
        err = path + ": " + why;
        return false;
    }
    if (tooLarge(in.header.w, in.header.h, maxPixels)) {
        err = pixelLimitMessage(path, in.header.w, in.header.h, maxPixels);
        return false;
    }
    if (!y4mFrameBytes(in.header, in.frameBytes)) {
        err = path + ": frame size is too large";
        return false;
    }
    in.kind = InputKind::Y4m;
    in.facts.width = in.header.w;
    in.facts.height = in.header.h;
    in.facts.fpsNum = in.header.fpsNum;
    in.facts.fpsDen = in.header.fpsDen;
    in.facts.aspect = in.header.aspect;
    in.facts.interlace = in.header.interlace;
    in.facts.colorRange = in.header.colorRange;
    struct stat st;
    in.seekable = fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode);
    if (in.seekable && !indexFile(in, err))
        return false;
    if (in.seekable && in.knownFrames == 0) {
        err = path + ": file contains no frames";
        return false;
    }
    return true;
}

// The highest-numbered file of a pattern in its directory, or -1.
long highestPatternIndex(const FramePattern &pat)
{
    // The directory part of the prefix, and the file-name part before the number.
    const size_t slash = pat.prefix.rfind('/');
    const fs::path dir =
        slash == std::string::npos ? fs::path(".") : fs::path(pat.prefix.substr(0, slash + 1));
    const std::string stem = slash == std::string::npos ? pat.prefix : pat.prefix.substr(slash + 1);
    long best = -1;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string suffix = fs::path(pat.suffix).filename().string();
        if (name.size() <= stem.size() + suffix.size() || name.compare(0, stem.size(), stem) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string digits =
            name.substr(stem.size(), name.size() - stem.size() - suffix.size());
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long index = std::stol(digits);
        if (framePath(pat, int(index)) == pat.prefix.substr(0, slash + 1) + name)
            best = std::max(best, index);
    }
    return best;
}

bool exists(const std::string &path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

bool openSequence(const std::string &path, const FramePattern &pat, int64_t maxPixels,
                  InputClip &in, std::vector<std::string> &warnings, std::string &err)
{
    in.kind = InputKind::PngSequence;
    in.pattern = pat;
    in.firstIndex = exists(framePath(pat, 0)) ? 0 : 1;
    if (!exists(framePath(pat, in.firstIndex))) {
        err = path + ": no frames found (neither " + framePath(pat, 0) + " nor " +
              framePath(pat, 1) + " exists)";
        return false;
    }
    long n = 0;
    while (in.firstIndex + n < INT_MAX && exists(framePath(pat, int(in.firstIndex + n))))
        ++n;
    const long highest = highestPatternIndex(pat);
    if (highest >= in.firstIndex + n)
        warnings.push_back(path + ": the sequence stops at the gap after " +
                           framePath(pat, int(in.firstIndex + n - 1)) + "; frames up to " +
                           framePath(pat, int(highest)) + " are not read");
    int w = 0, h = 0;
    std::vector<uint32_t> first;
    if (!readPng(framePath(pat, in.firstIndex), w, h, first, err, maxPixels))
        return false;
    in.facts.width = w;
    in.facts.height = h;
    in.knownFrames = n;
    in.complete = true;
    in.cachedIndex[0] = 0;
    in.cached[0] = std::move(first);
    in.nextSlot = 1;
    return true;
}

bool decodeFrame(InputClip &in, long k, std::vector<uint32_t> &out, std::string &err)
{
    switch (in.kind) {
    case InputKind::Sample:
        drawSampleFrame(in.sampleWhich, in.facts.width, in.facts.height, int(k), out);
        return true;
    case InputKind::Still:
        return true; // the one frame is never evicted
    case InputKind::PngSequence: {
        int w = 0, h = 0;
        const std::string name = framePath(in.pattern, int(in.firstIndex + k));
        if (!readPng(name, w, h, out, err, int64_t(in.facts.width) * in.facts.height))
            return false;
        if (w != in.facts.width || h != in.facts.height) {
            err = name + ": frame is " + std::to_string(w) + "x" + std::to_string(h) +
                  " but earlier frames are " + std::to_string(in.facts.width) + "x" +
                  std::to_string(in.facts.height);
            return false;
        }
        return true;
    }
    case InputKind::Y4m: {
        std::FILE *from = in.seekable ? in.fp : in.spool;
        in.raw.resize(in.frameBytes);
        if (fseeko(from, in.offsets[size_t(k)], SEEK_SET) != 0 ||
            std::fread(in.raw.data(), 1, in.frameBytes, from) != in.frameBytes) {
            err = in.name + ": frame " + std::to_string(k) + " cannot be read back";
            return false;
        }
        out.resize(size_t(in.facts.width) * size_t(in.facts.height));
        unpackY4mFrame(in.header, in.raw.data(), out.data());
        return true;
    }
    case InputKind::Media:
        return readMediaFrame(in.media, k, out, err);
    }
    return false;
}

} // namespace

bool openInput(const std::string &path, int64_t maxPixels, InputClip &in,
               std::vector<std::string> &warnings, std::string &err)
{
    closeInput(in);
    in = InputClip{};
    in.name = path;
    if (path.empty()) {
        err = "an input name is empty";
        return false;
    }
    if (path == "-") {
        in.name = "standard input";
        return openY4m(in.name, stdin, false, maxPixels, in, err);
    }
    FramePattern pat;
    if (parseFramePattern(path, pat))
        return openSequence(path, pat, maxPixels, in, warnings, err);

    // Opened without blocking so a FIFO's type can be seen; a FIFO is a pipe.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        err = path + (S_ISDIR(st.st_mode) ? ": is a directory" : ": cannot open");
        close(fd);
        return false;
    }
    if (S_ISFIFO(st.st_mode)) {
        // A pipe: wait for its writer like any reader of a pipe.
        close(fd);
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            err = path + ": cannot open: " + std::strerror(errno);
            return false;
        }
    } else {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    std::FILE *fp = fdopen(fd, "rb");
    if (!fp) {
        close(fd);
        err = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    const int c = std::getc(fp);
    if (c == EOF) {
        std::fclose(fp);
        err = path + ": file is empty";
        return false;
    }
    std::ungetc(c, fp);
    if (c == 'Y')
        return openY4m(path, fp, true, maxPixels, in, err);
    std::fclose(fp);
    if (c == 0x89) {
        in.kind = InputKind::Still;
        in.cached[0].clear();
        if (!readPng(path, in.facts.width, in.facts.height, in.cached[0], err, maxPixels))
            return false;
        in.cachedIndex[0] = 0;
        in.nextSlot = 1;
        in.knownFrames = 1;
        in.complete = true;
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        err = path + ": a pipe carries YUV4MPEG2 or PNG only; give other media files by name";
        return false;
    }
    in.kind = InputKind::Media;
    if (!openMediaReader(path, maxPixels, in.media, in.facts, in.knownFrames, warnings, err))
        return false;
    in.complete = true;
    return true;
}

void openSampleInput(int which, int w, int h, long frames, InputClip &in)
{
    closeInput(in);
    in = InputClip{};
    in.kind = InputKind::Sample;
    in.sampleWhich = which;
    in.facts.width = w;
    in.facts.height = h;
    in.knownFrames = frames;
    in.complete = true;
}

void closeInput(InputClip &in)
{
    if (in.fp && in.ownsFp)
        std::fclose(in.fp);
    if (in.spool)
        std::fclose(in.spool);
    in.fp = in.spool = nullptr;
    closeMediaReader(in.media);
}

bool countFrames(InputClip &in, long &frames, std::string &err)
{
    while (!in.complete)
        if (!spoolNextFrame(in, err) && !err.empty())
            return false;
    if (in.knownFrames == 0) {
        err = in.name + ": contains no frames";
        return false;
    }
    frames = in.knownFrames;
    return true;
}

const uint32_t *frameAt(InputClip &in, long k, std::string &err)
{
    if (k < 0)
        k = 0;
    while (k >= in.knownFrames && !in.complete)
        if (!spoolNextFrame(in, err) && !err.empty())
            return nullptr;
    if (in.knownFrames == 0) {
        err = in.name + ": contains no frames";
        return nullptr;
    }
    if (k >= in.knownFrames)
        k = in.knownFrames - 1;
    if (in.kind == InputKind::Still)
        return in.cached[0].data();
    for (int slot = 0; slot < 2; ++slot)
        if (in.cachedIndex[slot] == k)
            return in.cached[slot].data();
    const int slot = in.nextSlot;
    in.cachedIndex[slot] = -1;
    if (!decodeFrame(in, k, in.cached[slot], err))
        return nullptr;
    in.cachedIndex[slot] = k;
    in.nextSlot = 1 - slot;
    return in.cached[slot].data();
}

bool parsePixFmt(const std::string &text, PixFmt &fmt)
{
    if (text == "444alpha")
        fmt = PixFmt::Yuva444;
    else if (text == "444")
        fmt = PixFmt::Yuv444;
    else if (text == "420")
        fmt = PixFmt::Yuv420;
    else
        return false;
    return true;
}

namespace {

// The bytes of n pixels into planes Y, U, V and A (U, V, A may be null: not
// wanted). Sixteen pixels a step where the processor has SSE2 (every x86-64
// does): four rounds of byte interleaves turn four registers of pixels into
// one register per plane.
void splitPlanes(const uint32_t *src, size_t n, uint8_t *Y, uint8_t *U, uint8_t *V, uint8_t *A)
{
    size_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        __m128i r[4];
        for (int k = 0; k < 4; ++k)
            r[k] = _mm_loadu_si128((const __m128i *)(src + i + 4 * k));
        // Each round interleaves registers 0 and 2, and 1 and 3, byte by
        // byte; after four, register k holds byte k of the pixels in order.
        for (int round = 0; round < 4; ++round) {
            const __m128i a = r[0], b = r[1], c = r[2], d = r[3];
            r[0] = _mm_unpacklo_epi8(a, c);
            r[1] = _mm_unpackhi_epi8(a, c);
            r[2] = _mm_unpacklo_epi8(b, d);
            r[3] = _mm_unpackhi_epi8(b, d);
        }
        _mm_storeu_si128((__m128i *)(Y + i), r[0]);
        if (U)
            _mm_storeu_si128((__m128i *)(U + i), r[1]);
        if (V)
            _mm_storeu_si128((__m128i *)(V + i), r[2]);
        if (A)
            _mm_storeu_si128((__m128i *)(A + i), r[3]);
    }
#endif
    for (; i < n; ++i) {
        Y[i] = pixY(src[i]);
        if (U)
            U[i] = pixU(src[i]);
        if (V)
            V[i] = pixV(src[i]);
        if (A)
            A[i] = pixA(src[i]);
    }
}

} // namespace

void packPlanes(const uint32_t *src, int w, int h, PixFmt fmt, std::vector<uint8_t> &planes)
{
    const size_t n = size_t(w) * size_t(h);
    const size_t cw = (size_t(w) + 1) / 2, ch = (size_t(h) + 1) / 2;
    planes.resize(fmt == PixFmt::Yuva444 ? 4 * n : fmt == PixFmt::Yuv444 ? 3 * n : n + 2 * cw * ch);
    uint8_t *Y = planes.data();
    if (fmt != PixFmt::Yuv420) {
        splitPlanes(src, n, Y, Y + n, Y + 2 * n, fmt == PixFmt::Yuva444 ? Y + 3 * n : nullptr);
        return;
    }
    splitPlanes(src, n, Y, nullptr, nullptr, nullptr);
    uint8_t *U = Y + n, *V = U + cw * ch;
    for (size_t cy = 0; cy < ch; ++cy)
        for (size_t cx = 0; cx < cw; ++cx) {
            unsigned su = 0, sv = 0, count = 0;
            for (size_t y = 2 * cy; y < 2 * cy + 2 && y < size_t(h); ++y)
                for (size_t x = 2 * cx; x < 2 * cx + 2 && x < size_t(w); ++x) {
                    su += pixU(src[y * size_t(w) + x]);
                    sv += pixV(src[y * size_t(w) + x]);
                    ++count;
                }
            U[cy * cw + cx] = uint8_t((su + count / 2) / count);
            V[cy * cw + cx] = uint8_t((sv + count / 2) / count);
        }
}

bool isMediaOutputName(const std::string &path)
{
    for (const char *ext : {".mp4", ".mov", ".mkv"})
        if (path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ext) == 0)
            return true;
    return false;
}

namespace {

const char *chromaTag(PixFmt fmt)
{
    return fmt == PixFmt::Yuva444 ? "444alpha" : fmt == PixFmt::Yuv444 ? "444" : "420jpeg";
}

bool putBytes(std::FILE *fp, const void *bytes, size_t n)
{
    return std::fwrite(bytes, 1, n, fp) == n;
}

} // namespace

bool openOutput(const std::string &path, const Clip &facts, PixFmt fmt, OutputClip &out,
                std::string &err, const MediaSettings *media)
{
    out = OutputClip{};
    out.path = path;
    out.fmt = fmt;
    out.facts = facts;
    if (isMediaOutputName(path)) {
        MediaSettings settings;
        if (media)
            settings = *media;
        return openMediaWriter(path, facts, settings, out.media, out.notes, err);
    }
    if (path.find('%') != std::string::npos) {
        if (!parseFramePattern(path, out.pat)) {
            err =
                path +
                ": output pattern must contain exactly one %d-style conversion (e.g. out_%04d.png)";
            return false;
        }
        out.pattern = true;
        return true;
    }
    const bool y4mName =
        path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".y4m") == 0;
    struct stat st;
    const bool special = path == "-" || (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode));
    if (special && path != "-" && S_ISDIR(st.st_mode)) {
        err = path + ": is a directory";
        return false;
    }
    if (!y4mName && !special) {
        err = path + ": unknown output type (use a .y4m, .mp4, .mov or .mkv name, - for standard "
                     "output, or a PNG "
                     "pattern such as out_%04d.png)";
        return false;
    }
    if (path == "-" && isatty(1)) {
        err = "-o - writes video to standard output: pipe it into a program or a file, not a "
              "terminal";
        return false;
    }
    if (path == "-") {
        out.fp = stdout;
        out.inPlace = true;
    } else if (special) {
        // A FIFO or a device (/dev/stdout) is written as it is, never replaced.
        out.fp = std::fopen(path.c_str(), "wb");
        if (!out.fp) {
            err = path + ": cannot open: " + std::strerror(errno);
            return false;
        }
        out.inPlace = true;
    } else {
        if (!openTemp(path, out.temp, err))
            return false;
        out.fp = out.temp.fp;
    }
    const std::string header = y4mHeaderLine(facts, chromaTag(fmt));
    if (!putBytes(out.fp, header.data(), header.size())) {
        err = path + ": write failed: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool writeFrame(OutputClip &out, const uint32_t *frame, std::string &err)
{
    const int w = out.facts.width, h = out.facts.height;
    if (out.media) {
        if (!writeMediaFrame(out.media, frame, err))
            return false;
        ++out.framesWritten;
        return true;
    }
    if (out.pattern) {
        const std::string name = framePath(out.pat, int(out.framesWritten));
        out.frameTemps.emplace_back();
        TempFile &t = out.frameTemps.back();
        if (!openTemp(name, t, err) || !writePngStream(t.fp, name, w, h, frame, err) ||
            !closeTemp(t, err))
            return false;
        ++out.framesWritten;
        return true;
    }
    packPlanes(frame, w, h, out.fmt, out.planes);
    if (!putBytes(out.fp, "FRAME\n", 6) ||
        !putBytes(out.fp, out.planes.data(), out.planes.size())) {
        err = (out.path == "-" ? std::string("standard output") : out.path) +
              ": write failed: " + std::strerror(errno);
        return false;
    }
    ++out.framesWritten;
    return true;
}

bool finishOutput(OutputClip &out, std::vector<std::string> &notes, std::string &err)
{
    if (out.media)
        return finishMediaWriter(out.media, err);
    if (out.pattern) {
        for (TempFile &t : out.frameTemps)
            if (!commitTemp(t, err))
                return false;
        out.frameTemps.clear();
        const long highest = highestPatternIndex(out.pat);
        if (highest >= out.framesWritten)
            notes.push_back(out.path + ": older frames " +
                            framePath(out.pat, int(out.framesWritten)) + " .. " +
                            framePath(out.pat, int(highest)) + " were left as they were");
        return true;
    }
    if (out.inPlace) {
        const bool ok = std::fflush(out.fp) == 0 && !std::ferror(out.fp);
        const int why = errno;
        if (out.fp != stdout)
            std::fclose(out.fp);
        out.fp = nullptr;
        if (!ok)
            err = out.path + ": write failed: " + std::strerror(why);
        return ok;
    }
    out.fp = nullptr;
    return commitTemp(out.temp, err);
}

void abandonOutput(OutputClip &out)
{
    abandonMediaWriter(out.media);
    for (TempFile &t : out.frameTemps)
        discardTemp(t);
    out.frameTemps.clear();
    if (out.inPlace && out.fp && out.fp != stdout)
        std::fclose(out.fp);
    else if (out.inPlace && out.fp)
        std::fflush(out.fp);
    out.fp = nullptr;
    discardTemp(out.temp);
}

} // namespace vxh
