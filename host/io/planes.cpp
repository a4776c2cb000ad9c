#include "host/io/planes.h"

#include "host/core/pixels.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vxh {

bool parsePixFmt(const std::string &text, PixFmt &fmt)
{
    if (text == "444alpha")
        fmt = PixFmt::Yuva444;
    else if (text == "444")
        fmt = PixFmt::Yuv444;
    else if (text == "420")
        fmt = PixFmt::Yuv420;
    else
        return false;
    return true;
}

namespace {

// The bytes of n pixels into planes Y, U, V and A (U, V, A may be null: not
// wanted). Sixteen pixels a step where the processor has SSE2 (every x86-64
// does): four rounds of byte interleaves turn four registers of pixels into
// one register per plane.
void splitPlanes(const uint32_t *src, size_t n, uint8_t *Y, uint8_t *U, uint8_t *V, uint8_t *A)
{
    size_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        __m128i r[4];
        for (int k = 0; k < 4; ++k)
            r[k] = _mm_loadu_si128((const __m128i *)(src + i + 4 * k));
        // Each round interleaves registers 0 and 2, and 1 and 3, byte by
        // byte; after four, register k holds byte k of the pixels in order.
        for (int round = 0; round < 4; ++round) {
            const __m128i a = r[0], b = r[1], c = r[2], d = r[3];
            r[0] = _mm_unpacklo_epi8(a, c);
            r[1] = _mm_unpackhi_epi8(a, c);
            r[2] = _mm_unpacklo_epi8(b, d);
            r[3] = _mm_unpackhi_epi8(b, d);
        }
        _mm_storeu_si128((__m128i *)(Y + i), r[0]);
        if (U)
            _mm_storeu_si128((__m128i *)(U + i), r[1]);
        if (V)
            _mm_storeu_si128((__m128i *)(V + i), r[2]);
        if (A)
            _mm_storeu_si128((__m128i *)(A + i), r[3]);
    }
#endif
    for (; i < n; ++i) {
        Y[i] = pixY(src[i]);
        if (U)
            U[i] = pixU(src[i]);
        if (V)
            V[i] = pixV(src[i]);
        if (A)
            A[i] = pixA(src[i]);
    }
}

} // namespace

void packPlanes(const uint32_t *src, int w, int h, PixFmt fmt, std::vector<uint8_t> &planes)
{
    const size_t n = size_t(w) * size_t(h);
    const size_t cw = (size_t(w) + 1) / 2, ch = (size_t(h) + 1) / 2;
    planes.resize(fmt == PixFmt::Yuva444 ? 4 * n : fmt == PixFmt::Yuv444 ? 3 * n : n + 2 * cw * ch);
    uint8_t *Y = planes.data();
    if (fmt != PixFmt::Yuv420) {
        splitPlanes(src, n, Y, Y + n, Y + 2 * n, fmt == PixFmt::Yuva444 ? Y + 3 * n : nullptr);
        return;
    }
    splitPlanes(src, n, Y, nullptr, nullptr, nullptr);
    uint8_t *U = Y + n, *V = U + cw * ch;
    for (size_t cy = 0; cy < ch; ++cy)
        for (size_t cx = 0; cx < cw; ++cx) {
            unsigned su = 0, sv = 0, count = 0;
            for (size_t y = 2 * cy; y < 2 * cy + 2 && y < size_t(h); ++y)
                for (size_t x = 2 * cx; x < 2 * cx + 2 && x < size_t(w); ++x) {
                    su += pixU(src[y * size_t(w) + x]);
                    sv += pixV(src[y * size_t(w) + x]);
                    ++count;
                }
            U[cy * cw + cx] = uint8_t((su + count / 2) / count);
            V[cy * cw + cx] = uint8_t((sv + count / 2) / count);
        }
}

} // namespace vxh
