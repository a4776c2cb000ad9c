#include "host/cli/numbers.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vxh {

bool parseNumber(const std::string &text, long minimum, long maximum, long &value)
{
    size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.size() - i > 18)
        return false;
    long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-')
        v = -v;
    if (v < minimum || v > maximum)
        return false;
    value = v;
    return true;
}

bool parseNumber(const std::string &text, long minimum, long maximum, int &value)
{
    long v;
    if (minimum < INT_MIN || maximum > INT_MAX || !parseNumber(text, minimum, maximum, v))
        return false;
    value = (int)v;
    return true;
}

bool parseSize(const std::string &text, int minW, int minH, int &w, int &h)
{
    const size_t x = text.find('x');
    int a, b;
    if (x == std::string::npos || !parseNumber(text.substr(0, x), minW, 16384, a) ||
        !parseNumber(text.substr(x + 1), minH, 16384, b))
        return false;
    w = a;
    h = b;
    return true;
}

bool parseScriptNumber(const std::string &text, long long &value)
{
    if (text.empty())
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char *end = nullptr;
    errno = 0;
    value = strtoll(text.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && end && *end == '\0';
}

} // namespace vxh
