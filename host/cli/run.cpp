#include "host/cli/run.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace vxh {

volatile sig_atomic_t interruptSignal = 0;

namespace {

void onInterrupt(int sig)
{
    interruptSignal = sig;
}

// Opens a named input, or the sample clip `which` of the size and length given.
int openOne(const std::string &name, int which, int64_t maxPixels, int w, int h, long frames,
            InputClip &in, std::vector<std::string> &notes)
{
    std::string err;
    if (name.empty()) {
        openSampleInput(which, w, h, frames, in);
        return 0;
    }
    if (openInput(name, maxPixels, in, notes, err))
        return 0;
    fprintf(stderr, "vxhost: %s\n", err.c_str());
    return failedIoCode();
}

} // namespace

void Warnings::say(const std::string &text)
{
    ++count;
    fprintf(stderr, "vxhost: %s%s\n", strict ? "error: " : "warning: ", text.c_str());
}

void catchInterrupts()
{
    struct sigaction sa = {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int failedIoCode()
{
    return interruptSignal ? 128 + interruptSignal : 2;
}

void showProgress(bool show, long done, long total)
{
    if (!show || total <= 0)
        return;
    const int width = 40;
    int filled = (int)(done * width / total);
    fprintf(stderr, "\r[%.*s%*s] %ld/%ld fields", filled,
            "########################################", width - filled, "", done, total);
    fflush(stderr);
}

std::string shown(const std::string &input, int which)
{
    return input.empty()  ? "sample clip " + std::to_string(which)
           : input == "-" ? "standard input"
                          : input;
}

int openInputs(const RenderOptions &o, ClipInputs &in, Warnings &warn)
{
    std::vector<std::string> notes;
    if (int code = openOne(o.input0, 0, o.maxPixels, 720, 576, 50, in.in0, notes))
        return code;
    const int w = in.in0.facts.width, h = in.in0.facts.height;
    const long frames = in.in0.complete ? std::max(in.in0.knownFrames, 1L) : 50;
    if (int code = openOne(o.input1, 1, o.maxPixels, w, h, frames, in.in1, notes))
        return code;
    for (const std::string &n : notes)
        warn.say(n);
    const Clip &a = in.in0.facts, &b = in.in1.facts;
    if (b.width != w || b.height != h) {
        fprintf(stderr, "vxhost: %s is %dx%d but %s is %dx%d: both inputs must have one size\n",
                shown(o.input1, 1).c_str(), b.width, b.height, shown(o.input0, 0).c_str(), w, h);
        return 2;
    }
    if (!o.input1.empty() && (int64_t)b.fpsNum * a.fpsDen != (int64_t)a.fpsNum * b.fpsDen)
        warn.say(shown(o.input1, 1) + " runs at " + std::to_string(b.fpsNum) + ":" +
                 std::to_string(b.fpsDen) + " frames/s but " + shown(o.input0, 0) + " at " +
                 std::to_string(a.fpsNum) + ":" + std::to_string(a.fpsDen));
    return 0;
}

int planClip(const RenderOptions &o, ClipInputs &in, ClipFields &cf)
{
    const Clip &facts = in.in0.facts;
    const bool progressive = o.scan == Scan::Progressive;
    if (facts.height < 2 && !progressive) {
        fprintf(stderr, "vxhost: %s: frames of %dx%d are too small to split into fields\n",
                shown(o.input0, 0).c_str(), facts.width, facts.height);
        return 2;
    }
    const bool bottomFirst = o.order == FieldOrder::BottomFirst ||
                             (o.order == FieldOrder::FromInput && facts.interlace == 'b');
    cf.plan = planFields(facts.width, facts.height, progressive, bottomFirst);
    cf.fields = o.fields;
    if (cf.fields < 0) {
        long frames;
        std::string err;
        if (in.in0.kind == InputKind::Still)
            frames = 25; // a still is a clip of one second
        else if (!countFrames(in.in0, frames, err)) {
            if (interruptSignal) {
                fprintf(stderr, "vxhost: interrupted while reading %s\n",
                        shown(o.input0, 0).c_str());
                return 128 + interruptSignal;
            }
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return 2;
        }
        cf.fields = 2 * frames;
    }
    cf.begin = 0;
    cf.end = cf.fields;
    if (o.rangeBegin >= 0) {
        if (o.rangeBegin >= cf.fields || o.rangeBegin % 2 != 0 ||
            (o.rangeEnd < cf.fields && o.rangeEnd % 2 != 0)) {
            fprintf(stderr,
                    "vxhost: --range %ld:%ld does not fit: the clip has %ld fields and a range "
                    "must start and end "
                    "on a frame (even field numbers; the end may be past the last field)\n",
                    o.rangeBegin, o.rangeEnd, cf.fields);
            return 2;
        }
        cf.begin = o.rangeBegin;
        cf.end = std::min(o.rangeEnd, cf.fields);
    }
    return 0;
}

} // namespace vxh
