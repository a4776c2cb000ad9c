#include "host/io/output.h"

#include <cerrno>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "host/io/media.h"
#include "host/io/png.h"
#include "host/io/y4m.h"

namespace vxh {

namespace {

void abandon(OutputHandles &out)
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

} // namespace

OutputHandles::OutputHandles(OutputHandles &&other) noexcept
    : fp(std::exchange(other.fp, nullptr)), inPlace(other.inPlace), temp(std::move(other.temp)),
      frameTemps(std::move(other.frameTemps)), media(std::exchange(other.media, nullptr))
{
    other.frameTemps.clear();
}

OutputHandles &OutputHandles::operator=(OutputHandles &&other) noexcept
{
    if (this != &other) {
        abandon(*this);
        fp = std::exchange(other.fp, nullptr);
        inPlace = other.inPlace;
        temp = std::move(other.temp);
        frameTemps = std::move(other.frameTemps);
        other.frameTemps.clear();
        media = std::exchange(other.media, nullptr);
    }
    return *this;
}

OutputHandles::~OutputHandles()
{
    abandon(*this);
}

bool isMediaOutputName(const std::string &path)
{
    const bool y4m = path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".y4m") == 0;
    return !y4m && path.find('%') == std::string::npos && mediaWritesName(path);
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
        err = path + ": unknown output type (use a .y4m name, a media file such as .mp4, .mov, "
                     ".mkv or .avi, - for standard output, or a PNG pattern such as "
                     "out_%04d.png)";
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
        out.readerGone = errno == EPIPE;
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
    return writePackedFrame(out, out.planes.data(), out.planes.size(), err);
}

bool writesPackedFrames(const OutputClip &out, PixFmt fmt)
{
    return !out.media && !out.pattern && out.fmt == fmt;
}

bool writePackedFrame(OutputClip &out, const uint8_t *planes, size_t bytes, std::string &err)
{
    if (!putBytes(out.fp, "FRAME\n", 6) || !putBytes(out.fp, planes, bytes)) {
        out.readerGone = errno == EPIPE;
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
        out.readerGone = !ok && why == EPIPE;
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
    abandon(out);
}

} // namespace vxh
