// Internal to the engine: the entry points of the warp and window passes
// at one instruction-set level, as a table. A pass calls through the table
// its inputs carry (WarpInputs::simd, the instance's); every level's
// entries give the bits of the scalar ones. Each level's table is defined in its own file:
// engine/warplevel.cpp for the scalar reference (the loops of engine/warp.cpp),
// engine/warp_sse2.cpp, warp_avx2.cpp and warp_avx512.cpp for the
// vectorised levels.
#ifndef VX_WARPLEVEL_H
#define VX_WARPLEVEL_H

#include <cstddef>
#include <cstdint>

#include "engine/simd.h"
#include "engine/warpkernels.h"

// Byte-wise blendBytes(other[k], wOther, src[k], wSrc) into dst[k] for
// count pixels (dst may be other).
using BlendRunFn = void (*)(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                            int wOther, int wSrc);

struct WarpLevel {
    // Output rows [rowBegin, rowEnd) of a warp pass.
    void (*warpRows)(const PassParams &p, int rowBegin, int rowEnd);
    // A whole window pass (as viewRowsScalar).
    void (*viewRows)(const PassParams &p);
    // The blend of runs of pixels that the level's passes use.
    BlendRunFn blendRun;
    // The end levels of a dissolve take the shorter road to the same bits
    // (the scalar reference walks the whole blend).
    bool shortensEnds;
    // A mixed pass that samples about every pixel reads lines of the
    // mixture kept in PassParams::mixture.
    bool keepsMixture;
};

extern const WarpLevel warpLevelScalar, warpLevelSse2, warpLevelAvx2, warpLevelAvx512;

// The table of level, held at what this processor runs.
const WarpLevel &warpLevelOf(SimdLevel level);

// The scalar run blend; and the AVX2 level's, which the AVX-512 level's
// passes use too (engine/simd/avx512.h says why).
void blendRunScalar(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                    int wOther, int wSrc);
void blendRunAvx2(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                  int wOther, int wSrc);

#endif
