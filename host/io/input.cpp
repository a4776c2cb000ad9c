#include "host/io/input.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "host/io/media.h"
#include "host/io/pattern.h"
#include "host/io/pipestream.h"
#include "host/io/png.h"
#include "host/io/samples.h"
#include "host/io/y4m.h"

namespace vxh {

namespace fs = std::filesystem;

InputHandles::InputHandles(InputHandles &&other) noexcept
    : fp(std::exchange(other.fp, nullptr)), ownsFp(std::exchange(other.ownsFp, false)),
      spool(std::exchange(other.spool, nullptr)), media(std::exchange(other.media, nullptr))
{}

namespace {

void closeHandles(InputHandles &h)
{
    if (h.fp && h.ownsFp)
        std::fclose(h.fp);
    if (h.spool)
        std::fclose(h.spool);
    h.fp = h.spool = nullptr;
    h.ownsFp = false;
    closeMediaReader(h.media);
}

} // namespace

InputHandles &InputHandles::operator=(InputHandles &&other) noexcept
{
    if (this != &other) {
        closeHandles(*this);
        fp = std::exchange(other.fp, nullptr);
        ownsFp = std::exchange(other.ownsFp, false);
        spool = std::exchange(other.spool, nullptr);
        media = std::exchange(other.media, nullptr);
    }
    return *this;
}

InputHandles::~InputHandles()
{
    closeHandles(*this);
}

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
        // A pipe or terminal is read through a pipe stream, so that an
        // interruption ends a read that waits; a file is read (and indexed)
        // as it is.
        struct stat st;
        if (fstat(0, &st) == 0 && !S_ISREG(st.st_mode)) {
            std::FILE *fp = openPipeStream(0, false);
            if (!fp) {
                err = in.name + ": cannot open: " + std::strerror(errno);
                return false;
            }
            return openY4m(in.name, fp, true, maxPixels, in, err);
        }
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
    std::FILE *fp = S_ISFIFO(st.st_mode) ? openPipeStream(fd, true) : fdopen(fd, "rb");
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
    closeHandles(in);
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

namespace {

// Spools a pipe as far as frame k and brings k into the clip (past the end:
// its last frame); false with a message.
bool locateFrame(InputClip &in, long &k, std::string &err)
{
    if (k < 0)
        k = 0;
    while (k >= in.knownFrames && !in.complete)
        if (!spoolNextFrame(in, err) && !err.empty())
            return false;
    if (in.knownFrames == 0) {
        err = in.name + ": contains no frames";
        return false;
    }
    if (k >= in.knownFrames)
        k = in.knownFrames - 1;
    return true;
}

} // namespace

const uint32_t *frameAt(InputClip &in, long k, std::string &err)
{
    if (!locateFrame(in, k, err))
        return nullptr;
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

bool readFrame(InputClip &in, long k, std::vector<uint32_t> &out, bool &repeated, std::string &err)
{
    const long asked = k < 0 ? 0 : k;
    if (!locateFrame(in, k, err))
        return false;
    repeated = asked > k;
    if (in.kind == InputKind::Still) {
        out = in.cached[0];
        return true;
    }
    return decodeFrame(in, k, out, err);
}

} // namespace vxh
