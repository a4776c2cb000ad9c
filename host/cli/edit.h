// `vxhost edit PLUGIN [options]`: opens a plug-in's editor on the stand-in
// screen, fed by a script, a window, or nothing (closed at once).
#ifndef VXH_EDIT_H
#define VXH_EDIT_H

#include <string>
#include <vector>

#include "host/clipio.h"
#include "host/hostcore.h"
#include "host/render.h"

namespace vxh {

// One line of an edit script.
struct ScriptEvent {
    enum Kind {
        CLICK,
        PRESS,
        MOVE,
        RELEASE,
        KEY,
        GADGET,
        SET,
        SCREENSHOT,
        CLOSE,
        WAIT
    } kind = CLOSE;
    int line = 0;
    int x = 0, y = 0, button = 0; // button 0 left, 1 right
    uint32_t code = 0;            // key
    std::string name;             // gadget: str:ID, img:ID, host:ID or key:CODE
    int32_t value = 0;            // gadget value; milliseconds of a wait
    std::string file;             // screenshot
};

// Parses a whole script; false with "FILE:LINE: ..." for the first bad line.
bool parseScript(const std::string &text, const std::string &file, std::vector<ScriptEvent> &events,
                 std::string &err);

// The index of the live gadget a script name stands for, or -1.
int gadgetByName(const Screen &screen, const std::string &name);

// Feeds one event to the screen (a screenshot is saved at once); false
// with a message when it cannot be carried out.
bool playEvent(Screen &screen, const ScriptEvent &event, std::string &err);

// A host preview: set-up, a render of every field and tear-down of the
// same plug-in, nested in the running action. Woven frames go to out.
int runPreview(const Plugin &plugin, Host &host, uint32_t fields, uint32_t instance,
               const FieldPlan &plan, Clip &out);

// `vxhost edit` with the arguments after "edit"; the exit code.
int runEdit(const std::vector<std::string> &args);

} // namespace vxh

#endif
