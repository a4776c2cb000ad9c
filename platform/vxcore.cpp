// Host operator library: forwards each call to the installed host.
#include "operator/host/vxcore.h"
#include "platform/services.h"

#include "operator/host/export.h"

static VxHostServices installed;

VX_EXPORT void vxInstallHostServices(const VxHostServices *services)
{
    installed = services ? *services : VxHostServices{};
}

VX_EXPORT const VxHostServices *vxHostServices(void)
{
    return &installed;
}

VX_EXPORT HostImage *opGetField(int input, uint32_t field)
{
    return installed.getField ? installed.getField(installed.host, input, field) : nullptr;
}

VX_EXPORT int opPutField(HostImage *image)
{
    if (installed.putField)
        return installed.putField(installed.host, image);
    if (installed.freeImage)
        installed.freeImage(installed.host, image);
    return -1;
}

VX_EXPORT int opChkAbort(void)
{
    return installed.chkAbort ? installed.chkAbort(installed.host) : 0;
}

VX_EXPORT int opPreview(int mode)
{
    return installed.preview ? installed.preview(installed.host, mode) : 0;
}

VX_EXPORT const char *opGetCustomPrefsName(uint32_t instance, const char *dir, int, int)
{
    if (!installed.customPrefsName || !dir)
        return nullptr;
    return installed.customPrefsName(installed.host, instance, dir);
}

VX_EXPORT int opChangeGadget(int index, int value, int)
{
    return installed.changeGadget ? installed.changeGadget(installed.host, index, value) : -1;
}
