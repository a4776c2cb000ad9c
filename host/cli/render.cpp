#include "host/render.h"

#include "host/media.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"
#include "host/info.h"
#include "host/instance.h"
#include "host/numbers.h"
#include "operator/host/vxres.h"

namespace vxh {

namespace fs = std::filesystem;

namespace {

volatile sig_atomic_t interruptSignal = 0;

void onInterrupt(int sig)
{
    interruptSignal = sig;
}

// SIGINT and SIGTERM end the run at the next field, or at once when a read
// or write is waiting (no SA_RESTART), so temporaries are removed on the
// normal failure path. A closed output pipe is a write error, not a kill.
void catchInterrupts()
{
    struct sigaction sa = {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void progress(bool show, long done, long total)
{
    if (!show || total <= 0)
        return;
    const int width = 40;
    int filled = (int)(done * width / total);
    fprintf(stderr, "\r[%.*s%*s] %ld/%ld fields", filled,
            "########################################", width - filled, "", done, total);
    fflush(stderr);
}

std::string lastJournalLine(const Host &host)
{
    return host.journal.empty() ? "no journal line" : host.journal.back();
}

// What one in-process render needs besides the plug-in and host.
struct Drive {
    const RenderOptions *options = nullptr;
    FieldPlan plan;
    long totalFields = 0;
    long begin = 0, end = 0; // output fields rendered
    bool runGadgets = true;
    bool showProgress = false;
    // Frame k of input 0 or 1; null with err on failure.
    std::function<const uint32_t *(int input, long frame, std::string &err)> frameOf;
    // A woven output frame, in order.
    std::function<bool(const std::vector<uint32_t> &frame, std::string &err)> deliver;
    size_t journalShown = 0;
    bool echoJournal = false;
    int inputFailures = 0;
    std::string inputError;
};

void echoJournal(Host &host, Drive &d)
{
    for (; d.journalShown < host.journal.size(); ++d.journalShown)
        if (d.echoJournal)
            fprintf(stderr, "%svxhost: journal: %s\n", d.showProgress ? "\n" : "",
                    host.journal[d.journalShown].c_str());
}

// Returns 0, 1 (the plug-in failed), 2 (an input could not be read) or
// 128 + signal.
int drive(Plugin &plugin, Host &host, Drive &d, std::string &err)
{
    const RenderOptions &o = *d.options;
    host.fieldSource = [&](int input, uint32_t field, Picture &pic) {
        if (input != 0 && input != 1)
            return false;
        const long frame = d.plan.progressive ? (long)field : (long)(field / 2);
        std::string why;
        const uint32_t *px = d.frameOf(input, frame, why);
        if (!px) {
            if (d.inputError.empty())
                d.inputError = why;
            ++d.inputFailures;
            return false;
        }
        extractField(d.plan, px, field, pic);
        return true;
    };
    host.projectWidth = o.projectWidth ? o.projectWidth : d.plan.width;
    host.projectHeight = o.projectHeight ? o.projectHeight : 2 * d.plan.fieldHeight;
    host.instanceNames[1] = o.effect.empty() ? "untitled" : o.effect;
    if (!host.tags)
        host.tags = plugin.getInfo();
    if (d.runGadgets)
        for (const std::string &r : o.replies)
            host.replies.push_back(r);
    installHost(&host);

    const uint32_t instance = 1;
    auto act = [&](uint16_t action, uint16_t gadget, uint32_t field, uint8_t flags) {
        ActionRecord record = {action, gadget,  {flags, 0, 0, 0}, (uint32_t)d.totalFields,
                               field,  instance};
        const int result = plugin.action(&record);
        echoJournal(host, d);
        return result;
    };
    act(ACTION_INSTALL, 0, 0, 0);
    if (d.runGadgets)
        for (const GadgetUse &use : o.gadgets) {
            if (use.hasValue)
                setGadgetValue(findGadget(host.tags, use.index), use.value);
            act(ACTION_GADGET, (uint16_t)use.index, 0, 0);
        }
    if (act(ACTION_SETUP, 0, 0, 0) != 0) {
        err = "set-up failed (" + lastJournalLine(host) + ")";
        installHost(nullptr);
        return 1;
    }

    int code = 0;
    Picture first;
    std::vector<uint32_t> frame;
    for (long f = d.begin; f < d.end; ++f) {
        if (interruptSignal) {
            code = 128 + interruptSignal;
            break;
        }
        host.outputs.clear();
        const int result =
            act(ACTION_RENDER, 0, (uint32_t)f, f == d.begin && o.projectSize ? 1 : 0);
        if (d.inputFailures) {
            err = d.inputError;
            code = interruptSignal ? 128 + interruptSignal : 2;
            break;
        }
        if (result != 0 || host.outputs.size() != 1) {
            err =
                "render of field " + std::to_string(f) + " failed (" + lastJournalLine(host) + ")";
            code = 1;
            break;
        }
        Picture &pic = host.outputs[0];
        bool ok;
        if (d.plan.progressive) {
            ok = d.deliver(pic.pixels, err);
        } else if (((f - d.begin) & 1) == 0 && f + 1 < d.end) {
            first = std::move(pic);
            ok = true;
        } else {
            // An odd last field is woven with itself.
            weaveFrame(d.plan, ((f - d.begin) & 1) ? first : pic, pic, frame);
            ok = d.deliver(frame, err);
        }
        if (!ok) {
            code = interruptSignal ? 128 + interruptSignal : 2;
            break;
        }
        progress(d.showProgress, f + 1 - d.begin, d.end - d.begin);
    }
    if (d.showProgress)
        fprintf(stderr, "\n");
    act(ACTION_TEARDOWN, 0, 0, 0);
    installHost(nullptr);
    return code;
}

bool validName(const std::string &name)
{
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

} // namespace

// ---------------------------------------------------------------------------
// Fields

FieldPlan planFields(int width, int height, bool progressive, bool bottomFirst)
{
    FieldPlan plan;
    plan.width = width;
    plan.height = height;
    plan.progressive = progressive;
    plan.bottomFirst = bottomFirst && !progressive;
    plan.fieldWidth = width;
    plan.fieldHeight = progressive ? height : (height + 1) / 2;
    return plan;
}

void extractField(const FieldPlan &plan, const uint32_t *frame, uint32_t field, Picture &pic)
{
    pic.width = plan.fieldWidth;
    pic.height = plan.fieldHeight;
    pic.pixels.resize((size_t)pic.width * pic.height);
    const size_t row = (size_t)plan.width;
    if (plan.progressive) {
        memcpy(pic.pixels.data(), frame, row * plan.height * 4);
        return;
    }
    const int parity = (int)(field & 1) ^ (plan.bottomFirst ? 1 : 0);
    for (int y = 0; y < pic.height; ++y) {
        const int line =
            std::min(2 * y + parity, plan.height - 1); // the padding repeats the last line
        memcpy(&pic.pixels[(size_t)y * row], frame + (size_t)line * row, row * 4);
    }
}

void weaveFrame(const FieldPlan &plan, const Picture &first, const Picture &second,
                std::vector<uint32_t> &frame)
{
    const size_t row = (size_t)plan.width;
    frame.resize(row * plan.height);
    for (int line = 0; line < plan.height; ++line) {
        const bool fromFirst = ((line & 1) ^ (plan.bottomFirst ? 1 : 0)) == 0;
        const Picture &pic = fromFirst ? first : second;
        memcpy(&frame[(size_t)line * row], &pic.pixels[(size_t)(line / 2) * row], row * 4);
    }
}

// ---------------------------------------------------------------------------
// Arguments

bool parseRenderArgs(const std::vector<std::string> &args, RenderOptions &o, std::string &err)
{
    bool input0Given = false, input1Given = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size()) {
                err = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "-o" || a == "--output") {
            if (!value(o.output))
                return false;
        } else if (a == "--input0" || a == "--input1") {
            std::string &input = a == "--input0" ? o.input0 : o.input1;
            if (!value(input))
                return false;
            (a == "--input0" ? input0Given : input1Given) = true;
            if (input.empty()) {
                err = a + " takes a file name, not an empty text (leave the option out for the "
                          "sample clip)";
                return false;
            }
        } else if (a == "--effect") {
            if (!value(o.effect))
                return false;
            if (!validName(o.effect)) {
                err = "--effect takes a plain name, not '" + o.effect + "'";
                return false;
            }
        } else if (a == "--fields") {
            if (!value(v))
                return false;
            if (!parseNumber(v, 1, 10000000, o.fields)) {
                err = "--fields takes a number of fields from 1 to 10000000, not '" + v + "'";
                return false;
            }
        } else if (a == "--project") {
            if (!value(v))
                return false;
            if (!parseSize(v, 4, 2, o.projectWidth, o.projectHeight)) {
                err = "--project takes WxH (4x2 up to 16384x16384), not '" + v + "'";
                return false;
            }
        } else if (a == "--project-size") {
            o.projectSize = true;
        } else if (a == "--gadget" || a == "--press") {
            if (!value(v))
                return false;
            GadgetUse use;
            use.hasValue = a == "--gadget";
            const size_t eq = v.find('=');
            if (use.hasValue && (eq == std::string::npos || eq == 0 || eq + 1 == v.size())) {
                err = "--gadget takes GADGET=VALUE (an index 0..3 or a label, a number or an "
                      "entry), not '" +
                      v + "'";
                return false;
            }
            use.target = use.hasValue ? v.substr(0, eq) : v;
            use.setting = use.hasValue ? v.substr(eq + 1) : "";
            o.gadgets.push_back(use);
        } else if (a == "--reply") {
            if (!value(v))
                return false;
            o.replies.push_back(v);
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (a == "--top-first" || a == "--bottom-first") {
            o.order = a == "--top-first" ? FieldOrder::TopFirst : FieldOrder::BottomFirst;
        } else if (a == "--progressive") {
            o.progressive = true;
        } else if (a == "--pix-fmt") {
            if (!value(v))
                return false;
            if (!parsePixFmt(v, o.pixFmt)) {
                err = "--pix-fmt takes 444alpha, 444 or 420, not '" + v + "'";
                return false;
            }
            o.pixFmtGiven = true;
        } else if (a == "--codec") {
            if (!value(o.codec))
                return false;
        } else if (a == "--crf") {
            long n;
            if (!value(v))
                return false;
            if (!parseNumber(v, 0, 63, n)) {
                err = "--crf takes a quality from 0 (best) to 63, not '" + v + "'";
                return false;
            }
            o.crf = (int)n;
        } else if (a == "--max-pixels") {
            if (!value(v))
                return false;
            long n;
            if (!parseNumber(v, 1, (long)kMaxFrameSide * kMaxFrameSide, n)) {
                err = "--max-pixels takes a number of pixels from 1 to " +
                      std::to_string((long)kMaxFrameSide * kMaxFrameSide) + ", not '" + v + "'";
                return false;
            }
            o.maxPixels = n;
        } else if (a == "--strict") {
            o.strict = true;
        } else if (a == "--allow-default-effect") {
            o.allowDefaultEffect = true;
        } else if (a == "--fresh") {
            o.fresh = true;
        } else if (a == "--range") {
            if (!value(v))
                return false;
            const size_t colon = v.find(':');
            if (colon == std::string::npos ||
                !parseNumber(v.substr(0, colon), 0, 10000000, o.rangeBegin) ||
                !parseNumber(v.substr(colon + 1), 1, 10000000, o.rangeEnd) ||
                o.rangeEnd <= o.rangeBegin) {
                err = "--range takes A:B, output fields A up to B-1 with A < B, not '" + v + "'";
                return false;
            }
        } else if (a == "--jobs") {
            if (!value(v))
                return false;
            long n;
            if (!parseNumber(v, 1, 64, n)) {
                err = "--jobs takes a number of worker processes from 1 to 64, not '" + v + "'";
                return false;
            }
            o.jobs = (int)n;
        } else if (a == "--worker-state") {
            if (!value(o.workerState))
                return false;
        } else if (!a.empty() && a[0] == '-') {
            err = "unknown option '" + a + "' (vxhost render --help lists the options)";
            return false;
        } else if (o.plugin.empty()) {
            o.plugin = a;
        } else {
            err = "unexpected argument '" + a + "'";
            return false;
        }
    }
    if (o.plugin.empty()) {
        err = "render needs a plug-in file";
        return false;
    }
    if (o.output.empty()) {
        err = "render needs -o OUT (.y4m, - for standard output, or a PNG pattern such as "
              "out_%04d.png)";
        return false;
    }
    if (o.progressive && o.order != FieldOrder::FromInput) {
        err = "--progressive has no field order: leave out --top-first/--bottom-first";
        return false;
    }
    if (o.input0 == "-" && o.input1 == "-") {
        err = "only one input can be standard input";
        return false;
    }
    if ((!o.codec.empty() || o.crf >= 0) && !isMediaOutputName(o.output)) {
        err = "--codec and --crf apply to .mp4, .mov and .mkv outputs only";
        return false;
    }
    if (o.jobs > 1 && o.rangeBegin >= 0) {
        err = "--jobs splits the whole clip: it does not combine with --range";
        return false;
    }
    return true;
}

bool resolveGadgets(const OpTagItem *tags, std::vector<GadgetUse> &uses, std::string &err)
{
    void *strings = resLoadStrings("vorlux_ops");
    auto text = [&](int id) {
        const char *s = resGetString(strings, id);
        return std::string(s ? s : "");
    };
    auto same = [](const std::string &a, const std::string &b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return tolower((unsigned char)x) == tolower((unsigned char)y);
               });
    };
    bool ok = true;
    for (GadgetUse &use : uses) {
        const std::string what =
            (use.hasValue ? "--gadget " + use.target + "=" + use.setting : "--press " + use.target);
        long index = -1;
        if (!parseNumber(use.target, 0, 3, index))
            for (int i = 0; i < 4; ++i)
                if (GadgetDesc *g = findGadget(tags, i); g && same(text(g->label), use.target))
                    index = i;
        GadgetDesc *g = index >= 0 ? findGadget(tags, (int)index) : nullptr;
        if (!g) {
            err = what + ": the plug-in has no gadget '" + use.target +
                  "' (vxhost info lists its gadgets)";
            ok = false;
            break;
        }
        use.index = (int)index;
        if (!use.hasValue)
            continue;
        long value = 0;
        if (g->kind == GADGET_POPUP) {
            auto *p = (const GadgetPopup *)g;
            int entries = 0;
            while (p->entries && p->entries[entries] && entries < 256)
                ++entries;
            bool named = false;
            for (int e = 0; e < entries && !named; ++e)
                if (same(text((int)p->entries[e]), use.setting)) {
                    value = e;
                    named = true;
                }
            if (!named && !parseNumber(use.setting, 0, entries - 1, value)) {
                err = what + ": popup '" + text(g->label) + "' has entries 0.." +
                      std::to_string(entries - 1) + " (vxhost info lists them)";
                ok = false;
                break;
            }
        } else if (g->kind == GADGET_SLIDER) {
            auto *s = (const GadgetSlider *)g;
            if (!parseNumber(use.setting, s->minimum, s->maximum, value)) {
                err = what + ": slider '" + text(g->label) + "' takes " +
                      std::to_string(s->minimum) + ".." + std::to_string(s->maximum);
                ok = false;
                break;
            }
        } else {
            err = what + ": gadget " + std::to_string(index) + " is a button; use --press " +
                  std::to_string(index);
            ok = false;
            break;
        }
        use.value = (int)value;
    }
    resFreeStrings(strings);
    return ok;
}

// ---------------------------------------------------------------------------
// Home

bool ensureHome(std::string &err)
{
    const char *home = getenv("VXHOME");
    std::string dir;
    if (home && *home) {
        dir = home;
    } else {
        const char *data = getenv("XDG_DATA_HOME");
        const char *user = getenv("HOME");
        if (data && *data)
            dir = std::string(data) + "/vorlux";
        else if (user && *user)
            dir = std::string(user) + "/.local/share/vorlux";
        else {
            err = "VXHOME is not set and there is no home directory to put the data in";
            return false;
        }
        fprintf(stderr, "vxhost: VXHOME is not set; using %s\n", dir.c_str());
        setenv("VXHOME", dir.c_str(), 1);
    }
    std::error_code ec;
    const bool existed = fs::exists(dir, ec);
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        err = "VXHOME '" + dir + "' is not a directory that can be made" +
              (ec ? " (" + ec.message() + ")" : "");
        return false;
    }
    if (!existed)
        fprintf(stderr, "vxhost: created VXHOME %s\n", dir.c_str());
    return true;
}

// ---------------------------------------------------------------------------
// In-memory render

bool renderClip(Plugin &plugin, Host &host, const RenderOptions &o, const Clip &in0,
                const Clip &in1, Clip &out, std::string &err)
{
    Drive d;
    d.options = &o;
    d.plan = planFields(in0.width, in0.height, o.progressive, o.order == FieldOrder::BottomFirst);
    const long frames = (long)in0.frames.size();
    d.totalFields = o.fields > 0 ? o.fields : (o.progressive ? frames : frames * 2);
    d.begin = o.rangeBegin >= 0 ? o.rangeBegin : 0;
    d.end = o.rangeEnd >= 0 ? std::min(o.rangeEnd, d.totalFields) : d.totalFields;
    d.frameOf = [&](int input, long k, std::string &why) -> const uint32_t * {
        const Clip &clip = input == 0 ? in0 : in1;
        if (clip.frames.empty()) {
            why = "input " + std::to_string(input) + " has no frames";
            return nullptr;
        }
        return clip.frames[std::min(k, (long)clip.frames.size() - 1)].data();
    };
    out = Clip{};
    out.width = in0.width;
    out.height = in0.height;
    out.fpsNum = in0.fpsNum;
    out.fpsDen = in0.fpsDen;
    d.deliver = [&](const std::vector<uint32_t> &frame, std::string &) {
        out.frames.push_back(frame);
        return true;
    };
    return drive(plugin, host, d, err) == 0;
}

// ---------------------------------------------------------------------------
// The command

namespace {

struct Warnings {
    bool strict = false;
    int count = 0;
    void say(const std::string &text)
    {
        ++count;
        fprintf(stderr, "vxhost: %s%s\n", strict ? "error: " : "warning: ", text.c_str());
    }
};

std::string shown(const std::string &input, int which)
{
    return input.empty()  ? "sample clip " + std::to_string(which)
           : input == "-" ? "standard input"
                          : input;
}

std::string effectPath(const std::string &name)
{
    return std::string(getenv("VXHOME")) + "/programs/vorlux/" + name;
}

// Checks the instance's effect file the way the plug-in will load it.
// 0 fine, 2 refused (message said); notes the default effect otherwise.
int checkEffect(const RenderOptions &o, int fieldW, int fieldH, Warnings &warn)
{
    const std::string name = o.effect.empty() ? "untitled" : o.effect;
    const std::string path = effectPath(name);
    const std::string size = std::to_string(fieldW) + "x" + std::to_string(fieldH);
    const std::string make = "make a fitting one with `vxhost sample-effect " + name + " --size " +
                             size +
                             " --force`, or render the default effect with --allow-default-effect";
    std::string fault;
    const EffectFileState state = inspectEffectFile(path, fieldW, fieldH, fault);
    if (state == EffectFileState::MISSING) {
        if (o.effect.empty() || o.allowDefaultEffect) {
            fprintf(stderr,
                    "vxhost: instance '%s' has no effect file (%s): rendering the default effect\n",
                    name.c_str(), path.c_str());
            return 0;
        }
        fprintf(stderr,
                "vxhost: effect '%s' not found: no file %s\n"
                "vxhost: `vxhost effects` lists the effects; `vxhost sample-effect %s --size %s` "
                "makes one; "
                "--allow-default-effect renders the default effect\n",
                name.c_str(), path.c_str(), name.c_str(), size.c_str());
        return 2;
    }
    if (state == EffectFileState::FITS)
        return 0;
    if (o.allowDefaultEffect) {
        warn.say("effect '" + name + "' (" + path + ") " + fault +
                 ": rendering the default effect");
        return 0;
    }
    fprintf(stderr, "vxhost: effect '%s' (%s) %s\nvxhost: %s\n", name.c_str(), path.c_str(),
            fault.c_str(), make.c_str());
    return 2;
}

// Worker processes of --jobs: each renders one range of fields to a stream
// the parent reads in order.
struct Worker {
    pid_t pid = -1;
    FILE *stream = nullptr; // read end of the pipe, or the worker's temporary file
};

std::vector<std::string> workerArgs(const RenderOptions &o, const std::string &stateFile,
                                    long fields, long a, long b)
{
    std::vector<std::string> args = {"render",
                                     o.plugin,
                                     "-o",
                                     "-",
                                     "-q",
                                     "--fields",
                                     std::to_string(fields),
                                     "--range",
                                     std::to_string(a) + ":" + std::to_string(b),
                                     "--worker-state",
                                     stateFile,
                                     "--max-pixels",
                                     std::to_string(o.maxPixels)};
    auto add = [&](const std::string &opt, const std::string &value) {
        args.push_back(opt);
        args.push_back(value);
    };
    if (!o.input0.empty())
        add("--input0", o.input0);
    if (!o.input1.empty())
        add("--input1", o.input1);
    if (!o.effect.empty())
        add("--effect", o.effect);
    if (o.projectWidth)
        add("--project", std::to_string(o.projectWidth) + "x" + std::to_string(o.projectHeight));
    if (o.projectSize)
        args.push_back("--project-size");
    if (o.progressive)
        args.push_back("--progressive");
    if (o.order != FieldOrder::FromInput)
        args.push_back(o.order == FieldOrder::TopFirst ? "--top-first" : "--bottom-first");
    if (o.allowDefaultEffect)
        args.push_back("--allow-default-effect");
    if (o.strict)
        args.push_back("--strict");
    return args;
}

bool startWorker(const char *self, const std::vector<std::string> &args, bool toPipe, Worker &w,
                 std::string &err)
{
    int fds[2] = {-1, -1};
    if (toPipe) {
        if (pipe(fds) != 0) {
            err = std::string("cannot make a pipe for a worker: ") + strerror(errno);
            return false;
        }
        w.stream = fdopen(fds[0], "rb");
    } else {
        w.stream = tmpfile();
        if (w.stream)
            fds[1] = dup(fileno(w.stream));
    }
    if (!w.stream || fds[1] < 0) {
        err = std::string("cannot make an output for a worker: ") + strerror(errno);
        return false;
    }
    std::vector<char *> argv;
    argv.push_back((char *)self);
    for (const std::string &a : args)
        argv.push_back((char *)a.c_str());
    argv.push_back(nullptr);
    fflush(nullptr);
    w.pid = fork();
    if (w.pid < 0) {
        err = std::string("cannot start a worker: ") + strerror(errno);
        return false;
    }
    if (w.pid == 0) {
        dup2(fds[1], 1);
        close(fds[1]);
        if (toPipe)
            close(fds[0]);
        execv(self, argv.data());
        _exit(127);
    }
    close(fds[1]);
    return true;
}

int waitWorker(Worker &w)
{
    int status = 0;
    while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        if (interruptSignal)
            kill(w.pid, SIGTERM);
    }
    w.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status)
                             : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// Reads the next frame of a worker's stream (C444alpha) in order.
bool nextWorkerFrame(InputClip &in, long k, std::vector<uint32_t> &frame, std::string &err)
{
    std::string line;
    if (readY4mLine(in.fp, line) != LineResult::Ok || line.compare(0, 5, "FRAME") != 0) {
        err = "a worker's output ended early at frame " + std::to_string(k);
        return false;
    }
    in.raw.resize(in.frameBytes);
    if (fread(in.raw.data(), 1, in.frameBytes, in.fp) != in.frameBytes) {
        err = "a worker's output ended early in frame " + std::to_string(k);
        return false;
    }
    frame.resize((size_t)in.facts.width * in.facts.height);
    unpackY4mFrame(in.header, in.raw.data(), frame.data());
    return true;
}

bool openWorkerStream(Worker &w, InputClip &in, std::string &err)
{
    in = InputClip{};
    in.name = "worker output";
    std::string line;
    if (readY4mLine(w.stream, line) != LineResult::Ok || !parseY4mHeader(line, in.header, err) ||
        !y4mFrameBytes(in.header, in.frameBytes)) {
        err = "a worker wrote no usable output" + (err.empty() ? "" : " (" + err + ")");
        return false;
    }
    in.fp = w.stream;
    in.facts.width = in.header.w;
    in.facts.height = in.header.h;
    return true;
}

// Splits [0, fields) into `jobs` ranges on frame boundaries.
std::vector<std::pair<long, long>> splitRanges(long fields, int jobs, bool progressive)
{
    const long unit = progressive ? 1 : 2;
    const long units = (fields + unit - 1) / unit;
    std::vector<std::pair<long, long>> ranges;
    for (int j = 0; j < jobs; ++j) {
        const long a = units * j / jobs * unit, b = std::min(fields, units * (j + 1) / jobs * unit);
        if (b > a)
            ranges.emplace_back(a, b);
    }
    return ranges;
}

int runWorkers(const RenderOptions &o, const char *self, const std::string &stateFile, long fields,
               OutputClip &out, std::string &err)
{
    const auto ranges = splitRanges(fields, o.jobs, o.progressive);
    std::vector<Worker> workers(ranges.size());
    int code = 0;
    for (size_t j = 0; j < ranges.size() && code == 0; ++j)
        if (!startWorker(self, workerArgs(o, stateFile, fields, ranges[j].first, ranges[j].second),
                         j == 0, workers[j], err))
            code = 2;
    std::vector<uint32_t> frame;
    const long unit = o.progressive ? 1 : 2;
    const bool show = !o.quiet && isatty(2);
    long done = 0;
    for (size_t j = 0; j < workers.size() && code == 0; ++j) {
        Worker &w = workers[j];
        if (j > 0) {
            // Written to a temporary file: complete once the worker has ended.
            if (int status = waitWorker(w); status != 0) {
                err =
                    "worker " + std::to_string(j) + " failed (exit " + std::to_string(status) + ")";
                code = status >= 128 ? status : status == 1 ? 1 : 2;
                break;
            }
            rewind(w.stream);
        }
        InputClip in;
        if (!openWorkerStream(w, in, err)) {
            code = 1;
            break;
        }
        const long frames = (ranges[j].second - ranges[j].first + unit - 1) / unit;
        for (long k = 0; k < frames && code == 0; ++k) {
            if (interruptSignal)
                code = 128 + interruptSignal;
            else if (!nextWorkerFrame(in, k, frame, err))
                code = 1;
            else if (!writeFrame(out, frame.data(), err))
                code = interruptSignal ? 128 + interruptSignal : 2;
            done += unit;
            progress(show && code == 0, std::min(done, fields), fields);
        }
        if (j == 0 && code == 0)
            if (int status = waitWorker(w); status != 0) {
                err = "worker 0 failed (exit " + std::to_string(status) + ")";
                code = status >= 128 ? status : status == 1 ? 1 : 2;
            }
    }
    if (show)
        fprintf(stderr, "\n");
    for (Worker &w : workers) {
        if (w.pid > 0) {
            kill(w.pid, SIGTERM);
            waitWorker(w);
        }
        if (w.stream)
            fclose(w.stream);
    }
    return code;
}

// Copies standard input into a temporary file, so that worker processes can
// each read their part.
bool spoolStandardInput(std::string &path, std::string &err)
{
    char name[] = "/tmp/vxhost-stdin-XXXXXX";
    const char *dir = getenv("TMPDIR");
    std::string templ = std::string(dir && *dir ? dir : "/tmp") + "/vxhost-stdin-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    (void)name;
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        err = std::string("cannot make a temporary file for standard input: ") + strerror(errno);
        return false;
    }
    path = buffer.data();
    std::vector<char> chunk(1 << 20);
    for (;;) {
        const ssize_t n = read(0, chunk.data(), chunk.size());
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

int renderCommand(const RenderOptions &given, const char *self, std::string &stdinCopy)
{
    RenderOptions o = given;
    Warnings warn;
    warn.strict = o.strict;
    const bool worker = !o.workerState.empty();
    std::string err;
    if (!ensureHome(err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    if (o.jobs > 1 && (o.input0 == "-" || o.input1 == "-")) {
        if (!spoolStandardInput(stdinCopy, err)) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return interruptSignal ? 128 + interruptSignal : 2;
        }
        (o.input0 == "-" ? o.input0 : o.input1) = stdinCopy;
    }

    // Inputs.
    InputClip in0, in1;
    std::vector<std::string> notes;
    struct Closer {
        InputClip &a, &b;
        ~Closer()
        {
            closeInput(a);
            closeInput(b);
        }
    } closer{in0, in1};
    if (!o.input0.empty()) {
        if (!openInput(o.input0, o.maxPixels, in0, notes, err)) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return interruptSignal ? 128 + interruptSignal : 2;
        }
    } else {
        openSampleInput(0, 720, 576, 50, in0);
    }
    const int w = in0.facts.width, h = in0.facts.height;
    if (!o.input1.empty()) {
        if (!openInput(o.input1, o.maxPixels, in1, notes, err)) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return interruptSignal ? 128 + interruptSignal : 2;
        }
    } else {
        openSampleInput(1, w, h, in0.complete ? std::max(in0.knownFrames, 1L) : 50, in1);
    }
    for (const std::string &n : notes)
        warn.say(n);
    if (h < 2 && !o.progressive) {
        fprintf(stderr, "vxhost: %s: frames of %dx%d are too small to split into fields\n",
                shown(o.input0, 0).c_str(), w, h);
        return 2;
    }
    if (in1.facts.width != w || in1.facts.height != h) {
        fprintf(stderr, "vxhost: %s is %dx%d but %s is %dx%d: both inputs must have one size\n",
                shown(o.input1, 1).c_str(), in1.facts.width, in1.facts.height,
                shown(o.input0, 0).c_str(), w, h);
        return 2;
    }
    if (!o.input1.empty() && (int64_t)in1.facts.fpsNum * in0.facts.fpsDen !=
                                 (int64_t)in0.facts.fpsNum * in1.facts.fpsDen)
        warn.say(shown(o.input1, 1) + " runs at " + std::to_string(in1.facts.fpsNum) + ":" +
                 std::to_string(in1.facts.fpsDen) + " frames/s but " + shown(o.input0, 0) + " at " +
                 std::to_string(in0.facts.fpsNum) + ":" + std::to_string(in0.facts.fpsDen));

    // Field layout and length.
    const bool bottomFirst = o.order == FieldOrder::BottomFirst ||
                             (o.order == FieldOrder::FromInput && in0.facts.interlace == 'b');
    const FieldPlan plan = planFields(w, h, o.progressive, bottomFirst);
    long fields = o.fields;
    if (fields < 0) {
        long frames;
        if (in0.kind == InputKind::Still)
            frames = 25; // a still is a clip of one second
        else if (!countFrames(in0, frames, err)) {
            if (interruptSignal) {
                fprintf(stderr, "vxhost: interrupted while reading %s\n",
                        shown(o.input0, 0).c_str());
                return 128 + interruptSignal;
            }
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return 2;
        }
        fields = o.progressive ? frames : 2 * frames;
    }
    const long unit = o.progressive ? 1 : 2;
    long begin = 0, end = fields;
    if (o.rangeBegin >= 0) {
        if (o.rangeBegin >= fields || o.rangeBegin % unit != 0 ||
            (o.rangeEnd < fields && o.rangeEnd % unit != 0)) {
            fprintf(stderr,
                    "vxhost: --range %ld:%ld does not fit: the clip has %ld fields and a range "
                    "must start and end "
                    "on a frame (even field numbers; the end may be past the last field)\n",
                    o.rangeBegin, o.rangeEnd, fields);
            return 2;
        }
        begin = o.rangeBegin;
        end = std::min(o.rangeEnd, fields);
    }
    const int projW = o.projectWidth ? o.projectWidth : w;
    const int projH = o.projectHeight ? o.projectHeight : 2 * plan.fieldHeight;
    const int workW = o.projectSize ? projW : plan.fieldWidth;
    const int workH = o.projectSize ? projH / 2 : plan.fieldHeight;
    // What the plug-in would refuse at its first render, refused here.
    if (workW < 8 || workH < 4) {
        fprintf(stderr,
                "vxhost: the plug-in cannot render pictures of %dx%d (at least 8x4: a grid of 2x2 "
                "cells)%s\n",
                workW, workH, o.projectSize ? "; the project size's fields are that small" : "");
        return 2;
    }
    if (o.projectSize && (workW < plan.fieldWidth || workH < plan.fieldHeight)) {
        fprintf(stderr,
                "vxhost: --project-size prepares the effect at the project's fields of %dx%d, "
                "smaller than the "
                "input's fields of %dx%d: the plug-in cannot render into them (give a larger "
                "--project)\n",
                workW, workH, plan.fieldWidth, plan.fieldHeight);
        return 2;
    }

    // The plug-in and its instance state.
    Plugin plugin;
    if (!loadPlugin(o.plugin, plugin, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    struct Unloader {
        Plugin &p;
        ~Unloader() { unloadPlugin(p); }
    } unloader{plugin};
    Host host;
    host.askOnTerminal = !worker;
    host.tags = plugin.getInfo();
    if (!checkDescriptor(plugin, host.tags, err) || !resolveGadgets(host.tags, o.gadgets, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    for (const std::string &reply : o.replies)
        if (reply.find('/') != std::string::npos || reply.find("..") != std::string::npos) {
            fprintf(stderr,
                    "vxhost: --reply '%s': requester answers are plain file names (no / or ..)\n",
                    reply.c_str());
            return 2;
        }
    if (!worker && usesEffectFile(host.tags))
        if (int code = checkEffect(o, workW, workH, warn); code != 0)
            return code;
    if (warn.strict && warn.count) {
        fprintf(stderr, "vxhost: --strict: stopping after %d warning(s)\n", warn.count);
        return 2;
    }
    const std::string instance = o.effect.empty() ? "untitled" : o.effect;
    const std::string state = instanceStatePath(o.plugin, instance);
    if (worker)
        restoreInstance(o.workerState, host.tags);
    else if (!o.fresh) {
        const std::vector<char> defaults = instanceSnapshot(host.tags);
        if (restoreInstance(state, host.tags) && instanceSnapshot(host.tags) != defaults)
            fprintf(stderr,
                    "vxhost: instance '%s' uses its saved settings (vxhost state shows them, "
                    "--fresh leaves them out)\n",
                    instance.c_str());
    }

    // Output.
    Clip facts = in0.facts;
    facts.frames.clear();
    OutputClip out;
    // Whatever ends the run (an exception included), no temporary stays.
    struct Abandoner {
        OutputClip &out;
        ~Abandoner() { abandonOutput(out); }
    } abandoner{out};
    MediaSettings media;
    media.codec = o.codec;
    media.crf = o.crf;
    media.fmt = o.pixFmtGiven ? o.pixFmt : PixFmt::Yuv420;
    if (!openOutput(o.output, facts, worker ? PixFmt::Yuva444 : o.pixFmt, out, err, &media)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    for (const std::string &n : out.notes)
        warn.say(n);

    auto start = std::chrono::steady_clock::now();
    int code = 0;
    Drive d;
    d.options = &o;
    d.plan = plan;
    d.totalFields = fields;
    d.begin = begin;
    d.end = end;
    d.runGadgets = !worker;
    d.echoJournal = true;
    d.showProgress = !o.quiet && isatty(2) && o.jobs == 1;
    bool shortWarned = false;
    d.frameOf = [&](int input, long k, std::string &why) -> const uint32_t * {
        InputClip &in = input == 0 ? in0 : in1;
        const uint32_t *px = frameAt(in, k, why);
        if (px && input == 1 && !shortWarned && in.complete && k >= in.knownFrames &&
            !o.input1.empty()) {
            shortWarned = true;
            warn.say(shown(o.input1, 1) + " has " + std::to_string(in.knownFrames) +
                     " frames, fewer than the render needs: its last frame is repeated");
            if (warn.strict) {
                why = "--strict: input 1 is shorter than the render";
                return nullptr;
            }
        }
        return px;
    };
    d.deliver = [&](const std::vector<uint32_t> &frame, std::string &why) {
        return writeFrame(out, frame.data(), why);
    };
    if (o.jobs > 1) {
        // The parent alone applies the gadgets and keeps the state; workers
        // render from a copy of it.
        std::string stateCopy =
            std::string(getenv("VXHOME")) + "/vxhost/instances/.job-" + std::to_string(getpid());
        std::error_code ec;
        fs::create_directories(fs::path(stateCopy).parent_path(), ec);
        d.begin = d.end = 0;
        code = drive(plugin, host, d, err);
        std::string why;
        if (code == 0 && !storeInstance(stateCopy, host.tags, why)) {
            err = why;
            code = 2;
        }
        if (code == 0)
            code = runWorkers(o, self, stateCopy, fields, out, err);
        unlink(stateCopy.c_str());
    } else {
        code = drive(plugin, host, d, err);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!worker && !o.fresh) {
        std::string stateErr;
        if (!storeInstance(state, host.tags, stateErr))
            fprintf(stderr, "vxhost: %s\n", stateErr.c_str());
    }
    const size_t journalLines = host.journal.size();
    notes.clear();
    if (code == 0 && !finishOutput(out, notes, err))
        code = interruptSignal ? 128 + interruptSignal : 2;
    if (code != 0) {
        abandonOutput(out);
        if (code >= 128)
            fprintf(stderr, "vxhost: interrupted; %s was left as it was\n", o.output.c_str());
        else
            fprintf(stderr, "vxhost: %s%s\n", code == 1 ? (o.plugin + ": ").c_str() : "",
                    err.c_str());
        if (journalLines)
            fprintf(stderr, "vxhost: %zu journal line(s) during the run\n", journalLines);
        return code;
    }
    for (const std::string &n : notes)
        warn.say(n);
    if (!worker)
        fprintf(
            stderr,
            "vxhost: rendered %ld fields in %.2f s (%.1f fields/s) to %s; %zu journal line(s)\n",
            end - begin, seconds, seconds > 0 ? (end - begin) / seconds : 0.0,
            o.output == "-" ? "standard output" : o.output.c_str(), journalLines);
    if (o.strict && (journalLines || warn.count)) {
        fprintf(stderr, "vxhost: --strict: %zu journal line(s), %d warning(s)\n", journalLines,
                warn.count);
        return 1;
    }
    return 0;
}

} // namespace

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

bool usesEffectFile(const OpTagItem *tags)
{
    uintptr_t value;
    return findTag(tags, OP_TAG_PARAMS, value) && value &&
           ((const ParamBlockDesc *)value)->size == 28;
}

EffectFileState inspectEffectFile(const std::string &path, int fieldW, int fieldH,
                                  std::string &fault)
{
    FILE *f = openRegularFile(path.c_str());
    if (!f && errno == ENOENT)
        return EffectFileState::MISSING;
    fault.clear();
    if (!f) {
        fault = std::string(errno == EISDIR   ? "is a directory"
                            : errno == EINVAL ? "is not a regular file"
                                              : strerror(errno));
    } else {
        unsigned char bytes[EFFECT_HEADER_BYTES] = {};
        struct stat st;
        fstat(fileno(f), &st);
        const size_t got = fread(bytes, 1, sizeof bytes, f);
        fclose(f);
        EffectHeader header;
        decodeEffectHeader(bytes, header);
        const char *layout =
            effectLayoutFault(header, got < sizeof bytes ? got : (uint64_t)st.st_size);
        if (layout)
            fault = layout;
        else if (header.width != fieldW || header.height != fieldH)
            fault = "is for fields of " + std::to_string(header.width) + "x" +
                    std::to_string(header.height) + " but these fields are " +
                    std::to_string(fieldW) + "x" + std::to_string(fieldH);
    }
    return fault.empty() ? EffectFileState::FITS : EffectFileState::UNUSABLE;
}

} // namespace vxh
