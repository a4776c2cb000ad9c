#include "host/io/pattern.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>

namespace vxh {

namespace fs = std::filesystem;

bool parseFramePattern(const std::string &path, FramePattern &pat)
{
    FramePattern p;
    std::string *cur = &p.prefix;
    int conversions = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '%') {
            *cur += path[i];
            continue;
        }
        ++i;
        if (i < path.size() && path[i] == '%') {
            *cur += '%';
            continue;
        }
        bool zero = false;
        if (i < path.size() && path[i] == '0') {
            zero = true;
            ++i;
        }
        int width = 0, digits = 0;
        while (i < path.size() && path[i] >= '0' && path[i] <= '9') {
            width = width * 10 + (path[i] - '0');
            ++i;
            if (++digits > 2)
                return false; // no sane file name needs 100+ digits
        }
        if (i >= path.size() || (path[i] != 'd' && path[i] != 'i'))
            return false;
        if (++conversions > 1)
            return false;
        p.width = width;
        p.zeroPad = zero;
        cur = &p.suffix;
    }
    if (conversions != 1)
        return false;
    pat = std::move(p);
    return true;
}

std::string framePath(const FramePattern &pat, int index)
{
    std::string digits = std::to_string(index < 0 ? -int64_t(index) : int64_t(index));
    const int signLen = index < 0 ? 1 : 0;
    std::string num;
    const int pad = pat.width - int(digits.size()) - signLen;
    if (pad > 0 && !pat.zeroPad)
        num.append(size_t(pad), ' ');
    if (index < 0)
        num += '-';
    if (pad > 0 && pat.zeroPad)
        num.append(size_t(pad), '0');
    num += digits;
    return pat.prefix + num + pat.suffix;
}

long highestPatternIndex(const FramePattern &pat)
{
    // The directory part of the prefix, and the file-name part before the number.
    const size_t slash = pat.prefix.rfind('/');
    const fs::path dir =
        slash == std::string::npos ? fs::path(".") : fs::path(pat.prefix.substr(0, slash + 1));
    const std::string stem = slash == std::string::npos ? pat.prefix : pat.prefix.substr(slash + 1);
    long best = -1;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string suffix = fs::path(pat.suffix).filename().string();
        if (name.size() <= stem.size() + suffix.size() || name.compare(0, stem.size(), stem) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string digits =
            name.substr(stem.size(), name.size() - stem.size() - suffix.size());
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long index = std::stol(digits);
        if (framePath(pat, int(index)) == pat.prefix.substr(0, slash + 1) + name)
            best = std::max(best, index);
    }
    return best;
}

} // namespace vxh
