// vxhost render ended from outside: signals to the run and to its --jobs
// workers, and a reader that closes the output pipe.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "host/cli/run.h"
#include "host/io/pipestream.h"
#include "tests/host/cli_support.h"

namespace {

using namespace clitest;

std::string readAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The command lines of running processes that contain `text`, by pid.
std::vector<std::pair<pid_t, std::string>> processesWith(const std::string &text)
{
    std::vector<std::pair<pid_t, std::string>> found;
    for (const auto &e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // A process may end between the listing and the read, which then
        // fails with ESRCH inside the stream buffer.
        std::string line;
        try {
            line = readAll(e.path() / "cmdline");
        } catch (const std::exception &) {
            continue;
        }
        std::replace(line.begin(), line.end(), '\0', ' ');
        if (line.find(text) != std::string::npos)
            found.emplace_back((pid_t)std::stol(name), line);
    }
    return found;
}

struct Signals : Cli {
    // Starts vxhost with args (split on spaces), stderr to dir/err.txt.
    pid_t start(const std::string &args)
    {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("VXHOME", (dir / "home").c_str(), 1);
            freopen((dir / "err.txt").c_str(), "w", stderr);
            std::vector<std::string> words = {VX_VXHOST};
            std::istringstream in(args);
            for (std::string w; in >> w;)
                words.push_back(w);
            std::vector<char *> argv;
            for (std::string &w : words)
                argv.push_back(w.data());
            argv.push_back(nullptr);
            execv(VX_VXHOST, argv.data());
            _exit(127);
        }
        return pid;
    }
    // Waits up to a minute for pid; its wait status, or -1 after killing it.
    static int finish(pid_t pid)
    {
        int status = 0;
        for (int i = 0; i < 6000; ++i, usleep(10000))
            if (waitpid(pid, &status, WNOHANG) == pid)
                return status;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    std::vector<std::string> temporaries()
    {
        std::vector<std::string> found;
        for (const auto &e : fs::directory_iterator(dir))
            if (e.path().filename().string().find(".tmp-") != std::string::npos)
                found.push_back(e.path().filename().string());
        return found;
    }
    // Several seconds at --jobs 2 on a fast machine, so that a signal sent
    // within a quarter of a second always lands before the render ends.
    std::string render(const std::string &output, int jobs)
    {
        return "render " + plugin("VorluxMorph") + " --effect big -q --fields 1000 --jobs " +
               std::to_string(jobs) + " -o " + output;
    }
};

// Interrupted at random moments (count from VX_INTERRUPTS, 20 by default):
// the run ends with 128 + the signal, its workers stopped, no temporary
// left and the earlier output (a clip, PNG frames) as it was.
TEST_F(Signals, InterruptedJobsEndCleanlyAtAnyMoment)
{
    ASSERT_EQ(vxhost("sample-effect big", home).code, 0);
    std::ofstream(dir / "o.y4m") << "earlier";
    std::ofstream(dir / "p_000.png") << "earlier";
    const char *count = getenv("VX_INTERRUPTS");
    const int runs = count ? atoi(count) : 20;
    std::mt19937 rng(18);
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    std::map<int, int> ends; // exit code: runs
    for (int run = 0; run < runs; ++run) {
        const int sig = signals[run % 3];
        const std::string out = (dir / (run % 2 ? "p_%03d.png" : "o.y4m")).string();
        const pid_t pid = start(render(out, 2));
        while (!catches(pid, SIGHUP) && waitpid(pid, nullptr, WNOHANG) == 0)
            usleep(1000);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 250000));
        kill(pid, sig);
        const int status = finish(pid);
        SCOPED_TRACE("run " + std::to_string(run) + ", signal " + std::to_string(sig) + ": " +
                     readAll(dir / "err.txt"));
        ASSERT_NE(status, -1) << "hung";
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        ++ends[WEXITSTATUS(status)];
        EXPECT_EQ(temporaries(), std::vector<std::string>());
        EXPECT_EQ(processesWith((dir / "home").string()).size(), 0u);
        EXPECT_EQ(readAll(dir / "o.y4m"), "earlier");
        EXPECT_EQ(readAll(dir / "p_000.png"), "earlier");
        EXPECT_FALSE(fs::exists(dir / "p_001.png"));
    }
    for (auto [code, n] : ends)
        printf("exit %d: %d runs\n", code, n);
}

// A worker killed from outside: the run names the worker and the signal
// and fails with 1; it was not interrupted itself.
TEST_F(Signals, AWorkerKilledIsNamedAndFailsTheRun)
{
    ASSERT_EQ(vxhost("sample-effect big", home).code, 0);
    const struct Case {
        int worker, signal;
        const char *says;
    } cases[] = {
        {0, SIGTERM, "worker 0 was stopped by signal 15 (SIGTERM)"},
        {1, SIGTERM, "worker 1 was stopped by signal 15 (SIGTERM)"},
        {0, SIGKILL, "worker 0 was stopped by signal 9 (SIGKILL)"},
        {1, SIGSEGV, "worker 1 was stopped by signal 11 (SIGSEGV)"},
    };
    for (const Case &c : cases) {
        const pid_t pid = start(render((dir / "o.y4m").string(), 2));
        const std::string range = c.worker == 0 ? "--range 0:" : "--range 500:";
        pid_t target = 0;
        while (!target && waitpid(pid, nullptr, WNOHANG) == 0)
            for (const auto &[p, line] : processesWith("--worker-state"))
                if (line.find((dir / "home").string()) != std::string::npos &&
                    line.find(range) != std::string::npos)
                    target = p;
        ASSERT_GT(target, 0) << readAll(dir / "err.txt");
        kill(target, c.signal);
        const int status = finish(pid);
        const std::string said = readAll(dir / "err.txt");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << "\n" << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_EQ(said.find("interrupted"), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(dir / "o.y4m"));
        EXPECT_EQ(temporaries(), std::vector<std::string>());
    }
}

// A reader that closes the pipe early ends the run quietly with 141, as a
// pipeline tool killed by SIGPIPE ends.
TEST_F(Signals, ClosedOutputPipeEndsQuietly)
{
    ASSERT_EQ(vxhost("sample-effect big", home).code, 0);
    for (int jobs : {1, 2}) {
        const CliRun r = shell("{ " + home + " " VX_VXHOST " " + render("-", jobs) + " 2>" +
                               (dir / "err.txt").string() + "; echo $? >" +
                               (dir / "code").string() + "; } | head -c 1000 | wc -c");
        EXPECT_EQ(readAll(dir / "code"), "141\n") << jobs;
        EXPECT_EQ(r.output, "1000\n");
        EXPECT_EQ(readAll(dir / "err.txt").find("write failed"), std::string::npos)
            << readAll(dir / "err.txt");
    }
}

} // namespace

namespace {

// A pipe read whose writer has stalled ends when the run is interrupted,
// whether the signal lands on another thread (a decoder's, say) while the
// read waits or just before the read begins. A watchdog closes the writer
// after 5 s, so a read that missed the signal fails the test, not hangs it.
TEST(PipeReads, AnInterruptionEndsAStalledReadWhereverTheSignalLands)
{
    vxh::catchInterrupts();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::atomic<bool> done{false};
    std::thread watchdog([w = fds[1], &done] {
        for (int i = 0; i < 500 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        close(w);
    });
    std::thread other([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        raise(SIGHUP); // delivered to this thread, not to the reader
    });
    char byte = 0;
    const ssize_t onOtherThread = vxh::readPipe(fds[0], &byte, 1);
    const int error = errno;
    other.join();
    const ssize_t afterwards = vxh::readPipe(fds[0], &byte, 1);
    done = true;
    vxh::interruptSignal = 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        signal(sig, SIG_DFL);
    watchdog.join();
    close(fds[0]);
    EXPECT_EQ(onOtherThread, -1);
    EXPECT_EQ(error, EINTR);
    EXPECT_EQ(afterwards, -1);
}

} // namespace
