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
    vxInstallHostServices(&s);
}
