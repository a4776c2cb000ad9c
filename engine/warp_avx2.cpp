// The AVX2 level's warp and window passes, 8 pixels per step.
#include "engine/warplevel.h"

#if defined(__x86_64__)
#include "engine/simd/avx2.h"
#include "engine/warpsimd.h"

void blendRunAvx2(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                  int wOther, int wSrc)
{
    blendRunOfLanes(dst, other, src, count, wOther, wSrc);
}

const WarpLevel warpLevelAvx2 = {warpRowsOfLanes, viewRowsOfLanes, levelRunBlend, true, true};
#else
// Not a level of this processor (bestSimdLevel never gives it): the scalar
// passes.
const WarpLevel warpLevelAvx2 = {warpRowsScalar, viewRowsScalar, blendRunScalar, false, false};
#endif
