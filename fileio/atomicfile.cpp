#include "fileio/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char TEMP_SUFFIX[] = ".tmp-XXXXXX";

// The failure hook of the calling thread: the kind of call armed, and the
// calls of that kind left before the one that fails (-1 none armed, -2 it
// has failed); a thread may count its calls on the hook of the thread that
// started it. In the static TLS block, so that a plug-in unloaded with
// dlclose leaves no dynamic TLS slot behind.
struct FileFault {
    std::atomic<int> kind;
    std::atomic<long> left;
};
thread_local FileFault ownFileFault __attribute__((tls_model("initial-exec"))) = {{0}, {-1}};
thread_local FileFault *sharedFileFault __attribute__((tls_model("initial-exec"))) = nullptr;
const int FILE_CALL_ERRORS[FILE_CALL_KINDS] = {EMFILE, ENOSPC, EIO, EXDEV};

FileFault &fileFault()
{
    return sharedFileFault ? *sharedFileFault : ownFileFault;
}

// False, with errno set, when this call is the one armed to fail.
bool fileCallAllowed(FileCall kind)
{
    FileFault &fault = fileFault();
    long left = fault.left.load(std::memory_order_relaxed);
    if (left < 0 || fault.kind.load(std::memory_order_relaxed) != kind)
        return true;
    while (left >= 0 && !fault.left.compare_exchange_weak(left, left > 0 ? left - 1 : -2)) {
    }
    if (left != 0)
        return true;
    errno = FILE_CALL_ERRORS[kind];
    return false;
}

// Writes of a replacing stream while a write failure is armed: through
// the hook to the descriptor.
ssize_t writeCounted(void *cookie, const char *bytes, size_t size)
{
    // A stream's write function says a failure with 0 (errno set), never
    // -1: the C library takes the count as unsigned, and after -1 on a
    // large write it copies the rest of the caller's bytes from past their
    // end.
    if (!fileCallAllowed(FILE_WRITE))
        return 0;
    const ssize_t n = write((int)(intptr_t)cookie, bytes, size);
    return n < 0 ? 0 : n;
}

int closeCounted(void *cookie)
{
    return close((int)(intptr_t)cookie);
}

FILE *openStream(int fd)
{
    if (fileFault().left < 0 || fileFault().kind != FILE_WRITE)
        return fdopen(fd, "wb");
    const cookie_io_functions_t io = {nullptr, writeCounted, nullptr, closeCounted};
    return fopencookie((void *)(intptr_t)fd, "wb", io);
}

mode_t modeFor(const char *path)
{
    struct stat st;
    if (stat(path, &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int syncDirectoryOf(const char *path)
{
    char dir[PATH_MAX];
    const char *slash = strrchr(path, '/');
    if (!slash)
        strcpy(dir, ".");
    else if (slash == path)
        strcpy(dir, "/");
    else {
        memcpy(dir, path, (size_t)(slash - path));
        dir[slash - path] = '\0';
    }
    const int fd = open(dir, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return -1;
    const int result = fsync(fd);
    close(fd);
    return result;
}

} // namespace

int atomicOpen(const char *path, AtomicFile *file)
{
    file->stream = nullptr;
    file->tempPath[0] = '\0';
    const size_t length = strlen(path);
    if (length == 0 || length >= sizeof file->finalPath) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(file->finalPath, path, length + 1);
    memcpy(file->tempPath, path, length);
    memcpy(file->tempPath + length, TEMP_SUFFIX, sizeof TEMP_SUFFIX);
    const mode_t mode = modeFor(path);
    const int fd = fileCallAllowed(FILE_OPEN) ? mkstemp(file->tempPath) : -1;
    if (fd < 0) {
        file->tempPath[0] = '\0';
        return -1;
    }
    (void)fchmod(fd, mode);
    file->descriptor = fd;
    file->stream = openStream(fd);
    if (!file->stream) {
        const int saved = errno;
        close(fd);
        unlink(file->tempPath);
        file->tempPath[0] = '\0';
        errno = saved;
        return -1;
    }
    return 0;
}

int atomicClose(AtomicFile *file)
{
    if (!file->stream) {
        errno = EBADF;
        return -1;
    }
    int failure = 0;
    if (fflush(file->stream) != 0 || ferror(file->stream))
        failure = errno ? errno : EIO;
    else if (!fileCallAllowed(FILE_SYNC) || fsync(file->descriptor) != 0)
        failure = errno;
    if (fclose(file->stream) != 0 && !failure)
        failure = errno;
    file->stream = nullptr;
    if (failure) {
        unlink(file->tempPath);
        file->tempPath[0] = '\0';
        errno = failure;
        return -1;
    }
    return 0;
}

int atomicCommit(AtomicFile *file)
{
    if (file->stream && atomicClose(file) != 0)
        return -1;
    if (!file->tempPath[0]) {
        errno = EBADF;
        return -1;
    }
    int failure = 0;
    if (!fileCallAllowed(FILE_RENAME) || rename(file->tempPath, file->finalPath) != 0)
        failure = errno;
    if (failure) {
        unlink(file->tempPath);
        file->tempPath[0] = '\0';
        errno = failure;
        return -1;
    }
    file->tempPath[0] = '\0';
    // The new name is in place; a directory that cannot be synced is not a
    // failure of the write.
    (void)syncDirectoryOf(file->finalPath);
    return 0;
}

void atomicAbandon(AtomicFile *file)
{
    if (file->stream) {
        fclose(file->stream);
        file->stream = nullptr;
    }
    if (file->tempPath[0]) {
        unlink(file->tempPath);
        file->tempPath[0] = '\0';
    }
}

int atomicWriteFile(const char *path, const void *bytes, size_t size)
{
    AtomicFile file;
    if (atomicOpen(path, &file) != 0)
        return -1;
    if (size && fwrite(bytes, 1, size, file.stream) != size) {
        const int saved = errno ? errno : EIO;
        atomicAbandon(&file);
        errno = saved;
        return -1;
    }
    return atomicCommit(&file);
}

FILE *openRegularFile(const char *path)
{
    if (!fileCallAllowed(FILE_OPEN))
        return nullptr;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st = {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int why = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = why;
        return nullptr;
    }
    // Reads of a regular file never block; clear the flag all the same.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *stream = fdopen(fd, "rb");
    if (!stream)
        close(fd);
    return stream;
}

void failFileCallAfter(FileCall kind, long count)
{
    FileFault &fault = fileFault();
    fault.left = -1;
    fault.kind = kind;
    fault.left = count < 0 ? -1 : count;
}

bool fileCallFailed(FileCall kind)
{
    const FileFault &fault = fileFault();
    return fault.kind == kind && fault.left == -2;
}

void *fileFaultHook()
{
    return &fileFault();
}

void shareFileFaultHook(void *hook)
{
    sharedFileFault = static_cast<FileFault *>(hook);
}
