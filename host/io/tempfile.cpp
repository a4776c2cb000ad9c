#include "host/io/tempfile.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace vxh {

TempFile::TempFile(TempFile &&other) noexcept
    : finalPath(std::move(other.finalPath)), tempPath(std::move(other.tempPath)), fp(other.fp),
      file(other.file)
{
    other.tempPath.clear();
    other.fp = nullptr;
    other.file.stream = nullptr;
    other.file.tempPath[0] = '\0';
}

TempFile &TempFile::operator=(TempFile &&other) noexcept
{
    if (this != &other) {
        discardTemp(*this);
        finalPath = std::move(other.finalPath);
        tempPath = std::move(other.tempPath);
        fp = other.fp;
        file = other.file;
        other.tempPath.clear();
        other.fp = nullptr;
        other.file.stream = nullptr;
        other.file.tempPath[0] = '\0';
    }
    return *this;
}

TempFile::~TempFile()
{
    discardTemp(*this);
}

bool openTemp(const std::string &finalPath, TempFile &t, std::string &err)
{
    discardTemp(t);
    t.finalPath = finalPath;
    if (atomicOpen(finalPath.c_str(), &t.file) != 0) {
        err = finalPath + ": cannot create a temporary file beside it: " + std::strerror(errno);
        return false;
    }
    t.tempPath = t.file.tempPath;
    t.fp = t.file.stream;
    return true;
}

bool closeTemp(TempFile &t, std::string &err)
{
    if (!t.fp)
        return true;
    t.fp = nullptr;
    if (atomicClose(&t.file) != 0) {
        err = t.finalPath + ": write failed: " + std::strerror(errno);
        t.tempPath.clear();
        return false;
    }
    return true;
}

bool commitTemp(TempFile &t, std::string &err)
{
    if (!closeTemp(t, err))
        return false;
    if (atomicCommit(&t.file) != 0) {
        err = t.finalPath + ": cannot rename temporary file into place: " + std::strerror(errno);
        t.tempPath.clear();
        return false;
    }
    t.tempPath.clear();
    return true;
}

void discardTemp(TempFile &t)
{
    t.fp = nullptr;
    atomicAbandon(&t.file);
    t.tempPath.clear();
}

} // namespace vxh
