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
#include "operator/operator.h"
#include "variants/variant.h"

namespace {

enum { KEY_COPY = 0x20063, KEY_PASTE = 0x20076, KEY_SWAP = 0x20073 };

EditorSession &ed = ctx.editor;

bool inside(int32_t v, int32_t low, int32_t high) // low <= v < high
{
    return v >= low && v < high;
}

bool inEditView(int32_t x, int32_t y)
{
    const int32_t top = ctx.editBoxY + ctx.rowHeight + 20;
    return inside(x, ctx.editBoxX + 12, ctx.editBoxX + 12 + ctx.editViewWidth) &&
           inside(y, top, top + ctx.editViewHeight);
}

bool inOverview(int32_t x, int32_t y)
{
    return inside(x, ctx.overviewX + 12, ctx.overviewX + 12 + ctx.overviewWidth) &&
           inside(y, ctx.overviewY + 12, ctx.overviewY + 12 + ctx.overviewHeight);
}

// 0, 1, 2 for the previous, current and next thumbnail; -1 elsewhere.
int thumbnailSlot(int32_t x, int32_t y)
{
    const int32_t top = ctx.overviewY + ctx.overviewHeight + 64;
    if (!inside(y, top, top + 24))
        return -1;
    for (int slot = 0; slot < 3; ++slot)
        if (inside(x, ctx.overviewX + 34 + 42 * slot, ctx.overviewX + 66 + 42 * slot))
            return slot;
    return -1;
}

bool inTimeline(int32_t x)
{
    return x >= ctx.overviewX + 10 && x <= ctx.overviewX + ctx.timelineWidth + 18;
}

bool inTimelineRow(int32_t y, int from, int to)
{
    const int32_t base = ctx.overviewY + ctx.overviewHeight;
    return inside(y, base + from, base + to);
}

bool inLogo(int32_t x, int32_t y)
{
    return x >= ed.logoX + 14 && x <= ed.logoX + 74 &&
           inside(y, ed.logoY + 14, ed.logoY + 3 * ctx.rowHeight + 44);
}

void busy(void)
{
    vgBusyPointer();
}

void standard(void)
{
    vgStandardPointer();
}

void interpolateMeshes(void)
{
    interpolateMeshA();
    if (vxVariant->hasMeshB)
        interpolateMeshB();
}

void leaveKey(void)
{
    storeKey();
    clearGenerator();
}

// ---- key navigation ---------------------------------------------------

// The key k with k.frame <= f < next(k).frame, or null.
KeyRecord *intervalOf(uint32_t f)
{
    for (KeyRecord *k = ctx.keyList; k; k = k->next)
        if (k->next && k->frame <= f && f < k->next->frame)
            return k;
    return nullptr;
}

KeyRecord *lastKey(void)
{
    KeyRecord *k = ctx.keyList;
    while (k && k->next)
        k = k->next;
    return k;
}

// The key's frame (never past the last frame) becomes current, with the
// key's level; the pictures follow.
void goToKey(const KeyRecord *key, bool refresh = true)
{
    if (!key)
        return;
    const uint32_t last = ctx.lastFrame > 0 ? (uint32_t)ctx.lastFrame : 0u;
    ctx.currentFrame = (int32_t)(key->frame > last ? last : key->frame);
    ctx.dissolveLevel = key->level;
    drawThumbnails();
    drawFrameMarker();
    setGadgetValue(GADGET_FRAME, ctx.currentFrame);
    setGadgetValue(GADGET_KEY_LEVEL, ctx.dissolveLevel);
    if (refresh)
        refreshFrame();
    else
        interpolateMeshes();
}

bool atLastFrame(void)
{
    return ctx.currentFrame == ctx.lastFrame;
}

void goToNextKey(void)
{
    if (atLastFrame())
        return;
    const KeyRecord *k = intervalOf((uint32_t)ctx.currentFrame);
    if (k)
        goToKey(k->next);
}

void goToPreviousKey(void)
{
    const uint32_t t = (uint32_t)ctx.currentFrame;
    if (t == 0)
        return;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
        if (k->frame == t) {
            goToKey(k->prev);
            return;
        }
        if (k->next && k->frame < t && t < k->next->frame) {
            goToKey(k);
            return;
        }
    }
}

void goToFirstKey(void)
{
    if (ctx.currentFrame != 0)
        goToKey(ctx.keyList);
}

void goToLastKey(void)
{
    if (!atLastFrame())
        goToKey(lastKey());
}

// The nearer key of the interval of f (ties to the earlier); at or past the
// last key, the last key.
void goToNearestKey(uint32_t f)
{
    const KeyRecord *k = intervalOf(f);
    if (!k) {
        const KeyRecord *last = lastKey();
        if (last && f >= last->frame)
            goToKey(last);
        return;
    }
    const uint32_t toNext = k->next->frame - f, toKey = f - k->frame;
    goToKey(toNext < toKey ? k->next : k);
}

// ---- keys ---------------------------------------------------------------

void pasteSteps(void)
{
    renderPreview();
    drawEditView();
    ctx.keyModified = 1;
    insertKey();
}

void reactToKey(uint32_t code)
{
    ctx.lastKeyCode = (int32_t)code;
    switch (code) {
    case KEY_COPY:
        copyMesh(ctx.meshA, ctx.meshClipboard);
        break;
    case KEY_PASTE:
        copyMesh(ctx.meshClipboard, ctx.meshA);
        pasteSteps();
        break;
    case KEY_SWAP:
        swapMesh(ctx.meshA, ctx.meshClipboard);
        pasteSteps();
        break;
    default:
        break;
    }
}

// ---- mouse ----------------------------------------------------------------

void formatAbout(void)
{
    // The text is a resource: only %d takes a number, %% a percent sign;
    // everything else is copied as it stands, never past the buffer.
    const char *text = resGetString(ctx.stringTable, vxVariant->aboutText);
    char *out = ed.aboutText;
    const size_t size = sizeof ed.aboutText;
    size_t n = 0;
    int used = 0;
    for (const char *p = text ? text : ""; *p && n + 1 < size; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            out[n++] = '%';
            ++p;
        } else if (p[0] == '%' && p[1] == 'd' && used < 2) {
            char number[16];
            const int length =
                snprintf(number, sizeof number, "%d", (int)vxVariant->aboutNumbers[used++]);
            for (int i = 0; i < length && n + 1 < size; ++i)
                out[n++] = number[i];
            ++p;
        } else {
            out[n++] = *p;
        }
    }
    out[n] = '\0';
}

void leftPress(int32_t x, int32_t y)
{
    if (inEditView(x, y)) {
        ed.dragging = MOUSE_LEFT_DOWN;
        ctx.keyModified = 1;
        insertKey();
        strokeBegin(x, y);
        return;
    }
    if (inOverview(x, y)) {
        busy();
        setZoomOrigin(x - ctx.overviewX - 12, y - ctx.overviewY - 12);
        drawOverview();
        drawEditView();
        standard();
        return;
    }
    const int slot = thumbnailSlot(x, y);
    if (slot >= 0) {
        busy();
        leaveKey();
        if (slot == 0)
            goToPreviousKey();
        else if (slot == 2)
            goToNextKey();
        else {
            goToKey(intervalOf((uint32_t)ctx.currentFrame), false);
            refreshFrame();
        }
        standard();
        return;
    }
    if (inTimeline(x) && inTimelineRow(y, 26, 40)) {
        busy();
        leaveKey();
        goToNearestKey(timelineFrame(x));
        standard();
        return;
    }
    if (inTimeline(x) && inTimelineRow(y, 44, 54)) {
        busy();
        leaveKey();
        ctx.currentFrame = (int32_t)timelineFrame(x);
        drawThumbnails();
        drawFrameMarker();
        setGadgetValue(GADGET_FRAME, ctx.currentFrame);
        refreshFrame();
        // The slider shows the new frame's level, as after the frame slider.
        setGadgetValue(GADGET_KEY_LEVEL, ctx.dissolveLevel);
        standard();
        return;
    }
    if (inLogo(x, y)) {
        formatAbout();
        showMessage(ed.aboutText, 1);
    }
}

// The release that ends a drag of either button: the last paint, the
// generator's amounts back to zero and the preview of the painted frame.
void finishDrag(int32_t x, int32_t y)
{
    ed.dragging = 0;
    ctx.keyModified = 1;
    strokeEnd(x, y);
    clearGenerator();
    if (vxVariant->hasMeshB)
        resetMeshB();
    renderPreview();
}

void leftRelease(int32_t x, int32_t y)
{
    ctx.generatorApplied = 0;
    if (ed.dragging == MOUSE_LEFT_DOWN) {
        finishDrag(x, y);
        return;
    }
    if (ed.dragging)
        return;
    const int32_t last = ctx.lastGadget;
    if (last == 0 || last == -1) // no gadget since the last release
        return;
    if (last == ed.gadget[GADGET_FRAME]) {
        busy();
        ed.frameSliderMoved = 0;
        ctx.lastGadget = 0;
        refreshFrame();
        setGadgetValue(GADGET_KEY_LEVEL, ctx.dissolveLevel);
        standard();
    } else if (last == ed.gadget[GADGET_KEY_LEVEL]) {
        ctx.lastGadget = 0;
        insertKey();
    } else if (last == ed.gadget[GADGET_AMOUNT]) {
        // The generated mesh stays what the editor shows and stores.
        busy();
        ctx.lastGadget = 0;
        insertKeyFromBase();
        applyGenerators();
        if (vxVariant->hasMeshB)
            interpolateMeshB();
        renderPreview();
        applyGenerators();
        standard();
    }
}

void rightPress(int32_t x, int32_t y)
{
    if (ed.dragging || !inEditView(x, y))
        return;
    ed.dragging = MOUSE_RIGHT_DOWN;
    ctx.keyModified = 1;
    insertKeyFromBase();
    ctx.savedBrushStrength = ctx.brushStrength;
    ctx.savedBrushMode = ctx.brushMode;
    ctx.brushStrength = 0.5f;
    ctx.brushMode = 3;
    strokeBegin(x, y);
}

void rightRelease(int32_t x, int32_t y)
{
    ctx.generatorApplied = 0;
    if (ed.dragging != MOUSE_RIGHT_DOWN)
        return;
    finishDrag(x, y);
    ctx.brushStrength = ctx.savedBrushStrength;
    ctx.brushMode = ctx.savedBrushMode;
}

void reactToButton(uint16_t button, int32_t x, int32_t y)
{
    switch (button) {
    case MOUSE_RIGHT_DOWN:
        rightPress(x, y);
        break;
    case MOUSE_RIGHT_UP:
        rightRelease(x, y);
        break;
    case MOUSE_LEFT_DOWN:
        leftPress(x, y);
        break;
    case MOUSE_LEFT_UP:
        leftRelease(x, y);
        break;
    default:
        break;
    }
}

// ---- gadgets ------------------------------------------------------------

int gadgetOf(uint32_t code)
{
    if ((int32_t)code == -1)
        return -1;
    for (int g = 0; g < EDITOR_GADGET_COUNT; ++g)
        if (ed.gadget[g] == (int32_t)code)
            return g;
    return -1;
}

void chooseZoom(int zoom)
{
    ctx.viewZoom = zoom;
    if (zoom == 0)
        ctx.viewScrollX = ctx.viewScrollY = 0;
    else
        setZoomOrigin(ctx.zoomClickX, ctx.zoomClickY);
    setBrushRadius();
    busy();
    drawOverview();
    drawEditView();
    standard();
}

void changeAmount(int32_t value)
{
    if (ctx.generatorType == 0 || value < -100 || value > 100)
        return;
    busy();
    if (ctx.keyModified == 1)
        storeKey();
    insertKey();
    if (ctx.generatorApplied == 0) {
        copyMesh(ctx.meshA, ctx.meshBase);
        ctx.generatorApplied = 1;
    }
    ctx.generatorParams[ctx.generatorType] = value;
    applyGenerators();
    drawEditView();
    standard();
}

void changeKeyLevel(int32_t value)
{
    if (value < 0 || value > 255)
        return;
    if (!vxVariant->hasMeshB) {
        // The level mixes the inputs before the warp; it is stored with the key's mesh.
        ctx.keyModified = 1;
        ctx.dissolveLevel = value;
        clearGenerator();
        renderPreview();
        return;
    }
    if (ctx.keyModified == 1)
        storeKey();
    ctx.dissolveLevel = value;
    storeKeyLevel();
    interpolateMeshes();
    ctx.dissolveLevel = value;
    renderPreview();
    applyGenerators();
    ctx.dissolveLevel = value;
}

void setViewBlend(int32_t value, bool moveSlider)
{
    if (value < 0 || value > 255)
        return;
    ctx.viewBlend = value;
    if (moveSlider)
        setGadgetValue(GADGET_VIEW_BLEND, value);
    drawEditView();
}

void moveFrameSlider(int32_t value)
{
    if (value < 0 || value > ctx.lastFrame)
        return;
    if (!ed.frameSliderMoved) {
        ed.frameSliderMoved = 1;
        storeKey();
    } else if (ctx.keyModified == 1) {
        storeKey();
    }
    clearGenerator();
    ctx.currentFrame = value;
    // The meshes belong to the frame shown, before anything can store them.
    interpolateMeshes();
    drawThumbnails();
    drawFrameMarker();
    drawTimeline();
}

void preview(void)
{
    storeKey();
    renderPreview();
    clearGenerator();
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
    interpolateMeshes();
}

void clearMesh(void)
{
    busy();
    insertKey();
    drawThumbnails();
    drawFrameMarker();
    drawTimeline();
    clearGenerator();
    memset(ctx.meshA, 0, ctx.meshCapacity * sizeof(MeshNode));
    memset(ctx.meshBase, 0, ctx.meshCapacity * sizeof(MeshNode));
    storeKey();
    renderPreview();
    drawEditView();
    standard();
}

void revert(void)
{
    busy();
    ctx.keyModified = 0;
    clearGenerator();
    interpolateMeshes();
    copyMesh(ctx.meshA, ctx.meshBase);
    renderPreview();
    interpolateMeshA();
    drawEditView();
    standard();
}

void removeKey(void)
{
    busy();
    ctx.keyModified = 0;
    memset(ctx.generatorParams, 0, sizeof ctx.generatorParams);
    deleteKey();
    drawThumbnails();
    drawFrameMarker();
    drawTimeline();
    setGadgetValue(GADGET_AMOUNT, 0);
    interpolateMeshes();
    renderPreview();
    interpolateMeshA();
    drawEditView();
    setGadgetValue(GADGET_KEY_LEVEL, ctx.dissolveLevel);
    standard();
}

void chooseGenerator(int32_t value)
{
    if (value < 0 || value > GENERATOR_COUNT)
        return;
    const int32_t old = ctx.generatorType;
    ctx.generatorType = value;
    if (old != 0 && value == 0) {
        if (ctx.keyModified == 1)
            storeKey();
        applyGenerators();
        drawEditView();
    } else if (old == 0 && value != 0) {
        storeKey();
        applyGenerators();
        drawEditView();
    }
    if (value != 0) {
        setGadgetValue(GADGET_AMOUNT, ctx.generatorParams[value]);
        vgEnableElement(ctx.requestHandle, ed.gadget[GADGET_AMOUNT]);
    } else {
        setGadgetValue(GADGET_AMOUNT, 0);
        vgDisableElement(ctx.requestHandle, ed.gadget[GADGET_AMOUNT]);
    }
}

// The default effect in place of the keys, after the user confirms.
void resetEffect(void)
{
    TextRequest question = {};
    question.text = resGetString(ctx.stringTable, 506);
    question.kind = 67;
    vreqTextRequest(&question);
    if (question.result != 1)
        return;
    fillMeterRecord(2);
    busy();
    freeKeys();
    clearGenerator();
    if (createFirstKey() != 0 || createLastKey() != 0) {
        LOG_FAILURE();
        ed.leave = 1;
        standard();
        return;
    }
    vreqOpenMeter(&ctx.meterRecord);
    ctx.currentFrame = ctx.lastFrame;
    fetchFrameFields();
    interpolateMeshes();
    renderThumbnail(ctx.keyList->next);
    vreqUpdateMeter(&ctx.meterRecord, 3, 1);
    ctx.currentFrame = 0;
    fetchFrameFields();
    interpolateMeshes();
    renderThumbnail(ctx.keyList);
    renderPasses(ctx.previewPixels, ctx.previewWidth, ctx.previewHeight);
    vreqCloseMeter(&ctx.meterRecord);
    drawThumbnails();
    drawFrameMarker();
    drawTimeline();
    drawOverview();
    interpolateMeshA();
    drawEditView();
    setGadgetValue(GADGET_FRAME, ctx.currentFrame);
    setGadgetValue(GADGET_KEY_LEVEL, ctx.dissolveLevel);
    standard();
}

void reactToGadget(uint32_t code, int32_t value)
{
    ctx.lastGadget = (int32_t)code;
    const int g = gadgetOf(code);
    if (g >= GADGET_BRUSH_SIZE && g < GADGET_BRUSH_SIZE + 4) {
        ctx.brushSizeIndex = g - GADGET_BRUSH_SIZE;
        setBrushRadius();
    } else if (g >= GADGET_ZOOM && g < GADGET_ZOOM + 3) {
        chooseZoom(g - GADGET_ZOOM);
    } else if (g >= GADGET_VIEW && g < GADGET_VIEW + 3) {
        static const int32_t blends[3] = {0, 128, 255};
        setViewBlend(blends[g - GADGET_VIEW], true);
    }
    switch (g) {
    case GADGET_DONE:
        storeKey();
        ed.leave = 1;
        break;
    case GADGET_RESET:
        resetEffect();
        break;
    case GADGET_AMOUNT:
        changeAmount(value);
        break;
    case GADGET_VIEW_BLEND:
        setViewBlend(value, false);
        break;
    case GADGET_KEY_LEVEL:
        changeKeyLevel(value);
        break;
    case GADGET_FRAME:
        moveFrameSlider(value);
        break;
    case GADGET_FIRST_KEY:
    case GADGET_LAST_KEY:
        busy();
        storeKey();
        clearGenerator();
        if (g == GADGET_FIRST_KEY)
            goToFirstKey();
        else
            goToLastKey();
        standard();
        break;
    case GADGET_PREVIEW:
        preview();
        break;
    case GADGET_CLEAR:
        clearMesh();
        break;
    case GADGET_REVERT:
        revert();
        break;
    case GADGET_DELETE_KEY:
        removeKey();
        break;
    case GADGET_MIRROR:
        if (value == 0 || value == 1)
            ctx.mirrorMode = value;
        break;
    case GADGET_GENERATOR:
        chooseGenerator(value);
        break;
    case GADGET_BRUSH_PRESET:
        if (applyBrushPreset(value))
            paramBlock.brushPreset = (int16_t)value;
        break;
    default:
        break;
    }
}

} // namespace

uint32_t timelineFrame(int32_t x)
{
    if (ctx.lastFrame <= 0 || ctx.timelineWidth <= 0)
        return 0;
    int64_t c = (int64_t)x - ctx.overviewX - 14;
    c = c < 0 ? 0 : (c > ctx.timelineWidth ? ctx.timelineWidth : c);
    return (uint32_t)((uint64_t)c * (uint64_t)ctx.lastFrame / (uint64_t)ctx.timelineWidth);
}

void setGadgetValue(int gadget, int32_t value)
{
    if (ed.gadget[gadget] != -1)
        vgChangeElement(ctx.requestHandle, ed.gadget[gadget], 40, value, 1);
}

void renderPreview(void)
{
    renderPasses(ctx.previewPixels, ctx.previewWidth, ctx.previewHeight);
    drawOverview();
}

void clearGenerator(void)
{
    setGadgetValue(GADGET_AMOUNT, 0);
    memset(ctx.generatorParams, 0, sizeof ctx.generatorParams);
}

void reactToMessage(const EditorMessage &m)
{
    switch (m.type) {
    case EDITOR_MSG_KEY:
        reactToKey(m.u.code);
        break;
    case EDITOR_MSG_MOUSE_MOVE:
        if (ed.dragging) {
            ctx.keyModified = 1;
            strokeMove(m.u.mouse.x, m.y);
        }
        break;
    case EDITOR_MSG_MOUSE_BUTTON:
        reactToButton(m.u.mouse.button, m.u.mouse.x, m.y);
        break;
    case EDITOR_MSG_GADGET:
        reactToGadget(m.u.code, m.value);
        break;
    case EDITOR_MSG_CLOSE:
        ed.leave = 1;
        break;
    default:
        break;
    }
}
