// Whole clips: read and written by dispatching on the file's content or
// the output name.
#include "host/io/clipfile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "host/io/pattern.h"
#include "host/io/png.h"
#include "host/io/tempfile.h"
#include "host/io/y4m.h"

namespace vxh {

namespace {

bool fileExists(const std::string &p)
{
    std::error_code ec;
    return std::filesystem::exists(p, ec);
}

bool readPngSequence(const std::string &pattern, const FramePattern &pat, Clip &out,
                     std::string &err)
{
    int first = 0;
    if (!fileExists(framePath(pat, 0))) {
        first = 1;
        if (!fileExists(framePath(pat, 1))) {
            err = pattern + ": no frames found (neither " + framePath(pat, 0) + " nor " +
                  framePath(pat, 1) + " exists)";
            return false;
        }
    }
    Clip clip;
    for (int i = first;; ++i) {
        const std::string name = framePath(pat, i);
        if (i != first && !fileExists(name))
            break;
        int w = 0, h = 0;
        std::vector<uint32_t> px;
        if (!readPng(name, w, h, px, err))
            return false;
        if (clip.frames.empty()) {
            clip.width = w;
            clip.height = h;
        } else if (w != clip.width || h != clip.height) {
            err = name + ": frame is " + std::to_string(w) + "x" + std::to_string(h) +
                  " but earlier frames are " + std::to_string(clip.width) + "x" +
                  std::to_string(clip.height);
            return false;
        }
        clip.frames.push_back(std::move(px));
        if (i == INT_MAX)
            break;
    }
    out = std::move(clip);
    return true;
}

bool writePngSequence(const FramePattern &pat, const Clip &clip, std::string &err)
{
    // Write every frame to a temporary first so a failure part way through
    // does not leave a half-replaced sequence behind.
    std::vector<TempFile> temps(clip.frames.size());
    bool ok = true;
    for (size_t i = 0; ok && i < clip.frames.size(); ++i) {
        const std::string name = framePath(pat, int(i));
        ok = openTemp(name, temps[i], err) &&
             writePngStream(temps[i].fp, name, clip.width, clip.height, clip.frames[i].data(),
                            err) &&
             closeTemp(temps[i], err);
    }
    for (size_t i = 0; ok && i < temps.size(); ++i)
        ok = commitTemp(temps[i], err);
    for (TempFile &t : temps)
        discardTemp(t);
    return ok;
}

bool endsWith(const std::string &s, const std::string &suffix)
{
    if (s.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = s[s.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

} // namespace

bool readClip(const std::string &path, Clip &out, std::string &err)
{
    FramePattern pat;
    if (parseFramePattern(path, pat))
        return readPngSequence(path, pat, out, err);

    // Single file: recognise it by its first bytes.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        err = path + ": is a directory";
        return false;
    }
    std::FILE *fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        err = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    unsigned char magic[9] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, fp);
    std::fclose(fp);
    static const unsigned char kPngSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (got >= 9 && std::memcmp(magic, "YUV4MPEG2", 9) == 0)
        return readY4m(path, out, err);
    if (got >= 8 && std::memcmp(magic, kPngSig, 8) == 0) {
        Clip clip;
        clip.frames.emplace_back();
        if (!readPng(path, clip.width, clip.height, clip.frames[0], err))
            return false;
        out = std::move(clip);
        return true;
    }
    err = path + (got == 0 ? ": file is empty" : ": not a YUV4MPEG2 or PNG file");
    return false;
}

bool writeClip(const std::string &path, const Clip &clip, std::string &err)
{
    std::string why;
    if (path.find('%') != std::string::npos) {
        FramePattern pat;
        if (!parseFramePattern(path, pat)) {
            err =
                path +
                ": output pattern must contain exactly one %d-style conversion (e.g. out_%04d.png)";
            return false;
        }
        if (!validateClip(clip, why)) {
            err = path + ": " + why;
            return false;
        }
        return writePngSequence(pat, clip, err);
    }
    if (endsWith(path, ".y4m"))
        return writeY4m(path, clip, err);
    err = path + ": unknown output type (use a .y4m name or a PNG pattern such as out_%04d.png)";
    return false;
}

} // namespace vxh
