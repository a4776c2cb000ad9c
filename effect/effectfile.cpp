// Saving and loading of the key list. Every field is encoded byte by byte in
// little-endian order, independent of the layout of the records in memory.
#include "effect/effectfile.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "effect/keys.h"

namespace {

constexpr size_t HEADER_BYTES = 20;
constexpr size_t KEY_HEAD_BYTES = 8;
constexpr size_t NODE_BYTES = 8;

// Grid nodes are moved through this many nodes at a time.
constexpr size_t CHUNK_NODES = 512;

const char TEMP_SUFFIX[] = ".tmp-XXXXXX";

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

void putFloat(unsigned char *p, float f)
{
    uint32_t bits;
    memcpy(&bits, &f, 4);
    putU32(p, bits);
}

float getFloat(const unsigned char *p)
{
    const uint32_t bits = getU32(p);
    float f;
    memcpy(&f, &bits, 4);
    return f;
}

bool hasPath(void)
{
    return ctx.effectPath && ctx.effectPath[0] != '\0';
}

// Grid nodes per key that a file for this picture size holds.
size_t fileNodeCount(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return (size_t)(width / 4) * (size_t)(height / 2);
}

// Negative lengths (fewer than two fields) count as a single frame.
uint32_t currentLastFrame(void)
{
    return ctx.lastFrame > 0 ? (uint32_t)ctx.lastFrame : 0u;
}

// ---- writing --------------------------------------------------------------

bool writeBytes(const unsigned char *bytes, size_t count)
{
    return fwrite(bytes, 1, count, ctx.effectFile) == count;
}

bool writeGrid(const MeshNode *grid, size_t nodes)
{
    unsigned char chunk[CHUNK_NODES * NODE_BYTES];
    for (size_t done = 0; done < nodes;) {
        const size_t n = nodes - done < CHUNK_NODES ? nodes - done : CHUNK_NODES;
        for (size_t i = 0; i < n; ++i) {
            putFloat(chunk + i * NODE_BYTES, grid[done + i].dx);
            putFloat(chunk + i * NODE_BYTES + 4, grid[done + i].dy);
        }
        if (!writeBytes(chunk, n * NODE_BYTES))
            return false;
        done += n;
    }
    return true;
}

bool writeKeys(void)
{
    uint32_t keyCount = 0;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next)
        ++keyCount;

    unsigned char header[HEADER_BYTES];
    putU32(header + 0, EFFECT_MAGIC);
    putU32(header + 4, currentLastFrame() + 1u);
    putU32(header + 8, (uint32_t)ctx.imageWidth);
    putU32(header + 12, (uint32_t)ctx.imageHeight);
    putU32(header + 16, keyCount);
    if (!writeBytes(header, sizeof header))
        return false;

    const size_t nodes = gridNodeCount();
    for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
        unsigned char head[KEY_HEAD_BYTES];
        putU32(head + 0, k->frame);
        putU32(head + 4, (uint32_t)k->level);
        if (!writeBytes(head, sizeof head))
            return false;
        if (k->grid) {
            if (!writeGrid(k->grid, nodes))
                return false;
        } else {
            // A key without a grid is stored as undisplaced.
            static const MeshNode zero[CHUNK_NODES] = {};
            for (size_t done = 0; done < nodes; done += CHUNK_NODES)
                if (!writeGrid(zero, nodes - done < CHUNK_NODES ? nodes - done : CHUNK_NODES))
                    return false;
        }
    }
    return true;
}

// Permissions of the new file: those of the file it replaces, or what a
// plain creation would give.
mode_t newFileMode(void)
{
    struct stat st;
    if (stat(ctx.effectPath, &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// ---- reading --------------------------------------------------------------

bool readBytes(unsigned char *bytes, size_t count)
{
    return fread(bytes, 1, count, ctx.effectFile) == count;
}

bool readGrid(MeshNode *grid, size_t nodes)
{
    unsigned char chunk[CHUNK_NODES * NODE_BYTES];
    for (size_t done = 0; done < nodes;) {
        const size_t n = nodes - done < CHUNK_NODES ? nodes - done : CHUNK_NODES;
        if (!readBytes(chunk, n * NODE_BYTES))
            return false;
        for (size_t i = 0; i < n; ++i) {
            grid[done + i].dx = getFloat(chunk + i * NODE_BYTES);
            grid[done + i].dy = getFloat(chunk + i * NODE_BYTES + 4);
        }
        done += n;
    }
    return true;
}

// Stored frame f of key number index, rescaled from a stored effect of
// frameCount frames (at least 1) to the current one. The product needs 64
// bits; frames stored beyond the stored length may land beyond uint32.
uint32_t rescaleFrame(uint32_t f, uint32_t index, uint32_t frameCount)
{
    const uint64_t last = currentLastFrame();
    if (frameCount == 1)
        return index == 0 ? 0u : (uint32_t)last;
    const uint64_t frame = last * (uint64_t)f / (uint64_t)(frameCount - 1u);
    return frame > UINT32_MAX ? UINT32_MAX : (uint32_t)frame;
}

int32_t clampLevel(int32_t level)
{
    return level < 0 ? 0 : level > 255 ? 255 : level;
}

// Reads the open effectFile into the (empty) key list. A file that is not
// a complete effect for this picture size leaves the list empty; on an
// allocation failure the keys read before stay in the list.
int readEffect(void)
{
    struct stat st;
    if (fstat(fileno(ctx.effectFile), &st) != 0 || !S_ISREG(st.st_mode)) {
        LOG_FAILURE();
        return EFFECT_NOT_FOR_PICTURE;
    }
    unsigned char header[HEADER_BYTES];
    if (!readBytes(header, sizeof header)) {
        LOG_FAILURE();
        return EFFECT_NOT_FOR_PICTURE;
    }
    const uint32_t magic = getU32(header + 0);
    const uint32_t frameCount = getU32(header + 4);
    const int32_t width = (int32_t)getU32(header + 8);
    const int32_t height = (int32_t)getU32(header + 12);
    const uint32_t keyCount = getU32(header + 16);
    if (magic != EFFECT_MAGIC || width != ctx.imageWidth || height != ctx.imageHeight) {
        LOG_FAILURE();
        return EFFECT_NOT_FOR_PICTURE;
    }
    // The key grids hold gridNodeCount() nodes; the file holds what its
    // picture size gives. They must agree before anything is read into a grid.
    const size_t nodes = gridNodeCount();
    if (nodes != fileNodeCount(width, height)) {
        LOG_FAILURE();
        return EFFECT_NOT_FOR_PICTURE;
    }
    if (keyCount == 0 || frameCount == 0) {
        LOG_FAILURE();
        return EFFECT_NOT_FOR_PICTURE;
    }
    // All keys must fit in the file before the first one is allocated. The
    // node count is below 2^59 (int32 width and height), so this cannot wrap.
    const uint64_t keyBytes = KEY_HEAD_BYTES + (uint64_t)nodes * NODE_BYTES;
    const uint64_t fileBytes = st.st_size > 0 ? (uint64_t)st.st_size : 0u;
    if (fileBytes < HEADER_BYTES || (uint64_t)keyCount > (fileBytes - HEADER_BYTES) / keyBytes) {
        LOG_FAILURE();
        return EFFECT_NOT_FOR_PICTURE;
    }

    KeyRecord *tail = nullptr;
    for (uint32_t index = 0; index < keyCount; ++index) {
        unsigned char head[KEY_HEAD_BYTES];
        if (!readBytes(head, sizeof head)) {
            freeKeys();
            LOG_FAILURE();
            return EFFECT_NOT_FOR_PICTURE;
        }
        const uint32_t frame = rescaleFrame(getU32(head + 0), index, frameCount);
        const int32_t level = clampLevel((int32_t)getU32(head + 4));
        // allocKey logs its own failure and leaves nothing allocated.
        KeyRecord *key = allocKey(frame, level);
        if (!key)
            return EFFECT_NO_MEMORY;
        key->prev = tail;
        if (tail)
            tail->next = key;
        else
            ctx.keyList = key;
        tail = key;
        if (!readGrid(key->grid, nodes)) {
            freeKeys();
            LOG_FAILURE();
            return EFFECT_NOT_FOR_PICTURE;
        }
    }
    return EFFECT_LOADED;
}

} // namespace

void saveEffect(void)
{
    if (!ctx.keyList)
        return;
    if (!hasPath()) {
        LOG_FAILURE();
        return;
    }
    // A file whose grids do not match its picture size could not be read
    // back; keep whatever is on disk instead.
    if (gridNodeCount() != fileNodeCount(ctx.imageWidth, ctx.imageHeight)) {
        LOG_FAILURE();
        return;
    }

    // Write a temporary file beside the target and rename it over the target
    // only once it is complete: the previous effect survives any failure.
    char tempPath[PATH_MAX + sizeof TEMP_SUFFIX];
    const size_t length = strlen(ctx.effectPath);
    if (length >= PATH_MAX) {
        LOG_FAILURE();
        return;
    }
    memcpy(tempPath, ctx.effectPath, length);
    memcpy(tempPath + length, TEMP_SUFFIX, sizeof TEMP_SUFFIX);

    const mode_t mode = newFileMode();
    const int fd = mkstemp(tempPath);
    if (fd < 0) {
        LOG_FAILURE();
        return;
    }
    // A file with the wrong permissions is still a good effect: no check.
    (void)fchmod(fd, mode);
    ctx.effectFile = fdopen(fd, "wb");
    if (!ctx.effectFile) {
        LOG_FAILURE();
        close(fd);
        unlink(tempPath);
        return;
    }

    bool written = writeKeys();
    if (written && (fflush(ctx.effectFile) != 0 || fsync(fd) != 0))
        written = false;
    if (fclose(ctx.effectFile) != 0)
        written = false;
    ctx.effectFile = nullptr;
    if (!written) {
        LOG_FAILURE();
        unlink(tempPath);
        return;
    }
    if (rename(tempPath, ctx.effectPath) != 0) {
        LOG_FAILURE();
        unlink(tempPath);
    }
}

int loadEffect(void)
{
    freeKeys();
    if (!hasPath()) {
        LOG_FAILURE();
        return EFFECT_CANNOT_OPEN;
    }
    ctx.effectFile = fopen(ctx.effectPath, "rb");
    if (!ctx.effectFile) {
        LOG_FAILURE();
        return EFFECT_CANNOT_OPEN;
    }
    const int result = readEffect();
    fclose(ctx.effectFile);
    ctx.effectFile = nullptr;
    return result;
}
