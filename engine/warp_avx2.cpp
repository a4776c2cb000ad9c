// The AVX2 level's warp and window passes, 8 pixels per step.
#include "engine/warpkernels.h"

#if defined(__x86_64__)
#include "engine/simd/avx2.h"
#include "engine/warpsimd.h"

void warpRowsAvx2(const PassParams &p, int rowBegin, int rowEnd)
{
    warpRowsOfLanes(p, rowBegin, rowEnd);
}

void viewRowsAvx2(const PassParams &p)
{
    viewRowsOfLanes(p);
}

void blendRunAvx2(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                  int wOther, int wSrc)
{
    blendRunOfLanes(dst, other, src, count, wOther, wSrc);
}
#else
void warpRowsAvx2(const PassParams &p, int rowBegin, int rowEnd)
{
    warpRowsScalar(p, rowBegin, rowEnd);
}

void viewRowsAvx2(const PassParams &p)
{
    viewRowsScalar(p);
}

void blendRunAvx2(uint32_t *dst, const uint32_t *other, const uint32_t *src, size_t count,
                  int wOther, int wSrc)
{
    for (size_t j = 0; j < count; ++j)
        dst[j] = blendBytes(other[j], wOther, src[j], wSrc);
}
#endif
