// `vxhost render --jobs N`: the clip split into N ranges of fields rendered
// by worker processes (this program run again), stitched in order.
#ifndef VXH_WORKERS_H
#define VXH_WORKERS_H

#include <string>

#include "host/cli/options.h"
#include "host/io/output.h"

namespace vxh {

// Starts the workers (`self` is this program; each renders from the
// instance state in stateFile) and writes their frames to out in order.
// The exit code: 0, 1 a worker's render failed, 2, or 128 + a signal.
int runWorkers(const RenderOptions &o, const char *self, const std::string &stateFile, long fields,
               OutputClip &out, std::string &err);

} // namespace vxh

#endif
