// Failure logging of every operator: one journal line at level 4 with the
// source name and module code of the instance's variant.
#ifndef VX_LOG_H
#define VX_LOG_H

#include "variants/variant.h"

void logFailure(const VariantDesc *variant, int line);
#define LOG_FAILURE(variant) logFailure(variant, __LINE__)

#endif
