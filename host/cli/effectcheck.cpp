#include "host/cli/effectcheck.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "fileio/effectfiles.h"
#include "host/core/home.h"
#include "host/core/plugin.h"

namespace vxh {

namespace {

std::string sizeText(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

std::string instanceName(const RenderOptions &o)
{
    return o.effect.empty() ? "untitled" : o.effect;
}

// "these fields are WxH" or "these whole frames are WxH".
std::string pictures(const FieldPlan &plan, int w, int h)
{
    return std::string(plan.progressive ? "these whole frames are " : "these fields are ") +
           sizeText(w, h);
}

// What is wrong with an effect of the header's size on the w x h pictures
// of the plan, and how to mend it, as lines to print.
std::string mismatch(const RenderOptions &o, const FieldPlan &plan, int w, int h,
                     const EffectHeader &header, const std::string &path)
{
    const std::string name = instanceName(o), size = sizeText(w, h);
    std::string text = "effect '" + name + "' (" + path + ") is made for pictures of " +
                       sizeText(header.width, header.height) + " but " + pictures(plan, w, h);
    const EffectFit fit = fitOfEffect(plan.width, plan.height, header.width, header.height);
    if (!o.projectSize && fit == EffectFit::Frames && !plan.progressive)
        text += "\nvxhost: it is made for these frames whole: leave out --interlaced, "
                "--top-first and --bottom-first";
    else if (!o.projectSize && fit == EffectFit::Fields && plan.progressive)
        text += "\nvxhost: it is made for the fields of these frames: leave out --progressive";
    return text + "\nvxhost: `vxhost effect resize " + name + " " + freeEffectName(name, size) +
           " --size " + size + "` writes a copy of it for them";
}

std::string lengthNote(const std::string &name, const EffectHeader &header, long frames)
{
    return "effect '" + name + "' has " + std::to_string(header.frameCount) +
           " frames but the clip has " + std::to_string(frames) +
           ": its keys are rescaled to the clip's " + std::to_string(frames) + " frames";
}

} // namespace

bool usesEffectFile(const OpTagItem *tags)
{
    uintptr_t value;
    return findTag(tags, OP_TAG_PARAMS, value) && value &&
           ((const ParamBlockDesc *)value)->size == 28;
}

std::string effectPath(const std::string &name)
{
    return effectFilePath(name);
}

std::string freeEffectName(const std::string &name, const std::string &suffix)
{
    const std::string base = name + "-" + suffix;
    std::error_code ec;
    std::string candidate = base;
    for (int n = 2;
         std::filesystem::exists(std::filesystem::symlink_status(effectPath(candidate), ec)); ++n)
        candidate = base + "-" + std::to_string(n);
    return candidate;
}

void chooseScan(RenderOptions &o, const Clip &input0, bool usesEffect, const char *doing)
{
    if (o.scan != Scan::FromEffect)
        return;
    o.scan = Scan::Interlaced;
    if (!usesEffect)
        return;
    const std::string name = instanceName(o);
    EffectHeader header;
    std::string fault;
    const EffectFileState state = inspectEffectFile(effectPath(name), header, fault);
    if (state == EffectFileState::MISSING && input0.interlace == 'p' && !strcmp(doing, "editing"))
        fprintf(stderr,
                "vxhost: input 0 is progressive, but the new effect '%s' is made for its fields: "
                "--progressive makes it for whole frames\n",
                name.c_str());
    if (state != EffectFileState::FOUND)
        return;
    const int w = input0.width, h = input0.height;
    switch (fitOfEffect(w, h, header.width, header.height)) {
    case EffectFit::Frames:
        o.scan = Scan::Progressive;
        fprintf(stderr,
                "vxhost: effect '%s' is made for whole frames of %dx%d: %s them progressive, "
                "one picture a frame\n",
                name.c_str(), w, h, doing);
        break;
    case EffectFit::Fields:
        fprintf(stderr,
                "vxhost: effect '%s' is made for fields of %dx%d: %s each %dx%d frame as two "
                "fields\n",
                name.c_str(), header.width, header.height, doing, w, h);
        break;
    case EffectFit::Neither:
        break;
    }
}

int checkRenderEffect(const RenderOptions &o, const FieldPlan &plan, int width, int height,
                      long frames, Warnings &warn)
{
    const std::string name = instanceName(o);
    const std::string path = effectPath(name);
    EffectHeader header;
    std::string fault;
    const EffectFileState state = inspectEffectFile(path, header, fault);
    if (state == EffectFileState::MISSING) {
        if (o.effect.empty() || o.allowDefaultEffect) {
            fprintf(stderr,
                    "vxhost: instance '%s' has no effect file (%s): rendering the default effect\n",
                    name.c_str(), path.c_str());
            return 0;
        }
        fprintf(stderr,
                "vxhost: effect '%s' not found: no file %s\n"
                "vxhost: `vxhost effects` lists the effects; `vxhost sample-effect %s --size %s%s` "
                "makes one; --allow-default-effect renders the default effect\n",
                name.c_str(), path.c_str(), name.c_str(), sizeText(width, height).c_str(),
                plan.progressive ? " --progressive" : "");
        return 2;
    }
    const bool fits =
        state == EffectFileState::FOUND && header.width == width && header.height == height;
    if (fits) {
        if ((long)header.frameCount != frames)
            warn.say(lengthNote(name, header, frames));
        return 0;
    }
    const std::string what = state == EffectFileState::UNUSABLE
                                 ? "effect '" + name + "' (" + path + ") " + fault
                                 : mismatch(o, plan, width, height, header, path);
    if (o.allowDefaultEffect) {
        warn.say(what.substr(0, what.find('\n')) + ": rendering the default effect");
        return 0;
    }
    fprintf(stderr, "vxhost: %s\nvxhost: --allow-default-effect renders the default effect\n",
            what.c_str());
    return 2;
}

int checkEditableEffect(const RenderOptions &o, const FieldPlan &plan, long frames, Warnings &warn)
{
    const std::string name = instanceName(o);
    const std::string path = effectPath(name);
    EffectHeader header;
    std::string fault;
    const EffectFileState state = inspectEffectFile(path, header, fault);
    if (state == EffectFileState::MISSING)
        return 0;
    const int w = plan.fieldWidth, h = plan.fieldHeight;
    if (state == EffectFileState::FOUND && header.width == w && header.height == h) {
        if ((long)header.frameCount != frames)
            warn.say(lengthNote(name, header, frames) + ", and leaving the editor saves it so");
        return 0;
    }
    fprintf(stderr, "vxhost: %s\n",
            (state == EffectFileState::UNUSABLE ? "effect '" + name + "' (" + path + ") " + fault
                                                : mismatch(o, plan, w, h, header, path))
                .c_str());
    if (!o.allowDefaultEffect) {
        fprintf(stderr, "vxhost: the editor would replace it with the default effect; give the "
                        "inputs it was made for, or start anew with --allow-default-effect\n");
        return 2;
    }
    fprintf(stderr, "vxhost: starting from the default effect, which replaces it\n");
    return 0;
}

} // namespace vxh
