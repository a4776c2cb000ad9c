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
#include "operator/operator.h"
#include "variants/variant.h"

namespace {

EditorSession &ed = ctx.editor;

const char *text(int id)
{
    return resGetString(ctx.stringTable, id);
}

void *image(int id)
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
void originLimits(int zoom, int32_t &columns, int32_t &rows)
{
    const int32_t fw = ctx.frameWidth, fh = ctx.frameHeight;
    columns = zoom == 1 ? fw / 8 : fw / 4 - fw / 16;
    rows = zoom == 1 ? fh / 8 : fh / 4 - fh / 16;
}

// ---- panel ----------------------------------------------------------------

void addPanel(int x, int y, int w, int h, uint32_t flags)
{
    ed.panel[ed.panelCount++] = vgCreatePanel(ctx.requestHandle, x, y, w, h, flags, 0, 0);
}

void createPanels(void)
{
    const int32_t rowBox = 3 * (ctx.rowHeight + 12);
    const int32_t ovX = ctx.overviewX, ovY = ctx.overviewY, w = ctx.overviewWidth;
    addPanel(ovX, ovY, ed.overviewBoxWidth, ed.overviewBoxHeight, 0x40);
    addPanel(ctx.editBoxX, ctx.editBoxY, ed.editBoxWidth, ed.editBoxHeight, 0x40);
    addPanel(ed.previewBoxX, ed.bottomY, 150, rowBox, 0x40);
    addPanel(ed.brushBoxX, ed.bottomY, 184, rowBox, 0x40);
    addPanel(ed.generatorBoxX, ed.bottomY, 184, rowBox, 0x40);
    addPanel(ovX + 8, ovY + 8, w + 8, ctx.overviewHeight + 8, 0x400);
    addPanel(ctx.editBoxX + 8, ctx.editBoxY + ctx.rowHeight + 16, 2 * w + 8, ctx.editViewHeight + 8,
             0x400);
    addPanel(ed.logoX, ed.logoY, 86, ed.logoHeight, 0x40);
    addPanel(ed.logoX + 10, ed.logoY + 10, 68, ed.logoHeight - 18, 0x400);
    for (int k = 0; k < 3; ++k)
        addPanel(ovX + 30 + 42 * k, ovY + ctx.overviewHeight + 60, 40, 32, 0x400);
    addPanel(ovX + 8, ovY + ctx.overviewHeight + 20, 168, 36, 0x400);
}

void drawTimelineScale(void)
{
    const uint32_t r = ctx.requestHandle;
    vgSetColorYUV(r, ctx.guiMode == 3 ? vgGetNewGuiColorYUV(10) : vgGetGuiColorYUV(9));
    const int32_t x = ctx.overviewX + 14, y = ctx.overviewY + ctx.overviewHeight;
    for (int k = 0; k <= 4; ++k)
        vgRectFill(r, x + k * 154 / 4, y + 40, x + k * 154 / 4, y + 43);
    vgRectFill(r, x, y + 43, ctx.overviewX + 168, y + 44);
}

void buildList(ListHeader *list, ListNode *nodes, int count, int firstText)
{
    listInitHeader(list);
    for (int i = 0; i < count; ++i) {
        nodes[i] = ListNode{};
        nodes[i].kind = 513;
        nodes[i].text = text(firstText + i);
        listAppendNode(list, &nodes[i]);
    }
}

void bind(int gadget, int32_t handle, uint32_t key)
{
    ed.gadget[gadget] = handle;
    vgChangeElement(ctx.requestHandle, handle, 57, (int32_t)key, 0);
}

void createGadgets(void)
{
    const uint32_t r = ctx.requestHandle;
    const int gh = ctx.gadgetHeight, row = ctx.rowHeight;
    const int third = 2 * (row + 12);
    GadgetExtension **ext = ed.extension;

    const int bx = ed.brushBoxX, by = ed.bottomY;
    for (int k = 0; k < 4; ++k)
        bind(GADGET_BRUSH_SIZE + k,
             vgAddImageButton(r, bx + 8 + 34 * k, by + 8, 32, gh, image(200 + k),
                              0x20000 + (k == ctx.brushSizeIndex ? 1 : 0), ext[0]),
             49 + k);
    bind(GADGET_BRUSH_PRESET,
         vgAddPopup(r, bx + 8, by + row + 16, 168, gh, &ed.presetList, paramBlock.brushPreset, 0, 0,
                    0),
         109);
    bind(GADGET_MIRROR, vgAddCheckBox(r, bx + 144, by + third, 32, gh, ctx.mirrorMode, 0, ext[2]),
         115);

    const int gx = ed.generatorBoxX;
    bind(GADGET_GENERATOR,
         vgAddPopup(r, gx + 8, by + 8, 168, gh, &ed.generatorList, ctx.generatorType, 0, 0, 0),
         101);
    bind(GADGET_AMOUNT,
         vgAddSlider(r, gx + 8, by + row + 16, 168, gh, -100, 100, 0, 0, text(110), 0x130000,
                     nullptr),
         112);
    if (ctx.guiMode == 3)
        bind(GADGET_DONE,
             vgAddImageButton(r, gx + 144, by + third, 32, gh, hostImage(vxVariant->doneHostImage),
                              0, nullptr),
             vxVariant->doneKey);
    else
        bind(GADGET_DONE,
             vgAddImageButton(r, gx + 136, by + third, 40, gh, image(vxVariant->doneImage), 0,
                              nullptr),
             vxVariant->doneKey);

    const int px = ed.previewBoxX;
    bind(GADGET_PREVIEW, vgAddTextButton(r, px + 8, by + 8, 134, gh, text(405), 0, 0), 0xE010);
    bind(GADGET_RESET,
         vgAddTextButton(r, px + 8, by + third, 134, gh, text(ctx.guiMode == 3 ? 401 : 408), 0, 0),
         110);

    const int ox = ctx.overviewX, oy = ctx.overviewY, oh = ctx.overviewHeight;
    bind(GADGET_FRAME,
         vgAddSlider(r, ox + 8, oy + oh + 96, 168, gh, 0, ctx.lastFrame, paramBlock.savedFrame, 0,
                     nullptr, 0x130000, ext[3]),
         0x200074);
    bind(GADGET_FIRST_KEY,
         vgAddImageButton(r, ox + 8, oy + oh + 60, 20, 32, hostImage(45), 0, nullptr), 0x20E00A);
    bind(GADGET_LAST_KEY,
         vgAddImageButton(r, ox + 156, oy + oh + 60, 20, 32, hostImage(46), 0, nullptr), 0x20E00B);
    bind(GADGET_DELETE_KEY,
         vgAddTextButton(r, ox + 8, oy + oh + row + 104, 168, gh, text(403), 0, 0), 0x20E002);
    if (vxVariant->hasKeyLevel)
        bind(GADGET_KEY_LEVEL,
             vgAddSlider(r, ox + 76, oy + oh + 2 * row + 112, 100, gh, 0, 255, 0, 0, text(404),
                         0x30000, nullptr),
             0x200066);

    const int ex = ctx.editBoxX, ey = ctx.editBoxY;
    for (int k = 0; k < 3; ++k)
        bind(GADGET_ZOOM + k,
             vgAddImageButton(r, ex + 8 + 34 * k, ey + 8, 32, gh, image(211 + k),
                              0x20000 + (k == ctx.viewZoom ? 1 : 0), ext[1]),
             0x200031 + k);
    bind(GADGET_REVERT, vgAddImageButton(r, ex + 236, ey + 8, 32, gh, image(209), 0, nullptr),
         0x4002E009);
    bind(GADGET_CLEAR, vgAddImageButton(r, ex + 304, ey + 8, 32, gh, image(210), 0, nullptr),
         0x8002E002);
    if (vxVariant->hasViewBlend) {
        static const uint32_t viewKeys[3] = {108, 98, 114};
        const int vy = ey + ctx.editViewHeight + row + 28;
        for (int k = 0; k < 3; ++k)
            bind(GADGET_VIEW + k,
                 vgAddImageButton(r, ex + 110 + 34 * k, vy, 32, gh, image(216 + k), 0, nullptr),
                 viewKeys[k]);
        bind(GADGET_VIEW_BLEND,
             vgAddSlider(r, ex + 212, vy, 124, gh, 0, 255, ctx.viewBlend, 0, nullptr, 0x30000,
                         nullptr),
             118);
    }
}

void drawLabels(void)
{
    const uint32_t r = ctx.requestHandle;
    vgSetColorYUV(r, vgGetNewGuiColorYUV(1001));
    const struct {
        int id, x, y;
    } titles[] = {{504, ctx.overviewX, ctx.overviewY},
                  {501, ctx.editBoxX, ctx.editBoxY},
                  {500, ed.previewBoxX, ed.bottomY},
                  {502, ed.brushBoxX, ed.bottomY},
                  {503, ed.generatorBoxX, ed.bottomY}};
    for (const auto &t : titles)
        vgBoxText(r, text(t.id), t.x + 4, t.y - ctx.textHeight, 200, ctx.gadgetHeight, 0x51);
    if (vxVariant->hasViewBlend)
        vgBoxText(r, text(407), ctx.editBoxX + 8,
                  ctx.editBoxY + ctx.editViewHeight + ctx.rowHeight + 28, 94, ctx.gadgetHeight, 20);
    const bool small = vgGetVideoMode() == 1 || vgGetDefaultMonitor() == 1;
    vgWriteResImage(r, image(small ? 302 : 303), ed.logoX + 14, ed.logoY + 14);
    if (ctx.generatorType != 0)
        vgEnableElement(r, ed.gadget[GADGET_AMOUNT]);
    else
        vgDisableElement(r, ed.gadget[GADGET_AMOUNT]);
}

// ---- start and end --------------------------------------------------------

void freeTables(void)
{
    resFreeImages(ctx.imageTable);
    resFreeStrings(ctx.stringTable);
    ctx.imageTable = ctx.stringTable = nullptr;
}

// The frame size of the project: one field's width, twice its height.
bool probeFrame(void)
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

void allocateExtensions(void)
{
    for (GadgetExtension *&e : ed.extension)
        e = vgAllocGadExt();
    if (ed.extension[0])
        ed.extension[0]->group = 100;
    if (ed.extension[1])
        ed.extension[1]->group = 101;
    if (ed.extension[2])
        ed.extension[2]->text = text(400);
    if (ed.extension[3])
        ed.extension[3]->formatter = vgSliderCallbackFramesTime;
}

void setLastFrame(void)
{
    ctx.lastFrame = (int32_t)(ed.fieldCount / 2) - 1;
    if ((uint32_t)paramBlock.savedFrame > (uint32_t)ctx.lastFrame)
        paramBlock.savedFrame = 0;
    ctx.currentFrame = paramBlock.savedFrame;
}

bool allocateFieldBuffers(void)
{
    const size_t pixels = ctx.projectWidth > 0 && ctx.projectHeight > 0
                              ? (size_t)ctx.projectWidth * (size_t)ctx.projectHeight
                              : 0;
    if (!pixels)
        return false;
    // Zeroed: a frame the host cannot deliver shows black.
    ctx.fieldBufferA = (uint32_t *)allocZeroed(pixels, 4);
    if (vxVariant->inputCount == 2)
        ctx.fieldBufferB = (uint32_t *)allocZeroed(pixels, 4);
    if (!ctx.fieldBufferA || (vxVariant->inputCount == 2 && !ctx.fieldBufferB)) {
        LOG_FAILURE();
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
bool showFirstPictures(void)
{
    vgBusyPointer();
    setLastFrame();
    drawTimeline();
    drawThumbnails();
    drawFrameMarker();
    ctx.previewPixels =
        (uint32_t *)allocZeroed((size_t)(ctx.previewWidth > 0 ? ctx.previewWidth : 0) *
                                    (size_t)(ctx.previewHeight > 0 ? ctx.previewHeight : 0),
                                4);
    if (!ctx.previewPixels) {
        LOG_FAILURE();
        vgStandardPointer();
        return false;
    }
    if (ctx.currentFrame != 0)
        refreshFrame();
    interpolateMeshA();
    if (vxVariant->hasMeshB)
        interpolateMeshB();
    renderPasses(ctx.previewPixels, ctx.previewWidth, ctx.previewHeight);
    if (ctx.viewZoom == 1 || ctx.viewZoom == 2)
        setZoomOrigin(ctx.zoomClickX, ctx.zoomClickY);
    setBrushRadius();
    drawOverview();
    interpolateMeshA();
    drawEditView();
    setGadgetValue(GADGET_KEY_LEVEL, ctx.dissolveLevel);
    vgStandardPointer();
    return true;
}

void runLoop(void)
{
    ctx.imageAreaX = ctx.editBoxX + 12;
    ctx.imageAreaY = ctx.editBoxY + ctx.rowHeight + 20;
    while (!ed.leave) {
        EditorMessage message;
        memset(&message, 0, sizeof message);
        if (vgMsgQReceive(&message, -1) != 0)
            break;
        reactToMessage(message);
        writeSettings();
    }
}

void leave(void)
{
    freeBlock(ctx.fieldBufferB);
    freeBlock(ctx.fieldBufferA);
    ctx.fieldBufferA = ctx.fieldBufferB = nullptr;
    ctx.fieldBufferCapacity = 0;
    ctx.sourcePixels = ctx.targetPixels = nullptr;
    for (int i = 0; i < ed.panelCount; ++i)
        vgRemovePanel(ctx.requestHandle, ed.panel[i]);
    ed.panelCount = 0;
    if (ed.requestOpen)
        vreqDeleteRequest(&ed.request);
    ed.requestOpen = 0;
    // Only an effect this run prepared is written, at the size it was made for.
    if (ed.prepared) {
        ctx.imageWidth = ed.preparedWidth;
        ctx.imageHeight = ed.preparedHeight;
        ctx.gridCols = ed.preparedWidth / 4;
        ctx.gridRows = ed.preparedHeight / 2;
        saveEffect();
    }
    freeKeys();
    freeBlock(ctx.previewPixels);
    ctx.previewPixels = nullptr;
    releaseMeshes();
    for (GadgetExtension *&e : ed.extension) {
        vgFreeGadExt(e);
        e = nullptr;
    }
    freeTables();
    writeSettings();
    ctx.renderPrepared = 0;
    ctx.requestHandle = 0;
}

} // namespace

void computeLayout(int32_t sw, int32_t sh, int32_t fw, int32_t fh)
{
    const int32_t monitorFont = vgGetFontHeightMonitor(vgGetDefaultMonitor());
    const int32_t add = vgGetAddHeight();
    ctx.rowHeight = monitorFont + add;
    ctx.gadgetHeight = ctx.rowHeight + 4;
    ctx.textHeight = vgGetFontHeight() + add;
    const int32_t row = ctx.rowHeight, visTop = ed.visibleTop, visBottom = ed.visibleBottom;

    ed.bottomY = visBottom - 3 * row - 41;
    ed.logoY = ed.bottomY - ctx.textHeight + 4;
    ed.logoX = 0;
    ed.logoHeight = 4 * row + 32;
    ed.previewBoxX = 96;
    ed.brushBoxX = 256;
    ed.generatorBoxX = 450;
    ctx.overviewX = 0;
    ctx.overviewY = ctx.textHeight + visTop - 4;

    int32_t w = (int32_t)((sw - 56) / 3.0);
    const double aspect = (double)fw / (double)fh;
    const int32_t avail = ed.logoY + sh - visBottom - ctx.overviewY - 9;
    ed.editBoxHeight = 2 * row - (int32_t)(w * -2.0 / aspect) + 40;
    if (avail < ed.editBoxHeight) {
        ed.editBoxHeight = avail;
        w = (int32_t)((int32_t)((ed.editBoxHeight - 2 * (row + 20)) * aspect) * 0.5);
    }

    ed.overviewBoxWidth = w + 22;
    ctx.viewScale = w * 2.0 / (fw / 2);
    ctx.overviewHeight = (int32_t)(w / aspect);
    ed.overviewBoxHeight = vxVariant->hasKeyLevel ? ctx.overviewHeight + 3 * row + 124
                                                  : ctx.overviewHeight + 2 * row + 116;

    const int32_t bottomShift = (sw - 634) / 2;
    ed.logoX += bottomShift;
    ed.previewBoxX += bottomShift;
    ed.brushBoxX += bottomShift;
    ed.generatorBoxX += bottomShift;

    ed.editBoxWidth = 2 * w + 24;
    ctx.overviewX += (sw - (ed.overviewBoxWidth + 10 + ed.editBoxWidth)) / 2;
    ctx.editBoxX = ctx.overviewX + ed.overviewBoxWidth + 10;

    const int32_t content = ed.logoHeight + 5 + ed.editBoxHeight + ctx.overviewY;
    ctx.overviewY += (sh - content) / 2;
    ctx.editBoxY = ctx.overviewY;

    ctx.overviewWidth = w;
    ctx.editViewWidth = 2 * w;
    ctx.editViewHeight = (int32_t)(2 * w / aspect);
}

void readSettings(void)
{
    EffectParamBlock &p = paramBlock;
    p.brushSizeIndex = (int16_t)within(p.brushSizeIndex, 0, 3, 1);
    p.brushPreset = (int16_t)within(p.brushPreset, 0, 7, 1);
    p.generatorType = (int16_t)within(p.generatorType, 0, GENERATOR_COUNT, 0);
    p.viewBlend = within(p.viewBlend, 0, 255, 128);
    p.mirrorMode = (int16_t)within(p.mirrorMode, 0, 1, 0);
    p.viewZoom = (int16_t)within(p.viewZoom, 0, 2, 0);
    int32_t columns, rows;
    originLimits(p.viewZoom, columns, rows);
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
    applyBrushPreset(p.brushPreset);
    setBrushRadius();
}

void writeSettings(void)
{
    EffectParamBlock &p = paramBlock;
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

void setBrushRadius(void)
{
    static const int32_t factor[3] = {8, 4, 2};
    if (ctx.viewZoom >= 0 && ctx.viewZoom <= 2)
        ctx.brushRadius = (ctx.brushSizeIndex + 1) * factor[ctx.viewZoom];
}

bool applyBrushPreset(int32_t preset)
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

int editEffect(void)
{
    if (!ctx.actionRecord)
        return -1;
    ed = EditorSession{};
    for (int32_t &g : ed.gadget)
        g = -1;
    // Static state of an earlier opening must not carry over.
    memset(ctx.generatorParams, 0, sizeof ctx.generatorParams);
    ctx.generatorApplied = 0;
    ctx.lastGadget = 0;
    ctx.editorRunning = 1;

    ctx.stringTable = resLoadStrings("vorlux_ops");
    ctx.imageTable = resLoadImages("vorlux_ops");
    ctx.timelineWidth = 154;
    ed.fieldCount = ctx.actionRecord->fieldCount;
    if (ed.fieldCount < 2) {
        showMessage(text(507), 1);
        freeTables();
        ctx.editorRunning = 0;
        return -1;
    }

    const int32_t sw = vgGetScreenWidth(), sh = vgGetScreenHeight();
    int16_t left, top, right, bottom;
    vgGetVisibleArea(&left, &top, &right, &bottom);
    ed.visibleTop = 0;
    ed.visibleBottom = sh - 1;
    if (!probeFrame()) {
        LOG_FAILURE();
        freeTables();
        ctx.editorRunning = 0;
        return -1;
    }
    if (ed.visibleBottom - ed.visibleTop + 1 >= ctx.frameHeight)
        ed.visibleTop += (ed.visibleBottom - (ctx.frameHeight - 1) - ed.visibleTop) / 2;
    computeLayout(sw, sh, ctx.frameWidth, ctx.frameHeight);
    if (ctx.editViewWidth <= 0 || ctx.editViewHeight <= 0 || ctx.overviewHeight <= 0) {
        LOG_FAILURE();
        freeTables();
        ctx.editorRunning = 0;
        return -1;
    }
    allocateExtensions();

    ed.request = RequestRecord{};
    ed.request.screenWidth = (int16_t)sw;
    ed.request.screenHeight = (int16_t)sh;
    ed.request.messageQueue = msgQCreate(10, 44, 0);
    ed.request.flags = 0x21C0;
    ctx.lastFrame = (int32_t)(ed.fieldCount / 2) - 1;
    readSettings();
    setLastFrame();
    ctx.keyModified = 0;

    if (ed.request.messageQueue == 0) {
        LOG_FAILURE();
    } else if (vreqCreateRequest(&ed.request) != 0) {
        LOG_FAILURE();
    } else {
        ed.requestOpen = 1;
        ctx.requestHandle = ed.request.handle;
        buildList(&ed.presetList, ed.presetNodes, PRESET_COUNT, 300);
        buildList(&ed.generatorList, ed.generatorNodes, GENERATOR_ENTRIES, 310);
        ctx.guiMode = vgGetGuiMode();
        vgDrawBackground(0, 0, sw - 1, sh - 1);
        createPanels();
        drawTimelineScale();
        createGadgets();
        drawLabels();
        // A render's buffers give way to the editor's.
        releaseMeshes();
        if (allocateFieldBuffers()) {
            ctx.viewBlend = paramBlock.viewBlend;
            if (prepareEffect() == 0) {
                ed.prepared = 1;
                ed.preparedWidth = ctx.imageWidth;
                ed.preparedHeight = ctx.imageHeight;
                if (showFirstPictures())
                    runLoop();
            }
        }
    }
    leave();
    ctx.editorRunning = 0;
    return 0;
}
