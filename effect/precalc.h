// Loading or creating the editor's effect, with every key's thumbnail
// rendered under a progress meter.
#ifndef VX_PRECALC_H
#define VX_PRECALC_H

#include <cstdint>

#include "effect/context.h"
#include "effect/framefields.h"

// Fills meterRecord for a run of steps: title text 505, flags 6.
void fillMeterRecord(OperatorContext &ctx, uint32_t steps);
// 0 with the effect in memory, the engine set up, every thumbnail rendered
// from its frame's fields (fetched into fields) and frame 0 current; -1
// when no effect could be had (an effect file that could not be read for
// lack of memory counts as a failure, so the caller never writes a default
// effect over it).
int prepareEffect(OperatorContext &ctx, const FieldBuffers &fields);

#endif
