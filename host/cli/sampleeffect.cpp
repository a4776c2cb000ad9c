#include "host/cli/sampleeffect.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <vector>

#include "fileio/atomicfile.h"
#include "fileio/effectcodec.h"

namespace vxh {

namespace {

// Grid displacement (in mesh columns and rows) of key `shape`:
// 0 none, 1 a swirl about the centre, 2 a swirl the other way with a
// horizontal wave. Pixel offsets are divided by the 4 x 2 pixel cell.
// linesPerLine is 2 for a field (its lines are two frame lines apart), 1
// for a whole frame.
void displacement(int shape, int col, int row, int cols, int rows, int linesPerLine, float &dx,
                  float &dy)
{
    dx = dy = 0;
    if (shape == 0)
        return;
    const double px = col * 4.0, py = row * 2.0;
    const double cx = cols * 2.0, cy = rows * 1.0;
    const double radius = std::min(cx, cy * linesPerLine) * 0.9;
    // Measure y in frame lines.
    const double ex = px - cx, ey = (py - cy) * linesPerLine;
    const double r = std::sqrt(ex * ex + ey * ey) / radius;
    double angle = 0;
    if (r < 1)
        angle = (shape == 1 ? 1.2 : -0.9) * (1 - r) * (1 - r);
    const double c = std::cos(angle), s = std::sin(angle);
    double ox = (c * ex - s * ey) - ex;
    double oy = (s * ex + c * ey) - ey;
    if (shape == 2)
        ox += 14.0 * std::sin(py / (rows * 2.0) * 6.283185307179586 * 3);
    dx = (float)(ox / 4.0);
    dy = (float)(oy / linesPerLine / 2.0);
}

} // namespace

bool writeSampleEffect(const std::string &path, int w, int h, int frames, bool whole,
                       std::string &err)
{
    const int cols = w / 4, rows = h / 2;
    if (cols < 2 || rows < 2 || frames < 4) {
        err = "sample effect needs at least 8x4 pixels and 4 frames";
        return false;
    }
    const int last = frames - 1;
    const uint32_t keyFrames[4] = {0, (uint32_t)(last / 3), (uint32_t)(2 * (int64_t)last / 3),
                                   (uint32_t)last};
    const int levels[4] = {0, 64, 192, 255};
    const int shapes[4] = {0, 1, 2, 0};
    const size_t nodes = effectNodeCount(w, h);
    std::vector<uint8_t> bytes(EFFECT_HEADER_BYTES +
                               4 * (EFFECT_KEY_HEAD_BYTES + nodes * EFFECT_NODE_BYTES));
    encodeEffectHeader({EFFECT_MAGIC, (uint32_t)frames, w, h, 4}, bytes.data());
    std::vector<float> grid(2 * nodes);
    unsigned char *at = bytes.data() + EFFECT_HEADER_BYTES;
    for (int k = 0; k < 4; ++k) {
        encodeKeyHead(keyFrames[k], levels[k], at);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                displacement(shapes[k], c, r, cols, rows, whole ? 1 : 2,
                             grid[2 * ((size_t)r * cols + c)],
                             grid[2 * ((size_t)r * cols + c) + 1]);
        encodeNodes(grid.data(), nodes, at + EFFECT_KEY_HEAD_BYTES);
        at += EFFECT_KEY_HEAD_BYTES + nodes * EFFECT_NODE_BYTES;
    }
    if (atomicWriteFile(path.c_str(), bytes.data(), bytes.size()) != 0) {
        err = path + ": cannot be written: " + strerror(errno);
        return false;
    }
    return true;
}

} // namespace vxh
