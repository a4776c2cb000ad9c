// The effect file loader, then a render of a few fields: the first byte
// picks the effect plug-in and fields or whole frames, the rest is the
// effect file of the instance.
#include <string>

#include "fuzz/support.h"

namespace {

const char *const kPlugins[] = {"VorluxMorph", "VorluxDraw", "VorluxFX", "VorluxWarp"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    vxfuzz::workDir();
    vxfuzz::writeFile("home/programs/vorlux/fuzz", data + 1, size - 1);
    vxh::RenderOptions o;
    o.effect = "fuzz";
    o.quiet = true;
    o.scan = data[0] & 4 ? vxh::Scan::Progressive : vxh::Scan::Interlaced;
    std::string err;
    vxfuzz::renderSmall(vxfuzz::loadedPlugin(kPlugins[data[0] & 3]), o, 24, 12, 4, err);
    return 0;
}
