// Saving and loading of the key list. Every field is encoded byte by byte in
// little-endian order, independent of the layout of the records in memory.
#include "effect/effectfile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "effect/keys.h"
#include "fileio/atomicfile.h"

namespace {

constexpr size_t HEADER_BYTES = EFFECT_HEADER_BYTES;
constexpr size_t KEY_HEAD_BYTES = EFFECT_KEY_HEAD_BYTES;
constexpr size_t NODE_BYTES = EFFECT_NODE_BYTES;

// Grid nodes are moved through this many nodes at a time.
constexpr size_t CHUNK_NODES = 512;

bool hasPath(const OperatorContext &ctx)
{
    return ctx.effectPath && ctx.effectPath[0] != '\0';
}

// Negative lengths (fewer than two fields) count as a single frame.
uint32_t currentLastFrame(const OperatorContext &ctx)
{
    return ctx.lastFrame > 0 ? (uint32_t)ctx.lastFrame : 0u;
}

// ---- writing --------------------------------------------------------------

bool writeBytes(OperatorContext &ctx, const unsigned char *bytes, size_t count)
{
    return fwrite(bytes, 1, count, ctx.effectFile) == count;
}

bool writeGrid(OperatorContext &ctx, const MeshNode *grid, size_t nodes)
{
    unsigned char chunk[CHUNK_NODES * NODE_BYTES];
    for (size_t done = 0; done < nodes;) {
        const size_t n = nodes - done < CHUNK_NODES ? nodes - done : CHUNK_NODES;
        encodeNodes(&grid[done].dx, n, chunk);
        if (!writeBytes(ctx, chunk, n * NODE_BYTES))
            return false;
        done += n;
    }
    return true;
}

bool writeKeys(OperatorContext &ctx)
{
    uint32_t keyCount = 0;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next)
        ++keyCount;

    unsigned char header[HEADER_BYTES];
    encodeEffectHeader(
        {EFFECT_MAGIC, currentLastFrame(ctx) + 1u, ctx.imageWidth, ctx.imageHeight, keyCount},
        header);
    if (!writeBytes(ctx, header, sizeof header))
        return false;

    const size_t nodes = gridNodeCount(ctx);
    for (const KeyRecord *k = ctx.keyList; k; k = k->next) {
        unsigned char head[KEY_HEAD_BYTES];
        encodeKeyHead(k->frame, k->level, head);
        if (!writeBytes(ctx, head, sizeof head))
            return false;
        if (k->grid) {
            if (!writeGrid(ctx, k->grid, nodes))
                return false;
        } else {
            // A key without a grid is stored as undisplaced.
            static const MeshNode zero[CHUNK_NODES] = {};
            for (size_t done = 0; done < nodes; done += CHUNK_NODES)
                if (!writeGrid(ctx, zero, nodes - done < CHUNK_NODES ? nodes - done : CHUNK_NODES))
                    return false;
        }
    }
    return true;
}

// ---- reading --------------------------------------------------------------

bool readBytes(OperatorContext &ctx, unsigned char *bytes, size_t count)
{
    return fread(bytes, 1, count, ctx.effectFile) == count;
}

bool readGrid(OperatorContext &ctx, MeshNode *grid, size_t nodes)
{
    unsigned char chunk[CHUNK_NODES * NODE_BYTES];
    for (size_t done = 0; done < nodes;) {
        const size_t n = nodes - done < CHUNK_NODES ? nodes - done : CHUNK_NODES;
        if (!readBytes(ctx, chunk, n * NODE_BYTES))
            return false;
        decodeNodes(chunk, n, &grid[done].dx);
        done += n;
    }
    return true;
}

// Stored frame f of key number index, rescaled from a stored effect of
// frameCount frames (at least 1) to the current one.
uint32_t rescaleFrame(OperatorContext &ctx, uint32_t f, uint32_t index, uint32_t frameCount)
{
    return rescaleKeyFrame(f, index, frameCount, currentLastFrame(ctx));
}

int32_t clampLevel(int32_t level)
{
    return level < 0 ? 0 : level > 255 ? 255 : level;
}

// Reads the open effectFile into the (empty) key list. A file that is not
// a complete effect for this picture size leaves the list empty; on an
// allocation failure the keys read before stay in the list.
int readEffect(OperatorContext &ctx)
{
    struct stat st;
    if (fstat(fileno(ctx.effectFile), &st) != 0 || !S_ISREG(st.st_mode)) {
        LOG_FAILURE(ctx.variant); // journal: the effect file is not a regular file
        return EFFECT_NOT_FOR_PICTURE;
    }
    unsigned char header[HEADER_BYTES];
    if (!readBytes(ctx, header, sizeof header)) {
        LOG_FAILURE(ctx.variant); // journal: the effect file is cut off in its header
        return EFFECT_NOT_FOR_PICTURE;
    }
    EffectHeader fileHeader;
    decodeEffectHeader(header, fileHeader);
    const uint32_t magic = fileHeader.magic;
    const uint32_t frameCount = fileHeader.frameCount;
    const int32_t width = fileHeader.width;
    const int32_t height = fileHeader.height;
    const uint32_t keyCount = fileHeader.keyCount;
    if (magic != EFFECT_MAGIC || width != ctx.imageWidth || height != ctx.imageHeight) {
        LOG_FAILURE(ctx.variant); // journal: the effect file is made for another picture size
        return EFFECT_NOT_FOR_PICTURE;
    }
    // The key grids hold gridNodeCount(ctx) nodes; the file holds what its
    // picture size gives. They must agree before anything is read into a grid.
    const size_t nodes = gridNodeCount(ctx);
    if (nodes != effectNodeCount(width, height)) {
        LOG_FAILURE(ctx.variant); // journal: the effect file's meshes do not fit the picture
        return EFFECT_NOT_FOR_PICTURE;
    }
    if (keyCount == 0 || frameCount == 0) {
        LOG_FAILURE(ctx.variant); // journal: the effect file has no keys or no frames
        return EFFECT_NOT_FOR_PICTURE;
    }
    // All keys must fit in the file before the first one is allocated. The
    // node count is below 2^59 (int32 width and height), so this cannot wrap.
    const uint64_t keyBytes = KEY_HEAD_BYTES + (uint64_t)nodes * NODE_BYTES;
    const uint64_t fileBytes = st.st_size > 0 ? (uint64_t)st.st_size : 0u;
    if (fileBytes < HEADER_BYTES || (uint64_t)keyCount > (fileBytes - HEADER_BYTES) / keyBytes) {
        LOG_FAILURE(ctx.variant); // journal: the effect file is shorter than its keys
        return EFFECT_NOT_FOR_PICTURE;
    }

    KeyRecord *tail = nullptr;
    for (uint32_t index = 0; index < keyCount; ++index) {
        unsigned char head[KEY_HEAD_BYTES];
        if (!readBytes(ctx, head, sizeof head)) {
            freeKeys(ctx);
            LOG_FAILURE(ctx.variant); // journal: the effect file is cut off in a key
            return EFFECT_NOT_FOR_PICTURE;
        }
        uint32_t storedFrame;
        int32_t storedLevel;
        decodeKeyHead(head, storedFrame, storedLevel);
        const uint32_t frame = rescaleFrame(ctx, storedFrame, index, frameCount);
        const int32_t level = clampLevel(storedLevel);
        // allocKey logs its own failure and leaves nothing allocated.
        KeyRecord *key = allocKey(ctx, frame, level);
        if (!key)
            return EFFECT_NO_MEMORY;
        key->prev = tail;
        if (tail)
            tail->next = key;
        else
            ctx.keyList = key;
        tail = key;
        if (!readGrid(ctx, key->grid, nodes)) {
            freeKeys(ctx);
            LOG_FAILURE(ctx.variant); // journal: the effect file is cut off in a key's mesh
            return EFFECT_NOT_FOR_PICTURE;
        }
    }
    return EFFECT_LOADED;
}

} // namespace

void saveEffect(OperatorContext &ctx)
{
    if (!ctx.keyList)
        return;
    if (!hasPath(ctx)) {
        LOG_FAILURE(ctx.variant); // journal: saving the effect: no effect file path
        return;
    }
    // A file whose grids do not match its picture size could not be read
    // back; keep whatever is on disk instead.
    if (gridNodeCount(ctx) != effectNodeCount(ctx.imageWidth, ctx.imageHeight)) {
        LOG_FAILURE(ctx.variant); // journal: saving: meshes unfit for the picture
        return;
    }

    // The previous effect survives any failure of the write.
    AtomicFile file;
    if (atomicOpen(ctx.effectPath, &file) != 0) {
        LOG_FAILURE(ctx.variant); // journal: saving the effect: cannot create the file
        return;
    }
    ctx.effectFile = file.stream;
    const bool written = writeKeys(ctx);
    ctx.effectFile = nullptr;
    if (!written) {
        LOG_FAILURE(ctx.variant); // journal: saving the effect: writing the keys failed
        atomicAbandon(&file);
        return;
    }
    if (atomicCommit(&file) != 0)
        LOG_FAILURE(ctx.variant); // journal: saving the effect: cannot replace the file
}

int loadEffect(OperatorContext &ctx)
{
    freeKeys(ctx);
    if (!hasPath(ctx)) {
        LOG_FAILURE(ctx.variant); // journal: loading the effect: no effect file path
        return EFFECT_CANNOT_OPEN;
    }
    // Anything but a regular file (a FIFO would block) is unreadable.
    ctx.effectFile = openRegularFile(ctx.effectPath);
    if (!ctx.effectFile) {
        const bool there = errno != ENOENT && errno != EISDIR && errno != EINVAL;
        LOG_FAILURE(ctx.variant); // journal: loading the effect: the file cannot be opened
        return there ? EFFECT_UNREADABLE : EFFECT_CANNOT_OPEN;
    }
    const int result = readEffect(ctx);
    fclose(ctx.effectFile);
    ctx.effectFile = nullptr;
    return result;
}
