#include "host/cli/render.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <unistd.h>

#include "host/cli/dissolve.h"
#include "host/cli/effectcheck.h"
#include "host/cli/farm.h"
#include "host/cli/info.h"
#include "host/cli/numbers.h"
#include "host/cli/run.h"
#include "host/cli/workers.h"
#include "host/core/home.h"
#include "host/core/instance.h"
#include "host/gui/gui.h"
#include "host/io/media.h"
#include "host/io/output.h"
#include "host/io/pipestream.h"
#include "host/io/reader.h"
#include "host/io/writer.h"
#include "operator/host/vxres.h"

namespace vxh {

namespace fs = std::filesystem;

namespace {

bool sameText(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return tolower((unsigned char)x) == tolower((unsigned char)y);
           });
}

// One --gadget or --press: its gadget by index or label, its value by
// number or popup entry text.
bool resolveGadget(const OpTagItem *tags, void *strings, GadgetUse &use, std::string &err)
{
    auto text = [&](int id) {
        const char *s = resGetString(strings, id);
        return std::string(s ? s : "");
    };
    const std::string what =
        (use.hasValue ? "--gadget " + use.target + "=" + use.setting : "--press " + use.target);
    long index = -1;
    if (!parseNumber(use.target, 0, 3, index))
        for (int i = 0; i < 4; ++i)
            if (GadgetDesc *g = findGadget(tags, i); g && sameText(text(g->label), use.target))
                index = i;
    GadgetDesc *g = index >= 0 ? findGadget(tags, (int)index) : nullptr;
    if (!g) {
        err = what + ": the plug-in has no gadget '" + use.target +
              "' (vxhost info lists its gadgets)";
        return false;
    }
    use.index = (int)index;
    if (!use.hasValue)
        return true;
    long value = 0;
    if (g->kind == GADGET_POPUP) {
        auto *p = (const GadgetPopup *)g;
        int entries = 0;
        while (p->entries && p->entries[entries] && entries < 256)
            ++entries;
        bool named = false;
        for (int e = 0; e < entries && !named; ++e)
            if (sameText(text((int)p->entries[e]), use.setting)) {
                value = e;
                named = true;
            }
        if (!named && !parseNumber(use.setting, 0, entries - 1, value)) {
            err = what + ": popup '" + text(g->label) + "' has entries 0.." +
                  std::to_string(entries - 1) + " (vxhost info lists them)";
            return false;
        }
    } else if (g->kind == GADGET_SLIDER) {
        auto *s = (const GadgetSlider *)g;
        if (!parseNumber(use.setting, s->minimum, s->maximum, value)) {
            err = what + ": slider '" + text(g->label) + "' takes " + std::to_string(s->minimum) +
                  ".." + std::to_string(s->maximum);
            return false;
        }
    } else {
        err = what + ": gadget " + std::to_string(index) + " is a button; use --press " +
              std::to_string(index);
        return false;
    }
    use.value = (int)value;
    return true;
}

// Copies standard input into a temporary file, so that worker processes can
// each read their part.
bool spoolStandardInput(std::string &path, std::string &err)
{
    const char *dir = getenv("TMPDIR");
    std::string templ = std::string(dir && *dir ? dir : "/tmp") + "/vxhost-stdin-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        err = std::string("cannot make a temporary file for standard input: ") + strerror(errno);
        return false;
    }
    path = buffer.data();
    std::vector<char> chunk(1 << 20);
    for (;;) {
        const ssize_t n = readPipe(0, chunk.data(), chunk.size());
        if (n == 0)
            break;
        if (n < 0 || interruptSignal || write(fd, chunk.data(), (size_t)n) != n) {
            err = std::string("cannot copy standard input: ") + strerror(errno);
            close(fd);
            unlink(path.c_str());
            return false;
        }
    }
    close(fd);
    return true;
}

// The exit code of a run whose reader closed the output pipe: that of a
// pipeline tool killed by SIGPIPE, with nothing said.
constexpr int kReaderGone = 128 + SIGPIPE;

// The home, and standard input in a file when workers are to read it.
int prepareRun(RenderOptions &o, std::string &stdinCopy)
{
    std::string err;
    if (!ensureHome(err))
        return fail(err);
    if (o.jobs > 1 && (o.input0 == "-" || o.input1 == "-")) {
        if (!spoolStandardInput(stdinCopy, err))
            return fail(err, failedIoCode());
        (o.input0 == "-" ? o.input0 : o.input1) = stdinCopy;
    }
    return 0;
}

// The picture size the plug-in works at: the fields', or with
// --project-size the project's fields.
struct WorkSize {
    int projectWidth = 0, projectHeight = 0;
    int width = 0, height = 0;
};

// What the plug-in would refuse at its first render, refused here.
int checkWorkSize(const RenderOptions &o, const FieldPlan &plan, WorkSize &work)
{
    work.projectWidth = o.projectWidth ? o.projectWidth : plan.width;
    // The host's project holds two fields; progressive, each is a whole frame.
    work.projectHeight = plan.progressive  ? 2 * (o.projectHeight ? o.projectHeight : plan.height)
                         : o.projectHeight ? o.projectHeight
                                           : 2 * plan.fieldHeight;
    work.width = o.projectSize ? work.projectWidth : plan.fieldWidth;
    work.height = o.projectSize ? work.projectHeight / 2 : plan.fieldHeight;
    if (work.width < 8 || work.height < 4) {
        fprintf(stderr,
                "vxhost: the plug-in cannot render pictures of %dx%d (at least 8x4: a grid of 2x2 "
                "cells)%s\n",
                work.width, work.height,
                o.projectSize ? "; the project size's fields are that small" : "");
        return 2;
    }
    if (o.projectSize && (work.width < plan.fieldWidth || work.height < plan.fieldHeight)) {
        fprintf(stderr,
                "vxhost: --project-size prepares the effect at the project's fields of %dx%d, "
                "smaller than the "
                "input's fields of %dx%d: the plug-in cannot render into them (give a larger "
                "--project)\n",
                work.width, work.height, plan.fieldWidth, plan.fieldHeight);
        return 2;
    }
    return 0;
}

// A plug-in loaded for the run with the host that drives it.
struct Operator {
    Plugin plugin;
    GuiHost gui;
    std::string state; // where the instance's state is kept
};

// Loads the plug-in, checks its descriptor, the gadget uses and the replies.
int loadOperator(RenderOptions &o, Operator &op)
{
    std::string err;
    if (!loadPlugin(o.plugin, op.plugin, err))
        return fail(err);
    Host &host = op.gui.host;
    host.askOnTerminal = o.workerState.empty();
    host.tags = op.plugin.getInfo();
    if (!checkDescriptor(op.plugin, host.tags, err) || !resolveGadgets(host.tags, o.gadgets, err))
        return fail(err);
    if (int code = o.workerState.empty() ? requireSecondInput(o, host.tags) : 0)
        return code;
    for (const std::string &reply : o.replies)
        if (reply.find('/') != std::string::npos || reply.find("..") != std::string::npos)
            return fail("--reply '" + reply +
                        "': requester answers are plain file names (no / or ..)");
    return 0;
}

// Checks the effect file against the pictures the plug-in works on and
// restores the instance's saved state.
int prepareInstance(RenderOptions &o, const ClipFields &cf, const WorkSize &work, Warnings &warn,
                    Operator &op)
{
    const bool worker = !o.workerState.empty();
    Host &host = op.gui.host;
    if (!worker && usesEffectFile(host.tags))
        if (int code = checkRenderEffect(o, cf.plan, work.width, work.height,
                                         std::max(cf.fields / 2, 1L), warn);
            code != 0)
            return code;
    if (warn.strict && warn.count) {
        fprintf(stderr, "vxhost: --strict: stopping after %d warning(s)\n", warn.count);
        return 2;
    }
    const std::string instance = o.effect.empty() ? "untitled" : o.effect;
    op.state = instanceStatePath(o.plugin, instance);
    if (worker) {
        restoreInstance(o.workerState, host.tags);
    } else if (!o.fresh) {
        const std::vector<char> defaults = instanceSnapshot(host.tags);
        // An effect operator's block is the editor's view (brush, zoom, the
        // frame it was left on), which no render reads: said for the others.
        if (restoreInstance(op.state, host.tags) && instanceSnapshot(host.tags) != defaults &&
            !usesEffectFile(host.tags))
            fprintf(stderr,
                    "vxhost: instance '%s' uses its saved settings (vxhost state shows them, "
                    "--fresh leaves them out)\n",
                    instance.c_str());
    }
    return 0;
}

// The media inputs whose sound the output carries, by --audio.
AudioPlan audioPlanOf(const RenderOptions &o, const ClipInputs &in, const ClipFields &cf)
{
    AudioPlan plan;
    plan.mode = o.workerState.empty() ? o.audio : AudioMode::None;
    if (in.in0.kind == InputKind::Media)
        plan.source0 = o.input0;
    if (in.in1.kind == InputKind::Media && plan.mode == AudioMode::Mix)
        plan.source1 = o.input1;
    plan.fieldsPerFrame = 2; // progressive too: the first field of a frame is rendered whole
    plan.firstFrame = cf.begin / plan.fieldsPerFrame;
    return plan;
}

int openRenderOutput(const RenderOptions &o, const ClipInputs &in, const ClipFields &cf,
                     OutputClip &out, Warnings &warn)
{
    Clip facts = in.in0.facts;
    facts.frames.clear();
    MediaSettings media;
    media.codec = o.codec;
    media.crf = o.crf;
    media.fmt = o.pixFmtGiven ? o.pixFmt : PixFmt::Yuv420;
    media.audio = audioPlanOf(o, in, cf);
    const PixFmt fmt = o.workerState.empty() ? o.pixFmt : PixFmt::Yuva444;
    std::string err;
    if (!openOutput(o.output, facts, fmt, out, err, &media))
        return out.readerGone ? kReaderGone : fail(err);
    for (const std::string &n : out.notes)
        warn.say(n);
    if (!out.media && media.audio.mode != AudioMode::None) {
        // Said once, as a note: pictures-only outputs are what the user chose.
        const AudioPlan &a = media.audio;
        for (const std::string &source : {a.source0, a.source1 == a.source0 ? "" : a.source1})
            if (!source.empty() && mediaHasAudio(source))
                fprintf(stderr,
                        "vxhost: note: the sound of %s is not carried: %s holds pictures only "
                        "(write a media file such as .mp4, .mov, .mkv or .avi to keep it; "
                        "--audio none says nothing)\n",
                        source.c_str(),
                        o.output == "-" ? "YUV4MPEG2 on standard output"
                        : out.pattern   ? "a PNG sequence"
                                        : "YUV4MPEG2");
    }
    return 0;
}

// --audio mix follows a dissolve; a filter has none.
int checkAudioMode(const RenderOptions &o, const Operator &op)
{
    if (o.audio == AudioMode::Mix && pictureMixOf(op.gui.host.tags) == PictureMix::Input0)
        return fail("--audio mix follows a transition's dissolve, and " + o.plugin +
                    " shows input 0 only: its sound is kept (leave out --audio, or "
                    "--audio none)");
    return 0;
}

// Mixed sound: input 1's share at each output field, as the picture shows
// it. The fade length of the transition is read once its gadgets are set.
void setMixLevels(const RenderOptions &o, const ClipFields &cf, const WorkSize &work,
                  const Operator &op, OutputClip &out)
{
    if (!out.media || o.audio != AudioMode::Mix)
        return;
    const OpTagItem *tags = op.gui.host.tags;
    std::vector<int> levels;
    if (pictureMixOf(tags) == PictureMix::CrossFade) {
        GadgetDesc *g = findGadget(tags, 2);
        const uint32_t length =
            g && g->kind == GADGET_SLIDER ? (uint32_t)((const GadgetSlider *)g)->value : 0;
        for (long f = cf.begin; f < cf.end; ++f)
            levels.push_back(crossFadeShare((uint32_t)cf.fields, length, (uint32_t)f));
    } else {
        const std::string name = o.effect.empty() ? "untitled" : o.effect;
        levels =
            keyLevels(renderedKeys(effectPath(name), work.width, work.height, (uint32_t)cf.fields),
                      cf.begin, cf.end);
    }
    // Progressive, a frame is its first field's picture.
    for (long f = cf.begin; cf.plan.progressive && f < cf.end; ++f)
        if (f % 2 && f > cf.begin)
            levels[size_t(f - cf.begin)] = levels[size_t(f - 1 - cf.begin)];
    setMediaAudioLevels(out.media, std::move(levels));
}

// A session of the operator over the inputs: frames read as the plug-in
// asks for them (a short input 1 repeats its last frame, with a warning),
// journal lines and progress shown as they come.
// Frames decoded ahead while the clip renders in this process: a reader
// for each input the operator asks for, started by its first request.
struct Prefetch {
    bool on = false;
    long lastFrame = 0;
    FrameReader readers[2];
};

void stopPrefetch(Prefetch &pf)
{
    pf.on = false;
    for (FrameReader &r : pf.readers)
        stopReader(r);
}

void startSession(const RenderOptions &o, const ClipFields &cf, const WorkSize &work,
                  ClipInputs &in, Warnings &warn, bool showBar, Operator &op, Prefetch &pf,
                  Session &s)
{
    Host &host = op.gui.host;
    host.projectWidth = work.projectWidth;
    host.projectHeight = work.projectHeight;
    host.instanceNames[1] = o.effect.empty() ? "untitled" : o.effect;
    if (o.workerState.empty())
        for (const std::string &r : o.replies)
            host.replies.push_back(r);
    s.entry = entryOf(op.plugin);
    s.host = &host;
    s.services = guiHostServices(op.gui);
    s.fieldCount = (uint32_t)cf.fields;
    s.plan = cf.plan;
    s.stopSignal = &interruptSignal;
    s.onJournal = [showBar](const std::string &line) { echoJournal(line, showBar); };
    s.onProgress = [showBar](long done, long total) { showProgress(showBar, done, total); };
    auto shortWarned = std::make_shared<bool>(false);
    s.frames = [&o, &in, &warn, &pf, shortWarned](int input, long k,
                                                  std::string &why) -> const uint32_t * {
        InputClip &clip = input == 0 ? in.in0 : in.in1;
        const uint32_t *px = nullptr;
        bool repeated = false;
        if (pf.on) {
            FrameReader &reader = pf.readers[input];
            if (!reader.thread.joinable())
                startReader(reader, clip, k, pf.lastFrame, 2, &interruptSignal);
            px = readerFrame(reader, k, repeated, why);
        } else {
            px = frameAt(clip, k, why);
            repeated = clip.complete && k >= clip.knownFrames;
        }
        if (px && input == 1 && !*shortWarned && repeated && !o.input1.empty()) {
            *shortWarned = true;
            warn.say(shown(o.input1, 1) + " has " + std::to_string(clip.knownFrames) +
                     " frames, fewer than the render needs: its last frame is repeated");
            if (warn.strict) {
                why = "--strict: input 1 is shorter than the render";
                return nullptr;
            }
        }
        return px;
    };
}

// Renders the clip in this process, or through workers with --jobs: the
// parent alone applies the gadgets and keeps the state; workers render from
// a copy of it.
int drive(const RenderOptions &o, const char *self, const ClipFields &cf, const WorkSize &work,
          const Operator &op, bool showBar, Prefetch &pf, Session &s, OutputClip &out,
          std::string &err)
{
    const bool worker = !o.workerState.empty();
    if (!o.fromParts.empty()) {
        // A farm's join: the parts rendered on the cluster, written out.
        setMixLevels(o, cf, work, op, out);
        return joinFarm(o.fromParts, cf.fields, out, err);
    }
    const bool submit = farmSubmits(o);
    const std::vector<GadgetUse> noUses;
    const std::vector<GadgetUse> &uses = worker ? noUses : o.gadgets;
    const uint8_t firstFlags = o.projectSize ? 1 : 0;
    if (o.jobs == 1 && !submit) {
        SessionBinding binding(s);
        installOperator(s);
        useGadgets(s, uses);
        if (!setUpOperator(s, err))
            return 1;
        setMixLevels(o, cf, work, op, out);
        // Input frames are read and decoded, and finished frames converted,
        // encoded and written, on threads of their own while others render.
        pf.on = true;
        pf.lastFrame = frameOfField(cf.plan, uint32_t(std::max(cf.end - 1, cf.begin)));
        // One frame queued while one is written: each frame queued costs
        // its whole size in memory, and a second gains next to nothing.
        FrameWriter writer;
        startWriter(writer, out, 1, &interruptSignal);
        int code = renderFields(
            s, cf.begin, cf.end, firstFlags,
            [&writer](std::vector<uint32_t> &frame, std::string &why) {
                return queueFrame(writer, frame, why);
            },
            err);
        stopPrefetch(pf);
        std::string why;
        if (!stopWriter(writer, why) && code == 0) {
            err = why;
            code = failedIoCode();
        }
        if (showBar)
            fprintf(stderr, "\n");
        tearDownOperator(s);
        return code;
    }
    // The state the workers or the farm's tasks render with.
    const std::string stateCopy = submit ? farmStatePath(o)
                                         : std::string(getenv("VXHOME")) +
                                               "/vxhost/instances/.job-" + std::to_string(getpid());
    std::error_code ec;
    fs::create_directories(fs::path(stateCopy).parent_path(), ec);
    int code = runSession(s, uses, 0, 0, firstFlags, FrameSink(), err);
    std::string why;
    if (code == 0 && !storeInstance(stateCopy, s.host->tags, why)) {
        err = why;
        code = 2;
    }
    if (code == 0 && submit)
        return submitFarm(o, self, stateCopy, cf.fields, err);
    if (code == 0) {
        setMixLevels(o, cf, work, op, out);
        code = runWorkers(o, self, stateCopy, cf.fields, out, err);
    }
    unlink(stateCopy.c_str());
    return code;
}

// Completes the output and says how the run went; the exit code.
int finishRender(const RenderOptions &o, int code, const ClipFields &cf, double seconds,
                 size_t journalLines, Warnings &warn, OutputClip &out, std::string &err)
{
    std::vector<std::string> notes;
    if (code == 0 && !finishOutput(out, notes, err))
        code = failedIoCode();
    if (code != 0) {
        abandonOutput(out);
        if (out.readerGone)
            return kReaderGone; // as a pipeline tool ends when its reader has gone: quietly
        if (code >= 128 && !o.workerState.empty())
            return code; // a worker stopped by its run, which says so
        if (code >= 128)
            fprintf(stderr, "vxhost: interrupted by signal %d (SIG%s); %s was left as it was\n",
                    code - 128, sigabbrev_np(code - 128), o.output.c_str());
        else
            fprintf(stderr, "vxhost: %s%s\n", code == 1 ? (o.plugin + ": ").c_str() : "",
                    err.c_str());
        if (journalLines)
            fprintf(stderr, "vxhost: %zu journal line(s) during the run\n", journalLines);
        return code;
    }
    for (const std::string &n : notes)
        warn.say(n);
    // Progressive, only the first field of each frame is rendered: count frames.
    const bool whole = cf.plan.progressive;
    const long rendered = whole ? (cf.end - cf.begin + 1) / 2 : cf.end - cf.begin;
    const char *unit = whole ? "whole frames" : "fields";
    if (o.workerState.empty())
        fprintf(stderr, "vxhost: %s %ld %s in %.2f s (%.1f %s/s) to %s; %zu journal line(s)\n",
                o.fromParts.empty() ? "rendered" : "joined the parts of", rendered, unit, seconds,
                seconds > 0 ? rendered / seconds : 0.0, unit,
                o.output == "-" ? "standard output" : o.output.c_str(), journalLines);
    if (o.strict && (journalLines || warn.count)) {
        fprintf(stderr, "vxhost: --strict: %zu journal line(s), %d warning(s)\n", journalLines,
                warn.count);
        return 1;
    }
    return 0;
}

int renderCommand(const RenderOptions &given, const char *self, std::string &stdinCopy)
{
    RenderOptions o = given;
    Warnings warn;
    warn.strict = o.strict;
    ClipInputs in;
    ClipFields cf;
    WorkSize work;
    if (int code = prepareRun(o, stdinCopy))
        return code;
    if (int code = openInputs(o, in, warn))
        return code;
    Operator op;
    if (int code = loadOperator(o, op))
        return code;
    chooseScan(o, in.in0.facts, usesEffectFile(op.gui.host.tags), "rendering");
    if (int code = planClip(o, in, cf))
        return code;
    if (int code = checkWorkSize(o, cf.plan, work))
        return code;
    if (int code = prepareInstance(o, cf, work, warn, op))
        return code;
    if (int code = checkAudioMode(o, op))
        return code;
    OutputClip out;
    if (int code = openRenderOutput(o, in, cf, out, warn))
        return code;

    const auto start = std::chrono::steady_clock::now();
    const bool showBar = !o.quiet && isatty(2) && o.jobs == 1;
    Prefetch pf;
    Session s;
    startSession(o, cf, work, in, warn, showBar, op, pf, s);
    std::string err;
    const int code = drive(o, self, cf, work, op, showBar, pf, s, out, err);
    stopPrefetch(pf);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (o.workerState.empty() && o.fromParts.empty() && !o.fresh) {
        std::string stateErr;
        if (!storeInstance(op.state, op.gui.host.tags, stateErr))
            fprintf(stderr, "vxhost: %s\n", stateErr.c_str());
    }
    if (farmSubmits(o)) {
        // Nothing is written before the join: the output waits for it.
        abandonOutput(out);
        if (code != 0)
            fprintf(stderr, "vxhost: %s\n", err.c_str());
        return code;
    }
    return finishRender(o, code, cf, seconds, op.gui.host.journal.size(), warn, out, err);
}

} // namespace

bool resolveGadgets(const OpTagItem *tags, std::vector<GadgetUse> &uses, std::string &err)
{
    void *strings = resLoadStrings("vorlux_ops");
    bool ok = true;
    for (GadgetUse &use : uses)
        if (!(ok = resolveGadget(tags, strings, use, err)))
            break;
    resFreeStrings(strings);
    return ok;
}

int runRender(const RenderOptions &o, const char *self)
{
    catchInterrupts();
    std::string stdinCopy;
    int code;
    try {
        code = renderCommand(o, self, stdinCopy);
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "vxhost: out of memory\n");
        code = 2;
    } catch (const fs::filesystem_error &e) {
        fprintf(stderr, "vxhost: %s\n", e.what());
        code = 2;
    }
    if (!stdinCopy.empty())
        unlink(stdinCopy.c_str());
    return code;
}

bool renderClip(Plugin &plugin, Host &host, const RenderOptions &o, const Clip &in0,
                const Clip &in1, Clip &out, std::string &err)
{
    Session s;
    s.entry = entryOf(plugin);
    s.host = &host;
    s.plan = planFields(in0.width, in0.height, o.scan == Scan::Progressive,
                        o.order == FieldOrder::BottomFirst);
    const long frames = (long)in0.frames.size();
    const long fields = o.fields > 0 ? o.fields : frames * 2;
    const long begin = o.rangeBegin >= 0 ? o.rangeBegin : 0;
    const long end = o.rangeEnd >= 0 ? std::min(o.rangeEnd, fields) : fields;
    s.fieldCount = (uint32_t)fields;
    s.frames = [&](int input, long k, std::string &why) -> const uint32_t * {
        const Clip &clip = input == 0 ? in0 : in1;
        if (clip.frames.empty()) {
            why = "input " + std::to_string(input) + " has no frames";
            return nullptr;
        }
        return clip.frames[std::min(k, (long)clip.frames.size() - 1)].data();
    };
    host.projectWidth = o.projectWidth ? o.projectWidth : s.plan.width;
    host.projectHeight = s.plan.progressive ? 2 * (o.projectHeight ? o.projectHeight : in0.height)
                         : o.projectHeight  ? o.projectHeight
                                            : 2 * s.plan.fieldHeight;
    host.instanceNames[1] = o.effect.empty() ? "untitled" : o.effect;
    if (!host.tags)
        host.tags = plugin.getInfo();
    for (const std::string &r : o.replies)
        host.replies.push_back(r);
    out = Clip{};
    out.width = in0.width;
    out.height = in0.height;
    out.fpsNum = in0.fpsNum;
    out.fpsDen = in0.fpsDen;
    const FrameSink keep = [&](std::vector<uint32_t> &frame, std::string &) {
        out.frames.emplace_back();
        out.frames.back().swap(frame);
        return true;
    };
    return runSession(s, o.gadgets, begin, end, o.projectSize ? 1 : 0, keep, err) == 0;
}

} // namespace vxh
