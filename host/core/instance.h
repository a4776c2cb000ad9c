// What a host keeps per operator instance between runs: the parameter
// block's bytes and the gadget values.
#ifndef VXH_INSTANCE_H
#define VXH_INSTANCE_H

#include <string>
#include <vector>

#include "operator/host/records.h"

namespace vxh {

// $VXHOME/vxhost/instances/<plug-in file name>.<instance name>
std::string instanceStatePath(const std::string &pluginPath, const std::string &instance);
// Restores a stored state into the descriptor's block and gadgets; a
// missing or mismatched state file changes nothing (false).
bool restoreInstance(const std::string &path, const OpTagItem *tags);
// The block's bytes and the gadget values as stored.
std::vector<char> instanceSnapshot(const OpTagItem *tags);
// Stores the block and gadget values; false with a message on failure.
bool storeInstance(const std::string &path, const OpTagItem *tags, std::string &err);

} // namespace vxh

#endif
