// Reads of pipes that an interrupting signal always ends.
//
// A handler installed without SA_RESTART cuts a blocking read short, but a
// signal that lands just before the read, or on another thread, is seen
// only when the writer writes again or closes, which for a stalled writer
// is never. A pipe read here first waits in poll on the pipe and on a wake
// pipe that the handler writes a byte to, so it ends whenever the signal
// came.
#ifndef VXH_PIPESTREAM_H
#define VXH_PIPESTREAM_H

#include <csignal>
#include <cstdio>
#include <sys/types.h>

#include "host/core/stopflag.h"

namespace vxh {

// The wake pipe, made on the first call: its write end, for the signal
// handler to write a byte to (-1 when none could be made).
int wakePipeWriteEnd();
// The flag the run's signal handler sets; reads below end with EINTR once
// it is set.
void watchInterruption(const StopFlag *flag);
// While set, reads below end with EINTR too: a thread stopped early is not
// left waiting on a writer that has stalled.
void cancelPipeReads(bool cancel);
// read(2) of fd, ended by the interruption as above.
ssize_t readPipe(int fd, void *buf, size_t n);
// A read-only stream on fd whose reads are readPipe; fd is closed with the
// stream when owns. Null with errno on failure.
std::FILE *openPipeStream(int fd, bool owns);

} // namespace vxh

#endif
