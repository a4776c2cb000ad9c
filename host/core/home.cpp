#include "host/core/home.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vxh {

namespace fs = std::filesystem;

bool findHome(std::string &dir, std::string &err)
{
    const char *home = getenv("VXHOME");
    if (home && *home) {
        dir = home;
    } else {
        const char *data = getenv("XDG_DATA_HOME");
        const char *user = getenv("HOME");
        if (data && *data)
            dir = std::string(data) + "/vorlux";
        else if (user && *user)
            dir = std::string(user) + "/.local/share/vorlux";
        else {
            err = "VXHOME is not set and there is no home directory to put the data in";
            return false;
        }
        fprintf(stderr, "vxhost: VXHOME is not set; using %s\n", dir.c_str());
        setenv("VXHOME", dir.c_str(), 1);
    }
    return true;
}

bool ensureHome(std::string &err)
{
    std::string dir;
    if (!findHome(dir, err))
        return false;
    std::error_code ec;
    const bool existed = fs::exists(dir, ec);
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        err = "VXHOME '" + dir + "' is not a directory that can be made" +
              (ec ? " (" + ec.message() + ")" : "");
        return false;
    }
    if (!existed)
        fprintf(stderr, "vxhost: created VXHOME %s\n", dir.c_str());
    return true;
}

std::string driveRootPath(const std::string &path)
{
    const char *home = getenv("VXHOME");
    if (!path.empty() && path[0] == '/' && home && *home)
        return std::string(home) + path;
    return path;
}

std::string effectFilePath(const std::string &name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char *home = getenv("VXHOME");
    return std::string(home ? home : "") + "/programs/vorlux/" + name;
}

} // namespace vxh
