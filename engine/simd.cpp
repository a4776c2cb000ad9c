#include "engine/simd.h"

#include <cstdlib>
#include <cstring>

namespace {

const char *const levelNames[SIMD_LEVEL_COUNT] = {"scalar", "sse2", "avx2", "avx512"};

} // namespace

SimdLevel bestSimdLevel(void)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        return SIMD_AVX512;
    if (__builtin_cpu_supports("avx2"))
        return SIMD_AVX2;
    return SIMD_SSE2;
#else
    return SIMD_SCALAR;
#endif
}

SimdLevel heldSimdLevel(SimdLevel level)
{
    const SimdLevel best = bestSimdLevel();
    return level < SIMD_SCALAR ? SIMD_SCALAR : (level > best ? best : level);
}

SimdLevel requestedSimdLevel(void)
{
    return heldSimdLevel(simdLevelNamed(std::getenv("VX_SIMD"), bestSimdLevel()));
}

SimdLevel simdLevelNamed(const char *name, SimdLevel otherwise)
{
    if (name)
        for (int level = 0; level < SIMD_LEVEL_COUNT; ++level)
            if (std::strcmp(name, levelNames[level]) == 0)
                return (SimdLevel)level;
    return otherwise;
}

const char *simdLevelName(SimdLevel level)
{
    return level >= SIMD_SCALAR && level < SIMD_LEVEL_COUNT ? levelNames[level] : "unknown";
}
