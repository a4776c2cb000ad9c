// Procedural mesh generators. Each adds its deformation to every node of a
// gridRows x gridCols mesh, rows outer and columns inner. The arithmetic
// is fixed per generator: "double" rows evaluate the term in double from
// the float32/integer operands and round the sum with the node component
// back to float32; "float" rows stay in float32. Products and quotients
// keep the order written, so results are the same on every platform.
#include "engine/generator.h"

#include <cmath>
#include <cstdint>

namespace {

const double PI = 3.141592653589793;
const double TWO_PI = 6.283185307179586;
const double SIX_PI = 18.84955592153876;
const double TWIRL_DIVISOR = 33.333;
// 32767 * 800: maps a centred draw to about +-1/1600 of the picture size.
const float RANDOM_SCALE = 26213600.0f;
const uint32_t RANDOM_SEED = 1000;

// A small linear congruential source (values 0..32767) of our own, so the
// jitter pattern does not depend on the C library. Every generator that
// draws starts from RANDOM_SEED with a state of its own.
struct Random {
    uint32_t state = RANDOM_SEED;
};

int nextRandom(Random &random)
{
    random.state = random.state * 1103515245u + 12345u;
    return (int)((random.state / 65536u) % 32768u);
}

// One grid: nodes, rows and columns, and the picture sizes it serves.
struct Grid {
    MeshNode *mesh;
    int nr, nc;
    const GeneratorGeometry &size;
    MeshNode &at(int j, int i) const { return mesh[(size_t)i * (size_t)nc + (size_t)j]; }
};

// Adds a term evaluated in double; the sum is rounded back to float32.
inline void addDouble(float &component, double term)
{
    component = (float)((double)component + term);
}

// Vertical scale of the rotations: one mesh row counts as k columns. The
// integer quotient is 0 for pictures less than twice as wide as a field
// and undefined for an empty project height; both would divide by zero
// below, so k is at least 1.
float rotationScale(const GeneratorGeometry &size)
{
    if (size.projectHeight <= 0)
        return 1.0f;
    const int64_t q = (int64_t)size.projectWidth / (2 * (int64_t)size.projectHeight);
    return q < 1 ? 1.0f : (float)q;
}

// Angle a*pi/divisor of the rotation and twirls: the amount is negated as
// an integer when asked, converted to float, scaled in double, rounded to float.
float turnAngle(int amount, bool negate, double divisor)
{
    const int64_t a = negate ? -(int64_t)amount : (int64_t)amount;
    return (float)((double)(float)a * PI / divisor);
}

// Integer half of a grid size for generators 15 and 17; a one-row or
// one-column grid would make it 0.
int halfSize(int size)
{
    const int half = size / 2;
    return half == 0 ? 1 : half;
}

// Distance of node (u, t) from the centre: squares and sum in float, root in double.
float centreDistance(int u, int t)
{
    const float uf = (float)u, tf = (float)t;
    const float sum = uf * uf + tf * tf;
    return (float)std::sqrt((double)sum);
}

// 1: horizontal wave by row.
void waveRowX(const Grid &g, int a)
{
    for (int i = 0; i < g.nr; ++i) {
        const double s = std::sin((double)i * TWO_PI / (double)g.nr * 3.0);
        for (int j = 0; j < g.nc; ++j)
            addDouble(g.at(j, i).dx, s * (double)a * 0.5);
    }
}

// 2: vertical wave by column.
void waveColumnY(const Grid &g, int a)
{
    for (int i = 0; i < g.nr; ++i)
        for (int j = 0; j < g.nc; ++j)
            addDouble(g.at(j, i).dy,
                      std::sin((double)j * TWO_PI / (double)g.nc * 3.0) * (double)a * 0.5);
}

// 3: horizontal wave by column.
void waveColumnX(const Grid &g, int a)
{
    for (int i = 0; i < g.nr; ++i)
        for (int j = 0; j < g.nc; ++j)
            addDouble(g.at(j, i).dx,
                      std::sin((double)j * TWO_PI / (double)g.nc * 3.0) * (double)a * 0.5);
}

// 4: vertical wave by row.
void waveRowY(const Grid &g, int a)
{
    for (int i = 0; i < g.nr; ++i) {
        const double s = std::sin((double)i * TWO_PI / (double)g.nr * 3.0);
        for (int j = 0; j < g.nc; ++j)
            addDouble(g.at(j, i).dy, s * (double)a * 0.5);
    }
}

// 5: radial wave, pushing nodes along their offset from the centre.
void radialWave(const Grid &g, int a)
{
    const double af = (double)(float)a;
    for (int i = 0; i < g.nr; ++i) {
        const int t = i - g.nr / 2;
        for (int j = 0; j < g.nc; ++j) {
            const int u = j - g.nc / 2;
            const float d = centreDistance(u, t);
            const float q = d / (float)g.nc;
            const double phi = (double)q * PI;
            const double w = std::sin(phi) * std::cos(phi);
            MeshNode &node = g.at(j, i);
            addDouble(node.dx, (double)(float)u * w * af / 100.0);
            addDouble(node.dy, (double)(float)t * w * af / 100.0);
        }
    }
}

// 6: diagonal ripple around the centre.
void diagonalRipple(const Grid &g, int a)
{
    for (int i = 0; i < g.nr; ++i) {
        const int t = i - g.nr / 2;
        for (int j = 0; j < g.nc; ++j) {
            const float d = centreDistance(j - g.nc / 2, t);
            const float p = (d / 30.0f) * 2.0f;
            const double phi = (double)p * PI;
            const double w = std::sin(phi) * std::cos(phi) * (double)a / 5.0;
            MeshNode &node = g.at(j, i);
            addDouble(node.dx, w);
            addDouble(node.dy, w);
        }
    }
}

// Random shift of one draw, scaled by a picture size and the amount (float).
float randomShift(Random &random, int size, int a)
{
    const int r = nextRandom(random);
    return ((float)(r - 16383) * (float)size / RANDOM_SCALE) * (float)a;
}

// 7: random row shift, one draw per row.
void randomRowShift(const Grid &g, int a)
{
    Random random;
    for (int i = 0; i < g.nr; ++i) {
        const float t = randomShift(random, g.size.imageWidth, a);
        for (int j = 0; j < g.nc; ++j)
            g.at(j, i).dx += t;
    }
}

// 8: random column shift, one draw per column, all drawn in column order.
void randomColumnShift(const Grid &g, int a)
{
    Random random;
    for (int j = 0; j < g.nc; ++j) {
        const float t = randomShift(random, g.size.imageHeight, a);
        for (int i = 0; i < g.nr; ++i)
            g.at(j, i).dy += t;
    }
}

// 9: random jitter, two draws per node, x first.
void randomJitter(const Grid &g, int a)
{
    Random random;
    for (int i = 0; i < g.nr; ++i)
        for (int j = 0; j < g.nc; ++j) {
            MeshNode &node = g.at(j, i);
            node.dx += randomShift(random, g.size.imageWidth, a);
            node.dy += randomShift(random, g.size.imageHeight, a);
        }
}

// 10: rotation about the centre (A, B) by a/100 of a half turn, in a frame
// where one row counts as k columns.
void rotation(const Grid &g, int a, bool negate)
{
    const float A = (float)((double)g.nc * 0.5);
    const float B = (float)((double)g.nr * 0.5);
    const float k = rotationScale(g.size);
    const float theta = turnAngle(a, negate, 100.0);
    const float S = (float)std::sin((double)theta);
    const float Co = (float)std::cos((double)theta);
    for (int i = 0; i < g.nr; ++i) {
        const float F = ((float)i - B) * k;
        for (int j = 0; j < g.nc; ++j) {
            const float h = (float)j;
            const float e = h - A;
            MeshNode &node = g.at(j, i);
            node.dx += ((Co * e - S * F) + A) - h;
            node.dy += (((S * e + Co * F) / k) + B) - (float)i;
        }
    }
}

// 11 and 12: twirls whose angle grows with the square of the normalised
// radius h (11) or of 1 - radius (12, strongest at the centre).
void twirl(const Grid &g, int a, bool negate, bool atCentre)
{
    const float A = (float)((double)g.nc * 0.5);
    const float B = (float)((double)g.nr * 0.5);
    const float k = rotationScale(g.size);
    const float T = turnAngle(a, negate, TWIRL_DIVISOR);
    for (int i = 0; i < g.nr; ++i) {
        const float G = ((float)i - B) * k;
        for (int j = 0; j < g.nc; ++j) {
            const float e = (float)j - A;
            const float sum = e * e + G * G;
            const float d = (float)std::sqrt((double)sum);
            const float h = atCentre ? (float)(1.0 - (double)(d / A)) : d / A;
            const float phi = (h * T) * h;
            const float S = (float)std::sin((double)phi);
            const float Co = (float)std::cos((double)phi);
            MeshNode &node = g.at(j, i);
            node.dx += ((Co * e - S * G) + A) - (float)j;
            node.dy += (((Co * G + S * e) / k) + B) - (float)i;
        }
    }
}

// 13: sine-cosine field.
void sineCosineField(const Grid &g, int a)
{
    for (int i = 0; i < g.nr; ++i) {
        const double r = (double)i * PI / (double)g.nr;
        const double Si = std::sin(r);
        const double Ci = std::cos(r);
        for (int j = 0; j < g.nc; ++j) {
            const double b = (double)j * PI / (double)g.nc;
            MeshNode &node = g.at(j, i);
            addDouble(node.dy, std::cos(b) * Si * (double)a * 0.5);
            addDouble(node.dx, std::sin(b) * Ci * (double)a * 0.5);
        }
    }
}

// 14: checker wave.
void checkerWave(const Grid &g, int a)
{
    for (int i = 0; i < g.nr; ++i) {
        const double Si = std::sin((double)i * TWO_PI / (double)g.nr);
        for (int j = 0; j < g.nc; ++j) {
            const double h = std::cos((double)j * TWO_PI / (double)g.nc) * Si * (double)a * 0.5;
            MeshNode &node = g.at(j, i);
            addDouble(node.dy, h);
            addDouble(node.dx, h);
        }
    }
}

// 15: checker wave centred on the mesh.
void centredCheckerWave(const Grid &g, int a)
{
    const double halfRows = (double)halfSize(g.nr);
    const double halfCols = (double)halfSize(g.nc);
    for (int i = 0; i < g.nr; ++i) {
        const int t = i - g.nr / 2;
        const double K = std::cos((double)(float)t * TWO_PI / halfRows);
        for (int j = 0; j < g.nc; ++j) {
            const int u = j - g.nc / 2;
            const double J = std::sin((double)(float)u * TWO_PI / halfCols) * K * (double)a / 10.0;
            MeshNode &node = g.at(j, i);
            addDouble(node.dx, J);
            addDouble(node.dy, J);
        }
    }
}

// 16: slow ripple around the centre (float).
void slowRipple(const Grid &g, int a)
{
    for (int i = 0; i < g.nr; ++i) {
        const int t = i - g.nr / 2;
        for (int j = 0; j < g.nc; ++j) {
            const float d = centreDistance(j - g.nc / 2, t);
            const float phi = d / 30.0f;
            const float S = (float)std::sin((double)phi);
            const float Co = (float)std::cos((double)phi);
            const float N = ((S * Co) * (float)a) / 5.0f;
            MeshNode &node = g.at(j, i);
            node.dx += N;
            node.dy += N;
        }
    }
}

// 17: crossed waves.
void crossedWaves(const Grid &g, int a)
{
    const double halfRows = (double)halfSize(g.nr);
    const double halfCols = (double)halfSize(g.nc);
    for (int i = 0; i < g.nr; ++i) {
        const double K = std::cos((double)i * TWO_PI / halfRows);
        const double L = std::cos((double)i * SIX_PI / halfRows);
        for (int j = 0; j < g.nc; ++j) {
            MeshNode &node = g.at(j, i);
            addDouble(node.dx, std::sin((double)j * SIX_PI / halfCols) * K * (double)a / 10.0);
            addDouble(node.dy, std::sin((double)j * TWO_PI / halfCols) * L * (double)a / 10.0);
        }
    }
}

} // namespace

void applyGenerator(const GeneratorGeometry &size, MeshNode *mesh, int n, int amount,
                    bool negateTurns)
{
    if (!mesh || size.gridRows <= 0 || size.gridCols <= 0)
        return;
    const Grid g{mesh, size.gridRows, size.gridCols, size};
    const int a = amount;
    switch (n) {
    case 1:
        waveRowX(g, a);
        break;
    case 2:
        waveColumnY(g, a);
        break;
    case 3:
        waveColumnX(g, a);
        break;
    case 4:
        waveRowY(g, a);
        break;
    case 5:
        radialWave(g, a);
        break;
    case 6:
        diagonalRipple(g, a);
        break;
    case 7:
        randomRowShift(g, a);
        break;
    case 8:
        randomColumnShift(g, a);
        break;
    case 9:
        randomJitter(g, a);
        break;
    case 10:
        rotation(g, a, negateTurns);
        break;
    case 11:
        twirl(g, a, negateTurns, false);
        break;
    case 12:
        twirl(g, a, negateTurns, true);
        break;
    case 13:
        sineCosineField(g, a);
        break;
    case 14:
        checkerWave(g, a);
        break;
    case 15:
        centredCheckerWave(g, a);
        break;
    case 16:
        slowRipple(g, a);
        break;
    case 17:
        crossedWaves(g, a);
        break;
    default:
        break;
    }
}
