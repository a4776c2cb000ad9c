// The one action switch of every operator: the host's action record goes
// to the hook of the instance's variant.
#ifndef VX_DISPATCH_H
#define VX_DISPATCH_H

#include "operator/host/records.h"
#include "variants/variant.h"

// -1 for a null record or instance; 0 for an action the variant has no
// hook for; otherwise the hook's result.
int dispatchAction(const VariantDesc &variant, void *self, ActionRecord *record);

#endif
