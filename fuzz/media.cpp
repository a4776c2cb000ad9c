// The media reader on a file in memory: the libraries' demuxers and
// decoders, our index of the stream and our conversion of each picture
// run on the bytes as they are.
#include <string>
#include <vector>

#include "host/io/media.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vxh::MediaReader *reader = nullptr;
    vxh::Clip facts;
    long frames = 0;
    std::vector<std::string> notes;
    std::string err;
    if (!vxh::openMediaReaderMemory(data, size, "fuzz", 1 << 16, reader, facts, frames, notes, err))
        return 0;
    std::vector<uint32_t> pixels;
    // Onward, then back to the start (a seek).
    for (long k : {0L, 1L, 2L, frames - 1, 0L})
        if (k >= 0 && k < frames) {
            if (!vxh::readMediaFrame(reader, k, pixels, err))
                break;
            if (pixels.size() != size_t(facts.width) * size_t(facts.height))
                __builtin_trap();
        }
    vxh::closeMediaReader(reader);
    return 0;
}
