// The full-screen effect editor, run inside the editor gadget's action.
#ifndef VX_EDIT_H
#define VX_EDIT_H

#include "editor/state.h"
#include "effect/context.h"

// Runs the editor, holding its state in ed, on the instance's context and
// parameter block until the user leaves it; 0, or -1 when it cannot open.
int editEffect(EditorState &ed, OperatorContext &ctx, EffectParamBlock &params);

#endif
