// Host resource library: string and image tables read from the resource
// files installed next to this library ("NAME.strings", "NAME.images").
// Tables are loaded on each resLoad... call and live until freed. Unknown
// ids give an empty text (never null) or no image.
#include "operator/host/vxres.h"
#include "operator/host/export.h"
#include "platform/services.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

struct StringTable {
    std::map<int, std::string> texts;
};

struct ImageData {
    VxResImage image{};
    std::vector<uint8_t> rgba;
};

struct ImageTable {
    std::map<int, std::unique_ptr<ImageData>> images;
};

// The tables handed out, shared by the threads of the process.
std::mutex liveLock;
std::set<StringTable *> liveStrings;
std::set<ImageTable *> liveImages;
std::set<const void *> liveImageRecords; // every image of liveImages

// Directory of this library, where the resource files lie.
std::string resourceDir()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&resLoadStrings), &info) || !info.dli_fname)
        return ".";
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// A resource name is a plain file name.
bool plainName(const char *name)
{
    return name && *name && !strchr(name, '/') && strcmp(name, ".") && strcmp(name, "..");
}

std::string unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool readStrings(const std::string &path, StringTable &table)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        int id = 0, used = 0;
        if (sscanf(line.c_str(), "%d %n", &id, &used) != 1 || used <= 0)
            continue;
        table.texts[id] = unescape(line.substr(static_cast<size_t>(used)));
    }
    return true;
}

// "colour C RRGGBB" lines set palette characters ('.' is transparent);
// "image ID", rows of characters, "end" make an image.
bool readImages(const std::string &path, int tableKind, ImageTable &table)
{
    std::ifstream in(path);
    if (!in)
        return false;
    uint32_t palette[256] = {};
    std::string line;
    while (std::getline(in, line)) {
        char c = 0;
        unsigned rgb = 0;
        int id = 0;
        if (sscanf(line.c_str(), "colour %c %x", &c, &rgb) == 2) {
            palette[static_cast<uint8_t>(c)] = 0xFF000000u | rgb;
            continue;
        }
        if (sscanf(line.c_str(), "image %d", &id) != 1)
            continue;
        std::vector<std::string> rows;
        while (std::getline(in, line) && line != "end")
            rows.push_back(line);
        auto data = std::make_unique<ImageData>();
        int w = rows.empty() ? 0 : static_cast<int>(rows[0].size());
        int h = static_cast<int>(rows.size());
        data->rgba.assign(static_cast<size_t>(w) * h * 4, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w && x < static_cast<int>(rows[y].size()); ++x) {
                uint32_t p = palette[static_cast<uint8_t>(rows[y][x])];
                uint8_t *o = &data->rgba[(static_cast<size_t>(y) * w + x) * 4];
                o[0] = static_cast<uint8_t>(p >> 16);
                o[1] = static_cast<uint8_t>(p >> 8);
                o[2] = static_cast<uint8_t>(p);
                o[3] = static_cast<uint8_t>(p >> 24);
            }
        data->image = {id, tableKind, w, h, data->rgba.data()};
        table.images[id] = std::move(data);
    }
    return true;
}

} // namespace

VX_EXPORT void *resLoadStrings(const char *name)
{
    if (!plainName(name))
        return nullptr;
    auto table = std::make_unique<StringTable>();
    if (!readStrings(resourceDir() + "/" + name + ".strings", *table))
        return nullptr;
    std::lock_guard<std::mutex> lock(liveLock);
    liveStrings.insert(table.get());
    return table.release();
}

VX_EXPORT const char *resGetString(void *table, int id)
{
    auto *t = static_cast<StringTable *>(table);
    std::lock_guard<std::mutex> lock(liveLock);
    if (!liveStrings.count(t))
        return "";
    auto it = t->texts.find(id);
    return it == t->texts.end() ? "" : it->second.c_str();
}

VX_EXPORT void resFreeStrings(void *table)
{
    auto *t = static_cast<StringTable *>(table);
    std::lock_guard<std::mutex> lock(liveLock);
    if (liveStrings.erase(t))
        delete t;
}

VX_EXPORT void *resLoadImages(const char *name)
{
    if (!plainName(name))
        return nullptr;
    auto table = std::make_unique<ImageTable>();
    int kind = strcmp(name, "vorlux_ops") == 0 ? 0 : 1;
    if (!readImages(resourceDir() + "/" + name + ".images", kind, *table))
        return nullptr;
    std::lock_guard<std::mutex> lock(liveLock);
    liveImages.insert(table.get());
    for (const auto &entry : table->images)
        liveImageRecords.insert(&entry.second->image);
    return table.release();
}

VX_EXPORT void *resGetImage(void *table, int id)
{
    auto *t = static_cast<ImageTable *>(table);
    std::lock_guard<std::mutex> lock(liveLock);
    if (!liveImages.count(t))
        return nullptr;
    auto it = t->images.find(id);
    return it == t->images.end() ? nullptr : &it->second->image;
}

VX_EXPORT void resFreeImages(void *table)
{
    auto *t = static_cast<ImageTable *>(table);
    std::lock_guard<std::mutex> lock(liveLock);
    if (!liveImages.erase(t))
        return;
    for (const auto &entry : t->images)
        liveImageRecords.erase(&entry.second->image);
    delete t;
}

VX_EXPORT int vxResStringId(const char *text)
{
    std::lock_guard<std::mutex> lock(liveLock);
    for (StringTable *t : liveStrings)
        for (const auto &[id, s] : t->texts)
            if (s.c_str() == text)
                return id;
    return -1;
}

VX_EXPORT int vxResImageLive(const void *image)
{
    std::lock_guard<std::mutex> lock(liveLock);
    return liveImageRecords.count(image) ? 1 : 0;
}
