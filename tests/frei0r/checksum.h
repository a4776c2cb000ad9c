// The checksum the frei0r recorder writes for each picture it sees, and the
// tests compute for the pictures they expect: 64-bit FNV-1a of the bytes.
#ifndef VXF_TEST_CHECKSUM_H
#define VXF_TEST_CHECKSUM_H

#include <cstddef>
#include <cstdint>

inline uint64_t pictureChecksum(const void *bytes, size_t size)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ ((const uint8_t *)bytes)[i]) * 0x100000001b3ull;
    return hash;
}

#endif
