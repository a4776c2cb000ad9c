// The context's picture and mesh buffers: the editor's set around a key
// grid, and the render's set at the work size.
#ifndef VX_BUFFERS_H
#define VX_BUFFERS_H

#include "effect/context.h"
#include "operator/frame/fields.h"

// Engine set-up around a key grid: geometry, buffers, falloff table.
// Returns 0, or -1 (logged, everything released) when an allocation fails.
// Sets outputCapacity and meshCapacity ((H/2) x (W/2)); buffers held before
// are released once the new set is in place. meshB only with hasMeshB.
int prepareMeshes(OperatorContext &ctx, const MeshNode *keyGrid);
void releaseMeshes(OperatorContext &ctx); // also releaseMixture
// Frees the room the mixed pass keeps lines of the mixture in.
void releaseMixture(OperatorContext &ctx);

// The fetched fields become the context's pictures: sourcePixels,
// targetPixels (cleared again when the render releases them), the current
// and last frame, and the image and work size.
void adoptInputs(OperatorContext &ctx, RenderHold &hold);
// Work and image size for the first render after set-up: the project size
// when flags bit 0 asks for it and the project size is known, else the
// field's (already set by adoptInputs).
void chooseWorkSize(OperatorContext &ctx, const ActionRecord *record);
// Allocates outputPixels and meshA (and meshB) at the work size, meshes
// zeroed, records their capacities and the field size they serve, then
// sets the image and work size back to the field's: the passes always run
// at the field's size. -1 (logged, nothing left allocated) on failure.
int allocateWorkBuffers(OperatorContext &ctx, bool withMeshB, const RenderHold &hold);

#endif
