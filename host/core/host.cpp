#include "host/core/host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <stdexcept>
#include <unistd.h>

#include "host/core/home.h"
#include "host/core/plugin.h"

namespace vxh {

namespace {

// Buffers kept for reuse: a render takes and gives back the same few every
// field (two input images and an output), and reused buffers need no fresh
// pages.
constexpr size_t kSpares = 3;

std::vector<uint32_t> takeSpareBuffer(Host &host, size_t count)
{
    for (std::vector<uint32_t> &spare : host.spareBuffers)
        if (spare.size() == count) {
            std::vector<uint32_t> pixels = std::move(spare);
            std::swap(spare, host.spareBuffers.back());
            host.spareBuffers.pop_back();
            return pixels;
        }
    return std::vector<uint32_t>(count);
}

void giveSpareBuffer(Host &host, std::vector<uint32_t> &&pixels)
{
    if (host.spareBuffers.size() < kSpares && !pixels.empty())
        host.spareBuffers.push_back(std::move(pixels));
}

} // namespace

HostImage *newImage(Host &host, int w, int h, bool markVisible)
{
    if (w < 0 || h < 0 || w > 32767 || h > 32767)
        return nullptr;
    int stride = host.padLeft + w + host.padRight;
    if (stride > 32767)
        return nullptr;
    size_t count = (size_t)stride * (size_t)(host.padTop + h);
    auto *image = new (std::nothrow) HostImage{};
    if (!image)
        return nullptr;
    std::vector<uint32_t> buffer;
    try {
        buffer = takeSpareBuffer(host, count ? count : 1);
    } catch (const std::bad_alloc &) {
        delete image;
        return nullptr;
    }
    image->pixels = buffer.data();
    // Padding holds a marker so a copy that strays into it shows.
    const auto mark = [&](size_t from, size_t to) {
        std::fill(image->pixels + from, image->pixels + to, 0xDEADBEEFu);
    };
    if (markVisible) {
        mark(0, count);
    } else {
        mark(0, (size_t)stride * host.padTop);
        for (int y = 0; y < h; ++y) {
            const size_t row = (size_t)stride * (size_t)(host.padTop + y);
            mark(row, row + host.padLeft);
            mark(row + host.padLeft + w, row + stride);
        }
    }
    image->stride = (int16_t)stride;
    image->xOffset = (int16_t)host.padLeft;
    image->yOffset = (int16_t)host.padTop;
    image->width = (int16_t)w;
    image->height = (int16_t)h;
    host.liveImages.emplace(image, std::move(buffer));
    return image;
}

void deleteImage(Host &host, HostImage *image)
{
    if (!image)
        return;
    const auto live = host.liveImages.find(image);
    if (live == host.liveImages.end()) {
        ++host.badImageReturns;
        return;
    }
    giveSpareBuffer(host, std::move(live->second));
    host.liveImages.erase(live);
    delete image;
}

void recycleOutputs(Host &host)
{
    for (Picture &pic : host.outputs)
        giveSpareBuffer(host, std::move(pic.pixels));
    host.outputs.clear();
}

namespace {

void copyVisible(const HostImage *image, Picture &pic)
{
    pic.width = image->width;
    pic.height = image->height;
    pic.pixels.resize((size_t)pic.width * pic.height);
    for (int y = 0; y < pic.height; ++y)
        memcpy(&pic.pixels[(size_t)y * pic.width],
               image->pixels + (size_t)(y + image->yOffset) * image->stride + image->xOffset,
               (size_t)pic.width * 4);
}

} // namespace

Picture visiblePicture(const HostImage *image)
{
    Picture pic;
    copyVisible(image, pic);
    return pic;
}

namespace {

HostImage *serveField(void *h, int input, uint32_t field)
{
    Host &host = *(Host *)h;
    ++host.fieldRequests;
    Picture &pic = host.fieldScratch;
    // No exception crosses into the plug-in: a field that cannot be had is null.
    try {
        if (host.fieldImage)
            return host.fieldImage(input, field);
        if (!host.fieldSource || !host.fieldSource(input, field, pic))
            return nullptr;
    } catch (const std::exception &) {
        return nullptr;
    }
    HostImage *image = newImage(host, pic.width, pic.height, false);
    if (!image)
        return nullptr;
    for (int y = 0; y < pic.height; ++y)
        memcpy(image->pixels + (size_t)(y + image->yOffset) * image->stride + image->xOffset,
               &pic.pixels[(size_t)y * pic.width], (size_t)pic.width * 4);
    return image;
}

int takeField(void *h, HostImage *image)
{
    Host &host = *(Host *)h;
    const auto live = image ? host.liveImages.find(image) : host.liveImages.end();
    if (live == host.liveImages.end()) {
        ++host.badImageReturns;
        return -1;
    }
    try {
        Picture pic;
        if (image->xOffset == 0 && image->yOffset == 0 && image->stride == image->width &&
            live->second.size() == (size_t)image->width * (size_t)image->height) {
            // Unpadded: the image's buffer becomes the picture, no copy.
            pic.width = image->width;
            pic.height = image->height;
            pic.pixels = std::move(live->second);
            host.liveImages.erase(live);
            delete image;
            host.outputs.push_back(std::move(pic));
            return 0;
        }
        pic.pixels = takeSpareBuffer(host, (size_t)image->width * (size_t)image->height);
        copyVisible(image, pic);
        host.outputs.push_back(std::move(pic));
    } catch (const std::exception &) {
        deleteImage(host, image);
        return -1;
    }
    deleteImage(host, image);
    return 0;
}

HostImage *allocProjectImage(void *h, int, int, int, int)
{
    Host &host = *(Host *)h;
    if (!host.projectKnown)
        return nullptr;
    return newImage(host, host.projectWidth, host.projectHeight / 2);
}

void releaseImage(void *h, HostImage *image)
{
    deleteImage(*(Host *)h, image);
}

int pollAbort(void *h)
{
    ++((Host *)h)->abortPolls;
    return 0;
}

int runPreview(void *h, int mode)
{
    Host &host = *(Host *)h;
    return host.preview ? host.preview(mode) : 0;
}

const char *instanceName(void *h, uint32_t instance, const char *dir)
{
    Host &host = *(Host *)h;
    auto it = host.instanceNames.find(instance);
    if (it == host.instanceNames.end())
        return nullptr;
    std::string &slot = host.nameStorage[instance];
    slot = it->second.find('/') != std::string::npos ? it->second : std::string(dir) + it->second;
    return slot.c_str();
}

int changeGadget(void *h, int index, int value)
{
    Host &host = *(Host *)h;
    host.gadgetChanges.emplace_back(index, value);
    GadgetDesc *gadget = findGadget(host.tags, index);
    if (!gadget)
        return -1;
    setGadgetValue(gadget, value);
    return 0;
}

// The next answer: from the queue, or typed on a terminal when allowed.
bool nextReply(Host &host, const std::string &question, std::string &answer)
{
    if (!host.replies.empty()) {
        answer = host.replies.front();
        host.replies.pop_front();
        return true;
    }
    if (host.askOnTerminal && isatty(0)) {
        std::cerr << question << ": " << std::flush;
        return bool(std::getline(std::cin, answer));
    }
    return false;
}

int textRequest(void *h, TextRequest *request)
{
    Host &host = *(Host *)h;
    host.requests.push_back(std::string("text:") + (request->text ? request->text : ""));
    if (host.replies.empty() && host.askText) {
        const int buttons = request->kind == 67 ? 2 : 1;
        request->result = host.askText(request->text ? request->text : "", buttons) == 1;
        return 0;
    }
    std::string answer;
    request->result = nextReply(host, "1 or 2", answer) && answer == "2" ? 0 : 1;
    return 0;
}

int archivesRequest(void *h, ArchivesRequest *request)
{
    Host &host = *(Host *)h;
    host.requests.push_back(std::string("archives:") + (request->title ? request->title : ""));
    std::string answer;
    if (!nextReply(host, "load, save, delete or cancel", answer))
        return -1;
    request->result = answer == "load"     ? ARCHIVES_LOAD
                      : answer == "save"   ? ARCHIVES_SAVE
                      : answer == "delete" ? ARCHIVES_DELETE
                                           : 0;
    return 0;
}

int fileRequest(void *h, FileRequest *request)
{
    Host &host = *(Host *)h;
    host.requests.push_back(std::string("file:") + (request->title ? request->title : ""));
    request->result = 0;
    std::string answer;
    const bool typed = host.replies.empty();
    if (!nextReply(host, "file name or cancel", answer))
        return -1;
    if (answer == "cancel" || answer.empty())
        return 0;
    // A typed answer names a file in the requester's directory, nothing else
    // (queued answers are checked by their maker: vxhost render refuses them).
    if (typed &&
        (answer.find('/') != std::string::npos || answer.find("..") != std::string::npos)) {
        std::cerr << "vxhost: '" << answer << "' is not a plain file name: cancelled\n";
        return 0;
    }
    if (!request->pathBuffer || !request->nameBuffer || request->pathSize <= 0 ||
        request->nameSize <= 0)
        return -1;
    std::string path =
        driveRootPath(std::string(request->directory ? request->directory : "") + answer);
    if (answer.size() + 1 > (size_t)request->nameSize ||
        path.size() + 1 > (size_t)request->pathSize)
        return -1;
    memcpy(request->nameBuffer, answer.c_str(), answer.size() + 1);
    memcpy(request->pathBuffer, path.c_str(), path.size() + 1);
    request->result = 1;
    return 0;
}

void observeJournal(void *h, const char *line)
{
    ((Host *)h)->journal.emplace_back(line);
}

} // namespace

VxHostServices hostServices(Host &host)
{
    VxHostServices s = {};
    s.host = &host;
    s.getField = serveField;
    s.putField = takeField;
    s.allocImage = allocProjectImage;
    s.freeImage = releaseImage;
    s.chkAbort = pollAbort;
    s.preview = runPreview;
    s.customPrefsName = instanceName;
    s.changeGadget = changeGadget;
    s.textRequest = textRequest;
    s.fileRequest = fileRequest;
    s.archivesRequest = archivesRequest;
    s.journal = observeJournal;
    return s;
}

void installHost(Host *host)
{
    if (!host) {
        vxInstallHostServices(nullptr);
        return;
    }
    const VxHostServices s = hostServices(*host);
    vxInstallHostServices(&s);
}

} // namespace vxh
