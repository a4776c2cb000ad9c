// Undo and redo of the editor's edits, for one editor session.
//
// A step is one edit as the user sees it: a stroke from press to release,
// a smoothing, a generator or level slider from its first move to its
// release, a copy, paste or swap, a revert, clear, key deletion or Start
// over. Before a step the editor's model is kept: the key list (frames,
// levels, grids and thumbnails), the current frame, its level and working
// meshes, the clipboard and the generator's amounts. Undo puts a kept model
// back exactly and redraws the editor as a move to that frame would.
//
// Grids, meshes and thumbnails that are equal between kept models are kept
// once, so a stroke costs about one grid. The history holds at most
// UNDO_STEPS steps and undoByteLimit bytes of kept data; the oldest steps
// are dropped first. Memory that cannot be had only shortens the history:
// an edit never fails for it.
#ifndef VX_UNDO_H
#define VX_UNDO_H

#include <cstddef>
#include <cstdint>

#include "editor/state.h"
#include "effect/context.h"

// The key codes: Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo.
enum : uint32_t { KEY_UNDO = 0x2007A, KEY_REDO = 0x22007A, KEY_REDO_Y = 0x20079 };

// Opens a step with the model as it stands, unless a step of the same
// slider (non-zero gadget code) is open, which goes on; another open step
// ends first.
void beginStep(EditorState &ed, const OperatorContext &ctx, uint32_t slider = 0);
// Ends the open step: it joins the history when it changed the model.
void endStep(EditorState &ed, const OperatorContext &ctx);
// Whether the open step of a slider goes on with message m (its gadget, or
// the release that ends its use).
bool stepGoesOn(const EditorState &ed, const EditorMessage &m);

// The model before the last step (after the last undone one for redo), put
// back and shown; false when there is none or no memory to rebuild it.
bool undoStep(EditorState &ed, OperatorContext &ctx);
bool redoStep(EditorState &ed, OperatorContext &ctx);

// Steps that can be undone, and the bytes the history keeps.
int32_t undoableSteps(const EditorState &ed);
size_t undoHistoryBytes(const EditorState &ed);

// Frees the whole history (the session ends).
void forgetSteps(EditorState &ed);

#endif
