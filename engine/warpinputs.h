// What a warp pass reads and writes, as plain records.
#ifndef VX_WARPINPUTS_H
#define VX_WARPINPUTS_H

#include <cstddef>
#include <cstdint>

// The entry points of the passes at one instruction-set level
// (engine/warplevel.h).
struct WarpLevel;

// The pictures a pass reads, both of the work size, the geometry of the
// working meshes, and the level the pass runs at.
struct WarpInputs {
    const uint32_t *source; // sampled by pass A, the source of the mixture
    const uint32_t *target; // sampled by pass B, the target of the mixture; may be null
    int32_t width, height;  // work size
    int32_t meshCols, meshRows;
    size_t meshCapacity;   // nodes each working mesh holds
    const WarpLevel *simd; // the level's table; null runs the scalar reference
};

// The picture a pass fills: width x height pixels, row stride width, in a
// buffer of capacity pixels.
struct PassOutput {
    uint32_t *pixels;
    int width, height;
    size_t capacity;
};

// Room for lines of the source/target mixture, kept by the vectorised
// mixed pass (allocated on its first use).
struct KeptMixture {
    uint32_t *pixels;
    size_t bytes;
};

#endif
