// Warp and view passes, 16 pixels per step.
#if defined(__x86_64__)
#define VX_LANES 16
#define VX_WARP_ROWS warpRowsAvx512
#define VX_VIEW_ROWS viewRowsAvx512
#include "engine/warpsimd.h"
#else
#include "engine/warpkernels.h"

void warpRowsAvx512(const PassParams &p, int rowBegin, int rowEnd)
{
    warpRowsScalar(p, rowBegin, rowEnd);
}

void viewRowsAvx512(const PassParams &p)
{
    viewRowsScalar(p);
}
#endif
