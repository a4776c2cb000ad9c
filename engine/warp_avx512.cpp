// The AVX-512 level's warp and window passes, 16 pixels per step.
#include "engine/warplevel.h"

#if defined(__x86_64__)
#include "engine/simd/avx512.h"
#include "engine/warpsimd.h"

const WarpLevel warpLevelAvx512 = {warpRowsOfLanes, viewRowsOfLanes, levelRunBlend, true, true};
#else
// Not a level of this processor (bestSimdLevel never gives it): the scalar
// passes.
const WarpLevel warpLevelAvx512 = {warpRowsScalar, viewRowsScalar, blendRunScalar, false, false};
#endif
