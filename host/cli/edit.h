// `vxhost edit PLUGIN [options]`: opens a plug-in's editor on the stand-in
// screen, fed by a script, a window, or nothing (closed at once). The
// inputs are read a frame at a time, as render reads them.
#ifndef VXH_EDIT_H
#define VXH_EDIT_H

#include <string>
#include <vector>

#include "host/core/session.h"

namespace vxh {

// A host preview: set-up, a render of every field and tear-down of the
// session's instance, nested in the running action; each woven frame goes
// to deliver. The code of renderFields (err says why it is not 0); 1 when
// set-up failed.
int runPreview(Session &session, const FrameSink &deliver, std::string &err);

// `vxhost edit` with the arguments after "edit"; the exit code.
int runEdit(const std::vector<std::string> &args);

} // namespace vxh

#endif
