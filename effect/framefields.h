// The current frame's input fields, fetched for the editor.
#ifndef VX_FRAMEFIELDS_H
#define VX_FRAMEFIELDS_H

#include <cstddef>
#include <cstdint>

#include "effect/context.h"

// The editor's buffers of the current frame's input fields: a for input 0,
// b for input 1 (null with one input), capacity pixels each.
struct FieldBuffers {
    uint32_t *a, *b;
    size_t capacity;
};

// The current frame's fields into the field buffers, which become the
// source and target pictures: 0, or -1 (logged; the buffers keep the
// previous frame whole).
int fetchFrameFields(OperatorContext &ctx, const FieldBuffers &fields);

#endif
