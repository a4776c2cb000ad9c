// Runs vxhost as a user would, in a scratch home per test.
#ifndef VX_TESTS_CLI_SUPPORT_H
#define VX_TESTS_CLI_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include "host/io/clip.h"
#include "host/io/clipfile.h"

namespace clitest {

namespace fs = std::filesystem;

struct CliRun {
    int code = -1;
    std::string output; // stdout and stderr together
};

// Runs a shell command; its exit code and output (stdout and stderr).
inline CliRun shell(const std::string &line)
{
    CliRun run;
    const std::string command = "{ " + line + "; } 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Whether process pid catches signal sig (its handler is installed).
inline bool catches(pid_t pid, int sig)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("SigCgt:\t", 0) == 0)
            return std::stoull(line.substr(8), nullptr, 16) >> (sig - 1) & 1;
    return false;
}

inline CliRun vxhost(const std::string &args, const std::string &env = "")
{
    return shell(env + " " VX_VXHOST " " + args);
}

inline std::string plugin(const std::string &name)
{
    return std::string(VX_BUILD_PLUGIN_DIR) + "/" + name + ".so";
}

struct Cli : ::testing::Test {
    fs::path dir;
    std::string home;
    void SetUp() override
    {
        const char *base = getenv("VXHOME");
        dir = fs::path(base ? base : "/tmp/vx-test-home") / "cli" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
        home = "VXHOME=" + (dir / "home").string();
    }
    // A small clip written as .y4m: w x h, n frames.
    std::string smallClip(const std::string &name, int w, int h, int n, int seed)
    {
        vxh::Clip clip;
        clip.width = w;
        clip.height = h;
        for (int f = 0; f < n; ++f) {
            std::vector<uint32_t> frame((size_t)w * h);
            for (size_t i = 0; i < frame.size(); ++i)
                frame[i] = (uint32_t)(i * 2654435761u + f * 97 + seed * 13) | 0xFF000000u;
            clip.frames.push_back(frame);
        }
        std::string path = (dir / name).string(), err;
        EXPECT_TRUE(vxh::writeClip(path, clip, err)) << err;
        return path;
    }
};

} // namespace clitest

#endif
