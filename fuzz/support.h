// What the fuzz targets share: a private folder for the files a target
// hands to path-based readers, the host's home inside it, the built
// plug-ins, and a byte reader that turns fuzz input into choices.
#ifndef VXFUZZ_SUPPORT_H
#define VXFUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/cli/options.h"
#include "host/core/plugin.h"
#include "host/io/clip.h"

namespace vxfuzz {

// This process's folder (below /dev/shm when there is one), made once;
// VXHOME is set to its "home" below it, with programs/vorlux/ made.
const std::string &workDir();
// Writes bytes to workDir()/name and returns the path.
std::string writeFile(const std::string &name, const uint8_t *data, size_t size);
// The effect folder of VXHOME: workDir()/home/programs/vorlux.
std::string effectDir();
// A built plug-in: VorluxMorph, ... (plug-in folder) or vorlux_warp, ...
// (frei0r folder).
std::string pluginPath(const std::string &name);
std::string frei0rPath(const std::string &name);

// A plug-in of the plug-in folder, loaded once and kept.
vxh::Plugin &loadedPlugin(const std::string &name);
// A clip of w x h and n frames whose pixels change with place and frame.
vxh::Clip smallClip(int w, int h, int n, int seed = 0);
// Renders every field of two small clips (w x h, n frames) with the
// plug-in, in memory, as vxhost render does; false with the message.
bool renderSmall(vxh::Plugin &plugin, const vxh::RenderOptions &options, int w, int h, int n,
                 std::string &err);

// Takes choices from the front of the input; zeros once it is used up.
struct Bytes {
    const uint8_t *data;
    size_t size;
    size_t pos = 0;

    bool empty() const { return pos >= size; }
    uint8_t u8() { return pos < size ? data[pos++] : 0; }
    uint16_t u16() { return uint16_t(u8() | u8() << 8); }
    uint32_t u32() { return uint32_t(u16()) | uint32_t(u16()) << 16; }
    // A value in lo..hi.
    int range(int lo, int hi) { return lo + int(u32() % uint32_t(hi - lo + 1)); }
    // Up to max bytes, the length taken first.
    std::string text(size_t max);
    // The rest of the input.
    std::string_view rest();
};

} // namespace vxfuzz

#endif
