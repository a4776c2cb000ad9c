// Strict parsing of numbers typed on the command line: decimal digits with
// an optional leading '-', nothing else (no blanks, no '+', no trailing
// text), and a range checked without overflow.
#ifndef VXH_NUMBERS_H
#define VXH_NUMBERS_H

#include <string>

namespace vxh {

bool parseNumber(const std::string &text, long minimum, long maximum, long &value);
bool parseNumber(const std::string &text, long minimum, long maximum, int &value);
// "WxH" with W >= minW, H >= minH, both at most 16384.
bool parseSize(const std::string &text, int minW, int minH, int &w, int &h);
// A number as edit scripts write them: decimal or 0x hex, as strtoll
// reads it, with nothing after it.
bool parseScriptNumber(const std::string &text, long long &value);

} // namespace vxh

#endif
