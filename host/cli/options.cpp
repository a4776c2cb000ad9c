#include "host/cli/options.h"

#include <algorithm>

#include "host/cli/numbers.h"
#include "host/core/plugin.h"
#include "host/io/output.h"

namespace vxh {

namespace {

enum Command : unsigned { RENDER = 1, EDIT = 2 };

enum class Value {
    NONE,   // a flag
    TEXT,   // any text, checked by the row's apply
    NUMBER, // decimal, minimum..maximum
    SIZE,   // WxH, sides from minimum x maximum up to 16384
};

// What a value was read as.
struct Parsed {
    std::string text;
    long number = 0;
    int w = 0, h = 0;
};

struct Target {
    RenderOptions &render;
    EditSettings *edit;
};

struct Option {
    const char *name;
    const char *alias; // another spelling, or null
    Value value;
    long minimum, maximum;
    // The refusal of a value: %v stands for the value, %min and %max for the range.
    const char *bad;
    unsigned takes;        // RENDER, EDIT
    const char *elsewhere; // said to a command that does not take it (null: unknown option)
    // Stores the value; false when it is refused (the row's message says why).
    bool (*apply)(Target &t, const Parsed &v);
};

bool plainName(const std::string &name)
{
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

bool addGadgetUse(Target &t, const Parsed &v, bool hasValue)
{
    GadgetUse use;
    use.hasValue = hasValue;
    const size_t eq = v.text.find('=');
    if (hasValue && (eq == std::string::npos || eq == 0 || eq + 1 == v.text.size()))
        return false;
    use.target = hasValue ? v.text.substr(0, eq) : v.text;
    use.setting = hasValue ? v.text.substr(eq + 1) : "";
    t.render.gadgets.push_back(use);
    return true;
}

const char kNoClip[] = "edit writes no clip: %o is for render";
const char kNoGadgets[] = "edit opens the editor itself: --gadget and --press are for render";
const char kForRender[] = "%o is for render";
const char kInputName[] =
    "%o takes a file name, not an empty text (leave the option out for the sample clip)";

const Option kOptions[] =
    {
        {"-o", "--output", Value::TEXT, 0, 0, "", RENDER, kNoClip,
         [](Target &t, const Parsed &v) {
             t.render.output = v.text;
             return true;
         }},
        {"--input0", nullptr, Value::TEXT, 0, 0, kInputName, RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.render.input0 = v.text;
             return !v.text.empty();
         }},
        {"--input1", nullptr, Value::TEXT, 0, 0, kInputName, RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.render.input1 = v.text;
             return !v.text.empty();
         }},
        {"--effect", nullptr, Value::TEXT, 0, 0, "--effect takes a plain name, not '%v'",
         RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.render.effect = v.text;
             return plainName(v.text);
         }},
        {"--fields", nullptr, Value::NUMBER, 1, 10000000,
         "--fields takes a number of fields from %min to %max, not '%v'", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.render.fields = v.number;
             return true;
         }},
        {"--project", nullptr, Value::SIZE, 4, 2,
         "--project takes WxH (4x2 up to 16384x16384), not '%v'", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.render.projectWidth = v.w;
             t.render.projectHeight = v.h;
             return true;
         }},
        {"--project-size", nullptr, Value::NONE, 0, 0, "", RENDER, kForRender,
         [](Target &t, const Parsed &) { return t.render.projectSize = true; }},
        {"--gadget", nullptr, Value::TEXT, 0, 0,
         "--gadget takes GADGET=VALUE (an index 0..3 or a label, a number or an entry), not '%v'",
         RENDER, kNoGadgets, [](Target &t, const Parsed &v) { return addGadgetUse(t, v, true); }},
        {"--press", nullptr, Value::TEXT, 0, 0, "", RENDER, kNoGadgets,
         [](Target &t, const Parsed &v) { return addGadgetUse(t, v, false); }},
        {"--reply", nullptr, Value::TEXT, 0, 0, "", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.render.replies.push_back(v.text);
             return true;
         }},
        {"-q", "--quiet", Value::NONE, 0, 0, "", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &) { return t.render.quiet = true; }},
        {"--top-first", nullptr, Value::NONE, 0, 0, "", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &) {
             t.render.order = FieldOrder::TopFirst;
             return true;
         }},
        {"--bottom-first", nullptr, Value::NONE, 0, 0, "", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &) {
             t.render.order = FieldOrder::BottomFirst;
             return true;
         }},
        {"--progressive", nullptr, Value::NONE, 0, 0, "", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &) {
             t.render.scan = Scan::Progressive;
             return true;
         }},
        {"--interlaced", nullptr, Value::NONE, 0, 0, "", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &) {
             t.render.scan = Scan::Interlaced;
             return true;
         }},
        {"--pix-fmt", nullptr, Value::TEXT, 0, 0, "--pix-fmt takes 444alpha, 444 or 420, not '%v'",
         RENDER, kForRender,
         [](Target &t, const Parsed &v) {
             return t.render.pixFmtGiven = parsePixFmt(v.text, t.render.pixFmt);
         }},
        {"--codec", nullptr, Value::TEXT, 0, 0, "", RENDER, kForRender,
         [](Target &t, const Parsed &v) {
             t.render.codec = v.text;
             return true;
         }},
        {"--crf", nullptr, Value::NUMBER, 0, 63,
         "--crf takes a quality from 0 (best) to 63, not '%v'", RENDER, kForRender,
         [](Target &t, const Parsed &v) {
             t.render.crf = (int)v.number;
             return true;
         }},
        {"--audio", nullptr, Value::TEXT, 0, 0, "--audio takes input0, mix or none, not '%v'",
         RENDER, kForRender,
         [](Target &t, const Parsed &v) {
             t.render.audio = v.text == "mix"    ? AudioMode::Mix
                              : v.text == "none" ? AudioMode::None
                                                 : AudioMode::Input0;
             return v.text == "input0" || v.text == "mix" || v.text == "none";
         }},
        {"--max-pixels", nullptr, Value::NUMBER, 1, (long)kMaxFrameSide *kMaxFrameSide,
         "--max-pixels takes a number of pixels from %min to %max, not '%v'", RENDER | EDIT,
         nullptr,
         [](Target &t, const Parsed &v) {
             t.render.maxPixels = v.number;
             return true;
         }},
        {"--strict", nullptr, Value::NONE, 0, 0, "", RENDER, kForRender,
         [](Target &t, const Parsed &) { return t.render.strict = true; }},
        {"--allow-default-effect", nullptr, Value::NONE, 0, 0, "", RENDER | EDIT, nullptr,
         [](Target &t, const Parsed &) { return t.render.allowDefaultEffect = true; }},
        {"--fresh", nullptr, Value::NONE, 0, 0, "", RENDER, kForRender,
         [](Target &t, const Parsed &) { return t.render.fresh = true; }},
        {"--range", nullptr, Value::TEXT, 0, 0,
         "--range takes A:B, output fields A up to B-1 with A < B, not '%v'", RENDER, kForRender,
         [](Target &t, const Parsed &v) {
             RenderOptions &o = t.render;
             const size_t colon = v.text.find(':');
             return colon != std::string::npos &&
                    parseNumber(v.text.substr(0, colon), 0, 10000000, o.rangeBegin) &&
                    parseNumber(v.text.substr(colon + 1), 1, 10000000, o.rangeEnd) &&
                    o.rangeEnd > o.rangeBegin;
         }},
        {"--jobs", nullptr, Value::NUMBER, 1, 64,
         "--jobs takes a number of worker processes from %min to %max, not '%v'", RENDER,
         kForRender,
         [](Target &t, const Parsed &v) {
             t.render.jobs = (int)v.number;
             return true;
         }},
        // The state a worker process of --jobs renders with.
        {"--worker-state", nullptr, Value::TEXT, 0, 0, "", RENDER, kForRender,
         [](Target &t, const Parsed &v) {
             t.render.workerState = v.text;
             return true;
         }},
        // The farm folder whose rendered parts a farm's join writes out.
        {"--from-parts", nullptr, Value::TEXT, 0, 0, "", RENDER, kForRender,
         [](Target &t, const Parsed &v) {
             t.render.fromParts = v.text;
             return true;
         }},
        {"--window", nullptr, Value::NONE, 0, 0, "", EDIT, nullptr,
         [](Target &t, const Parsed &) { return t.edit->window = true; }},
        {"--script", nullptr, Value::TEXT, 0, 0, "", EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.edit->script = v.text;
             return true;
         }},
        {"--screenshot", nullptr, Value::TEXT, 0, 0, "", EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.edit->screenshot = v.text;
             return true;
         }},
        {"--dump-layout", nullptr, Value::TEXT, 0, 0, "", EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.edit->layout = v.text;
             return true;
         }},
        {"--preview-out", nullptr, Value::TEXT, 0, 0, "", EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.edit->previewOut = v.text;
             return true;
         }},
        {"--screen", nullptr, Value::SIZE, 64, 64,
         "--screen takes WxH from 64x64 to 8192x8192, not '%v'", EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             t.edit->width = v.w;
             t.edit->height = v.h;
             return v.w <= 8192 && v.h <= 8192 &&
                    v.text == std::to_string(v.w) + "x" + std::to_string(v.h);
         }},
        {"--gui-mode", nullptr, Value::TEXT, 0, 0, "--gui-mode takes 0..3, not '%v'", EDIT, nullptr,
         [](Target &t, const Parsed &v) {
             long long mode;
             if (!parseScriptNumber(v.text, mode) || mode < 0 || mode > 3)
                 return false;
             t.edit->guiMode = (int)mode;
             return true;
         }},
};

const Option *findOption(const std::string &arg)
{
    for (const Option &o : kOptions)
        if (arg == o.name || (o.alias && arg == o.alias))
            return &o;
    return nullptr;
}

std::string replaced(std::string text, const std::string &what, const std::string &by)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + by.size()))
        text.replace(at, what.size(), by);
    return text;
}

// A row's message for the option as given (%o), its value and its range.
std::string say(const Option &o, const std::string &given, const char *message,
                const std::string &value = "")
{
    std::string text = replaced(message, "%o", given);
    text = replaced(text, "%min", std::to_string(o.minimum));
    text = replaced(text, "%max", std::to_string(o.maximum));
    return replaced(text, "%v", value);
}

// Reads a row's value; false when the text is not of its kind or range.
bool readValue(const Option &o, const std::string &text, Parsed &v)
{
    v.text = text;
    switch (o.value) {
    case Value::NUMBER:
        return parseNumber(text, o.minimum, o.maximum, v.number);
    case Value::SIZE:
        return parseSize(text, (int)o.minimum, (int)o.maximum, v.w, v.h);
    default:
        return true;
    }
}

// --progressive against --interlaced and the field orders, which ask for
// fields.
bool checkScan(const std::vector<std::string> &args, RenderOptions &o, std::string &err)
{
    auto given = [&](const char *name) {
        return std::find(args.begin(), args.end(), name) != args.end();
    };
    if (given("--progressive") && given("--interlaced")) {
        err = "--progressive and --interlaced ask for opposite things: give one";
        return false;
    }
    if (o.order != FieldOrder::FromInput) {
        if (o.scan == Scan::Progressive) {
            err = "--progressive has no field order: leave out --top-first/--bottom-first";
            return false;
        }
        o.scan = Scan::Interlaced;
    }
    return true;
}

bool parseArgs(Command command, const std::vector<std::string> &args, Target t, std::string &err)
{
    const char *name = command == RENDER ? "render" : "edit";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const Option *o = findOption(a);
        if (o && !(o->takes & command) && o->elsewhere) {
            err = say(*o, a, o->elsewhere);
            return false;
        }
        if (!o || !(o->takes & command)) {
            if (!a.empty() && a[0] == '-') {
                err = "unknown option '" + a + "' (vxhost " + name + " --help lists the options)";
                return false;
            }
            if (!t.render.plugin.empty()) {
                err = "unexpected argument '" + a + "'";
                return false;
            }
            t.render.plugin = findPlugin(a);
            continue;
        }
        Parsed v;
        if (o->value != Value::NONE) {
            if (i + 1 >= args.size()) {
                err = a + " needs a value";
                return false;
            }
            if (!readValue(*o, args[++i], v)) {
                err = say(*o, a, o->bad, args[i]);
                return false;
            }
        }
        if (!o->apply(t, v)) {
            err = say(*o, a, o->bad, v.text);
            return false;
        }
    }
    if (t.render.plugin.empty()) {
        err = std::string(name) + " needs a plug-in file";
        return false;
    }
    return checkScan(args, t.render, err);
}

} // namespace

bool parseRenderArgs(const std::vector<std::string> &args, RenderOptions &o, std::string &err)
{
    if (!parseArgs(RENDER, args, Target{o, nullptr}, err))
        return false;
    if (o.output.empty()) {
        err = "render needs -o OUT (.y4m, - for standard output, a PNG pattern such as "
              "out_%04d.png, or a media file such as .mp4, .mov, .mkv or .avi)";
        return false;
    }
    if (o.input0 == "-" && o.input1 == "-") {
        err = "only one input can be standard input";
        return false;
    }
    if ((!o.codec.empty() || o.crf >= 0) && !isMediaOutputName(o.output)) {
        err = "--codec and --crf apply to media file outputs only (.mp4, .mov, .mkv, .avi, ...)";
        return false;
    }
    if (o.jobs > 1 && o.rangeBegin >= 0) {
        err = "--jobs splits the whole clip: it does not combine with --range";
        return false;
    }
    return true;
}

bool parseEditArgs(const std::vector<std::string> &args, RenderOptions &o, EditSettings &edit,
                   std::string &err)
{
    if (!parseArgs(EDIT, args, Target{o, &edit}, err))
        return false;
    if (o.input0 == "-" && o.input1 == "-") {
        err = "only one input can be standard input";
        return false;
    }
    return true;
}

} // namespace vxh
