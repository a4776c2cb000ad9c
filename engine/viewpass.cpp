// The edit view's reduced-size passes and the key thumbnail pass.
//
// The whole-picture view is the variant's warp pass at half size; the
// zoomed views walk a window of the source at one source pixel per picture
// pixel. Morph and draw then show input 1, undeformed and not interpolated,
// through the picture at dissolveLevel.
#include "engine/viewpass.h"

#include <cmath>

#include "engine/warp.h"
#include "variants/variant.h"

namespace {

// The edit view's picture must fit the engine's output picture, and the
// pictures the variant shows must exist (the mixture needs both inputs).
bool viewFits(int outW, int outH)
{
    return ctx.outputPixels && outW > 0 && outH > 0 && ctx.workWidth > 0 && ctx.workHeight > 0 &&
           ctx.sourcePixels && (ctx.targetPixels || !vxVariant->viewMixed) &&
           (size_t)outW * (size_t)outH <= ctx.outputCapacity;
}

// The pixel index nearest below a non-negative position, clamped into
// 0..size-1 (not-a-number reads index 0).
inline int32_t nearestIndex(float v, int32_t size)
{
    if (!(v >= 1.0f))
        return 0;
    return v < (float)size ? (int32_t)v : size - 1;
}

inline uint32_t blendOverlay(uint32_t shown, uint32_t overlay, int level)
{
    const int rest = 255 - level;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = (int)((shown >> shift) & 0xFF);
        const int b = (int)((overlay >> shift) & 0xFF);
        result |= (uint32_t)((a * rest + b * level) / 255) << shift;
    }
    return result;
}

inline int overlayLevel(void)
{
    const int level = ctx.dissolveLevel;
    return level < 0 ? 0 : (level > 255 ? 255 : level);
}

// Input 1 at (trunc(sx), trunc(sy)), clamped into the picture.
inline uint32_t overlayPixel(float sx, float sy)
{
    const int32_t x = nearestIndex(sx, ctx.workWidth), y = nearestIndex(sy, ctx.workHeight);
    return ctx.targetPixels[(size_t)y * (size_t)ctx.workWidth + (size_t)x];
}

// The overlay over a whole-picture pass of outW x outH pixels.
void overlayWholePicture(int outW, int outH)
{
    const float colStep = (float)ctx.workWidth / (float)outW;
    const float rowStep = (float)ctx.workHeight / (float)outH;
    const int level = overlayLevel();
    for (int i = 0; i < outH; ++i) {
        uint32_t *line = ctx.outputPixels + (size_t)i * (size_t)outW;
        const float sy = (float)i * rowStep;
        for (int j = 0; j < outW; ++j)
            line[j] = blendOverlay(line[j], overlayPixel((float)j * colStep, sy), level);
    }
}

// A displacement that is zero, -0.0 or not a number shows the nearest pixel.
inline bool displaces(MeshNode &d)
{
    d.dx = std::fabs(d.dx) > 0.0f ? d.dx : 0.0f;
    d.dy = std::fabs(d.dy) > 0.0f ? d.dy : 0.0f;
    return d.dx != 0.0f || d.dy != 0.0f;
}

// The window pass: ow x oh picture pixels from the window whose top-left
// corner is (viewScrollX, viewScrollY) in half mesh columns and mesh rows,
// stepping a / ow and b / oh of those units per picture pixel.
void windowPass(int ow, int oh, int a, int b)
{
    const int32_t width = ctx.workWidth, height = ctx.workHeight;
    ctx.srcColStep = (float)width / (float)(width / 2);
    ctx.srcRowStep = (float)height / (float)(height / 2);
    const float colsPerPixel = (float)ctx.meshCols / (float)width;
    const float rowsPerLine = (float)ctx.meshRows / (float)height;
    ctx.meshColStep = colsPerPixel * ctx.srcColStep;
    ctx.meshRowStep = rowsPerLine * ctx.srcRowStep;
    ctx.pixelsPerColumn = colsPerPixel != 0.0f ? (float)(1.0 / (double)colsPerPixel) : 0.0f;
    ctx.pixelsPerRow = rowsPerLine != 0.0f ? (float)(1.0 / (double)rowsPerLine) : 0.0f;
    const float srcColStep = ctx.srcColStep, srcRowStep = ctx.srcRowStep;
    const float meshColStep = ctx.meshColStep, meshRowStep = ctx.meshRowStep;
    const float pixelsPerColumn = ctx.pixelsPerColumn, pixelsPerRow = ctx.pixelsPerRow;
    const float xs = (float)a / (float)ow, ys = (float)b / (float)oh;

    // A mesh that does not hold meshCols x meshRows nodes displaces nothing.
    const bool meshUsable = ctx.meshCols > 0 && ctx.meshRows > 0 &&
                            (size_t)ctx.meshCols * (size_t)ctx.meshRows <= ctx.meshCapacity;
    const MeshNode *mesh = meshUsable ? ctx.meshA : nullptr;
    const bool mixed = vxVariant->viewMixed;
    const bool overlay = vxVariant->viewOverlay && ctx.targetPixels;
    const int level = overlayLevel();

    float v = (float)ctx.viewScrollY;
    for (int i = 0; i < oh; ++i, v += ys) {
        uint32_t *line = ctx.outputPixels + (size_t)i * (size_t)ow;
        const float gr = meshRowStep * v, sy = srcRowStep * v;
        const int32_t nearRow = nearestIndex(sy, height);
        float u = (float)ctx.viewScrollX;
        for (int j = 0; j < ow; ++j, u += xs) {
            const float gc = meshColStep * u, sx = srcColStep * u;
            MeshNode d = meshDisplacementAt(mesh, gc, gr);
            const bool moved = displaces(d);
            const float x = pixelsPerColumn * d.dx + sx, y = pixelsPerRow * d.dy + sy;
            const int32_t nearCol = nearestIndex(sx, width);
            const size_t near = (size_t)nearRow * (size_t)width + (size_t)nearCol;
            uint32_t pixel;
            if (mixed)
                pixel = moved ? sampleMixed(x, y) : fetchMixed(nearCol, nearRow);
            else
                pixel = moved ? sampleSource(x, y) : ctx.sourcePixels[near];
            if (overlay)
                pixel = blendOverlay(pixel, ctx.targetPixels[near], level);
            line[j] = pixel;
        }
    }
}

} // namespace

void viewPass(int zoom, int a, int b)
{
    if (zoom == 0) {
        if (!viewFits(a, b))
            return;
        if (vxVariant->viewMixed) {
            warpPassMixed(ctx.outputPixels, a, b);
            return;
        }
        warpPassA(ctx.outputPixels, a, b);
        if (vxVariant->viewOverlay && ctx.targetPixels)
            overlayWholePicture(a, b);
        return;
    }
    if (zoom != 1 && zoom != 2)
        return;
    const int ow = zoom == 1 ? ctx.workWidth / 2 : ctx.workWidth / 4;
    const int oh = zoom == 1 ? ctx.workHeight / 2 : ctx.workHeight / 4;
    if (!viewFits(ow, oh))
        return;
    windowPass(ow, oh, a, b);
}

void thumbnailPass(uint32_t *picture)
{
    warpPassA(picture, THUMB_WIDTH, THUMB_HEIGHT);
}
