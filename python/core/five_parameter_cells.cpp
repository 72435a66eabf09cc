// The five-parameter cell of every face, and the faces of a plane section:
// the per-face kernels of triangle_tools.five_parameter. Double precision.
//
// A face (grains a and b, sample normal n from a into b) is taken to its
// disorientation r and plane normal by boundaryplane (orientation library),
// then r to the class's Euler box by operators of the class (applied to the
// normal as well), and the box and the sphere are cut into cells:
//
//   box    phi1, phi2 in [0, 2 pi / z) with z the order of the class's turns
//          about [001] (4 cubic and tetragonal, 6 hexagonal, 3 trigonal, 2
//          orthorhombic); cos Phi in [0, 1] where the class has the 2-fold
//          about [100] (all but trigonal), else [-1, 1].
//   moves  phi2 - k (2 pi / z): the turn about z on the other grain's side;
//          phi1 - k (2 pi / z): the same turn on the reference grain's side,
//          which turns the normal by it too; cos Phi < 0: the 2-fold about x
//          on the other grain's side, Phi to pi - Phi.
//   cells  equal steps in phi1, cos Phi, phi2 (the invariant measure of
//          rotations is d phi1 d cos Phi d phi2) and in cos theta and phi of
//          the plane normal (equal areas on the sphere), numbered
//          ((((i1 * nCos + iCos) * n2 + i2) * nTheta + iTheta) * nAzimuth + iAzimuth).

#include "python/core/five_parameter_cells.hpp"

#include "python/core/const1_for_call.hpp"
#include "python/core/symmetry_code.hpp"

#include "common/triangle_data.hpp"
#include "orientation/orientation.hpp"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;
using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using orientation::Direction;
using orientation::Quaternion;

constexpr double pi = std::numbers::pi;
constexpr std::size_t block = 512;
constexpr py::ssize_t recordWidth = triangle::recordValueCount;

// The order of the turns about [001], and whether the 2-fold about [100] is there.
int turnsAboutZ(std::int32_t code) {
    constexpr std::array<int, 6> turns{0, 4, 6, 4, 3, 2};
    return turns[static_cast<std::size_t>(code)];
}
bool twoFoldAboutX(std::int32_t code) {
    return code != 4;
}

struct Partition {
    std::int32_t code;
    std::array<std::int64_t, 5> bins;  // phi1, cos Phi, phi2, cos theta, azimuth
    double range, cosLow;
};

Partition partitionOf(std::int32_t code, const std::vector<std::int64_t>& bins) {
    requireSymmetryCode(code);
    if (bins.size() != 5 || *std::min_element(bins.begin(), bins.end()) < 1)
        throw py::value_error("bins must be five counts >= 1: phi1, cos Phi, phi2, cos theta, azimuth");
    return {code,
            {bins[0], bins[1], bins[2], bins[3], bins[4]},
            2 * pi / turnsAboutZ(code),
            twoFoldAboutX(code) ? 0.0 : -1.0};
}

std::int64_t binOf(double x, double low, double high, std::int64_t count) {
    const double at = std::floor((x - low) / (high - low) * static_cast<double>(count));
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(std::clamp(at, -1.0, double(count))), 0,
                                    count - 1);
}

// The cell of a disorientation r with its plane normal, or -1 when either is NaN.
std::int64_t cellOf(const Partition& p, Quaternion r, Direction n) {
    if (!(std::isfinite(r[0]) && std::isfinite(n[0]) && std::isfinite(n[1]) && std::isfinite(n[2])))
        return -1;
    double cosPhi = (r[0] * r[0] + r[3] * r[3]) - (r[1] * r[1] + r[2] * r[2]);
    if (cosPhi < p.cosLow) {  // the 2-fold about x, on the other grain's side: X(pi) r
        r = {-r[1], r[0], -r[3], r[2]};
        cosPhi = -cosPhi;
    }
    const double sigma = std::atan2(-r[3], r[0]), delta = std::atan2(-r[2], -r[1]);
    double phi1 = sigma + delta, phi2 = sigma - delta;
    const double k1 = std::floor(phi1 / p.range), k2 = std::floor(phi2 / p.range);
    phi1 -= k1 * p.range, phi2 -= k2 * p.range;
    // phi1 less k1 turns: the reference grain turned by Z(k1 * range), its normal with it.
    const double turn = k1 * p.range, c = std::cos(turn), s = std::sin(turn);
    n = {c * n[0] + s * n[1], -s * n[0] + c * n[1], n[2]};
    double azimuth = std::atan2(n[1], n[0]);
    if (azimuth < 0) azimuth += 2 * pi;
    const auto& b = p.bins;
    const std::int64_t i1 = binOf(phi1, 0, p.range, b[0]), iCos = binOf(cosPhi, p.cosLow, 1, b[1]),
                       i2 = binOf(phi2, 0, p.range, b[2]), iTheta = binOf(n[2], -1, 1, b[3]),
                       iAzimuth = binOf(azimuth, 0, 2 * pi, b[4]);
    return (((i1 * b[1] + iCos) * b[2] + i2) * b[3] + iTheta) * b[4] + iAzimuth;
}

py::ssize_t recordRows(const FloatArray& faces) {
    if (faces.ndim() != 2 || faces.shape(1) != recordWidth)
        throw py::value_error("faces must have shape (N, 12), got " + std::to_string(faces.ndim()) +
                              " dimensions");
    return faces.shape(0);
}

// cells[k], and sign[k] = +1 when the plane normal is the face's (grain 1 the
// reference) and -1 when it is turned round (grain 2).
py::tuple cells(const FloatArray& faces, std::int32_t code, const std::vector<std::int64_t>& bins) {
    const Partition p = partitionOf(code, bins);
    const py::ssize_t n = recordRows(faces);
    py::array_t<std::int64_t> cell(n);
    py::array_t<std::int8_t> sign(n);
    const Const1ForCall set;
    const float* in = faces.data();
    std::int64_t* out = cell.mutable_data();
    std::int8_t* signs = sign.mutable_data();
    {
        py::gil_scoped_release unlocked;
        std::array<Quaternion, block> qa, qb, r;
        std::array<Direction, block> normal, plane;
        std::array<std::uint8_t, block> grain;
        for (py::ssize_t first = 0; first < n; first += static_cast<py::ssize_t>(block)) {
            const auto count = static_cast<std::size_t>(std::min<py::ssize_t>(block, n - first));
            for (std::size_t k = 0; k < count; ++k) {
                const float* row = in + (first + static_cast<py::ssize_t>(k)) * recordWidth;
                orientation::etoq({row[0], row[1], row[2]}, qa[k]);
                orientation::etoq({row[3], row[4], row[5]}, qb[k]);
                normal[k] = {row[6], row[7], row[8]};
            }
            orientation::boundaryplane(qa.data(), qb.data(), normal.data(), count, code, r.data(),
                                       plane.data(), grain.data());
            for (std::size_t k = 0; k < count; ++k) {
                out[first + static_cast<py::ssize_t>(k)] = cellOf(p, r[k], plane[k]);
                signs[first + static_cast<py::ssize_t>(k)] = grain[k] == 2 ? -1 : 1;
            }
        }
    }
    return py::make_tuple(cell, sign);
}

// ------------------------------------------------------------- sections

Quaternion product(const Quaternion& a, const Quaternion& b) {
    return {a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3],
            a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2],
            a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1],
            a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0]};
}
Quaternion conjugate(const Quaternion& q) {
    return {q[0], -q[1], -q[2], -q[3]};
}
double dot(const Quaternion& a, const Quaternion& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}
Direction rotate(const Quaternion& q, const Direction& v) {
    const Quaternion turned = product(product(q, {0, v[0], v[1], v[2]}), conjugate(q));
    return {turned[1], turned[2], turned[3]};
}

// For each face whose misorientation lies within `tolerance` (radians) of
// the target r0 over the symmetric equivalents: every equivalent within it,
// its plane normal (S_i ga n, or -S_i gb n with the grains exchanged) and
// the weight 1/K, K the face's equivalents within it; the sign is -1 for an
// exchanged one (the normal turned round). The equivalents s_j dq s_i* are
// within it where |dq . s_j* r0 s_i| >= cos(tolerance / 2), their
// conjugates (exchanged) where |dq* . s_j* r0 s_i| is; a face whose
// disorientation angle differs from r0's by more than the tolerance has
// none (the angle of the disorientation moves by no more than the distance).
py::tuple sectionFaces(const FloatArray& euler1, const FloatArray& euler2, const DoubleArray& normals,
                       std::int32_t code, const std::array<double, 4>& target, double tolerance) {
    requireSymmetryCode(code);
    const py::ssize_t n = euler1.ndim() == 2 ? euler1.shape(0) : -1;
    for (const py::array* a : {static_cast<const py::array*>(&euler1), static_cast<const py::array*>(&euler2),
                               static_cast<const py::array*>(&normals)})
        if (a->ndim() != 2 || a->shape(1) != 3 || a->shape(0) != n)
            throw py::value_error("euler1, euler2 and normals must all have shape (N, 3)");
    const Const1ForCall set;
    orientation::SymmetryOperatorArray ops;
    std::int32_t count = 0;
    orientation::get_symop(code, ops, count);
    std::vector<Quaternion> s(static_cast<std::size_t>(count));
    for (std::int32_t k = 0; k < count; ++k) {
        orientation::Matrix3 g;
        std::copy_n(ops.begin() + 9 * k, 9, g.begin());
        orientation::gtoq(g, s[static_cast<std::size_t>(k)]);
    }
    const double size = std::sqrt(dot(target, target));
    const Quaternion r0{target[0] / size, target[1] / size, target[2] / size, target[3] / size};
    std::vector<Quaternion> t;  // t[i * count + j] = s_j* r0 s_i
    for (const Quaternion& si : s)
        for (const Quaternion& sj : s) t.push_back(product(product(conjugate(sj), r0), si));
    const Quaternion identity{1, 0, 0, 0};
    double targetAngle;
    Direction targetAxis;
    orientation::disorientation(&identity, &r0, 1, code, &targetAngle, &targetAxis);
    const double within = std::cos(0.5 * tolerance);

    std::vector<std::int64_t> face;
    std::vector<double> plane, weight;
    std::vector<std::int8_t> sign;
    {
        py::gil_scoped_release unlocked;
        const auto* nv = reinterpret_cast<const Direction*>(normals.data());
        const float* e1 = euler1.data();
        const float* e2 = euler2.data();
        for (py::ssize_t k = 0; k < n; ++k) {
            Quaternion qa, qb;
            orientation::etoq({e1[3 * k], e1[3 * k + 1], e1[3 * k + 2]}, qa);
            orientation::etoq({e2[3 * k], e2[3 * k + 1], e2[3 * k + 2]}, qb);
            double angle;
            Direction axis;
            orientation::disorientation(&qa, &qb, 1, code, &angle, &axis);
            if (!(std::fabs(angle - targetAngle) <= tolerance)) continue;
            const Quaternion dq = product(qb, conjugate(qa)), dqc = conjugate(dq);
            const Direction na = rotate(qa, nv[k]), nb = rotate(qb, nv[k]);
            const std::size_t start = weight.size();
            for (std::size_t i = 0; i < s.size(); ++i) {
                bool plain = false, exchanged = false;
                for (std::size_t j = 0; j < s.size(); ++j) {
                    plain = plain || std::fabs(dot(dq, t[i * s.size() + j])) >= within;
                    exchanged = exchanged || std::fabs(dot(dqc, t[i * s.size() + j])) >= within;
                }
                // The same S_i with several S_j: one boundary, one normal.
                for (int side = 0; side < 2; ++side) {
                    if (!(side == 0 ? plain : exchanged)) continue;
                    const Direction v = rotate(s[i], side == 0 ? na : nb);
                    const double f =
                        (side == 0 ? 1.0 : -1.0) / std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                    face.push_back(k);
                    plane.insert(plane.end(), {f * v[0], f * v[1], f * v[2]});
                    sign.push_back(side == 0 ? 1 : -1);
                    weight.push_back(1.0);
                }
            }
            const double share = 1.0 / static_cast<double>(weight.size() - start);
            for (std::size_t m = start; m < weight.size(); ++m) weight[m] = share;
        }
    }
    const auto m = static_cast<py::ssize_t>(weight.size());
    py::array_t<std::int64_t> faceOut(m);
    DoubleArray planeOut(std::vector<py::ssize_t>{m, 3}), weightOut(m);
    py::array_t<std::int8_t> signOut(m);
    std::copy(face.begin(), face.end(), faceOut.mutable_data());
    std::copy(plane.begin(), plane.end(), planeOut.mutable_data());
    std::copy(weight.begin(), weight.end(), weightOut.mutable_data());
    std::copy(sign.begin(), sign.end(), signOut.mutable_data());
    return py::make_tuple(faceOut, planeOut, weightOut, signOut);
}

}  // namespace

void registerFiveParameterCells(py::module_& m) {
    m.def("five_parameter_cells", &cells, py::arg("faces"), py::arg("code"), py::arg("bins"),
          R"(The five-parameter cell of every face (see triangle_tools.five_parameter).

faces: float32 (N, 12) records (columns 0-2, 3-5 the Bunge angles of grains 1
and 2, 6-8 the normal from grain 1 into grain 2); code: the crystal class;
bins: (phi1, cos Phi, phi2, cos theta, azimuth) counts. Returns (cell, sign):
int64 cell numbers (-1 where the face cannot be placed: a NaN or a zero
normal) and int8 signs, -1 where the plane normal is the face's turned round
(grain 2 the reference), +1 otherwise.)");
    m.def("section_faces", &sectionFaces, py::arg("euler1"), py::arg("euler2"), py::arg("normals"),
          py::arg("code"), py::arg("target"), py::arg("tolerance"),
          R"(The faces of a plane section (see triangle_tools.plane_distribution).

target: the misorientation as a quaternion (w, x, y, z); tolerance: radians.
Returns (face, plane, weight, sign): for every symmetric equivalent of every
face within the tolerance of target, the face's row, its plane normal in the
reference grain's crystal frame (M, 3), its weight 1/K (K the face's
equivalents within it) and its sign (-1 where the normal is turned round,
the grains exchanged).)");
}
