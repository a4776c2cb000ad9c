// The effect file's bytes, shared by the plug-ins, vxhost and the tests.
//
// Layout, little-endian, no gaps: a 20-byte header (magic 0x56580100, frame
// count, picture width, picture height, key count), then per key its frame
// (uint32), level (int32) and grid (width/4 x height/2 nodes of float32 dx
// then dy, row by row).
#ifndef VX_EFFECTCODEC_H
#define VX_EFFECTCODEC_H

#include <cstddef>
#include <cstdint>

enum : uint32_t { EFFECT_MAGIC = 0x56580100u };
enum : size_t { EFFECT_HEADER_BYTES = 20, EFFECT_KEY_HEAD_BYTES = 8, EFFECT_NODE_BYTES = 8 };

struct EffectHeader {
    uint32_t magic;
    uint32_t frameCount;
    int32_t width, height; // picture size of the grids
    uint32_t keyCount;
};

void encodeEffectHeader(const EffectHeader &header, unsigned char *out);
void decodeEffectHeader(const unsigned char *in, EffectHeader &header);
void encodeKeyHead(uint32_t frame, int32_t level, unsigned char *out);
void decodeKeyHead(const unsigned char *in, uint32_t &frame, int32_t &level);
// nodes pairs of float32 (dx, dy) to and from 8 bytes each.
void encodeNodes(const float *pairs, size_t nodes, unsigned char *out);
void decodeNodes(const unsigned char *in, size_t nodes, float *pairs);

// Grid nodes per key of a picture of width x height (0 for a non-positive side).
size_t effectNodeCount(int32_t width, int32_t height);
// Bytes of one key of a picture of width x height.
uint64_t effectKeyBytes(int32_t width, int32_t height);
// Null when a file of fileBytes with this header holds what the header says
// (right magic, at least one key and one frame, every key present); else
// what is wrong, as a short phrase.
const char *effectLayoutFault(const EffectHeader &header, uint64_t fileBytes);

// Stored frame f of key number index of an effect of frameCount frames (at
// least 1), moved to an effect whose last frame is newLast: the first key
// stays on frame 0 and the last stored frame lands on newLast, truncating
// between. An effect of one frame puts its first key on 0, the others on
// newLast. Frames stored beyond the stored length saturate at UINT32_MAX.
uint32_t rescaleKeyFrame(uint32_t f, uint32_t index, uint32_t frameCount, uint32_t newLast);

#endif
