#include "host/edit.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "host/info.h"
#include "host/instance.h"
#include "host/render.h"
#include "host/window.h"

namespace vxh {

namespace {

bool parseNumber(const std::string &text, long long &value)
{
    if (text.empty())
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char *end = nullptr;
    errno = 0;
    value = strtoll(text.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && end && *end == '\0';
}

bool parseInt32(const std::string &text, int32_t &value)
{
    long long v;
    if (!parseNumber(text, v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool parseCode(const std::string &text, uint32_t &code)
{
    long long v;
    if (!parseNumber(text, v) || v < 0 || v > UINT32_MAX)
        return false;
    code = static_cast<uint32_t>(v);
    return true;
}

bool parseCoordinate(const std::string &text, int &value)
{
    long long v;
    if (!parseNumber(text, v) || v < -32768 || v > 32767)
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

// Field f of a clip: frame f/2 (the last frame repeats past the end), split
// as render splits it.
void fieldOf(const Clip &clip, const FieldPlan &plan, uint32_t field, Picture &pic)
{
    const size_t frame = std::min<size_t>(field / 2, clip.frames.size() - 1);
    extractField(plan, clip.frames[frame].data(), field, pic);
}

bool readInputs(const RenderOptions &o, Clip &in0, Clip &in1, std::string &err)
{
    if (!o.input0.empty()) {
        if (!readClip(o.input0, in0, err))
            return false;
    } else {
        in0 = makeSampleClip(0);
    }
    if (!o.input1.empty()) {
        if (!readClip(o.input1, in1, err))
            return false;
    } else {
        in1 = makeSampleClip(1, in0.width, in0.height, static_cast<int>(in0.frames.size()));
    }
    if (in0.height < 2 || in0.width < 1 || in0.frames.empty()) {
        err = "input 0 is too small to split into fields";
        return false;
    }
    if (in1.width != in0.width || in1.height != in0.height || in1.frames.empty()) {
        err = "both inputs must have one size";
        return false;
    }
    return true;
}

long long modifiedTime(const std::string &path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

struct EditOptions {
    RenderOptions render;
    std::string script, screenshot, layout, previewOut;
    int width = 1024, height = 768, guiMode = 3;
    bool window = false;
};

// Takes the edit options out of args; the rest are render's.
bool parseEditArgs(const std::vector<std::string> &args, EditOptions &o, std::string &err)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const bool takes = a == "--script" || a == "--screenshot" || a == "--dump-layout" ||
                           a == "--screen" || a == "--preview-out" || a == "--gui-mode";
        if (a == "-o" || a == "--output") {
            err = "edit writes no clip: " + a + " is for render";
            return false;
        }
        if (a == "--window") {
            o.window = true;
            continue;
        }
        if (!takes) {
            rest.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) {
            err = a + " needs a value";
            return false;
        }
        const std::string &v = args[++i];
        if (a == "--script")
            o.script = v;
        else if (a == "--screenshot")
            o.screenshot = v;
        else if (a == "--dump-layout")
            o.layout = v;
        else if (a == "--preview-out")
            o.previewOut = v;
        else if (a == "--gui-mode") {
            int32_t mode;
            if (!parseInt32(v, mode) || mode < 0 || mode > 3) {
                err = "--gui-mode takes 0..3, not '" + v + "'";
                return false;
            }
            o.guiMode = mode;
        } else {
            Screen probe;
            if (sscanf(v.c_str(), "%dx%d", &o.width, &o.height) != 2 ||
                v != std::to_string(o.width) + "x" + std::to_string(o.height) ||
                !initScreen(probe, o.width, o.height)) {
                err = "--screen takes WxH from 64x64 to 8192x8192, not '" + v + "'";
                return false;
            }
        }
    }
    // Render's parser checks the input, --fields and --effect options; the
    // editor writes no clip, so a placeholder output satisfies it.
    rest.push_back("-o");
    rest.push_back("unused.y4m");
    if (!parseRenderArgs(rest, o.render, err))
        return false;
    if (o.render.progressive) {
        err = "the editor works on two fields a frame: --progressive is for render";
        return false;
    }
    if (!o.render.gadgets.empty()) {
        err = "edit opens the editor itself: --gadget and --press are for render";
        return false;
    }
    return true;
}

bool readScript(const std::string &path, std::vector<ScriptEvent> &events, std::string &err)
{
    std::ifstream in(path);
    if (!in) {
        err = path + ": cannot open the script";
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return parseScript(text.str(), path, events, err);
}

bool writeText(const std::string &path, const std::string &text, std::string &err)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        err = path + ": cannot write";
        return false;
    }
    return true;
}

} // namespace

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
        return true;
    case ScriptEvent::WAIT:
        // The screen stays as it is, in a window for a person or a screen grab to see.
        std::this_thread::sleep_for(std::chrono::milliseconds(e.value));
        return true;
    }
    return false;
}

int runPreview(const Plugin &plugin, Host &host, uint32_t fields, uint32_t instance,
               const FieldPlan &plan, Clip &out)
{
    auto act = [&](uint16_t action, uint32_t field) {
        ActionRecord record = {action, 0, {0, 0, 0, 0}, fields, field, instance};
        return plugin.action(&record);
    };
    out = Clip{};
    out.width = plan.width;
    out.height = plan.height;
    if (act(ACTION_SETUP, 0) != 0) {
        act(ACTION_TEARDOWN, 0);
        return -1;
    }
    Picture first;
    int result = 0;
    for (uint32_t f = 0; f < fields; ++f) {
        host.outputs.clear();
        if (act(ACTION_RENDER, f) != 0 || host.outputs.size() != 1 ||
            host.outputs[0].width != plan.fieldWidth ||
            host.outputs[0].height != plan.fieldHeight) {
            result = -1;
            break;
        }
        if ((f & 1) == 0) {
            first = host.outputs[0];
            if (f + 1 < fields)
                continue;
        }
        std::vector<uint32_t> frame;
        weaveFrame(plan, first, (f & 1) ? host.outputs[0] : first, frame);
        out.frames.push_back(std::move(frame));
    }
    host.outputs.clear();
    act(ACTION_TEARDOWN, 0);
    return result;
}

int runEdit(const std::vector<std::string> &args)
{
    EditOptions o;
    std::string err;
    std::vector<ScriptEvent> events;
    if (!parseEditArgs(args, o, err) || (!o.script.empty() && !readScript(o.script, events, err))) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    Clip in0, in1;
    if (!ensureHome(err) || !readInputs(o.render, in0, in1, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    long fieldCount =
        o.render.fields > 0 ? o.render.fields : static_cast<long>(in0.frames.size()) * 2;
    if (o.render.fields < 0 && in0.frames.size() == 1)
        fieldCount = 50; // a still is a clip of 25 frames
    Plugin plugin;
    if (!loadPlugin(o.render.plugin, plugin, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    Host host;
    host.askOnTerminal = !o.window && o.script.empty();
    host.tags = plugin.getInfo();
    if (!checkDescriptor(plugin, host.tags, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        unloadPlugin(plugin);
        return 2;
    }
    const std::string name = o.render.effect.empty() ? "untitled" : o.render.effect;
    // The effect file the plug-in is given.
    const std::string effectPath = driveRootPath("/programs/vorlux/" + name);
    // Fields as render makes them, so that the effect fits its renders.
    const FieldPlan plan =
        planFields(in0.width, in0.height, false,
                   o.render.order == FieldOrder::BottomFirst ||
                       (o.render.order == FieldOrder::FromInput && in0.interlace == 'b'));
    // The editor's picture buffers have the project's size and take input
    // 0's fields: another size would leave every picture black.
    if (o.render.projectWidth && (o.render.projectWidth != plan.width ||
                                  (o.render.projectHeight + 1) / 2 != plan.fieldHeight)) {
        fprintf(stderr, "vxhost: --project %dx%d: the editor edits input 0's frames of %dx%d\n",
                o.render.projectWidth, o.render.projectHeight, plan.width, plan.height);
        unloadPlugin(plugin);
        return 2;
    }
    host.projectWidth = plan.width;
    host.projectHeight = 2 * plan.fieldHeight;
    // Leaving writes the effect file: one that does not load for these
    // fields would be replaced by the default effect, so it is opened only
    // when asked.
    std::string fault;
    if (usesEffectFile(host.tags) &&
        inspectEffectFile(effectPath, host.projectWidth, host.projectHeight / 2, fault) ==
            EffectFileState::UNUSABLE) {
        fprintf(stderr, "vxhost: effect '%s' (%s) %s\n", name.c_str(), effectPath.c_str(),
                fault.c_str());
        if (!o.render.allowDefaultEffect) {
            fprintf(stderr, "vxhost: the editor would replace it with the default effect; give the "
                            "inputs it was made for, or start anew with --allow-default-effect\n");
            unloadPlugin(plugin);
            return 2;
        }
        fprintf(stderr, "vxhost: starting from the default effect, which replaces it\n");
    }
    const std::string state = instanceStatePath(o.render.plugin, name);
    restoreInstance(state, host.tags);

    host.fieldSource = [&](int input, uint32_t field, Picture &pic) {
        if (input != 0 && input != 1)
            return false;
        fieldOf(input == 0 ? in0 : in1, plan, field, pic);
        return true;
    };
    host.instanceNames[1] = name;
    for (const std::string &r : o.render.replies)
        host.replies.push_back(r);
    host.screen.guiMode = o.guiMode;
    initScreen(host.screen, o.width, o.height);
    host.screen.meterOnStderr = !o.render.quiet;
    if (o.window && !openWindow(host.screen, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        unloadPlugin(plugin);
        return 2;
    }
    if (o.window) {
        host.screen.present = [&] { showWindow(host.screen); };
        if (o.script.empty())
            host.screen.askText = [&](const std::string &text, int buttons) {
                return askInWindow(host.screen, text, buttons);
            };
    }

    // Input: the script's events one at a time, then the close message;
    // without a script the window's, or a close at once.
    bool failed = false;
    size_t next = 0;
    bool closed = false;
    host.screen.waitInput = [&](int timeout) {
        if (!o.script.empty() || !o.window) {
            if (o.window)
                showWindow(host.screen);
            if (next < events.size()) {
                const ScriptEvent &e = events[next++];
                if (!playEvent(host.screen, e, err)) {
                    fprintf(stderr, "vxhost: %s: %s\n", o.script.c_str(), err.c_str());
                    failed = true;
                    next = events.size();
                }
                return true;
            }
            if (closed)
                return false;
            closed = true;
            closeScreen(host.screen);
            return true;
        }
        return pumpWindow(host.screen, timeout);
    };
    int previews = 0;
    host.preview = [&](int) {
        Clip frames;
        frames.fpsNum = in0.fpsNum, frames.fpsDen = in0.fpsDen;
        const int result =
            runPreview(plugin, host, static_cast<uint32_t>(fieldCount), 1, plan, frames);
        ++previews;
        if (!o.previewOut.empty() && !frames.frames.empty()) {
            std::filesystem::create_directories(o.previewOut);
            std::string pattern =
                            o.previewOut + "/preview" + std::to_string(previews) + "_%04d.png",
                        werr;
            if (!writeClip(pattern, frames, werr)) {
                fprintf(stderr, "vxhost: %s\n", werr.c_str());
                failed = true;
            }
        }
        if (o.window && !frames.frames.empty())
            playInWindow(frames);
        return result;
    };
    installHost(&host);

    auto act = [&](uint16_t action, uint16_t gadget) {
        ActionRecord record = {action, gadget, {0, 0, 0, 0}, static_cast<uint32_t>(fieldCount),
                               0,      1};
        return plugin.action(&record);
    };
    act(ACTION_INSTALL, 0);
    // To see whether leaving wrote the effect file.
    const long long before = modifiedTime(effectPath);
    const size_t journalBefore = host.journal.size();
    act(ACTION_GADGET, 0);
    installHost(nullptr);
    if (o.window)
        closeWindow();

    if (!o.screenshot.empty() && !saveScreen(host.screen, o.screenshot, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        failed = true;
    }
    if (!o.layout.empty() && !writeText(o.layout, layoutJson(host.screen), err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        failed = true;
    }
    if (!storeInstance(state, host.tags, err))
        fprintf(stderr, "vxhost: %s\n", err.c_str());
    unloadPlugin(plugin);
    // A session that logged failures and left the effect file as it was
    // has lost its work: say so.
    const bool logged = host.journal.size() > journalBefore;
    if (logged && modifiedTime(effectPath) == before) {
        fprintf(stderr, "vxhost: %s: the effect %s was not saved\n", o.render.plugin.c_str(),
                effectPath.c_str());
        for (size_t i = journalBefore; i < host.journal.size(); ++i)
            fprintf(stderr, "vxhost: journal: %s\n", host.journal[i].c_str());
        failed = true;
    }
    if (host.screen.droppedMessages)
        fprintf(stderr, "vxhost: %d messages did not fit the queue\n", host.screen.droppedMessages);
    return failed ? 1 : 0;
}

} // namespace vxh
