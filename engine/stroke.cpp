// The stroke steps of the edit view: mouse positions become dabs and
// strokes on the mesh, repeated about the vertical centre line with the
// mirror.
#include "engine/brush.h"

namespace {

void rememberPoints(const StrokeTools &tools, StrokePoints &points, int32_t col, int32_t row)
{
    points.strokeLastCol = col;
    points.strokeLastRow = row;
    points.mirrorLastCol = tools.canvas.cols - 1 - col;
    points.mirrorLastRow = row;
}

// Paints at (col, row) and, with the mirror, at its mirror image.
void paintAt(const StrokeTools &tools, const StrokePoints &points, int32_t col, int32_t row)
{
    const int32_t mirrorCol = tools.canvas.cols - 1 - col;
    if (tools.brush.mode == 2)
        brushStroke(tools.canvas, tools.brush, col, row, points.strokeLastCol,
                    points.strokeLastRow);
    else
        brushDab(tools.canvas, tools.brush, col, row, 0.0f, 0.0f);
    if (!tools.mirror)
        return;
    if (tools.brush.mode == 2)
        brushStroke(tools.canvas, tools.brush, mirrorCol, row, points.mirrorLastCol,
                    points.mirrorLastRow);
    else
        brushDab(tools.canvas, tools.brush, mirrorCol, row, 0.0f, 0.0f);
}

} // namespace

void strokeBegin(const StrokeTools &tools, StrokePoints &points, int32_t x, int32_t y)
{
    int32_t col, row;
    if (screenToMesh(tools.view, x, y, col, row))
        rememberPoints(tools, points, col, row);
}

bool strokeMove(const StrokeTools &tools, StrokePoints &points, int32_t x, int32_t y)
{
    int32_t col, row;
    if (screenToMesh(tools.view, x, y, col, row)) {
        paintAt(tools, points, col, row);
        rememberPoints(tools, points, col, row);
    }
    return true;
}

bool strokeEnd(const StrokeTools &tools, const StrokePoints &points, int32_t x, int32_t y)
{
    int32_t col, row;
    if (screenToMesh(tools.view, x, y, col, row))
        paintAt(tools, points, col, row);
    return true;
}
