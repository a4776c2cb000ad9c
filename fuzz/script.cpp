// The edit script parser.
#include <string>
#include <vector>

#include "host/cli/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<vxh::ScriptEvent> events;
    std::string err;
    if (vxh::parseScript(text, "fuzz", events, err) == !err.empty())
        __builtin_trap(); // a failure says why, a success says nothing
    return 0;
}
