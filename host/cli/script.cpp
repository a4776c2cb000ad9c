// Edit scripts: one user action a line, played on the stand-in screen.
#include "host/cli/script.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "host/cli/numbers.h"
#include "host/cli/run.h"
#include "host/io/png.h"

namespace vxh {

namespace {

bool parseInt32(const std::string &text, int32_t &value)
{
    long long v;
    if (!parseScriptNumber(text, v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool parseCode(const std::string &text, uint32_t &code)
{
    long long v;
    if (!parseScriptNumber(text, v) || v < 0 || v > UINT32_MAX)
        return false;
    code = static_cast<uint32_t>(v);
    return true;
}

bool parseCoordinate(const std::string &text, int &value)
{
    long long v;
    if (!parseScriptNumber(text, v) || v < -32768 || v > 32767)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool validName(const std::string &name)
{
    size_t colon = name.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string kind = name.substr(0, colon), id = name.substr(colon + 1);
    uint32_t code;
    return (kind == "str" || kind == "img" || kind == "host" || kind == "key") &&
           parseCode(id, code);
}

const char *usageOf(ScriptEvent::Kind kind)
{
    static const char *forms[] = {"click X Y [left|right]",
                                  "press X Y [left|right]",
                                  "move X Y",
                                  "release X Y [left|right]",
                                  "key CODE",
                                  "gadget NAME VALUE",
                                  "set NAME VALUE",
                                  "screenshot FILE.png",
                                  "close",
                                  "wait MS"};
    return forms[kind];
}

bool parseLine(const std::vector<std::string> &w, ScriptEvent &e)
{
    switch (e.kind) {
    case ScriptEvent::CLICK:
    case ScriptEvent::PRESS:
    case ScriptEvent::RELEASE:
        if (w.size() == 4)
            e.button = w[3] == "left" ? 0 : w[3] == "right" ? 1 : -1;
        return (w.size() == 3 || w.size() == 4) && e.button >= 0 && parseCoordinate(w[1], e.x) &&
               parseCoordinate(w[2], e.y);
    case ScriptEvent::MOVE:
        return w.size() == 3 && parseCoordinate(w[1], e.x) && parseCoordinate(w[2], e.y);
    case ScriptEvent::KEY:
        return w.size() == 2 && parseCode(w[1], e.code);
    case ScriptEvent::GADGET:
    case ScriptEvent::SET:
        e.name = w.size() == 3 ? w[1] : "";
        return w.size() == 3 && validName(w[1]) && parseInt32(w[2], e.value);
    case ScriptEvent::SCREENSHOT:
        e.file = w.size() == 2 ? w[1] : "";
        return w.size() == 2;
    case ScriptEvent::CLOSE:
        return w.size() == 1;
    case ScriptEvent::WAIT:
        return w.size() == 2 && parseInt32(w[1], e.value) && e.value >= 0 && e.value <= 60000;
    }
    return false;
}

} // namespace

bool readScript(const std::string &path, std::vector<ScriptEvent> &events, std::string &err)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err = path + ": cannot open the script";
        return false;
    }
    // Read in chunks up to one byte past the limit: a device or a runaway
    // file is refused rather than read until memory runs out, and a short
    // script costs only its own size.
    std::string text;
    char chunk[65536];
    while (text.size() <= kScriptLimit && in) {
        in.read(chunk, sizeof chunk);
        text.append(chunk, (size_t)in.gcount());
    }
    if (text.size() > kScriptLimit) {
        err = path + ": the script is larger than " + std::to_string(kScriptLimit >> 20) +
              " MiB (a script holds one action a line)";
        return false;
    }
    return parseScript(text, path, events, err);
}

bool parseScript(const std::string &text, const std::string &file, std::vector<ScriptEvent> &events,
                 std::string &err)
{
    static const std::pair<const char *, ScriptEvent::Kind> kinds[] = {
        {"click", ScriptEvent::CLICK}, {"press", ScriptEvent::PRESS},
        {"move", ScriptEvent::MOVE},   {"release", ScriptEvent::RELEASE},
        {"key", ScriptEvent::KEY},     {"gadget", ScriptEvent::GADGET},
        {"set", ScriptEvent::SET},     {"screenshot", ScriptEvent::SCREENSHOT},
        {"close", ScriptEvent::CLOSE}, {"wait", ScriptEvent::WAIT}};
    std::istringstream in(text);
    std::string line;
    std::vector<ScriptEvent> out;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty() || w[0][0] == '#')
            continue;
        ScriptEvent e;
        e.line = number;
        bool known = false;
        for (const auto &[word, kind] : kinds)
            if (w[0] == word) {
                e.kind = kind;
                known = true;
            }
        if (!known || !parseLine(w, e)) {
            err = file + ":" + std::to_string(number) + ": " +
                  (known ? std::string("expected '") + usageOf(e.kind) + "'"
                         : "unknown event '" + w[0] + "'") +
                  ", got '" + line + "'";
            return false;
        }
        out.push_back(e);
    }
    events = std::move(out);
    return true;
}

int gadgetByName(const Screen &s, const std::string &name)
{
    const size_t colon = name.find(':');
    uint32_t id;
    if (colon == std::string::npos || !parseCode(name.substr(colon + 1), id))
        return -1;
    const std::string kind = name.substr(0, colon);
    if (kind == "key")
        return gadgetWithKey(s, id);
    for (size_t i = 0; i < s.gadgets.size(); ++i) {
        const Gadget &g = s.gadgets[i];
        if (g.removed)
            continue;
        const bool match =
            kind == "str" ? g.textId == static_cast<int>(id)
                          : g.imageId == static_cast<int>(id) && g.imageTable == (kind == "host");
        if (match)
            return static_cast<int>(i);
    }
    return -1;
}

bool playEvent(Screen &s, const ScriptEvent &e, std::string &err)
{
    switch (e.kind) {
    case ScriptEvent::CLICK:
        pressMouse(s, e.x, e.y, e.button);
        releaseMouse(s, e.x, e.y, e.button);
        return true;
    case ScriptEvent::PRESS:
        pressMouse(s, e.x, e.y, e.button);
        return true;
    case ScriptEvent::MOVE:
        moveMouse(s, e.x, e.y);
        return true;
    case ScriptEvent::RELEASE:
        releaseMouse(s, e.x, e.y, e.button);
        return true;
    case ScriptEvent::KEY:
        pressKey(s, e.code);
        return true;
    case ScriptEvent::GADGET:
    case ScriptEvent::SET: {
        const int index = gadgetByName(s, e.name);
        if (index < 0) {
            err = "line " + std::to_string(e.line) + ": no gadget " + e.name + " on the screen";
            return false;
        }
        if (!s.gadgets[index].enabled) {
            err = "line " + std::to_string(e.line) + ": gadget " + e.name + " is disabled";
            return false;
        }
        useGadget(s, index, e.value, e.kind == ScriptEvent::GADGET);
        return true;
    }
    case ScriptEvent::SCREENSHOT:
        return saveScreen(s, e.file, err);
    case ScriptEvent::CLOSE:
        closeScreen(s);
        s.closedByUser = true;
        return true;
    case ScriptEvent::WAIT:
        // The screen stays as it is, in a window for a person or a screen grab to see.
        // In steps, so that a signal ends the wait (and the session) at once.
        for (int32_t left = e.value; left > 0 && !interruptSignal; left -= 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int32_t>(left, 10)));
        return true;
    }
    return false;
}

bool saveScreen(const Screen &s, const std::string &path, std::string &err)
{
    if (!screenReady(s)) {
        err = path + ": the screen has no pixels";
        return false;
    }
    return writePngRgb(path, s.width, s.height, s.rgb.data(), err);
}

} // namespace vxh
