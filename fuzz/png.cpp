// The PNG reader: one picture into host pixels, as a still input and as
// readPng alone.
#include <string>
#include <vector>

#include "fuzz/support.h"
#include "host/io/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = vxfuzz::writeFile("in.png", data, size);
    int w = 0, h = 0;
    std::vector<uint32_t> yuva;
    std::string err;
    if (vxh::readPng(path, w, h, yuva, err, 1 << 18) && yuva.size() != size_t(w) * size_t(h))
        __builtin_trap();
    return 0;
}
