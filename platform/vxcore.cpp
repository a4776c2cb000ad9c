// Host operator library: forwards each call to the host serving the calling
// thread (its bound table, else the process-wide one).
#include "operator/host/vxcore.h"
#include "platform/services.h"

#include "operator/host/export.h"

static VxHostServices installed;
// In the static TLS block: a plug-in unloaded with dlclose leaves no
// dynamic TLS slot behind in the threads that bound it.
static thread_local const VxHostServices *bound __attribute__((tls_model("initial-exec"))) =
    nullptr;

VX_EXPORT void vxInstallHostServices(const VxHostServices *services)
{
    installed = services ? *services : VxHostServices{};
}

VX_EXPORT const VxHostServices *vxBindThreadHostServices(const VxHostServices *services)
{
    const VxHostServices *previous = bound;
    bound = services;
    return previous;
}

VX_EXPORT const VxHostServices *vxHostServices(void)
{
    return bound ? bound : &installed;
}

VX_EXPORT HostImage *opGetField(int input, uint32_t field)
{
    const VxHostServices *s = vxHostServices();
    return s->getField ? s->getField(s->host, input, field) : nullptr;
}

VX_EXPORT int opPutField(HostImage *image)
{
    const VxHostServices *s = vxHostServices();
    if (s->putField)
        return s->putField(s->host, image);
    if (s->freeImage)
        s->freeImage(s->host, image);
    return -1;
}

VX_EXPORT int opChkAbort(void)
{
    const VxHostServices *s = vxHostServices();
    return s->chkAbort ? s->chkAbort(s->host) : 0;
}

VX_EXPORT int opPreview(int mode)
{
    const VxHostServices *s = vxHostServices();
    return s->preview ? s->preview(s->host, mode) : 0;
}

VX_EXPORT const char *opGetCustomPrefsName(uint32_t instance, const char *dir, int, int)
{
    const VxHostServices *s = vxHostServices();
    if (!s->customPrefsName || !dir)
        return nullptr;
    return s->customPrefsName(s->host, instance, dir);
}

VX_EXPORT int opChangeGadget(int index, int value, int)
{
    const VxHostServices *s = vxHostServices();
    return s->changeGadget ? s->changeGadget(s->host, index, value) : -1;
}
