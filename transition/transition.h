// VorluxOp: a procedural warp transition with a cross-fade, driven by host
// gadgets and a 100-byte parameter block.
#ifndef VX_TRANSITION_H
#define VX_TRANSITION_H

#include <cstddef>
#include <cstdint>

#include "operator/host/records.h"

enum { DEFORM_TYPES = 17, LAST_FILE_NAME_SIZE = 60 };

struct OpParamBlock {
    int16_t deformAmount[DEFORM_TYPES]; // amount of each type, -100..100
    int16_t transitionLength;           // cross-fade length in fields, 0..300
    char lastFileName[LAST_FILE_NAME_SIZE];
    uint8_t reserved[4];
};
static_assert(sizeof(OpParamBlock) == 100);
static_assert(offsetof(OpParamBlock, transitionLength) == 34);
static_assert(offsetof(OpParamBlock, lastFileName) == 36);

// Weight of input 1 (0..255) of field f in a clip of fieldCount fields with
// a cross-fade of length fields centred on the middle.
int crossFadeLevel(uint32_t fieldCount, uint32_t length, uint32_t field);

#endif
