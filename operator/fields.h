// Input and output fields of one render: fetched from the host, copied
// into packed pictures, and the result handed back.
#ifndef VX_FIELDS_H
#define VX_FIELDS_H

#include <cstddef>
#include <cstdint>

#include "operator/host/records.h"

// What one render holds; everything is released on every path.
struct RenderHold {
    HostImage *input0 = nullptr;
    HostImage *input1 = nullptr;
    uint32_t *source = nullptr;
    uint32_t *target = nullptr;
    uint32_t *scratchOutput = nullptr;
    int width = 0, height = 0; // input field size
    size_t pixels = 0;
};

// Fetches input 0 (and input 1 when inputCount is 2) of record->field,
// copies them into packed pictures and sets sourcePixels, targetPixels,
// currentFrame, lastFrame and the image and work sizes. -1 (logged, all
// released) when a field is missing, malformed, of another size than
// input 0, or a buffer cannot be had.
int fetchInputs(const ActionRecord *record, int inputCount, RenderHold &hold);
// Copies out (the field's size) into input 0, releases everything else and
// hands input 0 to the host; returns the host's result.
int deliverOutput(RenderHold &hold, const uint32_t *out);
// Logs line, releases everything, returns -1.
int failRender(RenderHold &hold, int line);
void releaseHold(RenderHold &hold);

// Work and image size for the first render after set-up: the project size
// when flags bit 0 asks for it and the project size is known, else the
// field's (already set by fetchInputs).
void chooseWorkSize(const ActionRecord *record);
// Allocates outputPixels and meshA (and meshB) at the work size, meshes
// zeroed, records their capacities and the field size they serve, then
// sets the image and work size back to the field's: the passes always run
// at the field's size. -1 (logged, nothing left allocated) on failure.
int allocateWorkBuffers(bool withMeshB, const RenderHold &hold);

#endif
