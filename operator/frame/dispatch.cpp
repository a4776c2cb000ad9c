#include "operator/frame/dispatch.h"

namespace {

using ActionHook = int (*)(void *self, ActionRecord *record);

int run(ActionHook hook, void *self, ActionRecord *record)
{
    return hook ? hook(self, record) : 0;
}

} // namespace

int dispatchAction(const VariantDesc &variant, void *self, ActionRecord *record)
{
    if (!record || !self)
        return -1;
    const OperatorHooks &hooks = *variant.hooks;
    switch (record->action) {
    case ACTION_SETUP:
        return run(hooks.setup, self, record);
    case ACTION_TEARDOWN:
        return run(hooks.teardown, self, record);
    case ACTION_RENDER:
        return run(hooks.render, self, record);
    case ACTION_GADGET:
        return run(hooks.gadget, self, record);
    case ACTION_DELETE:
        return run(hooks.remove, self, record);
    case ACTION_INSTALL:
        return run(hooks.install, self, record);
    default:
        return 0;
    }
}
