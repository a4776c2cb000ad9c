// Input and output fields of one render: fetched from the host, copied
// into packed pictures, and the result handed back.
#ifndef VX_FIELDS_H
#define VX_FIELDS_H

#include <cstddef>
#include <cstdint>

#include "operator/host/records.h"
#include "variants/variant.h"

// What one render holds; everything is released on every path.
struct RenderHold {
    HostImage *input0 = nullptr;
    HostImage *input1 = nullptr;
    uint32_t *source = nullptr;
    uint32_t *target = nullptr;
    uint32_t *scratchOutput = nullptr;
    int width = 0, height = 0; // input field size
    size_t pixels = 0;
    int32_t currentFrame = 0; // field / 2, the last frame for the extra field of an odd clip
    int32_t lastFrame = 0;    // fieldCount / 2 - 1, at least 0
    // Where the caller keeps pointers to source and target (or null): they
    // are cleared when the pictures die, so none is left dangling.
    uint32_t **sourceSlot = nullptr;
    uint32_t **targetSlot = nullptr;
};

// Fetches input 0 (and input 1 when the variant has two inputs) of
// record->field, copies them into packed pictures (source, target) and
// sets the field size, currentFrame and lastFrame. -1 (logged, all
// released) when a field is missing, malformed, of another size than
// input 0, or a buffer cannot be had.
int fetchInputs(const VariantDesc *variant, const ActionRecord *record, RenderHold &hold);
// Copies out (the field's size) into input 0, releases everything else and
// hands input 0 to the host; returns the host's result.
int deliverOutput(RenderHold &hold, const uint32_t *out);
// Logs line, releases everything, returns -1.
int failRender(const VariantDesc *variant, RenderHold &hold, int line);
void releaseHold(RenderHold &hold);

#endif
