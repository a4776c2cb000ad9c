// The SSE2 level's warp and window passes, 4 pixels per step.
#include "engine/warplevel.h"

#if defined(__x86_64__)
#include "engine/simd/sse2.h"
#include "engine/warpsimd.h"

const WarpLevel warpLevelSse2 = {warpRowsOfLanes, viewRowsOfLanes, levelRunBlend, true, true};
#else
// Not a level of this processor (bestSimdLevel never gives it): the scalar
// passes.
const WarpLevel warpLevelSse2 = {warpRowsScalar, viewRowsScalar, blendRunScalar, false, false};
#endif
