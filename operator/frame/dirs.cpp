#include "operator/frame/dirs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "operator/frame/log.h"
#include "operator/host/vxcoreimg.h"

// Room kept behind operatorDir for the longest name placed below it.
static const size_t kLongestSubpath = sizeof "spezial/warp.vlw";

int homePath(const VariantDesc *variant, const char *suffix, char *out, size_t size)
{
    const char *home = getenv("VXHOME");
    if (!home || !*home) {
        LOG_FAILURE(variant); // journal: VXHOME is not set
        return -1;
    }
    int n = snprintf(out, size, "%s%s", home, suffix);
    if (n < 0 || (size_t)n >= size) {
        out[0] = '\0';
        LOG_FAILURE(variant); // journal: a path below VXHOME is too long
        return -1;
    }
    return 0;
}

int buildOperatorDir(const VariantDesc *variant, char *operatorDir)
{
    char dir[OPERATOR_DIR_SIZE];
    if (homePath(variant, "/programs/vorlux/", dir, sizeof dir - kLongestSubpath) != 0) {
        operatorDir[0] = '\0';
        return -1;
    }
    memcpy(operatorDir, dir, sizeof dir);
    return 0;
}

bool probeProjectSize(int32_t &width, int32_t &height)
{
    HostImage *image = opAllocImage(0, 0, 1, 0);
    if (!image)
        return false;
    width = image->width;
    height = image->height;
    opFreeImage(image);
    return true;
}

int makeDirectories(const char *path)
{
    char partial[OPERATOR_DIR_SIZE + 64];
    size_t length = strlen(path);
    if (length == 0 || length >= sizeof partial)
        return -1;
    memcpy(partial, path, length + 1);
    for (size_t i = 1; i <= length; ++i) {
        if (partial[i] != '/' && partial[i] != '\0')
            continue;
        char keep = partial[i];
        partial[i] = '\0';
        if (mkdir(partial, 0777) != 0 && errno != EEXIST)
            return -1;
        partial[i] = keep;
    }
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode) ? 0 : -1;
}

void installDirectory(const VariantDesc *variant, const char *path)
{
    if (makeDirectories(path) != 0)
        LOG_FAILURE(variant); // journal: cannot create a directory below VXHOME
}
