#include "engine/heap.h"

#include <cstdlib>

namespace {

// Per thread: instances driven from several threads each see only their
// own thread's hook.
thread_local long allocationsLeft = -1;
thread_local bool allocationRefused = false;

bool allocationAllowed(void)
{
    if (allocationsLeft < 0)
        return true;
    if (allocationsLeft == 0) {
        allocationRefused = true;
        return false;
    }
    --allocationsLeft;
    return true;
}

} // namespace

void failAllocationAfter(long count)
{
    allocationsLeft = count;
    allocationRefused = false;
}

bool allocationFailed(void)
{
    return allocationRefused;
}

void *allocBlock(size_t bytes)
{
    return allocationAllowed() ? malloc(bytes ? bytes : 1) : nullptr;
}

void *allocZeroed(size_t count, size_t size)
{
    return allocationAllowed() ? calloc(count ? count : 1, size ? size : 1) : nullptr;
}

void freeBlock(void *block)
{
    free(block);
}
