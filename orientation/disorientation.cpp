// Disorientation of two orientations of one crystal class: the smallest
// rotation among all symmetrically equivalent misorientations, and its axis
// reduced to the fundamental sector of the class.
//
// Unlike the rest of the library this computes in double precision on the
// single-precision inputs, rounding only the results to float.
//
// Rotations are handled as quaternions q = (w, x, y, z) = (cos(a/2),
// sin(a/2) n) of the rotation matrices read in the active sense (the sense of
// aatog), so that the product of two matrices is the product of their
// quaternions. The angle of S_i dg S_j equals that of S_j S_i dg (the trace is
// cyclic), so the smallest angle needs one-sided products dg S_k only; their
// scalar parts are the dot products of dg with the operators' quaternions.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "orientation/orientation.hpp"

namespace orientation {

namespace {

using Matrix = std::array<double, 9>;  // column-major, as Matrix3

// Candidates whose cos(angle/2) agree within the inputs' single precision
// count as equally small; among them the sector rule picks the axis.
constexpr double tieTolerance = 1e-7;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Hamilton product a * b: the quaternion of the matrix product a b.
Quaternion times(const Quaternion& a, const Quaternion& b) {
    return {a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3],
            a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2],
            a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1],
            a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0]};
}

// The quaternion of a rotation matrix, from the largest of 4w^2, 4x^2, 4y^2,
// 4z^2 (no cancellation). Not normalised: its length is 1 to within the
// rounding of the matrix, and only ratios of its components are used.
Quaternion quaternionOf(const Matrix& m) {
    const double m11 = m[0], m21 = m[1], m31 = m[2], m12 = m[3], m22 = m[4], m32 = m[5], m13 = m[6],
                 m23 = m[7], m33 = m[8];
    const double trace = m11 + m22 + m33;
    if (trace >= m11 && trace >= m22 && trace >= m33) {
        const double w = 0.5 * std::sqrt(1.0 + trace), f = 0.25 / w;
        return {w, (m32 - m23) * f, (m13 - m31) * f, (m21 - m12) * f};
    }
    if (m11 >= m22 && m11 >= m33) {
        const double x = 0.5 * std::sqrt(1.0 + m11 - m22 - m33), f = 0.25 / x;
        return {(m32 - m23) * f, x, (m12 + m21) * f, (m13 + m31) * f};
    }
    if (m22 >= m33) {
        const double y = 0.5 * std::sqrt(1.0 - m11 + m22 - m33), f = 0.25 / y;
        return {(m13 - m31) * f, (m12 + m21) * f, y, (m23 + m32) * f};
    }
    const double z = 0.5 * std::sqrt(1.0 - m11 - m22 + m33), f = 0.25 / z;
    return {(m21 - m12) * f, (m13 + m31) * f, (m23 + m32) * f, z};
}

// The misorientation dg = gb ga^T, taking crystal a's components to b's.
Quaternion misorientation(const Matrix3& ga, const Matrix3& gb) {
    Matrix dg;
    for (std::size_t j = 0; j < 3; ++j)
        for (std::size_t i = 0; i < 3; ++i)
            dg[i + 3 * j] =
                double(gb[i]) * ga[j] + double(gb[i + 3]) * ga[j + 3] + double(gb[i + 6]) * ga[j + 6];
    return quaternionOf(dg);
}

// The rotation group of a class with the fundamental sector of its axes. The
// sector is the set of directions u whose key, c.u + (4 when u_z >= 0), is
// the largest among their images +-S u; c is a direction inside the sector.
struct CrystalClass {
    std::int32_t count = 0;
    std::array<Quaternion, 24> rotation{};
    std::array<Matrix, 24> matrix{};
    Direction c{};
};

double key(const CrystalClass& set, const Direction& u) {
    return set.c[0] * u[0] + set.c[1] * u[1] + set.c[2] * u[2] + (u[2] >= 0.0 ? 4.0 : 0.0);
}

CrystalClass crystalClass(std::int32_t code) {
    CrystalClass set;
    SymmetryOperatorArray ops;
    get_symop(code, ops, set.count);
    for (std::int32_t k = 0; k < set.count; ++k) {
        std::copy_n(ops.begin() + 9 * k, 9, set.matrix[k].begin());
        Quaternion& q = set.rotation[k];
        q = quaternionOf(set.matrix[k]);
        const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (double& component : q) component /= length;
    }
    const double r = std::sqrt(0.75);  // sin 60 degrees
    const double c15 = std::sqrt(0.5 + 0.5 * r), s15 = std::sqrt(0.5 - 0.5 * r);
    switch (code) {
        case 1: set.c = {2, 1, 3}; break;      // 0 <= y <= x, z >= 0
        case 2: set.c = {c15, s15, 1}; break;  // azimuth 0 to 30 degrees, z >= 0
        case 4: set.c = {0.5, r, 0}; break;    // azimuth 0 to 120 degrees, z >= 0
        default: set.c = {1, 2, 3}; break;     // cubic 0 <= x <= y <= z; orthorhombic x, y, z >= 0
    }
    return set;
}

Direction unit(const Direction& v) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0) return {0.0, 0.0, 1.0};  // no turn: the axis is [0 0 1] by convention
    return {v[0] / length, v[1] / length, v[2] / length};
}

// The image +-S_i v of largest key.
Direction reduced(const CrystalClass& set, const Direction& v) {
    Direction best = v;
    double bestKey = -std::numeric_limits<double>::infinity();
    for (std::int32_t k = 0; k < set.count; ++k) {
        const Matrix& s = set.matrix[k];
        Direction u{s[0] * v[0] + s[3] * v[1] + s[6] * v[2], s[1] * v[0] + s[4] * v[1] + s[7] * v[2],
                    s[2] * v[0] + s[5] * v[1] + s[8] * v[2]};
        for (int sign = 0; sign < 2; ++sign, u = {-u[0], -u[1], -u[2]}) {
            if (key(set, u) > bestKey) {
                bestKey = key(set, u);
                best = u;
            }
        }
    }
    return best;
}

struct Result {
    double angle;
    Direction axis;
};

// Any class: the one-sided products dg S_k, the largest |w| among them, and
// the axis of largest key among the (tied) largest.
Result anyClass(const CrystalClass& set, const Quaternion& dq) {
    std::array<Quaternion, 24> candidate;
    double best = -1.0;
    for (std::int32_t k = 0; k < set.count; ++k) {
        candidate[k] = times(dq, set.rotation[k]);
        best = std::max(best, std::fabs(candidate[k][0]));
    }
    Result result{nan, {nan, nan, nan}};
    double bestKey = -std::numeric_limits<double>::infinity();
    for (std::int32_t k = 0; k < set.count; ++k) {
        const Quaternion& p = candidate[k];
        if (!(std::fabs(p[0]) >= best - tieTolerance)) continue;
        const Direction axis = reduced(set, unit({p[1], p[2], p[3]}));
        if (std::fabs(p[0]) == best)
            result.angle = 2.0 * std::atan2(std::sqrt(p[1] * p[1] + p[2] * p[2] + p[3] * p[3]), best);
        if (key(set, axis) > bestKey) {
            bestKey = key(set, axis);
            result.axis = axis;
        }
    }
    return result;
}

// 0 <= a <= b after the call (a NaN stays where it is).
void order(double& a, double& b) {
    if (b < a) std::swap(a, b);
}

// Cubic: with a >= b >= c >= d the absolute components of dg, the products
// with the 24 operators have |w| up to a (the four turns by 0 or 180 degrees
// about the axes), (a + b)/sqrt(2) (the 90 degree turns and 2-folds about
// <110>) and (a + b + c + d)/2 (the 3-folds); the vector parts of those
// products are, in absolute value, {b, c, d}, {a - b, c + d, c - d}/sqrt(2)
// and {a + b - c - d, a - b + c - d, |a - b - c + d|}/2. The sector reduction
// of the 48 signed permutations sorts them ascending.
Result cubic(const Quaternion& dq) {
    double d = std::fabs(dq[0]), c = std::fabs(dq[1]), b = std::fabs(dq[2]), a = std::fabs(dq[3]);
    order(d, c), order(b, a), order(d, b), order(c, a), order(c, b);
    const double h = std::sqrt(0.5);
    const std::array<double, 3> w{a, (a + b) * h, (a + b + c + d) * 0.5};
    const double best = std::max({w[0], w[1], w[2]});
    Result result{nan, {nan, nan, nan}};
    double bestKey = -std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < 3; ++k) {
        if (!(w[k] >= best - tieTolerance)) continue;
        Direction u = k == 0   ? Direction{d, c, b}
                      : k == 1 ? Direction{(a - b) * h, (c + d) * h, (c - d) * h}
                               : Direction{(a + b - c - d) * 0.5, (a - b + c - d) * 0.5,
                                           std::fabs(a - b - c + d) * 0.5};
        order(u[0], u[1]), order(u[1], u[2]), order(u[0], u[1]);
        const double length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        if (w[k] == best) result.angle = 2.0 * std::atan2(length, best);
        u = length > 0.0 ? Direction{u[0] / length, u[1] / length, u[2] / length} : Direction{0.0, 0.0, 1.0};
        const double uKey = u[0] + 2.0 * u[1] + 3.0 * u[2];
        if (uKey > bestKey) {
            bestKey = uKey;
            result.axis = u;
        }
    }
    return result;
}

}  // namespace

void disorientation(const Matrix3* ga, const Matrix3* gb, std::size_t n, std::int32_t code, float* angle,
                    Vector3* axis) {
    const CrystalClass set = crystalClass(code);
    const float none = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t k = 0; k < n; ++k) {
        if (set.count == 0) {
            angle[k] = none;
            axis[k] = {none, none, none};
            continue;
        }
        const Quaternion dq = misorientation(ga[k], gb[k]);
        const Result r = code == 3 ? cubic(dq) : anyClass(set, dq);
        angle[k] = static_cast<float>(r.angle);
        axis[k] = {static_cast<float>(r.axis[0]), static_cast<float>(r.axis[1]),
                   static_cast<float>(r.axis[2])};
    }
}

void disorientation(const Matrix3& ga, const Matrix3& gb, std::int32_t code, float& angle, Vector3& axis) {
    disorientation(&ga, &gb, 1, code, &angle, &axis);
}

}  // namespace orientation
