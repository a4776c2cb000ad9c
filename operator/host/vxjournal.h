// Host journal library.
#ifndef VX_VXJOURNAL_H
#define VX_VXJOURNAL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void loggerMessage(int level, int line, const char *source, uint32_t moduleCode, const char *format,
                   ...);

#ifdef __cplusplus
}
#endif

#endif
