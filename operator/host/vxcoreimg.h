// Host image library: allocation of project-format images.
#ifndef VX_VXCOREIMG_H
#define VX_VXCOREIMG_H

#include "operator/host/records.h"

#ifdef __cplusplus
extern "C" {
#endif

/* opAllocImage(0, 0, 1, 0): one field of the current project format. */
HostImage *opAllocImage(int a, int b, int c, int d);
void opFreeImage(HostImage *image);

#ifdef __cplusplus
}
#endif

#endif
