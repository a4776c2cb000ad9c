// The adapter: each frei0r instance holds one operator instance, made by
// its variant's hooks, and drives it through the same session driver and
// field planner as vxhost. A frame becomes two fields of the host's Y, U,
// V, A pixels (or one picture when progressive), the operator renders each
// field, and the woven result goes back as RGBA. Each instance has a host
// of its own, bound to the thread that updates it, so instances on
// different threads render at once; nothing is shared between instances
// but what is made once for the process (VXHOME, the host's time unit).
#include "frei0r/adapter.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fileio/effectfiles.h"
#include "host/core/fields.h"
#include "host/core/home.h"
#include "host/core/host.h"
#include "host/core/pixels.h"
#include "host/core/plugin.h"
#include "host/core/session.h"
#include "operator/frame/dispatch.h"
#include "transition/transition.h"

namespace {

constexpr int kDeformTypes = DEFORM_TYPES;
constexpr uint32_t kInstanceId = 1;
constexpr double kMaxFrames = 5000000;

// Parameters; the procedural kind has no effect file and starts at P_LENGTH.
// Hosts clamp doubles to 0..1 (GUI hosts, GStreamer), so lengths, rates,
// amounts and the cross-fade length are strings holding the number; the
// progress is a double in 0..1, used when use_progress is set (melt can
// keyframe it); every declared default is one the plug-in accepts.
enum ParamId {
    P_EFFECT,
    P_LENGTH,
    P_RATE,
    P_PROGRESS,
    P_PROGRESSIVE,
    P_USE_PROGRESS,
    P_AMOUNT,
    P_FADE = P_AMOUNT + kDeformTypes,
    P_COUNT
};

#define VXF_AMOUNT(k)                                                                              \
    {                                                                                              \
        "amount" #k, F0R_PARAM_STRING,                                                             \
            "amount of deformation type " #k ", a number from -100 to 100 (default 0)"             \
    }
const f0r_param_info_t kParams[P_COUNT] = {
    {"effect", F0R_PARAM_STRING,
     "effect file: a name below $VXHOME/programs/vorlux/, or a path (with a '/')"},
    {"length", F0R_PARAM_STRING,
     "length of the clip in frames, a number (the operator sees two fields each; default 50)"},
    {"rate", F0R_PARAM_STRING,
     "frames per second, a number, to turn the host's time into a frame (default 25)"},
    {"progress", F0R_PARAM_DOUBLE,
     "position in the clip, 0 = first frame .. 1 = last, when use_progress is set"},
    {"progressive", F0R_PARAM_BOOL,
     "whole frames, one picture each; unset, the effect's size decides between frames and fields"},
    {"use_progress", F0R_PARAM_BOOL,
     "progress gives the position in the clip; unset, the host's time does"},
    VXF_AMOUNT(0),
    VXF_AMOUNT(1),
    VXF_AMOUNT(2),
    VXF_AMOUNT(3),
    VXF_AMOUNT(4),
    VXF_AMOUNT(5),
    VXF_AMOUNT(6),
    VXF_AMOUNT(7),
    VXF_AMOUNT(8),
    VXF_AMOUNT(9),
    VXF_AMOUNT(10),
    VXF_AMOUNT(11),
    VXF_AMOUNT(12),
    VXF_AMOUNT(13),
    VXF_AMOUNT(14),
    VXF_AMOUNT(15),
    VXF_AMOUNT(16),
    {"fade", F0R_PARAM_STRING, "cross-fade length in fields, a number from 0 to 300 (default 25)"},
};
#undef VXF_AMOUNT

struct Settings {
    std::string effect = "untitled";
    double length = 50, rate = 25, progress = 0;
    bool lengthGiven = false, useProgress = false;
    int progressive = -1; // -1: from the effect's size

    double amounts[kDeformTypes] = {};
    double fade = 25;
    // The texts of the number parameters as the host set them.
    std::string texts[P_COUNT];
};

// What one set-up of the operator is made for; a change sets it up anew.
struct SetupKey {
    std::string effect;
    uint32_t fieldCount = 0;
    int progressive = -1;
    bool lengthGiven = false;
    int16_t amounts[kDeformTypes] = {};
    int16_t fade = 0;
    bool operator==(const SetupKey &) const = default;
};

struct Instance {
    const VxfKind *kind = nullptr;
    int width = 0, height = 0;
    Settings settings;
    void *op = nullptr; // the operator instance (null: the input passes through)
    vxh::Host host;
    // Drives the operator through its entry, on whichever thread updates.
    vxh::Session session;
    bool setUp = false, setupFailed = false;
    SetupKey prepared;
    std::vector<uint32_t> frames[2];           // the inputs' current frame in host pixels
    long heldFrame = -1;                       // the frame the planner asks for the current fields
    bool reported = false;                     // why the input passes through, said once
    bool saidScan = false, saidLength = false; // the notes on the effect, said once
    bool saidNumber = false;                   // a parameter that is not a number, said once
    // A host may update one instance from several threads at once (slices).
    std::mutex lock;
};

// ffmpeg's frei0r filter passes the frame's time stamp in milliseconds;
// MLT (melt) and other hosts pass seconds.
double secondsPerTimeUnit()
{
    static const double unit = dlsym(RTLD_DEFAULT, "mlt_factory_init")   ? 1.0
                               : dlsym(RTLD_DEFAULT, "avfilter_version") ? 0.001
                                                                         : 1.0;
    return unit;
}

// Rounds to the nearest integer within lo..hi; NaN gives lo.
long clampRound(double value, double lo, double hi)
{
    if (!(value > lo))
        return (long)lo;
    return value >= hi ? (long)hi : (long)std::floor(value + 0.5);
}

int paramId(const VxfKind &kind, int index)
{
    const int id = kind.procedural ? index + P_LENGTH : index;
    if (index < 0 || id >= P_COUNT || (!kind.procedural && id >= P_AMOUNT))
        return -1;
    return id;
}

// A note to the user (on how the effect is used, a parameter ignored), said
// once per instance.
void note(const Instance &inst, bool &said, const std::string &what)
{
    if (!said)
        fprintf(stderr, "%s: %s\n", inst.kind->name, what.c_str());
    said = true;
}

// The number a parameter holds: the double of progress, the parsed
// text of the others.
double *numberParam(Settings &s, int id)
{
    switch (id) {
    case P_LENGTH:
        return &s.length;
    case P_RATE:
        return &s.rate;
    case P_PROGRESS:
        return &s.progress;
    case P_FADE:
        return &s.fade;
    default:
        return id >= P_AMOUNT && id < P_FADE ? &s.amounts[id - P_AMOUNT] : nullptr;
    }
}

// The default text of a number parameter.
const char *defaultText(int id)
{
    switch (id) {
    case P_LENGTH:
        return "50";
    case P_RATE:
    case P_FADE:
        return "25";
    default:
        return "0";
    }
}

// A number in C notation, whatever the locale; false for anything else.
bool parseNumber(const std::string &text, double &value)
{
    const char *begin = text.c_str(), *end = begin + text.size();
    while (begin < end && isspace((unsigned char)*begin))
        ++begin;
    while (end > begin && isspace((unsigned char)end[-1]))
        --end;
    if (begin < end && *begin == '+')
        ++begin;
    double parsed = 0;
    const auto [stop, ec] = std::from_chars(begin, end, parsed);
    if (ec != std::errc() || stop != end || begin == end || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

// Sets a number parameter from its text; an empty length is no length.
void setNumberText(Instance &inst, int id, const char *text)
{
    Settings &s = inst.settings;
    const std::string given = text ? text : "";
    double value = 0;
    if (id == P_LENGTH && given.find_first_not_of(" \t") == std::string::npos) {
        s.texts[id].clear();
        s.length = 50;
        s.lengthGiven = false;
    } else if (parseNumber(given, value)) {
        s.texts[id] = given;
        *numberParam(s, id) = value;
        s.lengthGiven = s.lengthGiven || id == P_LENGTH;
    } else {
        note(inst, inst.saidNumber,
             std::string(kParams[id].name) + " '" + given + "' is not a number; it stays " +
                 (s.texts[id].empty() ? defaultText(id) : s.texts[id]));
    }
}

uint32_t framesOf(const Settings &s)
{
    return (uint32_t)clampRound(s.length, 1, kMaxFrames);
}

SetupKey setupKeyOf(const Instance &inst)
{
    const Settings &s = inst.settings;
    SetupKey key;
    key.effect = inst.kind->procedural ? "" : s.effect;
    key.fieldCount = 2 * framesOf(s);
    key.progressive = s.progressive;
    key.lengthGiven = s.lengthGiven;
    if (inst.kind->procedural) {
        for (int j = 0; j < kDeformTypes; ++j)
            key.amounts[j] = (int16_t)clampRound(s.amounts[j], -100, 100);
        key.fade = (int16_t)clampRound(s.fade, 0, 300);
    }
    return key;
}

// Frame k of the clip: from the progress value when it is set, else from
// the host's time; clamped to the clip.
uint32_t frameOf(const Settings &s, double time)
{
    const uint32_t frames = framesOf(s);
    const double k =
        s.useProgress ? s.progress * (frames - 1) : time * secondsPerTimeUnit() * s.rate;
    return (uint32_t)clampRound(k, 0, frames - 1);
}

// VXHOME is made sure of once per process, by the first instance (it may
// set the environment, which no other thread may do at the same time); every
// later instance gets the same answer.
bool homeReady(std::string &err)
{
    static const std::string failure = [] {
        std::string why;
        return vxh::ensureHome(why) ? std::string() : why;
    }();
    err = failure;
    return failure.empty();
}

// The operator entry the session drives: the instance's operator through
// its variant's hooks, as a plug-in's exports drive their one instance.
const OpTagItem *describeOperator(void *self)
{
    const Instance &inst = *(const Instance *)self;
    return inst.kind->variant->hooks->describe(inst.op, nullptr);
}

int actOnOperator(void *self, ActionRecord *record)
{
    const Instance &inst = *(const Instance *)self;
    return dispatchAction(*inst.kind->variant, inst.op, record);
}

void report(Instance &inst, const std::string &what)
{
    if (inst.reported)
        return;
    inst.reported = true;
    fprintf(stderr, "%s: %s; passing the input through\n", inst.kind->name, what.c_str());
}

// VorluxOp keeps the amounts of its 17 deformation types and the
// cross-fade length in its parameter block, and reads the cross-fade length
// from its length slider (gadget 2).
void applyProceduralParams(const OpTagItem *tags, const SetupKey &key)
{
    uintptr_t value = 0;
    if (vxh::findTag(tags, OP_TAG_PARAMS, value) && value) {
        auto *desc = (ParamBlockDesc *)value;
        if (desc->block && desc->size >= sizeof(OpParamBlock)) {
            auto &params = *(OpParamBlock *)desc->block;
            std::copy(std::begin(key.amounts), std::end(key.amounts), params.deformAmount);
            params.transitionLength = key.fade;
        }
    }
    vxh::setGadgetValue(vxh::findGadget(tags, 0), 0);
    vxh::setGadgetValue(vxh::findGadget(tags, 1), key.amounts[0]);
    vxh::setGadgetValue(vxh::findGadget(tags, 2), key.fade);
}

std::string sizeText(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// Checks the effect file as the operator will load it, picks whole frames
// or fields from its size when the key leaves it open (saying which), and
// notes an effect whose length differs from the clip's. False with why the
// input has to pass through.
bool checkEffect(Instance &inst, const SetupKey &key, bool &progressive, std::string &err)
{
    progressive = key.progressive > 0;
    if (inst.kind->procedural)
        return true;
    const std::string &name = key.effect;
    const std::string path = vxh::effectFilePath(name);
    EffectHeader header;
    std::string fault;
    // A file the operator cannot read is left to it: its set-up fails and
    // its journal line says why.
    switch (inspectEffectFile(path, header, fault)) {
    case EffectFileState::MISSING:
        err = "effect '" + name + "' not found: no file " + path;
        return false;
    case EffectFileState::UNUSABLE:
        return true;
    case EffectFileState::FOUND:
        break;
    }
    const int w = inst.width, h = inst.height;
    const vxh::EffectFit fit = vxh::fitOfEffect(w, h, header.width, header.height);
    if (key.progressive < 0 && fit != vxh::EffectFit::Neither) {
        progressive = fit == vxh::EffectFit::Frames;
        note(inst, inst.saidScan,
             "effect '" + name + "' is made for " +
                 (progressive ? "whole frames of " + sizeText(w, h) + ": one picture a frame"
                              : "fields of " + sizeText(header.width, header.height) +
                                    ": two fields a frame"));
    }
    const vxh::FieldPlan plan = vxh::planFields(w, h, progressive, false);
    if (header.width != plan.fieldWidth || header.height != plan.fieldHeight) {
        err = "effect '" + name + "' (" + path + ") is made for pictures of " +
              sizeText(header.width, header.height) + " but " +
              (progressive ? "these whole frames are " : "the fields of these frames are ") +
              sizeText(plan.fieldWidth, plan.fieldHeight) + "; `vxhost effect resize " + name +
              " NEW --size " + sizeText(plan.fieldWidth, plan.fieldHeight) +
              "` writes a copy of it for them";
        return false;
    }
    const uint32_t frames = key.fieldCount / 2;
    if (header.frameCount != frames)
        note(inst, inst.saidLength,
             "effect '" + name + "' has " + std::to_string(header.frameCount) + " frames but " +
                 (key.lengthGiven
                      ? "length is " + std::to_string(frames)
                      : "no length was given (taken as " + std::to_string(frames) + ")") +
                 ": its keys are rescaled to " + std::to_string(frames) +
                 " frames and the last one holds after them; give length as the clip's frames");
    return true;
}

void endSetup(Instance &inst)
{
    if (inst.setUp)
        vxh::tearDownOperator(inst.session);
    inst.setUp = false;
}

// Sets the operator up for key, as a host does before a clip: install,
// parameters, set-up. A failed set-up is not retried until the key changes.
bool prepare(Instance &inst, const SetupKey &key, std::string &err)
{
    if (key == inst.prepared && (inst.setUp || inst.setupFailed))
        return inst.setUp;
    endSetup(inst);
    inst.prepared = key;
    inst.setupFailed = true;
    vxh::Session &s = inst.session;
    bool progressive;
    if (!checkEffect(inst, key, progressive, err))
        return false;
    inst.host.tags = s.entry.describe(s.entry.self); // also resets the parameter block
    s.plan = vxh::planFields(inst.width, inst.height, progressive, false);
    s.fieldCount = key.fieldCount;
    inst.host.projectWidth = inst.width;
    inst.host.projectHeight = 2 * s.plan.fieldHeight;
    // The effect parameter: a name in the operator's directory, or a path.
    inst.host.instanceNames[kInstanceId] = key.effect;
    if (inst.kind->procedural)
        applyProceduralParams(inst.host.tags, key);
    vxh::installOperator(s);
    if (!vxh::setUpOperator(s, err))
        return false;
    inst.setUp = true;
    inst.setupFailed = false;
    return true;
}

void toHostPixels(const uint32_t *rgba, size_t count, std::vector<uint32_t> &yuva)
{
    yuva.resize(count);
    const auto *bytes = (const uint8_t *)rgba;
    for (size_t i = 0; i < count; ++i, bytes += 4)
        yuva[i] = vxh::rgbaToYuva(bytes[0], bytes[1], bytes[2], bytes[3]);
}

void toRgba(const uint32_t *yuva, size_t count, uint32_t *rgba)
{
    auto *bytes = (uint8_t *)rgba;
    for (size_t i = 0; i < count; ++i, bytes += 4)
        vxh::yuvaToRgba(yuva[i], bytes[0], bytes[1], bytes[2], bytes[3]);
}

// The session's frames: the current frame of each input, nothing else; a
// filter's operator that reads a second input (the draw operator's guide)
// gets the first again.
void serveFrames(Instance &inst)
{
    Instance *self = &inst;
    inst.session.frames = [self](int input, long frame, std::string &why) -> const uint32_t * {
        if (frame != self->heldFrame) {
            why = "frame " + std::to_string(frame) + " asked for while frame " +
                  std::to_string(self->heldFrame) + " is held";
            return nullptr;
        }
        const int inputs = self->kind->pluginType == F0R_PLUGIN_TYPE_MIXER2 ? 2 : 1;
        return self->frames[input < inputs ? input : 0].data();
    };
}

// One frame: its fields (or its one picture when progressive) rendered
// through the session and woven by the field planner, as vxhost render
// renders the same frame of a clip.
bool renderFrame(Instance &inst, double time, const uint32_t *in1, const uint32_t *in2,
                 uint32_t *out)
{
    if (!inst.op)
        return false;
    const SetupKey key = setupKeyOf(inst);
    const uint32_t frame = frameOf(inst.settings, time);
    const size_t count = (size_t)inst.width * inst.height;
    const uint32_t *inputs[2] = {in1, in2 ? in2 : in1};
    inst.host.journal.clear();
    for (int i = 0; i < 2; ++i)
        toHostPixels(inputs[i], count, inst.frames[i]);

    vxh::SessionBinding binding(inst.session);
    std::string err;
    if (!prepare(inst, key, err)) {
        report(inst, err);
        return false;
    }
    const long first = 2 * (long)frame;
    inst.heldFrame = vxh::frameOfField(inst.session.plan, (uint32_t)first);
    const vxh::FrameSink deliver = [out, count](std::vector<uint32_t> &frame, std::string &) {
        const uint32_t *woven = frame.data();
        toRgba(woven, count, out);
        return true;
    };
    const int code = vxh::renderFields(inst.session, first, first + 2, 0, deliver, err);
    if (code != 0) {
        report(inst, code == 1 ? "the " + err : err);
        return false;
    }
    return true;
}

} // namespace

void vxfPluginInfo(const VxfKind *kind, f0r_plugin_info_t *info)
{
    info->name = kind->name;
    info->author = "Vorlux";
    info->plugin_type = kind->pluginType;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = kind->procedural ? P_COUNT - P_LENGTH : P_AMOUNT;
    info->explanation = kind->explanation;
}

void vxfParamInfo(const VxfKind *kind, f0r_param_info_t *info, int index)
{
    const int id = paramId(*kind, index);
    if (id >= 0 && info)
        *info = kParams[id];
}

f0r_instance_t vxfConstruct(const VxfKind *kind, unsigned width, unsigned height)
{
    try {
        auto inst = std::make_unique<Instance>();
        inst->kind = kind;
        inst->width = (int)width;
        inst->height = (int)height;
        inst->session.entry = {inst.get(), describeOperator, actOnOperator};
        inst->session.host = &inst->host;
        inst->session.services = vxh::hostServices(inst->host);
        inst->session.instance = kInstanceId;
        serveFrames(*inst);
        // The operator instance is made last: nothing throws after it, so it
        // cannot leak.
        std::string err;
        if (width < 1 || height < 1 || width > vxh::kMaxFrameSide || height > vxh::kMaxFrameSide)
            report(*inst, "frames of " + std::to_string(width) + "x" + std::to_string(height) +
                              " are outside 1..16384");
        else if (!homeReady(err))
            report(*inst, err);
        else if (!(inst->op = kind->variant->hooks->create(*kind->variant)))
            report(*inst, "out of memory");
        return inst.release();
    } catch (...) {
        return nullptr;
    }
}

void vxfDestruct(f0r_instance_t instance)
{
    auto *inst = (Instance *)instance;
    if (!inst)
        return;
    {
        std::lock_guard<std::mutex> lock(inst->lock);
        if (inst->op) {
            try {
                vxh::SessionBinding binding(inst->session);
                endSetup(*inst);
            } catch (...) {
            }
            inst->kind->variant->hooks->destroy(inst->op);
        }
    }
    delete inst;
}

void vxfSetParam(f0r_instance_t instance, f0r_param_t value, int index)
{
    auto *inst = (Instance *)instance;
    const int id = inst && value ? paramId(*inst->kind, index) : -1;
    if (id < 0)
        return;
    std::lock_guard<std::mutex> lock(inst->lock);
    Settings &s = inst->settings;
    try {
        switch (kParams[id].type) {
        case F0R_PARAM_STRING: {
            const char *text = *(const char *const *)value;
            if (id == P_EFFECT)
                s.effect = text && *text ? text : "untitled";
            else
                setNumberText(*inst, id, text);
            break;
        }
        case F0R_PARAM_BOOL:
            // Unset, the effect's size picks whole frames or fields.
            if (id == P_PROGRESSIVE)
                s.progressive = *(const double *)value >= 0.5 ? 1 : -1;
            else
                s.useProgress = *(const double *)value >= 0.5;
            break;
        default:
            s.progress = *(const double *)value;
        }
    } catch (...) {
    }
}

void vxfGetParam(f0r_instance_t instance, f0r_param_t value, int index)
{
    auto *inst = (Instance *)instance;
    const int id = inst && value ? paramId(*inst->kind, index) : -1;
    if (id < 0)
        return;
    std::lock_guard<std::mutex> lock(inst->lock);
    Settings &s = inst->settings;
    if (id == P_EFFECT)
        *(const char **)value = s.effect.c_str();
    else if (kParams[id].type == F0R_PARAM_STRING)
        *(const char **)value = s.texts[id].empty() ? defaultText(id) : s.texts[id].c_str();
    else if (id == P_PROGRESSIVE)
        *(double *)value = s.progressive > 0 ? 1.0 : 0.0;
    else if (id == P_USE_PROGRESS)
        *(double *)value = s.useProgress ? 1.0 : 0.0;
    else
        *(double *)value = s.progress;
}

void vxfUpdate(f0r_instance_t instance, double time, const uint32_t *in1, const uint32_t *in2,
               uint32_t *out)
{
    auto *inst = (Instance *)instance;
    if (!inst || !in1 || !out)
        return;
    std::lock_guard<std::mutex> lock(inst->lock);
    bool ok = false;
    try {
        ok = renderFrame(*inst, time, in1, in2, out);
    } catch (...) {
        report(*inst, "out of memory");
    }
    if (!ok && out != in1)
        memmove(out, in1, (size_t)inst->width * inst->height * 4);
}
