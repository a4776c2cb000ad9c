// The context of an operator instance, which holds its effect, buffers and
// settings, and the key record of an effect. Every operation of the effect
// and editor layers takes the context it works on.
#ifndef VX_CONTEXT_H
#define VX_CONTEXT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "engine/brush.h"
#include "engine/heap.h"
#include "engine/mesh.h"
#include "engine/warp.h"
#include "operator/frame/dirs.h"
#include "operator/frame/log.h"
#include "operator/host/records.h"
#include "operator/host/vxgui.h"
#include "variants/variant.h"

enum { THUMB_WIDTH = 32, THUMB_HEIGHT = 24 };

struct KeyRecord {
    KeyRecord *next;
    KeyRecord *prev;
    uint32_t frame;
    int32_t level;  // dissolve level 0..255
    MeshNode *grid; // gridRows x gridCols nodes, owned by the key
    uint32_t thumbnail[THUMB_WIDTH * THUMB_HEIGHT];
};

enum { EFFECT_PATH_SIZE = 1024 };

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

// What one run of the editor holds besides the shared fields.
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
};

struct OperatorContext {
    const VariantDesc *variant; // the deliverable this instance is
    const WarpLevel *simd;      // the passes' instruction-set level, chosen when it is made

    // settings: keep their values for the life of the instance
    int32_t brushRadius = 16;
    float brushStrength = 0.7f;
    int32_t brushMode = 2;
    int32_t viewZoom;
    int32_t viewScrollX, viewScrollY;
    int32_t mirrorMode;
    int32_t brushSizeIndex = 1;
    int32_t generatorType;

    // picture geometry
    int32_t imageWidth, imageHeight;
    int32_t gridCols, gridRows;
    int32_t projectWidth, projectHeight;
    int32_t workWidth, workHeight;
    int32_t meshCols, meshRows;
    int32_t previewWidth, previewHeight;

    // time and keys
    int32_t lastFrame;
    int32_t currentFrame; // compared as unsigned
    KeyRecord *keyList;
    int32_t dissolveLevel;
    int32_t keyModified;

    // working meshes
    MeshNode *meshA, *meshB, *meshBase, *meshClipboard;
    MeshNode *brushKernel;
    float falloffTable[FALLOFF_SIZE];
    int32_t generatorParams[20];
    int32_t generatorApplied;

    // picture buffers
    uint32_t *sourcePixels, *targetPixels, *outputPixels, *previewPixels;
    // Capacity of the prepared buffers, so a render never writes past them.
    size_t outputCapacity; // pixels in outputPixels
    size_t meshCapacity;   // nodes in each working mesh
    // Room for lines of the source/target mixture, kept by the vectorised
    // mixed pass (allocated on first use).
    KeptMixture mixture;
    int32_t fieldWidth, fieldHeight; // field size the render was prepared for

    // brush stroke state, mesh coordinates
    StrokePoints stroke;

    // editor: request, layout and view settings, owned while it runs
    uint32_t requestHandle;
    int32_t guiMode;
    void *imageTable;
    MeterRecord meterRecord;
    int32_t frameWidth, frameHeight; // project frame size found at start-up
    int32_t rowHeight, gadgetHeight, textHeight;
    int32_t overviewX, overviewY, overviewWidth, overviewHeight;
    int32_t editBoxX, editBoxY, editViewWidth, editViewHeight;
    int32_t timelineWidth;
    double viewScale;                      // overview pixels per half source column
    int32_t imageAreaX, imageAreaY;        // top-left corner of the edit view
    int32_t viewBlend;                     // dissolve shown in the edit view
    int32_t zoomClickX, zoomClickY;        // last click in the overview picture
    uint32_t *fieldBufferA, *fieldBufferB; // the current frame's input fields
    size_t fieldBufferCapacity;            // pixels in each field buffer
    int32_t lastGadget, lastKeyCode;
    float savedBrushStrength;
    int32_t savedBrushMode;
    EditorSession editor;

    // files and host resources
    char operatorDir[OPERATOR_DIR_SIZE];
    const char *effectPath;                  // null or effectPathBuffer
    char effectPathBuffer[EFFECT_PATH_SIZE]; // our copy of the host's name
    FILE *effectFile;
    void *stringTable;
    ActionRecord *actionRecord;

    // state flags
    int32_t renderPrepared;
    int32_t editorActive;  // the editor waits in the host's preview
    int32_t editorRunning; // an editor session is open

    // working values saved by a set-up nested in a preview
    struct {
        int32_t valid;
        uint32_t *sourcePixels, *targetPixels;
        int32_t imageWidth, imageHeight;
        int32_t currentFrame;
        int32_t workWidth, workHeight;
    } saved;
};

// A fresh context of variant, its passes at the level VX_SIMD asks for
// (else the processor's best).
void initContext(OperatorContext &ctx, const VariantDesc &variant);
// What a pass reads from the context: the pictures, the working meshes'
// geometry and the level's table.
WarpInputs warpInputsOf(const OperatorContext &ctx);
// The engine's output picture of width x height pixels.
PassOutput engineOutput(const OperatorContext &ctx, int width, int height);

#endif
