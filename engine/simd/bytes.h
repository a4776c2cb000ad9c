// The byte blend, the byte picks and the channel packs of the levels that
// have byte multiply-adds and byte shuffles (AVX2, AVX-512), written once
// over that level's byte operations (interleaveBytes, multiplyAddBytes,
// packBytes, packHalves, shuffleBytes), which all work within 16-byte
// groups. Included at the end of such a level's header; everything here
// has internal linkage.
#ifndef VX_SIMD_BYTES_H
#define VX_SIMD_BYTES_H

namespace {

// The weights of a byte blend (a * wa + b * wb) / 255, wa + wb = 255:
// bytes wa, wb in every 16-bit lane.
struct Blend {
    VU pairs;
};

inline Blend blendOf(int wa, int wb)
{
    Blend r;
    r.pairs = splat((uint32_t)(wa | wb << 8) * 0x00010001u);
    return r;
}

// blendBytes of each lane. Bytes of a and b are interleaved and offset by
// -128, so that one byte multiply-add gives each weighted sum x as
// x - 128 x 255 in a signed 16-bit lane (wa (a - 128) + wb (b - 128), in
// -32640..32385: never saturated). Adding 32641 gives x + 1, and
// ((x + 1) * 257) >> 16 is x / 255 for every x up to 65535; the results
// pack back into bytes in order (the interleave and the pack both work
// within 16-byte groups).
__attribute__((always_inline)) inline VU blendBytes(VU a, VU b, const Blend &w)
{
    const VU offset = splat(0x80808080u);
    const VH back = (VH)splat(0x7F817F81u), divisor = (VH)splat(0x01010101u);
    const VU sa = a ^ offset, sb = b ^ offset;
    const VH low = multiplyAddBytes(w.pairs, interleaveBytes<false>(sa, sb));
    const VH high = multiplyAddBytes(w.pairs, interleaveBytes<true>(sa, sb));
    return packBytes(mulhi(low + back, divisor), mulhi(high + back, divisor));
}

// Byte shift / 8 of each lane, as a number 0..255: one byte shuffle. The
// lowest and the highest byte take one plain operation, which leaves the
// shuffle unit to the others.
inline VI byteOf(VU v, int shift)
{
    if (shift == 0)
        return (VI)(v & splat(0xFFu));
    if (shift == 24)
        return (VI)(v >> 24);
    const VI pick =
        splat((int32_t)(0x80808000u | (uint32_t)(shift / 8))) + ((lanesFrom(0) & splat(3)) << 2);
    return (VI)shuffleBytes(v, (VU)pick);
}

// Channel k of each lane saturated to 0..255 into byte k, for channels in
// -32768..32767. The packs saturate and gather the four channels of each
// 16-byte group channel by channel; one byte shuffle puts them back pixel
// by pixel.
__attribute__((always_inline)) inline VU packChannels(const VI (&channel)[4])
{
    // Byte 4m + k of a group comes from byte 4k + m.
    const VU order = splat(0x0C080400u) + (VU)((lanesFrom(0) & splat(3)) * splat(0x01010101));
    const VH low = packHalves(channel[0], channel[1]);
    const VH high = packHalves(channel[2], channel[3]);
    return shuffleBytes(packBytes(low, high), order);
}

} // namespace

#endif
