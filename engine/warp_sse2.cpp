// The SSE2 level's warp and window passes, 4 pixels per step.
#include "engine/warpkernels.h"

#if defined(__x86_64__)
#include "engine/simd/sse2.h"
#include "engine/warpsimd.h"

void warpRowsSse2(const PassParams &p, int rowBegin, int rowEnd)
{
    warpRowsOfLanes(p, rowBegin, rowEnd);
}

void viewRowsSse2(const PassParams &p)
{
    viewRowsOfLanes(p);
}
#else
void warpRowsSse2(const PassParams &p, int rowBegin, int rowEnd)
{
    warpRowsScalar(p, rowBegin, rowEnd);
}

void viewRowsSse2(const PassParams &p)
{
    viewRowsScalar(p);
}
#endif
