#include "operator/frame/log.h"

#include "operator/host/vxjournal.h"

void logFailure(const VariantDesc *variant, int line)
{
    loggerMessage(4, line, variant->sourceName, variant->moduleCode, " ");
}
