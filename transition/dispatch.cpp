// VorluxOp's action entry point.
#include "effect/context.h"
#include "operator/operator.h"
#include "transition/transition.h"

static int installAction(void)
{
    // The parameter directory is drive-rooted; this platform's drive root is $VXHOME.
    char dir[OPERATOR_DIR_SIZE];
    if (homePath("/programs/vorlux/op", dir, sizeof dir) != 0)
        return 0;
    installDirectory(dir);
    probeProjectSize();
    return 0;
}

VX_EXPORT int OperatorAction(ActionRecord *record)
{
    if (!record)
        return -1;
    switch (record->action) {
    case ACTION_SETUP:
        ctx.renderPrepared = 0;
        return 0;
    case ACTION_TEARDOWN:
        releaseTransition();
        return 0;
    case ACTION_RENDER:
        return renderTransition(record);
    case ACTION_GADGET:
        transitionGadget(record->gadget);
        return 0;
    case ACTION_INSTALL:
        return installAction();
    default:
        return 0;
    }
}
