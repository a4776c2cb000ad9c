// The session driver: how a host drives one operator instance, the same
// for every host path (vxhost render and edit, the editor's preview, the
// frei0r adapter). A session binds its host's services for the calling
// thread, then runs the actions a host runs: install, the gadget uses,
// set-up, one render per output field (each output checked, the fields
// woven into frames through the field planner and delivered in order),
// tear-down. Failures come back as the messages users see.
//
// The steps can be taken one by one, also nested: the editor's preview runs
// set-up, renders and tear-down of the same instance inside the running
// gadget action.
#ifndef VXH_SESSION_H
#define VXH_SESSION_H

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/core/fields.h"
#include "host/core/host.h"
#include "host/core/plugin.h"
#include "host/core/stopflag.h"
#include "platform/services.h"

namespace vxh {

// One use of a host-side gadget: its value written first when it has one.
struct GadgetUse {
    int index = 0;
    bool hasValue = false;
    int value = 0;
    // As typed: a gadget index or label, and a number or popup entry text;
    // resolved against the descriptor before the session runs.
    std::string target, setting;
};

// Frame k of input 0 or 1 in host pixels at the plan's frame size (past the
// end: the last frame); null with a message when it cannot be had.
using FrameSource = std::function<const uint32_t *(int input, long frame, std::string &err)>;
// A frame woven from the output fields, at the plan's frame size, in order;
// false with a message stops the render. The sink may keep the buffer by
// swapping another (of any size) into its place.
using FrameSink = std::function<bool(std::vector<uint32_t> &frame, std::string &err)>;

struct Session {
    OperatorEntry entry;
    Host *host = nullptr;
    // Bound to the calling thread while the session runs; left empty, the
    // host's own entries (hostServices) without a GUI.
    VxHostServices services = {};
    uint32_t instance = 1;
    uint32_t fieldCount = 0; // the clip's fields, as every action record says
    FieldPlan plan;
    FrameSource frames;
    // Each journal line the operator writes, as it comes (may be unset).
    std::function<void(const std::string &line)> onJournal;
    // After each field rendered and delivered: done and total of the run.
    std::function<void(long done, long total)> onProgress;
    // A signal number, non-zero when the run is to stop; polled before each
    // field and after a failed read or write.
    const StopFlag *stopSignal = nullptr;

    // Kept from call to call.
    size_t journalSeen = 0;
    int inputFailures = 0;
    std::string inputError;
    Picture first; // the first field of the frame being woven
    std::vector<uint32_t> woven;
};

// Binds the session's services for the calling thread and serves its host's
// fields from `frames` through the plan; the thread's previous binding comes
// back when it goes.
struct SessionBinding {
    explicit SessionBinding(Session &session);
    ~SessionBinding();
    SessionBinding(const SessionBinding &) = delete;
    SessionBinding &operator=(const SessionBinding &) = delete;
    const VxHostServices *previous = nullptr;
};

// One action of the instance; its result.
int callAction(Session &s, uint16_t action, uint16_t gadget = 0, uint32_t field = 0,
               uint8_t flags = 0);
void installOperator(Session &s);
// Writes each use's value into its gadget record, then uses the gadget.
void useGadgets(Session &s, const std::vector<GadgetUse> &uses);
// Set-up. A failed one is torn down at once; false with "set-up failed (the
// last journal line)".
bool setUpOperator(Session &s, std::string &err);
// Renders output fields begin..end-1 (the first with firstFlags) and
// delivers the woven frames; an odd last field is woven with itself. A
// progressive plan renders every second field from begin, each a frame. 0
// done; 1 the operator failed a field (err names it and the last journal
// line); 2 an input or the sink failed (err says why); 128 + the stop
// signal.
int renderFields(Session &s, long begin, long end, uint8_t firstFlags, const FrameSink &deliver,
                 std::string &err);
void tearDownOperator(Session &s);
// A whole run: binding, install, gadget uses, set-up, renders of
// begin..end-1, tear-down. The code of renderFields; 1 when set-up failed.
int runSession(Session &s, const std::vector<GadgetUse> &uses, long begin, long end,
               uint8_t firstFlags, const FrameSink &deliver, std::string &err);

// The last journal line of a host, or "no journal line".
std::string lastJournalLine(const Host &host);

} // namespace vxh

#endif
