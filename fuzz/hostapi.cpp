// The host boundary: random action sequences, with random action record
// fields and gadget values, sent to a plug-in by a test host that serves
// fields of random sizes in images of random layout. After tear-down of
// every instance, each image the plug-in took must be back.
#include <set>
#include <string>

#include "fuzz/support.h"
#include "host/cli/sampleeffect.h"
#include "host/core/host.h"

namespace {

const char *const kPlugins[] = {"VorluxMorph", "VorluxDraw", "VorluxFX", "VorluxWarp", "VorluxOp"};

uint32_t anyOf(vxfuzz::Bytes &in, uint32_t usual)
{
    const uint8_t b = in.u8();
    return b < 224 ? b % usual : in.u32();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool made = [] {
        std::string err;
        return vxh::writeSampleEffect(vxfuzz::effectDir() + "/fz", 24, 6, 4, false, err);
    }();
    (void)made;
    vxfuzz::Bytes in{data, size};
    vxh::Plugin &plugin = vxfuzz::loadedPlugin(kPlugins[in.u8() % 5]);
    vxh::Host host;
    host.tags = plugin.getInfo();
    host.projectWidth = in.range(0, 64);
    host.projectHeight = in.range(0, 64);
    host.projectKnown = (in.u8() & 7) != 0;
    host.padLeft = in.u8() % 9, host.padTop = in.u8() % 9, host.padRight = in.u8() % 9;
    host.instanceNames[1] = "fz";
    host.instanceNames[2] = "hostapi";
    static const char *const replies[] = {"load", "save", "delete", "cancel", "fz", "1", "2", ""};
    for (int n = in.u8() % 4; n > 0; --n)
        host.replies.push_back(replies[in.u8() % 8]);
    // Each input's fields: mostly the effect's 24 x 6, else any size up to
    // 48 x 48 (0 x 0: the host has no such field).
    int w[2], h[2];
    for (int i = 0; i < 2; ++i) {
        const bool usual = in.u8() < 128;
        w[i] = usual ? 24 : in.range(0, 48);
        h[i] = usual ? 6 : in.range(0, 48);
    }
    host.fieldSource = [&](int input, uint32_t field, vxh::Picture &pic) {
        if (input < 0 || input > 1 || w[input] == 0 || h[input] == 0)
            return false;
        pic.width = w[input], pic.height = h[input];
        pic.pixels.assign(size_t(pic.width) * pic.height, 0);
        for (size_t i = 0; i < pic.pixels.size(); ++i)
            pic.pixels[i] = vxh::packYuva(uint8_t(16 + (i * 7 + field) % 220), 128, 128, 255);
        return true;
    };
    vxh::installHost(&host);
    std::set<uint32_t> used = {0, 1, 2, 3};
    for (int step = 0; step < 40 && !in.empty(); ++step) {
        static const uint16_t actions[] = {ACTION_SETUP,  ACTION_TEARDOWN, ACTION_RENDER,
                                           ACTION_GADGET, ACTION_DELETE,   ACTION_INSTALL};
        ActionRecord r = {};
        const uint8_t a = in.u8();
        r.action = a < 240 ? actions[a % 6] : uint16_t(in.u16());
        r.gadget = uint16_t(anyOf(in, 5));
        r.flags[0] = in.u8();
        r.fieldCount = anyOf(in, 16);
        r.field = anyOf(in, 18);
        r.instance = anyOf(in, 4);
        // The editor (gadget 0 of the effect operators) needs a screen this
        // host has not: it is used with no GUI, and must say so and return.
        if (r.action == ACTION_GADGET && (in.u8() & 1))
            if (GadgetDesc *g = vxh::findGadget(host.tags, r.gadget))
                vxh::setGadgetValue(g, int(in.u32()));
        used.insert(r.instance);
        plugin.action(&r);
    }
    for (uint32_t i : used) {
        ActionRecord r = {ACTION_TEARDOWN, 0, {0, 0, 0, 0}, 0, 0, i};
        plugin.action(&r);
    }
    vxh::installHost(nullptr);
    if (!host.liveImages.empty() || host.badImageReturns)
        __builtin_trap(); // an image kept after tear-down, or one the host never gave
    return 0;
}
