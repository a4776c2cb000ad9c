// The screen's framebuffer: clipped drawing primitives, the GUI palettes,
// the YUVA overlay and resource images, and panels.
#include "host/gui/screen.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "host/core/pixels.h"

namespace vxh {

namespace {

// Palettes as RGB; the GUI hands them out as YUVA. Classic: light grey
// faces; new: dark faces. Entries the editor does not name are filled in
// so that every small number gives a colour.
const uint32_t kClassic[] = {
    0xA8A8A8, // 0 screen background
    0xD6D6D6, // 1 face
    0xC8C8C8, // 2 panel inside
    0xF4F4F4, // 3 highlight
    0x6C6C6C, // 4 shadow
    0x101010, // 5 text
    0x2C5CB8, // 6 selection
    0x181818, // 7 timeline keys
    0x303030, // 8 empty thumbnail slot
    0x404040, // 9 timeline scale
    0x505050, // 10
    0xE8E8E8, // 11 entry face
    0x1A3A78, // 12 title text
    0x1050C0, // 13 frame marker
    0xC02020, // 14 frame marker on a key
    0xFFD040, // 15 accent
    0x000000, // 16 picture frame inside
    0x8A8A8A, // 17 disabled text
    0xFFFFFF, // 18 zoom box
};
const uint32_t kNew[] = {
    0x26282C, // 0 screen background
    0x3C4046, // 1 face
    0x32353A, // 2 panel inside
    0xF0A020, // 3 frame marker
    0x16181B, // 4 shadow
    0xE6E6E6, // 5 text
    0x3C7CE0, // 6 selection
    0x5A5E66, // 7 highlight
    0x202226, // 8
    0x9098A4, // 9
    0xA0A8B4, // 10 timeline scale
    0x4A4E56, // 11 entry face
    0xF0C060, // 12 title text
    0x50D0F0, // 13 timeline keys, marker on a key
    0xE04040, // 14
    0xFFD040, // 15 accent
    0x000000, // 16 picture frame inside
    0x7C8088, // 17 disabled text
    0xFFFFFF, // 18
};
// Named colours of the new palette above the table.
const uint32_t kNewTitle = 0xF0C060; // 1001: box titles

uint32_t rgbToYuva(uint32_t rgb)
{
    return rgbaToYuva(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                      static_cast<uint8_t>(rgb), 255);
}

bool inside(const Screen &s, int x, int y)
{
    return x >= 0 && y >= 0 && x < s.width && y < s.height;
}

void put(Screen &s, int x, int y, const uint8_t *c)
{
    uint8_t *p = &s.rgb[(static_cast<size_t>(y) * s.width + x) * 3];
    p[0] = c[0], p[1] = c[1], p[2] = c[2];
}

} // namespace

bool screenReady(const Screen &s)
{
    return s.width > 0 && s.height > 0 &&
           s.rgb.size() == static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 3;
}

uint32_t paletteColour(int palette, int n)
{
    if (palette == 1 && n == 1001)
        return rgbToYuva(kNewTitle);
    const uint32_t *table = palette == 1 ? kNew : kClassic;
    const int count = static_cast<int>(std::size(kClassic));
    return rgbToYuva(n >= 0 && n < count ? table[n] : 0x808080);
}

uint32_t backgroundColour(const Screen &s, int mode)
{
    return paletteColour(s.guiMode == 3 ? 1 : 0, mode == 0 ? 0 : 2);
}

bool initScreen(Screen &s, int width, int height)
{
    if (width < 64 || height < 64 || width > 8192 || height > 8192)
        return false;
    s.width = width;
    s.height = height;
    s.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    setColourYuva(s, backgroundColour(s, 0));
    fillRect(s, 0, 0, width - 1, height - 1);
    return true;
}

void setColourRgb(Screen &s, uint8_t r, uint8_t g, uint8_t b)
{
    s.colour[0] = r, s.colour[1] = g, s.colour[2] = b;
}

void setColourYuva(Screen &s, uint32_t yuva)
{
    uint8_t a;
    yuvaToRgba(yuva, s.colour[0], s.colour[1], s.colour[2], a);
}

void putPixel(Screen &s, int x, int y)
{
    if (inside(s, x, y))
        put(s, x, y, s.colour);
}

void fillRect(Screen &s, int x0, int y0, int x1, int y1)
{
    if (!screenReady(s))
        return;
    if (x0 > x1)
        std::swap(x0, x1);
    if (y0 > y1)
        std::swap(y0, y1);
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, s.width - 1), y1 = std::min(y1, s.height - 1);
    if (x0 > x1 || y0 > y1)
        return;
    // The first row pixel by pixel, the others copied from it.
    const size_t stride = static_cast<size_t>(s.width) * 3, span = size_t(x1 - x0 + 1) * 3;
    uint8_t *first = &s.rgb[y0 * stride + size_t(x0) * 3];
    for (int x = x0; x <= x1; ++x)
        put(s, x, y0, s.colour);
    for (int y = y0 + 1; y <= y1; ++y)
        std::memcpy(first + size_t(y - y0) * stride, first, span);
}

namespace {

// Liang-Barsky: shortens the segment to the part inside [lo, hi] in both
// coordinates; false when nothing of it is inside.
bool clipSegment(double &x0, double &y0, double &x1, double &y1, double lo, double hiX, double hiY)
{
    double t0 = 0, t1 = 1;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy}, q[4] = {x0 - lo, hiX - x0, y0 - lo, hiY - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1)
        return false;
    x1 = x0 + t1 * dx, y1 = y0 + t1 * dy;
    x0 = x0 + t0 * dx, y0 = y0 + t0 * dy;
    return true;
}

} // namespace

void drawLine(Screen &s, int x0, int y0, int x1, int y1)
{
    // Bresenham; pixels off the screen are skipped. A segment much longer
    // than the screen is first cut to the screen (with a margin).
    const long limit = 4L * (s.width + s.height);
    if (std::labs(static_cast<long>(x1) - x0) > limit ||
        std::labs(static_cast<long>(y1) - y0) > limit) {
        double a = x0, b = y0, c = x1, d = y1;
        if (!clipSegment(a, b, c, d, -2, s.width + 1, s.height + 1))
            return;
        x0 = static_cast<int>(std::lround(a)), y0 = static_cast<int>(std::lround(b));
        x1 = static_cast<int>(std::lround(c)), y1 = static_cast<int>(std::lround(d));
    }
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        putPixel(s, x0, y0);
        if (x0 == x1 && y0 == y1)
            break;
        int e2 = 2 * err;
        if (e2 >= dy)
            err += dy, x0 += sx;
        if (e2 <= dx)
            err += dx, y0 += sy;
    }
}

void drawFrame(Screen &s, int x0, int y0, int x1, int y1)
{
    fillRect(s, x0, y0, x1, y0);
    fillRect(s, x0, y1, x1, y1);
    fillRect(s, x0, y0, x0, y1);
    fillRect(s, x1, y0, x1, y1);
}

void drawYuva(Screen &s, const uint32_t *pixels, int bytesPerRow, int x, int y, int w, int h)
{
    if (!pixels || w <= 0 || h <= 0 || bytesPerRow < w * 4 || !screenReady(s))
        return;
    for (int j = std::max(0, -y); j < h && y + j < s.height; ++j) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(
            reinterpret_cast<const uint8_t *>(pixels) + static_cast<size_t>(j) * bytesPerRow);
        for (int i = std::max(0, -x); i < w && x + i < s.width; ++i) {
            uint8_t c[3], a;
            yuvaToRgba(row[i], c[0], c[1], c[2], a);
            put(s, x + i, y + j, c);
        }
    }
}

void drawImage(Screen &s, const VxResImage *image, int x, int y)
{
    // Only images of loaded tables: a pointer into a freed table is not
    // read.
    if (!image || !vxResImageLive(image))
        return;
    for (int j = 0; j < image->height; ++j)
        for (int i = 0; i < image->width; ++i) {
            const uint8_t *p = image->rgba + (static_cast<size_t>(j) * image->width + i) * 4;
            if (p[3] && inside(s, x + i, y + j))
                put(s, x + i, y + j, p);
        }
}

void drawBevel(Screen &s, int x, int y, int w, int h, bool sunken)
{
    if (w <= 0 || h <= 0)
        return;
    const int palette = s.guiMode == 3 ? 1 : 0;
    uint32_t light = paletteColour(palette, palette ? 7 : 3);
    uint32_t dark = paletteColour(palette, 4);
    setColourYuva(s, sunken ? dark : light);
    fillRect(s, x, y, x + w - 1, y);
    fillRect(s, x, y, x, y + h - 1);
    setColourYuva(s, sunken ? light : dark);
    fillRect(s, x, y + h - 1, x + w - 1, y + h - 1);
    fillRect(s, x + w - 1, y, x + w - 1, y + h - 1);
}

void drawPanel(Screen &s, const Panel &p)
{
    const int palette = s.guiMode == 3 ? 1 : 0;
    if (p.flags & 0x400) {
        // Sunken picture frame: a two-pixel bevel around a black inside.
        setColourYuva(s, paletteColour(palette, 16));
        fillRect(s, p.x, p.y, p.x + p.w - 1, p.y + p.h - 1);
        drawBevel(s, p.x, p.y, p.w, p.h, true);
        drawBevel(s, p.x + 1, p.y + 1, p.w - 2, p.h - 2, true);
        return;
    }
    // Group box: the panel colour inside a raised edge; the title area is a
    // darker band along the top edge, where the box title is written.
    setColourYuva(s, paletteColour(palette, 2));
    fillRect(s, p.x, p.y, p.x + p.w - 1, p.y + p.h - 1);
    if (p.flags & 0x40) {
        setColourYuva(s, paletteColour(palette, palette ? 4 : 10));
        fillRect(s, p.x + 1, p.y + 1, p.x + p.w - 2, p.y + 3);
    }
    drawBevel(s, p.x, p.y, p.w, p.h, false);
}

uint32_t pixelRgb(const Screen &s, int x, int y)
{
    if (!inside(s, x, y))
        return 0;
    const uint8_t *p = &s.rgb[(static_cast<size_t>(y) * s.width + x) * 3];
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

namespace {

// The part of the rectangle (x, y, w, h) on the screen, a row at a time:
// calls copy(screen offset, area offset, bytes) for each visible run.
template <typename Copy> void forVisibleRows(const Screen &s, int x, int y, int w, int h, Copy copy)
{
    const long long i0 = std::max(0LL, -(long long)x),
                    i1 = std::min<long long>(w, (long long)s.width - x);
    const long long j0 = std::max(0LL, -(long long)y),
                    j1 = std::min<long long>(h, (long long)s.height - y);
    if (i0 >= i1 || !screenReady(s))
        return;
    for (long long j = j0; j < j1; ++j)
        copy(size_t(((y + j) * s.width + x + i0) * 3), size_t((j * w + i0) * 3),
             size_t((i1 - i0) * 3));
}

} // namespace

std::vector<uint8_t> saveArea(const Screen &s, int x, int y, int w, int h)
{
    std::vector<uint8_t> out(static_cast<size_t>(std::max(w, 0)) * std::max(h, 0) * 3, 0);
    forVisibleRows(s, x, y, w, h,
                   [&](size_t at, size_t to, size_t n) { std::memcpy(&out[to], &s.rgb[at], n); });
    return out;
}

void restoreArea(Screen &s, const std::vector<uint8_t> &pixels, int x, int y, int w, int h)
{
    if (pixels.size() < static_cast<size_t>(std::max(w, 0)) * std::max(h, 0) * 3)
        return;
    forVisibleRows(s, x, y, w, h, [&](size_t at, size_t from, size_t n) {
        std::memcpy(&s.rgb[at], &pixels[from], n);
    });
}

} // namespace vxh
