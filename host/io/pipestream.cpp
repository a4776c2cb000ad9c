#include "host/io/pipestream.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace vxh {

namespace {

const StopFlag *stopFlag = nullptr;
std::atomic<bool> cancelled{false};
int wakePipe[2] = {-1, -1};
std::once_flag wakePipeMade;

struct PipeCookie {
    int fd;
    bool owns;
};

ssize_t readCookie(void *cookie, char *buf, size_t n)
{
    return readPipe(static_cast<PipeCookie *>(cookie)->fd, buf, n);
}

int closeCookie(void *cookie)
{
    auto *c = static_cast<PipeCookie *>(cookie);
    const int rc = c->owns ? close(c->fd) : 0;
    delete c;
    return rc;
}

bool stopped()
{
    return (stopFlag && *stopFlag) || cancelled;
}

void wake()
{
    if (wakePipe[1] >= 0 && write(wakePipe[1], "", 1) < 0) {
        // Full: a byte already waits there.
    }
}

} // namespace

int wakePipeWriteEnd()
{
    std::call_once(wakePipeMade, [] {
        if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
            wakePipe[0] = wakePipe[1] = -1;
    });
    return wakePipe[1];
}

void watchInterruption(const StopFlag *flag)
{
    wakePipeWriteEnd();
    stopFlag = flag;
}

void cancelPipeReads(bool cancel)
{
    wakePipeWriteEnd();
    cancelled = cancel;
    if (cancel)
        wake();
}

ssize_t readPipe(int fd, void *buf, size_t n)
{
    for (;;) {
        if (stopped()) {
            errno = EINTR;
            return -1;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        const int ready = poll(fds, wakePipe[0] >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno != EINTR)
            return -1;
        // Data, an end or an error of the pipe: read tells which. A byte on
        // the wake pipe is the interruption, seen at the top; one left from
        // an interruption since cleared is drained.
        if (ready > 0 && fds[0].revents)
            return read(fd, buf, n);
        if (ready > 0 && fds[1].revents && !stopped())
            for (char drain[64]; read(wakePipe[0], drain, sizeof drain) > 0;) {
            }
    }
}

std::FILE *openPipeStream(int fd, bool owns)
{
    auto *cookie = new PipeCookie{fd, owns};
    cookie_io_functions_t io = {readCookie, nullptr, nullptr, closeCookie};
    std::FILE *fp = fopencookie(cookie, "rb", io);
    if (!fp)
        delete cookie;
    return fp;
}

} // namespace vxh
