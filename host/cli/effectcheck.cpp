#include "host/cli/effectcheck.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"
#include "host/core/plugin.h"

namespace vxh {

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

std::string effectPath(const std::string &name)
{
    return std::string(getenv("VXHOME")) + "/programs/vorlux/" + name;
}

int checkRenderEffect(const RenderOptions &o, int fieldW, int fieldH, Warnings &warn)
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

int checkEditableEffect(const RenderOptions &o, int fieldW, int fieldH)
{
    const std::string name = o.effect.empty() ? "untitled" : o.effect;
    const std::string path = effectPath(name);
    std::string fault;
    if (inspectEffectFile(path, fieldW, fieldH, fault) != EffectFileState::UNUSABLE)
        return 0;
    fprintf(stderr, "vxhost: effect '%s' (%s) %s\n", name.c_str(), path.c_str(), fault.c_str());
    if (!o.allowDefaultEffect) {
        fprintf(stderr, "vxhost: the editor would replace it with the default effect; give the "
                        "inputs it was made for, or start anew with --allow-default-effect\n");
        return 2;
    }
    fprintf(stderr, "vxhost: starting from the default effect, which replaces it\n");
    return 0;
}

} // namespace vxh
