// Host journal library: one line per message, appended to
// $VXHOME/log/journal, and shown to the running host's observer.
#include "operator/host/vxjournal.h"
#include "platform/services.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "operator/host/export.h"

static FILE *openJournal(void)
{
    const char *home = getenv("VXHOME");
    if (!home || !*home)
        return nullptr;
    char path[4096];
    int n = snprintf(path, sizeof path, "%s/log", home);
    if (n <= 0 || (size_t)n >= sizeof path - 16)
        return nullptr;
    if (mkdir(path, 0777) != 0 && errno != EEXIST)
        return nullptr;
    strcat(path, "/journal");
    // Never wait on a FIFO or device put in the journal's place.
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st;
    FILE *journal = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        journal = fdopen(fd, "a");
    if (!journal)
        close(fd);
    return journal;
}

VX_EXPORT void loggerMessage(int level, int line, const char *source, uint32_t moduleCode,
                             const char *format, ...)
{
    char text[512] = "";
    if (format) {
        va_list args;
        va_start(args, format);
        vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    char entry[1024];
    snprintf(entry, sizeof entry, "level=%d source=%s line=%d module=0x%08X text=\"%s\"", level,
             source ? source : "?", line, (unsigned)moduleCode, text);

    FILE *journal = openJournal();
    if (journal) {
        fprintf(journal, "%s\n", entry);
        fclose(journal);
    } else {
        fprintf(stderr, "journal: %s\n", entry);
    }
    const VxHostServices *s = vxHostServices();
    if (s->journal)
        s->journal(s->host, entry);
}
