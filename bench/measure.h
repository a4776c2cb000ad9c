// Whole-command measurements of the benchmarks that run vxhost.
#ifndef VX_BENCH_MEASURE_H
#define VX_BENCH_MEASURE_H

#include <string>

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

#endif
