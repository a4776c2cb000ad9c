// The exports of one effect operator plug-in, compiled with
// VX_VARIANT_TABLE naming its variant: the one instance the host drives.
#include "operator/frame/dispatch.h"
#include "operator/host/export.h"
#include "operator/instance.h"

namespace {

EffectInstance instance;

// The instance as a freshly loaded library holds it, before the host's
// first call.
[[gnu::constructor]] void prepareInstance(void)
{
    initEffectInstance(instance, VX_VARIANT_TABLE);
}

} // namespace

VX_EXPORT int OperatorAction(ActionRecord *record)
{
    return dispatchAction(VX_VARIANT_TABLE, &instance, record);
}

VX_EXPORT const OpTagItem *GetOperatorInfo(void)
{
    return effectOperatorHooks.describe(&instance, OperatorAction);
}
