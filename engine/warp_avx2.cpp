// Warp and view passes, 8 pixels per step.
#if defined(__x86_64__)
#define VX_LANES 8
#define VX_WARP_ROWS warpRowsAvx2
#define VX_VIEW_ROWS viewRowsAvx2
#include "engine/warpsimd.h"
#else
#include "engine/warpkernels.h"

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
