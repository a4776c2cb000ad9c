#include "engine/heap.h"

#include <cstdlib>

namespace {

// Per thread: instances driven from several threads each see only their
// own thread's hook: allocations left before they fail, -1 none armed, -2
// failing (one has failed). In the static TLS block, so that a plug-in
// unloaded with dlclose leaves no dynamic TLS slot behind.
thread_local long allocationsLeft __attribute__((tls_model("initial-exec"))) = -1;
constexpr long REFUSING = -2;

bool allocationAllowed(void)
{
    if (allocationsLeft == -1)
        return true;
    if (allocationsLeft == 0 || allocationsLeft == REFUSING) {
        allocationsLeft = REFUSING;
        return false;
    }
    --allocationsLeft;
    return true;
}

} // namespace

void failAllocationAfter(long count)
{
    allocationsLeft = count < 0 ? -1 : count;
}

bool allocationFailed(void)
{
    return allocationsLeft == REFUSING;
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
