// Reference procedural mesh generators for tests, written straight from
// the formulas and independent of the engine's code.
#ifndef VX_GENERATOR_REFERENCE_H
#define VX_GENERATOR_REFERENCE_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "effect/context.h"

namespace ref {

inline constexpr double P1 = 3.141592653589793;
inline constexpr double P2 = 6.283185307179586;
inline constexpr double P6 = 18.84955592153876;

// The tests' own copy of the jitter source (values 0..32767, seed 1000).
struct Lcg {
    uint32_t s = 1000;
    int next()
    {
        s = s * 1103515245u + 12345u;
        return (int)((s >> 16) & 0x7fff);
    }
};

// Generator n (1..17) with amount a added to every node of m (nr rows of nc
// columns), every formula written out node by node, directly from the
// table. negate: the effect operators' turn of 10 to 12 (by -a); W and H
// are the picture size, k the vertical scale of the rotations.
inline std::vector<MeshNode> refGenerator(std::vector<MeshNode> m, int n, int a, bool negate,
                                          int nr, int nc, int W, int H, float k)
{
    const float A = (float)(nc * 0.5), B = (float)(nr * 0.5);
    const int ta = negate ? -a : a;
    Lcg rnd;
    std::vector<float> colShift(nc);
    if (n == 8)
        for (int j = 0; j < nc; ++j)
            colShift[j] = ((float)((rnd.next() - 16383) * H) / 26213600.0f) * (float)a;
    for (int i = 0; i < nr; ++i) {
        float rowShift = 0;
        if (n == 7)
            rowShift = ((float)((rnd.next() - 16383) * W) / 26213600.0f) * (float)a;
        for (int j = 0; j < nc; ++j) {
            MeshNode &p = m[i * nc + j];
            const int u = j - nc / 2, t = i - nr / 2;
            const float d = (float)std::sqrt((double)((float)u * (float)u + (float)t * (float)t));
            switch (n) {
            case 1:
                p.dx = (float)(p.dx + std::sin(i * P2 / nr * 3) * a * 0.5);
                break;
            case 2:
                p.dy = (float)(p.dy + std::sin(j * P2 / nc * 3) * a * 0.5);
                break;
            case 3:
                p.dx = (float)(p.dx + std::sin(j * P2 / nc * 3) * a * 0.5);
                break;
            case 4:
                p.dy = (float)(p.dy + std::sin(i * P2 / nr * 3) * a * 0.5);
                break;
            case 5: {
                float q = d / (float)nc;
                double phi = q * P1;
                double w = std::sin(phi) * std::cos(phi);
                p.dx = (float)(p.dx + (double)(float)u * w * (float)a / 100);
                p.dy = (float)(p.dy + (double)(float)t * w * (float)a / 100);
                break;
            }
            case 6: {
                float f = d / 30 * 2;
                double phi = f * P1;
                double w = std::sin(phi) * std::cos(phi) * a / 5;
                p.dx = (float)(p.dx + w);
                p.dy = (float)(p.dy + w);
                break;
            }
            case 7:
                p.dx = p.dx + rowShift;
                break;
            case 8:
                p.dy = p.dy + colShift[j];
                break;
            case 9: {
                float x = ((float)((rnd.next() - 16383) * W) / 26213600.0f) * (float)a;
                float y = ((float)((rnd.next() - 16383) * H) / 26213600.0f) * (float)a;
                p.dx = p.dx + x;
                p.dy = p.dy + y;
                break;
            }
            case 10: {
                float th = (float)((float)ta * P1 / 100);
                float S = (float)std::sin((double)th), C = (float)std::cos((double)th);
                float F = ((float)i - B) * k;
                float e = (float)j - A;
                p.dx = p.dx + (((C * e - S * F) + A) - (float)j);
                p.dy = p.dy + ((((S * e + C * F) / k) + B) - (float)i);
                break;
            }
            case 11:
            case 12: {
                float T = (float)((float)ta * P1 / 33.333);
                float G = ((float)i - B) * k;
                float e = (float)j - A;
                float dd = (float)std::sqrt((double)(e * e + G * G));
                float h = n == 11 ? dd / A : (float)(1.0 - (double)(dd / A));
                float phi = h * T * h;
                float S = (float)std::sin((double)phi), C = (float)std::cos((double)phi);
                p.dx = p.dx + (((C * e - S * G) + A) - (float)j);
                p.dy = p.dy + ((((C * G + S * e) / k) + B) - (float)i);
                break;
            }
            case 13: {
                double Si = std::sin(i * P1 / nr), Ci = std::cos(i * P1 / nr);
                double b = j * P1 / nc;
                p.dy = (float)(p.dy + std::cos(b) * Si * a * 0.5);
                p.dx = (float)(p.dx + std::sin(b) * Ci * a * 0.5);
                break;
            }
            case 14: {
                double h = std::cos(j * P2 / nc) * std::sin(i * P2 / nr) * a * 0.5;
                p.dy = (float)(p.dy + h);
                p.dx = (float)(p.dx + h);
                break;
            }
            case 15: {
                int hr = nr / 2 ? nr / 2 : 1, hc = nc / 2 ? nc / 2 : 1;
                double K = std::cos((double)(float)t * P2 / hr);
                double J = std::sin((double)(float)u * P2 / hc) * K * a / 10;
                p.dx = (float)(p.dx + J);
                p.dy = (float)(p.dy + J);
                break;
            }
            case 16: {
                float phi = d / 30;
                float S = (float)std::sin((double)phi), C = (float)std::cos((double)phi);
                float N = S * C * (float)a / 5;
                p.dx = p.dx + N;
                p.dy = p.dy + N;
                break;
            }
            case 17: {
                int hr = nr / 2 ? nr / 2 : 1, hc = nc / 2 ? nc / 2 : 1;
                double K = std::cos(i * P2 / hr), L = std::cos(i * P6 / hr);
                p.dx = (float)(p.dx + std::sin(j * P6 / hc) * K * a / 10);
                p.dy = (float)(p.dy + std::sin(j * P2 / hc) * L * a / 10);
                break;
            }
            }
        }
    }
    return m;
}

} // namespace ref

#endif
