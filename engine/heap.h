// Heap allocation of the plug-ins' core. Tests can make the Nth allocation
// of their own thread fail.
#ifndef VX_HEAP_H
#define VX_HEAP_H

#include <cstddef>

void *allocBlock(size_t bytes);
void *allocZeroed(size_t count, size_t size);
void freeBlock(void *block);
// The allocations of the calling thread fail after count more; -1: never
// (the default).
void failAllocationAfter(long count);
// Whether an allocation of the calling thread failed since the hook was set.
bool allocationFailed(void);

#endif
