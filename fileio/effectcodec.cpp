#include "fileio/effectcodec.h"

#include <cstring>

namespace {

void putU32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)(v & 0xFFu);
    p[1] = (unsigned char)((v >> 8) & 0xFFu);
    p[2] = (unsigned char)((v >> 16) & 0xFFu);
    p[3] = (unsigned char)((v >> 24) & 0xFFu);
}

uint32_t getU32(const unsigned char *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

} // namespace

void encodeEffectHeader(const EffectHeader &header, unsigned char *out)
{
    putU32(out + 0, header.magic);
    putU32(out + 4, header.frameCount);
    putU32(out + 8, (uint32_t)header.width);
    putU32(out + 12, (uint32_t)header.height);
    putU32(out + 16, header.keyCount);
}

void decodeEffectHeader(const unsigned char *in, EffectHeader &header)
{
    header.magic = getU32(in + 0);
    header.frameCount = getU32(in + 4);
    header.width = (int32_t)getU32(in + 8);
    header.height = (int32_t)getU32(in + 12);
    header.keyCount = getU32(in + 16);
}

void encodeKeyHead(uint32_t frame, int32_t level, unsigned char *out)
{
    putU32(out + 0, frame);
    putU32(out + 4, (uint32_t)level);
}

void decodeKeyHead(const unsigned char *in, uint32_t &frame, int32_t &level)
{
    frame = getU32(in + 0);
    level = (int32_t)getU32(in + 4);
}

void encodeNodes(const float *pairs, size_t nodes, unsigned char *out)
{
    for (size_t i = 0; i < 2 * nodes; ++i) {
        uint32_t bits;
        memcpy(&bits, &pairs[i], 4);
        putU32(out + 4 * i, bits);
    }
}

void decodeNodes(const unsigned char *in, size_t nodes, float *pairs)
{
    for (size_t i = 0; i < 2 * nodes; ++i) {
        const uint32_t bits = getU32(in + 4 * i);
        memcpy(&pairs[i], &bits, 4);
    }
}

size_t effectNodeCount(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return (size_t)(width / 4) * (size_t)(height / 2);
}

uint64_t effectKeyBytes(int32_t width, int32_t height)
{
    return EFFECT_KEY_HEAD_BYTES + (uint64_t)effectNodeCount(width, height) * EFFECT_NODE_BYTES;
}

const char *effectLayoutFault(const EffectHeader &header, uint64_t fileBytes)
{
    if (fileBytes < EFFECT_HEADER_BYTES)
        return "shorter than an effect file's header";
    if (header.magic != EFFECT_MAGIC)
        return "not an effect file (wrong magic number)";
    if (header.keyCount == 0 || header.frameCount == 0)
        return "an effect without keys or frames";
    if (effectNodeCount(header.width, header.height) == 0)
        return "an effect for a picture too small for a grid";
    // Node counts stay below 2^59 (int32 sides), so the product cannot wrap.
    if ((uint64_t)header.keyCount >
        (fileBytes - EFFECT_HEADER_BYTES) / effectKeyBytes(header.width, header.height))
        return "truncated (fewer keys than its header says)";
    return nullptr;
}

uint32_t rescaleKeyFrame(uint32_t f, uint32_t index, uint32_t frameCount, uint32_t newLast)
{
    if (frameCount == 1)
        return index == 0 ? 0u : newLast;
    // The product needs 64 bits.
    const uint64_t frame = (uint64_t)newLast * f / (uint64_t)(frameCount - 1u);
    return frame > UINT32_MAX ? UINT32_MAX : (uint32_t)frame;
}
