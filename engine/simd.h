// Instruction-set levels of the engine's vectorised passes.
// VX_SIMD=scalar|sse2|avx2|avx512 in the environment asks for a level; a
// level the processor lacks is held at the best one it has. An instance
// reads the level once, when it is made (requestedSimdLevel), and keeps
// the table of its entry points (engine/warp.h).
#ifndef VX_SIMD_H
#define VX_SIMD_H

enum SimdLevel { SIMD_SCALAR, SIMD_SSE2, SIMD_AVX2, SIMD_AVX512, SIMD_LEVEL_COUNT };

// The best level this processor runs.
SimdLevel bestSimdLevel(void);
// level held at SIMD_SCALAR..bestSimdLevel().
SimdLevel heldSimdLevel(SimdLevel level);
// VX_SIMD's level, else the best; held at what the processor has.
SimdLevel requestedSimdLevel(void);
// "scalar", "sse2", "avx2", "avx512".
const char *simdLevelName(SimdLevel level);
// The level of one of those names; otherwise for a null or unknown name.
SimdLevel simdLevelNamed(const char *name, SimdLevel otherwise);

#endif
