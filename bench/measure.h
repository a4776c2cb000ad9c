// Whole-command measurements of the benchmarks that run vxhost.
#ifndef VX_BENCH_MEASURE_H
#define VX_BENCH_MEASURE_H

#include <chrono>
#include <string>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs a shell command; returns its exit status and the max RSS (KiB) of
// the largest process in its tree.
inline int runMeasured(const std::string &command, long &maxRssKiB)
{
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), (char *)nullptr);
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    maxRssKiB = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Times command once per iteration as the benchmark's manual time, with
// fields/s and the largest process's max RSS as counters.
inline void measureRender(benchmark::State &state, const std::string &command, double fields)
{
    long rss = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (runMeasured(command, rss) != 0) {
            state.SkipWithError("vxhost render failed");
            break;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["fields/s"] = fields / seconds;
        state.counters["maxRSS_MiB"] = (double)rss / 1024.0;
    }
}

#endif
