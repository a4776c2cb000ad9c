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
// The last error message the demuxer (a format context) logged since
// quietMediaLibraries(); false when it logged none.
bool demuxerLoggedError(const void *demuxer, std::string &text);

} // namespace vxh

#endif
