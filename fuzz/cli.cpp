// The command line of render and edit: one argument a line, the first
// byte choosing the command; the gadget uses are then resolved against
// VorluxOp's descriptor, as a run does.
#include <string>
#include <vector>

#include "fuzz/support.h"
#include "host/cli/options.h"
#include "host/cli/render.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    std::vector<std::string> args(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == '\n')
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    vxh::RenderOptions o;
    vxh::EditSettings edit;
    std::string err;
    const bool ok =
        data[0] & 1 ? vxh::parseEditArgs(args, o, edit, err) : vxh::parseRenderArgs(args, o, err);
    if (ok != err.empty())
        __builtin_trap(); // a refusal says why, an acceptance says nothing
    if (ok) {
        static const OpTagItem *tags = vxfuzz::loadedPlugin("VorluxOp").getInfo();
        vxh::resolveGadgets(tags, o.gadgets, err);
    }
    return 0;
}
