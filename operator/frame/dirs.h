// Directories below $VXHOME and the project size probe, shared by every
// operator.
#ifndef VX_DIRS_H
#define VX_DIRS_H

#include <cstddef>
#include <cstdint>

#include "variants/variant.h"

enum { OPERATOR_DIR_SIZE = 512 };

// dir := $VXHOME + "/programs/vorlux/" (OPERATOR_DIR_SIZE bytes). -1
// (logged, dir empty) when VXHOME is unset or empty, or too long for the
// directory and the names below it.
int buildOperatorDir(const VariantDesc *variant, char *dir);
// Writes $VXHOME + suffix into out (size bytes); -1 (logged) when VXHOME is
// unset or the result does not fit.
int homePath(const VariantDesc *variant, const char *suffix, char *out, size_t size);
// The project picture size from one host image of the project format;
// false (sizes unchanged) when the host gives none.
bool probeProjectSize(int32_t &width, int32_t &height);
// Creates a directory and its missing parents; -1 when it cannot be made.
int makeDirectories(const char *path);
// makeDirectories, logged when the directory cannot be made.
void installDirectory(const VariantDesc *variant, const char *path);

#endif
