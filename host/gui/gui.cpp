// The GUI entries of the host services: the screen of the running host
// serves libvxgui, libvxmsgq and the request and meter calls of libvxreq.
#include "host/gui/gui.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "operator/host/vxres.h"

namespace vxh {

namespace {

// The host record the entries are given, and its gui layer's record.
GuiHost &guiOf(void *host)
{
    return *static_cast<GuiHost *>(static_cast<Host *>(host)->gui);
}

// The host's screen, painted with the background on first use.
Screen &screenOf(void *host)
{
    Screen &s = guiOf(host).screen;
    if (s.rgb.empty() && !initScreen(s, s.width, s.height))
        initScreen(s, 1024, 768);
    return s;
}

int metric(void *h, int which, int)
{
    const Screen &s = screenOf(h);
    switch (which) {
    case VG_METRIC_SCREEN_WIDTH:
        return s.width;
    case VG_METRIC_SCREEN_HEIGHT:
        return s.height;
    case VG_METRIC_GUI_MODE:
        return s.guiMode;
    case VG_METRIC_VIDEO_MODE:
        return s.videoMode;
    case VG_METRIC_DEFAULT_MONITOR:
        return s.defaultMonitor;
    case VG_METRIC_FONT_HEIGHT_MONITOR:
    case VG_METRIC_FONT_HEIGHT:
        return kFontHeight;
    case VG_METRIC_ADD_HEIGHT:
        return kAddHeight;
    default:
        return 0;
    }
}

void visibleArea(void *h, int16_t *left, int16_t *top, int16_t *right, int16_t *bottom)
{
    const Screen &s = screenOf(h);
    if (left)
        *left = 0;
    if (top)
        *top = 0;
    if (right)
        *right = static_cast<int16_t>(s.width - 1);
    if (bottom)
        *bottom = static_cast<int16_t>(s.height - 1);
}

// The host's own images (45, 46, 50, 51) live in one table for the
// lifetime of the process.
void *guiResource(void *, int)
{
    static void *table = resLoadImages("vxhost_gui");
    return table;
}

void pointer(void *h, int busy)
{
    screenOf(h).busy = busy != 0;
}

int32_t createPanel(void *h, uint32_t, int x, int y, int w, int hgt, uint32_t flags)
{
    Screen &s = screenOf(h);
    if (w <= 0 || hgt <= 0)
        return -1;
    Panel p{s.nextHandle++, x, y, w, hgt, flags, false};
    s.panels.push_back(p);
    drawPanel(s, p);
    return p.handle;
}

void removePanel(void *h, uint32_t, int32_t handle)
{
    for (Panel &p : screenOf(h).panels)
        if (p.handle == handle)
            p.removed = true;
}

int32_t gadget(void *h, uint32_t, const VxGadgetInfo *info)
{
    return info ? addGadget(screenOf(h), *info) : -1;
}

int change(void *h, uint32_t, int32_t g, int attribute, int32_t value, int redraw)
{
    return changeGadget(screenOf(h), g, attribute, value, redraw);
}

void enable(void *h, uint32_t, int32_t g, int on)
{
    enableGadget(screenOf(h), g, on != 0);
}

void framesTime(void *, int32_t value, char *buffer, int32_t size)
{
    formatFramesTime(value, buffer, size);
}

// Fills in a background colour without changing the drawing colour.
void background(void *h, uint32_t, int x0, int y0, int x1, int y1, int mode)
{
    Screen &s = screenOf(h);
    const uint8_t keep[3] = {s.colour[0], s.colour[1], s.colour[2]};
    setColourYuva(s, backgroundColour(s, mode));
    fillRect(s, x0, y0, x1, y1);
    setColourRgb(s, keep[0], keep[1], keep[2]);
}

uint32_t guiColor(void *, int palette, int n)
{
    return paletteColour(palette, n);
}
void setColor(void *h, uint32_t, uint32_t colour)
{
    setColourYuva(screenOf(h), colour);
}
void setPixel(void *h, uint32_t, int x, int y)
{
    putPixel(screenOf(h), x, y);
}
void line(void *h, uint32_t, int x0, int y0, int x1, int y1)
{
    drawLine(screenOf(h), x0, y0, x1, y1);
}
void rectFill(void *h, uint32_t, int x0, int y0, int x1, int y1)
{
    fillRect(screenOf(h), x0, y0, x1, y1);
}

// An outline in the GUI colour `mode` of the screen's palette.
void drawBox(void *h, uint32_t, int x0, int y0, int x1, int y1, int mode)
{
    Screen &s = screenOf(h);
    const uint8_t keep[3] = {s.colour[0], s.colour[1], s.colour[2]};
    setColourYuva(s, paletteColour(s.guiMode == 3 ? 1 : 0, mode));
    drawFrame(s, x0, y0, x1, y1);
    setColourRgb(s, keep[0], keep[1], keep[2]);
}

void boxText(void *h, uint32_t, const char *text, int x, int y, int w, int hgt, uint32_t flags)
{
    if (text)
        drawBoxText(screenOf(h), text, x, y, w, hgt, flags);
}

void writeResImage(void *h, uint32_t, void *image, int x, int y)
{
    drawImage(screenOf(h), static_cast<const VxResImage *>(image), x, y);
}

void yuvaToScreen(void *h, const uint32_t *pixels, int bytesPerRow, int x, int y, int w, int hgt)
{
    drawYuva(screenOf(h), pixels, bytesPerRow, x, y, w, hgt);
}

int receive(void *h, EditorMessage *message, int timeout)
{
    return message ? receiveMessage(screenOf(h), *message, timeout) : -1;
}

uint32_t queue(void *h, int count, int size)
{
    return createQueue(screenOf(h), count, size);
}

int request(void *h, void *record)
{
    return openRequest(screenOf(h), static_cast<RequestRecord *>(record));
}

int unrequest(void *h, void *record)
{
    return closeRequest(screenOf(h), static_cast<RequestRecord *>(record));
}

int meterOpen(void *h, void *meter)
{
    guiOf(h).host.requests.push_back("meter:open");
    openMeter(screenOf(h), static_cast<const MeterRecord *>(meter));
    return 0;
}

int meterUpdate(void *h, void *, int, int step)
{
    updateMeter(screenOf(h), step);
    return 0;
}

int meterClose(void *h, void *)
{
    guiOf(h).host.requests.push_back("meter:close");
    closeMeter(screenOf(h));
    return 0;
}

void drawMeter(Screen &s)
{
    Meter &m = s.meter;
    const int palette = s.guiMode == 3 ? 1 : 0;
    setColourYuva(s, paletteColour(palette, 1));
    fillRect(s, m.x, m.y, m.x + m.w - 1, m.y + m.h - 1);
    drawBevel(s, m.x, m.y, m.w, m.h, false);
    setColourYuva(s, paletteColour(palette, 5));
    drawBoxText(s, m.title, m.x + 10, m.y + 8, m.w - 20, kFontHeight + 4, 0x08);
    const int bx = m.x + 10, by = m.y + 36, bw = m.w - 20, bh = 16;
    setColourYuva(s, paletteColour(palette, 11));
    fillRect(s, bx, by, bx + bw - 1, by + bh - 1);
    const int done = m.steps > 0
                         ? static_cast<int>(static_cast<int64_t>(std::clamp(m.done, 0, m.steps)) *
                                            (bw - 4) / m.steps)
                         : 0;
    setColourYuva(s, paletteColour(palette, 6));
    if (done > 0)
        fillRect(s, bx + 2, by + 2, bx + 1 + done, by + bh - 3);
    drawBevel(s, bx, by, bw, bh, true);
}

void meterLine(const Screen &s)
{
    if (s.present)
        s.present();
    if (s.meterOnStderr)
        fprintf(stderr, "vxhost: %s: %d of %d\n", s.meter.title.c_str(), s.meter.done,
                s.meter.steps);
}

} // namespace

uint32_t createQueue(Screen &s, int count, int size)
{
    if (count < 1 || count > 1000 || size < static_cast<int>(sizeof(EditorMessage)))
        return 0;
    const uint32_t handle = s.nextQueue++;
    s.queues[handle] = count;
    return handle;
}

int openRequest(Screen &s, RequestRecord *record)
{
    if (!record || s.request || !s.queues.count(record->messageQueue))
        return -1;
    record->handle = s.nextRequest++;
    s.request = record->handle;
    s.requestQueue = record->messageQueue;
    s.messages.clear();
    s.active = s.focus = -1;
    s.dragged[0] = s.dragged[1] = false;
    return 0;
}

int closeRequest(Screen &s, RequestRecord *record)
{
    if (!record || !s.request || record->handle != s.request)
        return -1;
    s.popup = PopupMenu{};
    for (Gadget &g : s.gadgets)
        g.removed = true;
    s.request = 0;
    s.messages.clear();
    s.active = s.focus = -1;
    return 0;
}

void openMeter(Screen &s, const MeterRecord *meter)
{
    if (s.meter.open)
        closeMeter(s);
    Meter &m = s.meter;
    m.open = true;
    m.title = meter && meter->title ? meter->title : "";
    m.steps = meter ? static_cast<int>(std::min<uint32_t>(meter->steps, INT32_MAX)) : 0;
    m.done = 0;
    m.w = std::min(360, s.width);
    m.h = 62;
    m.x = (s.width - m.w) / 2;
    m.y = (s.height - m.h) / 2;
    m.under = saveArea(s, m.x, m.y, m.w, m.h);
    const uint8_t keep[3] = {s.colour[0], s.colour[1], s.colour[2]};
    drawMeter(s);
    setColourRgb(s, keep[0], keep[1], keep[2]);
    meterLine(s);
}

void updateMeter(Screen &s, int step)
{
    if (!s.meter.open)
        return;
    s.meter.done = step;
    const uint8_t keep[3] = {s.colour[0], s.colour[1], s.colour[2]};
    drawMeter(s);
    setColourRgb(s, keep[0], keep[1], keep[2]);
    meterLine(s);
}

void closeMeter(Screen &s)
{
    if (!s.meter.open)
        return;
    restoreArea(s, s.meter.under, s.meter.x, s.meter.y, s.meter.w, s.meter.h);
    s.meter = Meter{};
}

void formatFramesTime(int32_t value, char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return;
    const int64_t f = value < 0 ? -static_cast<int64_t>(value) : value;
    snprintf(buffer, static_cast<size_t>(size), "%" PRId32 " (%s%" PRId64 ":%02d:%02d:%02d)", value,
             value < 0 ? "-" : "", f / 90000, static_cast<int>(f / 1500 % 60),
             static_cast<int>(f / 25 % 60), static_cast<int>(f % 25));
}

std::string layoutJson(const Screen &s)
{
    static const char *kinds[] = {"image-button", "text-button", "popup", "check-box", "slider"};
    std::string out = "{\n  \"screen\": {\"width\": " + std::to_string(s.width) +
                      ", \"height\": " + std::to_string(s.height) + "},\n  \"panels\": [";
    char buf[512];
    for (size_t i = 0; i < s.panels.size(); ++i) {
        const Panel &p = s.panels[i];
        snprintf(buf, sizeof buf,
                 "%s\n    {\"handle\": %d, \"kind\": \"%s\", \"x\": %d, \"y\": %d, \"w\": %d, "
                 "\"h\": %d, "
                 "\"flags\": %u}",
                 i ? "," : "", p.handle, p.flags & 0x400 ? "picture-frame" : "group-box", p.x, p.y,
                 p.w, p.h, p.flags);
        out += buf;
    }
    out += "\n  ],\n  \"gadgets\": [";
    for (size_t i = 0; i < s.gadgets.size(); ++i) {
        const Gadget &g = s.gadgets[i];
        std::string name = "null";
        if (g.imageId >= 0)
            name = std::string("\"") + (g.imageTable ? "host:" : "img:") +
                   std::to_string(g.imageId) + "\"";
        else if (g.textId >= 0)
            name = "\"str:" + std::to_string(g.textId) + "\"";
        snprintf(
            buf, sizeof buf,
            "%s\n    {\"handle\": %d, \"kind\": \"%s\", \"x\": %d, \"y\": %d, \"w\": %d, \"h\": "
            "%d, "
            "\"name\": %s, \"key\": %u, \"flags\": %u, \"group\": %d, \"min\": %d, \"max\": %d, "
            "\"value\": %d, \"enabled\": %s}",
            i ? "," : "", g.handle, kinds[g.kind], g.x, g.y, g.w, g.h, name.c_str(), g.key, g.flags,
            g.group, g.minimum, g.maximum, g.value, g.enabled ? "true" : "false");
        out += buf;
    }
    out += "\n  ]\n}\n";
    return out;
}

VxHostServices guiHostServices(GuiHost &g)
{
    g.host.gui = &g;
    VxHostServices services = hostServices(g.host);
    installGui(services);
    return services;
}

void installGuiHost(GuiHost *g)
{
    if (!g) {
        installHost(nullptr);
        return;
    }
    const VxHostServices services = guiHostServices(*g);
    vxInstallHostServices(&services);
}

void installGui(VxHostServices &services)
{
    VxHostServices &t = services;
    t.guiMetric = metric;
    t.visibleArea = visibleArea;
    t.guiResource = guiResource;
    t.pointer = pointer;
    t.createPanel = createPanel;
    t.removePanel = removePanel;
    t.addGadget = gadget;
    t.changeElement = change;
    t.enableElement = enable;
    t.formatFramesTime = framesTime;
    t.drawBackground = background;
    t.guiColor = guiColor;
    t.setColor = setColor;
    t.setPixel = setPixel;
    t.line = line;
    t.rectFill = rectFill;
    t.drawBox = drawBox;
    t.boxText = boxText;
    t.writeResImage = writeResImage;
    t.yuvaToScreen = yuvaToScreen;
    t.receiveMessage = receive;
    t.createQueue = queue;
    t.createRequest = request;
    t.deleteRequest = unrequest;
    t.openMeter = meterOpen;
    t.updateMeter = meterUpdate;
    t.closeMeter = meterClose;
}

} // namespace vxh
