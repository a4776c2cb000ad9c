// The library's context, its logging and its heap.
#include "effect/context.h"

#include <cstdlib>

#include "operator/host/vxjournal.h"
#include "variants/variant.h"

OperatorContext ctx{};

void logFailure(int line)
{
    loggerMessage(4, line, vxVariant->sourceName, vxVariant->moduleCode, " ");
}

static long allocationsLeft = -1;

void failAllocationAfter(long count)
{
    allocationsLeft = count;
}

static bool allocationAllowed(void)
{
    if (allocationsLeft < 0)
        return true;
    if (allocationsLeft == 0)
        return false;
    --allocationsLeft;
    return true;
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
