// fit_slope: the slope of velocity against curvature from the faces
// themselves, signed, as read_free gives them. Under v = M·κ + ε the weighted
// least-squares slope Σ w κ v / Σ w κ² is unbiased whatever the spread of ε
// does from face to face; its standard error is the sandwich (HC1) one, which
// holds when the spread varies, and the 95% interval is a bootstrap's.
//
// The bootstrap resamples groups of faces, not faces: face i goes to group
// i mod G (G = 4096, or one group per face below that), dealt in turn so that
// the groups are alike even when the faces come sorted. A fit depends on the
// faces through five weighted sums only, so a replicate adds the sums of G
// groups drawn with replacement and costs G steps however many faces there
// are. 10,000,000 faces take one pass to sum (two with an intercept, whose
// centre comes first) and one more for the standard error, about a second in
// all. Computed in double precision.

#include "python/core/slope_fit.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

using DoubleArray = py::array_t<double, py::array::forcecast>;

// A one-dimensional array of doubles as numpy lays it out (any stride).
struct Column {
    const char* data = nullptr;
    py::ssize_t stride = 0;
    explicit Column(const DoubleArray& a)
        : data(reinterpret_cast<const char*>(a.data())), stride(a.strides(0)) {}
    Column() = default;
    double operator()(py::ssize_t i) const {
        double value;
        std::memcpy(&value, data + i * stride, sizeof value);
        return value;
    }
};

constexpr std::size_t groupCount = 4096;

struct SlopeFit {
    double slope = 0, standardError = 0, low = 0, high = 0, intercept = 0;
    std::int64_t faces = 0;
};

// Weighted sums of a group of faces, the curvature x and the velocity y taken
// from a centre (x0, y0) so that nothing cancels when an intercept is fitted.
struct Sums {
    double w = 0, wx = 0, wy = 0, wxx = 0, wxy = 0;
    void add(const Sums& s) { w += s.w, wx += s.wx, wy += s.wy, wxx += s.wxx, wxy += s.wxy; }
    // The spread of x about its weighted mean (with an intercept) or about 0.
    double spread(bool intercept) const { return intercept ? wxx - wx * wx / w : wxx; }
    double slope(bool intercept) const { return intercept ? (wxy - wx * wy / w) / spread(true) : wxy / wxx; }
};

// The faces, their optional weights (1 without) and the centre of x and y.
struct Faces {
    Column x, y, weights;  // weights.data null: all 1
    py::ssize_t n;
    double x0 = 0, y0 = 0;
    double weight(py::ssize_t i) const { return weights.data ? weights(i) : 1.0; }
};

// The first face whose values cannot enter a fit, as a message; empty when none.
std::string firstBadFace(const Faces& f) {
    for (py::ssize_t i = 0; i < f.n; ++i) {
        if (!std::isfinite(f.x(i))) return "curvature[" + std::to_string(i) + "] is not a finite number";
        if (!std::isfinite(f.y(i))) return "velocity[" + std::to_string(i) + "] is not a finite number";
        if (!(f.weight(i) >= 0 && std::isfinite(f.weight(i))))
            return "weights[" + std::to_string(i) + "] is not a finite number >= 0";
    }
    return {};
}

// Percentile p of sorted values, interpolated between neighbours.
double percentile(const std::vector<double>& sorted, double p) {
    const double at = p * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(at);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (at - static_cast<double>(below)) * (sorted[above] - sorted[below]);
}

SlopeFit fit(Faces& f, bool intercept, std::int64_t nBoot, std::uint64_t seed) {
    if (intercept) {  // the weighted means, as the centre
        Sums all;
        for (py::ssize_t i = 0; i < f.n; ++i)
            all.add({f.weight(i), f.weight(i) * f.x(i), f.weight(i) * f.y(i)});
        f.x0 = all.wx / all.w, f.y0 = all.wy / all.w;
    }
    const std::size_t groups = std::min(groupCount, static_cast<std::size_t>(f.n));
    std::vector<Sums> group(groups);
    for (py::ssize_t i = 0; i < f.n;) {
        for (std::size_t g = 0; g < groups && i < f.n; ++g, ++i) {
            const double w = f.weight(i), x = f.x(i) - f.x0, y = f.y(i) - f.y0;
            group[g].add({w, w * x, w * y, w * x * x, w * x * y});
        }
    }
    Sums total;
    for (const Sums& s : group) total.add(s);
    const double spread = total.spread(intercept);
    if (!(spread > 0))
        throw py::value_error("fit_slope: the curvatures have no spread (weighted); nothing to fit");

    SlopeFit result;
    result.faces = f.n;
    result.slope = total.slope(intercept);
    const double level =
        intercept ? (total.wy - result.slope * total.wx) / total.w : 0.0;  // about the centre
    result.intercept = intercept ? level + f.y0 - result.slope * f.x0 : 0.0;

    // Sandwich: each face's share of the slope's error is w·x·residual / spread
    // (with an intercept, x is measured from its weighted mean already).
    double shares = 0;
    py::ssize_t weighted = 0;
    for (py::ssize_t i = 0; i < f.n; ++i) {
        const double x = f.x(i) - f.x0, residual = f.y(i) - f.y0 - level - result.slope * x;
        const double share = f.weight(i) * x * residual;
        shares += share * share;
        weighted += f.weight(i) > 0;
    }
    const auto parameters = intercept ? 2 : 1;
    result.standardError =
        weighted > parameters
            ? std::sqrt(shares * static_cast<double>(weighted) / static_cast<double>(weighted - parameters)) /
                  spread
            : NAN;

    std::mt19937_64 random(seed);
    std::vector<double> slopes;
    slopes.reserve(static_cast<std::size_t>(nBoot));
    for (std::int64_t b = 0; b < nBoot; ++b) {
        Sums drawn;
        for (std::size_t k = 0; k < groups; ++k)
            drawn.add(group[static_cast<std::size_t>(static_cast<double>(random() >> 11) * 0x1p-53 *
                                                     static_cast<double>(groups))]);
        const double slope = drawn.slope(intercept);
        if (std::isfinite(slope)) slopes.push_back(slope);  // a draw without spread has none
    }
    std::sort(slopes.begin(), slopes.end());
    result.low = slopes.empty() ? NAN : percentile(slopes, 0.025);
    result.high = slopes.empty() ? NAN : percentile(slopes, 0.975);
    return result;
}

DoubleArray column(const py::handle& values, const char* name, py::ssize_t n) {
    DoubleArray a = DoubleArray::ensure(values);
    if (!a) throw py::error_already_set();
    if (a.ndim() != 1 || (n >= 0 && a.shape(0) != n))
        throw py::value_error(std::string("fit_slope: ") + name + " must be one-dimensional" +
                              (n >= 0 ? ", as long as curvature (" + std::to_string(n) + ")" : ""));
    return a;
}

SlopeFit fitSlope(const py::object& curvature, const py::object& velocity, const py::object& weights,
                  bool intercept, std::int64_t nBoot, std::uint64_t seed) {
    const DoubleArray x = column(curvature, "curvature", -1);
    const py::ssize_t n = x.shape(0);
    const DoubleArray y = column(velocity, "velocity", n);
    const DoubleArray w = weights.is_none() ? DoubleArray() : column(weights, "weights", n);
    if (n == 0) throw py::value_error("fit_slope: no faces");
    if (nBoot < 1) throw py::value_error("fit_slope: n_boot must be at least 1");
    Faces faces{Column(x), Column(y), weights.is_none() ? Column() : Column(w), n};
    std::string bad;
    {
        py::gil_scoped_release unlocked;
        bad = firstBadFace(faces);
        if (bad.empty()) return fit(faces, intercept, nBoot, seed);
    }
    throw py::value_error("fit_slope: " + bad);
}

}  // namespace

void registerSlopeFit(py::module_& m) {
    py::class_<SlopeFit>(m, "SlopeFit", "The result of fit_slope.")
        .def_readonly("slope", &SlopeFit::slope, "the fitted slope M of v = M·κ (+ intercept)")
        .def_readonly("stderr", &SlopeFit::standardError, "its standard error (sandwich, HC1)")
        .def_readonly("low", &SlopeFit::low, "the 95% bootstrap interval's lower end")
        .def_readonly("high", &SlopeFit::high, "the 95% bootstrap interval's upper end")
        .def_readonly("intercept", &SlopeFit::intercept, "the fitted intercept, 0 without one")
        .def_readonly("faces", &SlopeFit::faces, "the number of faces fitted")
        .def("__repr__", [](const SlopeFit& r) {
            return py::str("SlopeFit(slope={}, stderr={}, low={}, high={}, intercept={}, faces={})")
                .format(r.slope, r.standardError, r.low, r.high, r.intercept, r.faces);
        });
    m.def("fit_slope", &fitSlope, py::arg("curvature"), py::arg("velocity"), py::arg("weights") = py::none(),
          py::arg("intercept") = false, py::arg("n_boot") = 2000, py::arg("seed") = 0,
          R"(Fits v = slope·κ (+ intercept) to the faces by weighted least squares.

The kernel of triangle_tools.fit_slope, which drops NaN faces with a warning,
warns when a handful of faces decides, and returns a SlopeResult; call that.

curvature, velocity: the signed values of each face, as read_free gives them
(columns 10 and 11); weights: one value >= 0 per face (the area, column 9),
or None for equal weights; intercept: fit one too (else the line goes through
0). Values are taken in double precision; a NaN or an infinity raises
ValueError naming the face.

Returns a SlopeFit: slope; stderr, the sandwich standard error, which holds
when the velocity's scatter varies from face to face; low and high, the 95%
interval from n_boot bootstrap resamples (the faces are dealt in turn to 4096
groups, which are resampled), the same for the same seed; intercept (0.0
without one); faces.)");
}
