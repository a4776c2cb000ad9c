// Brush dabs and strokes on a mesh, and the mapping of edit-view positions
// to mesh nodes.
#ifndef VX_BRUSH_H
#define VX_BRUSH_H

#include <cstddef>
#include <cstdint>

#include "engine/mesh.h"

// The mesh a brush paints: cols x rows nodes in a buffer of capacity nodes,
// the kernel the new values are gathered in ((2 * 100 + 1)^2 nodes) and
// the falloff table.
struct BrushCanvas {
    MeshNode *mesh;
    MeshNode *kernel;
    int32_t cols, rows;
    size_t capacity;
    const float *falloff; // FALLOFF_SIZE values
};

struct BrushSettings {
    int32_t radius; // held inside 1..100
    float strength;
    int32_t mode; // 0..5
};

// One dab centred on mesh node (col, row) with direction (c, d). New
// values are gathered in the kernel first, then written, so every node
// composes with the mesh as it was before the dab.
void brushDab(const BrushCanvas &canvas, const BrushSettings &brush, int32_t col, int32_t row,
              float c, float d);
// Dabs spaced along the segment from (lastCol, lastRow) to (col, row),
// ending on (col, row).
void brushStroke(const BrushCanvas &canvas, const BrushSettings &brush, int32_t col, int32_t row,
                 int32_t lastCol, int32_t lastRow);

// Where the edit view shows the mesh: zoom, overview pixels per half
// source column, the view's top-left corner and its scroll.
struct ViewMapping {
    int32_t zoom;
    double scale;
    int32_t areaX, areaY;
    int32_t scrollX, scrollY;
};

// Mesh node under screen position (x, y) of the edit view; false at a zoom
// that paints nothing.
bool screenToMesh(const ViewMapping &view, int32_t x, int32_t y, int32_t &col, int32_t &row);

// The last points of a stroke and of its mirror image, mesh coordinates.
struct StrokePoints {
    int32_t strokeLastCol, strokeLastRow;
    int32_t mirrorLastCol, mirrorLastRow;
};

// Everything a stroke step paints with.
struct StrokeTools {
    BrushCanvas canvas;
    BrushSettings brush;
    ViewMapping view;
    bool mirror; // paint the mirror image about the vertical centre line too
};

// Stroke steps of the editor's edit view (screen coordinates): a press
// records the last points, each move paints, the release paints once more
// without moving the last points. Move and release return true: the edit
// view is to be redrawn.
void strokeBegin(const StrokeTools &tools, StrokePoints &points, int32_t x, int32_t y);
bool strokeMove(const StrokeTools &tools, StrokePoints &points, int32_t x, int32_t y);
bool strokeEnd(const StrokeTools &tools, const StrokePoints &points, int32_t x, int32_t y);

#endif
