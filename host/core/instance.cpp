#include "host/core/instance.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "fileio/atomicfile.h"
#include "host/core/plugin.h"

namespace vxh {

namespace {

const char kMagic[4] = {'V', 'X', 'S', 'T'};

} // namespace

// Block bytes, then the four gadget values (0 for absent gadgets).
std::vector<char> instanceSnapshot(const OpTagItem *tags)
{
    std::vector<char> bytes(kMagic, kMagic + 4);
    uintptr_t value;
    uint32_t size = 0;
    const char *block = nullptr;
    if (findTag(tags, OP_TAG_PARAMS, value) && value) {
        size = ((const ParamBlockDesc *)value)->size;
        block = (const char *)((const ParamBlockDesc *)value)->block;
    }
    bytes.insert(bytes.end(), (const char *)&size, (const char *)&size + 4);
    if (block)
        bytes.insert(bytes.end(), block, block + size);
    for (int i = 0; i < 4; ++i) {
        int32_t v = 0;
        if (GadgetDesc *g = findGadget(tags, i)) {
            if (g->kind == GADGET_POPUP)
                v = ((GadgetPopup *)g)->value;
            else if (g->kind == GADGET_SLIDER)
                v = ((GadgetSlider *)g)->value;
        }
        bytes.insert(bytes.end(), (const char *)&v, (const char *)&v + 4);
    }
    return bytes;
}

std::string instanceStatePath(const std::string &pluginPath, const std::string &instance)
{
    const char *home = getenv("VXHOME");
    std::string base = std::filesystem::path(pluginPath).filename().string();
    return std::string(home ? home : ".") + "/vxhost/instances/" + base + "." + instance;
}

bool restoreInstance(const std::string &path, const OpTagItem *tags)
{
    FILE *f = openRegularFile(path.c_str());
    if (!f)
        return false;
    std::vector<char> stored;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0 && stored.size() < 1 << 20)
        stored.insert(stored.end(), buffer, buffer + n);
    fclose(f);
    std::vector<char> now = instanceSnapshot(tags);
    // Same plug-in layout: magic, block size and total length must agree.
    if (stored.size() != now.size() || memcmp(stored.data(), now.data(), 8) != 0)
        return false;
    uintptr_t value;
    uint32_t size;
    memcpy(&size, stored.data() + 4, 4);
    if (findTag(tags, OP_TAG_PARAMS, value) && value)
        memcpy(((ParamBlockDesc *)value)->block, stored.data() + 8, size);
    for (int i = 0; i < 4; ++i) {
        int32_t v;
        memcpy(&v, stored.data() + 8 + size + 4 * i, 4);
        setGadgetValue(findGadget(tags, i), v);
    }
    return true;
}

bool storeInstance(const std::string &path, const OpTagItem *tags, std::string &err)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::vector<char> bytes = instanceSnapshot(tags);
    if (atomicWriteFile(path.c_str(), bytes.data(), bytes.size()) != 0) {
        err = path + ": instance state cannot be written: " + strerror(errno);
        return false;
    }
    return true;
}

} // namespace vxh
