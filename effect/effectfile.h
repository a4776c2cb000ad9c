// The effect file: an effect's key list on disk.
//
// Layout, little-endian, no gaps: a 20-byte header (magic 0x56580100, frame
// count, picture width, picture height, key count), then per key its frame
// (uint32), level (int32) and grid (gridRows x gridCols nodes of float32 dx
// then dy, row by row).
#ifndef VX_EFFECTFILE_H
#define VX_EFFECTFILE_H

#include <cstdint>

enum : uint32_t { EFFECT_MAGIC = 0x56580100u };

// Results of loadEffect.
enum {
    EFFECT_LOADED = 0,
    EFFECT_NO_MEMORY = 1,   // a key or grid could not be allocated
    EFFECT_CANNOT_OPEN = 2, // no path, or the file cannot be opened
    EFFECT_NOT_FOR_PICTURE = 3, // not an effect file for this picture size
};

// Writes the key list to effectPath. Nothing is written for an empty list;
// the file is replaced as a whole, so a failed write keeps the old one.
void saveEffect(void);

// Replaces the key list by the content of effectPath, rescaling the stored
// frames to 0 .. lastFrame. Any key list in memory is discarded first.
int loadEffect(void);

#endif
