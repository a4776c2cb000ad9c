// The frei0r adapter: our own host behind the frei0r plug-in interface, so
// that ffmpeg, melt and other frei0r hosts can run the operators.
//
// The core (libvxfrei0r) is compiled once and shared by the five frei0r
// plug-ins; each plug-in is a selector of one kind table below. Each
// instance serves its operator through a host of its own, bound to the
// thread that updates it, so instances render on several threads at once;
// one instance updated from several threads takes its turns.
#ifndef VXF_ADAPTER_H
#define VXF_ADAPTER_H

#include <cstdint>

extern "C" {
#include <frei0r.h>
}

#include "operator/host/export.h"

// What sets one frei0r plug-in apart from the others.
struct VxfKind {
    const char *name;         // frei0r name, e.g. "vorlux_warp"
    const char *operatorFile; // the operator plug-in it runs, e.g. "VorluxWarp.so"
    int pluginType;           // F0R_PLUGIN_TYPE_FILTER or F0R_PLUGIN_TYPE_MIXER2
    bool procedural;          // deformation amounts and fade instead of an effect file
    const char *explanation;
};

VX_EXPORT const VxfKind vxfWarpKind;
VX_EXPORT const VxfKind vxfDrawKind;
VX_EXPORT const VxfKind vxfMorphKind;
VX_EXPORT const VxfKind vxfFxKind;
VX_EXPORT const VxfKind vxfOpKind;

// The frei0r entry points, for the kind a plug-in selects.
VX_EXPORT void vxfPluginInfo(const VxfKind *kind, f0r_plugin_info_t *info);
VX_EXPORT void vxfParamInfo(const VxfKind *kind, f0r_param_info_t *info, int index);
VX_EXPORT f0r_instance_t vxfConstruct(const VxfKind *kind, unsigned width, unsigned height);
VX_EXPORT void vxfDestruct(f0r_instance_t instance);
VX_EXPORT void vxfSetParam(f0r_instance_t instance, f0r_param_t value, int index);
VX_EXPORT void vxfGetParam(f0r_instance_t instance, f0r_param_t value, int index);
VX_EXPORT void vxfUpdate(f0r_instance_t instance, double time, const uint32_t *in1,
                         const uint32_t *in2, uint32_t *out);

#endif
