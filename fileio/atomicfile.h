// Files replaced as a whole and files opened only when they are regular.
//
// A replaced file is written to a unique temporary beside it, flushed to
// disk, renamed over the old name and the directory flushed: a reader sees
// the old file or the new one, never a part, and a failed write keeps the
// old one. Used by the plug-ins and the host alike.
#ifndef VX_ATOMICFILE_H
#define VX_ATOMICFILE_H

#include <climits>
#include <cstddef>
#include <cstdio>

struct AtomicFile {
    char finalPath[PATH_MAX];
    char tempPath[PATH_MAX + 16];
    FILE *stream;
    int descriptor; // the temporary's, which stream writes to
};

// Creates the temporary for path (mode of the file it replaces, else of a
// plain creation) and opens `stream` on it. -1 with errno on failure.
int atomicOpen(const char *path, AtomicFile *file);
// Flushes, syncs and closes the stream, keeping the temporary for a later
// atomicCommit. -1 with errno (temporary removed) on failure.
int atomicClose(AtomicFile *file);
// Closes the stream as atomicClose if still open, renames the temporary into place
// and syncs the directory. -1 with errno (temporary removed) on failure.
int atomicCommit(AtomicFile *file);
// Closes and removes the temporary; safe on a file never opened or committed.
void atomicAbandon(AtomicFile *file);
// Replaces path by size bytes. -1 with errno on failure.
int atomicWriteFile(const char *path, const void *bytes, size_t size);

// Opens path for reading when it is a regular file. A FIFO, device or
// directory is never waited on: it is opened without blocking, seen by
// fstat and refused (errno EINVAL, EISDIR for a directory).
FILE *openRegularFile(const char *path);

// Tests make one call fail on the calling thread: of the opens of both
// functions above, the writes of a replacing stream, the flushes to disk or
// the renames into place, the call of that kind after `count` more fails
// (errno EMFILE, ENOSPC, EIO, EXDEV); the calls after it succeed again.
// One kind is armed at a time; -1: none (the default).
enum FileCall { FILE_OPEN, FILE_WRITE, FILE_SYNC, FILE_RENAME, FILE_CALL_KINDS };
void failFileCallAfter(FileCall kind, long count);
// Whether the armed failure of kind has happened since it was armed.
bool fileCallFailed(FileCall kind);
// The calling thread's hook, for a thread it starts to count its calls on
// (shareFileFaultHook, called first thing there) until that thread ends.
void *fileFaultHook();
void shareFileFaultHook(void *hook);

#endif
