// Host message-queue library.
#ifndef VX_VXMSGQ_H
#define VX_VXMSGQ_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A queue of count messages of size bytes; 0 when it cannot be created. */
uint32_t msgQCreate(int count, int size, int flags);

#ifdef __cplusplus
}
#endif

#endif
