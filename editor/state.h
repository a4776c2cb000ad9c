// The editor's own record, held by an effect operator's instance beside its
// context: the settings the editor keeps for the life of the instance, the
// layout and view of its screen, and what one run of it holds. Every editor
// function takes this record and the context it edits.
#ifndef VX_EDITOR_STATE_H
#define VX_EDITOR_STATE_H

#include <cstddef>
#include <cstdint>

#include "effect/framefields.h"
#include "engine/brush.h"
#include "operator/host/vxgui.h"

// The editor's persistent settings, carried per instance by the host.
struct EffectParamBlock {
    int16_t unused;
    int16_t brushSizeIndex;
    int16_t brushPreset;
    int16_t generatorType;
    int32_t viewBlend;
    int32_t savedFrame;
    int16_t mirrorMode;
    int16_t viewZoom;
    int16_t viewScrollX;
    int16_t viewScrollY;
    int16_t zoomPointX;
    int16_t zoomPointY;
};
static_assert(sizeof(EffectParamBlock) == 28);
static_assert(offsetof(EffectParamBlock, viewBlend) == 8);
static_assert(offsetof(EffectParamBlock, mirrorMode) == 16);
static_assert(offsetof(EffectParamBlock, zoomPointY) == 26);

// The editor's gadgets, in creation order.
enum EditorGadget {
    GADGET_BRUSH_SIZE, // four toggle buttons
    GADGET_BRUSH_PRESET = GADGET_BRUSH_SIZE + 4,
    GADGET_MIRROR,
    GADGET_GENERATOR,
    GADGET_AMOUNT,
    GADGET_DONE,
    GADGET_PREVIEW,
    GADGET_RESET,
    GADGET_FRAME,
    GADGET_FIRST_KEY,
    GADGET_LAST_KEY,
    GADGET_DELETE_KEY,
    GADGET_KEY_LEVEL,
    GADGET_ZOOM, // three toggle buttons
    GADGET_REVERT = GADGET_ZOOM + 3,
    GADGET_CLEAR,
    GADGET_VIEW, // A, mid and B
    GADGET_VIEW_BLEND = GADGET_VIEW + 3,
    EDITOR_GADGET_COUNT
};
enum { EDITOR_PANEL_COUNT = 13, PRESET_COUNT = 8, GENERATOR_ENTRIES = 18, ABOUT_TEXT_SIZE = 256 };

// The undo history of a session: the kept models before the steps that can
// be undone (oldest first) and after those undone (last undone last), the
// model before the open step, and the grids, meshes and thumbnails they
// share (editor/undo.cpp).
enum { UNDO_STEPS = 100 };
struct UndoSnapshot;
struct UndoBlob;
struct UndoHistory {
    UndoSnapshot *undo[UNDO_STEPS];
    UndoSnapshot *redo[UNDO_STEPS];
    int32_t undoCount, redoCount;
    UndoSnapshot *open;  // the model before the open step, or null
    uint32_t openSlider; // gadget code of the open slider step, or 0
    UndoBlob **blobs;    // every kept blob, for sharing
    size_t blobCount, blobCapacity;
    size_t bytes; // kept data, blobs and their records
};

// What one run of the editor holds, cleared when it opens.
struct EditorSession {
    EffectParamBlock *params; // the instance's parameter block: read at start, written back
    RequestRecord request;
    int32_t requestOpen;
    int32_t gadget[EDITOR_GADGET_COUNT]; // handles; -1 where absent
    int32_t panel[EDITOR_PANEL_COUNT];
    int32_t panelCount;
    GadgetExtension *extension[4];
    ListHeader presetList, generatorList;
    ListNode presetNodes[PRESET_COUNT], generatorNodes[GENERATOR_ENTRIES];
    uint32_t fieldCount; // the clip length at start-up
    int32_t visibleTop, visibleBottom;
    int32_t bottomY, logoX, logoY, logoHeight;
    int32_t previewBoxX, brushBoxX, generatorBoxX;
    int32_t overviewBoxWidth, overviewBoxHeight, editBoxWidth, editBoxHeight;
    int32_t prepared; // the effect was prepared: leaving writes it
    int32_t preparedWidth, preparedHeight;
    int32_t dragging; // 0, or the mouse button that drags in the edit view
    int32_t frameSliderMoved;
    int32_t leave;
    char aboutText[ABOUT_TEXT_SIZE];
    UndoHistory undo;
};

struct EditorState {
    // settings: keep their values for the life of the instance
    int32_t brushRadius = 16;
    float brushStrength = 0.7f;
    int32_t brushMode = 2;
    int32_t viewZoom;
    int32_t viewScrollX, viewScrollY;
    int32_t mirrorMode;
    int32_t brushSizeIndex = 1;
    int32_t generatorType;
    int32_t viewBlend;                        // dissolve shown in the edit view
    int32_t zoomClickX, zoomClickY;           // last click in the overview picture
    size_t undoByteLimit = (size_t)256 << 20; // what the undo history may keep

    // the generators' amounts by type, and whether meshBase holds the mesh
    // they apply to
    int32_t generatorParams[20];
    int32_t generatorApplied;

    // brush stroke state, mesh coordinates
    StrokePoints stroke;

    // request, layout and view, owned while the editor runs
    uint32_t requestHandle;
    int32_t guiMode;
    void *imageTable;
    int32_t frameWidth, frameHeight; // project frame size found at start-up
    int32_t rowHeight, gadgetHeight, textHeight;
    int32_t overviewX, overviewY, overviewWidth, overviewHeight;
    int32_t editBoxX, editBoxY, editViewWidth, editViewHeight;
    int32_t timelineWidth;
    double viewScale;               // overview pixels per half source column
    int32_t imageAreaX, imageAreaY; // top-left corner of the edit view
    // The preview picture the overview is drawn from: a quarter of the
    // prepared picture each way.
    uint32_t *previewPixels;
    int32_t previewWidth, previewHeight;
    FieldBuffers fields; // the current frame's input fields
    int32_t lastGadget, lastKeyCode;
    float savedBrushStrength;
    int32_t savedBrushMode;
    EditorSession session;
};

#endif
