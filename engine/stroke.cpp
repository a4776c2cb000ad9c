// The stroke steps of the edit view: mouse positions become dabs and
// strokes on meshA, repeated about the vertical centre line with the mirror.
#include "editor/draw.h"
#include "effect/context.h"
#include "engine/brush.h"

namespace {

void rememberPoints(int32_t col, int32_t row)
{
    ctx.strokeLastCol = col;
    ctx.strokeLastRow = row;
    ctx.mirrorLastCol = ctx.meshCols - 1 - col;
    ctx.mirrorLastRow = row;
}

// Paints at (col, row) and, with the mirror, at its mirror image.
void paintAt(int32_t col, int32_t row)
{
    const int32_t mirrorCol = ctx.meshCols - 1 - col;
    if (ctx.brushMode == 2)
        brushStroke(col, row, ctx.strokeLastCol, ctx.strokeLastRow);
    else
        brushDab(col, row, 0.0f, 0.0f);
    if (ctx.mirrorMode != 1)
        return;
    if (ctx.brushMode == 2)
        brushStroke(mirrorCol, row, ctx.mirrorLastCol, ctx.mirrorLastRow);
    else
        brushDab(mirrorCol, row, 0.0f, 0.0f);
}

} // namespace

void strokeBegin(int32_t x, int32_t y)
{
    int32_t col, row;
    if (screenToMesh(x, y, col, row))
        rememberPoints(col, row);
}

void strokeMove(int32_t x, int32_t y)
{
    int32_t col, row;
    if (screenToMesh(x, y, col, row)) {
        paintAt(col, row);
        rememberPoints(col, row);
    }
    drawEditView();
}

void strokeEnd(int32_t x, int32_t y)
{
    int32_t col, row;
    if (screenToMesh(x, y, col, row))
        paintAt(col, row);
    drawEditView();
}
