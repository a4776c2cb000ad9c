// Built-in synthetic sample clips.
//
// Both clips are drawn from scratch each call with integer arithmetic plus a few
// libm calls whose results depend only on the frame index, so they are
// identical from run to run. Every element scales with the frame size and is
// clipped to it, so any size from 1x1 up works.
//
// Clip 0 ("test card"): colour bars; a colour gradient under a scrolling 1-px
// grid; a moving checkerboard; concentric rings circling the centre; a block of
// small text scrolling upwards; a luma staircase and a frequency sweep; a large
// caption sliding left and a frame counter.
// Clip 1: an animated zone plate; a rotating spoked wheel; a band of diagonal
// stripes; three bouncing coloured discs; a dot lattice; a bobbing caption and a
// frame counter.
#include "host/io/samples.h"

#include "host/core/pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vxh {

namespace {

constexpr double kPi = 3.14159265358979323846;

// 5x7 glyphs, one byte per row, bit 4 = leftmost column.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
};

const uint8_t *glyphRows(char c)
{
    for (const Glyph &g : kFont)
        if (g.c == c)
            return g.rows;
    return nullptr; // space and anything unknown draw nothing
}

struct Canvas {
    uint32_t *px;
    int w, h;                                           // frame size; rows are w pixels apart
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0; // drawing limited to [x0, x1) x [y0, y1)
    Canvas(uint32_t *p, int width, int height)
        : px(p), w(width), h(height), clipX1(width), clipY1(height)
    {}
    void fillRect(int x0, int y0, int x1, int y1, uint32_t c)
    { // [x0, x1) x [y0, y1)
        x0 = std::max(x0, clipX0);
        y0 = std::max(y0, clipY0);
        x1 = std::min(x1, clipX1);
        y1 = std::min(y1, clipY1);
        if (x0 >= x1)
            return;
        for (int y = y0; y < y1; ++y)
            std::fill(px + size_t(y) * size_t(w) + size_t(x0),
                      px + size_t(y) * size_t(w) + size_t(x1), c);
    }
};

// Draws text with each font pixel a scale x scale block; 6 columns per glyph.
void drawText(Canvas &cv, int x0, int y0, int scale, const char *s, uint32_t colour)
{
    for (int i = 0; s[i]; ++i) {
        const int gx = x0 + i * 6 * scale;
        if (gx >= cv.clipX1)
            break;
        const uint8_t *rows = glyphRows(s[i]);
        if (!rows || gx + 5 * scale <= cv.clipX0)
            continue;
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 5; ++c)
                if (rows[r] & (0x10 >> c))
                    cv.fillRect(gx + c * scale, y0 + r * scale, gx + (c + 1) * scale,
                                y0 + (r + 1) * scale, colour);
    }
}

// Triangle wave in [0, span] with the given period in frames.
int triangle(int t, int period, int span)
{
    if (period < 2 || span <= 0)
        return 0;
    const int half = period / 2;
    const int p = t % period;
    const int v = p < half ? p : period - p;
    return int(int64_t(v) * span / half);
}

void frameLabel(char *buf, size_t size, int t)
{
    std::snprintf(buf, size, "FRAME %03d", t);
}

constexpr uint32_t kWhite = packYuva(235, 128, 128, 255);
constexpr uint32_t kBlack = packYuva(16, 128, 128, 255);

const char kParagraph[] =
    "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG. 0123456789 - PACK MY BOX WITH FIVE DOZEN LIQUOR "
    "JUGS. "
    "SPHINX OF BLACK QUARTZ: JUDGE MY VOW. HOW VEXINGLY QUICK DAFT ZEBRAS JUMP. 9876543210 / ";

// Per-clip tables, built once so the per-pixel loops only index and add.
struct Tables {
    std::vector<uint8_t> rampX; // x * 255 / (w - 1)
    std::vector<uint8_t> tintU; // 108 + x * 40 / w
    uint8_t zone[1024];         // zone-plate luma for one cosine period
};

void buildTables(Tables &tb, int w)
{
    tb.rampX.resize(size_t(w));
    tb.tintU.resize(size_t(w));
    for (int x = 0; x < w; ++x) {
        tb.rampX[size_t(x)] = uint8_t(int64_t(x) * 255 / std::max(w - 1, 1));
        tb.tintU[size_t(x)] = uint8_t(108 + int64_t(x) * 40 / w);
    }
    for (int i = 0; i < 1024; ++i)
        tb.zone[i] = uint8_t(std::lround(126.0 + 90.0 * std::cos(2 * kPi * i / 1024.0)));
}

void drawSampleA(Canvas &cv, int t, const Tables &tb)
{
    const int w = cv.w, h = cv.h;
    const int barsEnd = h / 4, midEnd = h * 3 / 4;

    // Colour bars at 75 %.
    static const uint8_t kBars[8][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                        {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};
    uint32_t bar[8];
    for (int i = 0; i < 8; ++i)
        bar[i] = rgbaToYuva(kBars[i][0], kBars[i][1], kBars[i][2], 255);
    for (int y = 0; y < barsEnd; ++y) {
        uint32_t *row = cv.px + size_t(y) * size_t(w);
        if (y == 0)
            for (int x = 0; x < w; ++x)
                row[x] = bar[int64_t(x) * 8 / w];
        else
            std::copy_n(cv.px, w, row);
    }

    // Gradient with a scrolling grid on top.
    const int blue = 64 + triangle(t, 50, 128);
    const int midH = std::max(midEnd - barsEnd, 1);
    const int gx = (t * 2) & 31, gy = t & 31;
    for (int y = barsEnd; y < midEnd; ++y) {
        uint32_t *row = cv.px + size_t(y) * size_t(w);
        const uint8_t g = uint8_t((y - barsEnd) * 255 / midH);
        if (((y + gy) & 31) == 0) {
            std::fill_n(row, w, kWhite);
            continue;
        }
        for (int x = 0; x < w; ++x)
            row[x] = ((x - gx) & 31) == 0 ? kWhite
                                          : rgbaToYuva(tb.rampX[size_t(x)], g, uint8_t(blue), 255);
    }

    // Checkerboard square of 8-px cells travelling right and wrapping.
    const int cb = std::max(h / 4, 8);
    const int cbx = (t * 7) % (w + cb) - cb, cby = barsEnd + (midEnd - barsEnd - cb) / 2;
    const uint32_t cbDark = rgbaToYuva(30, 30, 90, 255), cbLight = rgbaToYuva(250, 240, 200, 255);
    for (int y = std::max(cby, 0); y < std::min(cby + cb, h); ++y)
        for (int x = std::max(cbx, 0); x < std::min(cbx + cb, w); ++x)
            cv.px[size_t(y) * size_t(w) + size_t(x)] =
                (((x - cbx) / 8 + (y - cby) / 8) & 1) ? cbDark : cbLight;

    // Rings (3-px bands) whose centre circles the middle of the frame.
    const double a = 2 * kPi * t / 50.0;
    const int rcx = w / 2 + int(std::lround(w / 5.0 * std::cos(a)));
    const int rcy = h / 2 + int(std::lround(h / 10.0 * std::sin(a)));
    const int rr = std::max(h / 7, 2);
    const uint32_t ringA = rgbaToYuva(255, 140, 0, 255), ringB = rgbaToYuva(20, 0, 60, 255);
    for (int y = std::max(rcy - rr, 0); y < std::min(rcy + rr + 1, h); ++y)
        for (int x = std::max(rcx - rr, 0); x < std::min(rcx + rr + 1, w); ++x) {
            const int dx = x - rcx, dy = y - rcy, d2 = dx * dx + dy * dy;
            if (d2 > rr * rr)
                continue;
            cv.px[size_t(y) * size_t(w) + size_t(x)] =
                (int(std::sqrt(double(d2))) / 3) & 1 ? ringB : ringA;
        }

    // Small text block in the upper left of the middle area, scrolling up 1 px per frame.
    {
        const int bx0 = 8, by0 = barsEnd + 8, bx1 = w / 3,
                  by1 = std::min(barsEnd + (midEnd - barsEnd) / 2, h);
        if (bx1 > bx0 && by1 > by0) {
            Canvas box(cv.px, w, h);
            box.clipX0 = bx0;
            box.clipY0 = by0;
            box.clipX1 = bx1;
            box.clipY1 = by1;
            box.fillRect(bx0, by0, bx1, by1, packYuva(40, 128, 128, 255));
            const int perLine = std::max((bx1 - bx0 - 4) / 6, 1);
            const int len = int(sizeof kParagraph) - 1;
            char line[128];
            const int scroll = t;
            for (int l = 0;; ++l) {
                const int ly = by0 + 2 + l * 9 - scroll % 9;
                if (ly >= by1)
                    break;
                const int src = ((l + scroll / 9) * perLine) % len;
                const int n = std::min(perLine, int(sizeof line) - 1);
                for (int i = 0; i < n; ++i)
                    line[i] = kParagraph[(src + i) % len];
                line[n] = 0;
                drawText(box, bx0 + 2, ly, 1, line, kWhite); // clipped to the block
            }
        }
    }

    // Bottom: luma staircase on the left, frequency sweep on the right. Every
    // row is the same, so build the first and copy it.
    for (int y = midEnd; y < h; ++y) {
        uint32_t *row = cv.px + size_t(y) * size_t(w);
        if (y > midEnd) {
            std::copy_n(cv.px + size_t(midEnd) * size_t(w), w, row);
            continue;
        }
        for (int x = 0; x < w / 2; ++x)
            row[x] = packYuva(uint8_t(16 + (int64_t(x) * 11 / std::max(w / 2, 1)) * 219 / 10), 128,
                              128, 255);
        for (int x = w / 2; x < w; ++x) {
            const int64_t dx = x - w / 2;
            row[x] =
                (dx * dx * 4 / (6 * int64_t(w))) & 1 ? kWhite : kBlack; // chirp: finer to the right
        }
    }

    // Caption sliding left, frame counter fixed in the bars.
    const int capScale = std::max(h / 96, 1);
    const int capX = w - (t * 6) % (w + 20 * 6 * capScale);
    drawText(cv, capX, midEnd - 9 * capScale, capScale, "VXHOST SAMPLE CLIP A",
             rgbaToYuva(255, 255, 0, 255));
    char label[32];
    frameLabel(label, sizeof label, t);
    const int lblScale = std::max(h / 144, 1);
    cv.fillRect(4, 4, 4 + 9 * 6 * lblScale + 4, 4 + 7 * lblScale + 6, kBlack);
    drawText(cv, 7, 7, lblScale, label, kWhite);
}

void drawSampleB(Canvas &cv, int t, const Tables &tb)
{
    const int w = cv.w, h = cv.h;

    // Zone plate: luma follows cos(k * r^2 - phase); chroma drifts across the frame.
    const int cx = w / 2, cy = h / 2;
    // Phase index 1024 * r^2 / k: rings get finer towards the edge.
    const double perR2 = 1024.0 / double(std::max<int64_t>(int64_t(w) * w / 64, 1));
    const int phase = t * 24;
    for (int y = 0; y < h; ++y) {
        uint32_t *row = cv.px + size_t(y) * size_t(w);
        const int64_t dy = y - cy;
        const uint8_t v = uint8_t(128 + int64_t(y) * 40 / std::max(h, 1) - 20);
        for (int x = 0; x < w; ++x) {
            const int64_t dx = x - cx;
            const int idx = int((int64_t(double(dx * dx + dy * dy) * perR2) - phase) & 1023);
            row[x] = packYuva(tb.zone[idx], tb.tintU[size_t(x)], v, 255);
        }
    }

    // Dot lattice (every 24 px, 2x2 dots).
    for (int y = 12; y + 1 < h; y += 24)
        for (int x = 12; x + 1 < w; x += 24)
            cv.fillRect(x, y, x + 2, y + 2, kBlack);

    // Rotating spoked wheel (16 spokes).
    const int wr = std::max(std::min(w, h) / 5, 2);
    const int wcx = w * 3 / 4, wcy = h / 3;
    const double rot = 2 * kPi * t / 100.0;
    const uint32_t spokeA = rgbaToYuva(255, 200, 40, 255), spokeB = rgbaToYuva(40, 20, 10, 255);
    for (int y = std::max(wcy - wr, 0); y < std::min(wcy + wr + 1, h); ++y)
        for (int x = std::max(wcx - wr, 0); x < std::min(wcx + wr + 1, w); ++x) {
            const int dx = x - wcx, dy = y - wcy, d2 = dx * dx + dy * dy;
            if (d2 > wr * wr)
                continue;
            uint32_t c;
            if (d2 > (wr - 3) * (wr - 3))
                c = kWhite; // rim
            else {
                double ang = std::atan2(double(dy), double(dx)) + rot;
                const int sector = int(std::floor(ang * 8.0 / kPi));
                c = (sector & 1) ? spokeB : spokeA;
            }
            cv.px[size_t(y) * size_t(w) + size_t(x)] = c;
        }

    // Band of diagonal stripes moving along the band.
    const int sb0 = h * 3 / 4, sb1 = h * 17 / 20;
    const uint32_t stripeA = rgbaToYuva(0, 200, 255, 255), stripeB = rgbaToYuva(0, 40, 80, 255);
    for (int y = sb0; y < sb1; ++y) {
        uint32_t *row = cv.px + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x)
            row[x] = ((x + y + t * 3) / 6) & 1 ? stripeA : stripeB;
    }

    // Bouncing discs.
    const int dr = std::max(h / 12, 1);
    const uint32_t discCol[3] = {rgbaToYuva(230, 30, 30, 255), rgbaToYuva(30, 200, 60, 255),
                                 rgbaToYuva(50, 80, 240, 255)};
    for (int i = 0; i < 3; ++i) {
        const int dcx = dr + triangle(t + i * 13, 34 + i * 6, std::max(w - 2 * dr, 0));
        const int dcy = dr + triangle(t * 2 + i * 29, 46 + i * 10, std::max(h - 2 * dr, 0));
        for (int y = std::max(dcy - dr, 0); y < std::min(dcy + dr + 1, h); ++y)
            for (int x = std::max(dcx - dr, 0); x < std::min(dcx + dr + 1, w); ++x) {
                const int dx = x - dcx, dy = y - dcy;
                if (dx * dx + dy * dy <= dr * dr)
                    cv.px[size_t(y) * size_t(w) + size_t(x)] = discCol[i];
            }
    }

    // Caption bobbing up and down, frame counter bottom right.
    const int capScale = std::max(std::min(h / 96, (w - w / 8) / (20 * 6)), 1); // fits the width
    drawText(cv, w / 16, h / 16 + triangle(t, 40, h / 8), capScale, "VXHOST SAMPLE CLIP B", kWhite);
    char label[32];
    frameLabel(label, sizeof label, t);
    const int lblScale = std::max(h / 144, 1);
    const int lw = 9 * 6 * lblScale + 4, lh = 7 * lblScale + 6;
    cv.fillRect(w - lw - 4, h - lh - 4, w - 4, h - 4, packYuva(16, 160, 100, 255));
    drawText(cv, w - lw - 1, h - lh - 1, lblScale, label, kWhite);
}

} // namespace

Clip makeSampleClip(int which, int w, int h, int frames)
{
    Clip clip;
    if (w < 1 || h < 1 || w > kMaxFrameSide || h > kMaxFrameSide)
        return clip;
    clip.width = w;
    clip.height = h;
    clip.fpsNum = 25;
    clip.fpsDen = 1;
    if (frames < 1)
        return clip;

    clip.frames.resize(size_t(frames));
    for (int t = 0; t < frames; ++t)
        drawSampleFrame(which, w, h, t, clip.frames[size_t(t)]);
    return clip;
}

void drawSampleFrame(int which, int w, int h, int t, std::vector<uint32_t> &f)
{
    Tables tb;
    buildTables(tb, w);
    f.assign(size_t(w) * size_t(h), kBlack);
    Canvas cv(f.data(), w, h);
    if (which % 2 == 0)
        drawSampleA(cv, t, tb);
    else
        drawSampleB(cv, t, tb);
}

} // namespace vxh
