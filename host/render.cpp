#include "host/render.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "host/info.h"
#include "host/instance.h"

namespace vxh {

namespace fs = std::filesystem;

namespace {

bool parseInt(const std::string &text, long &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    value = strtol(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool parseSize(const std::string &text, int &w, int &h)
{
    size_t x = text.find('x');
    long a, b;
    if (x == std::string::npos || !parseInt(text.substr(0, x), a) || !parseInt(text.substr(x + 1), b))
        return false;
    if (a < 4 || b < 2 || a > 16384 || b > 16384)
        return false;
    w = (int)a;
    h = (int)b;
    return true;
}

// Field f of a clip: frame f/2 (the last frame repeats past the end),
// even lines for even f, odd lines for odd f.
void fieldOf(const Clip &clip, uint32_t field, Picture &pic)
{
    size_t frame = field / 2;
    if (frame >= clip.frames.size())
        frame = clip.frames.size() - 1;
    const int parity = field & 1;
    pic.width = clip.width;
    pic.height = clip.height / 2;
    pic.pixels.resize((size_t)pic.width * pic.height);
    const uint32_t *src = clip.frames[frame].data();
    for (int y = 0; y < pic.height; ++y)
        memcpy(&pic.pixels[(size_t)y * pic.width], src + (size_t)(2 * y + parity) * clip.width,
               (size_t)clip.width * 4);
}

void progress(bool tty, bool quiet, long done, long total)
{
    if (quiet || !tty || total <= 0)
        return;
    const int width = 40;
    int filled = (int)(done * width / total);
    fprintf(stderr, "\r[%.*s%*s] %ld/%ld fields", filled, "########################################",
            width - filled, "", done, total);
    fflush(stderr);
}

} // namespace

bool parseRenderArgs(const std::vector<std::string> &args, RenderOptions &o, std::string &err)
{
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
        } else if (a == "--input0") {
            if (!value(o.input0))
                return false;
        } else if (a == "--input1") {
            if (!value(o.input1))
                return false;
        } else if (a == "--effect") {
            if (!value(o.effect))
                return false;
            if (o.effect.empty() || o.effect.find('/') != std::string::npos || o.effect == "." ||
                o.effect == "..") {
                err = "--effect takes a plain name, not '" + o.effect + "'";
                return false;
            }
        } else if (a == "--fields") {
            if (!value(v))
                return false;
            if (!parseInt(v, o.fields) || o.fields < 1 || o.fields > 10000000) {
                err = "--fields takes a number of fields from 1 up, not '" + v + "'";
                return false;
            }
        } else if (a == "--project") {
            if (!value(v))
                return false;
            if (!parseSize(v, o.projectWidth, o.projectHeight)) {
                err = "--project takes WxH (4x2 up to 16384x16384), not '" + v + "'";
                return false;
            }
        } else if (a == "--project-size") {
            o.projectSize = true;
        } else if (a == "--gadget" || a == "--press") {
            if (!value(v))
                return false;
            GadgetUse use;
            long index, setting = 0;
            size_t eq = v.find('=');
            bool ok = a == "--gadget" ? eq != std::string::npos && parseInt(v.substr(0, eq), index) &&
                                            parseInt(v.substr(eq + 1), setting)
                                      : parseInt(v, index);
            if (!ok || index < 0 || index > 3 || setting < -1000000 || setting > 1000000) {
                err = a + (a == "--gadget" ? " takes I=V with a gadget index 0..3, not '"
                                           : " takes a gadget index 0..3, not '") + v + "'";
                return false;
            }
            use.index = (int)index;
            use.hasValue = a == "--gadget";
            use.value = (int)setting;
            o.gadgets.push_back(use);
        } else if (a == "--reply") {
            if (!value(v))
                return false;
            o.replies.push_back(v);
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (!a.empty() && a[0] == '-') {
            err = "unknown option '" + a + "'";
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
        err = "render needs -o OUT (.y4m or a PNG pattern such as out_%04d.png)";
        return false;
    }
    return true;
}

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
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir)) {
        err = "VXHOME '" + dir + "' is not a directory that can be made";
        return false;
    }
    return true;
}

static std::string lastJournalLine(const Host &host)
{
    return host.journal.empty() ? "no journal line" : host.journal.back();
}

bool renderClip(Plugin &plugin, Host &host, const RenderOptions &o, const Clip &in0, const Clip &in1,
                Clip &out, std::string &err)
{
    const long fields = o.fields > 0 ? o.fields : (long)in0.frames.size() * 2;
    host.fieldSource = [&](int input, uint32_t field, Picture &pic) {
        const Clip &clip = input == 0 ? in0 : in1;
        if ((input != 0 && input != 1) || clip.frames.empty())
            return false;
        fieldOf(clip, field, pic);
        return true;
    };
    host.projectWidth = o.projectWidth ? o.projectWidth : in0.width;
    host.projectHeight = o.projectHeight ? o.projectHeight : in0.height;
    host.instanceNames[1] = o.effect.empty() ? "untitled" : o.effect;
    if (!host.tags)
        host.tags = plugin.getInfo();
    for (const std::string &r : o.replies)
        host.replies.push_back(r);
    installHost(&host);

    const uint32_t instance = 1;
    auto act = [&](uint16_t action, uint16_t gadget, uint32_t field, uint8_t flags) {
        ActionRecord record = {action, gadget, {flags, 0, 0, 0}, (uint32_t)fields, field, instance};
        return plugin.action(&record);
    };
    act(ACTION_INSTALL, 0, 0, 0);
    for (const GadgetUse &use : o.gadgets) {
        if (use.hasValue)
            setGadgetValue(findGadget(host.tags, use.index), use.value);
        act(ACTION_GADGET, (uint16_t)use.index, 0, 0);
    }
    if (act(ACTION_SETUP, 0, 0, 0) != 0) {
        err = "set-up failed (" + lastJournalLine(host) + ")";
        installHost(nullptr);
        return false;
    }

    out = Clip{};
    out.width = in0.width;
    out.height = in0.height / 2 * 2;
    out.fpsNum = in0.fpsNum;
    out.fpsDen = in0.fpsDen;
    const bool tty = isatty(2);
    std::vector<uint32_t> even;
    bool ok = true;
    for (long f = 0; f < fields; ++f) {
        host.outputs.clear();
        int result = act(ACTION_RENDER, 0, (uint32_t)f, f == 0 && o.projectSize ? 1 : 0);
        if (result != 0 || host.outputs.size() != 1) {
            err = "render of field " + std::to_string(f) + " failed (" + lastJournalLine(host) + ")";
            ok = false;
            break;
        }
        const Picture &pic = host.outputs[0];
        if ((f & 1) == 0) {
            even = pic.pixels;
            if (f + 1 < fields)
                continue;
        }
        // Weave the pair (an odd last field is paired with itself).
        const std::vector<uint32_t> &odd = (f & 1) ? pic.pixels : even;
        std::vector<uint32_t> frame((size_t)out.width * out.height);
        weaveFields(even.data(), odd.data(), out.width, out.height, frame.data());
        out.frames.push_back(std::move(frame));
        progress(tty, o.quiet, f + 1, fields);
    }
    if (tty && !o.quiet)
        fprintf(stderr, "\n");
    act(ACTION_TEARDOWN, 0, 0, 0);
    installHost(nullptr);
    return ok;
}

int runRender(const RenderOptions &o)
{
    std::string err;
    if (!ensureHome(err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    Clip in0, in1;
    if (!o.input0.empty()) {
        if (!readClip(o.input0, in0, err)) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return 2;
        }
    } else {
        in0 = makeSampleClip(0);
    }
    if (!o.input1.empty()) {
        if (!readClip(o.input1, in1, err)) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return 2;
        }
    } else {
        in1 = makeSampleClip(1, in0.width, in0.height, (int)in0.frames.size());
    }
    if (in0.height < 2 || in0.width < 1) {
        fprintf(stderr, "vxhost: %s: frames of %dx%d are too small to split into fields\n",
                o.input0.c_str(), in0.width, in0.height);
        return 2;
    }
    if (in1.width != in0.width || in1.height != in0.height) {
        fprintf(stderr, "vxhost: %s is %dx%d but %s is %dx%d: both inputs must have one size\n",
                o.input1.empty() ? "input 1" : o.input1.c_str(), in1.width, in1.height,
                o.input0.empty() ? "input 0" : o.input0.c_str(), in0.width, in0.height);
        return 2;
    }
    // A still is a clip of 25 frames: 50 fields.
    RenderOptions options = o;
    if (options.fields < 0 && in0.frames.size() == 1)
        options.fields = 50;

    Plugin plugin;
    if (!loadPlugin(o.plugin, plugin, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    Host host;
    host.askOnTerminal = true; // requesters without a queued --reply ask on a terminal
    host.tags = plugin.getInfo();
    if (!checkDescriptor(plugin, host.tags, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        unloadPlugin(plugin);
        return 2;
    }
    // Like a host, keep the instance's parameters and gadget values.
    const std::string state = instanceStatePath(o.plugin, o.effect.empty() ? "untitled" : o.effect);
    restoreInstance(state, host.tags);
    Clip out;
    auto start = std::chrono::steady_clock::now();
    bool ok = renderClip(plugin, host, options, in0, in1, out, err);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string stateErr;
    if (!storeInstance(state, host.tags, stateErr))
        fprintf(stderr, "vxhost: %s\n", stateErr.c_str());
    unloadPlugin(plugin);
    if (!ok) {
        fprintf(stderr, "vxhost: %s: %s\n", o.plugin.c_str(), err.c_str());
        return 1;
    }
    if (!writeClip(o.output, out, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    long fields = options.fields > 0 ? options.fields : (long)in0.frames.size() * 2;
    fprintf(stderr, "vxhost: rendered %ld fields in %.2f s (%.1f fields/s) to %s\n", fields, seconds,
            seconds > 0 ? fields / seconds : 0.0, o.output.c_str());
    return 0;
}

} // namespace vxh
