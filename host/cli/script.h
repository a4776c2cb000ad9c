// Edit scripts (`vxhost edit --script`): one user action a line, played on
// the stand-in screen.
#ifndef VXH_SCRIPT_H
#define VXH_SCRIPT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/gui/screen.h"

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
// The largest script read, in bytes.
inline constexpr size_t kScriptLimit = 4 << 20;
// Reads and parses the script file at path (at most kScriptLimit bytes).
bool readScript(const std::string &path, std::vector<ScriptEvent> &events, std::string &err);

// The index of the live gadget a script name stands for, or -1.
int gadgetByName(const Screen &screen, const std::string &name);

// Feeds one event to the screen (a screenshot is saved at once); false
// with a message when it cannot be carried out.
bool playEvent(Screen &screen, const ScriptEvent &event, std::string &err);

// Saves the screen as an RGB PNG.
bool saveScreen(const Screen &s, const std::string &path, std::string &err);

} // namespace vxh

#endif
