// Warp and view passes, 4 pixels per step.
#if defined(__x86_64__)
#define VX_LANES 4
#define VX_WARP_ROWS warpRowsSse2
#define VX_VIEW_ROWS viewRowsSse2
#include "engine/warpsimd.h"
#else
#include "engine/warpkernels.h"

void warpRowsSse2(const PassParams &p, int rowBegin, int rowEnd)
{
    warpRowsScalar(p, rowBegin, rowEnd);
}

void viewRowsSse2(const PassParams &p)
{
    viewRowsScalar(p);
}
#endif
