// Frame-number patterns of PNG sequences: exactly one conversion %d, %Nd
// or %0Nd ('i' is accepted for 'd'); "%%" stands for a literal '%'. Parsed
// by hand, never handed to printf.
#ifndef VXH_PATTERN_H
#define VXH_PATTERN_H

#include <string>

namespace vxh {

struct FramePattern {
    std::string prefix, suffix;
    int width = 0;        // minimum number of digits
    bool zeroPad = false; // pad with '0' rather than ' '
};
bool parseFramePattern(const std::string &path, FramePattern &pat);
std::string framePath(const FramePattern &pat, int index);
// The highest-numbered file of a pattern in its directory, or -1.
long highestPatternIndex(const FramePattern &pat);

} // namespace vxh

#endif
