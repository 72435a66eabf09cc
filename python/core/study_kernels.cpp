// A study reads many raw files, one step each, and reduces each to a small
// state that merges exactly with the others. Three kernels:
//
// KeptFaceReader reads one raw file as dremmick does (the line-count and
// header passes, then one free-form record per data line with the programs'
// reader) and hands out the faces dremmick keeps, signed as read, in chunks
// of float32 rows; memory holds one read block and one chunk whatever the
// file's size. It counts what it drops under dremmick's names.
//
// BinState holds per bin of quorvel (its bin rule, in single precision, on
// the absolute curvature) the count, the sums of |curvature| and |velocity|
// and the sum of squared deviations of |velocity| from the bin's mean; a
// chunk is summed in two passes (the chunk is in memory), then folded in by
// the pairwise update of Chan, Golub and LeVeque.
//
// FitState holds what the per-face fit through the origin (fit_slope without
// an intercept) needs: Σwκ², Σwκv; for the sandwich, Σ(wκr)², Σ(wκr)(wκ²) and
// Σ(wκ²)² with the residual r = v − aκ about an anchor slope a, so that moving
// to another slope b is exact algebra (r' = r + (a − b)κ) and nothing cancels
// once a is near the slope; and the bootstrap's 4096 groups (face i to group
// i mod 4096, rotated by the faces ahead when states are joined, as
// fit_slope deals the faces of the concatenated steps).
//
// Every sum is compensated (Neumaier), so a merged state equals one pass over
// all the faces to rounding, whatever the grouping. Computed in double.

#include "python/core/study_kernels.hpp"

#include "common/data_file.hpp"
#include "common/free_form.hpp"
#include "common/free_record.hpp"
#include "common/run_error.hpp"
#include "dremmick/filtering.hpp"
#include "quorvel/binning.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace py = pybind11;

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;
constexpr std::size_t width = triangle::recordValueCount;
constexpr std::size_t areaColumn = 9, curvatureColumn = 10, velocityColumn = 11;

// Neumaier's compensated sum: the rounding error of each addition is kept
// aside and added back at the end.
struct CompensatedSum {
    double sum = 0, carry = 0;
    void add(double x) {
        const double t = sum + x;
        carry += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
    void add(const CompensatedSum& other) {
        add(other.sum);
        carry += other.carry;
    }
    double value() const { return sum + carry; }
};

// The rows of a chunk of faces, shape (n, 12).
std::size_t chunkRows(const FloatArray& faces) {
    if (faces.ndim() != 2 || faces.shape(1) != static_cast<py::ssize_t>(width))
        throw py::value_error("faces must have shape (n, 12)");
    return static_cast<std::size_t>(faces.shape(0));
}

// The state's bytes, for pickling: the states are trivially copyable.
template <class State>
py::bytes bytesOf(const State& state) {
    static_assert(std::is_trivially_copyable_v<State>);
    return py::bytes(reinterpret_cast<const char*>(&state), sizeof state);
}

template <class State>
State fromBytes(const py::bytes& bytes) {
    const std::string text = bytes;
    if (text.size() != sizeof(State)) throw py::value_error("not a pickled state of this build");
    State state;
    std::memcpy(&state, text.data(), sizeof state);
    return state;
}

// ------------------------------------------------------------------ reader

class KeptFaceReader {
public:
    KeptFaceReader(const std::string& path, float curvatureLimit, float velocityLimit, std::size_t chunk,
                   bool finiteArea)
        : curvatureLimit_(curvatureLimit),
          velocityLimit_(velocityLimit),
          chunk_(std::max<std::size_t>(chunk, 1)),
          finiteArea_(finiteArea) {
        py::gil_scoped_release unlocked;
        file_.path = path;
        file_.countLines();
        file_.measureHeader();
        file_.openAtFirstDataLine();
        left_ = file_.dataLineCount();
        reader_.emplace(file_.in);
        if (left_ == 0) file_.in.close();
    }

    // The next chunk of kept faces, float32 (n, 12), signed as read; None at
    // the end of the file.
    py::object next() {
        buffer_.resize(chunk_ * width);
        std::size_t rows = 0;
        {
            py::gil_scoped_release unlocked;
            rows = fill();
        }
        if (rows == 0) return py::none();
        FloatArray faces({static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(width)});
        std::memcpy(faces.mutable_data(), buffer_.data(), rows * width * sizeof(float));
        return faces;
    }

    py::dict counts() const {
        py::dict counts;
        counts["lines"] = file_.dataLineCount();
        counts["kept"] = kept_;
        counts["high_val"] = tally_.highCurvatureCount;
        counts["high_vel"] = tally_.highVelocityCount;
        counts["blank"] = tally_.blankCount;
        return counts;
    }

private:
    std::size_t fill() {
        std::size_t rows = 0;
        while (rows < chunk_ && left_ > 0) {
            triangle::FreeRecordLines at;
            triangle::TriangleRecord record;
            const bool read = reader_->read(record, &at);  // false at blank lines that end the file
            if (!read) left_ = 1;
            if (--left_ == 0) file_.in.close();
            if (!read) break;
            triangle::TriangleRecord judged = record;
            dremmick::takeAbsoluteValues(judged);
            const dremmick::Verdict verdict = dremmick::judge(judged, curvatureLimit_, velocityLimit_);
            if (verdict != dremmick::Verdict::keep) {
                dremmick::count(tally_, verdict);
                continue;
            }
            requireFinite(record, at.first);
            std::memcpy(buffer_.data() + rows * width, record.values.data(), sizeof record.values);
            ++rows;
            ++kept_;
        }
        return rows;
    }

    // A kept face whose curvature or velocity (or area, when it weighs the
    // fit) is NaN or infinite would make its bin and the fit NaN: the step fails.
    void requireFinite(const triangle::TriangleRecord& record, std::int64_t line) const {
        const auto check = [&](std::size_t column, const char* what) {
            const float value = record.values[column];
            if (std::isfinite(value)) return;
            triangle::failExpected(file_.path, line, std::string("a finite ") + what,
                                   std::isnan(value) ? "NaN"
                                   : value > 0       ? "infinity"
                                                     : "-infinity",
                                   "value " + std::to_string(column + 1) + " of 12");
        };
        check(curvatureColumn, "curvature");
        check(velocityColumn, "velocity");
        if (finiteArea_) check(areaColumn, "area (it weighs the fit)");
    }

    float curvatureLimit_, velocityLimit_;
    std::size_t chunk_;
    bool finiteArea_;
    triangle::DataFile file_;
    std::optional<triangle::FreeRecordReader> reader_;
    std::int32_t left_ = 0;
    std::int64_t kept_ = 0;
    dremmick::FilterTally tally_;
    std::vector<float> buffer_;
};

// -------------------------------------------------------------------- bins

struct BinMoments {
    std::int64_t count = 0;
    CompensatedSum curvature, velocity, squaredDeviation;  // of the absolute values

    double meanVelocity() const { return velocity.value() / static_cast<double>(count); }

    // The pairwise update: the squared deviations of the union are the two
    // parts' plus δ²·na·nb/n, δ the difference of their means.
    void merge(const BinMoments& other) {
        if (other.count == 0) return;
        if (count == 0) {
            *this = other;
            return;
        }
        const double na = static_cast<double>(count), nb = static_cast<double>(other.count);
        const double delta = other.meanVelocity() - meanVelocity();
        squaredDeviation.add(other.squaredDeviation);
        squaredDeviation.add(delta * delta * (na * nb / (na + nb)));
        curvature.add(other.curvature);
        velocity.add(other.velocity);
        count += other.count;
    }
};

struct BinState {
    std::array<BinMoments, quorvel::binCount> bins{};

    void add(const float* faces, std::size_t n) {
        std::vector<std::uint8_t> binOf(n);
        BinState chunk;
        for (std::size_t i = 0; i < n; ++i) {
            const float c = std::fabs(faces[i * width + curvatureColumn]);
            const float v = std::fabs(faces[i * width + velocityColumn]);
            binOf[i] = static_cast<std::uint8_t>(quorvel::binNumber(c) - 1);
            BinMoments& bin = chunk.bins[binOf[i]];
            ++bin.count;
            bin.curvature.add(c);
            bin.velocity.add(v);
        }
        std::array<double, quorvel::binCount> mean{};
        for (std::size_t b = 0; b < mean.size(); ++b)
            if (chunk.bins[b].count > 0) mean[b] = chunk.bins[b].meanVelocity();
        for (std::size_t i = 0; i < n; ++i) {
            const double d =
                static_cast<double>(std::fabs(faces[i * width + velocityColumn])) - mean[binOf[i]];
            chunk.bins[binOf[i]].squaredDeviation.add(d * d);
        }
        merge(chunk);
    }

    void merge(const BinState& other) {
        for (std::size_t b = 0; b < bins.size(); ++b) bins[b].merge(other.bins[b]);
    }
};

// --------------------------------------------------------------------- fit

constexpr std::size_t groupCount = 4096;  // as fit_slope deals its faces

// The sandwich's sums about an anchor slope.
struct Residuals {
    double anchor = 0;
    CompensatedSum shares, cross, fourth;  // Σ(wκr)², Σ(wκr)(wκ²), Σ(wκ²)²

    void shiftTo(double slope) {
        const double d = anchor - slope, q = cross.value(), s4 = fourth.value();
        shares.add(2 * d * q);
        shares.add(d * d * s4);
        cross.add(d * s4);
        anchor = slope;
    }
    void add(Residuals other) {
        other.shiftTo(anchor);
        shares.add(other.shares);
        cross.add(other.cross);
        fourth.add(other.fourth);
    }
};

struct FitResult {
    double slope = NAN, standardError = NAN, low = NAN, high = NAN;
    std::int64_t faces = 0;
};

// Percentile p of sorted values, interpolated between neighbours.
double percentile(const std::vector<double>& sorted, double p) {
    const double at = p * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(at);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (at - static_cast<double>(below)) * (sorted[above] - sorted[below]);
}

struct FitState {
    std::int64_t areaWeights = 0;  // the weight of a face is its |area|, else 1
    std::int64_t faces = 0, weighted = 0;
    CompensatedSum xx, xy;  // Σwκ², Σwκv
    Residuals residuals;
    std::array<double, groupCount> groupXX{}, groupXY{};

    double slope() const { return xx.value() > 0 ? xy.value() / xx.value() : NAN; }

    void add(const float* rows, std::size_t n) {
        const auto face = [&](std::size_t i, double& w, double& x, double& y) {
            const float* f = rows + i * width;
            w = areaWeights ? std::fabs(static_cast<double>(f[areaColumn])) : 1.0;
            x = f[curvatureColumn], y = f[velocityColumn];
        };
        FitState chunk;  // its sums only: the groups are filled here
        for (std::size_t i = 0; i < n; ++i) {
            double w, x, y;
            face(i, w, x, y);
            chunk.xx.add(w * x * x);
            chunk.xy.add(w * x * y);
            chunk.weighted += w > 0;
            const std::size_t g = (static_cast<std::size_t>(faces) + i) % groupCount;
            groupXX[g] += w * x * x;
            groupXY[g] += w * x * y;
        }
        const double anchor = chunk.xx.value() > 0 ? chunk.xy.value() / chunk.xx.value() : 0.0;
        chunk.residuals.anchor = anchor;
        for (std::size_t i = 0; i < n; ++i) {
            double w, x, y;
            face(i, w, x, y);
            const double share = w * x * (y - anchor * x), square = w * x * x;
            chunk.residuals.shares.add(share * share);
            chunk.residuals.cross.add(share * square);
            chunk.residuals.fourth.add(square * square);
        }
        chunk.faces = static_cast<std::int64_t>(n);
        joinSums(chunk);
    }

    // Folds in the faces of `other`, which come after these.
    void merge(const FitState& other) {
        if (other.areaWeights != areaWeights) throw py::value_error("fit states of different weights");
        const std::size_t used = std::min<std::size_t>(groupCount, static_cast<std::size_t>(other.faces));
        for (std::size_t j = 0; j < used; ++j) {
            const std::size_t g = (static_cast<std::size_t>(faces) + j) % groupCount;
            groupXX[g] += other.groupXX[j];
            groupXY[g] += other.groupXY[j];
        }
        joinSums(other);
    }

    FitResult result(std::int64_t nBoot, std::uint64_t seed) const {
        FitResult r;
        r.faces = faces;
        if (!(xx.value() > 0)) return r;
        r.slope = slope();
        Residuals at = residuals;
        at.shiftTo(r.slope);
        const double m = static_cast<double>(weighted);
        if (weighted > 1)
            r.standardError = std::sqrt(std::max(at.shares.value(), 0.0) * m / (m - 1)) / xx.value();
        // fit_slope's bootstrap: G groups drawn with replacement, G = min(4096, faces).
        const auto groups = std::min<std::size_t>(groupCount, static_cast<std::size_t>(faces));
        std::mt19937_64 random(seed);
        std::vector<double> slopes;
        slopes.reserve(static_cast<std::size_t>(nBoot));
        for (std::int64_t b = 0; b < nBoot; ++b) {
            double drawnXX = 0, drawnXY = 0;
            for (std::size_t k = 0; k < groups; ++k) {
                const auto g = static_cast<std::size_t>(static_cast<double>(random() >> 11) * 0x1p-53 *
                                                        static_cast<double>(groups));
                drawnXX += groupXX[g];
                drawnXY += groupXY[g];
            }
            const double slope = drawnXY / drawnXX;
            if (std::isfinite(slope)) slopes.push_back(slope);
        }
        std::sort(slopes.begin(), slopes.end());
        if (!slopes.empty()) r.low = percentile(slopes, 0.025), r.high = percentile(slopes, 0.975);
        return r;
    }

private:
    void joinSums(const FitState& other) {
        if (other.faces == 0) return;
        const bool first = faces == 0;
        faces += other.faces;
        weighted += other.weighted;
        xx.add(other.xx);
        xy.add(other.xy);
        if (first) {
            residuals = other.residuals;
            return;
        }
        // Both parts move to the joint slope (or stay where they are without one).
        if (xx.value() > 0) residuals.shiftTo(xy.value() / xx.value());
        residuals.add(other.residuals);
    }
};

FitState newFitState(bool areaWeights) {
    FitState state;
    state.areaWeights = areaWeights;
    return state;
}

}  // namespace

void registerStudyKernels(py::module_& m) {
    py::class_<KeptFaceReader>(m, "KeptFaceReader", R"(The faces of one raw file that dremmick keeps.

KeptFaceReader(path, curvature_limit, velocity_limit, chunk=65536,
finite_area=False) opens the file as dremmick does (line count, header
block) and reads one free-form record per data line. next() returns the next
chunk of at most `chunk` kept faces, float32 (n, 12), signed as read, or None
at the end; a face is dropped when it is blank (values 1-3 or 4-6 all zero)
or when its absolute curvature or velocity is greater than its limit (a value
equal to its limit is kept; use inf for no limit). counts() gives lines,
kept, high_val, high_vel and blank. A kept face with a NaN or infinite
curvature or velocity (or area, with finite_area) raises ValueError naming
its line, as a value that cannot be read does.)")
        .def(py::init<const std::string&, float, float, std::size_t, bool>(), py::arg("path"),
             py::arg("curvature_limit"), py::arg("velocity_limit"), py::arg("chunk") = 65536,
             py::arg("finite_area") = false)
        .def("next", &KeptFaceReader::next)
        .def("counts", &KeptFaceReader::counts);

    py::class_<BinState>(m, "BinState", R"(Per bin of quorvel's 200 (by absolute curvature, its rule in
single precision): count, mean |curvature|, mean |velocity| and the sum of
squared deviations of |velocity|, in double, mergeable exactly.)")
        .def(py::init<>())
        .def(
            "add",
            [](BinState& s, const FloatArray& faces) {
                const std::size_t n = chunkRows(faces);
                const float* data = faces.data();
                py::gil_scoped_release unlocked;
                s.add(data, n);
            },
            py::arg("faces"), "Adds a chunk of faces, shape (n, 12).")
        .def("merge", &BinState::merge, py::arg("other"), "Folds another state into this one.")
        .def(
            "table",
            [](const BinState& s) {
                py::array_t<std::int64_t> count(quorvel::binCount);
                py::array_t<double> curvature(quorvel::binCount), velocity(quorvel::binCount),
                    deviation(quorvel::binCount);
                for (std::size_t b = 0; b < s.bins.size(); ++b) {
                    const BinMoments& bin = s.bins[b];
                    const auto n = static_cast<double>(bin.count);
                    count.mutable_data()[b] = bin.count;
                    curvature.mutable_data()[b] = bin.count ? bin.curvature.value() / n : NAN;
                    velocity.mutable_data()[b] = bin.count ? bin.meanVelocity() : NAN;
                    deviation.mutable_data()[b] =
                        bin.count ? std::sqrt(bin.squaredDeviation.value() / n) : NAN;
                }
                return py::make_tuple(count, curvature, velocity, deviation);
            },
            R"((count, mean_curvature, mean_velocity, std_velocity), 200 each; the standard
deviation is the population one, as quorvel's; an empty bin has NaN.)")
        .def(py::pickle([](const BinState& s) { return bytesOf(s); },
                        [](const py::bytes& b) { return fromBytes<BinState>(b); }));

    py::class_<FitState>(m, "FitState", R"(The per-face fit v = M·κ through the origin, mergeable:
FitState(area_weights) weighs each face by |area| (value 10) or by 1. Its
result(n_boot=2000, seed=0) is fit_slope's on the faces of every state
merged, in their order: (slope, stderr, low, high, faces), NaN where the
curvatures have no spread.)")
        .def(py::init(&newFitState), py::arg("area_weights") = false)
        .def(
            "add",
            [](FitState& s, const FloatArray& faces) {
                const std::size_t n = chunkRows(faces);
                const float* data = faces.data();
                py::gil_scoped_release unlocked;
                s.add(data, n);
            },
            py::arg("faces"), "Adds a chunk of faces, shape (n, 12), after those already added.")
        .def("merge", &FitState::merge, py::arg("other"),
             "Folds in another state, whose faces come after these.")
        .def(
            "result",
            [](const FitState& s, std::int64_t nBoot, std::uint64_t seed) {
                FitResult r;
                {
                    py::gil_scoped_release unlocked;
                    r = s.result(nBoot, seed);
                }
                return py::make_tuple(r.slope, r.standardError, r.low, r.high, r.faces);
            },
            py::arg("n_boot") = 2000, py::arg("seed") = 0)
        .def(py::pickle([](const FitState& s) { return bytesOf(s); },
                        [](const py::bytes& b) { return fromBytes<FitState>(b); }));
}
