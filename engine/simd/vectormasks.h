// Masks of the levels without mask registers (SSE2, AVX2): a comparison
// gives a vector whose lanes are all ones or all zeros, and laneBits (the
// level's own) turns it into one bit per lane. Included by such a level's
// header after laneBits; everything here has internal linkage.
#ifndef VX_SIMD_VECTORMASKS_H
#define VX_SIMD_VECTORMASKS_H

namespace {

// Lane bits of comparisons.
inline unsigned lanesBelow(VF a, VF b) // a < b, false for not-a-number
{
    return laneBits(a < b);
}

inline unsigned lanesAbove(VU a, VU b) // a > b, unsigned
{
    return laneBits((VI)(a > b));
}

inline unsigned lanesDiffering(VU a, VU b)
{
    return laneBits((VI)(a != b));
}

// A mask of lanes, as comparisons give it.
typedef VI Mask;

// Lanes of d other than zero, -0.0 and not-a-number: |d| > 0 is an
// ordered not-equal comparison with zero.
inline Mask nonZeroLanes(VF d)
{
    return (VF)((VI)d & splat(0x7FFFFFFF)) > splat(0.0f);
}

// v in the lanes of m, zero in the others.
inline VF keepLanes(Mask m, VF v)
{
    return m ? v : splat(0.0f);
}

// a in the lanes of m, b in the others.
inline VU selectLanes(Mask m, VU a, VU b)
{
    return m ? a : b;
}

} // namespace

#endif
