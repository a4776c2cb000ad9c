// The current frame's input fields, fetched for the editor.
#ifndef VX_FRAMEFIELDS_H
#define VX_FRAMEFIELDS_H

#include "effect/context.h"

// The current frame's fields into the field buffers, which become the
// source and target pictures: 0, or -1 (logged; the buffers keep the
// previous frame whole).
int fetchFrameFields(OperatorContext &ctx);

#endif
