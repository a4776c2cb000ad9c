// Contact sheets: a quick visual overview of one or more clips in one PNG.
#include "host/io/contact.h"

#include "host/core/pixels.h"
#include "host/io/png.h"

#include <algorithm>

namespace vxh {

namespace {

constexpr int kShrink = 4;
constexpr int kPercents[5] = {0, 25, 50, 75, 100};

// Box filter: each thumbnail pixel is the rounded mean of the (up to) 4x4 source
// pixels it covers, per Y/U/V channel. Alpha is dropped so the sheet is opaque.
void shrinkInto(const uint32_t *src, int w, int h, uint32_t *dst, int dstStride)
{
    const int tw = (w + kShrink - 1) / kShrink, th = (h + kShrink - 1) / kShrink;
    for (int ty = 0; ty < th; ++ty) {
        const int y0 = ty * kShrink, y1 = std::min(y0 + kShrink, h);
        for (int tx = 0; tx < tw; ++tx) {
            const int x0 = tx * kShrink, x1 = std::min(x0 + kShrink, w);
            uint32_t sy = 0, su = 0, sv = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    const uint32_t p = src[size_t(y) * size_t(w) + size_t(x)];
                    sy += pixY(p);
                    su += pixU(p);
                    sv += pixV(p);
                }
            const uint32_t n = uint32_t((x1 - x0) * (y1 - y0)), r = n / 2;
            dst[size_t(ty) * size_t(dstStride) + size_t(tx)] =
                packYuva(uint8_t((sy + r) / n), uint8_t((su + r) / n), uint8_t((sv + r) / n), 255);
        }
    }
}

} // namespace

bool writeContactSheet(const std::string &path, const std::vector<const Clip *> &rows,
                       std::string &err)
{
    if (rows.empty()) {
        err = path + ": no clips for the contact sheet";
        return false;
    }
    int64_t sheetW = 1, sheetH = kContactGap;
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string why;
        if (!rows[r])
            why = "clip is missing";
        else
            validateClip(*rows[r], why);
        if (!why.empty()) {
            err = path + ": contact sheet row " + std::to_string(r) + ": " + why;
            return false;
        }
        const int64_t tw = (rows[r]->width + kShrink - 1) / kShrink,
                      th = (rows[r]->height + kShrink - 1) / kShrink;
        sheetW = std::max(sheetW, kContactGap + 5 * (tw + kContactGap));
        sheetH += th + kContactGap;
    }
    if (sheetH > 1000000) {
        err = path + ": too many rows for one contact sheet";
        return false;
    }

    const uint32_t grey = rgbaToYuva(128, 128, 128, 255);
    std::vector<uint32_t> sheet(size_t(sheetW) * size_t(sheetH), grey);
    int y = kContactGap;
    for (const Clip *c : rows) {
        const size_t n = c->frames.size();
        for (int i = 0; i < 5; ++i) {
            const size_t index = (n - 1) * size_t(kPercents[i]) / 100;
            const int x = kContactGap + i * ((c->width + kShrink - 1) / kShrink + kContactGap);
            shrinkInto(c->frames[index].data(), c->width, c->height,
                       sheet.data() + size_t(y) * size_t(sheetW) + size_t(x), int(sheetW));
        }
        y += (c->height + kShrink - 1) / kShrink + kContactGap;
    }
    return writePng(path, int(sheetW), int(sheetH), sheet.data(), err);
}

} // namespace vxh
