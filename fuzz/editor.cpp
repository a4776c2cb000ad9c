// The editor as a stream of user messages: `vxhost edit` on two small
// clips and a screen of 640 x 480 (the first byte picks the plug-in and the
// GUI mode), fed a script of mouse presses, moves and releases anywhere, keys
// (the editor's own and any code) and gadget values in and out of range,
// ending with Done or a close. Whatever the user did, the effect file the
// editor leaves must load for these pictures.
#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fileio/effectfiles.h"
#include "fuzz/support.h"
#include "host/cli/edit.h"
#include "host/cli/run.h"
#include "host/cli/sampleeffect.h"
#include "host/io/y4m.h"

namespace {

const char *const kPlugins[] = {"VorluxMorph", "VorluxDraw", "VorluxFX", "VorluxWarp"};
// Fields of the clips: 32 x 8 (frames of 32 x 16, four of them).
constexpr int kWidth = 32, kHeight = 16, kFrames = 4;

// The editor's keys, then a few others.
const uint32_t kKeys[] = {0x20063,    0x20076,  0x20073,  0x2007A,  0x22007A, 0x20079, 0x100063,
                          0x100069,   0x200074, 0x20E00A, 0x20E00B, 0x20E002, 0xE010,  0x4002E009,
                          0x8002E002, 0x200031, 0x200032, 0x200033, 0xE001,   0xE004,  0xE005,
                          0xE006,     0xE007,   0xE00E,   'a',      ' ',      0xE008};

int coordinate(vxfuzz::Bytes &in, int extent)
{
    return int(in.u16() % uint32_t(extent + 40)) - 20;
}

std::string gadgetName(vxfuzz::Bytes &in)
{
    static const char *const kinds[] = {"str:", "img:", "host:", "key:"};
    const int kind = in.u8() % 4;
    const uint32_t id = kind == 3 ? kKeys[in.u8() % std::size(kKeys)] : in.u8();
    return kinds[kind] + std::to_string(id);
}

long value(vxfuzz::Bytes &in)
{
    const uint8_t b = in.u8();
    return b < 200 ? long(b % 80) - 10 : long(int32_t(in.u32()));
}

// One script line from the input.
std::string event(vxfuzz::Bytes &in, int w, int h)
{
    static const char *const mice[] = {"click", "press", "move", "release"};
    const uint8_t kind = in.u8() % 8;
    if (kind < 4) {
        std::string line = std::string(mice[kind]) + " " + std::to_string(coordinate(in, w)) + " " +
                           std::to_string(coordinate(in, h));
        return kind != 2 && (in.u8() & 1) ? line + " right" : line;
    }
    if (kind < 6) {
        const uint8_t b = in.u8();
        return "key " + std::to_string(b < 192 ? kKeys[b % std::size(kKeys)] : in.u32());
    }
    return std::string(kind == 6 ? "set " : "gadget ") + gadgetName(in) + " " +
           std::to_string(value(in));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &dir = vxfuzz::workDir();
    static const bool made = [&] {
        // vxhost edit loads and unloads its plug-in; held open here, each
        // stays mapped, as the fuzzer's coverage counters in it must.
        for (const char *name : kPlugins)
            if (!dlopen(vxfuzz::pluginPath(name).c_str(), RTLD_NOW))
                return false;
        std::string err;
        for (int i = 0; i < 2; ++i)
            if (!vxh::writeY4m(dir + "/edit" + std::to_string(i) + ".y4m",
                               vxfuzz::smallClip(kWidth, kHeight, kFrames, 100 * i), err))
                return false;
        return true;
    }();
    if (!made)
        __builtin_trap();
    vxfuzz::Bytes in{data, size};
    const uint8_t first = in.u8();
    const int plugin = first % 4;
    const bool warp = plugin == 3;
    std::string err;
    const std::string effect = vxfuzz::effectDir() + "/ed";
    if (!vxh::writeSampleEffect(effect, kWidth, kHeight / 2, kFrames, false, err))
        __builtin_trap();
    std::string script;
    for (int n = 0; n < 60 && !in.empty(); ++n)
        script += event(in, 640, 480) + "\n";
    // Done (Alt+C, Alt+I in the warp) or the window's close.
    script += in.u8() & 1 ? "close\n" : warp ? "key 0x100069\n" : "key 0x100063\n";
    vxfuzz::writeFile("edit.script", reinterpret_cast<const uint8_t *>(script.data()),
                      script.size());
    std::vector<std::string> args = {vxfuzz::pluginPath(kPlugins[plugin]),
                                     "--effect",
                                     "ed",
                                     "--input0",
                                     dir + "/edit0.y4m",
                                     "--script",
                                     dir + "/edit.script",
                                     "--screen",
                                     "640x480",
                                     "--gui-mode",
                                     first & 4 ? "2" : "3",
                                     "-q"};
    if (!warp)
        args.insert(args.end(), {"--input1", dir + "/edit1.y4m"});
    const int code = vxh::runEdit(args);
    // vxhost's handlers took SIGINT and SIGTERM: a stop asked for ends here.
    if (vxh::interruptSignal)
        std::_Exit(128 + vxh::interruptSignal);
    EffectHeader header;
    std::string fault;
    if (code > 1 || inspectEffectFile(effect, header, fault) != EffectFileState::FOUND ||
        header.width != kWidth || header.height != kHeight / 2)
        __builtin_trap(); // refused, or left an effect that does not load for these fields
    return 0;
}
