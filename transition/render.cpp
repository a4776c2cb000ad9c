// VorluxOp's render and gadget reactions (being built).
#include "effect/context.h"
#include "effect/keys.h"
#include "transition/transition.h"

int renderTransition(ActionRecord *)
{
    return -1;
}

void releaseTransition(void)
{
    freeBlock(ctx.outputPixels);
    freeBlock(ctx.meshA);
    ctx.outputPixels = nullptr;
    ctx.meshA = nullptr;
    ctx.outputCapacity = ctx.meshCapacity = 0;
    freeKeys();
}

int transitionGadget(int)
{
    return 0;
}
