// The disorientation from quaternions, fast, and the boundary plane in the
// crystal frame of the grain it is referred to. Double precision throughout.
//
// Quaternions are those of the rotation matrices read in the active sense
// (the sense of aatog): g v = q v q*, and the product of two matrices is the
// product of their quaternions. A symmetrically equivalent misorientation is
// s_j dq s_i* (operators S_j on grain b, S_i on grain a), or its conjugate
// with the grains exchanged. The smallest angle among them needs the
// one-sided products dq s only (the angle of s_j dq s_i* is that of dq s_i* s_j),
// and whatever operators the reduction of the axis then adds are tracked, so
// that the same ones are applied to the face normal.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "orientation/orientation.hpp"

namespace orientation {

namespace {

using Matrix = std::array<double, 9>;  // column-major, as Matrix3

// As in disorientation: candidates whose cos(angle/2) agree within this count
// as equally small, and the sector rule chooses among them.
constexpr double tieTolerance = 1e-7;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
const double half = std::sqrt(0.5);

// a * b*.
Quaternion timesConjugate(const Quaternion& a, const Quaternion& b) {
    return {a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3],
            -a[0] * b[1] + a[1] * b[0] - a[2] * b[3] + a[3] * b[2],
            -a[0] * b[2] + a[1] * b[3] + a[2] * b[0] - a[3] * b[1],
            -a[0] * b[3] - a[1] * b[2] + a[2] * b[1] + a[3] * b[0]};
}

// The misorientation qb qa*, written so that exchanging a and b gives exactly
// its conjugate: the same scalar part, the vector part negated bit for bit.
inline Quaternion misorientation(const Quaternion& a, const Quaternion& b) {
    return {a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3],
            (a[0] * b[1] - b[0] * a[1]) + (a[2] * b[3] - a[3] * b[2]),
            (a[0] * b[2] - b[0] * a[2]) + (a[3] * b[1] - a[1] * b[3]),
            (a[0] * b[3] - b[0] * a[3]) + (a[1] * b[2] - a[2] * b[1])};
}

// q v q* for a unit quaternion q: v + 2w (u x v) + 2 u x (u x v).
Direction rotate(const Quaternion& q, const Direction& v) {
    const double tx = 2 * (q[2] * v[2] - q[3] * v[1]), ty = 2 * (q[3] * v[0] - q[1] * v[2]),
                 tz = 2 * (q[1] * v[1] - q[2] * v[0]);
    return {v[0] + q[0] * tx + (q[2] * tz - q[3] * ty), v[1] + q[0] * ty + (q[3] * tx - q[1] * tz),
            v[2] + q[0] * tz + (q[1] * ty - q[2] * tx)};
}

Direction times(const Matrix& m, const Direction& v) {
    return {m[0] * v[0] + m[3] * v[1] + m[6] * v[2], m[1] * v[0] + m[4] * v[1] + m[7] * v[2],
            m[2] * v[0] + m[5] * v[1] + m[8] * v[2]};
}

double length(const Direction& v) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// The quaternion of a matrix, from the largest of 4w^2, 4x^2, 4y^2, 4z^2.
Quaternion quaternionOf(const Matrix& m) {
    const double m11 = m[0], m21 = m[1], m31 = m[2], m12 = m[3], m22 = m[4], m32 = m[5], m13 = m[6],
                 m23 = m[7], m33 = m[8];
    const double trace = m11 + m22 + m33;
    Quaternion q;
    if (trace >= m11 && trace >= m22 && trace >= m33) {
        const double w = 0.5 * std::sqrt(1.0 + trace), f = 0.25 / w;
        q = {w, (m32 - m23) * f, (m13 - m31) * f, (m21 - m12) * f};
    } else if (m11 >= m22 && m11 >= m33) {
        const double x = 0.5 * std::sqrt(1.0 + m11 - m22 - m33), f = 0.25 / x;
        q = {(m32 - m23) * f, x, (m12 + m21) * f, (m13 + m31) * f};
    } else if (m22 >= m33) {
        const double y = 0.5 * std::sqrt(1.0 - m11 + m22 - m33), f = 0.25 / y;
        q = {(m13 - m31) * f, (m12 + m21) * f, y, (m23 + m32) * f};
    } else {
        const double z = 0.5 * std::sqrt(1.0 - m11 - m22 + m33), f = 0.25 / z;
        q = {(m21 - m12) * f, (m13 + m31) * f, (m23 + m32) * f, z};
    }
    const double size = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& c : q) c /= size;
    return q;
}

// What the reduction found: the disorientation r (scalar part >= 0, axis in
// the sector), the angle as disorientation gives it, and how to bring the
// normal along: plane = sign * M v, with v the normal in grain a's frame
// (exchanged false) or in grain b's (exchanged true).
struct Reduction {
    Quaternion r;
    double angle;
    Matrix m;  // unused for cubic, which keeps a signed permutation instead
    bool exchanged;
    // cubic: (P x)_k = sign[k] * x[index[k]], after rotating by u when not exchanged
    std::array<int, 3> index;
    std::array<double, 3> sign;
    Quaternion u;
};

// ---------------------------------------------------------------- cubic

// The signed permutation P that takes v to 0 <= x <= y <= z; its
// determinant tells whether it is a rotation (+1) or minus one (-1).
struct SignedPermutation {
    std::array<int, 3> index{0, 1, 2};
    std::array<double, 3> sign{1, 1, 1};
    Direction sorted;
    int determinant = 1;
};

SignedPermutation sortingPermutation(const Direction& v) {
    SignedPermutation p;
    Direction a;
    for (int k = 0; k < 3; ++k) {
        p.sign[k] = v[k] < 0 ? -1.0 : 1.0;
        a[k] = std::fabs(v[k]);
        p.determinant *= v[k] < 0 ? -1 : 1;
    }
    auto order = [&](int i, int j) {
        if (a[j] < a[i]) {
            std::swap(a[i], a[j]);
            std::swap(p.index[i], p.index[j]);
            p.determinant = -p.determinant;
        }
    };
    order(0, 1), order(1, 2), order(0, 1);
    std::array<double, 3> sign;
    for (int k = 0; k < 3; ++k) sign[k] = p.sign[p.index[k]];
    p.sign = sign;
    p.sorted = a;
    return p;
}

// Cubic: with a >= b >= c >= d the absolute components of dq, the products
// dq s* over the 24 operators reach cos(angle/2) = a (turns by 0 or 180
// degrees about the axes), (a + b)/sqrt(2) (90 degrees about the axes and
// 2-folds about <110>) and (a + b + c + d)/2 (the 3-folds), with s = the unit
// quaternion on the largest component, the two largest, or all four, signed
// as dq's components. The 48 signed permutations then sort the axis.
Reduction cubic(const Quaternion& dq) {
    std::array<double, 4> a{std::fabs(dq[0]), std::fabs(dq[1]), std::fabs(dq[2]), std::fabs(dq[3])};
    std::array<int, 4> at{0, 1, 2, 3};  // at[k]: the component of the k-th largest
    auto order = [&](int i, int j) {
        if (a[i] < a[j]) std::swap(a[i], a[j]), std::swap(at[i], at[j]);
    };
    order(0, 1), order(2, 3), order(0, 2), order(1, 3), order(1, 2);
    const std::array<double, 3> w{a[0], (a[0] + a[1]) * half, (a[0] + a[1] + a[2] + a[3]) * 0.5};
    const double best = std::max({w[0], w[1], w[2]});
    Reduction result{};
    result.angle = nan;
    double bestKey = -std::numeric_limits<double>::infinity();
    for (int k = 0; k < 3; ++k) {
        if (!(w[k] >= best - tieTolerance)) continue;
        Quaternion u{0, 0, 0, 0};
        auto signOf = [&](int c) { return dq[c] < 0 ? -1.0 : 1.0; };
        if (k == 0) u[at[0]] = signOf(at[0]);
        if (k == 1) u[at[0]] = half * signOf(at[0]), u[at[1]] = half * signOf(at[1]);
        if (k == 2) u = {0.5 * signOf(0), 0.5 * signOf(1), 0.5 * signOf(2), 0.5 * signOf(3)};
        const Quaternion p = timesConjugate(dq, u);
        const SignedPermutation s = sortingPermutation({p[1], p[2], p[3]});
        const double size = length(s.sorted);
        if (w[k] == best) result.angle = 2.0 * std::atan2(size, best);
        const Direction axis = size > 0.0
                                   ? Direction{s.sorted[0] / size, s.sorted[1] / size, s.sorted[2] / size}
                                   : Direction{0.0, 0.0, 1.0};
        const double key = axis[0] + 2.0 * axis[1] + 3.0 * axis[2];
        if (key > bestKey) {
            bestKey = key;
            result.r = {p[0], s.sorted[0], s.sorted[1], s.sorted[2]};
            result.exchanged = s.determinant < 0;
            result.index = s.index;
            result.sign = s.sign;
            result.u = u;
        }
    }
    return result;
}

// atan(x) for 0 <= x <= 0.65 (a cubic disorientation has tan(angle/2) <=
// tan 31.4 degrees = 0.61): from the nearest c of 0, 1/4, 1/2, atan(x) =
// atan(c) + atan(y) with y = (x - c)/(1 + c x), |y| <= 1/8, whose series
// to y^17 is exact to the last bit (the next term is below 1e-18 y).
const std::array<double, 3> atanOfQuarters{0.0, std::atan(0.25), std::atan(0.5)};

double smallAtan(double x) {
    const int k = std::min(2, static_cast<int>(x * 4.0 + 0.5));
    const double c = 0.25 * k, y = (x - c) / (1.0 + c * x), y2 = y * y;
    const double sum =
        ((((((((1.0 / 17) * y2 - 1.0 / 15) * y2 + 1.0 / 13) * y2 - 1.0 / 11) * y2 + 1.0 / 9) * y2 - 1.0 / 7) *
              y2 +
          1.0 / 5) *
             y2 -
         1.0 / 3) *
            y2 +
        1.0;
    return atanOfQuarters[static_cast<std::size_t>(k)] + y * sum;
}

// The disorientation alone, cubic, when one of the three kinds of operator
// is best by more than the tie tolerance (nearly always): the sorting is
// done by min and max, the axis taken from the sorted components (the
// vector parts of the products, as in disorientation), and the angle from
// atan of their ratio, cos(angle/2) being at least cos(31.4 degrees) here.
// Returns false for a tie, which the tracked reduction above settles.
inline bool quickCubic(const Quaternion& dq, double& angle, Direction& axis) {
    const double q0 = std::fabs(dq[0]), q1 = std::fabs(dq[1]), q2 = std::fabs(dq[2]), q3 = std::fabs(dq[3]);
    const double high01 = std::max(q0, q1), low01 = std::min(q0, q1), high23 = std::max(q2, q3),
                 low23 = std::min(q2, q3);
    const double a = std::max(high01, high23), d = std::min(low01, low23);
    const double x = std::min(high01, high23), y = std::max(low01, low23);
    const double b = std::max(x, y), c = std::min(x, y);
    const double w0 = a, w1 = (a + b) * half, w2 = (a + b + c + d) * 0.5;
    const double best = std::max(w0, std::max(w1, w2));
    // the runner-up within the tolerance: a tie
    const double second = std::max(std::min(w0, w1), std::min(std::max(w0, w1), w2));
    if (!(second < best - tieTolerance)) return false;
    // All three candidates, one taken without a branch (the kind that wins is
    // as good as random).
    const bool three = w2 == best, two = w1 == best;
    const double t0 = (a + b - c - d) * 0.5, t1 = (a - b + c - d) * 0.5, t2 = std::fabs(a - b - c + d) * 0.5;
    const double p0 = (a - b) * half, p1 = (c + d) * half, p2 = (c - d) * half;
    const double u0 = three ? t0
                      : two ? p0
                            : d,
                 u1 = three ? t1
                      : two ? p1
                            : c,
                 u2 = three ? t2
                      : two ? p2
                            : b;
    const double s0 = std::min(u0, u1), s1 = std::max(u0, u1);
    const double z = std::max(s1, u2), m = std::min(s1, u2);
    const double lowest = std::min(s0, m), middle = std::max(s0, m);
    const double size = std::sqrt(lowest * lowest + middle * middle + z * z);
    angle = 2.0 * smallAtan(size / best);
    if (size > 0.0) {
        const double f = 1.0 / size;
        axis = {lowest * f, middle * f, z * f};
    } else {
        axis = {0.0, 0.0, 1.0};
    }
    return true;
}

// quickCubic on two pairs at once, in the compiler's generic vectors (two
// doubles: one SSE2 register on x86-64, plain scalar code where there is no
// such register): every step is quickCubic's operation on the same operands,
// so the results are its results bit for bit; the choices are masks, not
// branches. (The compiler vectorises no loop of quickCubic itself: its
// comparisons may trap and sqrt may set errno, and the flags that allow it
// would change floating-point semantics.)
using Pair = double __attribute__((vector_size(16)));
using PairMask = std::int64_t __attribute__((vector_size(16)));

inline Pair pairMin(Pair a, Pair b) {
    return b < a ? b : a;  // std::min
}
inline Pair pairMax(Pair a, Pair b) {
    return a < b ? b : a;  // std::max
}
inline Pair pairAbs(Pair a) {
    const PairMask magnitude = {std::numeric_limits<std::int64_t>::max(),
                                std::numeric_limits<std::int64_t>::max()};
    return reinterpret_cast<Pair>(reinterpret_cast<PairMask>(a) & magnitude);
}

// What one pass over two pairs leaves for the next.
struct PairStage {
    Pair best, squares, lowest, middle, z;  // first pass
    Pair size, r, cr, base;                 // second
};

// quickCubic on two pairs, in three passes over a chunk of pairs, each
// short enough for the processor to overlap many pairs' long chains of
// dependent operations. First: the sorted components, the axis's unnormalised
// components and their sum of squares; false for a tie or a zero axis in
// either pair (both then go to quickCubic).
inline bool quickCubicPairFirst(const Quaternion* qa, const Quaternion* qb, PairStage& out) {
    auto load = [](const double* p) {
        Pair v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    const Pair qa0 = load(&qa[0][0]), qa0h = load(&qa[0][2]), qa1 = load(&qa[1][0]), qa1h = load(&qa[1][2]);
    const Pair qb0 = load(&qb[0][0]), qb0h = load(&qb[0][2]), qb1 = load(&qb[1][0]), qb1h = load(&qb[1][2]);
    const Pair a0 = {qa0[0], qa1[0]}, a1 = {qa0[1], qa1[1]}, a2 = {qa0h[0], qa1h[0]}, a3 = {qa0h[1], qa1h[1]};
    const Pair b0 = {qb0[0], qb1[0]}, b1 = {qb0[1], qb1[1]}, b2 = {qb0h[0], qb1h[0]}, b3 = {qb0h[1], qb1h[1]};
    // misorientation(), then quickCubic
    const Pair q0 = pairAbs(a0 * b0 + a1 * b1 + a2 * b2 + a3 * b3),
               q1 = pairAbs((a0 * b1 - b0 * a1) + (a2 * b3 - a3 * b2)),
               q2 = pairAbs((a0 * b2 - b0 * a2) + (a3 * b1 - a1 * b3)),
               q3 = pairAbs((a0 * b3 - b0 * a3) + (a1 * b2 - a2 * b1));
    const Pair high01 = pairMax(q0, q1), low01 = pairMin(q0, q1), high23 = pairMax(q2, q3),
               low23 = pairMin(q2, q3);
    const Pair a = pairMax(high01, high23), d = pairMin(low01, low23);
    const Pair x = pairMin(high01, high23), y = pairMax(low01, low23);
    const Pair b = pairMax(x, y), c = pairMin(x, y);
    const Pair w0 = a, w1 = (a + b) * half, w2 = (a + b + c + d) * 0.5;
    const Pair best = pairMax(w0, pairMax(w1, w2));
    const Pair second = pairMax(pairMin(w0, w1), pairMin(pairMax(w0, w1), w2));
    const PairMask clear = second < best - tieTolerance;
    const PairMask three = w2 == best, two = w1 == best;
    const Pair t0 = (a + b - c - d) * 0.5, t1 = (a - b + c - d) * 0.5, t2 = pairAbs(a - b - c + d) * 0.5;
    const Pair p0 = (a - b) * half, p1 = (c + d) * half, p2 = (c - d) * half;
    const Pair u0 = three ? t0 : two ? p0 : d, u1 = three ? t1 : two ? p1 : c, u2 = three ? t2 : two ? p2 : b;
    const Pair s0 = pairMin(u0, u1), s1 = pairMax(u0, u1);
    const Pair z = pairMax(s1, u2), m = pairMin(s1, u2);
    const Pair lowest = pairMin(s0, m), middle = pairMax(s0, m);
    const Pair squares = lowest * lowest + middle * middle + z * z;
    out.best = best, out.squares = squares, out.lowest = lowest, out.middle = middle, out.z = z;
    const PairMask fine = clear & (squares > 0.0);
    return fine[0] && fine[1];
}

// Second: the length of the axis, the argument of atan and its nearest quarter.
inline void quickCubicPairMiddle(PairStage& s) {
    const Pair size = {std::sqrt(s.squares[0]), std::sqrt(s.squares[1])};
    // smallAtan(size / best): k = min(2, int(4 r + 1/2)) is 1 or 2 exactly when
    // 4 r + 1/2 reaches 1 or 2
    const Pair r = size / s.best, t = r * 4.0 + 0.5;
    const PairMask two4 = t >= 2.0, one4 = t >= 1.0;
    const Pair zero = {0.0, 0.0};
    s.size = size, s.r = r;
    s.cr = two4 ? Pair{0.5, 0.5} : one4 ? Pair{0.25, 0.25} : zero;
    s.base = two4   ? Pair{atanOfQuarters[2], atanOfQuarters[2]}
             : one4 ? Pair{atanOfQuarters[1], atanOfQuarters[1]}
                    : zero;
}

// Third: the angle, by smallAtan's series, and the unit axis, written out.
inline void quickCubicPairLast(const PairStage& in, double* angle, Direction* axis) {
    const Pair v = (in.r - in.cr) / (1.0 + in.cr * in.r), v2 = v * v;
    const Pair sum =
        ((((((((1.0 / 17) * v2 - 1.0 / 15) * v2 + 1.0 / 13) * v2 - 1.0 / 11) * v2 + 1.0 / 9) * v2 - 1.0 / 7) *
              v2 +
          1.0 / 5) *
             v2 -
         1.0 / 3) *
            v2 +
        1.0;
    const Pair turn = 2.0 * (in.base + v * sum);
    const Pair f = 1.0 / in.size;
    const Pair ax = in.lowest * f, ay = in.middle * f, az = in.z * f;
    const Pair out[3] = {Pair{ax[0], ay[0]}, Pair{az[0], ax[1]}, Pair{ay[1], az[1]}};
    std::memcpy(angle, &turn, sizeof turn);
    static_assert(sizeof(Direction[2]) == sizeof out);
    std::memcpy(axis, out, sizeof out);
}

// ---------------------------------------------------------------- any class

struct CrystalClass {
    std::int32_t count = 0;
    std::array<Quaternion, 24> rotation{};
    std::array<Matrix, 24> matrix{};
    Direction c{};
};

CrystalClass crystalClass(std::int32_t code) {
    CrystalClass set;
    SymmetryOperatorArray ops;
    get_symop(code, ops, set.count);
    for (std::int32_t k = 0; k < set.count; ++k) {
        std::copy_n(ops.begin() + 9 * k, 9, set.matrix[k].begin());
        set.rotation[k] = quaternionOf(set.matrix[k]);
    }
    const double r = std::sqrt(0.75);
    const double c15 = std::sqrt(0.5 + 0.5 * r), s15 = std::sqrt(0.5 - 0.5 * r);
    switch (code) {
        case 1: set.c = {2, 1, 3}; break;
        case 2: set.c = {c15, s15, 1}; break;
        case 4: set.c = {0.5, r, 0}; break;
        default: set.c = {1, 2, 3}; break;
    }
    return set;
}

double key(const CrystalClass& set, const Direction& u) {
    return set.c[0] * u[0] + set.c[1] * u[1] + set.c[2] * u[2] + (u[2] >= 0.0 ? 4.0 : 0.0);
}

// Every class: the products dq s_k, the largest |w|, and among the tied ones
// the image +-T v of largest key over the operators T (the order of
// disorientation's search, so that equal keys pick the same image).
Reduction anyClass(const CrystalClass& set, const Quaternion& dq) {
    std::array<double, 24> w;
    double best = -1.0;
    for (std::int32_t k = 0; k < set.count; ++k) {
        const Quaternion& s = set.rotation[k];
        w[k] = std::fabs(dq[0] * s[0] - dq[1] * s[1] - dq[2] * s[2] - dq[3] * s[3]);
        best = std::max(best, w[k]);
    }
    Reduction result{};
    result.angle = nan;
    std::array<std::int32_t, 2> chosen{0, 0};  // k and t
    double bestKey = -std::numeric_limits<double>::infinity();
    for (std::int32_t k = 0; k < set.count; ++k) {
        if (!(w[k] >= best - tieTolerance)) continue;
        const Quaternion& s = set.rotation[k];
        Quaternion p = timesConjugate(dq, {s[0], -s[1], -s[2], -s[3]});
        if (p[0] < 0) p = {-p[0], -p[1], -p[2], -p[3]};
        const Direction v{p[1], p[2], p[3]};
        const double size = length(v);
        if (w[k] == best) result.angle = 2.0 * std::atan2(size, best);
        const Direction unit =
            size > 0.0 ? Direction{v[0] / size, v[1] / size, v[2] / size} : Direction{0, 0, 1};
        for (std::int32_t t = 0; t < set.count; ++t) {
            Direction image = times(set.matrix[t], unit);
            for (int sign = 0; sign < 2; ++sign, image = {-image[0], -image[1], -image[2]}) {
                const double imageKey = key(set, image);
                if (!(imageKey > bestKey)) continue;
                bestKey = imageKey;
                result.r = {p[0], size * image[0], size * image[1], size * image[2]};
                result.exchanged = sign == 1;
                chosen = {k, t};
            }
        }
    }
    // plane = T S_k^-1 n_a, or -T n_b when exchanged
    const Matrix& tm = set.matrix[chosen[1]];
    const Matrix& sm = set.matrix[chosen[0]];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            result.m[i + 3 * j] = result.exchanged
                                      ? -tm[i + 3 * j]
                                      : tm[i] * sm[j] + tm[i + 3] * sm[j + 3] + tm[i + 6] * sm[j + 6];
    return result;
}

Direction unitOrNan(const Direction& v) {
    const double size = length(v);
    if (!(size > 0.0)) return {nan, nan, nan};
    return {v[0] / size, v[1] / size, v[2] / size};
}

// The reduction of one pair, with the class prepared.
Reduction reduce(const CrystalClass& set, std::int32_t code, const Quaternion& qa, const Quaternion& qb) {
    const Quaternion dq = misorientation(qa, qb);
    return code == 3 ? cubic(dq) : anyClass(set, dq);
}

Direction planeOf(const Reduction& r, const Quaternion& qa, const Quaternion& qb, const Direction& normal,
                  std::int32_t code) {
    if (code == 3) {
        // Not exchanged: P R(u) R(qa) n; exchanged (P = -T): P R(qb) n.
        const Direction v = r.exchanged ? rotate(qb, normal) : rotate(r.u, rotate(qa, normal));
        return unitOrNan({r.sign[0] * v[r.index[0]], r.sign[1] * v[r.index[1]], r.sign[2] * v[r.index[2]]});
    }
    return unitOrNan(times(r.m, rotate(r.exchanged ? qb : qa, normal)));
}

// One cubic pair: the closed form, or the tracked reduction for a tie.
void oneCubic(const Quaternion& qa, const Quaternion& qb, double& angle, Direction& axis) {
    if (quickCubic(misorientation(qa, qb), angle, axis)) return;
    const Reduction r = cubic(misorientation(qa, qb));
    angle = r.angle;
    const double size = length({r.r[1], r.r[2], r.r[3]});
    axis = size > 0.0 ? Direction{r.r[1] / size, r.r[2] / size, r.r[3] / size} : Direction{0, 0, 1};
}

bool known(std::int32_t code) {
    return code >= 1 && code <= 5;
}

}  // namespace

void etoq(const EulerAngles& e, Quaternion& q) {
    const double sigma = 0.5 * (double(e[0]) + double(e[2])), delta = 0.5 * (double(e[0]) - double(e[2]));
    const double c = std::cos(0.5 * double(e[1])), s = std::sin(0.5 * double(e[1]));
    q = {c * std::cos(sigma), -s * std::cos(delta), -s * std::sin(delta), -c * std::sin(sigma)};
}

void gtoq(const Matrix3& g, Quaternion& q) {
    Matrix m;
    std::copy(g.begin(), g.end(), m.begin());
    q = quaternionOf(m);
}

void disorientation(const Quaternion* qa, const Quaternion* qb, std::size_t n, std::int32_t code,
                    double* angle, Direction* axis) {
    const CrystalClass set = code == 3 || !known(code) ? CrystalClass{} : crystalClass(code);
    for (std::size_t k = 0; k < n; ++k) {
        if (!known(code)) {
            angle[k] = nan;
            axis[k] = {nan, nan, nan};
            continue;
        }
        if (code == 3) {
            // the closed form two pairs at a time, in three passes over a chunk;
            // one at a time for a tie (with its neighbour) and the last odd pair
            constexpr std::size_t chunk = 64;
            std::array<PairStage, chunk / 2> stage;
            std::array<bool, chunk / 2> fine;
            for (; k + 2 <= n;) {
                const std::size_t pairs = std::min(chunk, n - k) / 2;
                for (std::size_t j = 0; j < pairs; ++j)
                    fine[j] = quickCubicPairFirst(qa + k + 2 * j, qb + k + 2 * j, stage[j]);
                for (std::size_t j = 0; j < pairs; ++j) quickCubicPairMiddle(stage[j]);
                for (std::size_t j = 0; j < pairs; ++j)
                    quickCubicPairLast(stage[j], angle + k + 2 * j, axis + k + 2 * j);
                for (std::size_t j = 0; j < 2 * pairs; ++j)
                    if (!fine[j / 2]) oneCubic(qa[k + j], qb[k + j], angle[k + j], axis[k + j]);
                k += 2 * pairs;
            }
            if (k < n) oneCubic(qa[k], qb[k], angle[k], axis[k]);
            break;
        }
        const Reduction r = reduce(set, code, qa[k], qb[k]);
        angle[k] = r.angle;
        const double size = length({r.r[1], r.r[2], r.r[3]});
        axis[k] = size > 0.0 ? Direction{r.r[1] / size, r.r[2] / size, r.r[3] / size} : Direction{0, 0, 1};
    }
}

void boundaryplane(const Quaternion* qa, const Quaternion* qb, const Direction* normal, std::size_t n,
                   std::int32_t code, Quaternion* r, Direction* plane, std::uint8_t* grain) {
    const CrystalClass set = code == 3 || !known(code) ? CrystalClass{} : crystalClass(code);
    for (std::size_t k = 0; k < n; ++k) {
        if (!known(code)) {
            r[k] = {nan, nan, nan, nan};
            plane[k] = {nan, nan, nan};
            grain[k] = 0;
            continue;
        }
        const Reduction found = reduce(set, code, qa[k], qb[k]);
        r[k] = found.r;
        plane[k] = planeOf(found, qa[k], qb[k], normal[k], code);
        grain[k] = found.exchanged ? 2 : 1;
    }
}

}  // namespace orientation
