// `vxhost info`: a plug-in's descriptor, checked and printed readably.
#ifndef VXH_INFO_H
#define VXH_INFO_H

#include <cstdio>
#include <string>

#include "host/core/plugin.h"

namespace vxh {

// Checks the descriptor of a loaded plug-in: a terminated tag list with an
// action entry, identification string and parameter block, and well-formed
// gadgets. False with a one-line message.
bool checkDescriptor(const Plugin &plugin, const OpTagItem *tags, std::string &err);
// Prints the descriptor; returns the exit code (0, or 2 with a message on stderr).
int printInfo(const std::string &path, FILE *out);

} // namespace vxh

#endif
