// The full-screen effect editor: start-up, panel layout, gadgets, the
// message loop and leaving.
#include "editor/edit.h"

#include <cstring>

#include "editor/draw.h"
#include "editor/session.h"
#include "editor/undo.h"
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

void *image(const EditorState &ed, int id)
{
    return resGetImage(ed.imageTable, id);
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
void originLimits(const EditorState &ed, int zoom, int32_t &columns, int32_t &rows)
{
    const int32_t fw = ed.frameWidth, fh = ed.frameHeight;
    columns = zoom == 1 ? fw / 8 : fw / 4 - fw / 16;
    rows = zoom == 1 ? fh / 8 : fh / 4 - fh / 16;
}

// ---- panel ----------------------------------------------------------------

void addPanel(EditorState &ed, int x, int y, int w, int h, uint32_t flags)
{
    ed.session.panel[ed.session.panelCount++] =
        vgCreatePanel(ed.requestHandle, x, y, w, h, flags, 0, 0);
}

void createPanels(EditorState &ed)
{
    const int32_t rowBox = 3 * (ed.rowHeight + 12);
    const int32_t ovX = ed.overviewX, ovY = ed.overviewY, w = ed.overviewWidth;
    addPanel(ed, ovX, ovY, ed.session.overviewBoxWidth, ed.session.overviewBoxHeight, 0x40);
    addPanel(ed, ed.editBoxX, ed.editBoxY, ed.session.editBoxWidth, ed.session.editBoxHeight, 0x40);
    addPanel(ed, ed.session.previewBoxX, ed.session.bottomY, 150, rowBox, 0x40);
    addPanel(ed, ed.session.brushBoxX, ed.session.bottomY, 184, rowBox, 0x40);
    addPanel(ed, ed.session.generatorBoxX, ed.session.bottomY, 184, rowBox, 0x40);
    addPanel(ed, ovX + 8, ovY + 8, w + 8, ed.overviewHeight + 8, 0x400);
    addPanel(ed, ed.editBoxX + 8, ed.editBoxY + ed.rowHeight + 16, 2 * w + 8, ed.editViewHeight + 8,
             0x400);
    addPanel(ed, ed.session.logoX, ed.session.logoY, 86, ed.session.logoHeight, 0x40);
    addPanel(ed, ed.session.logoX + 10, ed.session.logoY + 10, 68, ed.session.logoHeight - 18,
             0x400);
    for (int k = 0; k < 3; ++k)
        addPanel(ed, ovX + 30 + 42 * k, ovY + ed.overviewHeight + 60, 40, 32, 0x400);
    addPanel(ed, ovX + 8, ovY + ed.overviewHeight + 20, 168, 36, 0x400);
}

void drawTimelineScale(EditorState &ed)
{
    const uint32_t r = ed.requestHandle;
    vgSetColorYUV(r, ed.guiMode == 3 ? vgGetNewGuiColorYUV(10) : vgGetGuiColorYUV(9));
    const int32_t x = ed.overviewX + 14, y = ed.overviewY + ed.overviewHeight;
    for (int k = 0; k <= 4; ++k)
        vgRectFill(r, x + k * 154 / 4, y + 40, x + k * 154 / 4, y + 43);
    vgRectFill(r, x, y + 43, ed.overviewX + 168, y + 44);
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

void bind(EditorState &ed, int gadget, int32_t handle, uint32_t key)
{
    ed.session.gadget[gadget] = handle;
    vgChangeElement(ed.requestHandle, handle, 57, (int32_t)key, 0);
}

void createGadgets(EditorState &ed, OperatorContext &ctx)
{
    const uint32_t r = ed.requestHandle;
    const int gh = ed.gadgetHeight, row = ed.rowHeight;
    const int third = 2 * (row + 12);
    GadgetExtension **ext = ed.session.extension;

    const int bx = ed.session.brushBoxX, by = ed.session.bottomY;
    for (int k = 0; k < 4; ++k)
        bind(ed, GADGET_BRUSH_SIZE + k,
             vgAddImageButton(r, bx + 8 + 34 * k, by + 8, 32, gh, image(ed, 200 + k),
                              0x20000 + (k == ed.brushSizeIndex ? 1 : 0), ext[0]),
             49 + k);
    bind(ed, GADGET_BRUSH_PRESET,
         vgAddPopup(r, bx + 8, by + row + 16, 168, gh, &ed.session.presetList,
                    ed.session.params->brushPreset, 0, 0, 0),
         109);
    bind(ed, GADGET_MIRROR,
         vgAddCheckBox(r, bx + 144, by + third, 32, gh, ed.mirrorMode, 0, ext[2]), 115);

    const int gx = ed.session.generatorBoxX;
    bind(ed, GADGET_GENERATOR,
         vgAddPopup(r, gx + 8, by + 8, 168, gh, &ed.session.generatorList, ed.generatorType, 0, 0,
                    0),
         101);
    bind(ed, GADGET_AMOUNT,
         vgAddSlider(r, gx + 8, by + row + 16, 168, gh, -100, 100, 0, 0, text(ctx, 110), 0x130000,
                     nullptr),
         112);
    if (ed.guiMode == 3)
        bind(ed, GADGET_DONE,
             vgAddImageButton(r, gx + 144, by + third, 32, gh,
                              hostImage(ctx.variant->doneHostImage), 0, nullptr),
             ctx.variant->doneKey);
    else
        bind(ed, GADGET_DONE,
             vgAddImageButton(r, gx + 136, by + third, 40, gh, image(ed, ctx.variant->doneImage), 0,
                              nullptr),
             ctx.variant->doneKey);

    const int px = ed.session.previewBoxX;
    bind(ed, GADGET_PREVIEW, vgAddTextButton(r, px + 8, by + 8, 134, gh, text(ctx, 405), 0, 0),
         0xE010);
    bind(ed, GADGET_RESET,
         vgAddTextButton(r, px + 8, by + third, 134, gh, text(ctx, ed.guiMode == 3 ? 401 : 408), 0,
                         0),
         110);

    const int ox = ed.overviewX, oy = ed.overviewY, oh = ed.overviewHeight;
    bind(ed, GADGET_FRAME,
         vgAddSlider(r, ox + 8, oy + oh + 96, 168, gh, 0, ctx.lastFrame,
                     ed.session.params->savedFrame, 0, nullptr, 0x130000, ext[3]),
         0x200074);
    bind(ed, GADGET_FIRST_KEY,
         vgAddImageButton(r, ox + 8, oy + oh + 60, 20, 32, hostImage(45), 0, nullptr), 0x20E00A);
    bind(ed, GADGET_LAST_KEY,
         vgAddImageButton(r, ox + 156, oy + oh + 60, 20, 32, hostImage(46), 0, nullptr), 0x20E00B);
    bind(ed, GADGET_DELETE_KEY,
         vgAddTextButton(r, ox + 8, oy + oh + row + 104, 168, gh, text(ctx, 403), 0, 0), 0x20E002);
    if (ctx.variant->hasKeyLevel)
        bind(ed, GADGET_KEY_LEVEL,
             vgAddSlider(r, ox + 76, oy + oh + 2 * row + 112, 100, gh, 0, 255, 0, 0, text(ctx, 404),
                         0x30000, nullptr),
             0x200066);

    const int ex = ed.editBoxX, ey = ed.editBoxY;
    for (int k = 0; k < 3; ++k)
        bind(ed, GADGET_ZOOM + k,
             vgAddImageButton(r, ex + 8 + 34 * k, ey + 8, 32, gh, image(ed, 211 + k),
                              0x20000 + (k == ed.viewZoom ? 1 : 0), ext[1]),
             0x200031 + k);
    bind(ed, GADGET_REVERT,
         vgAddImageButton(r, ex + 236, ey + 8, 32, gh, image(ed, 209), 0, nullptr), 0x4002E009);
    bind(ed, GADGET_CLEAR,
         vgAddImageButton(r, ex + 304, ey + 8, 32, gh, image(ed, 210), 0, nullptr), 0x8002E002);
    if (ctx.variant->hasViewBlend) {
        static const uint32_t viewKeys[3] = {108, 98, 114};
        const int vy = ey + ed.editViewHeight + row + 28;
        for (int k = 0; k < 3; ++k)
            bind(ed, GADGET_VIEW + k,
                 vgAddImageButton(r, ex + 110 + 34 * k, vy, 32, gh, image(ed, 216 + k), 0, nullptr),
                 viewKeys[k]);
        bind(ed, GADGET_VIEW_BLEND,
             vgAddSlider(r, ex + 212, vy, 124, gh, 0, 255, ed.viewBlend, 0, nullptr, 0x30000,
                         nullptr),
             118);
    }
}

void drawLabels(EditorState &ed, OperatorContext &ctx)
{
    const uint32_t r = ed.requestHandle;
    vgSetColorYUV(r, vgGetNewGuiColorYUV(1001));
    const struct {
        int id, x, y;
    } titles[] = {{504, ed.overviewX, ed.overviewY},
                  {501, ed.editBoxX, ed.editBoxY},
                  {500, ed.session.previewBoxX, ed.session.bottomY},
                  {502, ed.session.brushBoxX, ed.session.bottomY},
                  {503, ed.session.generatorBoxX, ed.session.bottomY}};
    for (const auto &t : titles)
        vgBoxText(r, text(ctx, t.id), t.x + 4, t.y - ed.textHeight, 200, ed.gadgetHeight, 0x51);
    if (ctx.variant->hasViewBlend)
        vgBoxText(r, text(ctx, 407), ed.editBoxX + 8,
                  ed.editBoxY + ed.editViewHeight + ed.rowHeight + 28, 94, ed.gadgetHeight, 20);
    const bool small = vgGetVideoMode() == 1 || vgGetDefaultMonitor() == 1;
    vgWriteResImage(r, image(ed, small ? 302 : 303), ed.session.logoX + 14, ed.session.logoY + 14);
    if (ed.generatorType != 0)
        vgEnableElement(r, ed.session.gadget[GADGET_AMOUNT]);
    else
        vgDisableElement(r, ed.session.gadget[GADGET_AMOUNT]);
}

// ---- start and end --------------------------------------------------------

void freeTables(EditorState &ed, OperatorContext &ctx)
{
    resFreeImages(ed.imageTable);
    resFreeStrings(ctx.stringTable);
    ed.imageTable = ctx.stringTable = nullptr;
}

// The frame size of the project: one field's width, twice its height.
bool probeFrame(EditorState &ed)
{
    HostImage *field = opAllocImage(0, 0, 1, 0);
    const bool usable = field && field->width > 0 && field->height > 0;
    if (usable) {
        ed.frameWidth = field->width;
        ed.frameHeight = 2 * field->height;
    }
    opFreeImage(field);
    return usable;
}

void allocateExtensions(EditorState &ed, OperatorContext &ctx)
{
    for (GadgetExtension *&e : ed.session.extension)
        e = vgAllocGadExt();
    if (ed.session.extension[0])
        ed.session.extension[0]->group = 100;
    if (ed.session.extension[1])
        ed.session.extension[1]->group = 101;
    if (ed.session.extension[2])
        ed.session.extension[2]->text = text(ctx, 400);
    if (ed.session.extension[3])
        ed.session.extension[3]->formatter = vgSliderCallbackFramesTime;
}

void setLastFrame(EditorState &ed, OperatorContext &ctx)
{
    ctx.lastFrame = (int32_t)(ed.session.fieldCount / 2) - 1;
    if ((uint32_t)ed.session.params->savedFrame > (uint32_t)ctx.lastFrame)
        ed.session.params->savedFrame = 0;
    ctx.currentFrame = ed.session.params->savedFrame;
}

bool allocateFieldBuffers(EditorState &ed, OperatorContext &ctx)
{
    const size_t pixels = ctx.projectWidth > 0 && ctx.projectHeight > 0
                              ? (size_t)ctx.projectWidth * (size_t)ctx.projectHeight
                              : 0;
    if (!pixels)
        return false;
    // Zeroed: a frame the host cannot deliver shows black.
    ed.fields.a = (uint32_t *)allocZeroed(pixels, 4);
    if (ctx.variant->inputCount == 2)
        ed.fields.b = (uint32_t *)allocZeroed(pixels, 4);
    if (!ed.fields.a || (ctx.variant->inputCount == 2 && !ed.fields.b)) {
        LOG_FAILURE(ctx.variant); // journal: no memory for the editor's input pictures
        return false;
    }
    ed.fields.capacity = pixels;
    ctx.sourcePixels = ed.fields.a;
    ctx.targetPixels = ed.fields.b;
    ctx.imageWidth = ctx.projectWidth;
    ctx.imageHeight = ctx.projectHeight;
    ctx.dissolveLevel = 0;
    return true;
}

// The pictures of the current frame, the overview and the edit view.
bool showFirstPictures(EditorState &ed, OperatorContext &ctx)
{
    vgBusyPointer();
    setLastFrame(ed, ctx);
    drawTimeline(ed, ctx);
    drawThumbnails(ed, ctx);
    drawFrameMarker(ed, ctx);
    // The preview picture is a quarter of the prepared picture each way.
    ed.previewWidth = ctx.imageWidth / 4;
    ed.previewHeight = ctx.imageHeight / 4;
    ed.previewPixels =
        (uint32_t *)allocZeroed((size_t)(ed.previewWidth > 0 ? ed.previewWidth : 0) *
                                    (size_t)(ed.previewHeight > 0 ? ed.previewHeight : 0),
                                4);
    if (!ed.previewPixels) {
        LOG_FAILURE(ctx.variant); // journal: no memory for the preview picture
        vgStandardPointer();
        return false;
    }
    if (ctx.currentFrame != 0)
        refreshFrame(ed, ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    if (ctx.variant->hasMeshB)
        ctx.dissolveLevel = interpolateMeshB(ctx, ctx.dissolveLevel);
    renderPreviewPicture(ed, ctx);
    if (ed.viewZoom == 1 || ed.viewZoom == 2)
        setZoomOrigin(ed, ed.zoomClickX, ed.zoomClickY);
    setBrushRadius(ed);
    drawOverview(ed, ctx);
    ctx.dissolveLevel = interpolateMeshA(ctx, ctx.dissolveLevel);
    drawEditView(ed, ctx);
    setGadgetValue(ed, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    vgStandardPointer();
    return true;
}

void runLoop(EditorState &ed, OperatorContext &ctx)
{
    ed.imageAreaX = ed.editBoxX + 12;
    ed.imageAreaY = ed.editBoxY + ed.rowHeight + 20;
    while (!ed.session.leave) {
        EditorMessage message;
        memset(&message, 0, sizeof message);
        if (vgMsgQReceive(&message, -1) != 0)
            break;
        reactToMessage(ed, ctx, message);
        writeSettings(ed, ctx);
    }
}

void leave(EditorState &ed, OperatorContext &ctx)
{
    freeBlock(ed.fields.b);
    freeBlock(ed.fields.a);
    ed.fields.a = ed.fields.b = nullptr;
    ed.fields.capacity = 0;
    ctx.sourcePixels = ctx.targetPixels = nullptr;
    for (int i = 0; i < ed.session.panelCount; ++i)
        vgRemovePanel(ed.requestHandle, ed.session.panel[i]);
    ed.session.panelCount = 0;
    if (ed.session.requestOpen)
        vreqDeleteRequest(&ed.session.request);
    ed.session.requestOpen = 0;
    // Only an effect this run prepared is written, at the size it was made for.
    if (ed.session.prepared) {
        ctx.imageWidth = ed.session.preparedWidth;
        ctx.imageHeight = ed.session.preparedHeight;
        ctx.gridCols = ed.session.preparedWidth / 4;
        ctx.gridRows = ed.session.preparedHeight / 2;
        saveEffect(ctx);
    }
    forgetSteps(ed);
    freeKeys(ctx);
    freeBlock(ed.previewPixels);
    ed.previewPixels = nullptr;
    releaseMeshes(ctx);
    for (GadgetExtension *&e : ed.session.extension) {
        vgFreeGadExt(e);
        e = nullptr;
    }
    freeTables(ed, ctx);
    writeSettings(ed, ctx);
    ctx.renderPrepared = 0;
    ed.requestHandle = 0;
}

} // namespace

void computeLayout(EditorState &ed, const OperatorContext &ctx, int32_t sw, int32_t sh, int32_t fw,
                   int32_t fh)
{
    const int32_t monitorFont = vgGetFontHeightMonitor(vgGetDefaultMonitor());
    const int32_t add = vgGetAddHeight();
    ed.rowHeight = monitorFont + add;
    ed.gadgetHeight = ed.rowHeight + 4;
    ed.textHeight = vgGetFontHeight() + add;
    const int32_t row = ed.rowHeight, visTop = ed.session.visibleTop,
                  visBottom = ed.session.visibleBottom;

    ed.session.bottomY = visBottom - 3 * row - 41;
    ed.session.logoY = ed.session.bottomY - ed.textHeight + 4;
    ed.session.logoX = 0;
    ed.session.logoHeight = 4 * row + 32;
    ed.session.previewBoxX = 96;
    ed.session.brushBoxX = 256;
    ed.session.generatorBoxX = 450;
    ed.overviewX = 0;
    ed.overviewY = ed.textHeight + visTop - 4;

    int32_t w = (int32_t)((sw - 56) / 3.0);
    const double aspect = (double)fw / (double)fh;
    const int32_t avail = ed.session.logoY + sh - visBottom - ed.overviewY - 9;
    ed.session.editBoxHeight = 2 * row - (int32_t)(w * -2.0 / aspect) + 40;
    if (avail < ed.session.editBoxHeight) {
        ed.session.editBoxHeight = avail;
        w = (int32_t)((int32_t)((ed.session.editBoxHeight - 2 * (row + 20)) * aspect) * 0.5);
    }

    ed.session.overviewBoxWidth = w + 22;
    ed.viewScale = w * 2.0 / (fw / 2);
    ed.overviewHeight = (int32_t)(w / aspect);
    ed.session.overviewBoxHeight = ctx.variant->hasKeyLevel ? ed.overviewHeight + 3 * row + 124
                                                            : ed.overviewHeight + 2 * row + 116;

    const int32_t bottomShift = (sw - 634) / 2;
    ed.session.logoX += bottomShift;
    ed.session.previewBoxX += bottomShift;
    ed.session.brushBoxX += bottomShift;
    ed.session.generatorBoxX += bottomShift;

    ed.session.editBoxWidth = 2 * w + 24;
    ed.overviewX += (sw - (ed.session.overviewBoxWidth + 10 + ed.session.editBoxWidth)) / 2;
    ed.editBoxX = ed.overviewX + ed.session.overviewBoxWidth + 10;

    const int32_t content = ed.session.logoHeight + 5 + ed.session.editBoxHeight + ed.overviewY;
    ed.overviewY += (sh - content) / 2;
    ed.editBoxY = ed.overviewY;

    ed.overviewWidth = w;
    ed.editViewWidth = 2 * w;
    ed.editViewHeight = (int32_t)(2 * w / aspect);
}

void readSettings(EditorState &ed)
{
    EffectParamBlock &p = *ed.session.params;
    p.brushSizeIndex = (int16_t)within(p.brushSizeIndex, 0, 3, 1);
    p.brushPreset = (int16_t)within(p.brushPreset, 0, 7, 1);
    p.generatorType = (int16_t)within(p.generatorType, 0, GENERATOR_COUNT, 0);
    p.viewBlend = within(p.viewBlend, 0, 255, 128);
    p.mirrorMode = (int16_t)within(p.mirrorMode, 0, 1, 0);
    p.viewZoom = (int16_t)within(p.viewZoom, 0, 2, 0);
    int32_t columns, rows;
    originLimits(ed, p.viewZoom, columns, rows);
    if (p.viewScrollX % 2 != 0 || within(p.viewScrollX, 0, 2 * columns, -1) < 0 ||
        within(p.viewScrollY, 0, rows, -1) < 0)
        p.viewScrollX = p.viewScrollY = 0;
    if (within(p.zoomPointX, 0, ed.overviewWidth - 1, -1) < 0 ||
        within(p.zoomPointY, 0, ed.overviewHeight - 1, -1) < 0)
        p.zoomPointX = p.zoomPointY = 0;

    ed.zoomClickX = p.zoomPointX;
    ed.zoomClickY = p.zoomPointY;
    ed.viewScrollX = p.viewScrollX;
    ed.viewScrollY = p.viewScrollY;
    ed.mirrorMode = p.mirrorMode;
    ed.viewZoom = p.viewZoom;
    ed.brushSizeIndex = p.brushSizeIndex;
    ed.generatorType = p.generatorType;
    ed.viewBlend = p.viewBlend;
    applyBrushPreset(ed, p.brushPreset);
    setBrushRadius(ed);
}

void writeSettings(EditorState &ed, const OperatorContext &ctx)
{
    EffectParamBlock &p = *ed.session.params;
    p.brushSizeIndex = (int16_t)ed.brushSizeIndex;
    p.generatorType = (int16_t)ed.generatorType;
    p.viewBlend = ed.viewBlend;
    p.savedFrame = ctx.currentFrame;
    p.mirrorMode = (int16_t)ed.mirrorMode;
    p.viewZoom = (int16_t)ed.viewZoom;
    p.viewScrollX = (int16_t)ed.viewScrollX;
    p.viewScrollY = (int16_t)ed.viewScrollY;
    p.zoomPointX = (int16_t)ed.zoomClickX;
    p.zoomPointY = (int16_t)ed.zoomClickY;
}

void setBrushRadius(EditorState &ed)
{
    static const int32_t factor[3] = {8, 4, 2};
    if (ed.viewZoom >= 0 && ed.viewZoom <= 2)
        ed.brushRadius = (ed.brushSizeIndex + 1) * factor[ed.viewZoom];
}

bool applyBrushPreset(EditorState &ed, int32_t preset)
{
    static const struct {
        float strength;
        int32_t mode;
    } presets[8] = {{0.2f, 2}, {0.7f, 2}, {1.0f, 2}, {0.5f, 0},
                    {0.5f, 1}, {0.5f, 4}, {0.5f, 5}, {0.5f, 3}};
    if (preset < 0 || preset > 7)
        return false;
    ed.brushStrength = presets[preset].strength;
    ed.brushMode = presets[preset].mode;
    return true;
}

int editEffect(EditorState &ed, OperatorContext &ctx, EffectParamBlock &params)
{
    if (!ctx.actionRecord)
        return -1;
    ed.session = EditorSession{};
    ed.session.params = &params;
    for (int32_t &g : ed.session.gadget)
        g = -1;
    // Static state of an earlier opening must not carry over.
    memset(ed.generatorParams, 0, sizeof ed.generatorParams);
    ed.generatorApplied = 0;
    ed.lastGadget = 0;
    ctx.editorRunning = 1;

    ctx.stringTable = resLoadStrings("vorlux_ops");
    ed.imageTable = resLoadImages("vorlux_ops");
    ed.timelineWidth = 154;
    ed.session.fieldCount = ctx.actionRecord->fieldCount;
    if (ed.session.fieldCount < 2) {
        showMessage(text(ctx, 507), 1);
        freeTables(ed, ctx);
        ctx.editorRunning = 0;
        return -1;
    }

    const int32_t sw = vgGetScreenWidth(), sh = vgGetScreenHeight();
    int16_t left, top, right, bottom;
    vgGetVisibleArea(&left, &top, &right, &bottom);
    ed.session.visibleTop = 0;
    ed.session.visibleBottom = sh - 1;
    if (!probeFrame(ed)) {
        LOG_FAILURE(ctx.variant); // journal: the editor could not read the current frame's fields
        freeTables(ed, ctx);
        ctx.editorRunning = 0;
        return -1;
    }
    if (ed.session.visibleBottom - ed.session.visibleTop + 1 >= ed.frameHeight)
        ed.session.visibleTop +=
            (ed.session.visibleBottom - (ed.frameHeight - 1) - ed.session.visibleTop) / 2;
    computeLayout(ed, ctx, sw, sh, ed.frameWidth, ed.frameHeight);
    if (ed.editViewWidth <= 0 || ed.editViewHeight <= 0 || ed.overviewHeight <= 0) {
        LOG_FAILURE(ctx.variant); // journal: the screen is too small for the editor's layout
        freeTables(ed, ctx);
        ctx.editorRunning = 0;
        return -1;
    }
    allocateExtensions(ed, ctx);

    ed.session.request = RequestRecord{};
    ed.session.request.screenWidth = (int16_t)sw;
    ed.session.request.screenHeight = (int16_t)sh;
    ed.session.request.messageQueue = msgQCreate(10, 44, 0);
    ed.session.request.flags = 0x21C0;
    ctx.lastFrame = (int32_t)(ed.session.fieldCount / 2) - 1;
    readSettings(ed);
    setLastFrame(ed, ctx);
    ctx.keyModified = 0;

    if (ed.session.request.messageQueue == 0) {
        LOG_FAILURE(ctx.variant); // journal: the editor got no message queue from the host
    } else if (vreqCreateRequest(&ed.session.request) != 0) {
        LOG_FAILURE(ctx.variant); // journal: the host refused the editor's requester
    } else {
        ed.session.requestOpen = 1;
        ed.requestHandle = ed.session.request.handle;
        buildList(ctx, &ed.session.presetList, ed.session.presetNodes, PRESET_COUNT, 300);
        buildList(ctx, &ed.session.generatorList, ed.session.generatorNodes, GENERATOR_ENTRIES,
                  310);
        ed.guiMode = vgGetGuiMode();
        vgDrawBackground(0, 0, sw - 1, sh - 1);
        createPanels(ed);
        drawTimelineScale(ed);
        createGadgets(ed, ctx);
        drawLabels(ed, ctx);
        // A render's buffers give way to the editor's.
        releaseMeshes(ctx);
        if (allocateFieldBuffers(ed, ctx)) {
            ed.viewBlend = ed.session.params->viewBlend;
            if (prepareEffect(ctx, ed.fields) == 0) {
                ed.session.prepared = 1;
                ed.session.preparedWidth = ctx.imageWidth;
                ed.session.preparedHeight = ctx.imageHeight;
                if (showFirstPictures(ed, ctx))
                    runLoop(ed, ctx);
            }
        }
    }
    leave(ed, ctx);
    ctx.editorRunning = 0;
    return 0;
}
