// One-line cases for the number text, the records, the name read, the bins
// and the filter tests. Values are compared bit for bit (-0 is not 0).
#include "common/free_form.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"
#include "dremmick/filtering.hpp"
#include "quorvel/binning.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace triangle {
namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr bool refused = false;

bool same(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b) || (std::isnan(a) && std::isnan(b));
}

// The message a read fails with, without the file name; "" when it does not fail.
template <typename Read>
std::string failureOf(Read read) {
    try {
        read();
    } catch (const RunError& e) {
        return std::string(e.what()).substr(std::string("mem: ").size());
    }
    return "";
}

TEST(NumberText, Reading) {
    struct Row {
        const char* text;
        bool fixedField;  // else a free-form value
        bool ok;
        float value = 0.0f;
    };
    for (const Row& r : {
             Row{"  0.5000", true, true, 0.5f}, {"-12.3456", true, true, -12.3456f},
             {"  1.5   ", true, true, 1.5f}, {"    .25 ", true, true, 0.25f}, {"+1.0    ", true, true, 1.0f},
             {"  123456", true, true, 12.3456f}, {"       5", true, true, 0.0005f}, {"   -5000", true, true, -0.5f},
             {"12345678", true, true, 1234.5678f}, {"        ", true, true, 0.0f}, {"1 2 . 5 ", true, true, 12.5f},
             {" - 1.5  ", true, true, -1.5f}, {"1.23E+10", true, true, 1.23e10f}, {"1.5D2   ", true, true, 150.0f},
             {"  1.5+3 ", true, true, 1500.0f}, {"  1.5-3 ", true, true, 0.0015f}, {" 12345E2", true, true, 123.45f},
             {"1.0E+99 ", true, true, inf}, {"1.0E-99 ", true, true, 0.0f}, {"     NaN", true, true, nan},
             {"    -Inf", true, true, -inf}, {"infinity", true, true, inf}, {" -0.0000", true, true, -0.0f},
             {"********", true, refused}, {"  1.2x34", true, refused}, {"   #    ", true, refused},
             {"  1.2.3 ", true, refused}, {"    -   ", true, refused}, {"1.5E    ", true, refused},
             {"  1,5   ", true, refused}, {"\t1.5    ", true, refused}, {"  1.5E+ ", true, refused},
             {"  1:5000", true, refused}, {"  1/5000", true, refused}, {"  0.500:", true, refused},
             {"5", false, true, 5.0f}, {"+5", false, true, 5.0f}, {"-.5", false, true, -0.5f}, {"5.", false, true, 5.0f},
             {"1.5e-3", false, true, 0.0015f}, {"2.5D0", false, true, 2.5f}, {"2.5d+1", false, true, 25.0f},
             {"123456789", false, true, 123456789.0f}, {"-0", false, true, -0.0f}, {"1e39", false, true, inf},
             {"16777217", false, true, 16777216.0f}, {"16777219", false, true, 16777220.0f},
             {"0.000000000000000000000000000000000000000000001401298464324817070923729583289916131280", false,
              true, std::bit_cast<float>(1u)},
             {"-NaN", false, true, -nan}, {"1.5+3", false, refused}, {"1 5", false, refused}, {"e5", false, refused},
             {"1.5E", false, refused}, {"abc", false, refused}, {"3*0.0", false, refused}, {"", false, refused},
         }) {
        float value = -999.0f;
        const bool ok = r.fixedField ? parseFixedField(r.text, value) : parseFreeValue(r.text, value);
        EXPECT_EQ(ok, r.ok) << "'" << r.text << "'";
        if (ok && r.ok) {
            EXPECT_TRUE(same(value, r.value)) << "'" << r.text << "' read as " << value;
        }
    }
}

TEST(NumberText, Writing) {
    struct Row {
        float value;
        char kind;  // 'r' record field, 'e' report field (6), 'l' limit (9)
        const char* text;
    };
    for (const Row& r : {
             Row{0.5f, 'r', "  0.5000"}, {-0.5f, 'r', " -0.5000"}, {-12.3456f, 'r', "-12.3456"},
             {-0.0f, 'r', " -0.0000"}, {-0.00001f, 'r', " -0.0000"}, {0.03125f, 'r', "  0.0312"},
             {0.09375f, 'r', "  0.0938"}, {999.99994f, 'r', "999.9999"}, {1000.0f, 'r', "1000.000"},
             {1234.5678f, 'r', "1234.568"}, {-100.0f, 'r', "-100.000"}, {9999999.0f, 'r', "9999999."},
             {1.0e10f, 'r', "1.00E+10"}, {-1.2e7f, 'r', "-1.2E+07"}, {nan, 'r', "     NaN"}, {-inf, 'r', "    -Inf"},
             {0.003f, 'e', "0.0030"}, {9.99994f, 'e', "9.9999"}, {9.99995f, 'e', "******"}, {nan, 'e', "   NaN"},
             {inf, 'e', "******"}, {0.25f, 'l', "   0.2500"}, {9999.999f, 'l', "9999.9990"},
             {-1000.0f, 'l', "*********"}, {0.00004f, 'l', "   0.0000"},
         }) {
        char out[16] = {};
        char* end = r.kind == 'r' ? formatRecordField(out, r.value)
                                        : formatFixed(out, r.value, r.kind == 'e' ? 6 : 9);
        EXPECT_EQ(std::string(out, static_cast<std::size_t>(end - out)), r.text) << r.value;
    }
    for (const auto& [value, text] : std::vector<std::pair<std::int64_t, const char*>>{
             {1234, "     1234"}, {-12, "      -12"}, {1000000000, "*********"}, {0, "        0"}}) {
        char out[16] = {};
        const char* end = formatInteger(out, value, 9);
        EXPECT_EQ(std::string(out, static_cast<std::size_t>(end - out)), text);
    }
}

// Every value of every record, flattened; or the failure without the file name.
std::string readAll(std::string_view text, bool fixed, std::vector<float>& values) {
    InputFile in;
    in.openMemory(text, "mem", 7);  // blocks of 7: values and line ends cross block boundaries
    return failureOf([&] {
        for (;;) {
            const TriangleRecord record = fixed ? readFixedRecord(in) : readFreeRecord(in);
            values.insert(values.end(), record.values.begin(), record.values.end());
        }
    });
}

TEST(Records, FixedAndFreeForms) {
    const std::string twelve = "  1.0000  2.0000  3.0000  4.0000  5.0000  6.0000  7.0000  8.0000  9.0000 10.0000"
                               "  0.5000 -2.0000";
    const char* const endFixed = "line 3: expected a data line, found the end of the file";
    struct Row {
        std::string text;
        bool fixed;
        std::vector<float> values;  // where given, the first values read
        std::string failure;
    };
    for (const Row& r : std::vector<Row>{
             {twelve + "\n\n", true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0.5f, -2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
              endFixed},
             {twelve.substr(0, 80) + "\n" + twelve + "  # beyond column 96\r\n", true,
              {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0.5f, -2}, endFixed},
             {twelve + "\r\n" + twelve, true, {}, endFixed},
             {"  1.0000\n  1.0000  2.0000  1.2x34\n", true, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
              "line 2: field 3 (columns 17-24): expected a number, found '  1.2x34'"},
             {"\n   \n1 2,3 , 4\t5\r\n6,\n7 8 9 10 11 -12 13 remark\n1,2,3,4,5,6,7,8,9,10,11,12\n", false,
              {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
              "line 6: expected a record of 12 values, found the end of the file"},
             {"       5 1 1 1 1 1 1 1 1 1 0.5D0 2.5E-1\n", false, {5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0.5f, 0.25f},
              "line 1: expected a record of 12 values, found the end of the file"},
             {"1 2 3 4 5 abc 7 8 9 10 11 12\n", false, {}, "line 1: value 6 of 12: expected a number, found 'abc'"},
             {"1 2 3\n4 5 6 # 7\n", false, {}, "line 2: value 7 of 12: expected a number, found '#'"},
             {"1 2 3\n4 5\n", false, {},
              "line 2: the file ends inside a record: found 5 of 12 values (the record began on line 1)"},
             {"1,,2 3 4 5 6 7 8 9 10 11 12\n", false, {},
              "line 1: expected a number, found an empty value (a comma with no value before it)"},
             {"1 2 3 / 4\n", false, {}, "line 1: expected a number, found '/' (ending a record early is not supported)"},
             {"1 2 3 4 5 6 7 8 9 10 11 123456789\n", false, {}, "line 1: expected a number, found an item of more "
                                                                 "than 7 characters"},
         }) {
        std::vector<float> values;
        EXPECT_EQ(readAll(r.text, r.fixed, values), r.failure) << r.text;
        for (std::size_t k = 0; k < r.values.size(); ++k)
            EXPECT_TRUE(k < values.size() && same(values[k], r.values[k])) << r.text << " value " << k + 1;
    }
}

TEST(Records, HeaderBlockAndLineCount) {
    for (const auto& [text, lines, headers] : std::vector<std::tuple<std::string, int, int>>{
             {"", 0, 0}, {"\n", 1, 0}, {"# a\n# b\n1\n", 3, 2}, {"# a\n1\n# b", 3, 1},
             {std::string(99, ' ') + "#\n" + std::string(100, ' ') + "#\n", 2, 1}, {"#\r\n#", 2, 2}}) {
        InputFile in;
        in.openMemory(text, "mem", 3);
        EXPECT_EQ(in.countRemainingLines(), lines) << text;
        in.openMemory(text, "mem", 3);
        std::string_view head;
        int count = 0;
        while (in.readLine(head, textFieldWidth) && isHeaderLine(head)) ++count;
        EXPECT_EQ(count, headers) << text;
    }
}

TEST(NameRead, QuotesSeparatorsStemAndFailures) {
    struct Row {
        std::string_view control;
        const char* name;  // or the failure
        int stem = 0;
    };
    using namespace std::string_view_literals;
    for (const Row& r : {
             Row{"a.txt\n", "a.txt", 1}, {"  \n\n  run.1.txt remark\n", "run.1.txt", 3}, {"data\n", "data", 0},
             {"runs/a.txt\n", "runs", 0}, {"a.txt,0.5\n", "a.txt", 1}, {"'runs/a b.txt'\n", "runs/a b.txt", 8},
             {"\"it\"\"s.txt\"\n", "it\"s.txt", 4}, {"'./a.txt'\n", "./a.txt", 0}, {"a.txt\r\n", "a.txt", 1},
             {"\ta.txt\t\n", "a.txt", 1}, {"a.txt", "a.txt", 1},
             {""sv, "line 1: expected the data file name, found the end of the file"},
             {"\n  \n"sv, "line 3: expected the data file name, found the end of the file"},
             {"'a.txt\n"sv, "line 1: the quoted data file name has no closing '"},
             {", a.txt\n"sv, "line 1: expected the data file name, found ','"},
             {"a.txt\0.dat\n"sv, "line 1: the data file name holds a NUL character, which no file name can hold"},
         }) {
        InputFile in;
        in.openMemory(r.control, "mem", 2);
        TextField field;
        const std::string failure = failureOf([&] { FreeFormScanner(in).readName(field); });
        std::string name(field.data(), field.size());
        name.erase(name.find_last_not_of(' ') + 1);
        EXPECT_EQ(failure.empty() ? name : failure, r.name) << r.control;
        if (failure.empty()) {
            EXPECT_EQ(stemLengthOf(field), r.stem) << r.control;
        }
    }
    const std::string longName = std::string(120, 'n') + ".txt\n0.5\n";
    InputFile in;
    in.openMemory(longName, "mem");
    TextField field;
    FreeFormScanner(in).readName(field);
    EXPECT_EQ(std::string(field.data(), field.size()), std::string(100, 'n'));
    EXPECT_EQ(in.lineNumber(), 2) << "the next read starts on the following line";
}

TEST(Bins, EdgesAndReportLines) {
    for (const auto& [curvature, bin] : std::vector<std::pair<float, int>>{
             {0.0f, 1}, {0.0029f, 1}, {0.003f, 2}, {0.009f, 3}, {0.5969f, 199}, {0.597f, 200}, {0.6f, 200},
             {1.0e30f, 200}, {inf, 200}, {nan, 200}})
        EXPECT_EQ(quorvel::binNumber(curvature), bin) << curvature;
    const quorvel::BinTable table = quorvel::makeBinTable();
    EXPECT_EQ(table[2].upperEdge, 3.0f * 0.003f);
    for (const auto& [bin, line] : std::vector<std::pair<quorvel::CurvatureBin, const char*>>{
             {{0.006f, 0.0061f, 3.0f, 2.0f, 0.5f}, "0.0060  0.0030  1.5000        2    0.5000"},
             {{0.003f, 0.0f, 0.0f, 0.0f, 0.0f}, "0.0030     NaN     NaN        0       NaN"},
             {{0.6f, 2.4e8f, 1.44e8f, 1.2e7f, 0.0f}, "0.6000  ******  ******  *******    0.0000"}}) {
        char out[quorvel::reportLineLength];
        quorvel::formatReportLine(bin, out);
        EXPECT_EQ(std::string(out, sizeof out), line);
    }
}

TEST(Filter, TestsInTheirOrderWithSignedZerosNaNsAndOddLimits) {
    using dremmick::Verdict;
    struct Row {
        std::array<float, 6> triples;
        float curvature, velocity, curvatureLimit, velocityLimit;
        Verdict verdict;
    };
    // Each early test's line also fails every later test, so only the order decides.
    for (const Row& r : {
             Row{{0, 0, 0, 0, 0, 0}, 0.9f, 5.0f, 0.5f, 2.0f, Verdict::blank},
             {{1, 0, 0, 0, 0, 0}, 0.9f, 5.0f, 0.5f, 2.0f, Verdict::blank},
             {{1, 0, 0, 1, 0, 0}, -0.7f, 5.0f, 0.5f, 2.0f, Verdict::highCurvature},
             {{1, 0, 0, 1, 0, 0}, 0.5f, -3.0f, 0.5f, 2.0f, Verdict::highVelocity},
             {{1, 0, 0, 1, 0, 0}, -0.5f, -2.0f, 0.5f, 2.0f, Verdict::keep},
             {{0, 0, -0.0f, 1, 1, 1}, 0.1f, 0.1f, 0.5f, 2.0f, Verdict::blank},
             {{nan, 0, 0, 1, 1, 1}, 0.1f, 0.1f, 0.5f, 2.0f, Verdict::keep},
             {{1, 1, 1, 1, 1, 1}, nan, nan, 0.5f, 2.0f, Verdict::keep},
             {{1, 1, 1, 1, 1, 1}, 0.9f, 9.0f, nan, nan, Verdict::keep},
             {{1, 1, 1, 1, 1, 1}, 0.00003f, 1.0f, 0.00004f, 2.0f, Verdict::keep},
             {{1, 1, 1, 1, 1, 1}, 0.00005f, 1.0f, 0.00004f, 2.0f, Verdict::highCurvature},
             {{1, 1, 1, 1, 1, 1}, -0.0f, 1.0f, 0.0f, 2.0f, Verdict::keep},
             {{1, 1, 1, 1, 1, 1}, 0.0f, 0.0f, -1.0f, 2.0f, Verdict::highCurvature},
             {{1, 1, 1, 1, 1, 1}, 0.0f, 0.0f, 1.0f, -1.0f, Verdict::highVelocity},
         }) {
        TriangleRecord record;
        std::copy(r.triples.begin(), r.triples.end(), record.values.begin());
        record.value(10) = -3.0f;
        record.curvature() = r.curvature;
        record.velocity() = r.velocity;
        dremmick::takeAbsoluteValues(record);
        EXPECT_EQ(dremmick::judge(record, r.curvatureLimit, r.velocityLimit), r.verdict) << r.curvature;
        EXPECT_TRUE(same(record.value(10), 3.0f) && !std::signbit(record.curvature()) &&
                    !std::signbit(record.velocity()));
    }
}

}  // namespace
}  // namespace triangle
