// Helpers for tests that link the plug-in core directly.
#ifndef VX_TEST_SUPPORT_H
#define VX_TEST_SUPPORT_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "effect/context.h"
#include "variants/variant.h"

// Frees what the context holds and zeroes it, settings back to their
// initial values; selects the variant (morph by default).
void resetContext(const VariantDesc *variant = &vxMorphVariant);

// Journal lines written since the last call (the host's journal observer).
std::vector<std::string> takeJournal();

inline uint32_t floatBits(float f)
{
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

// A scratch directory below the test VXHOME, emptied on each call.
std::string scratchDir(const std::string &name);

#endif
