// The context of an operator instance, which holds its effect, its
// pictures and working meshes and what rendering and precalculation work
// with, and the key record of an effect. Every operation of the effect and
// editor layers takes the context it works on; what only the editor uses
// lives in the editor's own record (editor/state.h).
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

struct OperatorContext {
    const VariantDesc *variant; // the deliverable this instance is
    const WarpLevel *simd;      // the passes' instruction-set level, chosen when it is made

    // picture geometry
    int32_t imageWidth, imageHeight;
    int32_t gridCols, gridRows;
    int32_t projectWidth, projectHeight;
    int32_t workWidth, workHeight;
    int32_t meshCols, meshRows;

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

    // picture buffers
    uint32_t *sourcePixels, *targetPixels, *outputPixels;
    // Capacity of the prepared buffers, so a render never writes past them.
    size_t outputCapacity; // pixels in outputPixels
    size_t meshCapacity;   // nodes in each working mesh
    // Room for lines of the source/target mixture, kept by the vectorised
    // mixed pass (allocated on first use).
    KeptMixture mixture;
    int32_t fieldWidth, fieldHeight; // field size the render was prepared for

    // the precalculation's progress meter
    MeterRecord meterRecord;

    // files and host resources
    char operatorDir[OPERATOR_DIR_SIZE];
    const char *effectPath;                  // null or effectPathBuffer
    char effectPathBuffer[EFFECT_PATH_SIZE]; // our copy of the host's name
    FILE *effectFile;
    void *stringTable; // loaded by the editor; the meter's title comes from it
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
