// Whole clips read from and written to files (host/io/clip.h).
//
// Supported files:
//   * YUV4MPEG2 (.y4m): read C444alpha, C444, C420jpeg/C420mpeg2/C420paldv/C420
//     (no C tag means 420jpeg) and Cmono; written as C444alpha.
//   * PNG stills, any colour type / bit depth; written as 8-bit RGBA.
//   * printf-style PNG frame sequences ("in_%04d.png").
#ifndef VXH_CLIPFILE_H
#define VXH_CLIPFILE_H

#include <string>

#include "host/io/clip.h"

namespace vxh {

// Reads a YUV4MPEG2 file, a single PNG still, or a printf pattern of PNG frames
// (path contains one %d-style conversion such as "in_%04d.png"; frames are read
// from index 0 -- or 1 if 0 is missing -- until one is missing). Single files are
// recognised by their content, not their extension. On failure returns false,
// leaves `out` untouched and sets err to a one-line message naming the file.
bool readClip(const std::string &path, Clip &out, std::string &err);

// Writes .y4m as C444alpha (the host pixel bytes exactly), or a printf pattern of
// PNG frames (numbered from 0). Chooses by the path: contains '%' -> PNG frames,
// ends with .y4m -> y4m, else error. Each output file is first written to a
// temporary beside it and renamed into place only when complete; on failure the
// temporaries are removed.
bool writeClip(const std::string &path, const Clip &clip, std::string &err);

} // namespace vxh

#endif
