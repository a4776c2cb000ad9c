// Host operator library: fields in and out, abort polling, preview,
// per-instance file names and gadget updates.
#ifndef VX_VXCORE_H
#define VX_VXCORE_H

#include "operator/host/records.h"

#ifdef __cplusplus
extern "C" {
#endif

HostImage *opGetField(int input, uint32_t field);
int opPutField(HostImage *image);
int opChkAbort(void);
int opPreview(int mode);
const char *opGetCustomPrefsName(uint32_t instance, const char *dir, int a, int b);
int opChangeGadget(int index, int value, int reserved);

#ifdef __cplusplus
}
#endif

#endif
