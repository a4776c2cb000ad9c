#include "host/cli/autokey.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"
#include "fileio/effectfiles.h"
#include "host/cli/dissolve.h"
#include "host/cli/effectcheck.h"
#include "host/cli/info.h"
#include "host/cli/keyflow.h"
#include "host/cli/numbers.h"
#include "host/cli/run.h"
#include "host/core/home.h"
#include "host/core/plugin.h"

namespace vxh {

namespace fs = std::filesystem;

namespace {

struct AutoKeyArgs {
    RenderOptions render; // plug-in, inputs, instance, scan and field order
    std::vector<long> frames;
    std::vector<int> levels; // none: each key the level the effect has there
    FlowMethod flow = FlowMethod::Dis;
};

// A comma-separated list of numbers in minimum..maximum; false when any
// item is not one.
bool parseList(const std::string &text, long minimum, long maximum, std::vector<long> &out)
{
    std::istringstream in(text + ",");
    std::string item;
    out.clear();
    while (std::getline(in, item, ',')) {
        long value;
        if (!parseNumber(item, minimum, maximum, value))
            return false;
        out.push_back(value);
    }
    return !out.empty() && in.eof();
}

// Reads the option at args[i] (and its value); 0 read, 2 after saying what
// is wrong.
int readOption(const std::vector<std::string> &args, size_t &i, AutoKeyArgs &a, int &inputsGiven)
{
    const std::string &opt = args[i];
    static const char *const flags[] = {"--progressive", "--interlaced", "--top-first",
                                        "--bottom-first"};
    if (std::find_if(std::begin(flags), std::end(flags), [&](const char *f) { return opt == f; }) !=
        std::end(flags)) {
        RenderOptions &o = a.render;
        if (opt == "--progressive" || opt == "--interlaced") {
            const Scan scan = opt == "--progressive" ? Scan::Progressive : Scan::Interlaced;
            if (o.scan != Scan::FromEffect && o.scan != scan)
                return fail("--progressive and --interlaced ask for opposite things: give one");
            o.scan = scan;
        } else {
            o.order = opt == "--top-first" ? FieldOrder::TopFirst : FieldOrder::BottomFirst;
        }
        return 0;
    }
    if (i + 1 >= args.size())
        return fail(opt + " needs a value");
    const std::string &value = args[++i];
    std::vector<long> numbers;
    if (opt == "-i" || opt == "--input0" || opt == "--input1") {
        const int which = opt == "-i" ? inputsGiven++ : opt == "--input0" ? 0 : 1;
        if (which > 1 || value.empty())
            return fail("auto-key takes two inputs: -i INPUT0 -i INPUT1");
        (which ? a.render.input1 : a.render.input0) = value;
    } else if (opt == "--effect") {
        if (value.empty() || value.find('/') != std::string::npos || value == "." || value == "..")
            return fail("--effect takes a plain name, not '" + value + "'");
        a.render.effect = value;
    } else if (opt == "--frames") {
        if (!parseList(value, 0, 100000000, numbers))
            return fail("--frames takes frame numbers such as 0,24,49, not '" + value + "'");
        a.frames = numbers;
    } else if (opt == "--level" || opt == "--levels") {
        if (!parseList(value, 0, 255, numbers) || (opt == "--level" && numbers.size() != 1))
            return fail(opt + " takes " + (opt == "--level" ? "a level" : "levels") +
                        " from 0 to 255, not '" + value + "'");
        a.levels.assign(numbers.begin(), numbers.end());
    } else if (opt == "--flow") {
        if (value != "dis" && value != "farneback")
            return fail("--flow takes dis or farneback, not '" + value + "'");
        a.flow = value == "dis" ? FlowMethod::Dis : FlowMethod::Farneback;
    } else {
        return fail("auto-key: unknown option '" + opt + "' (vxhost auto-key --help)");
    }
    return 0;
}

int parseAutoKeyArgs(const std::vector<std::string> &args, AutoKeyArgs &a)
{
    int inputsGiven = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (!arg.empty() && arg[0] == '-') {
            if (int code = readOption(args, i, a, inputsGiven))
                return code;
        } else if (a.render.plugin.empty()) {
            a.render.plugin = findPlugin(arg);
        } else {
            return fail("auto-key: unexpected argument '" + arg + "'");
        }
    }
    if (a.render.plugin.empty())
        return fail("auto-key needs a plug-in: morph or draw");
    if (a.render.input0.empty() || a.render.input1.empty())
        return fail("auto-key takes two inputs: -i INPUT0 -i INPUT1");
    if (a.frames.empty())
        return fail("auto-key needs --frames: the frames to key, such as 0,24,49");
    if (a.levels.size() > 1 && a.levels.size() != a.frames.size())
        return fail("--levels gives " + std::to_string(a.levels.size()) + " levels for " +
                    std::to_string(a.frames.size()) + " frames");
    if (a.render.order != FieldOrder::FromInput && a.render.scan == Scan::Progressive)
        return fail("--progressive has no field order: leave out --top-first/--bottom-first");
    return 0;
}

// The plug-in loaded and checked to be one whose keys warp input 0 onto
// input 1: the morph or the draw plug-in.
int checkKeyedPlugin(const std::string &path)
{
    Plugin plugin;
    std::string err;
    if (!loadPlugin(path, plugin, err))
        return fail(err);
    const OpTagItem *tags = plugin.getInfo();
    uintptr_t ident = 0;
    const bool known = checkDescriptor(plugin, tags, err);
    const bool keyed =
        known && findTag(tags, OP_TAG_IDENT, ident) && ident &&
        (strstr((const char *)ident, "VorluxMorph") || strstr((const char *)ident, "VorluxDraw"));
    unloadPlugin(plugin);
    if (!known)
        return fail(err);
    if (!keyed)
        return fail(path + ": auto-key keys the morph and draw plug-ins only");
    return 0;
}

struct Key {
    uint32_t frame;
    int32_t level;
    std::vector<float> grid;
};

struct Effect {
    int width = 0, height = 0;
    uint32_t frameCount = 0;
    std::vector<Key> keys; // by frame
};

// The effect as the plug-in starts it: a zero key at each end.
Effect defaultEffect(int width, int height, uint32_t frameCount)
{
    const std::vector<float> zero(2 * effectNodeCount(width, height), 0.0f);
    return {width, height, frameCount, {{0, 0, zero}, {frameCount - 1, 255, zero}}};
}

bool decodeEffect(const std::vector<unsigned char> &bytes, Effect &e)
{
    EffectHeader h;
    if (bytes.size() < EFFECT_HEADER_BYTES)
        return false;
    decodeEffectHeader(bytes.data(), h);
    if (effectLayoutFault(h, bytes.size()))
        return false;
    e = {h.width, h.height, h.frameCount, {}};
    const size_t nodes = effectNodeCount(h.width, h.height);
    const unsigned char *at = bytes.data() + EFFECT_HEADER_BYTES;
    for (uint32_t k = 0; k < h.keyCount; ++k) {
        Key key{0, 0, std::vector<float>(2 * nodes)};
        decodeKeyHead(at, key.frame, key.level);
        decodeNodes(at + EFFECT_KEY_HEAD_BYTES, nodes, key.grid.data());
        e.keys.push_back(std::move(key));
        at += EFFECT_KEY_HEAD_BYTES + nodes * EFFECT_NODE_BYTES;
    }
    return true;
}

std::vector<unsigned char> encodeEffect(const Effect &e)
{
    const size_t nodes = effectNodeCount(e.width, e.height);
    std::vector<unsigned char> bytes(
        EFFECT_HEADER_BYTES + e.keys.size() * (EFFECT_KEY_HEAD_BYTES + nodes * EFFECT_NODE_BYTES));
    encodeEffectHeader({EFFECT_MAGIC, e.frameCount, e.width, e.height, (uint32_t)e.keys.size()},
                       bytes.data());
    unsigned char *at = bytes.data() + EFFECT_HEADER_BYTES;
    for (const Key &k : e.keys) {
        encodeKeyHead(k.frame, k.level, at);
        encodeNodes(k.grid.data(), nodes, at + EFFECT_KEY_HEAD_BYTES);
        at += EFFECT_KEY_HEAD_BYTES + nodes * EFFECT_NODE_BYTES;
    }
    return bytes;
}

// The instance's effect, or the default one when it has no file; 2 after
// saying why when its file is not one for these pictures and this length.
int readEffect(const std::string &name, int width, int height, uint32_t frameCount, Effect &e)
{
    const std::string path = effectPath(name);
    EffectHeader header;
    std::string fault;
    switch (inspectEffectFile(path, header, fault)) {
    case EffectFileState::MISSING:
        e = defaultEffect(width, height, frameCount);
        return 0;
    case EffectFileState::UNUSABLE:
        return fail("effect '" + name + "' (" + path + ") " + fault);
    case EffectFileState::FOUND:
        break;
    }
    if (header.width != width || header.height != height || header.frameCount != frameCount)
        return fail("effect '" + name + "' is made for " + std::to_string(header.width) + "x" +
                    std::to_string(header.height) + " over " + std::to_string(header.frameCount) +
                    " frames, the inputs give " + std::to_string(width) + "x" +
                    std::to_string(height) + " over " + std::to_string(frameCount) +
                    ": `vxhost effect resize` makes a copy that fits");
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    if (!decodeEffect(bytes, e))
        return fail("effect '" + name + "' (" + path + ") cannot be read");
    return 0;
}

// The level the effect has at frame t, as the render interpolates it.
int levelAt(const Effect &e, uint32_t t)
{
    std::vector<KeyLevel> keys;
    for (const Key &k : e.keys)
        keys.emplace_back(k.frame, k.level);
    return keyLevels(keys, 2 * (long)t, 2 * (long)t + 1)[0];
}

// Puts key into the effect: replaces the key on its frame, or goes between
// its neighbours.
void placeKey(Effect &e, Key key)
{
    auto at = std::lower_bound(e.keys.begin(), e.keys.end(), key.frame,
                               [](const Key &k, uint32_t f) { return k.frame < f; });
    if (at != e.keys.end() && at->frame == key.frame)
        *at = std::move(key);
    else
        e.keys.insert(at, std::move(key));
}

// The picture the operator sees at frame t of an input: the frame's first
// field, or the whole frame when progressive.
bool pictureAt(InputClip &in, const FieldPlan &plan, long t, Picture &pic, std::string &err)
{
    const uint32_t *frame = frameAt(in, t, err);
    if (!frame)
        return false;
    extractField(plan, frame, (uint32_t)(2 * t), pic);
    return true;
}

bool writeEffect(const std::string &name, const Effect &e, std::string &err)
{
    if (!ensureHome(err))
        return false;
    const std::string path = effectPath(name);
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    const std::vector<unsigned char> bytes = encodeEffect(e);
    if (atomicWriteFile(path.c_str(), bytes.data(), bytes.size()) != 0) {
        err = path + ": cannot be written: " + strerror(errno);
        return false;
    }
    return true;
}

// Finds and places the key of every frame asked for, printing one line each.
int keyFrames(const AutoKeyArgs &a, ClipInputs &in, const FieldPlan &plan, Effect &e)
{
    const Effect before = e;
    for (size_t i = 0; i < a.frames.size(); ++i) {
        const uint32_t t = (uint32_t)a.frames[i];
        Picture source, target;
        std::string err;
        if (!pictureAt(in.in0, plan, t, source, err) || !pictureAt(in.in1, plan, t, target, err))
            return fail(err);
        const auto start = std::chrono::steady_clock::now();
        KeyMesh mesh;
        findKeyMesh(source, target, a.flow, mesh);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const int level = a.levels.empty()       ? levelAt(before, t)
                          : a.levels.size() == 1 ? a.levels[0]
                                                 : a.levels[i];
        placeKey(e, {t, level, std::move(mesh.grid)});
        printf("frame %u: level %d, flow mean %.2f px, %.1f%% of nodes unreliable, luma "
               "difference %.2f -> %.2f, %.2f s\n",
               t, level, mesh.meanMagnitude, 100 * mesh.unreliableShare, mesh.differenceBefore,
               mesh.differenceAfter, seconds);
    }
    return 0;
}

int autoKey(const std::vector<std::string> &args)
{
    AutoKeyArgs a;
    if (int code = parseAutoKeyArgs(args, a))
        return code;
    std::string home, err;
    if (!findHome(home, err))
        return fail(err);
    if (int code = checkKeyedPlugin(a.render.plugin))
        return code;
    Warnings warn;
    ClipInputs in;
    if (int code = openInputs(a.render, in, warn))
        return code;
    chooseScan(a.render, in.in0.facts, true, "keying");
    ClipFields cf;
    if (int code = planClip(a.render, in, cf))
        return code;
    const uint32_t frameCount = (uint32_t)std::max(cf.fields / 2, 1L);
    for (long t : a.frames)
        if (t >= (long)frameCount)
            return fail("--frames: frame " + std::to_string(t) +
                        " is past the clip, whose last "
                        "frame is " +
                        std::to_string(frameCount - 1));
    if (cf.plan.fieldWidth < 8 || cf.plan.fieldHeight < 4)
        return fail("pictures of " + std::to_string(cf.plan.fieldWidth) + "x" +
                    std::to_string(cf.plan.fieldHeight) + " are too small for a key grid (8x4)");
    const std::string name = a.render.effect.empty() ? "untitled" : a.render.effect;
    Effect effect;
    if (int code = readEffect(name, cf.plan.fieldWidth, cf.plan.fieldHeight, frameCount, effect))
        return code;
    if (int code = keyFrames(a, in, cf.plan, effect))
        return code;
    if (!writeEffect(name, effect, err))
        return fail(err);
    fprintf(stderr, "vxhost: effect '%s' has %zu keys (%s of %dx%d): `vxhost edit` refines them\n",
            name.c_str(), effect.keys.size(), cf.plan.progressive ? "whole frames" : "fields",
            effect.width, effect.height);
    printf("%s\n", effectPath(name).c_str());
    return 0;
}

} // namespace

int autoKeyCommand(int argc, char **argv)
{
    return autoKey(std::vector<std::string>(argv, argv + argc));
}

} // namespace vxh
