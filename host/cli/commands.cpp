#include "host/cli/commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"
#include "fileio/effectfiles.h"
#include "host/cli/effectcheck.h"
#include "host/cli/farm.h"
#include "host/cli/info.h"
#include "host/cli/numbers.h"
#include "host/cli/run.h"
#include "host/cli/render.h"
#include "host/cli/sampleeffect.h"
#include "host/core/fields.h"
#include "host/core/home.h"
#include "host/core/instance.h"
#include "host/core/plugin.h"
#include "host/io/contact.h"
#include "host/io/clipfile.h"
#include "host/io/input.h"
#include "host/io/samples.h"
#include "host/io/y4m.h"
#include "operator/host/vxres.h"

namespace vxh {

namespace fs = std::filesystem;

namespace {

std::string operatorDir()
{
    return std::string(getenv("VXHOME")) + "/programs/vorlux/";
}

// Makes a directory and its parents; false with a message naming the path.
bool makeDirectory(const fs::path &dir, std::string &err)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (fs::is_directory(dir, ec))
        return true;
    err = dir.string() + ": cannot be made a directory" + (ec ? " (" + ec.message() + ")" : "");
    return false;
}

const char *resText(void *strings, int id)
{
    const char *s = resGetString(strings, id);
    return s ? s : "?";
}

// The effect operators' 28-byte block of editor settings.
struct BlockField {
    const char *name;
    int offset, size;
};
const BlockField kEffectBlock[] = {
    {"brush size", 2, 2},   {"brush preset", 4, 2},  {"generator", 6, 2},     {"view blend", 8, 4},
    {"saved frame", 12, 4}, {"mirror", 16, 2},       {"zoom", 18, 2},         {"scroll x", 20, 2},
    {"scroll y", 22, 2},    {"zoom point x", 24, 2}, {"zoom point y", 26, 2},
};

long fieldValue(const uint8_t *block, int offset, int size)
{
    if (size == 2) {
        int16_t v;
        memcpy(&v, block + offset, 2);
        return v;
    }
    int32_t v;
    memcpy(&v, block + offset, 4);
    return v;
}

void printBlock(const OpTagItem *tags, void *strings)
{
    uintptr_t value;
    findTag(tags, OP_TAG_PARAMS, value);
    const auto *desc = (const ParamBlockDesc *)value;
    const auto *block = (const uint8_t *)desc->block;
    if (desc->size == 28) {
        for (const BlockField &f : kEffectBlock)
            printf("  %-14s %ld\n", f.name, fieldValue(block, f.offset, f.size));
        return;
    }
    if (desc->size == 100) {
        // Deformation amounts (17 int16), fade length (int16), last file name.
        const GadgetDesc *types = findGadget(tags, 0);
        const auto *popup =
            types && types->kind == GADGET_POPUP ? (const GadgetPopup *)types : nullptr;
        for (int t = 0; t < 17; ++t) {
            const char *name =
                popup && popup->entries ? resText(strings, (int)popup->entries[t]) : "type";
            printf("  %2d %-24s amount %ld\n", t, name, fieldValue(block, 2 * t, 2));
        }
        printf("  fade length %ld fields\n", fieldValue(block, 34, 2));
        char name[61] = {};
        memcpy(name, block + 36, 60);
        printf("  last parameter file \"%s\"\n", escapeBytes(name).c_str());
        return;
    }
    for (uint32_t i = 0; i < desc->size; ++i)
        printf("%s%02X", i % 16 ? " " : (i ? "\n  " : "  "), block[i]);
    printf("\n");
}

void printGadgets(const OpTagItem *tags, void *strings)
{
    for (int i = 0; i < 4; ++i) {
        const GadgetDesc *g = findGadget(tags, i);
        if (!g)
            continue;
        if (g->kind == GADGET_POPUP) {
            const auto *p = (const GadgetPopup *)g;
            int entries = 0;
            while (p->entries && p->entries[entries] && entries < 256)
                ++entries;
            printf("  gadget %d %-16s %d%s%s\n", i, resText(strings, g->label), p->value,
                   p->value >= 0 && p->value < entries ? " " : "",
                   p->value >= 0 && p->value < entries ? resText(strings, (int)p->entries[p->value])
                                                       : "");
        } else if (g->kind == GADGET_SLIDER) {
            printf("  gadget %d %-16s %d\n", i, resText(strings, g->label),
                   ((const GadgetSlider *)g)->value);
        } else {
            printf("  gadget %d %-16s (button)\n", i, resText(strings, g->label));
        }
    }
}

} // namespace

int guarded(int (*command)(int, char **), int argc, char **argv)
{
    try {
        return command(argc, argv);
    } catch (const fs::filesystem_error &e) {
        std::string paths =
            e.path1().string() + (e.path2().empty() ? "" : ", " + e.path2().string());
        return fail(paths + ": " + e.code().message());
    } catch (const std::bad_alloc &) {
        return fail("out of memory");
    }
}

int infoCommand(int argc, char **argv)
{
    if (argc != 1)
        return fail("info takes one plug-in file");
    return printInfo(argv[0], stdout);
}

namespace {

std::string selfPath()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = '\0';
    return self;
}

} // namespace

int renderMain(int argc, char **argv)
{
    std::vector<std::string> args(argv, argv + argc);
    RenderOptions options;
    std::string err;
    if (!parseRenderArgs(args, options, err))
        return fail(err);
    return runRender(options, selfPath().c_str());
}

int farmMain(int argc, char **argv)
{
    RenderOptions submit;
    const int code = farmCommand(argc, argv, submit);
    return code >= 0 ? code : runRender(submit, selfPath().c_str());
}

int stateCommand(int argc, char **argv)
{
    std::string pluginPath, name = "untitled", err;
    bool reset = false;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--effect" && i + 1 < argc)
            name = argv[++i];
        else if (a == "--reset")
            reset = true;
        else if (pluginPath.empty() && !a.empty() && a[0] != '-')
            pluginPath = findPlugin(a);
        else
            return fail("state: unexpected '" + a + "' (vxhost state --help)");
    }
    if (pluginPath.empty())
        return fail("state needs a plug-in file");
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return fail("--effect takes a plain name, not '" + name + "'");
    std::string home; // read only: nothing is made
    if (!findHome(home, err))
        return fail(err);
    Plugin plugin;
    if (!loadPlugin(pluginPath, plugin, err))
        return fail(err);
    const OpTagItem *tags = plugin.getInfo();
    if (!checkDescriptor(plugin, tags, err))
        return fail(err);
    const std::string path = instanceStatePath(pluginPath, name);
    if (reset) {
        std::error_code ec;
        if (fs::remove(path, ec) || !ec)
            printf("instance '%s': saved state removed; the next render starts from the defaults\n",
                   name.c_str());
        if (ec)
            return fail(path + ": " + ec.message());
    }
    const bool saved = restoreInstance(path, tags);
    printf("instance '%s' of %s: %s\n", name.c_str(), fs::path(pluginPath).filename().c_str(),
           saved ? ("saved state " + path).c_str() : "defaults (no saved state)");
    void *strings = resLoadStrings("vorlux_ops");
    printf("parameter block\n");
    printBlock(tags, strings);
    printf("gadgets\n");
    printGadgets(tags, strings);
    resFreeStrings(strings);
    return 0;
}

// What an effect of effectW x effectH is to the frames of clip (width 0:
// no clip given), as the listing shows it.
std::string effectMode(const std::string &name, int effectW, int effectH, const Clip &clip,
                       const std::string &clipPath)
{
    char text[256];
    if (!clip.width) {
        snprintf(text, sizeof text, "fields of %dx%d frames, or whole frames of %dx%d", effectW,
                 2 * effectH, effectW, effectH);
        return text;
    }
    switch (fitOfEffect(clip.width, clip.height, effectW, effectH)) {
    case EffectFit::Frames:
        return "fits: whole frames of this clip";
    case EffectFit::Fields:
        return "fits: fields of this clip";
    case EffectFit::Neither:
        break;
    }
    return "another size than this clip: `vxhost effect resize " + name + " " +
           freeEffectName(name, std::to_string(clip.width) + "x" + std::to_string(clip.height)) +
           " --like " + clipPath + "` fits it";
}

int effectsCommand(int argc, char **argv)
{
    Clip clip;
    std::string like, err;
    if (argc == 2 && !strcmp(argv[0], "--like")) {
        like = argv[1];
        InputClip in;
        std::vector<std::string> notes;
        const bool ok = openInput(like, kDefaultMaxPixels, in, notes, err);
        clip = in.facts;
        closeInput(in);
        if (!ok)
            return fail(err);
    } else if (argc != 0) {
        return fail("effects takes no arguments but --like CLIP");
    }
    std::string home; // read only: nothing is made
    if (!findHome(home, err))
        return fail(err);
    const fs::path dir = operatorDir();
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        printf("no effects (%s does not exist)\n", dir.c_str());
        return 0;
    }
    std::vector<std::string> names;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        // The transition's parameter files live in op/.
        if (it.depth() == 0 && it->is_directory(ec) && it->path().filename() == "op")
            it.disable_recursion_pending();
        else if (it->is_regular_file(ec) &&
                 it->path().filename().string().find(".tmp-") == std::string::npos)
            names.push_back(fs::relative(it->path(), dir, ec).string());
    }
    std::sort(names.begin(), names.end());
    if (names.empty())
        printf("no effects in %s\n", dir.c_str());
    for (const std::string &name : names) {
        EffectHeader header;
        std::string fault;
        if (inspectEffectFile((dir / name).string(), header, fault) != EffectFileState::FOUND)
            printf("%-24s %s\n", name.c_str(), fault.empty() ? "unreadable" : fault.c_str());
        else
            printf("%-24s %4u keys  %6u frames  %dx%d  %s\n", name.c_str(), header.keyCount,
                   header.frameCount, header.width, header.height,
                   effectMode(name, header.width, header.height, clip, like).c_str());
    }
    return 0;
}

namespace {

// The pictures and length an effect is written for, from --size, --frames,
// --like, --progressive and --interlaced.
struct EffectShape {
    int width = 0, height = 0;
    int frames = 0;     // 0: not given
    bool whole = false; // made for whole frames, not fields
    bool sized = false; // --size or --like given
    int scan = 0;       // +1 --progressive, -1 --interlaced, 0 neither
};

// Reads the option at argv[i] into shape when it is one of the shape's;
// advances i past its value. 1 read, 0 not a shape option, 2 after saying
// what is wrong.
int readShapeOption(int argc, char **argv, int &i, EffectShape &shape)
{
    const std::string a = argv[i];
    if (a == "--progressive" || a == "--interlaced") {
        const int scan = a == "--progressive" ? 1 : -1;
        if (shape.scan == -scan)
            return fail("--progressive and --interlaced ask for opposite things: give one");
        shape.scan = scan;
        return 1;
    }
    if (a != "--size" && a != "--frames" && a != "--like")
        return 0;
    if (i + 1 >= argc)
        return fail(a + " needs a value");
    const std::string value = argv[++i];
    if (a == "--size") {
        if (!parseSize(value, 8, 4, shape.width, shape.height))
            return fail("--size takes WxH of the effect's pictures, 8x4 up to 16384x16384, "
                        "not '" +
                        value + "'");
        shape.sized = true;
        return 1;
    }
    if (a == "--frames") {
        if (!parseNumber(value, 4, 1000000, shape.frames))
            return fail("--frames takes a number from 4 to 1000000, not '" + value + "'");
        return 1;
    }
    // --like: the clip's size and length; whole frames when it says it is
    // progressive.
    InputClip in;
    std::vector<std::string> notes;
    std::string err;
    long n = 0;
    const bool ok = openInput(value, kDefaultMaxPixels, in, notes, err) && countFrames(in, n, err);
    closeInput(in);
    if (!ok)
        return fail(err);
    shape.width = in.facts.width;
    shape.height = in.facts.height;
    shape.whole = in.facts.interlace == 'p';
    shape.sized = true;
    if (!shape.frames)
        shape.frames = int(std::min(std::max(n, 4L), 1000000L));
    return 1;
}

// Settles the shape once every option is read: a clip's frames split into
// fields unless whole frames are asked for or the clip is progressive.
void settleShape(EffectShape &shape, bool fromClip)
{
    if (shape.scan)
        shape.whole = shape.scan > 0;
    if (fromClip && !shape.whole)
        shape.height = (shape.height + 1) / 2;
}

bool plainName(const std::string &name)
{
    return !name.empty() && name[0] != '-' && name.find('/') == std::string::npos && name != "." &&
           name != "..";
}

// The operator's directory made, and the path of effect `name` in it,
// which must not exist unless force.
bool claimEffectPath(const std::string &name, bool force, std::string &path, std::string &err)
{
    if (!ensureHome(err))
        return false;
    const std::string dir = operatorDir();
    if (!makeDirectory(dir, err))
        return false;
    path = dir + name;
    std::error_code ec;
    if (!force && fs::exists(fs::symlink_status(path, ec))) {
        err = path + " exists: an effect is the user's work; give another name, or --force to "
                     "replace it";
        return false;
    }
    return true;
}

// The arguments of the commands that make an effect: up to `most` names,
// the shape options and --force.
struct EffectArgs {
    std::vector<std::string> names;
    EffectShape shape;
    bool force = false, like = false;
};

// 0, or the exit code after saying what was unexpected.
int readEffectArgs(int argc, char **argv, int from, size_t most, const char *command,
                   EffectArgs &out)
{
    for (int i = from; i < argc; ++i) {
        const std::string a = argv[i];
        out.like = out.like || a == "--like";
        if (int read = readShapeOption(argc, argv, i, out.shape); read == 2)
            return 2;
        else if (read == 1)
            continue;
        if (a == "--force")
            out.force = true;
        else if (out.names.size() < most && !a.empty() && a[0] != '-')
            out.names.push_back(a);
        else
            return fail(std::string(command) + ": unexpected '" + a + "'");
    }
    settleShape(out.shape, out.like);
    return 0;
}

} // namespace

int sampleEffectCommand(int argc, char **argv)
{
    EffectArgs args;
    if (int code = readEffectArgs(argc, argv, 0, 1, "sample-effect", args))
        return code;
    if (args.names.empty() || !plainName(args.names[0]))
        return fail("sample-effect needs a plain instance name");
    const std::string &name = args.names[0];
    EffectShape &shape = args.shape;
    if (!shape.sized) {
        // A PAL frame: its fields, or the frame whole.
        shape.width = 720;
        shape.height = shape.whole ? 576 : 288;
    }
    std::string path, err;
    if (!claimEffectPath(name, args.force, path, err))
        return fail(err);
    if (!writeSampleEffect(path, shape.width, shape.height, shape.frames ? shape.frames : 50,
                           shape.whole, err))
        return fail(err);
    fprintf(stderr, "vxhost: effect '%s' is made for %s of %dx%d\n", name.c_str(),
            shape.whole ? "whole frames" : "fields", shape.width, shape.height);
    printf("%s\n", path.c_str());
    return 0;
}

int effectCommand(int argc, char **argv)
{
    if (argc < 1 || strcmp(argv[0], "resize") != 0)
        return fail("effect takes a task: `vxhost effect resize FROM TO --size WxH` "
                    "(see vxhost effect --help)");
    EffectArgs args;
    if (int code = readEffectArgs(argc, argv, 1, 2, "effect resize", args))
        return code;
    const std::vector<std::string> &names = args.names;
    if (names.size() < 2 || !plainName(names[0]) || !plainName(names[1]))
        return fail("effect resize needs two plain effect names: FROM and TO");
    if (names[0] == names[1])
        return fail("effect resize writes a new effect: give TO another name than FROM");
    EffectShape &shape = args.shape;
    const bool force = args.force, like = args.like;
    if (!shape.sized && !shape.frames)
        return fail("effect resize needs --size WxH, --like CLIP or --frames N");
    std::string err;
    if (!ensureHome(err))
        return fail(err);
    const std::string from = effectPath(names[0]);
    EffectHeader header;
    std::string fault;
    const EffectFileState state = inspectEffectFile(from, header, fault);
    if (state == EffectFileState::MISSING)
        return fail("effect '" + names[0] + "' not found: no file " + from +
                    " (`vxhost effects` lists the effects)");
    if (state == EffectFileState::UNUSABLE)
        return fail("effect '" + names[0] + "' (" + from + ") " + fault);
    if (!shape.sized) {
        shape.width = header.width;
        shape.height = header.height;
    }
    const uint32_t frames = shape.frames ? (uint32_t)shape.frames : header.frameCount;
    std::string to;
    if (!claimEffectPath(names[1], force, to, err))
        return fail(err);
    if (!resizeEffectFile(from, to, shape.width, shape.height, frames, err))
        return fail(err);
    fprintf(stderr, "vxhost: effect '%s' (%dx%d, %u frames) resized to '%s' (%dx%d, %u frames)%s\n",
            names[0].c_str(), header.width, header.height, header.frameCount, names[1].c_str(),
            shape.width, shape.height, frames,
            like ? (shape.whole ? " for whole frames" : " for fields") : "");
    printf("%s\n", to.c_str());
    return 0;
}

int samplesCommand(int argc, char **argv)
{
    if (argc != 1)
        return fail("samples takes one directory");
    std::string err;
    if (!makeDirectory(argv[0], err))
        return fail(err);
    for (int which = 0; which < 2; ++which) {
        std::string path = std::string(argv[0]) + "/sample" + std::to_string(which) + ".y4m";
        if (!writeClip(path, makeSampleClip(which), err))
            return fail(err);
        printf("%s\n", path.c_str());
    }
    return 0;
}

int contactCommand(int argc, char **argv)
{
    if (argc < 2)
        return fail("contact takes OUT.png and at least one clip");
    const std::string out = argv[0];
    if (out.size() < 4 || strcasecmp(out.c_str() + out.size() - 4, ".png") != 0)
        return fail(out + ": a contact sheet is a PNG: give a name ending in .png");
    std::vector<Clip> clips(argc - 1);
    std::vector<const Clip *> rows;
    std::string err;
    for (int i = 1; i < argc; ++i) {
        // Only the five frames shown are read, so any input and any length will do.
        InputClip in;
        std::vector<std::string> notes;
        long frames = 0;
        if (!openInput(argv[i], kDefaultMaxPixels, in, notes, err) ||
            !countFrames(in, frames, err)) {
            closeInput(in);
            return fail(err);
        }
        Clip &c = clips[i - 1];
        c = in.facts;
        for (int pct : {0, 25, 50, 75, 100}) {
            const uint32_t *px = frameAt(in, (frames - 1) * pct / 100, err);
            if (!px) {
                closeInput(in);
                return fail(err);
            }
            c.frames.emplace_back(px, px + size_t(c.width) * size_t(c.height));
        }
        closeInput(in);
        rows.push_back(&c);
    }
    if (!writeContactSheet(out, rows, err))
        return fail(err);
    printf("%s\n", out.c_str());
    return 0;
}

} // namespace vxh
