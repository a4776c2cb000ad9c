// Entry of the effect editor. The editor itself is not built yet: opening
// it marks the session so that nested host calls see a running editor, and
// returns at once.
#include "editor/edit.h"

#include "effect/context.h"

int editEffect(void)
{
    ctx.editorRunning = 1;
    ctx.editorRunning = 0;
    return 0;
}
