// The media libraries' messages: kept rather than printed, and added to
// the error a run reports.
#include "host/io/medialog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace vxh {

namespace {

// The libraries' last error message, added to ours; they print nothing.
// The libraries log from their own threads and from ours (reading,
// rendering and writing run apart): the messages are kept under a lock.
std::mutex messagesLock;
char lastLibraryMessage[256];
// A demuxer's last error message and its context, kept apart: a demuxer may
// log a cut-off file and then report a plain end.
char lastDemuxerMessage[256];
const void *lastDemuxer = nullptr;

void keepLibraryMessage(void *avcl, int level, const char *fmt, va_list vl)
{
    if (level > AV_LOG_ERROR)
        return;
    int prefix = 1;
    char line[sizeof lastLibraryMessage];
    av_log_format_line(avcl, level, fmt, vl, line, sizeof line, &prefix);
    size_t n = strlen(line);
    while (n && (line[n - 1] == '\n' || line[n - 1] == ' '))
        line[--n] = 0;
    // "[h264 @ 0x55d0...] text" becomes "h264: text".
    std::string text(line, n);
    if (const size_t at = text.find(" @ 0x"); text[0] == '[' && at != std::string::npos) {
        const size_t close = text.find("] ", at);
        if (close != std::string::npos)
            text = text.substr(1, at - 1) + ": " + text.substr(close + 2);
    }
    if (text.empty())
        return;
    std::lock_guard<std::mutex> held(messagesLock);
    snprintf(lastLibraryMessage, sizeof lastLibraryMessage, "%s", text.c_str());
    const AVClass *kind = avcl ? *(const AVClass **)avcl : nullptr;
    if (kind && kind->get_category && kind->get_category(avcl) == AV_CLASS_CATEGORY_DEMUXER) {
        snprintf(lastDemuxerMessage, sizeof lastDemuxerMessage, "%s", text.c_str());
        lastDemuxer = avcl;
    }
}

} // namespace

void quietMediaLibraries()
{
    std::lock_guard<std::mutex> held(messagesLock);
    lastLibraryMessage[0] = 0;
    lastDemuxerMessage[0] = 0;
    lastDemuxer = nullptr;
    av_log_set_callback(keepLibraryMessage);
}

bool demuxerLoggedError(const void *demuxer, std::string &text)
{
    std::lock_guard<std::mutex> held(messagesLock);
    if (!lastDemuxerMessage[0] || lastDemuxer != demuxer)
        return false;
    text = lastDemuxerMessage;
    return true;
}

std::string describeMediaError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    std::string s = text;
    std::lock_guard<std::mutex> held(messagesLock);
    if (lastLibraryMessage[0])
        s += std::string(" (") + lastLibraryMessage + ")";
    lastLibraryMessage[0] = 0;
    return s;
}

} // namespace vxh
