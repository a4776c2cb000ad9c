// Host formatting library: bounded printf-style formatting.
#include "operator/host/vxfmt.h"
#include "operator/host/export.h"

#include <cstdarg>
#include <cstdio>

VX_EXPORT int sxprintf(char *buffer, int size, const char *format, ...)
{
    if (!buffer || size <= 0 || !format)
        return 0;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, static_cast<size_t>(size), format, args);
    va_end(args);
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return n < size ? n : size - 1;
}
