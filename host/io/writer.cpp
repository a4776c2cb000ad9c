#include "host/io/writer.h"

#include <pthread.h>

#include <chrono>

#include "fileio/atomicfile.h"

namespace vxh {

namespace {

bool stopped(const FrameWriter &w)
{
    return w.stop && *w.stop;
}

void writeQueued(FrameWriter &w)
{
    std::unique_lock<std::mutex> held(w.lock);
    for (;;) {
        w.changed.wait(held, [&] { return !w.queued.empty() || w.closing; });
        if (w.queued.empty() || w.failed)
            return;
        std::vector<uint32_t> frame = std::move(w.queued.front());
        w.queued.pop_front();
        w.writing = true;
        held.unlock();
        std::string err;
        const bool ok = !stopped(w) && writeFrame(*w.out, frame.data(), err);
        held.lock();
        w.writing = false;
        w.spare.push_back(std::move(frame));
        if (!ok) {
            w.failed = true;
            w.error = err.empty() ? "interrupted" : err;
        }
        w.changed.notify_all();
        if (!ok)
            return;
    }
}

} // namespace

void startWriter(FrameWriter &w, OutputClip &out, size_t depth, const StopFlag *stop)
{
    w.out = &out;
    w.depth = depth < 1 ? 1 : depth;
    w.stop = stop;
    // File calls made there count with the starting thread's (tests make
    // the Nth fail).
    w.thread = std::thread([&w, hook = fileFaultHook()] {
        shareFileFaultHook(hook);
        writeQueued(w);
    });
}

bool queueFrame(FrameWriter &w, std::vector<uint32_t> &frame, std::string &err)
{
    std::unique_lock<std::mutex> held(w.lock);
    // Waits in short steps: a signal sets the stop flag without waking us.
    while (!w.failed && w.queued.size() >= w.depth && !stopped(w))
        w.changed.wait_for(held, std::chrono::milliseconds(20));
    if (w.failed || stopped(w)) {
        err = w.failed ? w.error : "interrupted";
        return false;
    }
    std::vector<uint32_t> spare;
    if (!w.spare.empty()) {
        spare = std::move(w.spare.back());
        w.spare.pop_back();
    }
    w.queued.push_back(std::move(frame));
    frame = std::move(spare);
    w.changed.notify_all();
    return true;
}

bool stopWriter(FrameWriter &w, std::string &err)
{
    if (!w.thread.joinable())
        return true;
    {
        std::unique_lock<std::mutex> held(w.lock);
        w.closing = true;
        w.changed.notify_all();
        // A write waiting on a pipe when the run is stopped is cut short by
        // the stop signal sent to the writing thread (handlers are installed
        // without SA_RESTART); sent again until the thread has seen it.
        while (w.writing || (!w.queued.empty() && !w.failed)) {
            if (stopped(w)) {
                w.queued.clear();
                if (w.writing)
                    pthread_kill(w.thread.native_handle(), *w.stop);
            }
            w.changed.wait_for(held, std::chrono::milliseconds(20));
        }
    }
    w.thread.join();
    if (w.failed)
        err = w.error;
    return !w.failed;
}

FrameWriter::~FrameWriter()
{
    if (!thread.joinable())
        return;
    std::string ignored;
    {
        std::lock_guard<std::mutex> held(lock);
        queued.clear();
    }
    stopWriter(*this, ignored);
}

} // namespace vxh
