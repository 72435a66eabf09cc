#include "common/triangle_data.hpp"
#include "common/free_form.hpp"
#include "common/run_error.hpp"
#include "temp_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace triangle {
namespace {

using testing::TempDir;

std::vector<float> values(const TriangleRecord& record) {
    return std::vector<float>(record.values.begin(), record.values.end());
}

std::string fixedLine(const std::vector<std::string>& fields) {
    std::string line;
    for (const auto& f : fields) line += std::string(8 - f.size(), ' ') + f;
    return line;
}

// Runs `read` and returns the message it fails with ("" when it does not).
template <typename Read>
std::string failureOf(Read read) {
    try {
        read();
    } catch (const RunError& e) {
        EXPECT_EQ(e.status(), ExitStatus::badInput);
        return e.what();
    }
    return "";
}

class RecordReading : public ::testing::Test {
protected:
    InputFile open(std::string_view contents) {
        InputFile in;
        in.open(dir.write("data.txt", contents));
        return in;
    }
    TempDir dir;
};

TEST_F(RecordReading, FixedLineReadsTwelveFields) {
    InputFile in = open(fixedLine({"1.0000", "-2.0000", "3.5", "4", "  ", "0.0001", "7.0000", "8.0000",
                                   "9.0000", "-10.0000", "0.0030", "-1.2500"}) +
                        "\n");
    EXPECT_EQ(values(readFixedRecord(in)),
              (std::vector<float>{1, -2, 3.5f, 0.0004f, 0, 0.0001f, 7, 8, 9, -10, 0.003f, -1.25f}));
    EXPECT_EQ(in.lineNumber(), 2);
}

TEST_F(RecordReading, FixedShortEmptyAndOverlongLines) {
    const std::string ten =
        fixedLine({"1.0", "2.0", "3.0", "4.0", "5.0", "6.0", "7.0", "8.0", "9.0", "10.0"});
    const std::string twelve = ten + fixedLine({"0.5", "2.0"});
    InputFile in =
        open(ten + "\n\n" + twelve + "  # beyond column 96 is ignored\n" + twelve + "\r\n" + twelve);
    EXPECT_EQ(values(readFixedRecord(in)), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0}));
    EXPECT_EQ(values(readFixedRecord(in)), std::vector<float>(12, 0.0f));
    EXPECT_EQ(readFixedRecord(in).velocity(), 2.0f);
    EXPECT_EQ(readFixedRecord(in).velocity(), 2.0f) << "a CR before the line end is not part of field 12";
    EXPECT_EQ(readFixedRecord(in).curvature(), 0.5f) << "a last line without line end";
    EXPECT_NE(failureOf([&] { readFixedRecord(in); }).find("end of the file"), std::string::npos);
}

TEST_F(RecordReading, FixedFieldThatIsNotANumberNamesLineFieldAndColumns) {
    InputFile in = open("  1.0000\n  1.0000  2.0000  1.2x34\n");
    readFixedRecord(in);
    EXPECT_EQ(
        failureOf([&] { readFixedRecord(in); }),
        dir.path("data.txt") + ": line 2: field 3 (columns 17-24): expected a number, found '  1.2x34'");
}

TEST_F(RecordReading, FixedLineLongerThanABlockIsCut) {
    const std::string line = fixedLine({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12.0"});
    InputFile in = open(line + std::string(3 << 20, 'x') + "\n" + line + "\n");
    EXPECT_EQ(readFixedRecord(in).velocity(), 12.0f);
    EXPECT_EQ(readFixedRecord(in).velocity(), 12.0f);
    EXPECT_EQ(in.lineNumber(), 3);
}

TEST_F(RecordReading, FreeValuesSpreadOverLinesWithBlanksCommasAndTabs) {
    InputFile in =
        open("\n   \n1 2,3 , 4\t5\r\n6,\n7 8 9 10 11 -12 13 14 remark\n1,2,3,4,5,6,7,8,9,10,11,12");
    FreeRecordLines lines;
    EXPECT_EQ(values(readFreeRecord(in, &lines)),
              (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -12}));
    EXPECT_EQ(lines.first, 3);
    EXPECT_EQ(lines.last, 5);
    EXPECT_EQ(in.lineNumber(), 6) << "the rest of the twelfth value's line is skipped";
    EXPECT_EQ(readFreeRecord(in, &lines).velocity(), 12.0f);
    EXPECT_EQ(lines.first, 6);
}

TEST_F(RecordReading, FreeFormUsesNoImpliedPoint) {
    InputFile in = open("       5 1 1 1 1 1 1 1 1 1 0.5D0 2.5E-1\n");
    const TriangleRecord record = readFreeRecord(in);
    EXPECT_EQ(record.value(1), 5.0f);
    EXPECT_EQ(record.curvature(), 0.5f);
    EXPECT_EQ(record.velocity(), 0.25f);
}

TEST_F(RecordReading, FreeFormFailures) {
    struct Case {
        const char* contents;
        const char* message;
    };
    for (const Case& c : {
             Case{"1 2 3 4 5 abc 7 8 9 10 11 12\n", "line 1: value 6 of 12: expected a number, found 'abc'"},
             Case{"1 2 3\n4 5 6 # 7\n", "line 2: value 7 of 12: expected a number, found '#'"},
             Case{"1 2 3\n4 5\n",
                  "line 2: the file ends inside a record: found 5 of 12 values (the record began on line 1)"},
             Case{"\n\n", "line 2: expected a record of 12 values, found the end of the file"},
             Case{"1,,2 3 4 5 6 7 8 9 10 11 12\n",
                  "line 1: expected a number, found an empty value (a comma with no value before it)"},
             Case{"1 2 3 / 4\n",
                  "line 1: expected a number, found '/' (ending a record early is not supported)"},
             Case{"3*0.0 1 1 1 1 1 1 1 1 1 1\n", "line 1: value 1 of 12: expected a number, found '3*0.0'"},
         }) {
        InputFile in = open(c.contents);
        EXPECT_EQ(failureOf([&] { readFreeRecord(in); }), dir.path("data.txt") + ": " + c.message)
            << c.contents;
    }
}

// A limit read: the first value of a line, the rest of the line skipped.
bool readFreeNumber(InputFile& in, float& value, const char*) {
    FreeFormScanner scanner(in);
    const ScannedValue scanned = scanner.nextValue();
    if (scanned.status == ScannedValue::Status::endOfFile) return false;
    value = scanned.value;
    scanner.skipRestOfLine();
    return true;
}

TEST_F(RecordReading, FreeNumberTakesFirstValueAndSkipsRemark) {
    InputFile in = open("\n  0.5 curvature limit\n2.0, velocity\n");
    float value = 0.0f;
    ASSERT_TRUE(readFreeNumber(in, value, "the limit"));
    EXPECT_EQ(value, 0.5f);
    ASSERT_TRUE(readFreeNumber(in, value, "the limit"));
    EXPECT_EQ(value, 2.0f);
    EXPECT_FALSE(readFreeNumber(in, value, "the limit"));
}

TEST_F(RecordReading, WrittenLineIsNinetySixCharacters) {
    TriangleRecord record;
    record.values = {0.5f,       -0.5f,    12.3456f,  -12.3456f, -0.0f, 0.0f,
                     1234.5678f, 0.03125f, -0.00001f, 1.0f,      0.0f,  2.0f};
    {
        OutputFile out;
        out.create(dir.path("out.txt"));
        writeFixedRecord(out, record);
        out.close();
    }
    EXPECT_EQ(
        dir.read("out.txt"),
        "  0.5000 -0.5000 12.3456-12.3456 -0.0000  0.00001234.568  0.0312 -0.0000  1.0000  0.0000  2.0000\n");
}

TEST_F(RecordReading, WrittenRecordsReadBackInFixedWidth) {
    TriangleRecord record;
    record.values = {1.0e10f,       -1.0e10f, 1234567.8f, -99999.99f, 999.99995f, -100.0f,
                     std::nanf(""), INFINITY, -INFINITY,  0.00004f,   0.6f,       123.45678f};
    {
        OutputFile out;
        out.create(dir.path("out.txt"));
        writeFixedRecord(out, record);
        out.close();
    }
    InputFile in;
    in.open(dir.path("out.txt"));
    const TriangleRecord back = readFixedRecord(in);
    const std::vector<float> expected{1.0e10f, -1.0e10f, 1234568.0f, -100000.0f, 999.9999f, -100.0f,
                                      NAN,     INFINITY, -INFINITY,  0.0f,       0.6f,      123.4568f};
    for (int k = 0; k < 12; ++k) {
        if (std::isnan(expected[static_cast<std::size_t>(k)])) {
            EXPECT_TRUE(std::isnan(back.values[static_cast<std::size_t>(k)]));
        } else {
            EXPECT_EQ(back.values[static_cast<std::size_t>(k)], expected[static_cast<std::size_t>(k)])
                << "value " << k + 1;
        }
    }
}

TEST_F(RecordReading, LineCountCountsEveryLine) {
    struct Case {
        const char* contents;
        std::int64_t lines;
    };
    for (const Case& c : {Case{"", 0}, Case{"\n", 1}, Case{"a", 1}, Case{"a\nb", 2}, Case{"a\nb\n", 2},
                          Case{"a\r\n\r\n", 2}, Case{"\n\n\n", 3}}) {
        InputFile in = open(c.contents);
        EXPECT_EQ(in.countRemainingLines(), c.lines) << '"' << c.contents << '"';
    }
}

}  // namespace
}  // namespace triangle
