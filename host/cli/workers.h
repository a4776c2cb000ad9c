// `vxhost render --jobs N`: the clip split into N ranges of fields rendered
// by worker processes (this program run again), stitched in order.
#ifndef VXH_WORKERS_H
#define VXH_WORKERS_H

#include <string>
#include <utility>
#include <vector>

#include "host/cli/options.h"
#include "host/io/output.h"

namespace vxh {

// Starts the workers (`self` is this program; each renders from the
// instance state in stateFile) and writes their frames to out in order.
// The exit code: 0, 1 a worker's render failed, 2, or 128 + a signal.
int runWorkers(const RenderOptions &o, const char *self, const std::string &stateFile, long fields,
               OutputClip &out, std::string &err);

// Splits [0, fields) into `jobs` ranges on frame boundaries.
std::vector<std::pair<long, long>> splitRanges(long fields, int jobs);
// The arguments of a worker's render of fields [a, b) to `output`.
std::vector<std::string> workerArgs(const RenderOptions &o, const std::string &stateFile,
                                    long fields, long a, long b, const std::string &output);
// Writes the frames of the parts (YUV4MPEG2 files as workers write them,
// one per range) to out in order. The exit code: 0, 2 when a part is
// missing or short (err ends with `resume`, what to do), or 128 + a signal.
int joinParts(const std::vector<std::string> &parts,
              const std::vector<std::pair<long, long>> &ranges, const std::string &resume,
              OutputClip &out, std::string &err);

} // namespace vxh

#endif
