// The editor's reactions to keys, the mouse and the gadgets, and the key
// navigation.
#include <cstring>

#include "editor/draw.h"
#include "editor/session.h"
#include "editor/undo.h"
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

bool inEditView(const EditorState &ed, int32_t x, int32_t y)
{
    const int32_t top = ed.editBoxY + ed.rowHeight + 20;
    return inside(x, ed.editBoxX + 12, ed.editBoxX + 12 + ed.editViewWidth) &&
           inside(y, top, top + ed.editViewHeight);
}

bool inOverview(const EditorState &ed, int32_t x, int32_t y)
{
    return inside(x, ed.overviewX + 12, ed.overviewX + 12 + ed.overviewWidth) &&
           inside(y, ed.overviewY + 12, ed.overviewY + 12 + ed.overviewHeight);
}

// 0, 1, 2 for the previous, current and next thumbnail; -1 elsewhere.
int thumbnailSlot(const EditorState &ed, int32_t x, int32_t y)
{
    const int32_t top = ed.overviewY + ed.overviewHeight + 64;
    if (!inside(y, top, top + 24))
        return -1;
    for (int slot = 0; slot < 3; ++slot)
        if (inside(x, ed.overviewX + 34 + 42 * slot, ed.overviewX + 66 + 42 * slot))
            return slot;
    return -1;
}

bool inTimeline(const EditorState &ed, int32_t x)
{
    return x >= ed.overviewX + 10 && x <= ed.overviewX + ed.timelineWidth + 18;
}

bool inTimelineRow(const EditorState &ed, int32_t y, int from, int to)
{
    const int32_t base = ed.overviewY + ed.overviewHeight;
    return inside(y, base + from, base + to);
}

bool inLogo(const EditorState &ed, int32_t x, int32_t y)
{
    return x >= ed.session.logoX + 14 && x <= ed.session.logoX + 74 &&
           inside(y, ed.session.logoY + 14, ed.session.logoY + 3 * ed.rowHeight + 44);
}

void busy(void)
{
    vgBusyPointer();
}

void standard(void)
{
    vgStandardPointer();
}

void leaveKey(EditorState &ed, OperatorContext &ctx)
{
    redrawKeys(ed, ctx, storeKey(ctx));
    clearGenerator(ed);
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
void goToKey(EditorState &ed, OperatorContext &ctx, const KeyRecord *key, bool refresh = true)
{
    if (!key)
        return;
    const uint32_t last = ctx.lastFrame > 0 ? (uint32_t)ctx.lastFrame : 0u;
    ctx.currentFrame = (int32_t)(key->frame > last ? last : key->frame);
    ctx.dissolveLevel = key->level;
    drawThumbnails(ed, ctx);
    drawFrameMarker(ed, ctx);
    setGadgetValue(ed, GADGET_FRAME, ctx.currentFrame);
    setGadgetValue(ed, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    if (refresh)
        refreshFrame(ed, ctx);
    else
        ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
}

bool atLastFrame(const OperatorContext &ctx)
{
    return ctx.currentFrame == ctx.lastFrame;
}

void goToNextKey(EditorState &ed, OperatorContext &ctx)
{
    if (atLastFrame(ctx))
        return;
    const KeyRecord *k = intervalOf(ctx, (uint32_t)ctx.currentFrame);
    if (k)
        goToKey(ed, ctx, k->next);
}

void goToPreviousKey(EditorState &ed, OperatorContext &ctx)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    if (t == 0)
        return;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
        if (k->frame == t) {
            goToKey(ed, ctx, k->prev);
            return;
        }
        if (k->next && k->frame < t && t < k->next->frame) {
            goToKey(ed, ctx, k);
            return;
        }
    }
}

void goToFirstKey(EditorState &ed, OperatorContext &ctx)
{
    if (ctx.currentFrame != 0)
        goToKey(ed, ctx, ctx.keyList);
}

void goToLastKey(EditorState &ed, OperatorContext &ctx)
{
    if (!atLastFrame(ctx))
        goToKey(ed, ctx, lastKey(ctx));
}

// The nearer key of the interval of f (ties to the earlier); at or past the
// last key, the last key.
void goToNearestKey(EditorState &ed, OperatorContext &ctx, uint32_t f)
{
    const KeyRecord *k = intervalOf(ctx, f);
    if (!k) {
        const KeyRecord *last = lastKey(ctx);
        if (last && f >= last->frame)
            goToKey(ed, ctx, last);
        return;
    }
    const uint32_t toNext = k->next->frame - f, toKey = f - k->frame;
    goToKey(ed, ctx, toNext < toKey ? k->next : k);
}

// ---- keys ---------------------------------------------------------------

void pasteSteps(EditorState &ed, OperatorContext &ctx)
{
    renderPreview(ed, ctx);
    drawEditView(ed, ctx);
    ctx.keyModified = 1;
    redrawKeys(ed, ctx, insertKey(ctx));
}

void reactToKey(EditorState &ed, OperatorContext &ctx, uint32_t code)
{
    ed.lastKeyCode = (int32_t)code;
    switch (code) {
    case KEY_COPY:
        beginStep(ed, ctx);
        copyMesh(ctx.meshA, ctx.meshClipboard, gridNodeCount(ctx));
        endStep(ed, ctx);
        break;
    case KEY_PASTE:
        beginStep(ed, ctx);
        copyMesh(ctx.meshClipboard, ctx.meshA, gridNodeCount(ctx));
        pasteSteps(ed, ctx);
        endStep(ed, ctx);
        break;
    case KEY_SWAP:
        beginStep(ed, ctx);
        swapMesh(ctx.meshA, ctx.meshClipboard, gridNodeCount(ctx));
        pasteSteps(ed, ctx);
        endStep(ed, ctx);
        break;
    case KEY_UNDO:
        undoStep(ed, ctx);
        break;
    case KEY_REDO:
    case KEY_REDO_Y:
        redoStep(ed, ctx);
        break;
    default:
        break;
    }
}

// ---- mouse ----------------------------------------------------------------

void formatAbout(EditorState &ed, OperatorContext &ctx)
{
    // The text is a resource: only %d takes a number, %% a percent sign;
    // everything else is copied as it stands, never past the buffer.
    const char *text = resGetString(ctx.stringTable, ctx.variant->aboutText);
    char *out = ed.session.aboutText;
    const size_t size = sizeof ed.session.aboutText;
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

void leftPress(EditorState &ed, OperatorContext &ctx, int32_t x, int32_t y)
{
    if (inEditView(ed, x, y)) {
        beginStep(ed, ctx); // ends with the release
        ed.session.dragging = MOUSE_LEFT_DOWN;
        ctx.keyModified = 1;
        redrawKeys(ed, ctx, insertKey(ctx));
        strokeBegin(strokeToolsOf(ed, ctx), ed.stroke, x, y);
        return;
    }
    if (inOverview(ed, x, y)) {
        busy();
        setZoomOrigin(ed, x - ed.overviewX - 12, y - ed.overviewY - 12);
        drawOverview(ed, ctx);
        drawEditView(ed, ctx);
        standard();
        return;
    }
    const int slot = thumbnailSlot(ed, x, y);
    if (slot >= 0) {
        busy();
        leaveKey(ed, ctx);
        if (slot == 0)
            goToPreviousKey(ed, ctx);
        else if (slot == 2)
            goToNextKey(ed, ctx);
        else {
            goToKey(ed, ctx, intervalOf(ctx, (uint32_t)ctx.currentFrame), false);
            refreshFrame(ed, ctx);
        }
        standard();
        return;
    }
    if (inTimeline(ed, x) && inTimelineRow(ed, y, 26, 40)) {
        busy();
        leaveKey(ed, ctx);
        goToNearestKey(ed, ctx, timelineFrame(ed, ctx, x));
        standard();
        return;
    }
    if (inTimeline(ed, x) && inTimelineRow(ed, y, 44, 54)) {
        busy();
        leaveKey(ed, ctx);
        ctx.currentFrame = (int32_t)timelineFrame(ed, ctx, x);
        drawThumbnails(ed, ctx);
        drawFrameMarker(ed, ctx);
        setGadgetValue(ed, GADGET_FRAME, ctx.currentFrame);
        refreshFrame(ed, ctx);
        // The slider shows the new frame's level, as after the frame slider.
        setGadgetValue(ed, GADGET_KEY_LEVEL, ctx.dissolveLevel);
        standard();
        return;
    }
    if (inLogo(ed, x, y)) {
        formatAbout(ed, ctx);
        showMessage(ed.session.aboutText, 1);
    }
}

// The release that ends a drag of either button: the last paint, the
// generator's amounts back to zero and the preview of the painted frame.
void finishDrag(EditorState &ed, OperatorContext &ctx, int32_t x, int32_t y)
{
    ed.session.dragging = 0;
    ctx.keyModified = 1;
    if (strokeEnd(strokeToolsOf(ed, ctx), ed.stroke, x, y))
        drawEditView(ed, ctx);
    clearGenerator(ed);
    if (ctx.variant->hasMeshB)
        resetMeshB(ctx);
    renderPreview(ed, ctx);
}

void leftRelease(EditorState &ed, OperatorContext &ctx, int32_t x, int32_t y)
{
    ed.generatorApplied = 0;
    if (ed.session.dragging == MOUSE_LEFT_DOWN) {
        finishDrag(ed, ctx, x, y);
        return;
    }
    if (ed.session.dragging)
        return;
    const int32_t last = ed.lastGadget;
    if (last == 0 || last == -1) // no gadget since the last release
        return;
    if (last == ed.session.gadget[GADGET_FRAME]) {
        busy();
        ed.session.frameSliderMoved = 0;
        ed.lastGadget = 0;
        refreshFrame(ed, ctx);
        setGadgetValue(ed, GADGET_KEY_LEVEL, ctx.dissolveLevel);
        standard();
    } else if (last == ed.session.gadget[GADGET_KEY_LEVEL]) {
        ed.lastGadget = 0;
        redrawKeys(ed, ctx, insertKey(ctx));
    } else if (last == ed.session.gadget[GADGET_AMOUNT]) {
        // The generated mesh stays what the editor shows and stores.
        busy();
        ed.lastGadget = 0;
        redrawKeys(ed, ctx, insertKeyFromBase(ctx));
        applyGenerators(ed, ctx);
        if (ctx.variant->hasMeshB)
            ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
        renderPreview(ed, ctx);
        applyGenerators(ed, ctx);
        standard();
    }
}

void rightPress(EditorState &ed, OperatorContext &ctx, int32_t x, int32_t y)
{
    if (ed.session.dragging || !inEditView(ed, x, y))
        return;
    beginStep(ed, ctx); // ends with the release
    ed.session.dragging = MOUSE_RIGHT_DOWN;
    ctx.keyModified = 1;
    redrawKeys(ed, ctx, insertKeyFromBase(ctx));
    ed.savedBrushStrength = ed.brushStrength;
    ed.savedBrushMode = ed.brushMode;
    ed.brushStrength = 0.5f;
    ed.brushMode = 3;
    strokeBegin(strokeToolsOf(ed, ctx), ed.stroke, x, y);
}

void rightRelease(EditorState &ed, OperatorContext &ctx, int32_t x, int32_t y)
{
    ed.generatorApplied = 0;
    if (ed.session.dragging != MOUSE_RIGHT_DOWN)
        return;
    finishDrag(ed, ctx, x, y);
    ed.brushStrength = ed.savedBrushStrength;
    ed.brushMode = ed.savedBrushMode;
}

void reactToButton(EditorState &ed, OperatorContext &ctx, uint16_t button, int32_t x, int32_t y)
{
    switch (button) {
    case MOUSE_RIGHT_DOWN:
        rightPress(ed, ctx, x, y);
        break;
    case MOUSE_RIGHT_UP:
        rightRelease(ed, ctx, x, y);
        break;
    case MOUSE_LEFT_DOWN:
        leftPress(ed, ctx, x, y);
        break;
    case MOUSE_LEFT_UP:
        leftRelease(ed, ctx, x, y);
        break;
    default:
        break;
    }
}

// ---- gadgets ------------------------------------------------------------

int gadgetOf(const EditorState &ed, uint32_t code)
{
    if ((int32_t)code == -1)
        return -1;
    for (int g = 0; g < EDITOR_GADGET_COUNT; ++g)
        if (ed.session.gadget[g] == (int32_t)code)
            return g;
    return -1;
}

void chooseZoom(EditorState &ed, OperatorContext &ctx, int zoom)
{
    ed.viewZoom = zoom;
    if (zoom == 0)
        ed.viewScrollX = ed.viewScrollY = 0;
    else
        setZoomOrigin(ed, ed.zoomClickX, ed.zoomClickY);
    setBrushRadius(ed);
    busy();
    drawOverview(ed, ctx);
    drawEditView(ed, ctx);
    standard();
}

void changeAmount(EditorState &ed, OperatorContext &ctx, int32_t value)
{
    if (ed.generatorType == 0 || value < -100 || value > 100)
        return;
    beginStep(ed, ctx, (uint32_t)ed.session.gadget[GADGET_AMOUNT]); // ends with the release
    busy();
    if (ctx.keyModified == 1)
        redrawKeys(ed, ctx, storeKey(ctx));
    redrawKeys(ed, ctx, insertKey(ctx));
    if (ed.generatorApplied == 0) {
        copyMesh(ctx.meshA, ctx.meshBase, gridNodeCount(ctx));
        ed.generatorApplied = 1;
    }
    ed.generatorParams[ed.generatorType] = value;
    applyGenerators(ed, ctx);
    drawEditView(ed, ctx);
    standard();
}

void changeKeyLevel(EditorState &ed, OperatorContext &ctx, int32_t value)
{
    if (value < 0 || value > 255)
        return;
    beginStep(ed, ctx, (uint32_t)ed.session.gadget[GADGET_KEY_LEVEL]); // ends with the release
    if (!ctx.variant->hasMeshB) {
        // The level mixes the inputs before the warp; it is stored with the key's mesh.
        ctx.keyModified = 1;
        ctx.dissolveLevel = value;
        clearGenerator(ed);
        renderPreview(ed, ctx);
        return;
    }
    if (ctx.keyModified == 1)
        redrawKeys(ed, ctx, storeKey(ctx));
    ctx.dissolveLevel = value;
    redrawKeys(ed, ctx, storeKeyLevel(ctx));
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    ctx.dissolveLevel = value;
    renderPreview(ed, ctx);
    applyGenerators(ed, ctx);
    ctx.dissolveLevel = value;
}

void setViewBlend(EditorState &ed, OperatorContext &ctx, int32_t value, bool moveSlider)
{
    if (value < 0 || value > 255)
        return;
    ed.viewBlend = value;
    if (moveSlider)
        setGadgetValue(ed, GADGET_VIEW_BLEND, value);
    drawEditView(ed, ctx);
}

void moveFrameSlider(EditorState &ed, OperatorContext &ctx, int32_t value)
{
    if (value < 0 || value > ctx.lastFrame)
        return;
    if (!ed.session.frameSliderMoved) {
        ed.session.frameSliderMoved = 1;
        redrawKeys(ed, ctx, storeKey(ctx));
    } else if (ctx.keyModified == 1) {
        redrawKeys(ed, ctx, storeKey(ctx));
    }
    clearGenerator(ed);
    ctx.currentFrame = value;
    // The meshes belong to the frame shown, before anything can store them.
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    drawThumbnails(ed, ctx);
    drawFrameMarker(ed, ctx);
    drawTimeline(ed, ctx);
}

void preview(EditorState &ed, OperatorContext &ctx)
{
    redrawKeys(ed, ctx, storeKey(ctx));
    renderPreview(ed, ctx);
    clearGenerator(ed);
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

void clearMesh(EditorState &ed, OperatorContext &ctx)
{
    beginStep(ed, ctx);
    busy();
    redrawKeys(ed, ctx, insertKey(ctx));
    drawThumbnails(ed, ctx);
    drawFrameMarker(ed, ctx);
    drawTimeline(ed, ctx);
    clearGenerator(ed);
    memset(ctx.meshA, 0, ctx.meshCapacity * sizeof(MeshNode));
    memset(ctx.meshBase, 0, ctx.meshCapacity * sizeof(MeshNode));
    redrawKeys(ed, ctx, storeKey(ctx));
    renderPreview(ed, ctx);
    drawEditView(ed, ctx);
    endStep(ed, ctx);
    standard();
}

void revert(EditorState &ed, OperatorContext &ctx)
{
    beginStep(ed, ctx);
    busy();
    ctx.keyModified = 0;
    clearGenerator(ed);
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    copyMesh(ctx.meshA, ctx.meshBase, gridNodeCount(ctx));
    renderPreview(ed, ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ed, ctx);
    endStep(ed, ctx);
    standard();
}

void removeKey(EditorState &ed, OperatorContext &ctx)
{
    beginStep(ed, ctx);
    busy();
    ctx.keyModified = 0;
    memset(ed.generatorParams, 0, sizeof ed.generatorParams);
    deleteKey(ctx);
    drawThumbnails(ed, ctx);
    drawFrameMarker(ed, ctx);
    drawTimeline(ed, ctx);
    setGadgetValue(ed, GADGET_AMOUNT, 0);
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    renderPreview(ed, ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ed, ctx);
    setGadgetValue(ed, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    endStep(ed, ctx);
    standard();
}

void chooseGenerator(EditorState &ed, OperatorContext &ctx, int32_t value)
{
    if (value < 0 || value > GENERATOR_COUNT)
        return;
    const int32_t old = ed.generatorType;
    ed.generatorType = value;
    if (old != 0 && value == 0) {
        if (ctx.keyModified == 1)
            redrawKeys(ed, ctx, storeKey(ctx));
        applyGenerators(ed, ctx);
        drawEditView(ed, ctx);
    } else if (old == 0 && value != 0) {
        redrawKeys(ed, ctx, storeKey(ctx));
        applyGenerators(ed, ctx);
        drawEditView(ed, ctx);
    }
    if (value != 0) {
        setGadgetValue(ed, GADGET_AMOUNT, ed.generatorParams[value]);
        vgEnableElement(ed.requestHandle, ed.session.gadget[GADGET_AMOUNT]);
    } else {
        setGadgetValue(ed, GADGET_AMOUNT, 0);
        vgDisableElement(ed.requestHandle, ed.session.gadget[GADGET_AMOUNT]);
    }
}

// The default effect in place of the keys, after the user confirms.
void resetEffect(EditorState &ed, OperatorContext &ctx)
{
    TextRequest question = {};
    question.text = resGetString(ctx.stringTable, 506);
    question.kind = 67;
    vreqTextRequest(&question);
    if (question.result != 1)
        return;
    beginStep(ed, ctx);
    fillMeterRecord(ctx, 2);
    busy();
    freeKeys(ctx);
    clearGenerator(ed);
    if (createFirstKey(ctx) != 0 || createLastKey(ctx) != 0) {
        LOG_FAILURE(ctx.variant); // journal: Start over: no memory for the first and last keys
        ed.session.leave = 1;
        standard();
        return;
    }
    vreqOpenMeter(&ctx.meterRecord);
    ctx.currentFrame = ctx.lastFrame;
    fetchFrameFields(ctx, ed.fields);
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    renderThumbnail(ctx, ctx.keyList->next);
    vreqUpdateMeter(&ctx.meterRecord, 3, 1);
    ctx.currentFrame = 0;
    fetchFrameFields(ctx, ed.fields);
    ctx.dissolveLevel = interpolateMeshes(ctx, ctx.dissolveLevel);
    renderThumbnail(ctx, ctx.keyList);
    renderPreviewPicture(ed, ctx);
    vreqCloseMeter(&ctx.meterRecord);
    drawThumbnails(ed, ctx);
    drawFrameMarker(ed, ctx);
    drawTimeline(ed, ctx);
    drawOverview(ed, ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ed, ctx);
    setGadgetValue(ed, GADGET_FRAME, ctx.currentFrame);
    setGadgetValue(ed, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    endStep(ed, ctx);
    standard();
}

void reactToGadget(EditorState &ed, OperatorContext &ctx, uint32_t code, int32_t value)
{
    ed.lastGadget = (int32_t)code;
    const int g = gadgetOf(ed, code);
    if (g >= GADGET_BRUSH_SIZE && g < GADGET_BRUSH_SIZE + 4) {
        ed.brushSizeIndex = g - GADGET_BRUSH_SIZE;
        setBrushRadius(ed);
    } else if (g >= GADGET_ZOOM && g < GADGET_ZOOM + 3) {
        chooseZoom(ed, ctx, g - GADGET_ZOOM);
    } else if (g >= GADGET_VIEW && g < GADGET_VIEW + 3) {
        static const int32_t blends[3] = {0, 128, 255};
        setViewBlend(ed, ctx, blends[g - GADGET_VIEW], true);
    }
    switch (g) {
    case GADGET_DONE:
        redrawKeys(ed, ctx, storeKey(ctx));
        ed.session.leave = 1;
        break;
    case GADGET_RESET:
        resetEffect(ed, ctx);
        break;
    case GADGET_AMOUNT:
        changeAmount(ed, ctx, value);
        break;
    case GADGET_VIEW_BLEND:
        setViewBlend(ed, ctx, value, false);
        break;
    case GADGET_KEY_LEVEL:
        changeKeyLevel(ed, ctx, value);
        break;
    case GADGET_FRAME:
        moveFrameSlider(ed, ctx, value);
        break;
    case GADGET_FIRST_KEY:
    case GADGET_LAST_KEY:
        busy();
        redrawKeys(ed, ctx, storeKey(ctx));
        clearGenerator(ed);
        if (g == GADGET_FIRST_KEY)
            goToFirstKey(ed, ctx);
        else
            goToLastKey(ed, ctx);
        standard();
        break;
    case GADGET_PREVIEW:
        preview(ed, ctx);
        break;
    case GADGET_CLEAR:
        clearMesh(ed, ctx);
        break;
    case GADGET_REVERT:
        revert(ed, ctx);
        break;
    case GADGET_DELETE_KEY:
        removeKey(ed, ctx);
        break;
    case GADGET_MIRROR:
        if (value == 0 || value == 1)
            ed.mirrorMode = value;
        break;
    case GADGET_GENERATOR:
        chooseGenerator(ed, ctx, value);
        break;
    case GADGET_BRUSH_PRESET:
        if (applyBrushPreset(ed, value))
            ed.session.params->brushPreset = (int16_t)value;
        break;
    default:
        break;
    }
}

} // namespace

uint32_t timelineFrame(const EditorState &ed, const OperatorContext &ctx, int32_t x)
{
    if (ctx.lastFrame <= 0 || ed.timelineWidth <= 0)
        return 0;
    int64_t c = (int64_t)x - ed.overviewX - 14;
    c = c < 0 ? 0 : (c > ed.timelineWidth ? ed.timelineWidth : c);
    return (uint32_t)((uint64_t)c * (uint64_t)ctx.lastFrame / (uint64_t)ed.timelineWidth);
}

void setGadgetValue(EditorState &ed, int gadget, int32_t value)
{
    if (ed.session.gadget[gadget] != -1)
        vgChangeElement(ed.requestHandle, ed.session.gadget[gadget], 40, value, 1);
}

void renderPreview(EditorState &ed, OperatorContext &ctx)
{
    renderPreviewPicture(ed, ctx);
    drawOverview(ed, ctx);
}

void clearGenerator(EditorState &ed)
{
    setGadgetValue(ed, GADGET_AMOUNT, 0);
    memset(ed.generatorParams, 0, sizeof ed.generatorParams);
}

void applyGenerators(const EditorState &ed, OperatorContext &ctx)
{
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    if (ed.generatorType == 0)
        return;
    // The working mesh must hold a whole grid before any generator writes it.
    if (!ctx.meshA || gridNodeCount(ctx) > ctx.meshCapacity)
        return;
    const GeneratorGeometry size = generatorGeometryOf(ctx);
    for (int n = 1; n <= GENERATOR_COUNT; ++n)
        if (ed.generatorParams[n] != 0)
            applyGenerator(size, ctx.meshA, n, ed.generatorParams[n], true);
}

namespace {

void reactTo(EditorState &ed, OperatorContext &ctx, const EditorMessage &m)
{
    switch (m.type) {
    case EDITOR_MSG_KEY:
        reactToKey(ed, ctx, m.u.code);
        break;
    case EDITOR_MSG_MOUSE_MOVE:
        if (ed.session.dragging) {
            ctx.keyModified = 1;
            if (strokeMove(strokeToolsOf(ed, ctx), ed.stroke, m.u.mouse.x, m.y))
                drawEditView(ed, ctx);
        }
        break;
    case EDITOR_MSG_MOUSE_BUTTON:
        reactToButton(ed, ctx, m.u.mouse.button, m.u.mouse.x, m.y);
        break;
    case EDITOR_MSG_GADGET:
        reactToGadget(ed, ctx, m.u.code, m.value);
        break;
    case EDITOR_MSG_CLOSE:
        ed.session.leave = 1;
        break;
    default:
        break;
    }
}

} // namespace

void reactToMessage(EditorState &ed, OperatorContext &ctx, const EditorMessage &m)
{
    // A slider's step ends with the first message that is not its own.
    if (!stepGoesOn(ed, m))
        endStep(ed, ctx);
    reactTo(ed, ctx, m);
    // A release ends the stroke or slider use it belongs to.
    if (m.type == EDITOR_MSG_MOUSE_BUTTON && (m.u.mouse.button & 0x80) && !ed.session.dragging)
        endStep(ed, ctx);
}

// The brush, mesh and view the edit view's strokes paint with.
StrokeTools strokeToolsOf(EditorState &ed, const OperatorContext &ctx)
{
    return {
        {ctx.meshA, ctx.brushKernel, ctx.meshCols, ctx.meshRows, ctx.meshCapacity,
         ctx.falloffTable},
        {ed.brushRadius, ed.brushStrength, ed.brushMode},
        {ed.viewZoom, ed.viewScale, ed.imageAreaX, ed.imageAreaY, ed.viewScrollX, ed.viewScrollY},
        ed.mirrorMode == 1};
}
