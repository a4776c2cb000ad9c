// The operator frame: directories, project size, the actions of the effect
// operators and their render.
#ifndef VX_OPERATOR_H
#define VX_OPERATOR_H

#include <cstddef>

#include "operator/host/records.h"

#include "platform/export.h"

// operatorDir := $VXHOME + "/programs/vorlux/". -1 (logged) when VXHOME is
// unset or empty, or too long for the directory and the names below it.
int buildOperatorDir(void);
// Writes $VXHOME + suffix into out (size bytes); -1 (logged) when VXHOME is
// unset or the result does not fit.
int homePath(const char *suffix, char *out, size_t size);
// projectWidth/projectHeight from one host image of the project format.
void probeProjectSize(void);
// Creates a directory and its missing parents; -1 when it cannot be made.
int makeDirectories(const char *path);
// makeDirectories, logged when the directory cannot be made.
void installDirectory(const char *path);

int renderField(ActionRecord *record);

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

extern EffectParamBlock paramBlock;

#endif
