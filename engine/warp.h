// Pixel samplers and warp passes. Every input comes as an argument: the
// pictures, the geometry of the working meshes and the table of the
// instruction-set level (WarpInputs), the mesh, the dissolve level and the
// output with its capacity. Every pixel and
// mesh read is clamped or guarded, so a pass cannot fail.
//
// Guards of the passes, checked once per pass:
// - an empty work picture (width or height <= 0), an empty output (width
//   or height <= 0), a null output or a missing input picture: nothing is
//   written;
// - an output of more pixels than its capacity: nothing is written;
// - a mesh that is null or holds fewer than meshCols x meshRows nodes
//   (meshCapacity) displaces nothing: the pass is a plain copy.
// Samplers clamp coordinates into -1..W and -1..H before converting them
// (the same samples as clamping the neighbours; NaN reads the first pixel),
// and a bilinear byte outside 0..255 is clamped before truncation.
// Displacement components that are NaN or -0.0 count as zero. Dissolve
// levels outside 0..255 are held at 0 or 255.
#ifndef VX_WARP_H
#define VX_WARP_H

#include <cstddef>
#include <cstdint>

#include "engine/mesh.h"
#include "engine/warpinputs.h"

void releaseKeptMixture(KeptMixture &kept);

// The table of requestedSimdLevel() (engine/simd.h): what an instance
// runs its passes at, read once when the instance is made.
const WarpLevel *requestedWarpLevel(void);

// The mesh of cols x rows nodes interpolated at a fractional mesh
// position; (0, 0) outside.
MeshNode meshDisplacementAt(const MeshNode *mesh, int32_t cols, int32_t rows, float gc, float gr);
// Bilinear samplers of the source / target at a fractional position.
uint32_t sampleSource(const WarpInputs &in, float x, float y);
uint32_t sampleTarget(const WarpInputs &in, float x, float y);
// Nearest and bilinear samples of the source/target mixture at level.
uint32_t fetchMixed(const WarpInputs &in, int32_t level, int x, int y);
uint32_t sampleMixed(const WarpInputs &in, int32_t level, float x, float y);

// The steps of a pass of stepW x stepH output pixels over the whole
// picture: source pixels and mesh nodes per output pixel, and the
// reciprocals that turn a displacement in mesh cells into pixels (0 without
// mesh rows or columns).
struct PassSteps {
    float srcRowStep, srcColStep;
    float meshRowStep, meshColStep;
    float pixelsPerRow, pixelsPerColumn;
};
PassSteps passSteps(const WarpInputs &in, int stepW, int stepH);

// Fill out from the whole picture through mesh.
void warpPassA(const WarpInputs &in, const MeshNode *meshA, const PassOutput &out);
// Dissolves the target through meshB into out at level (after warpPassA on out).
void warpPassB(const WarpInputs &in, const MeshNode *meshB, int32_t level, const PassOutput &out);
// The mixture at level through mesh.
void warpPassMixed(const WarpInputs &in, const MeshNode *mesh, int32_t level, KeptMixture &kept,
                   const PassOutput &out);

#endif
