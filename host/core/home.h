// The host's home directory, VXHOME: the root of its drive.
#ifndef VXH_HOME_H
#define VXH_HOME_H

#include <string>

namespace vxh {

// The directory VXHOME names, or when unset the per-user data directory
// (said, and set as VXHOME), without making it: for commands that only
// read. False with a message when there is none.
bool findHome(std::string &dir, std::string &err);
// Makes sure VXHOME names a directory: when unset, a per-user data
// directory is used (and said); a directory made now is said too. False
// with a message when none can be made.
bool ensureHome(std::string &err);

// Resolves a drive-rooted path ("/programs/...") below $VXHOME.
std::string driveRootPath(const std::string &path);

// The effect file of an effect operator's instance as the operator finds
// it: a name below $VXHOME/programs/vorlux/, or a path when it has a '/'.
std::string effectFilePath(const std::string &name);

} // namespace vxh

#endif
