// The scalar level's table, and the table of each level.
#include "engine/warplevel.h"

void blendRunScalar(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                    int wOther, int wSrc)
{
    for (size_t j = 0; j < count; ++j)
        dst[j] = blendBytes(other[j], wOther, src[j], wSrc);
}

// The reference loops of engine/warp.cpp.
const WarpLevel warpLevelScalar = {warpRowsScalar, viewRowsScalar, blendRunScalar, false, false};

const WarpLevel &warpLevelOf(SimdLevel level)
{
    static const WarpLevel *const tables[SIMD_LEVEL_COUNT] = {&warpLevelScalar, &warpLevelSse2,
                                                              &warpLevelAvx2, &warpLevelAvx512};
    return *tables[heldSimdLevel(level)];
}
