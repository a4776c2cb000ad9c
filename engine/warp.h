// Displacement meshes, samplers and warp passes. They work on the
// context's pictures and meshes; every pixel and mesh read is clamped or
// guarded, so a pass cannot fail.
//
// Guards of the passes, checked once per pass:
// - an empty work picture (workWidth or workHeight <= 0), an empty output
//   (outW or outH <= 0), a null out or a missing input picture: nothing is
//   written;
// - out == outputPixels with outW x outH > outputCapacity: nothing is
//   written (set outputCapacity whenever outputPixels is replaced);
// - a working mesh that is null or holds fewer than meshCols x meshRows
//   nodes (meshCapacity) displaces nothing: the pass is a plain copy.
// Samplers clamp coordinates into -1..W and -1..H before converting them
// (the same samples as clamping the neighbours; NaN reads the first pixel),
// and a bilinear byte outside 0..255 is clamped before truncation.
// Displacement components that are NaN or -0.0 count as zero. Dissolve
// levels outside 0..255 are held at 0 or 255.
#ifndef VX_WARP_H
#define VX_WARP_H

#include <cstdint>

#include "effect/context.h"

// Engine set-up around a key grid: geometry, buffers, falloff table.
// Returns 0, or -1 (logged, everything released) when an allocation fails.
// Sets outputCapacity and meshCapacity ((H/2) x (W/2)); buffers held before
// are released once the new set is in place. meshB only with hasMeshB.
int prepareMeshes(const MeshNode *keyGrid);
void releaseMeshes(void); // also releaseMixture
// Frees the room the mixed pass keeps lines of the mixture in (allocated by
// its first vectorised pass).
void releaseMixture(void);
// Whole-mesh operations over gridRows x gridCols nodes.
void copyMesh(const MeshNode *source, MeshNode *destination);
void swapMesh(MeshNode *a, MeshNode *b);
void fillFalloffTable(void);

// The mesh interpolated at a fractional mesh position; (0, 0) outside.
MeshNode meshDisplacementAt(const MeshNode *mesh, float gc, float gr);
// Bilinear samplers of sourcePixels / targetPixels at a fractional position.
uint32_t sampleSource(float x, float y);
uint32_t sampleTarget(float x, float y);
// Nearest and bilinear samples of the source/target mixture at dissolveLevel.
uint32_t fetchMixed(int x, int y);
uint32_t sampleMixed(float x, float y);

// A warp pass: fills out (outW x outH pixels) from the context's pictures.
using WarpPassFn = void (*)(uint32_t *out, int outW, int outH);
// The pass a variant names by its code (1 A, 2 B, 3 mixed); null for any
// other code, which ends a variant's list of passes.
WarpPassFn passFor(int code);

// Fill out (outW x outH pixels, row stride outW) from the whole picture.
void warpPassA(uint32_t *out, int outW, int outH);
void warpPassB(uint32_t *out, int outW, int outH); // after warpPassA on out
void warpPassMixed(uint32_t *out, int outW, int outH);

#endif
