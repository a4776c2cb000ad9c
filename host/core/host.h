// The host record: what a host keeps per session (fields, instance names,
// gadget values, requester answers, output fields) and the services table
// through which it serves the host libraries. It holds no GUI: the gui layer
// keeps its screen beside it (host/gui/gui.h).
#ifndef VXH_HOST_H
#define VXH_HOST_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/core/pixels.h"
#include "operator/host/records.h"
#include "platform/services.h"

namespace vxh {

struct Host {
    // Input fields: fills pic with field `field` of input `input`; false when
    // the host has none (opGetField then answers null).
    std::function<bool(int input, uint32_t field, Picture &pic)> fieldSource;
    // Or, when set, makes the image of that field itself (null when it has
    // none): a session cuts the field straight from the frame into it.
    std::function<HostImage *(int input, uint32_t field)> fieldImage;
    // Layout of the images handed out, to exercise stride and offsets.
    int padLeft = 0, padTop = 0, padRight = 0;
    // Project frame size; opAllocImage(0,0,1,0) gives one field of it.
    int projectWidth = 720, projectHeight = 576;
    bool projectKnown = true;
    // Instance names; an instance without one gets no file name. A name
    // with a '/' is the file's path as it is, not a name in the directory.
    std::map<uint32_t, std::string> instanceNames;
    // Answers for requesters, taken in order ("load", "save", "delete",
    // "cancel", a file name, "1"/"2" for text requests).
    std::deque<std::string> replies;
    bool askOnTerminal = false;
    // Asks a text requester's question where a person sees it (1 for the
    // first button, 0 for the other); unset: the queued replies answer.
    std::function<int(const std::string &text, int buttons)> askText;
    // The running plug-in's descriptor, for opChangeGadget.
    const OpTagItem *tags = nullptr;
    // Called for opPreview (the editor's preview); returns its result.
    std::function<int(int)> preview;
    // The gui layer's record of this host, for the GUI entries of the
    // services table (host/gui/gui.h); null without a screen.
    void *gui = nullptr;

    // What the session saw.
    std::vector<Picture> outputs;                   // opPutField images, in order
    std::vector<std::pair<int, int>> gadgetChanges; // opChangeGadget(index, value)
    std::vector<std::string> journal;               // journal lines
    std::vector<std::string> requests;              // requesters shown, by kind and title
    int abortPolls = 0;
    int fieldRequests = 0;
    int badImageReturns = 0; // images returned that the host never gave
    // Images handed out and not yet returned, with the buffers they own.
    std::map<HostImage *, std::vector<uint32_t>> liveImages;
    Picture fieldScratch; // each served field passes through it; kept, so not cleared every time
    // Buffers of images and output pictures done with, a few kept for the
    // next ones of their size.
    std::vector<std::vector<uint32_t>> spareBuffers;

    // Storage for names handed to the plug-in (stable while the host lives).
    std::map<uint32_t, std::string> nameStorage;
};

// The services table of this host: every entry but the GUI ones.
VxHostServices hostServices(Host &host);
// Makes this host the one the host libraries serve in the whole process
// (threads without a binding of their own); null uninstalls.
void installHost(Host *host);

// Creates a host image of w x h visible pixels in the host's layout. Its
// padding holds a marker, and so does the visible area unless the caller
// fills it at once (markVisible false).
HostImage *newImage(Host &host, int w, int h, bool markVisible = true);
void deleteImage(Host &host, HostImage *image);
// Copies the visible area of an image into a picture.
Picture visiblePicture(const HostImage *image);
// Moves the pictures of host.outputs to the spares (a few at most) and
// empties it.
void recycleOutputs(Host &host);

} // namespace vxh

#endif
