// Frames written on a thread of their own: the render queues each finished
// frame and goes on while the thread converts, encodes and writes the ones
// before it, in order. A few frames are queued at most, so memory stays
// bounded and a slow output slows the render rather than piling up.
#ifndef VXH_WRITER_H
#define VXH_WRITER_H

#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/core/stopflag.h"
#include "host/io/output.h"

namespace vxh {

struct FrameWriter {
    OutputClip *out = nullptr;
    size_t depth = 0; // frames queued at most
    // Set when the run is to stop; a write then waiting is cut short.
    const StopFlag *stop = nullptr;

    std::thread thread;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<uint32_t>> queued;
    std::vector<std::vector<uint32_t>> spare;
    bool closing = false, writing = false, failed = false;
    std::string error; // the first failure's message

    FrameWriter() = default;
    FrameWriter(const FrameWriter &) = delete;
    FrameWriter &operator=(const FrameWriter &) = delete;
    ~FrameWriter();
};

// Starts the thread writing to out (opened, of frames of out.facts' size).
void startWriter(FrameWriter &w, OutputClip &out, size_t depth, const StopFlag *stop);
// Queues frame, waiting for room; frame is swapped for a buffer the writer
// is done with (or an empty one). False with the writer's message once a
// write failed, or when the stop flag is set.
bool queueFrame(FrameWriter &w, std::vector<uint32_t> &frame, std::string &err);
// Waits until every queued frame is written and ends the thread (at once
// when the stop flag is set). False with the first failure's message.
bool stopWriter(FrameWriter &w, std::string &err);

} // namespace vxh

#endif
