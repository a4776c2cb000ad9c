// VorluxOp's parameter file: loaded through its archives button (gadget 3)
// and the file requester, as a user loads one, then a few fields rendered
// with what it set.
#include <filesystem>
#include <string>

#include "fuzz/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool made = [] {
        std::filesystem::create_directories(vxfuzz::effectDir() + "/op");
        return true;
    }();
    (void)made;
    vxfuzz::writeFile("home/programs/vorlux/op/fuzz", data, size);
    vxh::RenderOptions o;
    o.effect = "fuzzop";
    o.quiet = true;
    o.fresh = true;
    o.gadgets.push_back({3, false, 0, {}, {}});
    o.replies = {"load", "fuzz"};
    std::string err;
    vxfuzz::renderSmall(vxfuzz::loadedPlugin("VorluxOp"), o, 24, 12, 4, err);
    return 0;
}
