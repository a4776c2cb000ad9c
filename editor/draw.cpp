// Timeline, frame marker, thumbnails, overview, resampling, zoom origin and
// messages of the editor.
#include "editor/draw.h"

#include <cmath>

#include "effect/context.h"
#include "operator/host/vxgui.h"
#include "operator/host/vxreq.h"

namespace {

// Timeline origin: below the overview picture.
int timelineLeft(const EditorState &ed)
{
    return ed.overviewX;
}

int timelineTop(const EditorState &ed)
{
    return ed.overviewY + ed.overviewHeight;
}

void setGuiColour(EditorState &ed, int classic, int newer)
{
    vgSetColorYUV(ed.requestHandle,
                  ed.guiMode == 3 ? vgGetNewGuiColorYUV(newer) : vgGetGuiColorYUV(classic));
}

bool frameHasKey(const OperatorContext &ctx, uint32_t frame)
{
    for (const KeyRecord *k = ctx.keyList; k; k = k->next)
        if (k->frame == frame)
            return true;
    return false;
}

// The key whose interval holds the current frame, else the last key.
const KeyRecord *currentInterval(const OperatorContext &ctx)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    const KeyRecord *k = ctx.keyList;
    for (; k; k = k->next) {
        if (k->frame <= t && k->next && t < k->next->frame)
            return k;
        if (!k->next)
            break;
    }
    return k;
}

void putThumbnail(const KeyRecord *key, int x, int y)
{
    if (key)
        vgmxYUVAtoOvl(key->thumbnail, 0, THUMB_WIDTH * 4, x, y, THUMB_WIDTH, THUMB_HEIGHT);
}

int32_t clampInt(int32_t v, int32_t low, int32_t high)
{
    return v < low ? low : (v > high ? high : v);
}

// int(v / scale), held far inside the int32 range.
int32_t scaledDown(int32_t v, double scale)
{
    if (!(scale > 0.0))
        return 0;
    const double q = v / scale;
    return q >= 1e9 ? 1000000000 : (q <= -1e9 ? -1000000000 : (int32_t)q);
}

// Negative values become 0, then the upper bound holds.
int32_t clampOrigin(int32_t v, int32_t high)
{
    v = v < 0 ? 0 : v;
    return v > high ? high : v;
}

} // namespace

int32_t timelineOffset(const EditorState &ed, const OperatorContext &ctx, uint32_t frame)
{
    if (ctx.lastFrame <= 0 || ed.timelineWidth <= 0)
        return 0;
    const uint64_t offset = (uint64_t)frame * (uint64_t)ed.timelineWidth / (uint64_t)ctx.lastFrame;
    return offset > (uint64_t)ed.timelineWidth ? ed.timelineWidth : (int32_t)offset;
}

void drawTimeline(EditorState &ed, const OperatorContext &ctx)
{
    const int tx = timelineLeft(ed), ty = timelineTop(ed);
    const uint32_t r = ed.requestHandle;
    vgFillBackground(r, tx + 14, ty + 26, tx + ed.timelineWidth + 14, ty + 36, 2, 0);
    setGuiColour(ed, 7, 13);
    for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
        const int x = tx + 14 + timelineOffset(ed, ctx, k->frame);
        vgLine(r, x, ty + 26, x, ty + 36);
        vgLine(r, x + 1, ty + 26, x + 1, ty + 36);
    }
}

void drawFrameMarker(EditorState &ed, const OperatorContext &ctx)
{
    const int tx = timelineLeft(ed), ty = timelineTop(ed);
    const uint32_t r = ed.requestHandle;
    vgFillBackground(r, tx + 12, ty + 46, tx + ed.timelineWidth + 17, ty + 51, 2, 0);
    if (frameHasKey(ctx, (uint32_t)ctx.currentFrame))
        setGuiColour(ed, 14, 13);
    else
        setGuiColour(ed, 13, 3);
    const int x = tx + 12 + timelineOffset(ed, ctx, (uint32_t)ctx.currentFrame);
    const int y = ty + 46;
    // An arrow of 6 x 6 pixels pointing up at the timeline.
    static const struct {
        int column, firstRow;
    } arrow[] = {{2, 0}, {3, 0}, {1, 2}, {4, 2}, {0, 4}, {5, 4}};
    for (const auto &a : arrow)
        for (int row = a.firstRow; row <= 5; ++row)
            vgSetPixel(r, x + a.column, y + row);
}

void drawThumbnails(EditorState &ed, const OperatorContext &ctx)
{
    const int tx = timelineLeft(ed), ty = timelineTop(ed);
    const uint32_t r = ed.requestHandle;
    static const int slotX[3] = {34, 76, 118};
    vgSetColorYUV(r, vgGetGuiColorYUV(8));
    for (int x : slotX)
        vgRectFill(r, tx + x, ty + 64, tx + x + 31, ty + 87);
    const KeyRecord *k = currentInterval(ctx);
    if (!k)
        return;
    putThumbnail(k->prev, tx + slotX[0], ty + 64);
    putThumbnail(k, tx + slotX[1], ty + 64);
    putThumbnail(k->next, tx + slotX[2], ty + 64);
}

void drawOverview(EditorState &ed, const OperatorContext &ctx)
{
    const int32_t w = ed.overviewWidth, h = ed.overviewHeight;
    if (w <= 0 || h <= 0)
        return;
    uint32_t *buffer = (uint32_t *)allocBlock((size_t)w * (size_t)h * 4);
    // Without it the overview stays as it was. (Its journal line is kept
    // apart from the other sites' lines: the journal tells them by line.)
    if (!buffer) {
        LOG_FAILURE(ctx.variant); // journal: no memory for a drawn picture
        return;
    }
    resamplePixels(ed.previewPixels, ed.previewWidth, ed.previewHeight, buffer, w, h);
    vgmxYUVAtoOvl(buffer, 0, w * 4, ed.overviewX + 12, ed.overviewY + 12, w, h);
    freeBlock(buffer);

    if (ed.viewZoom != 1 && ed.viewZoom != 2)
        return;
    const int divisor = ed.viewZoom == 1 ? 2 : 4;
    const int x0 = ed.overviewX + 12 + (int)(ed.viewScrollX * ed.viewScale * 0.5);
    const int y0 = ed.overviewY + 12 + (int)(ed.viewScrollY * ed.viewScale);
    vgDrawBox(ed.requestHandle, x0, y0, x0 + w / divisor - 1, y0 + h / divisor - 1, 18);
}

void resamplePixels(const uint32_t *source, int32_t sourceWidth, int32_t sourceHeight,
                    uint32_t *destination, int32_t destinationWidth, int32_t destinationHeight)
{
    if (!source || !destination || sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth <= 0 ||
        destinationHeight <= 0)
        return;
    const float xstep = (float)sourceWidth / (float)destinationWidth;
    const float ystep = (float)sourceHeight / (float)destinationHeight;
    float sy = 0.0f;
    uint32_t *out = destination;
    for (int32_t row = 0; row < destinationHeight; ++row) {
        const int32_t iy = (int32_t)sy;
        const float fy = sy - (float)iy;
        const int32_t y0 = clampInt(iy, 0, sourceHeight - 1);
        const int32_t y1 = clampInt(iy + 1, 0, sourceHeight - 1);
        const uint32_t *top = source + (size_t)sourceWidth * (size_t)y0;
        const uint32_t *bottom = source + (size_t)sourceWidth * (size_t)y1;
        float sx = 0.0f;
        for (int32_t col = 0; col < destinationWidth; ++col) {
            const int32_t ix = (int32_t)sx;
            const float fx = sx - (float)ix;
            const int32_t x0 = clampInt(ix, 0, sourceWidth - 1);
            const int32_t x1 = clampInt(ix + 1, 0, sourceWidth - 1);
            const uint32_t p00 = top[x0], p10 = top[x1], p01 = bottom[x0], p11 = bottom[x1];
            uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const float a = (float)((p00 >> shift) & 0xFF), b = (float)((p10 >> shift) & 0xFF);
                const float c = (float)((p01 >> shift) & 0xFF), d = (float)((p11 >> shift) & 0xFF);
                const float upper = (b - a) * fx + a;
                const float lower = (d - c) * fx + c;
                pixel |= ((uint32_t)(int32_t)((lower - upper) * fy + upper) & 0xFF) << shift;
            }
            *out++ = pixel;
            sx += xstep;
        }
        sy += ystep;
    }
}

void setZoomOrigin(EditorState &ed, int32_t x, int32_t y)
{
    ed.zoomClickX = x;
    ed.zoomClickY = y;
    if (ed.viewZoom != 1 && ed.viewZoom != 2)
        return;
    const int32_t gx = scaledDown(x, ed.viewScale), gy = scaledDown(y, ed.viewScale);
    const int32_t fw = ed.frameWidth, fh = ed.frameHeight;
    int32_t ox, oy;
    if (ed.viewZoom == 1) {
        ox = clampOrigin(gx - fw / 16, fw / 8);
        oy = clampOrigin(gy - fh / 16, fh / 8);
    } else {
        ox = clampOrigin(gx - fw / 32, fw / 4 - fw / 16);
        oy = clampOrigin(gy - fh / 32, fh / 4 - fh / 16);
    }
    ed.viewScrollX = 2 * ox;
    ed.viewScrollY = oy;
}

bool showMessage(const char *text, uint32_t buttons)
{
    TextRequest request = {};
    request.text = text;
    request.kind = buttons;
    vreqTextRequest(&request);
    return request.result == 1;
}
