// `vxhost render`: drives one plug-in instance over a clip like a host does,
// reading input frames when the plug-in asks for them and writing output
// frames as they are delivered.
#ifndef VXH_RENDER_H
#define VXH_RENDER_H

#include <string>
#include <vector>

#include "host/cli/options.h"
#include "host/core/host.h"
#include "host/core/plugin.h"
#include "host/core/session.h"
#include "host/io/clip.h"

namespace vxh {

// Resolves labels and entry texts of --gadget and checks every use against
// the descriptor (gadget present, value in range). False with a message.
bool resolveGadgets(const OpTagItem *tags, std::vector<GadgetUse> &uses, std::string &err);

// Runs the render; returns the exit code (0 ok, 1 the plug-in failed,
// 2 bad arguments or input, 128+n interrupted by signal n). Messages go to
// stderr.
int runRender(const RenderOptions &options, const char *self);

// Renders in memory (for benchmarks): install, gadgets, set-up, one render
// per field, tear-down, over whole clips. Fills out (frames woven from the
// output fields). On a failed render returns false with a message naming
// the field and the journal line.
bool renderClip(Plugin &plugin, Host &host, const RenderOptions &options, const Clip &in0,
                const Clip &in1, Clip &out, std::string &err);

} // namespace vxh

#endif
