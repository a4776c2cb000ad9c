// Steps the editor's start-up, message loop and reactions share.
#ifndef VX_SESSION_H
#define VX_SESSION_H

#include <cstdint>

#include "editor/state.h"
#include "effect/context.h"
#include "operator/host/vxgui.h"

// Layout of the panel from the screen (sw x sh, visible rows visibleTop ..
// visibleBottom), the metrics of the font and the frame size fw x fh.
void computeLayout(EditorState &ed, const OperatorContext &ctx, int32_t sw, int32_t sh, int32_t fw,
                   int32_t fh);

// Settings of the parameter block: read with validation at start-up,
// written back after every message.
void readSettings(EditorState &ed);
void writeSettings(EditorState &ed, const OperatorContext &ctx);

// Brush radius for brushSizeIndex at viewZoom; other zooms keep it.
void setBrushRadius(EditorState &ed);
// brushStrength and brushMode of a preset; false (nothing set) for others.
bool applyBrushPreset(EditorState &ed, int32_t preset);

// Sets a gadget's value (attribute 40, redrawn); absent gadgets are skipped.
void setGadgetValue(EditorState &ed, int gadget, int32_t value);
// The variant's preview passes into previewPixels, then the overview.
void renderPreview(EditorState &ed, OperatorContext &ctx);
// Generator amount slider and every generator amount to 0.
void clearGenerator(EditorState &ed);
// The editor's generator: meshA from the keys at currentFrame, then, unless
// generatorType is 0, every generator with a non-zero amount in
// generatorParams, in ascending order.
void applyGenerators(const EditorState &ed, OperatorContext &ctx);

// Frame under a timeline x: the offset is clamped to the scale first.
uint32_t timelineFrame(const EditorState &ed, const OperatorContext &ctx, int32_t x);

// The brush, mesh and view the edit view's strokes paint with.
StrokeTools strokeToolsOf(EditorState &ed, const OperatorContext &ctx);

// The reaction to one message; sets ed.session.leave to end the loop.
void reactToMessage(EditorState &ed, OperatorContext &ctx, const EditorMessage &message);

#endif
