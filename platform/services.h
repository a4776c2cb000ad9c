// The one interface through which a running host (vxhost, the frei0r
// adapter, or a test's own host) serves the host libraries. The libraries
// are thin shims: each call goes to the table bound to the calling thread,
// else to the process-wide table; a missing entry answers as a host with
// nothing to give would (null image, no name, request not shown).
#ifndef VX_SERVICES_H
#define VX_SERVICES_H

#include "operator/host/records.h"
#include "operator/host/vxgui.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An image of a resource table (resGetImage): RGBA bytes, alpha 0 is
   transparent. table is 0 for "vorlux_ops", 1 for the host's own images. */
typedef struct VxResImage {
    int32_t id;
    int32_t table;
    int32_t width, height;
    const uint8_t *rgba;
} VxResImage;

/* The id of a text handed out by resGetString of a table still loaded, or
   -1. Exported by libvxres for the host (gadget names in scripts). */
int vxResStringId(const char *text);
/* 1 when image was handed out by resGetImage of a table still loaded. */
int vxResImageLive(const void *image);

/* Tests: the GUI library's own allocations (vgAllocGadExt) of the calling
   thread; the one after count more fails, the rest succeed; -1 never (the
   default). Exported by libvxgui. */
void vxFailGuiAllocationAfter(long count);
/* 1 when the armed allocation has failed since it was armed. */
int vxGuiAllocationFailed(void);

/* Integer metrics the GUI asks the host for. */
enum {
    VG_METRIC_SCREEN_WIDTH,
    VG_METRIC_SCREEN_HEIGHT,
    VG_METRIC_GUI_MODE,
    VG_METRIC_VIDEO_MODE,
    VG_METRIC_DEFAULT_MONITOR,
    VG_METRIC_FONT_HEIGHT_MONITOR, /* argument: monitor */
    VG_METRIC_FONT_HEIGHT,
    VG_METRIC_ADD_HEIGHT
};

/* Gadget kinds and the one record every vgAdd... call fills. */
enum {
    VG_GADGET_IMAGE_BUTTON,
    VG_GADGET_TEXT_BUTTON,
    VG_GADGET_POPUP,
    VG_GADGET_CHECK_BOX,
    VG_GADGET_SLIDER
};

typedef struct VxGadgetInfo {
    int kind; /* VG_GADGET_* */
    int x, y, w, h;
    void *image;      /* image button */
    const char *text; /* text button; slider label */
    ListHeader *list; /* popup entries */
    int32_t minimum, maximum, value;
    uint32_t flags;
    GadgetExtension *extension;
} VxGadgetInfo;

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

    /* ---- GUI: the editor's screen (libvxgui) ---- */
    int (*guiMetric)(void *host, int metric, int argument); /* VG_METRIC_* */
    void (*visibleArea)(void *host, int16_t *left, int16_t *top, int16_t *right, int16_t *bottom);
    void *(*guiResource)(void *host, int id);
    void (*pointer)(void *host, int busy);
    int32_t (*createPanel)(void *host, uint32_t request, int x, int y, int w, int h,
                           uint32_t flags);
    void (*removePanel)(void *host, uint32_t request, int32_t panel);
    int32_t (*addGadget)(void *host, uint32_t request, const VxGadgetInfo *info);
    int (*changeElement)(void *host, uint32_t request, int32_t gadget, int attribute, int32_t value,
                         int redraw);
    void (*enableElement)(void *host, uint32_t request, int32_t gadget, int enable);
    void (*formatFramesTime)(void *host, int32_t value, char *buffer, int32_t size);
    /* Drawing: a null request (0) is the screen itself (vgDrawBackground,
       vgmxYUVAtoOvl). Corners are inclusive. */
    void (*drawBackground)(void *host, uint32_t request, int x0, int y0, int x1, int y1, int mode);
    uint32_t (*guiColor)(void *host, int palette, int n); /* palette 0 classic, 1 new */
    void (*setColor)(void *host, uint32_t request, uint32_t colour);
    void (*setPixel)(void *host, uint32_t request, int x, int y);
    void (*line)(void *host, uint32_t request, int x0, int y0, int x1, int y1);
    void (*rectFill)(void *host, uint32_t request, int x0, int y0, int x1, int y1);
    void (*drawBox)(void *host, uint32_t request, int x0, int y0, int x1, int y1, int mode);
    void (*boxText)(void *host, uint32_t request, const char *text, int x, int y, int w, int h,
                    uint32_t flags);
    void (*writeResImage)(void *host, uint32_t request, void *image, int x, int y);
    void (*yuvaToScreen)(void *host, const uint32_t *pixels, int bytesPerRow, int x, int y, int w,
                         int h);
    int (*receiveMessage)(void *host, EditorMessage *message, int timeout);
    uint32_t (*createQueue)(void *host, int count, int size);
} VxHostServices;

/* Installs the process-wide table (copied); null uninstalls. Exported by
   libvxcore. */
void vxInstallHostServices(const VxHostServices *services);
/* Binds a table to the calling thread (not copied: it must outlive the
   binding); null unbinds. A thread's binding wins over the process-wide
   table, so hosts on different threads serve their own operators at once.
   Returns the thread's previous binding, for nested bindings to restore. */
const VxHostServices *vxBindThreadHostServices(const VxHostServices *services);
/* The table serving the calling thread: its binding, else the process-wide
   table; never null (an empty table when none is installed). */
const VxHostServices *vxHostServices(void);

#ifdef __cplusplus
}
#endif

#endif
