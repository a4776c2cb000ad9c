#include "fileio/atomicfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char TEMP_SUFFIX[] = ".tmp-XXXXXX";

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
    const int fd = mkstemp(file->tempPath);
    if (fd < 0) {
        file->tempPath[0] = '\0';
        return -1;
    }
    (void)fchmod(fd, mode);
    file->stream = fdopen(fd, "wb");
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
    else if (fsync(fileno(file->stream)) != 0)
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
    if (rename(file->tempPath, file->finalPath) != 0)
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
