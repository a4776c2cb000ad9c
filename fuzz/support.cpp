#include "fuzz/support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <unistd.h>

#include "host/cli/render.h"
#include "host/core/host.h"

namespace vxfuzz {

namespace fs = std::filesystem;

const std::string &workDir()
{
    static const std::string dir = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        const fs::path d = base / ("vxfuzz-" + std::to_string(getpid()));
        fs::create_directories(d / "home" / "programs" / "vorlux");
        setenv("VXHOME", (d / "home").c_str(), 1);
        // The folder goes when the process ends normally.
        static const struct Remover {
            fs::path p;
            ~Remover()
            {
                std::error_code ec;
                fs::remove_all(p, ec);
            }
        } remover{d};
        return d.string();
    }();
    return dir;
}

std::string writeFile(const std::string &name, const uint8_t *data, size_t size)
{
    const std::string path = workDir() + "/" + name;
    std::FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        std::abort();
    if (size && std::fwrite(data, 1, size, fp) != size)
        std::abort();
    std::fclose(fp);
    return path;
}

std::string effectDir()
{
    return workDir() + "/home/programs/vorlux";
}

std::string pluginPath(const std::string &name)
{
    return std::string(VX_PLUGIN_DIR) + "/" + name + ".so";
}

std::string frei0rPath(const std::string &name)
{
    return std::string(VX_FREI0R_DIR) + "/" + name + ".so";
}

vxh::Plugin &loadedPlugin(const std::string &name)
{
    static std::map<std::string, vxh::Plugin> plugins;
    vxh::Plugin &p = plugins[name];
    std::string err;
    if (!p.handle && !vxh::loadPlugin(pluginPath(name), p, err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        std::abort();
    }
    return p;
}

vxh::Clip smallClip(int w, int h, int n, int seed)
{
    vxh::Clip c;
    c.width = w, c.height = h;
    for (int k = 0; k < n; ++k) {
        std::vector<uint32_t> f(size_t(w) * h);
        for (size_t i = 0; i < f.size(); ++i)
            f[i] = vxh::packYuva(uint8_t(16 + (i * 37 + k * 11 + seed) % 220), uint8_t(128 + i % 7),
                                 uint8_t(120 + k % 16), uint8_t(255 - i % 3));
        c.frames.push_back(f);
    }
    return c;
}

bool renderSmall(vxh::Plugin &plugin, const vxh::RenderOptions &options, int w, int h, int n,
                 std::string &err)
{
    workDir();
    const vxh::Clip in0 = smallClip(w, h, n), in1 = smallClip(w, h, n, 100);
    vxh::Host host;
    vxh::Clip out;
    return vxh::renderClip(plugin, host, options, in0, in1, out, err);
}

std::string Bytes::text(size_t max)
{
    size_t n = u8() % (max + 1);
    n = std::min(n, size - std::min(pos, size));
    std::string s(reinterpret_cast<const char *>(data + pos), n);
    pos += n;
    return s;
}

std::string_view Bytes::rest()
{
    std::string_view s(reinterpret_cast<const char *>(data + std::min(pos, size)),
                       size - std::min(pos, size));
    pos = size;
    return s;
}

} // namespace vxfuzz
