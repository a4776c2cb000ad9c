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
#include "host/cli/info.h"
#include "host/cli/numbers.h"
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

int fail(const std::string &message)
{
    fprintf(stderr, "vxhost: %s\n", message.c_str());
    return 2;
}

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

int renderMain(int argc, char **argv)
{
    std::vector<std::string> args(argv, argv + argc);
    RenderOptions options;
    std::string err;
    if (!parseRenderArgs(args, options, err))
        return fail(err);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = '\0';
    return runRender(options, self);
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
            pluginPath = a;
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

int effectsCommand(int argc, char **)
{
    if (argc != 0)
        return fail("effects takes no arguments");
    std::string err, home; // read only: nothing is made
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
        const std::string path = (dir / name).string();
        FILE *f = openRegularFile(path.c_str());
        unsigned char bytes[EFFECT_HEADER_BYTES] = {};
        struct stat st = {};
        size_t got = 0;
        if (f) {
            fstat(fileno(f), &st);
            got = fread(bytes, 1, sizeof bytes, f);
            fclose(f);
        }
        EffectHeader header;
        decodeEffectHeader(bytes, header);
        const char *fault =
            !f ? "unreadable"
               : effectLayoutFault(header, got < sizeof bytes ? got : (uint64_t)st.st_size);
        if (fault)
            printf("%-24s %s\n", name.c_str(), fault);
        else
            printf("%-24s %4u keys  %6u frames  fields %dx%d\n", name.c_str(), header.keyCount,
                   header.frameCount, header.width, header.height);
    }
    return 0;
}

int sampleEffectCommand(int argc, char **argv)
{
    std::string name, err;
    int w = 720, h = 288, frames = 50;
    bool force = false;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            if (!parseSize(argv[++i], 8, 4, w, h))
                return fail(
                    std::string("--size takes WxH of one field, 8x4 up to 16384x16384, not '") +
                    argv[i] + "'");
        } else if (a == "--frames" && i + 1 < argc) {
            if (!parseNumber(argv[++i], 4, 1000000, frames))
                return fail(std::string("--frames takes a number from 4 to 1000000, not '") +
                            argv[i] + "'");
        } else if (a == "--like" && i + 1 < argc) {
            // Fits a clip: its fields' size and its length.
            InputClip in;
            std::vector<std::string> notes;
            long n = 0;
            const bool ok =
                openInput(argv[++i], kDefaultMaxPixels, in, notes, err) && countFrames(in, n, err);
            closeInput(in);
            if (!ok)
                return fail(err);
            const FieldPlan plan = planFields(in.facts.width, in.facts.height, false, false);
            w = plan.fieldWidth;
            h = plan.fieldHeight;
            frames = int(std::min(std::max(n, 4L), 1000000L));
        } else if (a == "--force") {
            force = true;
        } else if (name.empty() && !a.empty() && a[0] != '-') {
            name = a;
        } else {
            return fail("sample-effect: unexpected '" + a + "'");
        }
    }
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return fail("sample-effect needs a plain instance name");
    if (!ensureHome(err))
        return fail(err);
    const std::string dir = operatorDir();
    if (!makeDirectory(dir, err))
        return fail(err);
    const std::string path = dir + name;
    std::error_code ec;
    if (!force && fs::exists(fs::symlink_status(path, ec)))
        return fail(path + " exists: an effect is the user's work; --force replaces it");
    if (!writeSampleEffect(path, w, h, frames, err))
        return fail(err);
    printf("%s\n", path.c_str());
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
