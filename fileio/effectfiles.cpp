#include "fileio/effectfiles.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#include "fileio/atomicfile.h"

namespace {

// The point `at` (in nodes) of a side of n nodes, as its lower node and
// the weight of the one after it. Before the first node the first is held;
// past the last (the cells between the last node and the picture's edge)
// the last two nodes' slope goes on, so a smooth deformation stays smooth.
void nodeAt(double at, int n, int &low, double &weight)
{
    if (n < 2 || at <= 0) {
        low = 0;
        weight = 0;
        return;
    }
    low = std::min((int)at, n - 2);
    weight = at - low;
}

bool fail(std::string &err, const std::string &text)
{
    err = text;
    return false;
}

} // namespace

EffectFileState inspectEffectFile(const std::string &path, EffectHeader &header, std::string &fault)
{
    fault.clear();
    header = EffectHeader{};
    FILE *f = openRegularFile(path.c_str());
    if (!f && errno == ENOENT)
        return EffectFileState::MISSING;
    if (!f) {
        fault = errno == EISDIR   ? "is a directory"
                : errno == EINVAL ? "is not a regular file"
                                  : strerror(errno);
        return EffectFileState::UNUSABLE;
    }
    unsigned char bytes[EFFECT_HEADER_BYTES] = {};
    struct stat st = {};
    fstat(fileno(f), &st);
    const size_t got = fread(bytes, 1, sizeof bytes, f);
    fclose(f);
    decodeEffectHeader(bytes, header);
    if (const char *layout =
            effectLayoutFault(header, got < sizeof bytes ? got : (uint64_t)st.st_size))
        fault = layout;
    return fault.empty() ? EffectFileState::FOUND : EffectFileState::UNUSABLE;
}

void resampleGrid(const float *grid, int cols, int rows, float *out, int newCols, int newRows)
{
    const double colRatio = (double)cols / newCols, rowRatio = (double)rows / newRows;
    const double scaleX = (double)newCols / cols, scaleY = (double)newRows / rows;
    for (int r = 0; r < newRows; ++r) {
        int r0;
        double fy;
        nodeAt(r * rowRatio, rows, r0, fy);
        const int r1 = std::min(r0 + 1, rows - 1);
        for (int c = 0; c < newCols; ++c) {
            int c0;
            double fx;
            nodeAt(c * colRatio, cols, c0, fx);
            const int c1 = std::min(c0 + 1, cols - 1);
            for (int k = 0; k < 2; ++k) {
                auto at = [&](int cc, int rr) {
                    return (double)grid[2 * ((size_t)rr * cols + cc) + k];
                };
                // Weights of 0 and 1 give a node's value exactly.
                const double top = (1 - fx) * at(c0, r0) + fx * at(c1, r0);
                const double bottom = (1 - fx) * at(c0, r1) + fx * at(c1, r1);
                const double value = (1 - fy) * top + fy * bottom;
                out[2 * ((size_t)r * newCols + c) + k] =
                    (float)(value * (k == 0 ? scaleX : scaleY));
            }
        }
    }
}

bool resizeEffectFile(const std::string &from, const std::string &to, int32_t width, int32_t height,
                      uint32_t frames, std::string &err)
{
    EffectHeader in;
    std::string fault;
    if (inspectEffectFile(from, in, fault) != EffectFileState::FOUND)
        return fail(err, from + (fault.empty() ? ": no such effect file" : ": " + fault));
    const size_t oldNodes = effectNodeCount(in.width, in.height);
    const size_t newNodes = effectNodeCount(width, height);
    if (newNodes == 0 || frames == 0)
        return fail(err, "an effect needs pictures of at least 4x2 and one frame");
    FILE *src = openRegularFile(from.c_str());
    if (!src)
        return fail(err, from + ": " + strerror(errno));
    AtomicFile out;
    if (atomicOpen(to.c_str(), &out) != 0) {
        const std::string why = strerror(errno);
        fclose(src);
        return fail(err, to + ": cannot be written: " + why);
    }
    std::vector<unsigned char> oldBytes(EFFECT_KEY_HEAD_BYTES + oldNodes * EFFECT_NODE_BYTES);
    std::vector<unsigned char> newBytes(EFFECT_KEY_HEAD_BYTES + newNodes * EFFECT_NODE_BYTES);
    std::vector<float> oldGrid(2 * oldNodes), newGrid(2 * newNodes);
    unsigned char header[EFFECT_HEADER_BYTES];
    encodeEffectHeader({EFFECT_MAGIC, frames, width, height, in.keyCount}, header);
    bool ok = fseek(src, EFFECT_HEADER_BYTES, SEEK_SET) == 0 &&
              fwrite(header, 1, sizeof header, out.stream) == sizeof header;
    for (uint32_t k = 0; ok && k < in.keyCount; ++k) {
        if (fread(oldBytes.data(), 1, oldBytes.size(), src) != oldBytes.size()) {
            ok = false;
            break;
        }
        uint32_t frame;
        int32_t level;
        decodeKeyHead(oldBytes.data(), frame, level);
        decodeNodes(oldBytes.data() + EFFECT_KEY_HEAD_BYTES, oldNodes, oldGrid.data());
        resampleGrid(oldGrid.data(), in.width / 4, in.height / 2, newGrid.data(), width / 4,
                     height / 2);
        encodeKeyHead(rescaleKeyFrame(frame, k, in.frameCount, frames - 1), level, newBytes.data());
        encodeNodes(newGrid.data(), newNodes, newBytes.data() + EFFECT_KEY_HEAD_BYTES);
        ok = fwrite(newBytes.data(), 1, newBytes.size(), out.stream) == newBytes.size();
    }
    const bool readFailed = ferror(src) || feof(src);
    fclose(src);
    if (!ok || atomicCommit(&out) != 0) {
        const std::string why = strerror(errno);
        atomicAbandon(&out);
        return fail(err, readFailed ? from + ": cannot be read to its end"
                                    : to + ": cannot be written: " + why);
    }
    return true;
}
