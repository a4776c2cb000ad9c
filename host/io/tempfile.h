// Atomic output: a unique temporary beside the final file
// (fileio/atomicfile.h), renamed into place when complete.
#ifndef VXH_TEMPFILE_H
#define VXH_TEMPFILE_H

#include <cstdio>
#include <string>

#include "fileio/atomicfile.h"

namespace vxh {

// Move-only; a temporary not renamed into place is removed when it goes.
struct TempFile {
    std::string finalPath, tempPath;
    std::FILE *fp = nullptr;
    AtomicFile file{};

    TempFile() = default;
    TempFile(TempFile &&other) noexcept;
    TempFile &operator=(TempFile &&other) noexcept;
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    ~TempFile();
};
// Creates the temporary (exclusively) and opens it for writing.
bool openTemp(const std::string &finalPath, TempFile &t, std::string &err);
// Flushes and closes the stream, reporting any write error.
bool closeTemp(TempFile &t, std::string &err);
// Renames the closed temporary onto the final name.
bool commitTemp(TempFile &t, std::string &err);
// Closes (if open) and removes the temporary; safe to call more than once.
void discardTemp(TempFile &t);

} // namespace vxh

#endif
