#include "host/cli/run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "host/core/plugin.h"
#include "host/io/pipestream.h"

namespace vxh {

StopFlag interruptSignal = 0;

namespace {

// The wake pipe of pipe reads (host/io/pipestream.h): the handler writes a
// byte to it, so a read about to wait sees the interruption.
int wakeFd = -1;

// A logging site of the operators and what its journal line means.
struct JournalSite {
    const char *file;
    int line;
    const char *reason;
};
// Source names (without "src\\") and the folders, ",a,b,", they log from.
struct JournalSources {
    const char *name;
    const char *folders;
};
#include "journal_sites.inc"

// The number after key= in a journal line, or -1.
long journalNumber(const std::string &line, const std::string &key)
{
    const size_t at = line.find(" " + key + "=");
    return at == std::string::npos ? -1 : strtol(line.c_str() + at + key.size() + 2, nullptr, 10);
}

void onInterrupt(int sig)
{
    const int saved = errno;
    interruptSignal = sig;
    if (wakeFd >= 0 && write(wakeFd, "", 1) < 0) {
        // Full: a byte already waits there.
    }
    errno = saved;
}

// Opens a named input, or the sample clip `which` of the size and length given.
int openOne(const std::string &name, int which, int64_t maxPixels, int w, int h, long frames,
            InputClip &in, std::vector<std::string> &notes)
{
    std::string err;
    if (isSampleClip(name)) {
        openSampleInput(which, w, h, frames, in);
        return 0;
    }
    if (openInput(name, maxPixels, in, notes, err))
        return 0;
    fprintf(stderr, "vxhost: %s\n", err.c_str());
    return failedIoCode();
}

} // namespace

bool isSampleClip(const std::string &input)
{
    return input.empty() || input == kSampleClip;
}

int requireSecondInput(const RenderOptions &o, const OpTagItem *tags)
{
    uintptr_t single = 0;
    findTag(tags, OP_TAG_SINGLE_INPUT, single);
    if (single || o.input0.empty() || !o.input1.empty())
        return 0;
    fprintf(stderr,
            "vxhost: %s takes two clips: give the second with --input1 FILE (or --input1 %s "
            "for the built-in sample clip)\n",
            o.plugin.c_str(), kSampleClip);
    return 2;
}

std::string journalReason(const std::string &line)
{
    const size_t at = line.find(" source=");
    if (at == std::string::npos)
        return "";
    const size_t end = line.find(' ', at + 8);
    std::string source = line.substr(at + 8, end == std::string::npos ? end : end - at - 8);
    source = source.substr(source.rfind('\\') + 1);
    const long number = journalNumber(line, "line");
    for (const JournalSources &s : kJournalSources) {
        if (source != s.name)
            continue;
        for (const JournalSite &site : kJournalSites) {
            const std::string file = site.file;
            const std::string folder = "," + file.substr(0, file.rfind('/')) + ",";
            if (site.line == number && std::string(s.folders).find(folder) != std::string::npos)
                return std::string(site.reason) + " (" + file + ":" + std::to_string(number) + ")";
        }
    }
    return "";
}

void echoJournal(const std::string &line, bool afterBar)
{
    fprintf(stderr, "%svxhost: journal: %s\n", afterBar ? "\n" : "", line.c_str());
    const std::string reason = journalReason(line);
    if (!reason.empty())
        fprintf(stderr, "vxhost:   what failed: %s\n", reason.c_str());
}

void Warnings::say(const std::string &text)
{
    ++count;
    fprintf(stderr, "vxhost: %s%s\n", strict ? "error: " : "warning: ", text.c_str());
}

void catchInterrupts()
{
    wakeFd = wakePipeWriteEnd();
    watchInterruption(&interruptSignal);
    struct sigaction sa = {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int fail(const std::string &message, int code)
{
    fprintf(stderr, "vxhost: %s\n", message.c_str());
    return code;
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
    return isSampleClip(input) ? "sample clip " + std::to_string(which)
           : input == "-"      ? "standard input"
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
    if (!isSampleClip(o.input1) && (int64_t)b.fpsNum * a.fpsDen != (int64_t)a.fpsNum * b.fpsDen)
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
