// triangle_tools.disorientation: the library's disorientation for every face
// of an array, from Euler angles or rotation matrices.

#include "python/core/disorientation_binding.hpp"

#include "python/core/const1_for_call.hpp"
#include "python/core/symmetry_code.hpp"

#include "orientation/orientation.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace py = pybind11;

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

// Pairs go through the library in blocks that stay in the cache.
constexpr py::ssize_t block = 512;

// Rows (N, 3) of Euler angles or (N, 3, 3) of numpy row-major matrices; 0 for neither.
int formOf(const FloatArray& a) {
    if (a.ndim() == 2 && a.shape(1) == 3) return 3;
    if (a.ndim() == 3 && a.shape(1) == 3 && a.shape(2) == 3) return 9;
    return 0;
}

void matrices(const float* in, int form, py::ssize_t count, orientation::Matrix3* out) {
    for (py::ssize_t k = 0; k < count; ++k, in += form) {
        if (form == 3) {
            orientation::etog({in[0], in[1], in[2]}, out[k]);
        } else {
            for (std::size_t i = 0; i < 3; ++i)
                for (std::size_t j = 0; j < 3; ++j) out[k][i + 3 * j] = in[3 * i + j];
        }
    }
}

// Pairs first to last - 1, in blocks that stay in the cache.
void disorientations(const float* a, const float* b, int form, std::int32_t code, py::ssize_t first,
                     py::ssize_t last, float* angle, float* axis) {
    std::array<orientation::Matrix3, block> ga, gb;
    std::array<orientation::Vector3, block> axes;
    for (; first < last; first += block) {
        const py::ssize_t count = std::min(block, last - first);
        const auto size = static_cast<std::size_t>(count);
        matrices(a + first * form, form, count, ga.data());
        matrices(b + first * form, form, count, gb.data());
        orientation::disorientation(ga.data(), gb.data(), size, code, angle + first, axes.data());
        std::memcpy(axis + 3 * first, axes.data(), sizeof(orientation::Vector3) * size);
    }
}

py::tuple disorientation(const FloatArray& a, const FloatArray& b, std::int32_t code) {
    requireSymmetryCode(code);
    const int form = formOf(a);
    if (form == 0 || formOf(b) != form || a.shape(0) != b.shape(0))
        throw py::value_error("a and b must both have shape (N, 3) (Euler angles) or (N, 3, 3) (matrices)");
    const py::ssize_t n = a.shape(0);
    FloatArray angle(n), axis(std::vector<py::ssize_t>{n, 3});
    const Const1ForCall set;  // the trigonal operators are built from pi
    // One share of the pairs per core, from 65536 pairs a share up.
    const py::ssize_t shares =
        std::clamp<py::ssize_t>(n / 65536, 1, std::max<py::ssize_t>(1, std::thread::hardware_concurrency()));
    {
        py::gil_scoped_release unlocked;
        std::vector<std::jthread> helpers;
        for (py::ssize_t share = 0; share < shares; ++share) {
            auto run = [&, first = n * share / shares, last = n * (share + 1) / shares] {
                disorientations(a.data(), b.data(), form, code, first, last, angle.mutable_data(),
                                axis.mutable_data());
            };
            if (share + 1 < shares)
                helpers.emplace_back(run);
            else
                run();
        }
    }
    return py::make_tuple(angle, axis);
}

}  // namespace

void registerDisorientation(py::module_& m) {
    m.def("disorientation", &disorientation, py::arg("a"), py::arg("b"), py::arg("code"),
          R"(Disorientation of the faces' two grains under the symmetry of a crystal class.

a, b: the two grains' orientations, both of shape (N, 3) (Bunge Euler
angles, as columns 0-2 and 3-5 of a record array) or both (N, 3, 3)
(matrices as etog gives them). code: 1 tetragonal, 2 hexagonal, 3 cubic,
4 trigonal, 5 orthorhombic.

Returns (angle, axis): float32 arrays of shape (N,) and (N, 3). angle is the
smallest rotation (radians) among all symmetrically equivalent
misorientations, either grain taken first; axis its unit axis in the crystal
frame, reduced to the class's fundamental sector (cubic: 0 <= x <= y <= z;
tetragonal: 0 <= y <= x, z >= 0; hexagonal: azimuth 0-30 degrees, z >= 0;
orthorhombic: x, y, z >= 0; trigonal: azimuth 0-120 degrees, z >= 0), so equal
boundaries give equal (angle, axis). Identical orientations give angle 0 and
axis (0, 0, 1). Computed in double precision.)");
}
