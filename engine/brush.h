// Brush dabs and strokes on meshA, and the mapping of edit-view positions
// to mesh nodes.
#ifndef VX_BRUSH_H
#define VX_BRUSH_H

#include <cstdint>

// One dab centred on mesh node (col, row) with direction (c, d), by
// brushMode, brushRadius and brushStrength. New values are gathered in
// brushKernel first, then written, so every node composes with the mesh as
// it was before the dab.
void brushDab(int32_t col, int32_t row, float c, float d);
// Dabs spaced along the segment from (lastCol, lastRow) to (col, row),
// ending on (col, row).
void brushStroke(int32_t col, int32_t row, int32_t lastCol, int32_t lastRow);
// Mesh node under screen position (x, y) of the edit view, by viewZoom and
// the view's scroll; false at a zoom that paints nothing.
bool screenToMesh(int32_t x, int32_t y, int32_t &col, int32_t &row);

// Stroke steps of the editor's edit view (screen coordinates): a press
// records the last points, each move paints and redraws the edit view, the
// release paints once more without moving the last points.
void strokeBegin(int32_t x, int32_t y);
void strokeMove(int32_t x, int32_t y);
void strokeEnd(int32_t x, int32_t y);

#endif
