// `vxhost render`: drives one plug-in instance over a clip like a host does.
#ifndef VXH_RENDER_H
#define VXH_RENDER_H

#include <string>
#include <vector>

#include "host/clipio.h"
#include "host/hostcore.h"

namespace vxh {

struct GadgetUse {
    int index = 0;
    bool hasValue = false;
    int value = 0;
};

struct RenderOptions {
    std::string plugin;
    std::string output;
    std::string input0, input1;   // empty: the built-in sample clips
    long fields = -1;             // -1: two per frame of input 0
    std::string effect;           // instance name
    int projectWidth = 0, projectHeight = 0; // 0: input 0's frame size
    bool projectSize = false;     // flags bit 0 on the first render
    std::vector<GadgetUse> gadgets;
    std::vector<std::string> replies;
    bool quiet = false;
};

// Parses the arguments after "render"; false with a one-line message.
bool parseRenderArgs(const std::vector<std::string> &args, RenderOptions &options, std::string &err);

// Runs the render; returns the exit code (0 ok, 1 the plug-in failed,
// 2 bad arguments or input). Messages go to stderr.
int runRender(const RenderOptions &options);

// Makes sure VXHOME names a directory: when unset, a per-user data
// directory is used (and said). False with a message when none can be made.
bool ensureHome(std::string &err);

// Renders in memory: install, gadgets, set-up, one render per field,
// tear-down. Fills out (frames woven from the output fields). On a failed
// render returns false with a message naming the field and the journal line.
bool renderClip(Plugin &plugin, Host &host, const RenderOptions &options, const Clip &in0,
                const Clip &in1, Clip &out, std::string &err);

} // namespace vxh

#endif
