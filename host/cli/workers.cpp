// Worker processes of --jobs: each renders one range of fields to a stream
// the parent reads in order.
#include "host/cli/workers.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "host/cli/run.h"
#include "host/io/pipestream.h"
#include "host/io/y4m.h"

namespace vxh {

namespace {

// How a worker ended: its exit code, or the signal that killed it.
struct WorkerEnd {
    int exitCode = 0;
    int signal = 0;
};

// A worker process and the stream its frames come through; move-only. A
// worker still running when it goes is stopped and waited for.
struct Worker {
    pid_t pid = -1;
    FILE *stream = nullptr; // read end of the pipe, or the worker's temporary file
    bool ended = false;     // waited for before its turn came; end says how
    WorkerEnd end;

    Worker() = default;
    Worker(Worker &&other) noexcept
        : pid(std::exchange(other.pid, -1)), stream(std::exchange(other.stream, nullptr)),
          ended(other.ended), end(other.end)
    {}
    Worker &operator=(Worker &&) = delete;
    ~Worker();
};

bool startWorker(const char *self, const std::vector<std::string> &args, bool toPipe, Worker &w,
                 std::string &err)
{
    int fds[2] = {-1, -1};
    if (toPipe) {
        if (pipe(fds) != 0) {
            err = std::string("cannot make a pipe for a worker: ") + strerror(errno);
            return false;
        }
        w.stream = openPipeStream(fds[0], true);
    } else {
        w.stream = tmpfile();
        if (w.stream)
            fds[1] = dup(fileno(w.stream));
    }
    if (!w.stream || fds[1] < 0) {
        err = std::string("cannot make an output for a worker: ") + strerror(errno);
        return false;
    }
    std::vector<char *> argv;
    argv.push_back((char *)self);
    for (const std::string &a : args)
        argv.push_back((char *)a.c_str());
    argv.push_back(nullptr);
    fflush(nullptr);
    w.pid = fork();
    if (w.pid < 0) {
        err = std::string("cannot start a worker: ") + strerror(errno);
        return false;
    }
    if (w.pid == 0) {
        // A worker ends with this run, however the run ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(fds[1], 1);
        close(fds[1]);
        if (toPipe)
            close(fds[0]);
        execv(self, argv.data());
        _exit(127);
    }
    close(fds[1]);
    return true;
}

WorkerEnd endOf(int status)
{
    WorkerEnd e;
    if (WIFSIGNALED(status))
        e.signal = WTERMSIG(status);
    else
        e.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    return e;
}

// Stops a worker and waits for it: its stream is closed first, so that one
// blocked writing to the pipe fails at once; one that does not end within
// two seconds of SIGTERM is killed.
void stopWorker(Worker &w)
{
    if (w.stream) {
        fclose(w.stream);
        w.stream = nullptr;
    }
    if (w.pid <= 0)
        return;
    kill(w.pid, SIGTERM);
    int status = 0;
    for (int tries = 0; waitpid(w.pid, &status, WNOHANG) == 0; ++tries) {
        if (tries == 200)
            kill(w.pid, SIGKILL);
        usleep(10000);
    }
    w.pid = -1;
}

Worker::~Worker()
{
    stopWorker(*this);
}

// Waits for a worker to end; false when a signal interrupts this run first
// or the worker cannot be waited for (it is then stopped). Polled, so that a signal that comes just
// before a wait cannot leave it waiting for the whole range.
bool waitWorker(Worker &w, WorkerEnd &end, std::string &err)
{
    if (w.ended) {
        end = w.end;
        return true;
    }
    int status = 0;
    for (pid_t got; (got = waitpid(w.pid, &status, WNOHANG)) != w.pid; usleep(5000)) {
        if (interruptSignal || (got < 0 && errno != EINTR)) {
            err = std::string("cannot wait for a worker: ") + strerror(errno);
            stopWorker(w);
            return false;
        }
    }
    w.pid = -1;
    end = endOf(status);
    return true;
}

// The exit code of the run after worker j ended so; 0 when it rendered its
// range. A worker stopped by a signal (killed outright, or its handler's
// exit 128+n) is a failed render of the run, not an interruption of it.
int judgeWorker(size_t j, const WorkerEnd &end, std::string &err)
{
    const std::string who = "worker " + std::to_string(j);
    int sig = end.signal ? end.signal : end.exitCode > 128 ? end.exitCode - 128 : 0;
    if (sig) {
        const char *name = sigabbrev_np(sig);
        err = who + " was stopped by signal " + std::to_string(sig) +
              (name ? std::string(" (SIG") + name + ")" : "");
        return 1;
    }
    if (end.exitCode != 0)
        err = who + " failed (exit " + std::to_string(end.exitCode) + ")";
    return end.exitCode == 0 ? 0 : end.exitCode == 1 ? 1 : 2;
}

// The exit code of the run when a worker after worker j has already failed:
// the run fails at once rather than after the frames before that worker's
// range are copied. A worker that ended well is kept as ended for its turn.
int judgeLaterWorkers(std::vector<Worker> &workers, size_t j, std::string &err)
{
    for (size_t i = j + 1; i < workers.size(); ++i) {
        Worker &w = workers[i];
        int status = 0;
        if (w.pid <= 0 || waitpid(w.pid, &status, WNOHANG) != w.pid)
            continue;
        w.pid = -1;
        w.ended = true;
        w.end = endOf(status);
        if (const int code = judgeWorker(i, w.end, err))
            return code;
    }
    return 0;
}

// Reads the planes of the next frame of a worker's stream (C444alpha), in
// order, into in.raw.
bool readWorkerFrame(InputClip &in, long k, std::string &err)
{
    std::string line;
    if (readY4mLine(in.fp, line) != LineResult::Ok || line.compare(0, 5, "FRAME") != 0) {
        err = "a worker's output ended early at frame " + std::to_string(k);
        return false;
    }
    in.raw.resize(in.frameBytes);
    if (fread(in.raw.data(), 1, in.frameBytes, in.fp) != in.frameBytes) {
        err = "a worker's output ended early in frame " + std::to_string(k);
        return false;
    }
    return true;
}

// Copies the next frame of a worker's stream to the output: as it is when
// the output packs frames alike, else unpacked and written as any frame.
bool copyWorkerFrame(InputClip &in, long k, OutputClip &out, std::vector<uint32_t> &frame,
                     int &code, std::string &err)
{
    code = 1;
    if (!readWorkerFrame(in, k, err))
        return false;
    code = 2;
    if (writesPackedFrames(out, PixFmt::Yuva444))
        return writePackedFrame(out, in.raw.data(), in.raw.size(), err);
    frame.resize((size_t)in.facts.width * in.facts.height);
    unpackY4mFrame(in.header, in.raw.data(), frame.data());
    return writeFrame(out, frame.data(), err);
}

bool openWorkerStream(Worker &w, InputClip &in, std::string &err)
{
    in = InputClip{};
    in.name = "worker output";
    std::string line;
    if (readY4mLine(w.stream, line) != LineResult::Ok || !parseY4mHeader(line, in.header, err) ||
        !y4mFrameBytes(in.header, in.frameBytes)) {
        err = "a worker wrote no usable output" + (err.empty() ? "" : " (" + err + ")");
        return false;
    }
    in.fp = w.stream;
    in.facts.width = in.header.w;
    in.facts.height = in.header.h;
    return true;
}

} // namespace

// Splits [0, fields) into `jobs` ranges on frame boundaries.
std::vector<std::pair<long, long>> splitRanges(long fields, int jobs)
{
    const long frames = (fields + 1) / 2;
    std::vector<std::pair<long, long>> ranges;
    for (int j = 0; j < jobs; ++j) {
        const long a = frames * j / jobs * 2, b = std::min(fields, frames * (j + 1) / jobs * 2);
        if (b > a)
            ranges.emplace_back(a, b);
    }
    return ranges;
}

std::vector<std::string> workerArgs(const RenderOptions &o, const std::string &stateFile,
                                    long fields, long a, long b, const std::string &output)
{
    std::vector<std::string> args = {"render",
                                     o.plugin,
                                     "-o",
                                     output,
                                     "-q",
                                     "--fields",
                                     std::to_string(fields),
                                     "--range",
                                     std::to_string(a) + ":" + std::to_string(b),
                                     "--worker-state",
                                     stateFile,
                                     "--max-pixels",
                                     std::to_string(o.maxPixels)};
    auto add = [&](const std::string &opt, const std::string &value) {
        args.push_back(opt);
        args.push_back(value);
    };
    if (!o.input0.empty())
        add("--input0", o.input0);
    if (!o.input1.empty())
        add("--input1", o.input1);
    if (!o.effect.empty())
        add("--effect", o.effect);
    if (o.projectWidth)
        add("--project", std::to_string(o.projectWidth) + "x" + std::to_string(o.projectHeight));
    if (o.projectSize)
        args.push_back("--project-size");
    // The scan the parent picked, so that workers do not pick again.
    args.push_back(o.scan == Scan::Progressive ? "--progressive" : "--interlaced");
    if (o.order != FieldOrder::FromInput)
        args.push_back(o.order == FieldOrder::TopFirst ? "--top-first" : "--bottom-first");
    if (o.allowDefaultEffect)
        args.push_back("--allow-default-effect");
    if (o.strict)
        args.push_back("--strict");
    return args;
}

int joinParts(const std::vector<std::string> &parts,
              const std::vector<std::pair<long, long>> &ranges, const std::string &resume,
              OutputClip &out, std::string &err)
{
    std::vector<uint32_t> frame;
    for (size_t j = 0; j < parts.size(); ++j) {
        const std::string which = "part " + std::to_string(j) + " (fields " +
                                  std::to_string(ranges[j].first) + ":" +
                                  std::to_string(ranges[j].second) + ")";
        Worker w;
        w.stream = fopen(parts[j].c_str(), "rb");
        if (!w.stream) {
            err = which + " is missing (" + parts[j] + "); " + resume;
            return 2;
        }
        InputClip in;
        if (!openWorkerStream(w, in, err)) {
            err = which + ": " + err + "; " + resume;
            return 2;
        }
        const long frames = (ranges[j].second - ranges[j].first + 1) / 2;
        for (long k = 0; k < frames; ++k) {
            int code = 1;
            if (interruptSignal)
                return 128 + interruptSignal;
            if (!copyWorkerFrame(in, k, out, frame, code, err)) {
                if (code == 1)
                    err = which + ": " + err + "; " + resume;
                return 2;
            }
        }
    }
    return 0;
}

int runWorkers(const RenderOptions &o, const char *self, const std::string &stateFile, long fields,
               OutputClip &out, std::string &err)
{
    const auto ranges = splitRanges(fields, o.jobs);
    std::vector<Worker> workers(ranges.size());
    int code = 0;
    for (size_t j = 0; j < ranges.size() && code == 0; ++j)
        if (!startWorker(self,
                         workerArgs(o, stateFile, fields, ranges[j].first, ranges[j].second, "-"),
                         j == 0, workers[j], err))
            code = 2;
    std::vector<uint32_t> frame;
    const bool show = !o.quiet && isatty(2);
    long done = 0;
    WorkerEnd end;
    for (size_t j = 0; j < workers.size() && code == 0 && !interruptSignal; ++j) {
        Worker &w = workers[j];
        if (j > 0) {
            // Written to a temporary file: complete once the worker has ended.
            if (!waitWorker(w, end, err))
                code = 2;
            else
                code = judgeWorker(j, end, err);
            if (code != 0)
                break;
            rewind(w.stream);
        }
        InputClip in;
        if (!openWorkerStream(w, in, err)) {
            code = 1;
            break;
        }
        const long frames = (ranges[j].second - ranges[j].first + 1) / 2;
        for (long k = 0; k < frames && code == 0; ++k) {
            // A signal cuts a read or write short: the failure is then the
            // interruption's.
            int failed = 1;
            if (interruptSignal || !copyWorkerFrame(in, k, out, frame, failed, err))
                code = failed;
            else
                code = judgeLaterWorkers(workers, j, err);
            done += 2;
            showProgress(show && code == 0, std::min(done, fields), fields);
        }
        if (j == 0 && code == 0)
            code = waitWorker(w, end, err) ? judgeWorker(j, end, err) : 2;
    }
    // Worker 0's output ends early when it dies: said as its death.
    if (code == 1 && !interruptSignal && workers[0].pid > 0) {
        if (FILE *stream = std::exchange(workers[0].stream, nullptr))
            fclose(stream);
        std::string unused;
        if (waitWorker(workers[0], end, unused) &&
            (end.signal || (end.exitCode > 128 && end.exitCode != 128 + SIGPIPE)))
            judgeWorker(0, end, err);
    }
    for (Worker &w : workers)
        stopWorker(w);
    if (show)
        fprintf(stderr, "\n");
    return interruptSignal ? 128 + interruptSignal : code;
}

} // namespace vxh
