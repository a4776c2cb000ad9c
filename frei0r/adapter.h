// The frei0r adapter: our own host behind the frei0r plug-in interface, so
// that ffmpeg, melt and other frei0r hosts can run the operators.
//
// Each frei0r plug-in is one self-contained library: this adapter, the
// operator core of its kind and the host libraries, linked statically, with
// only the frei0r entry points exported. Each frei0r instance holds one
// operator instance, made by its variant's hooks, and serves it through a
// host of its own bound to the thread that updates it, so instances render
// on several threads at once; one instance updated from several threads
// takes its turns.
#ifndef VXF_ADAPTER_H
#define VXF_ADAPTER_H

#include <cstdint>

extern "C" {
#include <frei0r.h>
}

#include "variants/variant.h"

// What sets one frei0r plug-in apart from the others (frei0r/kinds.h).
struct VxfKind {
    const char *name;           // frei0r name, e.g. "vorlux_warp"
    const VariantDesc *variant; // the operator it runs
    int pluginType;             // F0R_PLUGIN_TYPE_FILTER or F0R_PLUGIN_TYPE_MIXER2
    bool procedural;            // deformation amounts and fade instead of an effect file
    const char *explanation;
};

// The frei0r entry points, for the kind a plug-in selects.
void vxfPluginInfo(const VxfKind *kind, f0r_plugin_info_t *info);
void vxfParamInfo(const VxfKind *kind, f0r_param_info_t *info, int index);
f0r_instance_t vxfConstruct(const VxfKind *kind, unsigned width, unsigned height);
void vxfDestruct(f0r_instance_t instance);
void vxfSetParam(f0r_instance_t instance, f0r_param_t value, int index);
void vxfGetParam(f0r_instance_t instance, f0r_param_t value, int index);
void vxfUpdate(f0r_instance_t instance, double time, const uint32_t *in1, const uint32_t *in2,
               uint32_t *out);

#endif
