#include "host/core/plugin.h"

#include <algorithm>
#include <cctype>
#include <dlfcn.h>
#include <filesystem>
#include <utility>
#include <vector>

namespace vxh {

namespace fs = std::filesystem;

std::string findPlugin(const std::string &name)
{
    // Never throws: a name too long for a file name is simply not found.
    std::error_code ec;
    if (name.empty() || name.find('/') != std::string::npos || fs::exists(name, ec))
        return name;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return name;
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return (char)std::tolower(c); });
    static const char *const kinds[][2] = {{"morph", "VorluxMorph"},
                                           {"draw", "VorluxDraw"},
                                           {"fx", "VorluxFX"},
                                           {"warp", "VorluxWarp"},
                                           {"op", "VorluxOp"}};
    std::vector<std::string> files = {name, name + ".so"};
    for (const auto &kind : kinds)
        if (lower == kind[0])
            files.push_back(std::string(kind[1]) + ".so");
    // Installed: lib/vorlux beside bin/; in a build tree: plugins/ beside bin/.
    for (const char *dir : {VX_BIN_TO_PKGLIB, "../plugins"})
        for (const std::string &file : files) {
            const fs::path candidate = self.parent_path() / dir / file;
            if (fs::is_regular_file(candidate, ec))
                return candidate.lexically_normal().string();
        }
    return name;
}

Plugin::Plugin(Plugin &&other) noexcept
    : handle(std::exchange(other.handle, nullptr)), getInfo(std::exchange(other.getInfo, nullptr)),
      action(std::exchange(other.action, nullptr)), path(std::move(other.path))
{}

Plugin &Plugin::operator=(Plugin &&other) noexcept
{
    if (this != &other) {
        unloadPlugin(*this);
        handle = std::exchange(other.handle, nullptr);
        getInfo = std::exchange(other.getInfo, nullptr);
        action = std::exchange(other.action, nullptr);
        path = std::move(other.path);
    }
    return *this;
}

Plugin::~Plugin()
{
    unloadPlugin(*this);
}

bool loadPlugin(const std::string &path, Plugin &plugin, std::string &err)
{
    unloadPlugin(plugin);
    // A bare name is not searched for on the library path.
    const bool bare = path.find('/') == std::string::npos;
    std::error_code ec;
    if (bare && !fs::exists(path, ec)) {
        err = path + ": no such plug-in: not a file here, nor one installed with vxhost (morph, "
                     "draw, fx, warp, op, or their files such as VorluxMorph.so)";
        return false;
    }
    std::string file = bare ? "./" + path : path;
    void *handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        err = path + ": not a loadable plug-in (" + (why ? why : "unknown error") + ")";
        return false;
    }
    auto info = (GetOperatorInfoFn)dlsym(handle, "GetOperatorInfo");
    auto action = (OperatorActionFn)dlsym(handle, "OperatorAction");
    if (!info || !action) {
        err = path + ": not an operator plug-in (missing " +
              std::string(!info ? "GetOperatorInfo" : "OperatorAction") + ")";
        dlclose(handle);
        return false;
    }
    plugin.handle = handle;
    plugin.getInfo = info;
    plugin.action = action;
    plugin.path = path;
    return true;
}

void unloadPlugin(Plugin &plugin)
{
    if (plugin.handle)
        dlclose(plugin.handle);
    plugin.handle = nullptr;
    plugin.getInfo = nullptr;
    plugin.action = nullptr;
    plugin.path.clear();
}

OperatorEntry entryOf(Plugin &plugin)
{
    OperatorEntry entry;
    entry.self = &plugin;
    entry.describe = [](void *self) { return static_cast<Plugin *>(self)->getInfo(); };
    entry.act = [](void *self, ActionRecord *record) {
        return static_cast<Plugin *>(self)->action(record);
    };
    return entry;
}

bool findTag(const OpTagItem *tags, uint32_t tag, uintptr_t &value)
{
    for (int i = 0; tags && tags[i].tag != OP_TAG_END && i < 64; ++i)
        if (tags[i].tag == tag) {
            value = tags[i].value;
            return true;
        }
    return false;
}

GadgetDesc *findGadget(const OpTagItem *tags, int index)
{
    uintptr_t value;
    if (index < 0 || index > 3 || !findTag(tags, OP_TAG_GADGET1 + index, value))
        return nullptr;
    return (GadgetDesc *)value;
}

void setGadgetValue(GadgetDesc *gadget, int value)
{
    if (!gadget)
        return;
    if (gadget->kind == GADGET_POPUP)
        ((GadgetPopup *)gadget)->value = value;
    else if (gadget->kind == GADGET_SLIDER)
        ((GadgetSlider *)gadget)->value = value;
}

} // namespace vxh
