// The AVX-512 level's warp and window passes, 16 pixels per step.
#include "engine/warpkernels.h"

#if defined(__x86_64__)
#include "engine/simd/avx512.h"
#include "engine/warpsimd.h"

void warpRowsAvx512(const PassParams &p, int rowBegin, int rowEnd)
{
    warpRowsOfLanes(p, rowBegin, rowEnd);
}

void viewRowsAvx512(const PassParams &p)
{
    viewRowsOfLanes(p);
}
#else
void warpRowsAvx512(const PassParams &p, int rowBegin, int rowEnd)
{
    warpRowsScalar(p, rowBegin, rowEnd);
}

void viewRowsAvx512(const PassParams &p)
{
    viewRowsScalar(p);
}
#endif
