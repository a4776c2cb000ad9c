// Host GUI library: forwards to the host serving the calling thread. A host without a screen
// answers as an empty one: metrics 0, no panels or gadgets (handle -1), no
// messages (-1), drawing does nothing.
#include "operator/host/vxgui.h"
#include "operator/host/export.h"
#include "platform/services.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Tests make the Nth allocation of the calling thread fail: calls left
// before it, -1 none armed, -2 it has failed. In the static TLS block, so
// that a plug-in unloaded with dlclose leaves no dynamic TLS slot behind.
thread_local long allocationsLeft __attribute__((tls_model("initial-exec"))) = -1;

const VxHostServices *hs()
{
    return vxHostServices();
}

int metric(int which, int argument = 0)
{
    return hs()->guiMetric ? hs()->guiMetric(hs()->host, which, argument) : 0;
}

int32_t addGadget(uint32_t request, const VxGadgetInfo &info)
{
    return hs()->addGadget ? hs()->addGadget(hs()->host, request, &info) : -1;
}

} // namespace

#define CALL(entry, ...)                                                                           \
    do {                                                                                           \
        if (hs()->entry)                                                                           \
            hs()->entry(hs()->host, __VA_ARGS__);                                                  \
    } while (0)

VX_EXPORT int vgGetScreenWidth(void)
{
    return metric(VG_METRIC_SCREEN_WIDTH);
}
VX_EXPORT int vgGetScreenHeight(void)
{
    return metric(VG_METRIC_SCREEN_HEIGHT);
}
VX_EXPORT int vgGetGuiMode(void)
{
    return metric(VG_METRIC_GUI_MODE);
}
VX_EXPORT int vgGetVideoMode(void)
{
    return metric(VG_METRIC_VIDEO_MODE);
}
VX_EXPORT int vgGetDefaultMonitor(void)
{
    return metric(VG_METRIC_DEFAULT_MONITOR);
}
VX_EXPORT int vgGetFontHeightMonitor(int monitor)
{
    return metric(VG_METRIC_FONT_HEIGHT_MONITOR, monitor);
}
VX_EXPORT int vgGetFontHeight(void)
{
    return metric(VG_METRIC_FONT_HEIGHT);
}
VX_EXPORT int vgGetAddHeight(void)
{
    return metric(VG_METRIC_ADD_HEIGHT);
}

VX_EXPORT void vgGetVisibleArea(int16_t *left, int16_t *top, int16_t *right, int16_t *bottom)
{
    if (hs()->visibleArea) {
        hs()->visibleArea(hs()->host, left, top, right, bottom);
        return;
    }
    *left = *top = 0;
    *right = static_cast<int16_t>(metric(VG_METRIC_SCREEN_WIDTH) - 1);
    *bottom = static_cast<int16_t>(metric(VG_METRIC_SCREEN_HEIGHT) - 1);
}

VX_EXPORT void *vgGetGuiResource(int id, int, int)
{
    return hs()->guiResource ? hs()->guiResource(hs()->host, id) : nullptr;
}
VX_EXPORT void vgBusyPointer(void)
{
    CALL(pointer, 1);
}
VX_EXPORT void vgStandardPointer(void)
{
    CALL(pointer, 0);
}

VX_EXPORT int32_t vgCreatePanel(uint32_t request, int x, int y, int w, int h, uint32_t flags, int,
                                int)
{
    return hs()->createPanel ? hs()->createPanel(hs()->host, request, x, y, w, h, flags) : -1;
}
VX_EXPORT void vgRemovePanel(uint32_t request, int32_t panel)
{
    CALL(removePanel, request, panel);
}

VX_EXPORT GadgetExtension *vgAllocGadExt(void)
{
    if (allocationsLeft >= 0 && allocationsLeft-- == 0) {
        allocationsLeft = -2;
        return nullptr;
    }
    return static_cast<GadgetExtension *>(calloc(1, sizeof(GadgetExtension)));
}
VX_EXPORT void vgFreeGadExt(GadgetExtension *extension)
{
    free(extension);
}

VX_EXPORT void vxFailGuiAllocationAfter(long count)
{
    allocationsLeft = count < 0 ? -1 : count;
}

VX_EXPORT int vxGuiAllocationFailed(void)
{
    return allocationsLeft == -2;
}

VX_EXPORT int32_t vgAddImageButton(uint32_t request, int x, int y, int w, int h, void *image,
                                   uint32_t flags, GadgetExtension *extension)
{
    VxGadgetInfo s{};
    s.kind = VG_GADGET_IMAGE_BUTTON;
    s.x = x, s.y = y, s.w = w, s.h = h;
    s.image = image;
    s.flags = flags;
    s.value = flags & 1;
    s.extension = extension;
    return addGadget(request, s);
}

VX_EXPORT int32_t vgAddTextButton(uint32_t request, int x, int y, int w, int h, const char *text,
                                  int, int)
{
    VxGadgetInfo s{};
    s.kind = VG_GADGET_TEXT_BUTTON;
    s.x = x, s.y = y, s.w = w, s.h = h;
    s.text = text;
    return addGadget(request, s);
}

VX_EXPORT int32_t vgAddPopup(uint32_t request, int x, int y, int w, int h, ListHeader *list,
                             int32_t value, int, int, int)
{
    VxGadgetInfo s{};
    s.kind = VG_GADGET_POPUP;
    s.x = x, s.y = y, s.w = w, s.h = h;
    s.list = list;
    s.value = value;
    return addGadget(request, s);
}

VX_EXPORT int32_t vgAddCheckBox(uint32_t request, int x, int y, int w, int h, int32_t value, int,
                                GadgetExtension *extension)
{
    VxGadgetInfo s{};
    s.kind = VG_GADGET_CHECK_BOX;
    s.x = x, s.y = y, s.w = w, s.h = h;
    s.value = value;
    s.extension = extension;
    return addGadget(request, s);
}

VX_EXPORT int32_t vgAddSlider(uint32_t request, int x, int y, int w, int h, int32_t minimum,
                              int32_t maximum, int32_t value, int, const char *label,
                              uint32_t flags, GadgetExtension *extension)
{
    VxGadgetInfo s{};
    s.kind = VG_GADGET_SLIDER;
    s.x = x, s.y = y, s.w = w, s.h = h;
    s.minimum = minimum, s.maximum = maximum, s.value = value;
    s.text = label;
    s.flags = flags;
    s.extension = extension;
    return addGadget(request, s);
}

VX_EXPORT int vgChangeElement(uint32_t request, int32_t gadget, int attribute, int32_t value,
                              int redraw)
{
    return hs()->changeElement
               ? hs()->changeElement(hs()->host, request, gadget, attribute, value, redraw)
               : -1;
}
VX_EXPORT void vgEnableElement(uint32_t request, int32_t gadget)
{
    CALL(enableElement, request, gadget, 1);
}
VX_EXPORT void vgDisableElement(uint32_t request, int32_t gadget)
{
    CALL(enableElement, request, gadget, 0);
}

VX_EXPORT void vgSliderCallbackFramesTime(int32_t value, char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return;
    if (hs()->formatFramesTime)
        hs()->formatFramesTime(hs()->host, value, buffer, size);
    else
        snprintf(buffer, static_cast<size_t>(size), "%d", static_cast<int>(value));
}

VX_EXPORT void vgDrawBackground(int x0, int y0, int x1, int y1)
{
    CALL(drawBackground, 0u, x0, y0, x1, y1, 0);
}
VX_EXPORT void vgFillBackground(uint32_t request, int x0, int y0, int x1, int y1, int mode, int)
{
    CALL(drawBackground, request, x0, y0, x1, y1, mode);
}
VX_EXPORT uint32_t vgGetGuiColorYUV(int n)
{
    return hs()->guiColor ? hs()->guiColor(hs()->host, 0, n) : 0;
}
VX_EXPORT uint32_t vgGetNewGuiColorYUV(int n)
{
    return hs()->guiColor ? hs()->guiColor(hs()->host, 1, n) : 0;
}
VX_EXPORT void vgSetColorYUV(uint32_t request, uint32_t colour)
{
    CALL(setColor, request, colour);
}
VX_EXPORT void vgSetPixel(uint32_t request, int x, int y)
{
    CALL(setPixel, request, x, y);
}
VX_EXPORT void vgLine(uint32_t request, int x0, int y0, int x1, int y1)
{
    CALL(line, request, x0, y0, x1, y1);
}
VX_EXPORT void vgRectFill(uint32_t request, int x0, int y0, int x1, int y1)
{
    CALL(rectFill, request, x0, y0, x1, y1);
}
VX_EXPORT void vgDrawBox(uint32_t request, int x0, int y0, int x1, int y1, int mode)
{
    CALL(drawBox, request, x0, y0, x1, y1, mode);
}
VX_EXPORT void vgBoxText(uint32_t request, const char *text, int x, int y, int w, int h,
                         uint32_t flags)
{
    CALL(boxText, request, text, x, y, w, h, flags);
}
VX_EXPORT void vgWriteResImage(uint32_t request, void *image, int x, int y)
{
    CALL(writeResImage, request, image, x, y);
}
VX_EXPORT void vgmxYUVAtoOvl(const uint32_t *pixels, int, int bytesPerRow, int x, int y, int w,
                             int h)
{
    CALL(yuvaToScreen, pixels, bytesPerRow, x, y, w, h);
}

VX_EXPORT int vgMsgQReceive(EditorMessage *message, int timeout)
{
    return hs()->receiveMessage && message ? hs()->receiveMessage(hs()->host, message, timeout)
                                           : -1;
}
