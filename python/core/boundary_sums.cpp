// BoundarySums: faces grouped into boundaries, with the sums each boundary
// needs, in double precision.
//
// A boundary is the unordered pair of the two grains' orientation triples as
// read (columns 0-2 and 3-5 of a record), compared bit for bit, except that
// -0.0 is taken as +0.0 (the same angle written with a sign). Its own order
// puts the lexicographically smaller triple (phi1, then Phi, then phi2) first;
// a face written the other way round has its normal, curvature and velocity
// negated on the way in, so nothing depends on which order a file uses. A face
// whose two triples are equal keeps its values as written.
//
// Faces that cannot be grouped are counted, not summed: an orientation value
// that is NaN or infinite (it names no grain), or a NaN or infinite normal,
// area, curvature or velocity (it would make the boundary's sums NaN).
//
// The accumulator is fed in chunks (add) and merged with others (merge) in
// any order and grouping; it holds one entry per boundary in an open-addressed
// hash table keyed by the six values' bits, so its memory is linear in the
// number of boundaries, not of faces.

#include "python/core/boundary_sums.hpp"

#include "common/triangle_data.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;
using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using CountArray = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;

constexpr py::ssize_t recordWidth = triangle::recordValueCount;

// The sums kept per boundary, in this order; the names are the Python ones.
enum Sum : std::size_t {
    area,
    areaCurvature,
    areaVelocity,
    areaNormalX,
    areaNormalY,
    areaNormalZ,
    curvatureSquared,
    curvatureVelocity,
    areaCurvatureSquared,
    areaCurvatureVelocity,
    sumCount
};
constexpr std::array<const char*, sumCount> sumNames{"area",
                                                     "area_curvature",
                                                     "area_velocity",
                                                     "area_normal_x",
                                                     "area_normal_y",
                                                     "area_normal_z",
                                                     "curvature_squared",
                                                     "curvature_velocity",
                                                     "area_curvature_squared",
                                                     "area_curvature_velocity"};

using Key = std::array<std::uint32_t, 6>;
using Sums = std::array<double, sumCount>;

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits == 0x80000000u ? 0u : bits;  // -0.0 is +0.0
}

float valueOf(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool finite(float value) {
    return (bitsOf(value) & 0x7f800000u) != 0x7f800000u;
}

// -1, 0 or 1 as triple a (values a[0..2]) sorts before, with or after b.
int compareTriples(const float* a, const float* b) {
    for (int k = 0; k < 3; ++k) {
        if (a[k] < b[k]) return -1;
        if (b[k] < a[k]) return 1;
    }
    return 0;
}

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 33);
}

std::uint64_t hashOf(const Key& key) {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (std::size_t k = 0; k < key.size(); k += 2)
        h = mix(h ^ (static_cast<std::uint64_t>(key[k]) << 32 | key[k + 1]));
    return h;
}

// One boundary: its key and its sums, together so that a face touches one
// place (two cache lines).
struct Entry {
    Key key;
    std::int64_t faces = 0;
    Sums sums{};
};

// A face made ready to be summed: its boundary's key and hash, and the sign
// that brings it to the boundary's order; null row for a face left out.
struct Prepared {
    const float* row = nullptr;
    Key key;
    std::uint64_t hash = 0;
    double sign = 1;
};

class BoundarySums {
public:
    // Adds the faces of one chunk, a record array of shape (n, 12).
    void add(const FloatArray& faces) {
        if (faces.ndim() != 2 || faces.shape(1) != recordWidth)
            throw py::value_error("faces must have shape (n, 12), got " + std::to_string(faces.ndim()) +
                                  " dimensions");
        const float* data = faces.data();
        const py::ssize_t n = faces.shape(0);
        py::gil_scoped_release unlocked;
        // Faces go in blocks: their slots are fetched while the block is
        // prepared and their entries while it is looked up, so the cache
        // misses of a block overlap instead of following one another.
        std::array<Prepared, block> ready;
        for (py::ssize_t first = 0; first < n; first += block) {
            const auto count = static_cast<std::size_t>(std::min<py::ssize_t>(block, n - first));
            for (std::size_t k = 0; k < count; ++k) {
                ready[k] = prepare(data + (first + static_cast<py::ssize_t>(k)) * recordWidth);
                if (ready[k].row && !slots_.empty())
                    __builtin_prefetch(&slots_[ready[k].hash & (slots_.size() - 1)]);
            }
            for (std::size_t k = 0; k < count && !slots_.empty(); ++k) {
                const std::uint32_t held = slots_[ready[k].hash & (slots_.size() - 1)];
                if (ready[k].row && held != 0) {
                    __builtin_prefetch(&entries_[held - 1]);
                    __builtin_prefetch(reinterpret_cast<const char*>(&entries_[held - 1]) + 64);
                }
            }
            for (std::size_t k = 0; k < count; ++k)
                if (ready[k].row) addFace(ready[k]);
        }
    }

    // Adds another accumulator's boundaries and counts to this one.
    void merge(const BoundarySums& other) {
        if (&other == this) throw py::value_error("cannot merge a BoundarySums with itself");
        for (const Entry& e : other.entries_) {
            Entry& mine = entries_[entry(e.key, hashOf(e.key))];
            mine.faces += e.faces;
            for (std::size_t s = 0; s < sumCount; ++s) mine.sums[s] += e.sums[s];
        }
        badOrientation_ += other.badOrientation_;
        badValues_ += other.badValues_;
        sameGrain_ += other.sameGrain_;
    }

    // (grains, faces, sums), boundaries sorted by their six values: float32
    // (B, 6), int64 (B,), float64 (B, 10).
    py::tuple arrays() const {
        const std::size_t count = entries_.size();
        std::vector<std::size_t> order(count);
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            for (std::size_t k = 0; k < 6; ++k) {
                const float x = valueOf(entries_[a].key[k]), y = valueOf(entries_[b].key[k]);
                if (x != y) return x < y;
            }
            return false;
        });
        const auto rows = static_cast<py::ssize_t>(count);
        FloatArray grains(std::vector<py::ssize_t>{rows, 6});
        CountArray faces(rows);
        DoubleArray sums(std::vector<py::ssize_t>{rows, static_cast<py::ssize_t>(sumCount)});
        for (std::size_t r = 0; r < count; ++r) {
            const Entry& e = entries_[order[r]];
            for (std::size_t k = 0; k < 6; ++k) grains.mutable_data()[6 * r + k] = valueOf(e.key[k]);
            faces.mutable_data()[r] = e.faces;
            std::copy(e.sums.begin(), e.sums.end(), sums.mutable_data() + sumCount * r);
        }
        return py::make_tuple(grains, faces, sums);
    }

    py::tuple state() const { return py::make_tuple(arrays(), badOrientation_, badValues_, sameGrain_); }

    static BoundarySums fromState(const py::tuple& state) {
        BoundarySums result;
        const auto parts = state[0].cast<py::tuple>();
        const auto grains = parts[0].cast<FloatArray>();
        const auto faces = parts[1].cast<CountArray>();
        const auto sums = parts[2].cast<DoubleArray>();
        const py::ssize_t rows = faces.shape(0);
        if (grains.ndim() != 2 || grains.shape(0) != rows || grains.shape(1) != 6 || sums.ndim() != 2 ||
            sums.shape(0) != rows || sums.shape(1) != static_cast<py::ssize_t>(sumCount))
            throw py::value_error("not the state of a BoundarySums");
        for (py::ssize_t r = 0; r < rows; ++r) {
            Key key;
            for (std::size_t k = 0; k < 6; ++k) key[k] = bitsOf(grains.data()[6 * r + k]);
            Entry& e = result.entries_[result.entry(key, hashOf(key))];
            e.faces = faces.data()[r];
            std::copy_n(sums.data() + sumCount * r, sumCount, e.sums.begin());
        }
        result.badOrientation_ = state[1].cast<std::int64_t>();
        result.badValues_ = state[2].cast<std::int64_t>();
        result.sameGrain_ = state[3].cast<std::int64_t>();
        return result;
    }

    std::size_t size() const { return entries_.size(); }
    std::int64_t badOrientation() const { return badOrientation_; }
    std::int64_t badValues() const { return badValues_; }
    std::int64_t sameGrain() const { return sameGrain_; }
    std::int64_t faceCount() const {
        std::int64_t total = 0;
        for (const Entry& e : entries_) total += e.faces;
        return total;
    }

private:
    static constexpr std::size_t block = 64;

    // The face's key, hash and sign; a null row (and a count) for a face left out.
    Prepared prepare(const float* v) {
        Prepared p;
        for (int k = 0; k < 6; ++k)
            if (!finite(v[k])) {
                ++badOrientation_;
                return p;
            }
        for (int k = 6; k < 12; ++k)
            if (!finite(v[k])) {
                ++badValues_;
                return p;
            }
        const int order = compareTriples(v, v + 3);
        const float* first = order > 0 ? v + 3 : v;
        const float* second = order > 0 ? v : v + 3;
        sameGrain_ += order == 0;
        for (int k = 0; k < 3; ++k) p.key[k] = bitsOf(first[k]), p.key[k + 3] = bitsOf(second[k]);
        p.row = v;
        p.hash = hashOf(p.key);
        p.sign = order > 0 ? -1.0 : 1.0;
        return p;
    }

    void addFace(const Prepared& p) {
        // Faces of one boundary often come together: the last entry is tried first.
        const std::size_t at =
            (last_ < entries_.size() && entries_[last_].key == p.key) ? last_ : entry(p.key, p.hash);
        last_ = at;
        const float* v = p.row;
        const double sign = p.sign, a = v[9], curvature = sign * v[10], velocity = sign * v[11];
        Entry& e = entries_[at];
        Sums& s = e.sums;
        ++e.faces;
        s[area] += a;
        s[areaCurvature] += a * curvature;
        s[areaVelocity] += a * velocity;
        s[areaNormalX] += a * sign * v[6];
        s[areaNormalY] += a * sign * v[7];
        s[areaNormalZ] += a * sign * v[8];
        s[curvatureSquared] += curvature * curvature;
        s[curvatureVelocity] += curvature * velocity;
        s[areaCurvatureSquared] += a * curvature * curvature;
        s[areaCurvatureVelocity] += a * curvature * velocity;
    }

    // The entry of a boundary, made (zero) when new.
    std::size_t entry(const Key& key, std::uint64_t hash) {
        if (2 * (entries_.size() + 1) > slots_.size()) grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const std::uint32_t held = slots_[slot];
            if (held == 0) {
                entries_.push_back({key});
                slots_[slot] = static_cast<std::uint32_t>(entries_.size());
                return entries_.size() - 1;
            }
            if (entries_[held - 1].key == key) return held - 1;
        }
    }

    // Doubles the table (at least 1024 slots) and places every entry anew.
    void grow() {
        slots_.assign(std::max<std::size_t>(1024, 2 * slots_.size()), 0);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t b = 0; b < entries_.size(); ++b) {
            std::size_t slot = hashOf(entries_[b].key) & mask;
            while (slots_[slot] != 0) slot = (slot + 1) & mask;
            slots_[slot] = static_cast<std::uint32_t>(b + 1);
        }
    }

    std::vector<std::uint32_t> slots_;  // 0 empty, else entry + 1
    std::vector<Entry> entries_;
    std::size_t last_ = 0;
    std::int64_t badOrientation_ = 0, badValues_ = 0, sameGrain_ = 0;
};

}  // namespace

void registerBoundarySums(py::module_& m) {
    py::tuple names(static_cast<py::size_t>(sumCount));
    for (std::size_t s = 0; s < sumCount; ++s) names[s] = py::str(sumNames[s]);
    py::class_<BoundarySums>(m, "BoundarySums",
                             R"(Faces grouped into grain boundaries, with per-boundary sums.

A boundary is the unordered pair of the two grains' Euler-angle triples
(columns 0-2 and 3-5 of a record array) as read, compared bit for bit, with
-0.0 taken as +0.0. Its order puts the lexicographically smaller triple first;
a face written with its grains the other way round enters with its normal
(6-8), curvature (10) and velocity (11) negated. Faces with a NaN or infinite
orientation value (bad_orientation) or a NaN or infinite normal, area,
curvature or velocity (bad_values) are counted and left out; faces whose two
triples are equal (same_grain) are summed as written.

Fed in chunks by add(faces) and combined by merge(other), in any order:
the sums are those of one pass over all faces (up to the order of the
additions in double precision). Picklable. Memory is one entry per
boundary. arrays() gives (grains, faces, sums), sorted by grains; the
columns of sums are named by BoundarySums.columns.)")
        .def(py::init<>())
        .def("add", &BoundarySums::add, py::arg("faces"),
             "Adds the faces of a float32 record array of shape (n, 12).")
        .def("merge", &BoundarySums::merge, py::arg("other"),
             "Adds another BoundarySums's boundaries and counts to this one.")
        .def("arrays", &BoundarySums::arrays,
             R"(Returns (grains, faces, sums), one row per boundary, sorted by grains.

grains: float32 (B, 6), the first grain's triple then the second's, in the
boundary's order; faces: int64 (B,); sums: float64 (B, 10), the columns named
by BoundarySums.columns (area, area-weighted curvature, velocity and normal,
and the curvature products of the per-face fit, plain and area-weighted).)")
        .def("__len__", &BoundarySums::size)
        .def_property_readonly("faces", &BoundarySums::faceCount, "faces summed")
        .def_property_readonly("bad_orientation", &BoundarySums::badOrientation,
                               "faces left out for a NaN or infinite orientation value")
        .def_property_readonly("bad_values", &BoundarySums::badValues,
                               "faces left out for a NaN or infinite normal, area, curvature or velocity")
        .def_property_readonly("same_grain", &BoundarySums::sameGrain,
                               "faces whose two triples are equal, summed as written")
        .def(py::pickle([](const BoundarySums& b) { return b.state(); },
                        [](const py::tuple& state) { return BoundarySums::fromState(state); }))
        .attr("columns") = names;
}
