// quorvel run end to end: the preamble, the two passes over the fixed-width
// data lines, the binned report on file and on standard output.
#include "blackbox_run.hpp"

#include <ostream>
#include <string>
#include <vector>

namespace blackbox {
namespace {

using QuorvelRun = BlackBoxTest;

// ---------------------------------------------------------------------------
// The whole run

TEST_F(QuorvelRun, TypicalRunPrintsPreambleAndWholeReportAndWritesTheSameReport) {
    write("input.txt", "tri.txt\n");
    write("tri.txt",
          "# typical run: six faces\n"
          "#\n" +
              fixedLine("  0.0010", "  1.0000") +  // bin 1
              fixedLine("  0.0020", "  2.0000") +  // bin 1
              fixedLine("  0.1000", "  3.0000") +  // bin 34
              fixedLine(" -0.0500", " -4.5000") +  // bin 17, both by absolute value
              fixedLine("  0.7500", "  0.2500") +  // bin 200
              fixedLine("  2.0000", "  0.7500"));  // bin 200

    const std::string bins = report({
        {1, "  0.0015  1.5000        2    0.5000"},
        {17, "  0.0500  4.5000        1    0.0000"},
        {34, "  0.1000  3.0000        1    0.0000"},
        {200, "  1.3750  0.5000        2    0.2500"},
    });
    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, kQuorvelBanner + lookLine("tri.txt") +
                              "There are          8 lines in the data file.\n"
                              "     2 lines in the header\n" +
                              kColumnHeader + bins);
    EXPECT_EQ(read("tri_binned.txt"), pad100("# typical run: six faces") + "\n" + pad100("#") + "\n" +
                                          quorvelProvenance("tri.txt") + kColumnHeader + bins);
}

TEST_F(QuorvelRun, EmptyDataFileStillReportsAllBinsEmpty) {
    write("input.txt", "empty.txt\n");
    write("empty.txt", "");

    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, kQuorvelBanner + lookLine("empty.txt") +
                              "There are          0 lines in the data file.\n"
                              "     0 lines in the header\n" +
                              kColumnHeader + report());
    EXPECT_EQ(read("empty_binned.txt"), quorvelProvenance("empty.txt") + kColumnHeader + report());
}

TEST_F(QuorvelRun, FileOfHeaderLinesOnlyReadsNoDataLines) {
    write("input.txt", "notes.txt\n");
    // The last line lacks its line end and still counts.
    write("notes.txt", "# one\n  two # \n#three");

    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, kQuorvelBanner + lookLine("notes.txt") +
                              "There are          3 lines in the data file.\n"
                              "     3 lines in the header\n" +
                              kColumnHeader + report());
    EXPECT_EQ(read("notes_binned.txt"), pad100("# one") + "\n" + pad100("  two # ") + "\n" +
                                            pad100("#three") + "\n" + quorvelProvenance("notes.txt") +
                                            kColumnHeader + report());
}

// ---------------------------------------------------------------------------
// One data line, one bin: which bin it lands in and how the bin's line reads

struct OneLineCase {
    const char* name;
    const char* curvatureField;
    const char* velocityField;
    int bin;
    const char* binLine;  // what follows the bin's edge in the report
};

std::ostream& operator<<(std::ostream& out, const OneLineCase& c) {
    return out << c.name;
}

class QuorvelOneLine : public BlackBoxTest, public ::testing::WithParamInterface<OneLineCase> {};

TEST_P(QuorvelOneLine, LandsInItsBinWithItsOwnValues) {
    const OneLineCase& c = GetParam();
    write("input.txt", "one.txt\n");
    write("one.txt", fixedLine(c.curvatureField, c.velocityField));

    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(read("one_binned.txt"),
              quorvelProvenance("one.txt") + kColumnHeader + report({{c.bin, c.binLine}}));
}

// clang-format off
const OneLineCase kBinEdgeCases[] = {
  // The bin is floor(|curvature| * 200 / 0.6) + 1 in single precision, product first.
  {"ZeroGoesToBin1",                     "  0.0000", "  1.0000",   1, "  0.0000  1.0000        1    0.0000"},
  {"JustBelowFirstEdgeStaysInBin1",      "  0.0029", "  1.0000",   1, "  0.0029  1.0000        1    0.0000"},
  {"FirstEdgeGoesUpToBin2",              "  0.0030", "  1.0000",   2, "  0.0030  1.0000        1    0.0000"},
  {"NegativeCurvatureCountsByMagnitude", " -0.0030", "  1.0000",   2, "  0.0030  1.0000        1    0.0000"},
  {"ThirdEdgeRoundsDownToBin3",          "  0.0090", "  1.0000",   3, "  0.0090  1.0000        1    0.0000"},
  {"TopOfRangeGoesToLastBin",            "  0.6000", "  1.0000", 200, "  0.6000  1.0000        1    0.0000"},
  {"CurvatureAboveRangeGoesToLastBin",   "  1.0000", "  1.0000", 200, "  1.0000  1.0000        1    0.0000"},
  {"NotANumberCurvatureGoesToLastBin",   "     NaN", "  1.0000", 200, "     NaN  1.0000        1    0.0000"},
};

const OneLineCase kFieldReadingCases[] = {
  // Blanks anywhere in a field are ignored; without a decimal point the last
  // four digits are decimals; E, D or a bare sign introduce an exponent.
  {"ImpliedDecimalPoint",               "     500", "  1.0000",  17, "  0.0500  1.0000        1    0.0000"},
  {"BlanksInsideFieldIgnored",          " 0 . 1 0", "  1.0000",  34, "  0.1000  1.0000        1    0.0000"},
  {"ExponentWithE",                     "  1.0E-1", "  1.0000",  34, "  0.1000  1.0000        1    0.0000"},
  {"ExponentWithD",                     "  1.0D-1", "  1.0000",  34, "  0.1000  1.0000        1    0.0000"},
  {"ExponentWithBareSign",              "   1.0-1", "  1.0000",  34, "  0.1000  1.0000        1    0.0000"},
  {"AllBlankFieldIsZero",               "        ", "  1.0000",   1, "  0.0000  1.0000        1    0.0000"},
  {"NegativeVelocityCountsByMagnitude", "  0.0010", " -2.5000",   1, "  0.0010  2.5000        1    0.0000"},
  {"VelocityJustBelowTenStillFits",     "  0.0010", "  9.9999",   1, "  0.0010  9.9999        1    0.0000"},
  {"MeanVelocityOfTenShowsAsterisks",   "  0.0010", " 10.0000",   1, "  0.0010  ******        1    0.0000"},
};
// clang-format on

std::string caseName(const ::testing::TestParamInfo<OneLineCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(BinEdges, QuorvelOneLine, ::testing::ValuesIn(kBinEdgeCases), caseName);
INSTANTIATE_TEST_SUITE_P(FixedFields, QuorvelOneLine, ::testing::ValuesIn(kFieldReadingCases), caseName);

// ---------------------------------------------------------------------------
// Bin statistics

TEST_F(QuorvelRun, StandardDeviationDividesByCountNotCountLessOne) {
    write("input.txt", "spread.txt\n");
    write("spread.txt", fixedLine("  0.0010", "  1.0000") + fixedLine("  0.0010", "  2.0000") +
                            fixedLine("  0.0010", "  3.0000"));

    RunResult result = run("quorvel");

    // Deviations 1, 0, 1: sqrt(2/3) = 0.8165, where dividing by 2 would give 1.0000.
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read("spread_binned.txt"), quorvelProvenance("spread.txt") + kColumnHeader +
                                             report({{1, "  0.0010  2.0000        3    0.8165"}}));
}

TEST_F(QuorvelRun, ShortAndEmptyLinesReadMissingFieldsAsZeroAndColumnsPast96AreIgnored) {
    write("input.txt", "short.txt\n");
    write("short.txt",
          // 80 characters: fields 11 and 12 are missing.
          "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  0.9000  1.0000\n"
          // Empty: twelve zeros.
          "\n"
          // 96 characters and then text that is never read.
          "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  0.9000  1.0000"
          "  0.0500  2.0000 not a number # 12\n");

    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(read("short_binned.txt"), quorvelProvenance("short.txt") + kColumnHeader +
                                            report({{1, "  0.0000  0.0000        2    0.0000"},
                                                    {17, "  0.0500  2.0000        1    0.0000"}}));
}

// ---------------------------------------------------------------------------
// The header block

TEST_F(QuorvelRun, HashInColumn100MakesAHeaderLine) {
    write("input.txt", "h.txt\n");
    write("h.txt", std::string(99, ' ') + "#\n" + fixedLine("  0.0010", "  1.0000"));

    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, kQuorvelBanner + lookLine("h.txt") +
                              "There are          2 lines in the data file.\n"
                              "     1 lines in the header\n" +
                              kColumnHeader + report({{1, "  0.0010  1.0000        1    0.0000"}}));
    EXPECT_EQ(read("h_binned.txt"), std::string(99, ' ') + "#\n" + quorvelProvenance("h.txt") +
                                        kColumnHeader + report({{1, "  0.0010  1.0000        1    0.0000"}}));
}

TEST_F(QuorvelRun, HashOnlyInColumn101IsADataLineOfZeros) {
    write("input.txt", "h.txt\n");
    write("h.txt", std::string(100, ' ') + "#\n" + fixedLine("  0.0010", "  1.0000"));

    RunResult result = run("quorvel");

    // The first line reads as twelve blank fields: a face of curvature and velocity 0 in bin 1.
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, kQuorvelBanner + lookLine("h.txt") +
                              "There are          2 lines in the data file.\n"
                              "     0 lines in the header\n" +
                              kColumnHeader + report({{1, "  0.0005  0.5000        2    0.5000"}}));
    EXPECT_EQ(read("h_binned.txt"), quorvelProvenance("h.txt") + kColumnHeader +
                                        report({{1, "  0.0005  0.5000        2    0.5000"}}));
}

TEST_F(QuorvelRun, HeaderLinesAreCopiedCutOrFilledToExactly100Characters) {
    const std::string longLine = "# long " + std::string(110, 'x') + "END";
    write("input.txt", "w.txt\n");
    write("w.txt", "# short\n" + longLine + "\n" + fixedLine("  0.0010", "  1.0000"));

    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read("w_binned.txt"), "# short" + std::string(93, ' ') + "\n" + "# long " +
                                        std::string(93, 'x') + "\n" + quorvelProvenance("w.txt") +
                                        kColumnHeader + report({{1, "  0.0010  1.0000        1    0.0000"}}));
}

TEST_F(QuorvelRun, CarriageReturnsBelongToTheLineEnd) {
    write("input.txt", "crlf.txt\r\n");
    // The second line has 88 characters: without its CR the velocity field is blank.
    write("crlf.txt",
          "# windows header\r\n"
          "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  0.9000  1.0000  0.0010\r\n"
          "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  0.9000  1.0000  0.0020  "
          "2.0000\r\n");

    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, kQuorvelBanner + lookLine("crlf.txt") +
                              "There are          3 lines in the data file.\n"
                              "     1 lines in the header\n" +
                              kColumnHeader + report({{1, "  0.0015  1.0000        2    1.0000"}}));
    EXPECT_EQ(read("crlf_binned.txt"), pad100("# windows header") + "\n" + quorvelProvenance("crlf.txt") +
                                           kColumnHeader +
                                           report({{1, "  0.0015  1.0000        2    1.0000"}}));
}

// ---------------------------------------------------------------------------
// Where the result file goes: the name rules of input.txt

struct NameCase {
    const char* name;
    const char* controlFile;  // content of input.txt
    const char* dataFile;     // path of the data file, created empty
    const char* nameField;    // the name as the program takes it
    const char* resultFile;
};

std::ostream& operator<<(std::ostream& out, const NameCase& c) {
    return out << c.name;
}

class QuorvelNames : public BlackBoxTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(QuorvelNames, ResultFileIsStemBeforeFirstDotPlusSuffix) {
    const NameCase& c = GetParam();
    write("input.txt", c.controlFile);
    write(c.dataFile, "");

    RunResult result = run("quorvel");

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, kQuorvelBanner + lookLine(c.nameField) +
                              "There are          0 lines in the data file.\n"
                              "     0 lines in the header\n" +
                              kColumnHeader + report());
    EXPECT_EQ(read(c.resultFile), quorvelProvenance(c.nameField) + kColumnHeader + report());
}

// clang-format off
const NameCase kNameCases[] = {
  {"QuotedDirectoryPartPutsResultBesideData", "'runs/a.txt'\n",       "runs/a.txt",       "runs/a.txt",       "runs/a_binned.txt"},
  {"UnquotedNameEndsAtSlash",                 "runs/a.txt\n",         "runs",             "runs",             "_binned.txt"},
  {"NameWithoutDotHasEmptyStem",              "data\n",               "data",             "data",             "_binned.txt"},
  {"FirstDotEndsTheStem",                     "run.1.txt\n",          "run.1.txt",        "run.1.txt",        "run_binned.txt"},
  {"QuotedNameStartingWithDotHasEmptyStem",   "'./a.txt'\n",          "a.txt",            "./a.txt",          "_binned.txt"},
  {"DoubledApostropheStandsForOne",           "'it''s.txt'\n",        "it's.txt",         "it's.txt",         "it's_binned.txt"},
  {"DoubledQuotationMarkAndBlankInQuotes",    "\"my \"\"x\"\" run.txt\"\n", "my \"x\" run.txt", "my \"x\" run.txt", "my \"x\" run_binned.txt"},
  {"BlankLinesAndLeadingBlanksSkipped",       "\n   \n  a.txt rest of line\n", "a.txt",    "a.txt",            "a_binned.txt"},
  {"UnquotedNameEndsAtComma",                 "a.txt,b.txt\n",        "a.txt",            "a.txt",            "a_binned.txt"},
  {"CarriageReturnIsNotPartOfTheName",        "a.txt\r\n",            "a.txt",            "a.txt",            "a_binned.txt"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(NameRules, QuorvelNames, ::testing::ValuesIn(kNameCases),
                         [](const ::testing::TestParamInfo<NameCase>& info) {
                             return std::string(info.param.name);
                         });

// Failures of every kind are catalogued in error_catalogue_test.cpp.

}  // namespace
}  // namespace blackbox
