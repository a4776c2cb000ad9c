// One frei0r plug-in: compiled once per plug-in with VXF_KIND naming its
// kind table (frei0r/kinds.h); every entry point goes to the adapter, which
// is linked into each plug-in.
#include "frei0r/kinds.h"

int f0r_init(void)
{
    return 1;
}

// Hosts call this once per loaded instance of the plug-in (ffmpeg: per
// filter, possibly while other instances still run): nothing to release.
void f0r_deinit(void) {}

void f0r_get_plugin_info(f0r_plugin_info_t *info)
{
    vxfPluginInfo(&VXF_KIND, info);
}

void f0r_get_param_info(f0r_param_info_t *info, int index)
{
    vxfParamInfo(&VXF_KIND, info, index);
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    return vxfConstruct(&VXF_KIND, width, height);
}

void f0r_destruct(f0r_instance_t instance)
{
    vxfDestruct(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t value, int index)
{
    vxfSetParam(instance, value, index);
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t value, int index)
{
    vxfGetParam(instance, value, index);
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t *in, uint32_t *out)
{
    vxfUpdate(instance, time, in, nullptr, out);
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t *in1, const uint32_t *in2,
                 const uint32_t *, uint32_t *out)
{
    vxfUpdate(instance, time, in1, in2, out);
}
