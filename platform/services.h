// The one interface through which a running host (vxhost, or a test's own
// host) serves the host libraries. The libraries are thin shims: each call
// goes to the installed table; a missing entry answers as a host with
// nothing to give would (null image, no name, request not shown).
#ifndef VX_SERVICES_H
#define VX_SERVICES_H

#include "operator/host/records.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VxHostServices {
    void *host; /* passed back to every entry */

    HostImage *(*getField)(void *host, int input, uint32_t field);
    int (*putField)(void *host, HostImage *image);
    HostImage *(*allocImage)(void *host, int a, int b, int c, int d);
    void (*freeImage)(void *host, HostImage *image);
    int (*chkAbort)(void *host);
    int (*preview)(void *host, int mode);
    const char *(*customPrefsName)(void *host, uint32_t instance, const char *dir);
    int (*changeGadget)(void *host, int index, int value);

    int (*textRequest)(void *host, TextRequest *request);
    int (*fileRequest)(void *host, FileRequest *request);
    int (*archivesRequest)(void *host, ArchivesRequest *request);
    int (*openMeter)(void *host, void *meter);
    int (*updateMeter)(void *host, void *meter, int what, int step);
    int (*closeMeter)(void *host, void *meter);
    int (*createRequest)(void *host, void *request);
    int (*deleteRequest)(void *host, void *request);

    /* Observer of journal lines (the line as written, without newline). */
    void (*journal)(void *host, const char *line);
} VxHostServices;

/* Installs the table (copied); null uninstalls. Exported by libvxcore. */
void vxInstallHostServices(const VxHostServices *services);
/* The installed table; never null (an empty table when none is installed). */
const VxHostServices *vxHostServices(void);

#ifdef __cplusplus
}
#endif

#endif
