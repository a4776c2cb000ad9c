// The editor's reactions to keys, the mouse and the gadgets, and the key
// navigation.
#include <cstring>

#include "editor/draw.h"
#include "editor/session.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "effect/precalc.h"
#include "engine/brush.h"
#include "engine/generator.h"
#include "engine/warp.h"
#include "operator/host/vxcore.h"
#include "operator/host/vxreq.h"
#include "operator/host/vxres.h"
#include "effect/buffers.h"
#include "effect/framefields.h"
#include "variants/variant.h"

namespace {

enum { KEY_COPY = 0x20063, KEY_PASTE = 0x20076, KEY_SWAP = 0x20073 };

bool inside(int32_t v, int32_t low, int32_t high) // low <= v < high
{
    return v >= low && v < high;
}

bool inEditView(const OperatorContext &ctx, int32_t x, int32_t y)
{
    const int32_t top = ctx.editBoxY + ctx.rowHeight + 20;
    return inside(x, ctx.editBoxX + 12, ctx.editBoxX + 12 + ctx.editViewWidth) &&
           inside(y, top, top + ctx.editViewHeight);
}

bool inOverview(const OperatorContext &ctx, int32_t x, int32_t y)
{
    return inside(x, ctx.overviewX + 12, ctx.overviewX + 12 + ctx.overviewWidth) &&
           inside(y, ctx.overviewY + 12, ctx.overviewY + 12 + ctx.overviewHeight);
}

// 0, 1, 2 for the previous, current and next thumbnail; -1 elsewhere.
int thumbnailSlot(const OperatorContext &ctx, int32_t x, int32_t y)
{
    const int32_t top = ctx.overviewY + ctx.overviewHeight + 64;
    if (!inside(y, top, top + 24))
        return -1;
    for (int slot = 0; slot < 3; ++slot)
        if (inside(x, ctx.overviewX + 34 + 42 * slot, ctx.overviewX + 66 + 42 * slot))
            return slot;
    return -1;
}

bool inTimeline(const OperatorContext &ctx, int32_t x)
{
    return x >= ctx.overviewX + 10 && x <= ctx.overviewX + ctx.timelineWidth + 18;
}

bool inTimelineRow(const OperatorContext &ctx, int32_t y, int from, int to)
{
    const int32_t base = ctx.overviewY + ctx.overviewHeight;
    return inside(y, base + from, base + to);
}

bool inLogo(const OperatorContext &ctx, int32_t x, int32_t y)
{
    return x >= ctx.editor.logoX + 14 && x <= ctx.editor.logoX + 74 &&
           inside(y, ctx.editor.logoY + 14, ctx.editor.logoY + 3 * ctx.rowHeight + 44);
}

void busy(void)
{
    vgBusyPointer();
}

void standard(void)
{
    vgStandardPointer();
}

void leaveKey(OperatorContext &ctx)
{
    redrawKeys(ctx, storeKey(ctx));
    clearGenerator(ctx);
}

// ---- key navigation ---------------------------------------------------

// The key k with k.frame <= f < next(k).frame, or null.
KeyRecord *intervalOf(const OperatorContext &ctx, uint32_t f)
{
    for (KeyRecord *k = ctx.keyList; k; k = k->next)
        if (k->next && k->frame <= f && f < k->next->frame)
            return k;
    return nullptr;
}

KeyRecord *lastKey(const OperatorContext &ctx)
{
    KeyRecord *k = ctx.keyList;
    while (k && k->next)
        k = k->next;
    return k;
}

// The key's frame (never past the last frame) becomes current, with the
// key's level; the pictures follow.
void goToKey(OperatorContext &ctx, const KeyRecord *key, bool refresh = true)
{
    if (!key)
        return;
    const uint32_t last = ctx.lastFrame > 0 ? (uint32_t)ctx.lastFrame : 0u;
    ctx.currentFrame = (int32_t)(key->frame > last ? last : key->frame);
    ctx.dissolveLevel = key->level;
    drawThumbnails(ctx);
    drawFrameMarker(ctx);
    setGadgetValue(ctx, GADGET_FRAME, ctx.currentFrame);
    setGadgetValue(ctx, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    if (refresh)
        refreshFrame(ctx);
    else
        ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
}

bool atLastFrame(const OperatorContext &ctx)
{
    return ctx.currentFrame == ctx.lastFrame;
}

void goToNextKey(OperatorContext &ctx)
{
    if (atLastFrame(ctx))
        return;
    const KeyRecord *k = intervalOf(ctx, (uint32_t)ctx.currentFrame);
    if (k)
        goToKey(ctx, k->next);
}

void goToPreviousKey(OperatorContext &ctx)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    if (t == 0)
        return;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
        if (k->frame == t) {
            goToKey(ctx, k->prev);
            return;
        }
        if (k->next && k->frame < t && t < k->next->frame) {
            goToKey(ctx, k);
            return;
        }
    }
}

void goToFirstKey(OperatorContext &ctx)
{
    if (ctx.currentFrame != 0)
        goToKey(ctx, ctx.keyList);
}

void goToLastKey(OperatorContext &ctx)
{
    if (!atLastFrame(ctx))
        goToKey(ctx, lastKey(ctx));
}

// The nearer key of the interval of f (ties to the earlier); at or past the
// last key, the last key.
void goToNearestKey(OperatorContext &ctx, uint32_t f)
{
    const KeyRecord *k = intervalOf(ctx, f);
    if (!k) {
        const KeyRecord *last = lastKey(ctx);
        if (last && f >= last->frame)
            goToKey(ctx, last);
        return;
    }
    const uint32_t toNext = k->next->frame - f, toKey = f - k->frame;
    goToKey(ctx, toNext < toKey ? k->next : k);
}

// ---- keys ---------------------------------------------------------------

void pasteSteps(OperatorContext &ctx)
{
    renderPreview(ctx);
    drawEditView(ctx);
    ctx.keyModified = 1;
    redrawKeys(ctx, insertKey(ctx));
}

void reactToKey(OperatorContext &ctx, uint32_t code)
{
    ctx.lastKeyCode = (int32_t)code;
    switch (code) {
    case KEY_COPY:
        copyMesh(ctx.meshA, ctx.meshClipboard, gridNodeCount(ctx));
        break;
    case KEY_PASTE:
        copyMesh(ctx.meshClipboard, ctx.meshA, gridNodeCount(ctx));
        pasteSteps(ctx);
        break;
    case KEY_SWAP:
        swapMesh(ctx.meshA, ctx.meshClipboard, gridNodeCount(ctx));
        pasteSteps(ctx);
        break;
    default:
        break;
    }
}

// ---- mouse ----------------------------------------------------------------

void formatAbout(OperatorContext &ctx)
{
    // The text is a resource: only %d takes a number, %% a percent sign;
    // everything else is copied as it stands, never past the buffer.
    const char *text = resGetString(ctx.stringTable, ctx.variant->aboutText);
    char *out = ctx.editor.aboutText;
    const size_t size = sizeof ctx.editor.aboutText;
    size_t n = 0;
    int used = 0;
    for (const char *p = text ? text : ""; *p && n + 1 < size; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            out[n++] = '%';
            ++p;
        } else if (p[0] == '%' && p[1] == 'd' && used < 2) {
            char number[16];
            const int length =
                snprintf(number, sizeof number, "%d", (int)ctx.variant->aboutNumbers[used++]);
            for (int i = 0; i < length && n + 1 < size; ++i)
                out[n++] = number[i];
            ++p;
        } else {
            out[n++] = *p;
        }
    }
    out[n] = '\0';
}

void leftPress(OperatorContext &ctx, int32_t x, int32_t y)
{
    if (inEditView(ctx, x, y)) {
        ctx.editor.dragging = MOUSE_LEFT_DOWN;
        ctx.keyModified = 1;
        redrawKeys(ctx, insertKey(ctx));
        strokeBegin(strokeToolsOf(ctx), ctx.stroke, x, y);
        return;
    }
    if (inOverview(ctx, x, y)) {
        busy();
        setZoomOrigin(ctx, x - ctx.overviewX - 12, y - ctx.overviewY - 12);
        drawOverview(ctx);
        drawEditView(ctx);
        standard();
        return;
    }
    const int slot = thumbnailSlot(ctx, x, y);
    if (slot >= 0) {
        busy();
        leaveKey(ctx);
        if (slot == 0)
            goToPreviousKey(ctx);
        else if (slot == 2)
            goToNextKey(ctx);
        else {
            goToKey(ctx, intervalOf(ctx, (uint32_t)ctx.currentFrame), false);
            refreshFrame(ctx);
        }
        standard();
        return;
    }
    if (inTimeline(ctx, x) && inTimelineRow(ctx, y, 26, 40)) {
        busy();
        leaveKey(ctx);
        goToNearestKey(ctx, timelineFrame(ctx, x));
        standard();
        return;
    }
    if (inTimeline(ctx, x) && inTimelineRow(ctx, y, 44, 54)) {
        busy();
        leaveKey(ctx);
        ctx.currentFrame = (int32_t)timelineFrame(ctx, x);
        drawThumbnails(ctx);
        drawFrameMarker(ctx);
        setGadgetValue(ctx, GADGET_FRAME, ctx.currentFrame);
        refreshFrame(ctx);
        // The slider shows the new frame's level, as after the frame slider.
        setGadgetValue(ctx, GADGET_KEY_LEVEL, ctx.dissolveLevel);
        standard();
        return;
    }
    if (inLogo(ctx, x, y)) {
        formatAbout(ctx);
        showMessage(ctx.editor.aboutText, 1);
    }
}

// The release that ends a drag of either button: the last paint, the
// generator's amounts back to zero and the preview of the painted frame.
void finishDrag(OperatorContext &ctx, int32_t x, int32_t y)
{
    ctx.editor.dragging = 0;
    ctx.keyModified = 1;
    if (strokeEnd(strokeToolsOf(ctx), ctx.stroke, x, y))
        drawEditView(ctx);
    clearGenerator(ctx);
    if (ctx.variant->hasMeshB)
        resetMeshB(ctx);
    renderPreview(ctx);
}

void leftRelease(OperatorContext &ctx, int32_t x, int32_t y)
{
    ctx.generatorApplied = 0;
    if (ctx.editor.dragging == MOUSE_LEFT_DOWN) {
        finishDrag(ctx, x, y);
        return;
    }
    if (ctx.editor.dragging)
        return;
    const int32_t last = ctx.lastGadget;
    if (last == 0 || last == -1) // no gadget since the last release
        return;
    if (last == ctx.editor.gadget[GADGET_FRAME]) {
        busy();
        ctx.editor.frameSliderMoved = 0;
        ctx.lastGadget = 0;
        refreshFrame(ctx);
        setGadgetValue(ctx, GADGET_KEY_LEVEL, ctx.dissolveLevel);
        standard();
    } else if (last == ctx.editor.gadget[GADGET_KEY_LEVEL]) {
        ctx.lastGadget = 0;
        redrawKeys(ctx, insertKey(ctx));
    } else if (last == ctx.editor.gadget[GADGET_AMOUNT]) {
        // The generated mesh stays what the editor shows and stores.
        busy();
        ctx.lastGadget = 0;
        redrawKeys(ctx, insertKeyFromBase(ctx));
        applyGenerators(ctx);
        if (ctx.variant->hasMeshB)
            ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
        renderPreview(ctx);
        applyGenerators(ctx);
        standard();
    }
}

void rightPress(OperatorContext &ctx, int32_t x, int32_t y)
{
    if (ctx.editor.dragging || !inEditView(ctx, x, y))
        return;
    ctx.editor.dragging = MOUSE_RIGHT_DOWN;
    ctx.keyModified = 1;
    redrawKeys(ctx, insertKeyFromBase(ctx));
    ctx.savedBrushStrength = ctx.brushStrength;
    ctx.savedBrushMode = ctx.brushMode;
    ctx.brushStrength = 0.5f;
    ctx.brushMode = 3;
    strokeBegin(strokeToolsOf(ctx), ctx.stroke, x, y);
}

void rightRelease(OperatorContext &ctx, int32_t x, int32_t y)
{
    ctx.generatorApplied = 0;
    if (ctx.editor.dragging != MOUSE_RIGHT_DOWN)
        return;
    finishDrag(ctx, x, y);
    ctx.brushStrength = ctx.savedBrushStrength;
    ctx.brushMode = ctx.savedBrushMode;
}

void reactToButton(OperatorContext &ctx, uint16_t button, int32_t x, int32_t y)
{
    switch (button) {
    case MOUSE_RIGHT_DOWN:
        rightPress(ctx, x, y);
        break;
    case MOUSE_RIGHT_UP:
        rightRelease(ctx, x, y);
        break;
    case MOUSE_LEFT_DOWN:
        leftPress(ctx, x, y);
        break;
    case MOUSE_LEFT_UP:
        leftRelease(ctx, x, y);
        break;
    default:
        break;
    }
}

// ---- gadgets ------------------------------------------------------------

int gadgetOf(const OperatorContext &ctx, uint32_t code)
{
    if ((int32_t)code == -1)
        return -1;
    for (int g = 0; g < EDITOR_GADGET_COUNT; ++g)
        if (ctx.editor.gadget[g] == (int32_t)code)
            return g;
    return -1;
}

void chooseZoom(OperatorContext &ctx, int zoom)
{
    ctx.viewZoom = zoom;
    if (zoom == 0)
        ctx.viewScrollX = ctx.viewScrollY = 0;
    else
        setZoomOrigin(ctx, ctx.zoomClickX, ctx.zoomClickY);
    setBrushRadius(ctx);
    busy();
    drawOverview(ctx);
    drawEditView(ctx);
    standard();
}

void changeAmount(OperatorContext &ctx, int32_t value)
{
    if (ctx.generatorType == 0 || value < -100 || value > 100)
        return;
    busy();
    if (ctx.keyModified == 1)
        redrawKeys(ctx, storeKey(ctx));
    redrawKeys(ctx, insertKey(ctx));
    if (ctx.generatorApplied == 0) {
        copyMesh(ctx.meshA, ctx.meshBase, gridNodeCount(ctx));
        ctx.generatorApplied = 1;
    }
    ctx.generatorParams[ctx.generatorType] = value;
    applyGenerators(ctx);
    drawEditView(ctx);
    standard();
}

void changeKeyLevel(OperatorContext &ctx, int32_t value)
{
    if (value < 0 || value > 255)
        return;
    if (!ctx.variant->hasMeshB) {
        // The level mixes the inputs before the warp; it is stored with the key's mesh.
        ctx.keyModified = 1;
        ctx.dissolveLevel = value;
        clearGenerator(ctx);
        renderPreview(ctx);
        return;
    }
    if (ctx.keyModified == 1)
        redrawKeys(ctx, storeKey(ctx));
    ctx.dissolveLevel = value;
    redrawKeys(ctx, storeKeyLevel(ctx));
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    ctx.dissolveLevel = value;
    renderPreview(ctx);
    applyGenerators(ctx);
    ctx.dissolveLevel = value;
}

void setViewBlend(OperatorContext &ctx, int32_t value, bool moveSlider)
{
    if (value < 0 || value > 255)
        return;
    ctx.viewBlend = value;
    if (moveSlider)
        setGadgetValue(ctx, GADGET_VIEW_BLEND, value);
    drawEditView(ctx);
}

void moveFrameSlider(OperatorContext &ctx, int32_t value)
{
    if (value < 0 || value > ctx.lastFrame)
        return;
    if (!ctx.editor.frameSliderMoved) {
        ctx.editor.frameSliderMoved = 1;
        redrawKeys(ctx, storeKey(ctx));
    } else if (ctx.keyModified == 1) {
        redrawKeys(ctx, storeKey(ctx));
    }
    clearGenerator(ctx);
    ctx.currentFrame = value;
    // The meshes belong to the frame shown, before anything can store them.
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    drawThumbnails(ctx);
    drawFrameMarker(ctx);
    drawTimeline(ctx);
}

void preview(OperatorContext &ctx)
{
    redrawKeys(ctx, storeKey(ctx));
    renderPreview(ctx);
    clearGenerator(ctx);
    // The nested set-up, render and tear-down work on the editor's effect;
    // what they may change is put back afterwards.
    const OperatorContext kept = ctx;
    ctx.editorActive = 1;
    opPreview(0);
    ctx.editorActive = 0;
    ctx.sourcePixels = kept.sourcePixels;
    ctx.targetPixels = kept.targetPixels;
    ctx.imageWidth = kept.imageWidth;
    ctx.imageHeight = kept.imageHeight;
    ctx.currentFrame = kept.currentFrame;
    ctx.workWidth = kept.workWidth;
    ctx.workHeight = kept.workHeight;
    ctx.lastFrame = kept.lastFrame;
    ctx.effectPath = kept.effectPath;
    ctx.actionRecord = kept.actionRecord;
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
}

void clearMesh(OperatorContext &ctx)
{
    busy();
    redrawKeys(ctx, insertKey(ctx));
    drawThumbnails(ctx);
    drawFrameMarker(ctx);
    drawTimeline(ctx);
    clearGenerator(ctx);
    memset(ctx.meshA, 0, ctx.meshCapacity * sizeof(MeshNode));
    memset(ctx.meshBase, 0, ctx.meshCapacity * sizeof(MeshNode));
    redrawKeys(ctx, storeKey(ctx));
    renderPreview(ctx);
    drawEditView(ctx);
    standard();
}

void revert(OperatorContext &ctx)
{
    busy();
    ctx.keyModified = 0;
    clearGenerator(ctx);
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    copyMesh(ctx.meshA, ctx.meshBase, gridNodeCount(ctx));
    renderPreview(ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ctx);
    standard();
}

void removeKey(OperatorContext &ctx)
{
    busy();
    ctx.keyModified = 0;
    memset(ctx.generatorParams, 0, sizeof ctx.generatorParams);
    deleteKey(ctx);
    drawThumbnails(ctx);
    drawFrameMarker(ctx);
    drawTimeline(ctx);
    setGadgetValue(ctx, GADGET_AMOUNT, 0);
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    renderPreview(ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ctx);
    setGadgetValue(ctx, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    standard();
}

void chooseGenerator(OperatorContext &ctx, int32_t value)
{
    if (value < 0 || value > GENERATOR_COUNT)
        return;
    const int32_t old = ctx.generatorType;
    ctx.generatorType = value;
    if (old != 0 && value == 0) {
        if (ctx.keyModified == 1)
            redrawKeys(ctx, storeKey(ctx));
        applyGenerators(ctx);
        drawEditView(ctx);
    } else if (old == 0 && value != 0) {
        redrawKeys(ctx, storeKey(ctx));
        applyGenerators(ctx);
        drawEditView(ctx);
    }
    if (value != 0) {
        setGadgetValue(ctx, GADGET_AMOUNT, ctx.generatorParams[value]);
        vgEnableElement(ctx.requestHandle, ctx.editor.gadget[GADGET_AMOUNT]);
    } else {
        setGadgetValue(ctx, GADGET_AMOUNT, 0);
        vgDisableElement(ctx.requestHandle, ctx.editor.gadget[GADGET_AMOUNT]);
    }
}

// The default effect in place of the keys, after the user confirms.
void resetEffect(OperatorContext &ctx)
{
    TextRequest question = {};
    question.text = resGetString(ctx.stringTable, 506);
    question.kind = 67;
    vreqTextRequest(&question);
    if (question.result != 1)
        return;
    fillMeterRecord(ctx, 2);
    busy();
    freeKeys(ctx);
    clearGenerator(ctx);
    if (createFirstKey(ctx) != 0 || createLastKey(ctx) != 0) {
        LOG_FAILURE(ctx.variant);
        ctx.editor.leave = 1;
        standard();
        return;
    }
    vreqOpenMeter(&ctx.meterRecord);
    ctx.currentFrame = ctx.lastFrame;
    fetchFrameFields(ctx);
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    renderThumbnail(ctx, ctx.keyList->next);
    vreqUpdateMeter(&ctx.meterRecord, 3, 1);
    ctx.currentFrame = 0;
    fetchFrameFields(ctx);
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    renderThumbnail(ctx, ctx.keyList);
    renderPreviewPicture(ctx);
    vreqCloseMeter(&ctx.meterRecord);
    drawThumbnails(ctx);
    drawFrameMarker(ctx);
    drawTimeline(ctx);
    drawOverview(ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ctx);
    setGadgetValue(ctx, GADGET_FRAME, ctx.currentFrame);
    setGadgetValue(ctx, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    standard();
}

void reactToGadget(OperatorContext &ctx, uint32_t code, int32_t value)
{
    ctx.lastGadget = (int32_t)code;
    const int g = gadgetOf(ctx, code);
    if (g >= GADGET_BRUSH_SIZE && g < GADGET_BRUSH_SIZE + 4) {
        ctx.brushSizeIndex = g - GADGET_BRUSH_SIZE;
        setBrushRadius(ctx);
    } else if (g >= GADGET_ZOOM && g < GADGET_ZOOM + 3) {
        chooseZoom(ctx, g - GADGET_ZOOM);
    } else if (g >= GADGET_VIEW && g < GADGET_VIEW + 3) {
        static const int32_t blends[3] = {0, 128, 255};
        setViewBlend(ctx, blends[g - GADGET_VIEW], true);
    }
    switch (g) {
    case GADGET_DONE:
        redrawKeys(ctx, storeKey(ctx));
        ctx.editor.leave = 1;
        break;
    case GADGET_RESET:
        resetEffect(ctx);
        break;
    case GADGET_AMOUNT:
        changeAmount(ctx, value);
        break;
    case GADGET_VIEW_BLEND:
        setViewBlend(ctx, value, false);
        break;
    case GADGET_KEY_LEVEL:
        changeKeyLevel(ctx, value);
        break;
    case GADGET_FRAME:
        moveFrameSlider(ctx, value);
        break;
    case GADGET_FIRST_KEY:
    case GADGET_LAST_KEY:
        busy();
        redrawKeys(ctx, storeKey(ctx));
        clearGenerator(ctx);
        if (g == GADGET_FIRST_KEY)
            goToFirstKey(ctx);
        else
            goToLastKey(ctx);
        standard();
        break;
    case GADGET_PREVIEW:
        preview(ctx);
        break;
    case GADGET_CLEAR:
        clearMesh(ctx);
        break;
    case GADGET_REVERT:
        revert(ctx);
        break;
    case GADGET_DELETE_KEY:
        removeKey(ctx);
        break;
    case GADGET_MIRROR:
        if (value == 0 || value == 1)
            ctx.mirrorMode = value;
        break;
    case GADGET_GENERATOR:
        chooseGenerator(ctx, value);
        break;
    case GADGET_BRUSH_PRESET:
        if (applyBrushPreset(ctx, value))
            ctx.editor.params->brushPreset = (int16_t)value;
        break;
    default:
        break;
    }
}

} // namespace

uint32_t timelineFrame(const OperatorContext &ctx, int32_t x)
{
    if (ctx.lastFrame <= 0 || ctx.timelineWidth <= 0)
        return 0;
    int64_t c = (int64_t)x - ctx.overviewX - 14;
    c = c < 0 ? 0 : (c > ctx.timelineWidth ? ctx.timelineWidth : c);
    return (uint32_t)((uint64_t)c * (uint64_t)ctx.lastFrame / (uint64_t)ctx.timelineWidth);
}

void setGadgetValue(OperatorContext &ctx, int gadget, int32_t value)
{
    if (ctx.editor.gadget[gadget] != -1)
        vgChangeElement(ctx.requestHandle, ctx.editor.gadget[gadget], 40, value, 1);
}

void renderPreview(OperatorContext &ctx)
{
    renderPreviewPicture(ctx);
    drawOverview(ctx);
}

void clearGenerator(OperatorContext &ctx)
{
    setGadgetValue(ctx, GADGET_AMOUNT, 0);
    memset(ctx.generatorParams, 0, sizeof ctx.generatorParams);
}

void reactToMessage(OperatorContext &ctx, const EditorMessage &m)
{
    switch (m.type) {
    case EDITOR_MSG_KEY:
        reactToKey(ctx, m.u.code);
        break;
    case EDITOR_MSG_MOUSE_MOVE:
        if (ctx.editor.dragging) {
            ctx.keyModified = 1;
            if (strokeMove(strokeToolsOf(ctx), ctx.stroke, m.u.mouse.x, m.y))
                drawEditView(ctx);
        }
        break;
    case EDITOR_MSG_MOUSE_BUTTON:
        reactToButton(ctx, m.u.mouse.button, m.u.mouse.x, m.y);
        break;
    case EDITOR_MSG_GADGET:
        reactToGadget(ctx, m.u.code, m.value);
        break;
    case EDITOR_MSG_CLOSE:
        ctx.editor.leave = 1;
        break;
    default:
        break;
    }
}

// The brush, mesh and view the edit view's strokes paint with.
StrokeTools strokeToolsOf(OperatorContext &ctx)
{
    return {{ctx.meshA, ctx.brushKernel, ctx.meshCols, ctx.meshRows, ctx.meshCapacity,
             ctx.falloffTable},
            {ctx.brushRadius, ctx.brushStrength, ctx.brushMode},
            {ctx.viewZoom, ctx.viewScale, ctx.imageAreaX, ctx.imageAreaY, ctx.viewScrollX,
             ctx.viewScrollY},
            ctx.mirrorMode == 1};
}
