// The editor's pictures on the screen: timeline, frame marker, key
// thumbnails, overview and edit view; the current frame's input fields;
// the zoom origin picked in the overview; one-button messages.
#ifndef VX_DRAW_H
#define VX_DRAW_H

#include <cstdint>

#include "editor/state.h"
#include "effect/context.h"
#include "engine/viewpass.h"

// Horizontal timeline offset of frame: frame x timelineWidth / lastFrame in
// 64 bits, at most timelineWidth; 0 for a clip of a single frame.
int32_t timelineOffset(const EditorState &ed, const OperatorContext &ctx, uint32_t frame);

void drawTimeline(EditorState &ed, const OperatorContext &ctx);
void drawFrameMarker(EditorState &ed, const OperatorContext &ctx);
void drawThumbnails(EditorState &ed, const OperatorContext &ctx);
void drawOverview(EditorState &ed, const OperatorContext &ctx);
void drawEditView(EditorState &ed, OperatorContext &ctx);
// What a key operation says it changed (KeyChange flags): thumbnails,
// timeline, frame marker, in that order.
void redrawKeys(EditorState &ed, const OperatorContext &ctx, unsigned changed);
// What the variant shows in the edit view.
ViewShows viewShowsOf(const VariantDesc &variant);
// The variant's preview passes at dissolveLevel into previewPixels.
void renderPreviewPicture(EditorState &ed, OperatorContext &ctx);

// Bilinear resampling of packed pixels, each byte on its own; nothing is
// done when a size is not positive.
void resamplePixels(const uint32_t *source, int32_t sourceWidth, int32_t sourceHeight,
                    uint32_t *destination, int32_t destinationWidth, int32_t destinationHeight);
// Zoom window centred on (x, y) of the overview picture, kept inside the frame.
void setZoomOrigin(EditorState &ed, int32_t x, int32_t y);

// Fetches, interpolates and redraws the current frame; the fetch's error.
int refreshFrame(EditorState &ed, OperatorContext &ctx);
// A one-button text requester; true when it answers with the first button.
bool showMessage(const char *text, uint32_t buttons = 1);

#endif
