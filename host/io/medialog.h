// The media libraries' messages: they print nothing; their last error
// message is kept and added to the error text of the call that failed.
#ifndef VXH_MEDIALOG_H
#define VXH_MEDIALOG_H

#include <string>

namespace vxh {

// Routes the libraries' log into the kept message (and forgets the last).
void quietMediaLibraries();
// The libraries' text for an error code, with their last logged message.
std::string describeMediaError(int code);

} // namespace vxh

#endif
