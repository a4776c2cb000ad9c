// The editor's undo history: kept models, their shared blobs, and putting
// a kept model back on the screen.
#include "editor/undo.h"

#include <cstring>
#include <initializer_list>

#include "editor/draw.h"
#include "editor/session.h"
#include "effect/framefields.h"
#include "effect/keys.h"
#include "engine/heap.h"
#include "variants/variant.h"

// Bytes kept once however many kept models hold them.
struct UndoBlob {
    uint32_t refs;
    size_t bytes;
    uint64_t hash;
    unsigned char data[];
};

struct UndoKey {
    uint32_t frame;
    int32_t level;
    UndoBlob *grid, *thumbnail;
};

// The editor's model at one moment.
struct UndoSnapshot {
    UndoKey *keys;
    uint32_t keyCount;
    UndoBlob *meshA, *meshB, *meshBase, *clipboard; // meshB null outside the morph
    int32_t currentFrame, dissolveLevel, keyModified;
    int32_t generatorParams[20];
    int32_t generatorApplied;
};

namespace {

constexpr size_t THUMBNAIL_BYTES = sizeof(KeyRecord::thumbnail);

uint64_t hashBytes(const unsigned char *data, size_t bytes)
{
    uint64_t h = 0x9E3779B97F4A7C15ull ^ bytes;
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t w;
        memcpy(&w, data + i, 8);
        h = (h ^ w) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    for (; i < bytes; ++i)
        h = (h ^ data[i]) * 0x100000001B3ull;
    return h;
}

void dropBlob(UndoHistory &h, UndoBlob *blob)
{
    if (!blob || --blob->refs > 0)
        return;
    for (size_t i = 0; i < h.blobCount; ++i)
        if (h.blobs[i] == blob) {
            h.blobs[i] = h.blobs[--h.blobCount];
            break;
        }
    h.bytes -= sizeof(UndoBlob) + blob->bytes;
    freeBlock(blob);
}

// A blob holding these bytes: the hint or another kept one when it holds
// the same, else a new one; null when there is no memory. Most of a model
// is as it was in the last kept one, which the hint is from, so a
// comparison usually saves the hash.
UndoBlob *shareBlob(UndoHistory &h, const void *data, size_t bytes, UndoBlob *hint)
{
    const unsigned char *p = (const unsigned char *)data;
    if (hint && hint->bytes == bytes && memcmp(hint->data, p, bytes) == 0) {
        ++hint->refs;
        return hint;
    }
    const uint64_t hash = hashBytes(p, bytes);
    for (size_t i = 0; i < h.blobCount; ++i) {
        UndoBlob *b = h.blobs[i];
        if (b->hash == hash && b->bytes == bytes && memcmp(b->data, p, bytes) == 0) {
            ++b->refs;
            return b;
        }
    }
    if (h.blobCount == h.blobCapacity) {
        const size_t capacity = h.blobCapacity ? 2 * h.blobCapacity : 64;
        UndoBlob **grown = (UndoBlob **)allocBlock(capacity * sizeof(UndoBlob *));
        if (!grown)
            return nullptr;
        if (h.blobCount)
            memcpy(grown, h.blobs, h.blobCount * sizeof(UndoBlob *));
        freeBlock(h.blobs);
        h.blobs = grown;
        h.blobCapacity = capacity;
    }
    UndoBlob *b = (UndoBlob *)allocBlock(sizeof(UndoBlob) + bytes);
    if (!b)
        return nullptr;
    b->refs = 1;
    b->bytes = bytes;
    b->hash = hash;
    memcpy(b->data, p, bytes);
    h.blobs[h.blobCount++] = b;
    h.bytes += sizeof(UndoBlob) + bytes;
    return b;
}

void freeSnapshot(UndoHistory &h, UndoSnapshot *s)
{
    if (!s)
        return;
    for (uint32_t i = 0; i < s->keyCount; ++i) {
        dropBlob(h, s->keys[i].grid);
        dropBlob(h, s->keys[i].thumbnail);
    }
    for (UndoBlob *b : {s->meshA, s->meshB, s->meshBase, s->clipboard})
        dropBlob(h, b);
    freeBlock(s->keys);
    freeBlock(s);
}

size_t meshBytes(const OperatorContext &ctx)
{
    return gridNodeCount(ctx) * sizeof(MeshNode);
}

bool keepsMeshB(const OperatorContext &ctx)
{
    return ctx.variant->hasMeshB && ctx.meshB;
}

// The kept model most like the present one: the newest kept.
const UndoSnapshot *newestKept(const UndoHistory &h)
{
    if (h.open)
        return h.open;
    return h.undoCount ? h.undo[h.undoCount - 1] : nullptr;
}

// The key of frame in a kept model, or null.
const UndoKey *keptKey(const UndoSnapshot *s, uint32_t frame)
{
    for (uint32_t i = 0; s && i < s->keyCount; ++i)
        if (s->keys[i].frame == frame)
            return &s->keys[i];
    return nullptr;
}

// The model as it stands; null when it cannot be kept.
UndoSnapshot *takeSnapshot(UndoHistory &h, const EditorState &ed, const OperatorContext &ctx)
{
    if (!ctx.meshA || !ctx.meshBase || !ctx.meshClipboard || gridNodeCount(ctx) > ctx.meshCapacity)
        return nullptr;
    UndoSnapshot *s = (UndoSnapshot *)allocZeroed(1, sizeof(UndoSnapshot));
    if (!s)
        return nullptr;
    uint32_t count = 0;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next)
        ++count;
    s->keys = (UndoKey *)allocZeroed(count, sizeof(UndoKey));
    bool whole = s->keys != nullptr;
    const size_t bytes = meshBytes(ctx);
    const UndoSnapshot *hint = newestKept(h);
    for (const KeyRecord *k = ctx.keyList; k && whole; k = k->next) {
        UndoKey &u = s->keys[s->keyCount++];
        const UndoKey *was = keptKey(hint, k->frame);
        u.frame = k->frame;
        u.level = k->level;
        u.grid = shareBlob(h, k->grid, bytes, was ? was->grid : nullptr);
        u.thumbnail = shareBlob(h, k->thumbnail, THUMBNAIL_BYTES, was ? was->thumbnail : nullptr);
        whole = u.grid && u.thumbnail;
    }
    s->meshA = whole ? shareBlob(h, ctx.meshA, bytes, hint ? hint->meshA : nullptr) : nullptr;
    s->meshB = whole && keepsMeshB(ctx)
                   ? shareBlob(h, ctx.meshB, bytes, hint ? hint->meshB : nullptr)
                   : nullptr;
    s->meshBase =
        whole ? shareBlob(h, ctx.meshBase, bytes, hint ? hint->meshBase : nullptr) : nullptr;
    s->clipboard =
        whole ? shareBlob(h, ctx.meshClipboard, bytes, hint ? hint->clipboard : nullptr) : nullptr;
    whole = whole && s->meshA && s->meshBase && s->clipboard && (s->meshB || !keepsMeshB(ctx));
    if (!whole) {
        freeSnapshot(h, s);
        return nullptr;
    }
    s->currentFrame = ctx.currentFrame;
    s->dissolveLevel = ctx.dissolveLevel;
    s->keyModified = ctx.keyModified;
    memcpy(s->generatorParams, ed.generatorParams, sizeof s->generatorParams);
    s->generatorApplied = ed.generatorApplied;
    return s;
}

bool holds(const UndoBlob *b, const void *data, size_t bytes)
{
    return b && b->bytes == bytes && memcmp(b->data, data, bytes) == 0;
}

bool matchesModel(const UndoSnapshot &s, const EditorState &ed, const OperatorContext &ctx)
{
    if (s.currentFrame != ctx.currentFrame || s.dissolveLevel != ctx.dissolveLevel ||
        s.keyModified != ctx.keyModified || s.generatorApplied != ed.generatorApplied ||
        memcmp(s.generatorParams, ed.generatorParams, sizeof s.generatorParams) != 0)
        return false;
    const size_t bytes = meshBytes(ctx);
    uint32_t i = 0;
    for (const KeyRecord *k = ctx.keyList; k; k = k->next, ++i)
        if (i == s.keyCount || s.keys[i].frame != k->frame || s.keys[i].level != k->level ||
            !holds(s.keys[i].grid, k->grid, bytes) ||
            !holds(s.keys[i].thumbnail, k->thumbnail, THUMBNAIL_BYTES))
            return false;
    return i == s.keyCount && holds(s.meshA, ctx.meshA, bytes) &&
           holds(s.meshBase, ctx.meshBase, bytes) && holds(s.clipboard, ctx.meshClipboard, bytes) &&
           (!keepsMeshB(ctx) || holds(s.meshB, ctx.meshB, bytes));
}

void dropOldest(UndoHistory &h)
{
    freeSnapshot(h, h.undo[0]);
    memmove(h.undo, h.undo + 1, (size_t)(h.undoCount - 1) * sizeof h.undo[0]);
    --h.undoCount;
}

void forgetRedo(UndoHistory &h)
{
    while (h.redoCount > 0)
        freeSnapshot(h, h.redo[--h.redoCount]);
}

// Drops the oldest steps while the history keeps more than its bytes.
void trimHistory(EditorState &ed)
{
    UndoHistory &h = ed.session.undo;
    while (h.bytes > ed.undoByteLimit && h.undoCount > 1)
        dropOldest(h);
}

// A new key list holding the kept keys; false (nothing changed) when
// memory runs out.
bool rebuildKeys(const UndoSnapshot &s, OperatorContext &ctx)
{
    KeyRecord *first = nullptr, *last = nullptr;
    const size_t bytes = meshBytes(ctx);
    for (uint32_t i = 0; i < s.keyCount; ++i) {
        KeyRecord *k = allocKey(ctx, s.keys[i].frame, s.keys[i].level);
        if (!k) {
            while (first) {
                KeyRecord *next = first->next;
                freeKey(first);
                first = next;
            }
            return false;
        }
        memcpy(k->grid, s.keys[i].grid->data, bytes);
        memcpy(k->thumbnail, s.keys[i].thumbnail->data, THUMBNAIL_BYTES);
        k->prev = last;
        (last ? last->next : first) = k;
        last = k;
    }
    freeKeys(ctx);
    ctx.keyList = first;
    return true;
}

// Puts the kept model back and shows it as a move to its frame would.
bool putBack(EditorState &ed, OperatorContext &ctx, const UndoSnapshot &s)
{
    if (!rebuildKeys(s, ctx))
        return false;
    const size_t bytes = meshBytes(ctx);
    memcpy(ctx.meshA, s.meshA->data, bytes);
    if (s.meshB && keepsMeshB(ctx))
        memcpy(ctx.meshB, s.meshB->data, bytes);
    memcpy(ctx.meshBase, s.meshBase->data, bytes);
    memcpy(ctx.meshClipboard, s.clipboard->data, bytes);
    if (s.currentFrame != ctx.currentFrame) {
        ctx.currentFrame = s.currentFrame;
        fetchFrameFields(ctx, ed.fields);
    }
    ctx.keyModified = s.keyModified;
    memcpy(ed.generatorParams, s.generatorParams, sizeof ed.generatorParams);
    ed.generatorApplied = s.generatorApplied;

    vgBusyPointer();
    ctx.dissolveLevel = s.dissolveLevel;
    drawThumbnails(ed, ctx);
    drawFrameMarker(ed, ctx);
    drawTimeline(ed, ctx);
    setGadgetValue(ed, GADGET_FRAME, ctx.currentFrame);
    setGadgetValue(ed, GADGET_KEY_LEVEL, ctx.dissolveLevel);
    setGadgetValue(ed, GADGET_AMOUNT, ed.generatorType ? ed.generatorParams[ed.generatorType] : 0);
    renderPreview(ed, ctx);
    drawEditView(ed, ctx);
    // Drawing may leave the view's blend in the level; the kept one stands.
    ctx.dissolveLevel = s.dissolveLevel;
    vgStandardPointer();
    return true;
}

// Moves the newest kept model of `from` back into the editor, keeping the
// present one on `to`.
bool travel(EditorState &ed, OperatorContext &ctx, UndoSnapshot **from, int32_t &fromCount,
            UndoSnapshot **to, int32_t &toCount)
{
    UndoHistory &h = ed.session.undo;
    if (ed.session.dragging)
        return false;
    endStep(ed, ctx);
    if (fromCount == 0)
        return false;
    UndoSnapshot *present = takeSnapshot(h, ed, ctx);
    if (!present || !putBack(ed, ctx, *from[fromCount - 1])) {
        // The editor stays as it is, and says why the key did nothing.
        LOG_FAILURE(ctx.variant); // journal: undo or redo: no memory to put the edit back
        freeSnapshot(h, present);
        return false;
    }
    freeSnapshot(h, from[--fromCount]);
    to[toCount++] = present;
    // A slider's release after this must not apply the slider again.
    ed.lastGadget = 0;
    trimHistory(ed);
    return true;
}

} // namespace

void beginStep(EditorState &ed, const OperatorContext &ctx, uint32_t slider)
{
    UndoHistory &h = ed.session.undo;
    if (h.open && slider != 0 && h.openSlider == slider)
        return;
    endStep(ed, ctx);
    h.open = takeSnapshot(h, ed, ctx);
    h.openSlider = slider;
}

void endStep(EditorState &ed, const OperatorContext &ctx)
{
    UndoHistory &h = ed.session.undo;
    UndoSnapshot *s = h.open;
    h.open = nullptr;
    h.openSlider = 0;
    if (!s)
        return;
    if (matchesModel(*s, ed, ctx)) {
        freeSnapshot(h, s);
        return;
    }
    forgetRedo(h);
    if (h.undoCount == UNDO_STEPS)
        dropOldest(h);
    h.undo[h.undoCount++] = s;
    trimHistory(ed);
}

bool stepGoesOn(const EditorState &ed, const EditorMessage &m)
{
    const UndoHistory &h = ed.session.undo;
    if (!h.open || ed.session.dragging)
        return true;
    return h.openSlider != 0 &&
           ((m.type == EDITOR_MSG_GADGET && m.u.code == h.openSlider) ||
            (m.type == EDITOR_MSG_MOUSE_BUTTON && m.u.mouse.button == MOUSE_LEFT_UP));
}

bool undoStep(EditorState &ed, OperatorContext &ctx)
{
    UndoHistory &h = ed.session.undo;
    return travel(ed, ctx, h.undo, h.undoCount, h.redo, h.redoCount);
}

bool redoStep(EditorState &ed, OperatorContext &ctx)
{
    UndoHistory &h = ed.session.undo;
    return travel(ed, ctx, h.redo, h.redoCount, h.undo, h.undoCount);
}

int32_t undoableSteps(const EditorState &ed)
{
    return ed.session.undo.undoCount;
}

size_t undoHistoryBytes(const EditorState &ed)
{
    return ed.session.undo.bytes;
}

void forgetSteps(EditorState &ed)
{
    UndoHistory &h = ed.session.undo;
    freeSnapshot(h, h.open);
    h.open = nullptr;
    forgetRedo(h);
    while (h.undoCount > 0)
        freeSnapshot(h, h.undo[--h.undoCount]);
    freeBlock(h.blobs);
    h = UndoHistory{};
}
