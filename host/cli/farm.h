// `vxhost farm`: a render split over a Slurm cluster. Submitting checks the
// render as `vxhost render` does, writes the instance state and a record
// into a work folder on the shared file system, and queues a job array (one
// task per range of fields, each rendering its part as a --jobs worker
// does) and a join that writes the output once every part is there. status
// and resume read the record.
#ifndef VXH_FARM_H
#define VXH_FARM_H

#include <string>

#include "host/cli/options.h"
#include "host/io/output.h"

namespace vxh {

// Whether a render is a farm submission (--parts or --frames-per-part).
bool farmSubmits(const RenderOptions &o);
// Where a submission keeps the instance state its tasks render with.
std::string farmStatePath(const RenderOptions &o);
// Writes the record and queues the parts and the join; the exit code (2
// with a message when sbatch refuses or is missing).
int submitFarm(const RenderOptions &o, const char *self, const std::string &stateFile, long fields,
               std::string &err);
// A join's render: the parts of the farm folder `work`, in order, to out.
int joinFarm(const std::string &work, long fields, OutputClip &out, std::string &err);
// vxhost farm ...: status, resume, and the tasks' and join's commands run
// here; -1 for a submission, whose render options are then in `submit`
// (the caller renders them).
int farmCommand(int argc, char **argv, RenderOptions &submit);

} // namespace vxh

#endif
