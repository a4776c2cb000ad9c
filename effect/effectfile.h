// The effect file: an effect's key list on disk (bytes: fileio/effectcodec.h).
#ifndef VX_EFFECTFILE_H
#define VX_EFFECTFILE_H

#include <cstdint>

#include "effect/context.h"
#include "fileio/effectcodec.h"

// Results of loadEffect.
enum {
    EFFECT_LOADED = 0,
    EFFECT_NO_MEMORY = 1,       // a key or grid could not be allocated
    EFFECT_CANNOT_OPEN = 2,     // no path, or the file cannot be opened
    EFFECT_NOT_FOR_PICTURE = 3, // not an effect file for this picture size
    EFFECT_UNREADABLE = 4,      // a file is there but cannot be opened (descriptors, rights, I/O)
};

// Writes the key list to effectPath. Nothing is written for an empty list;
// the file is replaced as a whole, so a failed write keeps the old one.
void saveEffect(OperatorContext &ctx);

// Replaces the key list by the content of effectPath, rescaling the stored
// frames to 0 .. lastFrame. Any key list in memory is discarded first.
int loadEffect(OperatorContext &ctx);

#endif
