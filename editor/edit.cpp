// The full-screen effect editor: start-up, panel layout, gadgets, the
// message loop and leaving.
#include "editor/edit.h"

#include <cstring>

#include "editor/draw.h"
#include "editor/session.h"
#include "effect/context.h"
#include "effect/effectfile.h"
#include "effect/keyops.h"
#include "effect/keys.h"
#include "effect/precalc.h"
#include "engine/generator.h"
#include "engine/warp.h"
#include "operator/host/vxcoreimg.h"
#include "operator/host/vxgui.h"
#include "operator/host/vxlist.h"
#include "operator/host/vxmsgq.h"
#include "operator/host/vxreq.h"
#include "operator/host/vxres.h"
#include "effect/buffers.h"
#include "effect/framefields.h"
#include "variants/variant.h"

namespace {

const char *text(const OperatorContext &ctx, int id)
{
    return resGetString(ctx.stringTable, id);
}

void *image(const OperatorContext &ctx, int id)
{
    return resGetImage(ctx.imageTable, id);
}

void *hostImage(int id)
{
    return resGetImage(vgGetGuiResource(id, 0, 0), id);
}

// ---- settings -------------------------------------------------------------

int32_t within(int32_t value, int32_t low, int32_t high, int32_t otherwise)
{
    return value >= low && value <= high ? value : otherwise;
}

// Largest zoom origin (mesh columns, rows) at a zoom; zoom 0 takes the wider range.
void originLimits(const OperatorContext &ctx, int zoom, int32_t &columns, int32_t &rows)
{
    const int32_t fw = ctx.frameWidth, fh = ctx.frameHeight;
    columns = zoom == 1 ? fw / 8 : fw / 4 - fw / 16;
    rows = zoom == 1 ? fh / 8 : fh / 4 - fh / 16;
}

// ---- panel ----------------------------------------------------------------

void addPanel(OperatorContext &ctx, int x, int y, int w, int h, uint32_t flags)
{
    ctx.editor.panel[ctx.editor.panelCount++] =
        vgCreatePanel(ctx.requestHandle, x, y, w, h, flags, 0, 0);
}

void createPanels(OperatorContext &ctx)
{
    const int32_t rowBox = 3 * (ctx.rowHeight + 12);
    const int32_t ovX = ctx.overviewX, ovY = ctx.overviewY, w = ctx.overviewWidth;
    addPanel(ctx, ovX, ovY, ctx.editor.overviewBoxWidth, ctx.editor.overviewBoxHeight, 0x40);
    addPanel(ctx, ctx.editBoxX, ctx.editBoxY, ctx.editor.editBoxWidth, ctx.editor.editBoxHeight,
             0x40);
    addPanel(ctx, ctx.editor.previewBoxX, ctx.editor.bottomY, 150, rowBox, 0x40);
    addPanel(ctx, ctx.editor.brushBoxX, ctx.editor.bottomY, 184, rowBox, 0x40);
    addPanel(ctx, ctx.editor.generatorBoxX, ctx.editor.bottomY, 184, rowBox, 0x40);
    addPanel(ctx, ovX + 8, ovY + 8, w + 8, ctx.overviewHeight + 8, 0x400);
    addPanel(ctx, ctx.editBoxX + 8, ctx.editBoxY + ctx.rowHeight + 16, 2 * w + 8,
             ctx.editViewHeight + 8, 0x400);
    addPanel(ctx, ctx.editor.logoX, ctx.editor.logoY, 86, ctx.editor.logoHeight, 0x40);
    addPanel(ctx, ctx.editor.logoX + 10, ctx.editor.logoY + 10, 68, ctx.editor.logoHeight - 18,
             0x400);
    for (int k = 0; k < 3; ++k)
        addPanel(ctx, ovX + 30 + 42 * k, ovY + ctx.overviewHeight + 60, 40, 32, 0x400);
    addPanel(ctx, ovX + 8, ovY + ctx.overviewHeight + 20, 168, 36, 0x400);
}

void drawTimelineScale(OperatorContext &ctx)
{
    const uint32_t r = ctx.requestHandle;
    vgSetColorYUV(r, ctx.guiMode == 3 ? vgGetNewGuiColorYUV(10) : vgGetGuiColorYUV(9));
    const int32_t x = ctx.overviewX + 14, y = ctx.overviewY + ctx.overviewHeight;
    for (int k = 0; k <= 4; ++k)
        vgRectFill(r, x + k * 154 / 4, y + 40, x + k * 154 / 4, y + 43);
    vgRectFill(r, x, y + 43, ctx.overviewX + 168, y + 44);
}

void buildList(const OperatorContext &ctx, ListHeader *list, ListNode *nodes, int count,
               int firstText)
{
    listInitHeader(list);
    for (int i = 0; i < count; ++i) {
        nodes[i] = ListNode{};
        nodes[i].kind = 513;
        nodes[i].text = text(ctx, firstText + i);
        listAppendNode(list, &nodes[i]);
    }
}

void bind(OperatorContext &ctx, int gadget, int32_t handle, uint32_t key)
{
    ctx.editor.gadget[gadget] = handle;
    vgChangeElement(ctx.requestHandle, handle, 57, (int32_t)key, 0);
}

void createGadgets(OperatorContext &ctx)
{
    const uint32_t r = ctx.requestHandle;
    const int gh = ctx.gadgetHeight, row = ctx.rowHeight;
    const int third = 2 * (row + 12);
    GadgetExtension **ext = ctx.editor.extension;

    const int bx = ctx.editor.brushBoxX, by = ctx.editor.bottomY;
    for (int k = 0; k < 4; ++k)
        bind(ctx, GADGET_BRUSH_SIZE + k,
             vgAddImageButton(r, bx + 8 + 34 * k, by + 8, 32, gh, image(ctx, 200 + k),
                              0x20000 + (k == ctx.brushSizeIndex ? 1 : 0), ext[0]),
             49 + k);
    bind(ctx, GADGET_BRUSH_PRESET,
         vgAddPopup(r, bx + 8, by + row + 16, 168, gh, &ctx.editor.presetList,
                    ctx.editor.params->brushPreset, 0, 0, 0),
         109);
    bind(ctx, GADGET_MIRROR,
         vgAddCheckBox(r, bx + 144, by + third, 32, gh, ctx.mirrorMode, 0, ext[2]), 115);

    const int gx = ctx.editor.generatorBoxX;
    bind(ctx, GADGET_GENERATOR,
         vgAddPopup(r, gx + 8, by + 8, 168, gh, &ctx.editor.generatorList, ctx.generatorType, 0, 0,
                    0),
         101);
    bind(ctx, GADGET_AMOUNT,
         vgAddSlider(r, gx + 8, by + row + 16, 168, gh, -100, 100, 0, 0, text(ctx, 110), 0x130000,
                     nullptr),
         112);
    if (ctx.guiMode == 3)
        bind(ctx, GADGET_DONE,
             vgAddImageButton(r, gx + 144, by + third, 32, gh,
                              hostImage(ctx.variant->doneHostImage), 0, nullptr),
             ctx.variant->doneKey);
    else
        bind(ctx, GADGET_DONE,
             vgAddImageButton(r, gx + 136, by + third, 40, gh, image(ctx, ctx.variant->doneImage),
                              0, nullptr),
             ctx.variant->doneKey);

    const int px = ctx.editor.previewBoxX;
    bind(ctx, GADGET_PREVIEW, vgAddTextButton(r, px + 8, by + 8, 134, gh, text(ctx, 405), 0, 0),
         0xE010);
    bind(ctx, GADGET_RESET,
         vgAddTextButton(r, px + 8, by + third, 134, gh, text(ctx, ctx.guiMode == 3 ? 401 : 408), 0,
                         0),
         110);

    const int ox = ctx.overviewX, oy = ctx.overviewY, oh = ctx.overviewHeight;
    bind(ctx, GADGET_FRAME,
         vgAddSlider(r, ox + 8, oy + oh + 96, 168, gh, 0, ctx.lastFrame,
                     ctx.editor.params->savedFrame, 0, nullptr, 0x130000, ext[3]),
         0x200074);
    bind(ctx, GADGET_FIRST_KEY,
         vgAddImageButton(r, ox + 8, oy + oh + 60, 20, 32, hostImage(45), 0, nullptr), 0x20E00A);
    bind(ctx, GADGET_LAST_KEY,
         vgAddImageButton(r, ox + 156, oy + oh + 60, 20, 32, hostImage(46), 0, nullptr), 0x20E00B);
    bind(ctx, GADGET_DELETE_KEY,
         vgAddTextButton(r, ox + 8, oy + oh + row + 104, 168, gh, text(ctx, 403), 0, 0), 0x20E002);
    if (ctx.variant->hasKeyLevel)
        bind(ctx, GADGET_KEY_LEVEL,
             vgAddSlider(r, ox + 76, oy + oh + 2 * row + 112, 100, gh, 0, 255, 0, 0, text(ctx, 404),
                         0x30000, nullptr),
             0x200066);

    const int ex = ctx.editBoxX, ey = ctx.editBoxY;
    for (int k = 0; k < 3; ++k)
        bind(ctx, GADGET_ZOOM + k,
             vgAddImageButton(r, ex + 8 + 34 * k, ey + 8, 32, gh, image(ctx, 211 + k),
                              0x20000 + (k == ctx.viewZoom ? 1 : 0), ext[1]),
             0x200031 + k);
    bind(ctx, GADGET_REVERT,
         vgAddImageButton(r, ex + 236, ey + 8, 32, gh, image(ctx, 209), 0, nullptr), 0x4002E009);
    bind(ctx, GADGET_CLEAR,
         vgAddImageButton(r, ex + 304, ey + 8, 32, gh, image(ctx, 210), 0, nullptr), 0x8002E002);
    if (ctx.variant->hasViewBlend) {
        static const uint32_t viewKeys[3] = {108, 98, 114};
        const int vy = ey + ctx.editViewHeight + row + 28;
        for (int k = 0; k < 3; ++k)
            bind(
                ctx, GADGET_VIEW + k,
                vgAddImageButton(r, ex + 110 + 34 * k, vy, 32, gh, image(ctx, 216 + k), 0, nullptr),
                viewKeys[k]);
        bind(ctx, GADGET_VIEW_BLEND,
             vgAddSlider(r, ex + 212, vy, 124, gh, 0, 255, ctx.viewBlend, 0, nullptr, 0x30000,
                         nullptr),
             118);
    }
}

void drawLabels(OperatorContext &ctx)
{
    const uint32_t r = ctx.requestHandle;
    vgSetColorYUV(r, vgGetNewGuiColorYUV(1001));
    const struct {
        int id, x, y;
    } titles[] = {{504, ctx.overviewX, ctx.overviewY},
                  {501, ctx.editBoxX, ctx.editBoxY},
                  {500, ctx.editor.previewBoxX, ctx.editor.bottomY},
                  {502, ctx.editor.brushBoxX, ctx.editor.bottomY},
                  {503, ctx.editor.generatorBoxX, ctx.editor.bottomY}};
    for (const auto &t : titles)
        vgBoxText(r, text(ctx, t.id), t.x + 4, t.y - ctx.textHeight, 200, ctx.gadgetHeight, 0x51);
    if (ctx.variant->hasViewBlend)
        vgBoxText(r, text(ctx, 407), ctx.editBoxX + 8,
                  ctx.editBoxY + ctx.editViewHeight + ctx.rowHeight + 28, 94, ctx.gadgetHeight, 20);
    const bool small = vgGetVideoMode() == 1 || vgGetDefaultMonitor() == 1;
    vgWriteResImage(r, image(ctx, small ? 302 : 303), ctx.editor.logoX + 14, ctx.editor.logoY + 14);
    if (ctx.generatorType != 0)
        vgEnableElement(r, ctx.editor.gadget[GADGET_AMOUNT]);
    else
        vgDisableElement(r, ctx.editor.gadget[GADGET_AMOUNT]);
}

// ---- start and end --------------------------------------------------------

void freeTables(OperatorContext &ctx)
{
    resFreeImages(ctx.imageTable);
    resFreeStrings(ctx.stringTable);
    ctx.imageTable = ctx.stringTable = nullptr;
}

// The frame size of the project: one field's width, twice its height.
bool probeFrame(OperatorContext &ctx)
{
    HostImage *field = opAllocImage(0, 0, 1, 0);
    const bool usable = field && field->width > 0 && field->height > 0;
    if (usable) {
        ctx.frameWidth = field->width;
        ctx.frameHeight = 2 * field->height;
    }
    opFreeImage(field);
    return usable;
}

void allocateExtensions(OperatorContext &ctx)
{
    for (GadgetExtension *&e : ctx.editor.extension)
        e = vgAllocGadExt();
    if (ctx.editor.extension[0])
        ctx.editor.extension[0]->group = 100;
    if (ctx.editor.extension[1])
        ctx.editor.extension[1]->group = 101;
    if (ctx.editor.extension[2])
        ctx.editor.extension[2]->text = text(ctx, 400);
    if (ctx.editor.extension[3])
        ctx.editor.extension[3]->formatter = vgSliderCallbackFramesTime;
}

void setLastFrame(OperatorContext &ctx)
{
    ctx.lastFrame = (int32_t)(ctx.editor.fieldCount / 2) - 1;
    if ((uint32_t)ctx.editor.params->savedFrame > (uint32_t)ctx.lastFrame)
        ctx.editor.params->savedFrame = 0;
    ctx.currentFrame = ctx.editor.params->savedFrame;
}

bool allocateFieldBuffers(OperatorContext &ctx)
{
    const size_t pixels = ctx.projectWidth > 0 && ctx.projectHeight > 0
                              ? (size_t)ctx.projectWidth * (size_t)ctx.projectHeight
                              : 0;
    if (!pixels)
        return false;
    // Zeroed: a frame the host cannot deliver shows black.
    ctx.fieldBufferA = (uint32_t *)allocZeroed(pixels, 4);
    if (ctx.variant->inputCount == 2)
        ctx.fieldBufferB = (uint32_t *)allocZeroed(pixels, 4);
    if (!ctx.fieldBufferA || (ctx.variant->inputCount == 2 && !ctx.fieldBufferB)) {
        LOG_FAILURE(ctx.variant);
        return false;
    }
    ctx.fieldBufferCapacity = pixels;
    ctx.sourcePixels = ctx.fieldBufferA;
    ctx.targetPixels = ctx.fieldBufferB;
    ctx.imageWidth = ctx.projectWidth;
    ctx.imageHeight = ctx.projectHeight;
    ctx.dissolveLevel = 0;
    return true;
}

// The pictures of the current frame, the overview and the edit view.
bool showFirstPictures(OperatorContext &ctx)
{
    vgBusyPointer();
    setLastFrame(ctx);
    drawTimeline(ctx);
    drawThumbnails(ctx);
    drawFrameMarker(ctx);
    ctx.previewPixels =
        (uint32_t *)allocZeroed((size_t)(ctx.previewWidth > 0 ? ctx.previewWidth : 0) *
                                    (size_t)(ctx.previewHeight > 0 ? ctx.previewHeight : 0),
                                4);
    if (!ctx.previewPixels) {
        LOG_FAILURE(ctx.variant);
        vgStandardPointer();
        return false;
    }
    if (ctx.currentFrame != 0)
        refreshFrame(ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    if (ctx.variant->hasMeshB)
        ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    renderPreviewPicture(ctx);
    if (ctx.viewZoom == 1 || ctx.viewZoom == 2)
        setZoomOrigin(ctx, ctx.zoomClickX, ctx.zoomClickY);
    setBrushRadius(ctx);
    drawOverview(ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ctx);
    setGadgetValue(ctx, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    vgStandardPointer();
    return true;
}

void runLoop(OperatorContext &ctx)
{
    ctx.imageAreaX = ctx.editBoxX + 12;
    ctx.imageAreaY = ctx.editBoxY + ctx.rowHeight + 20;
    while (!ctx.editor.leave) {
        EditorMessage message;
        memset(&message, 0, sizeof message);
        if (vgMsgQReceive(&message, -1) != 0)
            break;
        reactToMessage(ctx, message);
        writeSettings(ctx);
    }
}

void leave(OperatorContext &ctx)
{
    freeBlock(ctx.fieldBufferB);
    freeBlock(ctx.fieldBufferA);
    ctx.fieldBufferA = ctx.fieldBufferB = nullptr;
    ctx.fieldBufferCapacity = 0;
    ctx.sourcePixels = ctx.targetPixels = nullptr;
    for (int i = 0; i < ctx.editor.panelCount; ++i)
        vgRemovePanel(ctx.requestHandle, ctx.editor.panel[i]);
    ctx.editor.panelCount = 0;
    if (ctx.editor.requestOpen)
        vreqDeleteRequest(&ctx.editor.request);
    ctx.editor.requestOpen = 0;
    // Only an effect this run prepared is written, at the size it was made for.
    if (ctx.editor.prepared) {
        ctx.imageWidth = ctx.editor.preparedWidth;
        ctx.imageHeight = ctx.editor.preparedHeight;
        ctx.gridCols = ctx.editor.preparedWidth / 4;
        ctx.gridRows = ctx.editor.preparedHeight / 2;
        saveEffect(ctx);
    }
    freeKeys(ctx);
    freeBlock(ctx.previewPixels);
    ctx.previewPixels = nullptr;
    releaseMeshes(ctx);
    for (GadgetExtension *&e : ctx.editor.extension) {
        vgFreeGadExt(e);
        e = nullptr;
    }
    freeTables(ctx);
    writeSettings(ctx);
    ctx.renderPrepared = 0;
    ctx.requestHandle = 0;
}

} // namespace

void computeLayout(OperatorContext &ctx, int32_t sw, int32_t sh, int32_t fw, int32_t fh)
{
    const int32_t monitorFont = vgGetFontHeightMonitor(vgGetDefaultMonitor());
    const int32_t add = vgGetAddHeight();
    ctx.rowHeight = monitorFont + add;
    ctx.gadgetHeight = ctx.rowHeight + 4;
    ctx.textHeight = vgGetFontHeight() + add;
    const int32_t row = ctx.rowHeight, visTop = ctx.editor.visibleTop,
                  visBottom = ctx.editor.visibleBottom;

    ctx.editor.bottomY = visBottom - 3 * row - 41;
    ctx.editor.logoY = ctx.editor.bottomY - ctx.textHeight + 4;
    ctx.editor.logoX = 0;
    ctx.editor.logoHeight = 4 * row + 32;
    ctx.editor.previewBoxX = 96;
    ctx.editor.brushBoxX = 256;
    ctx.editor.generatorBoxX = 450;
    ctx.overviewX = 0;
    ctx.overviewY = ctx.textHeight + visTop - 4;

    int32_t w = (int32_t)((sw - 56) / 3.0);
    const double aspect = (double)fw / (double)fh;
    const int32_t avail = ctx.editor.logoY + sh - visBottom - ctx.overviewY - 9;
    ctx.editor.editBoxHeight = 2 * row - (int32_t)(w * -2.0 / aspect) + 40;
    if (avail < ctx.editor.editBoxHeight) {
        ctx.editor.editBoxHeight = avail;
        w = (int32_t)((int32_t)((ctx.editor.editBoxHeight - 2 * (row + 20)) * aspect) * 0.5);
    }

    ctx.editor.overviewBoxWidth = w + 22;
    ctx.viewScale = w * 2.0 / (fw / 2);
    ctx.overviewHeight = (int32_t)(w / aspect);
    ctx.editor.overviewBoxHeight = ctx.variant->hasKeyLevel ? ctx.overviewHeight + 3 * row + 124
                                                            : ctx.overviewHeight + 2 * row + 116;

    const int32_t bottomShift = (sw - 634) / 2;
    ctx.editor.logoX += bottomShift;
    ctx.editor.previewBoxX += bottomShift;
    ctx.editor.brushBoxX += bottomShift;
    ctx.editor.generatorBoxX += bottomShift;

    ctx.editor.editBoxWidth = 2 * w + 24;
    ctx.overviewX += (sw - (ctx.editor.overviewBoxWidth + 10 + ctx.editor.editBoxWidth)) / 2;
    ctx.editBoxX = ctx.overviewX + ctx.editor.overviewBoxWidth + 10;

    const int32_t content = ctx.editor.logoHeight + 5 + ctx.editor.editBoxHeight + ctx.overviewY;
    ctx.overviewY += (sh - content) / 2;
    ctx.editBoxY = ctx.overviewY;

    ctx.overviewWidth = w;
    ctx.editViewWidth = 2 * w;
    ctx.editViewHeight = (int32_t)(2 * w / aspect);
}

void readSettings(OperatorContext &ctx)
{
    EffectParamBlock &p = *ctx.editor.params;
    p.brushSizeIndex = (int16_t)within(p.brushSizeIndex, 0, 3, 1);
    p.brushPreset = (int16_t)within(p.brushPreset, 0, 7, 1);
    p.generatorType = (int16_t)within(p.generatorType, 0, GENERATOR_COUNT, 0);
    p.viewBlend = within(p.viewBlend, 0, 255, 128);
    p.mirrorMode = (int16_t)within(p.mirrorMode, 0, 1, 0);
    p.viewZoom = (int16_t)within(p.viewZoom, 0, 2, 0);
    int32_t columns, rows;
    originLimits(ctx, p.viewZoom, columns, rows);
    if (p.viewScrollX % 2 != 0 || within(p.viewScrollX, 0, 2 * columns, -1) < 0 ||
        within(p.viewScrollY, 0, rows, -1) < 0)
        p.viewScrollX = p.viewScrollY = 0;
    if (within(p.zoomPointX, 0, ctx.overviewWidth - 1, -1) < 0 ||
        within(p.zoomPointY, 0, ctx.overviewHeight - 1, -1) < 0)
        p.zoomPointX = p.zoomPointY = 0;

    ctx.zoomClickX = p.zoomPointX;
    ctx.zoomClickY = p.zoomPointY;
    ctx.viewScrollX = p.viewScrollX;
    ctx.viewScrollY = p.viewScrollY;
    ctx.mirrorMode = p.mirrorMode;
    ctx.viewZoom = p.viewZoom;
    ctx.brushSizeIndex = p.brushSizeIndex;
    ctx.generatorType = p.generatorType;
    ctx.viewBlend = p.viewBlend;
    applyBrushPreset(ctx, p.brushPreset);
    setBrushRadius(ctx);
}

void writeSettings(OperatorContext &ctx)
{
    EffectParamBlock &p = *ctx.editor.params;
    p.brushSizeIndex = (int16_t)ctx.brushSizeIndex;
    p.generatorType = (int16_t)ctx.generatorType;
    p.viewBlend = ctx.viewBlend;
    p.savedFrame = ctx.currentFrame;
    p.mirrorMode = (int16_t)ctx.mirrorMode;
    p.viewZoom = (int16_t)ctx.viewZoom;
    p.viewScrollX = (int16_t)ctx.viewScrollX;
    p.viewScrollY = (int16_t)ctx.viewScrollY;
    p.zoomPointX = (int16_t)ctx.zoomClickX;
    p.zoomPointY = (int16_t)ctx.zoomClickY;
}

void setBrushRadius(OperatorContext &ctx)
{
    static const int32_t factor[3] = {8, 4, 2};
    if (ctx.viewZoom >= 0 && ctx.viewZoom <= 2)
        ctx.brushRadius = (ctx.brushSizeIndex + 1) * factor[ctx.viewZoom];
}

bool applyBrushPreset(OperatorContext &ctx, int32_t preset)
{
    static const struct {
        float strength;
        int32_t mode;
    } presets[8] = {{0.2f, 2}, {0.7f, 2}, {1.0f, 2}, {0.5f, 0},
                    {0.5f, 1}, {0.5f, 4}, {0.5f, 5}, {0.5f, 3}};
    if (preset < 0 || preset > 7)
        return false;
    ctx.brushStrength = presets[preset].strength;
    ctx.brushMode = presets[preset].mode;
    return true;
}

int editEffect(OperatorContext &ctx, EffectParamBlock &params)
{
    if (!ctx.actionRecord)
        return -1;
    ctx.editor = EditorSession{};
    ctx.editor.params = &params;
    for (int32_t &g : ctx.editor.gadget)
        g = -1;
    // Static state of an earlier opening must not carry over.
    memset(ctx.generatorParams, 0, sizeof ctx.generatorParams);
    ctx.generatorApplied = 0;
    ctx.lastGadget = 0;
    ctx.editorRunning = 1;

    ctx.stringTable = resLoadStrings("vorlux_ops");
    ctx.imageTable = resLoadImages("vorlux_ops");
    ctx.timelineWidth = 154;
    ctx.editor.fieldCount = ctx.actionRecord->fieldCount;
    if (ctx.editor.fieldCount < 2) {
        showMessage(text(ctx, 507), 1);
        freeTables(ctx);
        ctx.editorRunning = 0;
        return -1;
    }

    const int32_t sw = vgGetScreenWidth(), sh = vgGetScreenHeight();
    int16_t left, top, right, bottom;
    vgGetVisibleArea(&left, &top, &right, &bottom);
    ctx.editor.visibleTop = 0;
    ctx.editor.visibleBottom = sh - 1;
    if (!probeFrame(ctx)) {
        LOG_FAILURE(ctx.variant);
        freeTables(ctx);
        ctx.editorRunning = 0;
        return -1;
    }
    if (ctx.editor.visibleBottom - ctx.editor.visibleTop + 1 >= ctx.frameHeight)
        ctx.editor.visibleTop +=
            (ctx.editor.visibleBottom - (ctx.frameHeight - 1) - ctx.editor.visibleTop) / 2;
    computeLayout(ctx, sw, sh, ctx.frameWidth, ctx.frameHeight);
    if (ctx.editViewWidth <= 0 || ctx.editViewHeight <= 0 || ctx.overviewHeight <= 0) {
        LOG_FAILURE(ctx.variant);
        freeTables(ctx);
        ctx.editorRunning = 0;
        return -1;
    }
    allocateExtensions(ctx);

    ctx.editor.request = RequestRecord{};
    ctx.editor.request.screenWidth = (int16_t)sw;
    ctx.editor.request.screenHeight = (int16_t)sh;
    ctx.editor.request.messageQueue = msgQCreate(10, 44, 0);
    ctx.editor.request.flags = 0x21C0;
    ctx.lastFrame = (int32_t)(ctx.editor.fieldCount / 2) - 1;
    readSettings(ctx);
    setLastFrame(ctx);
    ctx.keyModified = 0;

    if (ctx.editor.request.messageQueue == 0) {
        LOG_FAILURE(ctx.variant);
    } else if (vreqCreateRequest(&ctx.editor.request) != 0) {
        LOG_FAILURE(ctx.variant);
    } else {
        ctx.editor.requestOpen = 1;
        ctx.requestHandle = ctx.editor.request.handle;
        buildList(ctx, &ctx.editor.presetList, ctx.editor.presetNodes, PRESET_COUNT, 300);
        buildList(ctx, &ctx.editor.generatorList, ctx.editor.generatorNodes, GENERATOR_ENTRIES,
                  310);
        ctx.guiMode = vgGetGuiMode();
        vgDrawBackground(0, 0, sw - 1, sh - 1);
        createPanels(ctx);
        drawTimelineScale(ctx);
        createGadgets(ctx);
        drawLabels(ctx);
        // A render's buffers give way to the editor's.
        releaseMeshes(ctx);
        if (allocateFieldBuffers(ctx)) {
            ctx.viewBlend = ctx.editor.params->viewBlend;
            if (prepareEffect(ctx) == 0) {
                ctx.editor.prepared = 1;
                ctx.editor.preparedWidth = ctx.imageWidth;
                ctx.editor.preparedHeight = ctx.imageHeight;
                if (showFirstPictures(ctx))
                    runLoop(ctx);
            }
        }
    }
    leave(ctx);
    ctx.editorRunning = 0;
    return 0;
}
