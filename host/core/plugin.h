// Operator plug-ins as a host sees them: an entry to describe and drive,
// the descriptor's tags and gadgets, and plug-in files loaded with dlopen().
#ifndef VXH_PLUGIN_H
#define VXH_PLUGIN_H

#include <cstdint>
#include <string>

#include "operator/host/records.h"

namespace vxh {

// What a host drives: the descriptor and the action entry of one operator
// instance. A loaded plug-in file fills it with wrappers of its two exports;
// an operator living in the host's own process can fill it as well.
struct OperatorEntry {
    void *self = nullptr;
    const OpTagItem *(*describe)(void *self) = nullptr;
    int (*act)(void *self, ActionRecord *record) = nullptr;
};

// A dlopen()ed plug-in; move-only, unloaded when it goes.
struct Plugin {
    void *handle = nullptr;
    GetOperatorInfoFn getInfo = nullptr;
    OperatorActionFn action = nullptr;
    std::string path;

    Plugin() = default;
    Plugin(Plugin &&other) noexcept;
    Plugin &operator=(Plugin &&other) noexcept;
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;
    ~Plugin();
};

// The file to load for a plug-in named on the command line: a path as it
// is; a bare name as a file here if there is one, else one of the plug-ins
// installed with vxhost (or built beside it) by file name, with or
// without ".so", or by kind: morph, draw, fx, warp, op. A name found
// nowhere comes back as it is.
std::string findPlugin(const std::string &name);
// dlopen()s a plug-in and finds both entry points; false with a one-line
// message when the file is not a loadable library or lacks an export.
bool loadPlugin(const std::string &path, Plugin &plugin, std::string &err);
// Unloads now; safe on a plug-in never loaded or already unloaded.
void unloadPlugin(Plugin &plugin);
// The plug-in's exports as an operator entry (valid while it is loaded).
OperatorEntry entryOf(Plugin &plugin);

// Looks a tag up in a descriptor; false when absent.
bool findTag(const OpTagItem *tags, uint32_t tag, uintptr_t &value);
// The gadget record of gadget index (0..3), or null.
GadgetDesc *findGadget(const OpTagItem *tags, int index);
// Writes a value into a gadget record (popup entry or slider value).
void setGadgetValue(GadgetDesc *gadget, int value);

} // namespace vxh

#endif
