// The vector types of an instruction-set level and the lane operations
// every level writes alike, in the compiler's vector extensions. Included
// by a level's header (engine/simd/sse2.h, avx2.h, avx512.h) once it has
// set LANES, the pixels of a step. Everything here has internal linkage:
// each level's file compiles its own copy with its own instructions.
#ifndef VX_SIMD_LANES_H
#define VX_SIMD_LANES_H

#include <cstdint>
#include <cstring>

namespace {

typedef float VF __attribute__((vector_size(4 * LANES)));
typedef int32_t VI __attribute__((vector_size(4 * LANES)));
typedef uint32_t VU __attribute__((vector_size(4 * LANES)));
typedef uint16_t VH __attribute__((vector_size(4 * LANES)));

constexpr unsigned ALL_LANES = (1u << LANES) - 1u;

inline VF splat(float v)
{
    VF r;
    for (int k = 0; k < LANES; ++k)
        r[k] = v;
    return r;
}

inline VI splat(int32_t v)
{
    VI r;
    for (int k = 0; k < LANES; ++k)
        r[k] = v;
    return r;
}

inline VU splat(uint32_t v)
{
    VU r;
    for (int k = 0; k < LANES; ++k)
        r[k] = v;
    return r;
}

inline VI lanesFrom(int32_t first)
{
    VI r;
    for (int k = 0; k < LANES; ++k)
        r[k] = first + k;
    return r;
}

inline VF toFloat(VI v)
{
    return __builtin_convertvector(v, VF);
}

// Truncation toward zero, as a scalar cast (operands are kept in range).
inline VI truncate(VF v)
{
    return __builtin_convertvector(v, VI);
}

inline VU loadPixels(const uint32_t *p)
{
    VU v;
    memcpy(&v, p, sizeof v);
    return v;
}

inline void storePixels(uint32_t *p, VU v)
{
    memcpy(p, &v, sizeof v);
}

inline VF loadFloats(const float *p)
{
    VF v;
    memcpy(&v, p, sizeof v);
    return v;
}

// clampIndex of each lane into 0..size-1.
inline VI clampIndex(VI v, VI last)
{
    const VI zero = splat(0);
    v = v > zero ? v : zero;
    return v < last ? v : last;
}

} // namespace

#endif
