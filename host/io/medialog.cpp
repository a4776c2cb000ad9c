// The media libraries' messages: kept rather than printed, and added to
// the error a run reports.
#include "host/io/medialog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace vxh {

namespace {

// The libraries' last error message, added to ours; they print nothing.
char lastLibraryMessage[256];

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
    if (!text.empty())
        snprintf(lastLibraryMessage, sizeof lastLibraryMessage, "%s", text.c_str());
}

} // namespace

void quietMediaLibraries()
{
    lastLibraryMessage[0] = 0;
    av_log_set_callback(keepLibraryMessage);
}

std::string describeMediaError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    std::string s = text;
    if (lastLibraryMessage[0])
        s += std::string(" (") + lastLibraryMessage + ")";
    lastLibraryMessage[0] = 0;
    return s;
}

} // namespace vxh
