// The stand-in host: loads plug-ins, serves the host libraries through one
// services table, and keeps what a real host keeps per session (fields,
// instance names, gadget values, requester answers, output fields).
#ifndef VXH_HOSTCORE_H
#define VXH_HOSTCORE_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/screen.h"
#include "operator/host/records.h"

namespace vxh {

struct Plugin {
    void *handle = nullptr;
    GetOperatorInfoFn getInfo = nullptr;
    OperatorActionFn action = nullptr;
    std::string path;
};

// dlopen()s a plug-in and finds both entry points; false with a one-line
// message when the file is not a loadable library or lacks an export.
bool loadPlugin(const std::string &path, Plugin &plugin, std::string &err);
void unloadPlugin(Plugin &plugin);

// Looks a tag up in a descriptor; false when absent.
bool findTag(const OpTagItem *tags, uint32_t tag, uintptr_t &value);
// The gadget record of gadget index (0..3), or null.
GadgetDesc *findGadget(const OpTagItem *tags, int index);
// Writes a value into a gadget record (popup entry or slider value).
void setGadgetValue(GadgetDesc *gadget, int value);

// A picture served as an input field.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

struct Host {
    // Input fields: fills pic with field `field` of input `input`; false when
    // the host has none (opGetField then answers null).
    std::function<bool(int input, uint32_t field, Picture &pic)> fieldSource;
    // Layout of the images handed out, to exercise stride and offsets.
    int padLeft = 0, padTop = 0, padRight = 0;
    // Project frame size; opAllocImage(0,0,1,0) gives one field of it.
    int projectWidth = 720, projectHeight = 576;
    bool projectKnown = true;
    // Instance names; an instance without one gets no file name.
    std::map<uint32_t, std::string> instanceNames;
    // Answers for requesters, taken in order ("load", "save", "delete",
    // "cancel", a file name, "1"/"2" for text requests).
    std::deque<std::string> replies;
    bool askOnTerminal = false;
    // The running plug-in's descriptor, for opChangeGadget.
    const OpTagItem *tags = nullptr;
    // Called for opPreview (the editor's preview); returns its result.
    std::function<int(int)> preview;
    // The screen the editor draws on and takes its messages from.
    Screen screen;

    // What the session saw.
    std::vector<Picture> outputs;                   // opPutField images, in order
    std::vector<std::pair<int, int>> gadgetChanges; // opChangeGadget(index, value)
    std::vector<std::string> journal;               // journal lines
    std::vector<std::string> requests;              // requesters shown, by kind and title
    int abortPolls = 0;
    int fieldRequests = 0;
    int badImageReturns = 0;          // images returned that the host never gave
    std::set<HostImage *> liveImages; // handed out, not yet returned
    Picture fieldScratch; // each served field passes through it; kept, so not cleared every time

    // Storage for names handed to the plug-in (stable while the host lives).
    std::map<uint32_t, std::string> nameStorage;
};

// Makes this host the one the host libraries serve; null uninstalls.
void installHost(Host *host);

// Creates a host image of w x h visible pixels in the host's layout. Its
// padding holds a marker, and so does the visible area unless the caller
// fills it at once (markVisible false).
HostImage *newImage(Host &host, int w, int h, bool markVisible = true);
void deleteImage(Host &host, HostImage *image);
// Copies the visible area of an image into a picture.
Picture visiblePicture(const HostImage *image);

// Resolves a drive-rooted path ("/programs/...") below $VXHOME.
std::string driveRootPath(const std::string &path);

} // namespace vxh

#endif
