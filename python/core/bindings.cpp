// triangle_tools._core: the triangle data files, the conditioning and binning
// rules and the orientation routines of dremmick and quorvel, for Python and
// numpy. These functions call the programs' own code (the record readers and
// writer, the filter tests, the bin passes, the orientation routines), so
// their numbers are the programs', bit for bit. The kernels registered below
// (fit_slope, disorientation) are the package's own analysis, in double
// precision; the programs have no such step.

#include "common/data_file.hpp"
#include "common/fixed_width.hpp"
#include "common/free_record.hpp"
#include "common/header_block.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"
#include "dremmick/filtering.hpp"
#include "orientation/orientation.hpp"
#include "python/core/boundary_plane_binding.hpp"
#include "python/core/boundary_sums.hpp"
#include "python/core/const1_for_call.hpp"
#include "python/core/disorientation_binding.hpp"
#include "python/core/five_parameter_cells.hpp"
#include "python/core/slope_fit.hpp"
#include "python/core/study_kernels.hpp"
#include "python/core/symmetry_code.hpp"
#include "quorvel/binning.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// Any array-like is converted to C-contiguous float32 by numpy on the way in.
using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;
using Shape = std::vector<py::ssize_t>;

constexpr py::ssize_t recordWidth = triangle::recordValueCount;

std::string shapeText(const Shape& shape) {
    std::string text = "(";
    for (std::size_t k = 0; k < shape.size(); ++k) text += (k > 0 ? ", " : "") + std::to_string(shape[k]);
    return text + (shape.size() == 1 ? ",)" : ")");
}

Shape shapeOf(const py::array& a) {
    return Shape(a.shape(), a.shape() + a.ndim());
}

// The leading dimensions of `a`, whose trailing ones must be `tail`.
Shape leadingShape(const py::array& a, const char* name, const Shape& tail, const char* expected) {
    const Shape shape = shapeOf(a);
    if (shape.size() < tail.size() || !std::equal(tail.begin(), tail.end(), shape.end() - tail.size()))
        throw py::value_error(std::string(name) + " must have shape " + expected + ", got " +
                              shapeText(shape));
    return Shape(shape.begin(), shape.end() - tail.size());
}

Shape joined(Shape lead, const Shape& tail) {
    lead.insert(lead.end(), tail.begin(), tail.end());
    return lead;
}

void requireShape(const py::array& a, const char* name, const Shape& lead) {
    if (shapeOf(a) != lead)
        throw py::value_error(std::string(name) + " must have shape " + shapeText(lead) + ", got " +
                              shapeText(shapeOf(a)));
}

// Rows of a record array, shape (N, 12).
py::ssize_t recordRows(const FloatArray& values) {
    if (values.ndim() != 2 || values.shape(1) != recordWidth)
        throw py::value_error("values must have shape (N, 12), got " + shapeText(shapeOf(values)));
    return values.shape(0);
}

triangle::TriangleRecord recordAt(const float* values, py::ssize_t row) {
    triangle::TriangleRecord record;
    std::memcpy(record.values.data(), values + row * recordWidth, sizeof record.values);
    return record;
}

// ------------------------------------------------------------------ files

py::str decoded(const std::string& text) {
    PyObject* s = PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "surrogateescape");
    if (s == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

std::string encoded(const py::handle& line) {
    if (!py::isinstance<py::str>(line)) throw py::type_error("header lines must be str");
    PyObject* bytes = PyUnicode_AsEncodedString(line.ptr(), "utf-8", "surrogateescape");
    if (bytes == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(bytes);
}

// As both programs read a data file: opened in their sequence (a line-count
// pass, so that the array is allocated once at its final size, and a header
// pass), then one record per data line, with their readers.
py::tuple readFile(const std::string& path, bool fixed) {
    triangle::DataFile file{.path = path};
    std::vector<std::string> header;
    {
        py::gil_scoped_release unlocked;
        file.countLines();
        file.measureHeader(&header);
        file.openAtFirstDataLine();
    }
    const py::ssize_t lineCount = file.dataLineCount();
    FloatArray values(Shape{lineCount, recordWidth});
    float* out = values.mutable_data();
    py::ssize_t rows = 0;
    {
        py::gil_scoped_release unlocked;
        triangle::FreeRecordReader freeRecords(file.in);
        triangle::TriangleRecord record;
        // Blank lines after the last free-form record are no records.
        for (; rows < lineCount; ++rows) {
            if (fixed)
                record = triangle::readFixedRecord(file.in);
            else if (!freeRecords.read(record))
                break;
            std::memcpy(out + rows * recordWidth, record.values.data(), sizeof record.values);
        }
    }
    py::list lines;
    for (const std::string& line : header) lines.append(decoded(line));
    if (rows < lineCount) return py::make_tuple(FloatArray(Shape{rows, recordWidth}, out), lines);
    return py::make_tuple(values, lines);
}

void writeFixed(const std::filesystem::path& path, const FloatArray& values, const py::iterable& header) {
    if (py::isinstance<py::str>(header))
        throw py::type_error("header must be a sequence of lines, not one str");
    const py::ssize_t rows = recordRows(values);
    std::vector<std::string> lines;
    for (const py::handle line : header) {
        lines.push_back(encoded(line));
        const std::string& text = lines.back();
        const std::string where = "header line " + std::to_string(lines.size());
        if (text.find_first_of("\r\n") != std::string::npos)
            throw py::value_error(where + " holds a line end");
        if (!triangle::isHeaderLine(text))
            throw py::value_error(
                where + " holds no '#' within its first 100 characters, so it would be read as data");
    }
    const float* data = values.data();
    py::gil_scoped_release unlocked;
    triangle::OutputFile out;
    out.create(path.string());
    for (const std::string& line : lines) out.writeLine(line);
    for (py::ssize_t row = 0; row < rows; ++row) triangle::writeFixedRecord(out, recordAt(data, row));
    out.close();
}

// ------------------------------------------------------ conditioning, bins

py::tuple condition(const FloatArray& values, float curvatureLimit, float velocityLimit, bool mask) {
    const py::ssize_t rows = recordRows(values);
    const float* data = values.data();
    auto judged = [&](py::ssize_t row, triangle::TriangleRecord& record) {
        record = recordAt(data, row);
        dremmick::takeAbsoluteValues(record);
        return dremmick::judge(record, curvatureLimit, velocityLimit);
    };
    dremmick::FilterTally tally;
    py::ssize_t keptRows = 0;
    triangle::TriangleRecord record;
    for (py::ssize_t row = 0; row < rows; ++row) {
        const dremmick::Verdict verdict = judged(row, record);
        dremmick::count(tally, verdict);
        keptRows += verdict == dremmick::Verdict::keep;
    }
    const auto counts = py::make_tuple(tally.highCurvatureCount, tally.highVelocityCount, tally.blankCount);
    if (mask) {
        py::array_t<bool> keep(rows);
        for (py::ssize_t row = 0; row < rows; ++row)
            keep.mutable_at(row) = judged(row, record) == dremmick::Verdict::keep;
        return py::make_tuple(keep, counts);
    }
    FloatArray kept(Shape{keptRows, recordWidth});
    float* out = kept.mutable_data();
    for (py::ssize_t row = 0; row < rows; ++row) {
        if (judged(row, record) != dremmick::Verdict::keep) continue;
        // Each value as dremmick writes it and read_fixed reads it back.
        for (const float value : record.values) {
            char field[triangle::fixedFieldWidth];
            triangle::formatRecordField(field, value);
            if (!triangle::parseFixedField(std::string_view(field, sizeof field), *out++))
                throw std::logic_error("a written field does not read back: " +
                                       std::string(field, sizeof field));
        }
    }
    return py::make_tuple(kept, counts);
}

py::tuple binCurvature(const FloatArray& values) {
    const py::ssize_t rows = recordRows(values);
    const float* data = values.data();
    quorvel::BinTable table = quorvel::makeBinTable();
    // quorvel bins by the absolute curvature (column 10) and velocity (column 11).
    auto absolute = [&](py::ssize_t row, int column) { return std::fabs(data[row * recordWidth + column]); };
    for (py::ssize_t row = 0; row < rows; ++row)
        quorvel::addToBin(table, absolute(row, 10), absolute(row, 11));
    const quorvel::MeanVelocities means = quorvel::meanVelocities(table);
    for (py::ssize_t row = 0; row < rows; ++row)
        quorvel::addDeviation(table, means, absolute(row, 10), absolute(row, 11));
    FloatArray edge(quorvel::binCount), curvature(quorvel::binCount), velocity(quorvel::binCount),
        deviation(quorvel::binCount);
    py::array_t<std::int64_t> count(quorvel::binCount);
    for (std::size_t n = 0; n < table.size(); ++n) {
        const quorvel::BinStatistics statistics = quorvel::statisticsOf(table[n]);
        edge.mutable_data()[n] = table[n].upperEdge;
        curvature.mutable_data()[n] = statistics.meanCurvature;
        velocity.mutable_data()[n] = statistics.meanVelocity;
        count.mutable_data()[n] = static_cast<std::int64_t>(table[n].count);
        deviation.mutable_data()[n] = statistics.deviation;
    }
    return py::make_tuple(edge, curvature, velocity, count, deviation);
}

// ------------------------------------------------------------- orientation

// numpy's g[i, j] is element (i+1, j+1): row-major rows to and from the
// routines' column-major Matrix3.
orientation::Matrix3 fromRows(const float* rows) {
    orientation::Matrix3 g;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) g[static_cast<std::size_t>(i + 3 * j)] = rows[3 * i + j];
    return g;
}

void toRows(const orientation::Matrix3& g, float* rows) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) rows[3 * i + j] = g[static_cast<std::size_t>(i + 3 * j)];
}

FloatArray etog(const FloatArray& euler) {
    FloatArray g(joined(leadingShape(euler, "euler", {3}, "(..., 3)"), {3, 3}));
    const float* in = euler.data();
    float* out = g.mutable_data();
    for (py::ssize_t k = 0; k < euler.size() / 3; ++k) {
        orientation::Matrix3 m;
        orientation::etog({in[3 * k], in[3 * k + 1], in[3 * k + 2]}, m);
        toRows(m, out + 9 * k);
    }
    return g;
}

FloatArray gtoe(const FloatArray& g, float eps) {
    FloatArray euler(joined(leadingShape(g, "g", {3, 3}, "(..., 3, 3)"), {3}));
    const float* in = g.data();
    float* out = euler.mutable_data();
    const Const1ForCall set(eps);
    for (py::ssize_t k = 0; k < g.size() / 9; ++k) {
        orientation::EulerAngles e;
        orientation::gtoe(fromRows(in + 9 * k), e);
        std::memcpy(out + 3 * k, e.data(), sizeof e);
    }
    return euler;
}

FloatArray aatog(const FloatArray& axis, const FloatArray& omega) {
    const Shape lead = leadingShape(axis, "axis", {3}, "(..., 3)");
    requireShape(omega, "omega (axis.shape[:-1])", lead);
    FloatArray g(joined(lead, {3, 3}));
    const float* a = axis.data();
    float* out = g.mutable_data();
    for (py::ssize_t k = 0; k < omega.size(); ++k) {
        orientation::Matrix3 m;
        orientation::aatog({a[3 * k], a[3 * k + 1], a[3 * k + 2]}, omega.data()[k], m);
        toRows(m, out + 9 * k);
    }
    return g;
}

FloatArray anglestov(const FloatArray& theta, const FloatArray& phi) {
    requireShape(phi, "phi (theta.shape)", shapeOf(theta));
    FloatArray v(joined(shapeOf(theta), {3}));
    float* out = v.mutable_data();
    for (py::ssize_t k = 0; k < theta.size(); ++k) {
        orientation::Vector3 w;
        orientation::anglestov(theta.data()[k], phi.data()[k], w);
        std::memcpy(out + 3 * k, w.data(), sizeof w);
    }
    return v;
}

py::tuple vtoangles(const FloatArray& v) {
    const Shape lead = leadingShape(v, "v", {3}, "(..., 3)");
    FloatArray angles(joined(lead, {2})), flipped(joined(lead, {3}));
    const float* in = v.data();
    const Const1ForCall set;
    for (py::ssize_t k = 0; k < v.size() / 3; ++k) {
        // The routine flips its vector in place: it works on a copy, never on the caller's array.
        orientation::Vector3 w{in[3 * k], in[3 * k + 1], in[3 * k + 2]};
        orientation::AnglePair a;
        orientation::vtoangles(w, a);
        std::memcpy(angles.mutable_data() + 2 * k, a.data(), sizeof a);
        std::memcpy(flipped.mutable_data() + 3 * k, w.data(), sizeof w);
    }
    return py::make_tuple(angles, flipped);
}

FloatArray symmetryOperators(std::int32_t code) {
    orientation::SymmetryOperatorArray ops;
    std::int32_t count = -1;
    const Const1ForCall set;
    requireSymmetryCode(code);
    orientation::get_symop(code, ops, count);
    FloatArray g(Shape{count, 3, 3});
    for (std::int32_t k = 0; k < count; ++k) {
        orientation::Matrix3 m;
        orientation::symop(ops, k + 1, m);
        toRows(m, g.mutable_data() + 9 * k);
    }
    return g;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = R"(Triangle data files, conditioning, curvature bins and orientations, computed
by the C++ code of the programs dremmick and quorvel, so those numbers are
theirs; and the package's own kernels in double precision (fit_slope, the
per-face fit that triangle_tools.fit_slope checks and wraps; disorientation).

Arrays are numpy float32. A record array has shape (N, 12), one row per data
line: columns 0-2 and 3-5 are the triples the blank tests look at, 6-8 the
third triple, 9 the area, 10 the curvature and 11 the velocity.

Inputs may be any array-like (lists, float64, non-contiguous views): numpy
converts them to C-contiguous float32, rounding to single precision. An input
of the wrong shape raises ValueError naming the shape expected.

Errors: a file that cannot be opened, read or written raises OSError; a value
that cannot be read raises ValueError with the message the programs print,
e.g. 'a.txt: line 7: field 11 (columns 81-88): expected a number, found ...'.

Orientations: angles in radians; Euler angles (phi1, Phi, phi2) in the Bunge
z-x-z convention; g[..., i, j] is element (i+1, j+1) of a rotation matrix that
acts on column vectors, w = g @ v; etog is passive, aatog active (about z by
the same angle they are transposes). pi is 3.1415927 in single precision, as
dremmick stores it.)";

    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error) std::rethrow_exception(error);
        } catch (const triangle::RunError& e) {
            using triangle::ExitStatus;
            PyErr_SetString(e.status() == ExitStatus::badInput    ? PyExc_ValueError
                            : e.status() == ExitStatus::fileError ? PyExc_OSError
                                                                  : PyExc_RuntimeError,
                            e.what());
        }
    });

    m.def(
        "read_fixed", [](const std::filesystem::path& path) { return readFile(path.string(), true); },
        py::arg("path"),
        R"(Reads a fixed-width triangle data file as quorvel does.

Returns (values, header): values a float32 array of shape (N, 12), one row per
data line (12 fields of 8 characters, 4 decimals implied when a field holds no
point); header the list of header lines (the leading lines that hold a '#'
within their first 100 characters), each cut to 100 characters.)");
    m.def(
        "read_free", [](const std::filesystem::path& path) { return readFile(path.string(), false); },
        py::arg("path"),
        R"(Reads a free-form triangle data file as dremmick does.

Returns (values, header) like read_fixed. Values are separated by blanks, tabs,
commas or line ends; every data line must hold one record, as dremmick reads
one per line.)");
    m.def("write_fixed", &writeFixed, py::arg("path"), py::arg("values"), py::arg("header") = py::tuple(),
          R"(Writes values, shape (N, 12), as a fixed-width file, as dremmick writes its
conditioned file: the header lines first (each must hold a '#' within its first
100 characters), then one line of 12 fields of 8 characters per row, each
value with 4 decimals (fewer from 1000 up, so that it fits). quorvel and
read_fixed read back the values as written.)");
    m.def("condition", &condition, py::arg("values"), py::arg("curvature_limit"), py::arg("velocity_limit"),
          py::arg("mask") = false, R"(Conditions records, shape (N, 12), as dremmick does.

Returns (kept, counts): kept the rows that read_fixed gives for the file
dremmick would write (a row is dropped when columns 0-2 or 3-5 are all zero,
or when the absolute curvature or velocity exceeds its limit; columns 9-11 are
made non-negative and every value is rounded as written, to 4 decimals);
counts = (high_val, high_vel, blank), the drop counts in dremmick's order.
With mask=True, returns (keep, counts) instead: keep, shape (N,), is True for
the rows dremmick keeps, so values[keep] are the kept faces with their signs.)");
    m.def("bin_curvature", &binCurvature, py::arg("values"),
          R"(Bins records, shape (N, 12), by absolute curvature as quorvel does.

Returns five arrays of 200 bins: (upper_edge, mean_curvature, mean_velocity,
count, std_dev), the values quorvel computes before it formats its report;
count is int64, the others float32; an empty bin has NaN statistics.)");
    m.def("etog", &etog, py::arg("euler"),
          "Rotation matrices g[..., 3, 3] of Bunge angles euler[..., 3] (passive).");
    m.def("gtoe", &gtoe, py::arg("g"), py::arg("eps") = 0.0f,
          R"(Bunge angles e[..., 3] of rotation matrices g[..., 3, 3].

Where sin(Phi) <= eps phi1 carries the whole turn: (phi1, 0, 0), or (phi1, pi, 0)
within 0.01 of Phi = pi.)");
    m.def("aatog", &aatog, py::arg("axis"), py::arg("omega"),
          R"(Rotation matrices g[..., 3, 3] turning by omega[...] about the unit axes
axis[..., 3] (active, right-hand rule).)");
    m.def("anglestov", &anglestov, py::arg("theta"), py::arg("phi"),
          "Unit vectors v[..., 3] of polar angles theta[...] (from +z) and azimuths phi[...].");
    m.def("vtoangles", &vtoangles, py::arg("v"),
          R"(Polar angles of the axes along v[..., 3].

Returns (angles[..., 2], vectors[..., 3]): (theta, phi) of each axis, and the
vectors as the angles describe them, negated where the third component was
negative. The array passed in is never changed.)");
    m.def("symmetry_operators", &symmetryOperators, py::arg("code"),
          R"(The rotation operators of a crystal class, shape (count, 3, 3).

Codes: 1 tetragonal (8), 2 hexagonal (12), 3 cubic (24), 4 trigonal (3),
5 orthorhombic (4); any other code raises ValueError.)");
    registerSlopeFit(m);
    registerDisorientation(m);
    registerBoundaryPlane(m);
    registerFiveParameterCells(m);
    registerBoundarySums(m);
    registerStudyKernels(m);
}
