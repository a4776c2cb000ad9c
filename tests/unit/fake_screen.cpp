#include "tests/unit/fake_screen.h"

#include "platform/services.h"

namespace {

FakeScreen &of(void *host)
{
    return *(FakeScreen *)host;
}

void record(void *host, const char *name, int x0, int y0, int x1, int y1, int mode)
{
    FakeScreen &s = of(host);
    s.calls.push_back({name, x0, y0, x1, y1, mode, s.colour, {}});
}

struct Image {
    HostImage image;
    std::vector<uint32_t> pixels;
};

HostImage *getField(void *host, int input, uint32_t field)
{
    FakeScreen &s = of(host);
    const uint32_t frame = field / 2;
    if (s.missingFrames.count(frame))
        return nullptr;
    // Rows with a margin and offsets, so a copy must honour the stride.
    const int stride = s.fieldWidth + 3;
    Image *image = new Image;
    image->pixels.assign((size_t)stride * (s.fieldHeight + 1), 0xDEADBEEFu);
    for (int y = 0; y < s.fieldHeight; ++y)
        for (int x = 0; x < s.fieldWidth; ++x)
            image->pixels[(size_t)(y + 1) * stride + x + 2] =
                fieldValue(input, frame, y * s.fieldWidth + x);
    image->image = {image->pixels.data(),  (int16_t)stride,       0, 2, 1,
                    (int16_t)s.fieldWidth, (int16_t)s.fieldHeight};
    ++s.liveImages;
    return &image->image;
}

void freeImage(void *host, HostImage *image)
{
    --of(host).liveImages;
    delete (Image *)image; // image is the first member
}

} // namespace

FakeGadget *FakeScreen::gadget(int32_t handle)
{
    for (FakeGadget &g : gadgets)
        if (g.handle == handle)
            return &g;
    return nullptr;
}

std::vector<ScreenCall> FakeScreen::named(const std::string &name) const
{
    std::vector<ScreenCall> out;
    for (const ScreenCall &c : calls)
        if (c.name == name)
            out.push_back(c);
    return out;
}

void installFakeScreen(FakeScreen &screen)
{
    VxHostServices s = *vxHostServices();
    s.host = &screen;
    s.getField = getField;
    s.freeImage = freeImage;
    s.guiColor = [](void *, int palette, int n) { return fakeGuiColour(palette, n); };
    s.setColor = [](void *host, uint32_t, uint32_t colour) { of(host).colour = colour; };
    s.drawBackground = [](void *host, uint32_t, int x0, int y0, int x1, int y1, int mode) {
        record(host, "fill", x0, y0, x1, y1, mode);
    };
    s.line = [](void *host, uint32_t, int x0, int y0, int x1, int y1) {
        record(host, "line", x0, y0, x1, y1, 0);
    };
    s.setPixel = [](void *host, uint32_t, int x, int y) { record(host, "pixel", x, y, x, y, 0); };
    s.rectFill = [](void *host, uint32_t, int x0, int y0, int x1, int y1) {
        record(host, "rect", x0, y0, x1, y1, 0);
    };
    s.drawBox = [](void *host, uint32_t, int x0, int y0, int x1, int y1, int mode) {
        record(host, "box", x0, y0, x1, y1, mode);
    };
    s.yuvaToScreen = [](void *host, const uint32_t *pixels, int bytesPerRow, int x, int y, int w,
                        int h) {
        record(host, "picture", x, y, w, h, bytesPerRow);
        std::vector<uint32_t> &p = of(host).calls.back().pixels;
        for (int r = 0; r < h; ++r)
            p.insert(p.end(), pixels + (size_t)r * bytesPerRow / 4,
                     pixels + (size_t)r * bytesPerRow / 4 + w);
    };
    s.openMeter = [](void *host, void *meter) {
        of(host).meter.push_back("open " + std::to_string(((MeterRecord *)meter)->steps));
        return 0;
    };
    s.updateMeter = [](void *host, void *, int what, int step) {
        of(host).meter.push_back("update " + std::to_string(what) + " " + std::to_string(step));
        return 0;
    };
    s.closeMeter = [](void *host, void *) {
        of(host).meter.push_back("close");
        return 0;
    };
    s.textRequest = [](void *host, TextRequest *request) {
        of(host).texts.push_back(request->text ? request->text : "");
        request->result = (uint32_t)of(host).textAnswer;
        return 0;
    };
    s.allocImage = [](void *host, int, int, int, int) -> HostImage * {
        FakeScreen &f = of(host);
        if (f.noImage)
            return nullptr;
        ++f.liveImages;
        Image *image = new Image;
        image->pixels.assign((size_t)f.fieldWidth * f.fieldHeight, 0);
        image->image = {image->pixels.data(),  (int16_t)f.fieldWidth, 0, 0, 0,
                        (int16_t)f.fieldWidth, (int16_t)f.fieldHeight};
        return &image->image;
    };
    s.guiMetric = [](void *host, int metric, int) {
        FakeScreen &f = of(host);
        switch (metric) {
        case VG_METRIC_SCREEN_WIDTH:
            return f.screenWidth;
        case VG_METRIC_SCREEN_HEIGHT:
            return f.screenHeight;
        case VG_METRIC_GUI_MODE:
            return f.guiMode;
        case VG_METRIC_FONT_HEIGHT_MONITOR:
        case VG_METRIC_FONT_HEIGHT:
            return f.fontHeight;
        case VG_METRIC_ADD_HEIGHT:
            return f.addHeight;
        default:
            return 0;
        }
    };
    s.createPanel = [](void *host, uint32_t, int x, int y, int w, int h, uint32_t flags) {
        of(host).panels.push_back({x, y, w, h, (int)flags});
        return (int32_t)of(host).panels.size();
    };
    s.addGadget = [](void *host, uint32_t, const VxGadgetInfo *g) {
        FakeScreen &f = of(host);
        const int32_t handle = 1000 + (int32_t)f.gadgets.size();
        f.gadgets.push_back({g->kind, g->x, g->y, g->w, g->h, g->minimum, g->maximum, g->value,
                             g->flags, g->text, g->image, handle, 0, true});
        return handle;
    };
    s.changeElement = [](void *host, uint32_t, int32_t gadget, int attribute, int32_t value, int) {
        FakeGadget *g = of(host).gadget(gadget);
        if (g && attribute == 40)
            g->value = value;
        if (g && attribute == 57)
            g->key = value;
        return g ? 0 : -1;
    };
    s.enableElement = [](void *host, uint32_t, int32_t gadget, int enable) {
        if (FakeGadget *g = of(host).gadget(gadget))
            g->enabled = enable != 0;
    };
    s.createQueue = [](void *host, int, int) { return of(host).noQueue ? 0u : 5u; };
    s.createRequest = [](void *, void *request) {
        ((RequestRecord *)request)->handle = 77;
        return 0;
    };
    s.deleteRequest = [](void *host, void *) {
        ++of(host).requestsDeleted;
        return 0;
    };
    s.preview = [](void *host, int) {
        ++of(host).previews;
        return 0;
    };
    s.receiveMessage = [](void *host, EditorMessage *message, int) {
        FakeScreen &f = of(host);
        if (f.nextStep > f.script.size())
            return -1;
        if (f.nextStep == f.script.size()) {
            ++f.nextStep;
            *message = EditorMessage{};
            message->type = EDITOR_MSG_CLOSE;
            return 0;
        }
        const ScriptStep &step = f.script[f.nextStep++];
        *message = step.fill(*f.editor, step);
        return 0;
    };
    vxInstallHostServices(&s);
}
