#include "host/io/reader.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "fileio/atomicfile.h"
#include "host/io/pipestream.h"

namespace vxh {

namespace {

bool stopped(const FrameReader &r)
{
    return r.stop && *r.stop;
}

// A slot the thread may fill: empty, or holding a frame outside the ones
// it reads ahead from the frame the render asked for last (the render goes
// forward; one that jumps leaves the old frames behind).
FrameReader::Slot *freeSlot(FrameReader &r)
{
    const long end = r.wanted + long(r.slots.size());
    for (FrameReader::Slot &slot : r.slots)
        if (!slot.busy && (slot.index < r.wanted || slot.index >= end))
            return &slot;
    return nullptr;
}

bool held(const FrameReader &r, long k)
{
    for (const FrameReader::Slot &slot : r.slots)
        if (slot.index == k && !slot.busy)
            return true;
    return false;
}

void readAhead(FrameReader &r)
{
    std::unique_lock<std::mutex> guard(r.lock);
    for (;;) {
        FrameReader::Slot *slot = nullptr;
        r.changed.wait(guard, [&] {
            if (r.closing)
                return true;
            if (r.failedAt >= 0 || r.next > r.last || r.next >= r.wanted + long(r.slots.size()))
                return false;
            return (slot = freeSlot(r)) != nullptr;
        });
        if (r.closing)
            return;
        const long k = r.next++;
        slot->index = k;
        slot->busy = true;
        guard.unlock();
        std::string err;
        bool repeated = false;
        const bool ok = readFrame(*r.in, k, slot->pixels, repeated, err);
        guard.lock();
        slot->busy = false;
        slot->repeated = repeated;
        if (!ok) {
            slot->index = -1;
            r.failedAt = k;
            r.error = err;
        }
        r.changed.notify_all();
    }
}

} // namespace

void startReader(FrameReader &r, InputClip &in, long first, long last, size_t depth,
                 const StopFlag *stop)
{
    r.in = &in;
    r.last = last;
    r.stop = stop;
    r.slots.assign(depth < 2 ? 2 : depth, FrameReader::Slot{});
    r.next = r.wanted = first < 0 ? 0 : first;
    // File calls made there count with the starting thread's (tests make
    // the Nth fail).
    r.thread = std::thread([&r, hook = fileFaultHook()] {
        shareFileFaultHook(hook);
        readAhead(r);
    });
}

const uint32_t *readerFrame(FrameReader &r, long k, bool &repeated, std::string &err)
{
    if (k < 0)
        k = 0;
    std::unique_lock<std::mutex> guard(r.lock);
    // Neither held, nor on its way, nor known to fail (behind the frames
    // read ahead, or beyond them): the thread goes there next and tries
    // again, as frameAt would.
    if (!held(r, k) && r.failedAt != k && !(k >= r.wanted && k < r.next)) {
        r.next = k;
        r.last = std::max(r.last, k);
        r.failedAt = -1;
        r.error.clear();
    }
    r.wanted = k;
    r.changed.notify_all();
    // Waits in short steps: a signal sets the stop flag without waking us.
    while (!held(r, k) && r.failedAt != k && !stopped(r))
        r.changed.wait_for(guard, std::chrono::milliseconds(20));
    for (FrameReader::Slot &slot : r.slots)
        if (slot.index == k && !slot.busy) {
            repeated = slot.repeated;
            return slot.pixels.data();
        }
    err = r.failedAt == k ? r.error : "interrupted";
    return nullptr;
}

void stopReader(FrameReader &r)
{
    if (!r.thread.joinable())
        return;
    bool reading = false;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        r.closing = true;
        for (const FrameReader::Slot &slot : r.slots)
            reading = reading || slot.busy;
        r.changed.notify_all();
    }
    // A read waiting on a stalled pipe is cut short.
    if (reading)
        cancelPipeReads(true);
    r.thread.join();
    if (reading)
        cancelPipeReads(false);
}

FrameReader::~FrameReader()
{
    stopReader(*this);
}

} // namespace vxh
