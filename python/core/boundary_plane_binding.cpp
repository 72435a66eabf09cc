// triangle_tools.fast_disorientation and triangle_tools.boundary_plane: the
// library's double-precision disorientation from quaternions and the
// boundary plane in the crystal frame, for every face of an array.

#include "python/core/boundary_plane_binding.hpp"

#include "python/core/const1_for_call.hpp"
#include "python/core/symmetry_code.hpp"

#include "orientation/orientation.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace py = pybind11;

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;
using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Shape = std::vector<py::ssize_t>;

constexpr std::size_t block = 512;

// Rows (N, 3) of Euler angles or (N, 3, 3) of numpy row-major matrices; 0 for neither.
int formOf(const FloatArray& a) {
    if (a.ndim() == 2 && a.shape(1) == 3) return 3;
    if (a.ndim() == 3 && a.shape(1) == 3 && a.shape(2) == 3) return 9;
    return 0;
}

void quaternions(const float* in, int form, std::size_t count, orientation::Quaternion* out) {
    for (std::size_t k = 0; k < count; ++k, in += form) {
        if (form == 3) {
            orientation::etoq({in[0], in[1], in[2]}, out[k]);
        } else {
            orientation::Matrix3 g;
            for (std::size_t i = 0; i < 3; ++i)
                for (std::size_t j = 0; j < 3; ++j) g[i + 3 * j] = in[3 * i + j];
            orientation::gtoq(g, out[k]);
        }
    }
}

// Runs work(first, last) over n items in `threads` shares (0: one per core,
// from 65536 items a share up), with the GIL released.
template <class Work>
void shared(py::ssize_t n, int threads, Work work) {
    const py::ssize_t cores = std::max<py::ssize_t>(1, std::thread::hardware_concurrency());
    const py::ssize_t shares = threads > 0 ? std::clamp<py::ssize_t>(threads, 1, std::max<py::ssize_t>(1, n))
                                           : std::clamp<py::ssize_t>(n / 65536, 1, cores);
    py::gil_scoped_release unlocked;
    std::vector<std::jthread> helpers;
    for (py::ssize_t share = 0; share < shares; ++share) {
        auto run = [&, first = n * share / shares, last = n * (share + 1) / shares] { work(first, last); };
        if (share + 1 < shares)
            helpers.emplace_back(run);
        else
            run();
    }
}

// Quaternions (N, 4), (w, x, y, z) as etoq gives them, read as they are.
bool isQuaternions(const py::array& a) {
    return a.ndim() == 2 && a.shape(1) == 4;
}

py::tuple fromQuaternions(const DoubleArray& a, const DoubleArray& b, std::int32_t code, int threads) {
    if (!isQuaternions(b) || a.shape(0) != b.shape(0))
        throw py::value_error("a and b must both have shape (N, 4) (quaternions)");
    const py::ssize_t n = a.shape(0);
    DoubleArray angle(n), axis(Shape{n, 3});
    const Const1ForCall set;
    const auto* qa = reinterpret_cast<const orientation::Quaternion*>(a.data());
    const auto* qb = reinterpret_cast<const orientation::Quaternion*>(b.data());
    double* angles = angle.mutable_data();
    auto* axes = reinterpret_cast<orientation::Direction*>(axis.mutable_data());
    shared(n, threads, [&](py::ssize_t first, py::ssize_t last) {
        orientation::disorientation(qa + first, qb + first, static_cast<std::size_t>(last - first), code,
                                    angles + first, axes + first);
    });
    return py::make_tuple(angle, axis);
}

py::tuple fastDisorientation(const py::array& anyA, const py::array& anyB, std::int32_t code, int threads) {
    requireSymmetryCode(code);
    if (isQuaternions(anyA))
        return fromQuaternions(DoubleArray::ensure(anyA), DoubleArray::ensure(anyB), code, threads);
    const FloatArray a = FloatArray::ensure(anyA), b = FloatArray::ensure(anyB);
    if (!a || !b) throw py::error_already_set();
    const int form = formOf(a);
    if (form == 0 || formOf(b) != form || a.shape(0) != b.shape(0))
        throw py::value_error("a and b must both have shape (N, 3) (Euler angles) or (N, 3, 3) (matrices)");
    const py::ssize_t n = a.shape(0);
    DoubleArray angle(n), axis(Shape{n, 3});
    const Const1ForCall set;
    double* angles = angle.mutable_data();
    auto* axes = reinterpret_cast<orientation::Direction*>(axis.mutable_data());
    shared(n, threads, [&](py::ssize_t first, py::ssize_t last) {
        std::array<orientation::Quaternion, block> qa, qb;
        for (; first < last; first += static_cast<py::ssize_t>(block)) {
            const auto count = static_cast<std::size_t>(std::min<py::ssize_t>(block, last - first));
            quaternions(a.data() + first * form, form, count, qa.data());
            quaternions(b.data() + first * form, form, count, qb.data());
            orientation::disorientation(qa.data(), qb.data(), count, code, angles + first, axes + first);
        }
    });
    return py::make_tuple(angle, axis);
}

py::tuple boundaryPlane(const FloatArray& euler1, const FloatArray& euler2, const DoubleArray& normals,
                        std::int32_t code, int threads) {
    requireSymmetryCode(code);
    const py::ssize_t n = euler1.ndim() == 2 ? euler1.shape(0) : -1;
    for (const py::array* a : {static_cast<const py::array*>(&euler1), static_cast<const py::array*>(&euler2),
                               static_cast<const py::array*>(&normals)})
        if (a->ndim() != 2 || a->shape(1) != 3 || a->shape(0) != n)
            throw py::value_error("euler1, euler2 and normals must all have shape (N, 3)");
    DoubleArray angle(n), axis(Shape{n, 3}), plane(Shape{n, 3});
    py::array_t<std::int8_t> grain(n);
    const Const1ForCall set;
    shared(n, threads, [&](py::ssize_t first, py::ssize_t last) {
        std::array<orientation::Quaternion, block> qa, qb, r;
        std::array<std::uint8_t, block> g;
        const auto* in = reinterpret_cast<const orientation::Direction*>(normals.data());
        auto* out = reinterpret_cast<orientation::Direction*>(plane.mutable_data());
        for (; first < last; first += static_cast<py::ssize_t>(block)) {
            const auto count = static_cast<std::size_t>(std::min<py::ssize_t>(block, last - first));
            quaternions(euler1.data() + 3 * first, 3, count, qa.data());
            quaternions(euler2.data() + 3 * first, 3, count, qb.data());
            orientation::boundaryplane(qa.data(), qb.data(), in + first, count, code, r.data(), out + first,
                                       g.data());
            for (std::size_t k = 0; k < count; ++k) {
                const auto row = static_cast<std::size_t>(first) + k;
                const double size = std::sqrt(r[k][1] * r[k][1] + r[k][2] * r[k][2] + r[k][3] * r[k][3]);
                angle.mutable_data()[row] = 2.0 * std::atan2(size, r[k][0]);
                for (std::size_t i = 0; i < 3; ++i)
                    axis.mutable_data()[3 * row + i] = size > 0 ? r[k][i + 1] / size : (i == 2 ? 1.0 : 0.0);
                grain.mutable_data()[row] = static_cast<std::int8_t>(g[k]);
            }
        }
    });
    return py::make_tuple(angle, axis, plane, grain);
}

}  // namespace

void registerBoundaryPlane(py::module_& m) {
    m.def("fast_disorientation", &fastDisorientation, py::arg("a"), py::arg("b"), py::arg("code"),
          py::arg("threads") = 0,
          R"(The disorientation of disorientation(), from quaternions in double precision.

a, b: both (N, 3) Bunge Euler angles or both (N, 3, 3) matrices, as for
disorientation(), or both (N, 4) unit quaternions (w, x, y, z) of the
matrices read in the active sense, as etoq gives them; code: 1 tetragonal, 2 hexagonal, 3 cubic, 4 trigonal,
5 orthorhombic. Returns (angle, axis), float64 arrays (N,) and (N, 3): the
same angle and sector-reduced axis as disorientation() (which rounds through
single-precision matrices first), computed from the orientations'
quaternions; cubic pairs take a closed form from the sorted quaternion
components. threads: 0 for one share per core from 65,536 pairs up, else
the number of threads.)");
    m.def(
        "etoq",
        [](const FloatArray& euler) {
            if (euler.ndim() != 2 || euler.shape(1) != 3)
                throw py::value_error("euler must have shape (N, 3)");
            DoubleArray q(Shape{euler.shape(0), 4});
            quaternions(euler.data(), 3, static_cast<std::size_t>(euler.shape(0)),
                        reinterpret_cast<orientation::Quaternion*>(q.mutable_data()));
            return q;
        },
        py::arg("euler"),
        R"(Unit quaternions (N, 4), (w, x, y, z), of the Bunge angles euler (N, 3),
in double: the quaternion of etog's matrix g read in the active sense
(g v = q v q*), so that the product of matrices is that of quaternions.)");
    m.def("boundary_plane", &boundaryPlane, py::arg("euler1"), py::arg("euler2"), py::arg("normals"),
          py::arg("code"), py::arg("threads") = 0,
          R"(Disorientation and boundary-plane normal in the crystal frame, per face.

euler1, euler2: (N, 3) Bunge Euler angles of grains 1 and 2 (columns 0-2 and
3-5 of a record array); normals: (N, 3) face normals in the sample frame,
pointing from grain 1 into grain 2 (columns 6-8); code as for
disorientation().

Returns (angle, axis, plane, grain): angle (N,) and axis (N, 3), the
disorientation r (axis in the class's fundamental sector); plane (N, 3), the
unit plane normal in the crystal frame of the grain r is referred to, turned
by the same symmetry operator as that grain; grain (N,) int8, 1 or 2, that
grain. When it is grain 2 the normal is turned round, so that it always
points from the reference grain into the other. Writing a face the other way
round (grains exchanged, normal negated) gives the same result. float64;
computed in double precision.)");
}
