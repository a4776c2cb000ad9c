#include "host/cli/dissolve.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"
#include "host/core/plugin.h"

namespace vxh {

PictureMix pictureMixOf(const OpTagItem *tags)
{
    uintptr_t value = 0;
    if (findTag(tags, OP_TAG_SINGLE_INPUT, value) && value)
        return PictureMix::Input0;
    if (!findTag(tags, OP_TAG_PARAMS, value) || !value)
        return PictureMix::Input0;
    if (((const ParamBlockDesc *)value)->size != 28)
        return PictureMix::CrossFade;
    // Draw paints over input 0; Morph and FX dissolve into input 1.
    return findTag(tags, OP_TAG_IDENT, value) && value && strstr((const char *)value, "VorluxDraw")
               ? PictureMix::Input0
               : PictureMix::EffectKeys;
}

namespace {

// The effect file's keys for fields of fieldW x fieldH, frames as stored;
// empty when it does not load for them.
bool readKeys(const std::string &path, int fieldW, int fieldH, std::vector<KeyLevel> &keys,
              uint32_t &frameCount)
{
    FILE *f = openRegularFile(path.c_str());
    if (!f)
        return false;
    struct stat st;
    unsigned char bytes[EFFECT_HEADER_BYTES] = {};
    EffectHeader h{};
    bool ok = fstat(fileno(f), &st) == 0 && fread(bytes, 1, sizeof bytes, f) == sizeof bytes;
    if (ok) {
        decodeEffectHeader(bytes, h);
        ok = !effectLayoutFault(h, (uint64_t)st.st_size) && h.width == fieldW && h.height == fieldH;
    }
    const uint64_t gridBytes = effectKeyBytes(h.width, h.height) - EFFECT_KEY_HEAD_BYTES;
    for (uint32_t k = 0; ok && k < h.keyCount; ++k) {
        unsigned char head[EFFECT_KEY_HEAD_BYTES];
        uint32_t frame;
        int32_t level;
        ok = fread(head, 1, sizeof head, f) == sizeof head &&
             fseeko(f, (off_t)gridBytes, SEEK_CUR) == 0;
        decodeKeyHead(head, frame, level);
        keys.emplace_back(frame, level);
    }
    fclose(f);
    frameCount = h.frameCount;
    return ok;
}

} // namespace

std::vector<KeyLevel> renderedKeys(const std::string &effectFile, int fieldW, int fieldH,
                                   uint32_t fieldCount)
{
    const uint32_t last = fieldCount / 2 >= 1 ? fieldCount / 2 - 1 : 0;
    std::vector<KeyLevel> keys;
    uint32_t frameCount = 0;
    if (!readKeys(effectFile, fieldW, fieldH, keys, frameCount))
        return {{0, 0}, {last, 255}};
    for (size_t i = 0; i < keys.size(); ++i) {
        keys[i].first = rescaleKeyFrame(keys[i].first, (uint32_t)i, frameCount, last);
        keys[i].second = keys[i].second < 0 ? 0 : keys[i].second > 255 ? 255 : keys[i].second;
    }
    return keys;
}

std::vector<int> keyLevels(const std::vector<KeyLevel> &keys, long begin, long end)
{
    std::vector<int> levels;
    int level = 0;
    for (long field = begin; field < end; ++field) {
        const uint32_t t = (uint32_t)(field / 2);
        for (size_t i = 0; i < keys.size(); ++i) {
            const KeyLevel &k = keys[i];
            if (t == k.first) {
                level = k.second;
                break;
            }
            if (i + 1 < keys.size() && k.first < t && t < keys[i + 1].first) {
                const KeyLevel &n = keys[i + 1];
                const float span = (float)(n.first - k.first), e = (float)(t - k.first);
                const float w = span - e;
                level = (int)(((float)n.second * e + (float)k.second * w) / span);
                break;
            }
        }
        levels.push_back(level);
    }
    return levels;
}

int crossFadeShare(uint32_t fieldCount, uint32_t length, uint32_t field)
{
    const uint32_t w = fieldCount < length ? fieldCount : length;
    const uint32_t s = (fieldCount - w) / 2;
    if (field < s)
        return 0;
    if (field - s < w)
        return (int)((uint64_t)(field - s) * 255 / w);
    return 255;
}

} // namespace vxh
