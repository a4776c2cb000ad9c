#include "host/cli/edit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"
#include "host/cli/effectcheck.h"
#include "host/cli/info.h"
#include "host/cli/options.h"
#include "host/cli/run.h"
#include "host/cli/script.h"
#include "host/core/home.h"
#include "host/core/instance.h"
#include "host/gui/gui.h"
#include "host/gui/window.h"
#include "host/io/output.h"

namespace vxh {

namespace {

long long modifiedTime(const std::string &path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
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

// The whole of a regular file, or false when it cannot be read.
bool readBytes(const std::string &path, std::string &bytes)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

// The keys an effect file holds (from its header), or -1.
long keysIn(const std::string &path)
{
    std::string bytes;
    if (!readBytes(path, bytes) || bytes.size() < EFFECT_HEADER_BYTES)
        return -1;
    EffectHeader header;
    decodeEffectHeader(reinterpret_cast<const unsigned char *>(bytes.data()), header);
    return header.magic == EFFECT_MAGIC ? static_cast<long>(header.keyCount) : -1;
}

// Everything an editing session holds, in one place: the options, the
// inputs, the plug-in and its host, the session that drives it.
struct EditRun {
    RenderOptions o;
    EditSettings e;
    std::vector<ScriptEvent> events;
    size_t nextEvent = 0;
    bool closeSent = false;
    ClipInputs in;
    ClipFields cf;
    Plugin plugin;
    GuiHost gui;
    Session session;
    std::string state;   // where the instance's state is kept
    bool failed = false; // exit code 1
    int previews = 0;
};

// Loads the plug-in and checks its descriptor.
int loadEditor(EditRun &r)
{
    std::string err;
    if (!loadPlugin(r.o.plugin, r.plugin, err))
        return fail(err);
    Host &host = r.gui.host;
    host.askOnTerminal = !r.e.window && r.e.script.empty();
    host.tags = r.plugin.getInfo();
    if (!checkDescriptor(r.plugin, host.tags, err))
        return fail(err);
    if (int code = requireSecondInput(r.o, host.tags))
        return code;
    return 0;
}

// Checks that the editor can open on the planned pictures without losing
// an effect file; restores the instance's saved state.
int prepareEditor(EditRun &r, Warnings &warn)
{
    Host &host = r.gui.host;
    // The editor's picture buffers have the project's size and take input
    // 0's pictures: another size would leave every picture black.
    const FieldPlan &plan = r.cf.plan;
    const bool projectFits = plan.progressive ? r.o.projectHeight == plan.height
                                              : (r.o.projectHeight + 1) / 2 == plan.fieldHeight;
    if (r.o.projectWidth && (r.o.projectWidth != plan.width || !projectFits)) {
        fprintf(stderr, "vxhost: --project %dx%d: the editor edits input 0's frames of %dx%d\n",
                r.o.projectWidth, r.o.projectHeight, plan.width, plan.height);
        return 2;
    }
    // Two fields of the project; progressive, each is a whole frame.
    host.projectWidth = plan.width;
    host.projectHeight = 2 * plan.fieldHeight;
    if (usesEffectFile(host.tags))
        if (int code = checkEditableEffect(r.o, plan, std::max(r.cf.fields / 2, 1L), warn))
            return code;
    r.state = instanceStatePath(r.o.plugin, r.o.effect.empty() ? "untitled" : r.o.effect);
    restoreInstance(r.state, host.tags);
    return 0;
}

// One preview: its frames to PNG files (--preview-out) and to the window
// as they are rendered.
int preview(EditRun &r)
{
    const int number = ++r.previews;
    const FieldPlan &plan = r.session.plan;
    const Clip &facts = r.in.in0.facts;
    OutputClip out;
    bool opened = false, writing = !r.e.previewOut.empty();
    Playback play;
    play.frameMs = static_cast<uint32_t>(1000LL * facts.fpsDen / std::max(1, facts.fpsNum));
    const FrameSink deliver = [&](std::vector<uint32_t> &pixels, std::string &) {
        const uint32_t *frame = pixels.data();
        std::string err;
        if (writing && !opened) {
            std::error_code ec;
            std::filesystem::create_directories(r.e.previewOut, ec);
            Clip size;
            size.width = plan.width;
            size.height = plan.height;
            const std::string pattern =
                r.e.previewOut + "/preview" + std::to_string(number) + "_%04d.png";
            opened = writing = openOutput(pattern, size, PixFmt::Yuva444, out, err);
            if (!opened) {
                fprintf(stderr, "vxhost: %s\n", err.c_str());
                r.failed = true;
            }
        }
        if (writing && !(writing = writeFrame(out, frame, err))) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            r.failed = true;
        }
        if (r.e.window)
            playFrame(play, frame, plan.width, plan.height);
        return true; // the preview goes on whatever becomes of its copies
    };
    std::string err;
    const int code = runPreview(r.session, deliver, err);
    if (code == 2)
        fprintf(stderr, "vxhost: %s\n", err.c_str());
    std::vector<std::string> notes;
    if (opened && writing && !finishOutput(out, notes, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        r.failed = true;
    }
    if (r.e.window)
        endPlayback(play);
    return code == 0 ? 0 : -1;
}

// The editor's input: the script's events one at a time, then the close
// message; without a script the window's, or a close at once.
void feedScreen(EditRun &r)
{
    Screen &screen = r.gui.screen;
    screen.waitInput = [&r, &screen](int timeout) {
        if (interruptSignal) {
            if (r.closeSent)
                return false;
            r.closeSent = true;
            closeScreen(screen);
            return true;
        }
        if (!r.e.script.empty() || !r.e.window) {
            if (r.e.window)
                showWindow(screen);
            if (r.nextEvent < r.events.size()) {
                const ScriptEvent &e = r.events[r.nextEvent++];
                std::string err;
                if (!playEvent(screen, e, err)) {
                    fprintf(stderr, "vxhost: %s: %s\n", r.e.script.c_str(), err.c_str());
                    r.failed = true;
                    r.nextEvent = r.events.size();
                }
                return true;
            }
            if (r.closeSent)
                return false;
            r.closeSent = true;
            closeScreen(screen);
            return true;
        }
        if (timeout >= 0)
            return pumpWindow(screen, timeout);
        // Waits in steps, so that a signal is seen while the window is idle.
        while (!interruptSignal) {
            const size_t before = screen.messages.size();
            if (!pumpWindow(screen, 100))
                return false;
            if (screen.messages.size() != before)
                return true;
        }
        return true;
    };
}

// The screen, in a window when asked for; the session that drives the
// editor over the inputs.
int openScreen(EditRun &r)
{
    Host &host = r.gui.host;
    Screen &screen = r.gui.screen;
    host.instanceNames[1] = r.o.effect.empty() ? "untitled" : r.o.effect;
    for (const std::string &reply : r.o.replies)
        host.replies.push_back(reply);
    screen.guiMode = r.e.guiMode;
    initScreen(screen, r.e.width, r.e.height);
    screen.meterOnStderr = !r.o.quiet;
    std::string err;
    if (r.e.window && !openWindow(screen, err))
        return fail(err);
    if (r.e.window) {
        screen.present = [&screen] { showWindow(screen); };
        if (r.e.script.empty())
            host.askText = [&screen](const std::string &text, int buttons) {
                return askInWindow(screen, text, buttons);
            };
    }
    screen.stop = &interruptSignal;
    feedScreen(r);
    host.preview = [&r](int) { return preview(r); };

    Session &s = r.session;
    s.entry = entryOf(r.plugin);
    s.host = &host;
    s.services = guiHostServices(r.gui);
    s.fieldCount = static_cast<uint32_t>(r.cf.fields);
    s.plan = r.cf.plan;
    s.stopSignal = &interruptSignal;
    s.frames = [&r](int input, long k, std::string &why) {
        return frameAt(input == 0 ? r.in.in0 : r.in.in1, k, why);
    };
    return 0;
}

// After a signal: the effect file as it was before the session, the
// session's keys (what leaving the editor wrote) in NAME.recovered beside it.
void recoverEffect(const std::string &effect, const std::string &name, bool existed,
                   const std::string &original, bool written)
{
    const int sig = interruptSignal;
    const std::string recovered = effect + ".recovered";
    if (!written) {
        fprintf(stderr, "vxhost: interrupted by signal %d; the effect %s was left as it was\n", sig,
                effect.c_str());
        return;
    }
    std::string keys;
    const bool kept = readBytes(effect, keys) &&
                      atomicWriteFile(recovered.c_str(), keys.data(), keys.size()) == 0;
    const bool restored =
        existed ? atomicWriteFile(effect.c_str(), original.data(), original.size()) == 0
                : unlink(effect.c_str()) == 0;
    if (!restored)
        fprintf(stderr, "vxhost: interrupted by signal %d; could not put back the effect %s\n", sig,
                effect.c_str());
    else
        fprintf(stderr, "vxhost: interrupted by signal %d; the effect %s %s\n", sig, effect.c_str(),
                existed ? "was left as it was" : "was not made");
    if (kept)
        fprintf(stderr,
                "vxhost: the session's %ld keys are in %s: render or edit them with --effect "
                "%s.recovered, or keep them with: mv '%s' '%s'\n",
                keysIn(recovered), recovered.c_str(), name.c_str(), recovered.c_str(),
                effect.c_str());
    else
        fprintf(stderr, "vxhost: the session's keys could not be kept in %s\n", recovered.c_str());
}

// Whether a journal line says the editor found no room for its layout.
bool screenTooSmall(const std::string &line)
{
    return journalReason(line).rfind("the screen is too small", 0) == 0;
}

// Opens the editor (gadget 0) and keeps it until the user leaves; then the
// screen's products, the instance state, and whether the work was saved.
void editEffect(EditRun &r)
{
    Host &host = r.gui.host;
    const std::string name = r.o.effect.empty() ? "untitled" : r.o.effect;
    const std::string effect = effectPath(name);
    std::string original;
    const bool existed = readBytes(effect, original);
    long long before;
    size_t journalBefore;
    {
        SessionBinding binding(r.session);
        installOperator(r.session);
        // To see whether leaving wrote the effect file.
        before = modifiedTime(effect);
        journalBefore = host.journal.size();
        GadgetUse edit;
        edit.index = 0;
        useGadgets(r.session, {edit});
    }
    if (r.e.window)
        closeWindow();
    const bool written = modifiedTime(effect) != before;
    if (interruptSignal) {
        recoverEffect(effect, name, existed, original, written);
        return;
    }
    std::string err;
    if (!r.e.screenshot.empty() && !saveScreen(r.gui.screen, r.e.screenshot, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        r.failed = true;
    }
    if (!r.e.layout.empty() && !writeText(r.e.layout, layoutJson(r.gui.screen), err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        r.failed = true;
    }
    if (!storeInstance(r.state, host.tags, err))
        fprintf(stderr, "vxhost: %s\n", err.c_str());
    // A session that logged failures and left the effect file as it was
    // has lost its work: say so.
    const bool logged = host.journal.size() > journalBefore;
    if (logged && !written && screenTooSmall(host.journal[journalBefore])) {
        fprintf(stderr,
                "vxhost: the screen of %dx%d is too small for the editor's panels: give a "
                "larger one with --screen WxH (640x480 fits most clips; the default is "
                "1024x768); the effect %s was left as it was\n",
                r.gui.screen.width, r.gui.screen.height, effect.c_str());
        r.failed = true;
    } else if (logged && !written) {
        fprintf(stderr, "vxhost: %s: the effect %s was not saved\n", r.o.plugin.c_str(),
                effect.c_str());
        for (size_t i = journalBefore; i < host.journal.size(); ++i)
            echoJournal(host.journal[i], false);
        r.failed = true;
    }
    if (r.gui.screen.closedByUser && written)
        fprintf(stderr, "vxhost: the editor was closed: the current key's edits since it was last "
                        "stored were not kept (Done stores them)\n");
    if (written)
        fprintf(stderr, "vxhost: saved %s (%ld keys)\n", effect.c_str(), keysIn(effect));
    if (r.gui.screen.droppedMessages)
        fprintf(stderr, "vxhost: %d messages did not fit the queue\n",
                r.gui.screen.droppedMessages);
}

} // namespace

int runPreview(Session &s, const FrameSink &deliver, std::string &err)
{
    if (!setUpOperator(s, err))
        return 1;
    const int code = renderFields(s, 0, s.fieldCount, 0, deliver, err);
    tearDownOperator(s);
    return code;
}

int runEdit(const std::vector<std::string> &args)
{
    catchInterrupts();
    EditRun r;
    std::string err;
    if (!parseEditArgs(args, r.o, r.e, err) ||
        (!r.e.script.empty() && !readScript(r.e.script, r.events, err)) || !ensureHome(err))
        return fail(err);
    Warnings warn;
    if (int code = openInputs(r.o, r.in, warn))
        return code;
    if (int code = loadEditor(r))
        return code;
    chooseScan(r.o, r.in.in0.facts, usesEffectFile(r.gui.host.tags), "editing");
    if (int code = planClip(r.o, r.in, r.cf))
        return code;
    if (int code = prepareEditor(r, warn))
        return code;
    if (int code = openScreen(r))
        return code;
    editEffect(r);
    if (interruptSignal)
        return 128 + interruptSignal;
    return r.failed ? 1 : 0;
}

} // namespace vxh
