// The YUV4MPEG2 reader: the header line parsed alone, then the whole file
// opened as an input (indexed by seeking), its length counted and every
// frame unpacked.
#include <string>
#include <vector>

#include "fuzz/support.h"
#include "host/io/input.h"
#include "host/io/y4m.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    vxh::Y4mHeader hd;
    std::string why;
    size_t bytes = 0;
    if (vxh::parseY4mHeader(text.substr(0, text.find('\n')), hd, why))
        vxh::y4mFrameBytes(hd, bytes);

    const std::string path = vxfuzz::writeFile("in.y4m", data, size);
    vxh::InputClip in;
    std::vector<std::string> warnings;
    std::string err;
    long frames = 0;
    // Pictures are kept small so that every frame can be read.
    if (!vxh::openInput(path, 1 << 16, in, warnings, err) || !vxh::countFrames(in, frames, err))
        return 0;
    for (long k = 0; k <= frames && k < 64; ++k)
        if (!vxh::frameAt(in, k, err))
            break;
    return 0;
}
