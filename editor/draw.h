// The editor's pictures on the screen: timeline, frame marker, key
// thumbnails, overview and edit view; the current frame's input fields;
// the zoom origin picked in the overview; one-button messages.
#ifndef VX_DRAW_H
#define VX_DRAW_H

#include <cstdint>

// Horizontal timeline offset of frame: frame x timelineWidth / lastFrame in
// 64 bits, at most timelineWidth; 0 for a clip of a single frame.
int32_t timelineOffset(uint32_t frame);

void drawTimeline(void);
void drawFrameMarker(void);
void drawThumbnails(void);
void drawOverview(void);
void drawEditView(void);

// Bilinear resampling of packed pixels, each byte on its own; nothing is
// done when a size is not positive.
void resamplePixels(const uint32_t *source, int32_t sourceWidth, int32_t sourceHeight,
                    uint32_t *destination, int32_t destinationWidth, int32_t destinationHeight);
// Zoom window centred on (x, y) of the overview picture, kept inside the frame.
void setZoomOrigin(int32_t x, int32_t y);

// The current frame's fields into the field buffers: 0, or -1 (logged).
int fetchFrameFields(void);
// Fetches, interpolates and redraws the current frame; the fetch's error.
int refreshFrame(void);
// A one-button text requester; true when it answers with the first button.
bool showMessage(const char *text, uint32_t buttons = 1);

#endif
