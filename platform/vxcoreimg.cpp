// Host image library: forwards to the host serving the calling thread.
#include "operator/host/vxcoreimg.h"
#include "platform/services.h"

#include "operator/host/export.h"

VX_EXPORT HostImage *opAllocImage(int a, int b, int c, int d)
{
    const VxHostServices *s = vxHostServices();
    return s->allocImage ? s->allocImage(s->host, a, b, c, d) : nullptr;
}

VX_EXPORT void opFreeImage(HostImage *image)
{
    const VxHostServices *s = vxHostServices();
    if (image && s->freeImage)
        s->freeImage(s->host, image);
}
