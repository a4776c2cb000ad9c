// Instruction-set level of the engine's vectorised passes, chosen once by
// what the processor has. VX_SIMD=scalar|sse2|avx2|avx512 in the
// environment asks for a level; a level the processor lacks falls back to
// the best one it has.
#ifndef VX_SIMD_H
#define VX_SIMD_H

enum SimdLevel { SIMD_SCALAR, SIMD_SSE2, SIMD_AVX2, SIMD_AVX512, SIMD_LEVEL_COUNT };

// The best level this processor runs.
SimdLevel bestSimdLevel(void);
// The level the passes use: VX_SIMD's at the first call, else the best.
SimdLevel activeSimdLevel(void);
// Makes the passes use level (held at the best one the processor has);
// returns the level now in use.
SimdLevel selectSimdLevel(SimdLevel level);
// "scalar", "sse2", "avx2", "avx512".
const char *simdLevelName(SimdLevel level);
// The level of one of those names; otherwise for a null or unknown name.
SimdLevel simdLevelNamed(const char *name, SimdLevel otherwise);

#endif
