// The YUV4MPEG2 reader: the header line parsed alone, then the whole file
// opened as an input twice, as a file (indexed by seeking) and as a pipe
// (frames spooled as they arrive), its length counted and every frame
// unpacked.
#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz/support.h"
#include "host/io/input.h"
#include "host/io/y4m.h"

namespace {

void readAll(const std::string &path)
{
    vxh::InputClip in;
    std::vector<std::string> warnings;
    std::string err;
    long frames = 0;
    // Pictures are kept small so that every frame can be read.
    if (!vxh::openInput(path, 1 << 16, in, warnings, err) || !vxh::countFrames(in, frames, err))
        return;
    for (long k = 0; k <= frames && k < 64; ++k)
        if (!vxh::frameAt(in, k, err))
            break;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    vxh::Y4mHeader hd;
    std::string why;
    size_t bytes = 0;
    if (vxh::parseY4mHeader(text.substr(0, text.find('\n')), hd, why))
        vxh::y4mFrameBytes(hd, bytes);

    readAll(vxfuzz::writeFile("in.y4m", data, size));
    // Standard input as a pipe, filled and closed before it is read, so no
    // writer is needed; inputs larger than the pipe holds are read as files
    // only.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        __builtin_trap();
    const bool fits = fcntl(fds[1], F_SETPIPE_SZ, 1 << 20) >= int(size) &&
                      (size == 0 || write(fds[1], data, size) == ssize_t(size));
    close(fds[1]);
    if (fits && dup2(fds[0], 0) == 0) {
        __fpurge(stdin);
        clearerr(stdin);
        readAll("-");
    }
    close(fds[0]);
    return 0;
}
