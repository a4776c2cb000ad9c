// The one static record of a library that holds all of its state, and the
// key record of an effect. Every operation reads and writes `ctx` directly.
#ifndef VX_CONTEXT_H
#define VX_CONTEXT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "operator/host/records.h"
#include "operator/host/vxgui.h"

struct MeshNode {
    float dx; // displacement in mesh columns
    float dy; // displacement in mesh rows
};

enum { THUMB_WIDTH = 32, THUMB_HEIGHT = 24 };

struct KeyRecord {
    KeyRecord *next;
    KeyRecord *prev;
    uint32_t frame;
    int32_t level;  // dissolve level 0..255
    MeshNode *grid; // gridRows x gridCols nodes, owned by the key
    uint32_t thumbnail[THUMB_WIDTH * THUMB_HEIGHT];
};

enum { OPERATOR_DIR_SIZE = 512, EFFECT_PATH_SIZE = 1024, FALLOFF_SIZE = 100 };

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
    // settings: keep their values for the life of the library
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

    // values of the pass that ran last
    float srcRowStep, srcColStep;
    float meshRowStep, meshColStep;
    float pixelsPerRow, pixelsPerColumn;

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
    uint32_t *mixturePixels;
    size_t mixtureBytes;
    int32_t fieldWidth, fieldHeight; // field size the render was prepared for

    // brush stroke state, mesh coordinates
    int32_t strokeLastCol, strokeLastRow;
    int32_t mirrorLastCol, mirrorLastRow;

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

// Zero at library load but for the settings' initial values.
extern OperatorContext ctx;

// Logs a failure at level 4 with this library's source name and module code.
void logFailure(int line);
#define LOG_FAILURE() logFailure(__LINE__)

// Heap allocation of the core. Tests can make the Nth allocation fail.
void *allocBlock(size_t bytes);
void *allocZeroed(size_t count, size_t size);
void freeBlock(void *block);
void failAllocationAfter(long count); // -1: never fail (the default)

#endif
