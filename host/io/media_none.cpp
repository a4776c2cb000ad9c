// Media files in a vxhost built without FFmpeg's libraries: refused with a
// message naming the packages that add them.
#include "host/io/media.h"

#include <strings.h>

namespace vxh {

namespace {

const char kPackages[] =
    "libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev";

} // namespace

struct MediaReader {};
struct MediaWriter {};

bool mediaBuilt()
{
    return false;
}

bool mediaWritesName(const std::string &path)
{
    // The names that get the message below rather than "unknown output type".
    for (const char *ext : {".mp4", ".mov", ".mkv", ".avi"})
        if (path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ext) == 0)
            return true;
    return false;
}

bool mediaHasAudio(const std::string &)
{
    return false;
}

void setMediaAudioLevels(MediaWriter *, std::vector<int>) {}

bool openMediaReader(const std::string &path, int64_t, MediaReader *&, Clip &, long &,
                     std::vector<std::string> &, std::string &err)
{
    err = path +
          ": not a YUV4MPEG2 or PNG file; this vxhost was built without FFmpeg's libraries, so it "
          "reads no "
          "other media (install " +
          std::string(kPackages) + " and build again)";
    return false;
}

bool openMediaReaderMemory(const uint8_t *, size_t, const std::string &name, int64_t,
                           MediaReader *&, Clip &, long &, std::vector<std::string> &,
                           std::string &err)
{
    err = name +
          ": this vxhost was built without FFmpeg's libraries, so it reads no media (install " +
          std::string(kPackages) + " and build again)";
    return false;
}

bool readMediaFrame(MediaReader *, long, std::vector<uint32_t> &, std::string &err)
{
    err = "no media support";
    return false;
}

void closeMediaReader(MediaReader *&reader)
{
    reader = nullptr;
}

bool openMediaWriter(const std::string &path, const Clip &, const MediaSettings &, MediaWriter *&,
                     std::vector<std::string> &, std::string &err)
{
    err = path +
          ": this vxhost was built without FFmpeg's libraries, so it writes no .mp4, .mov, .mkv or "
          ".avi "
          "(install " +
          std::string(kPackages) + " and build again, or write .y4m)";
    return false;
}

bool writeMediaFrame(MediaWriter *, const uint32_t *, std::string &err)
{
    err = "no media support";
    return false;
}

bool finishMediaWriter(MediaWriter *&, std::string &err)
{
    err = "no media support";
    return false;
}

void abandonMediaWriter(MediaWriter *&writer)
{
    writer = nullptr;
}

} // namespace vxh
