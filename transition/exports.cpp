// VorluxOp's exports: the one instance the host drives.
#include "operator/frame/dispatch.h"
#include "operator/host/export.h"
#include "transition/instance.h"

namespace {

TransitionInstance instance;

// The instance as a freshly loaded library holds it, before the host's
// first call.
[[gnu::constructor]] void prepareInstance(void)
{
    initTransitionInstance(instance);
}

} // namespace

VX_EXPORT int OperatorAction(ActionRecord *record)
{
    return dispatchAction(vxOpVariant, &instance, record);
}

VX_EXPORT const OpTagItem *GetOperatorInfo(void)
{
    return vxOpVariant.hooks->describe(&instance, OperatorAction);
}
