// Frames of an input decoded ahead on a thread of their own: while the
// render works on frame k, the thread reads and decodes k+1, k+2, ... into a
// few slots, so reading and decoding overlap the render. A frame asked for
// out of order is decoded next, as the input alone would.
#ifndef VXH_READER_H
#define VXH_READER_H

#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/core/stopflag.h"
#include "host/io/input.h"

namespace vxh {

struct FrameReader {
    struct Slot {
        long index = -1;       // the frame held; -1 none
        bool busy = false;     // being decoded
        bool repeated = false; // past the input's end: its last frame
        std::vector<uint32_t> pixels;
    };
    InputClip *in = nullptr;
    long last = 0; // the last frame the render needs
    const StopFlag *stop = nullptr;

    std::thread thread;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Slot> slots;
    long next = 0;      // the frame the thread decodes next
    long wanted = 0;    // the frame the render asked for last
    long failedAt = -1; // the frame whose reading failed, and why
    std::string error;
    bool closing = false;

    FrameReader() = default;
    FrameReader(const FrameReader &) = delete;
    FrameReader &operator=(const FrameReader &) = delete;
    ~FrameReader();
};

// Starts the thread on in (opened), frames first..last in order, `depth`
// decoded ahead at most. The input is the thread's until stopReader.
void startReader(FrameReader &r, InputClip &in, long first, long last, size_t depth,
                 const StopFlag *stop);
// Frame k as frameAt gives it (past the end: the last frame, `repeated`
// set); valid until the next call. Null with a message when it cannot be
// had or the stop flag is set.
const uint32_t *readerFrame(FrameReader &r, long k, bool &repeated, std::string &err);
// Ends the thread; the input is the caller's again.
void stopReader(FrameReader &r);

} // namespace vxh

#endif
