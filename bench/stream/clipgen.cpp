// Writes a YUV4MPEG2 4:2:0 clip of W x H and N frames to standard output:
// a fixed textured pattern that moves one pixel per frame, cheap to make.
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    const int w = atoi(argv[1]), h = atoi(argv[2]), n = atoi(argv[3]);
    if (w < 2 || h < 2 || n < 1)
        return 2;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::vector<unsigned char> pattern((size_t)(w + n) * h);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = (unsigned char)(16 + (i * 2654435761u >> 24) % 220);
    std::vector<unsigned char> frame((size_t)w * h + 2 * (size_t)cw * ch, 128);
    printf("YUV4MPEG2 W%d H%d F25:1 It A1:1 C420jpeg\n", w, h);
    for (int k = 0; k < n; ++k) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                frame[(size_t)y * w + x] = pattern[(size_t)y * (w + n) + x + k];
        for (size_t i = 0; i < 2 * (size_t)cw * ch; ++i)
            frame[(size_t)w * h + i] = (unsigned char)(96 + (i + k) % 64);
        fputs("FRAME\n", stdout);
        if (fwrite(frame.data(), 1, frame.size(), stdout) != frame.size())
            return 1;
    }
    return 0;
}
