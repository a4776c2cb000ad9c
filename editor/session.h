// Steps the editor's start-up, message loop and reactions share.
#ifndef VX_SESSION_H
#define VX_SESSION_H

#include <cstdint>

#include "effect/context.h"
#include "operator/host/vxgui.h"

// Layout of the panel from the screen (sw x sh, visible rows visibleTop ..
// visibleBottom), the metrics of the font and the frame size fw x fh.
void computeLayout(OperatorContext &ctx, int32_t sw, int32_t sh, int32_t fw, int32_t fh);

// Settings of the parameter block: read with validation at start-up,
// written back after every message.
void readSettings(OperatorContext &ctx);
void writeSettings(OperatorContext &ctx);

// Brush radius for brushSizeIndex at viewZoom; other zooms keep it.
void setBrushRadius(OperatorContext &ctx);
// brushStrength and brushMode of a preset; false (nothing set) for others.
bool applyBrushPreset(OperatorContext &ctx, int32_t preset);

// Sets a gadget's value (attribute 40, redrawn); absent gadgets are skipped.
void setGadgetValue(OperatorContext &ctx, int gadget, int32_t value);
// The variant's preview passes into previewPixels, then the overview.
void renderPreview(OperatorContext &ctx);
// Generator amount slider and every generator amount to 0.
void clearGenerator(OperatorContext &ctx);

// Frame under a timeline x: the offset is clamped to the scale first.
uint32_t timelineFrame(const OperatorContext &ctx, int32_t x);

// The brush, mesh and view the edit view's strokes paint with.
StrokeTools strokeToolsOf(OperatorContext &ctx);

// The reaction to one message; sets ctx.editor.leave to end the loop.
void reactToMessage(OperatorContext &ctx, const EditorMessage &message);

#endif
