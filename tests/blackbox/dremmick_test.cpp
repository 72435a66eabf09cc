// dremmick run end to end: the limits from input.txt, the free-form data
// lines, the rejection tests, the conditioned file and the summary.
#include "blackbox_run.hpp"

#include <ostream>
#include <string>

namespace blackbox {
namespace {

using DremmickRun = BlackBoxTest;

// The console lines of a run that reached the data loop, up to the header count.
std::string preambleOutput(const std::string& name, const std::string& lineCountLine,
                           const std::string& headerCountLine) {
    return kDremmickBanner + lookLine(name) + lineCountLine + headerCountLine;
}

// ---------------------------------------------------------------------------
// The whole run

TEST_F(DremmickRun, DropsBlankAndOverLimitLinesAndWritesTheRestWithMagnitudes) {
    write("input.txt", "raw.txt\n0.5\n2.0\n");
    write("raw.txt",
          "# raw triangles\n"
          "0 0 0 0 0 0 7 8 9 10 0.9 5.0\n"        // blank: first triple
          "1 0 0 0 0 0 7 8 9 10 0.9 5.0\n"        // blank: second triple
          "1,0,0, 1,0,0, 7,8,9, 10, -0.7, 5.0\n"  // curvature over the limit
          "1 0 0 1 0 0 7 8 9 10 0.5 -3.0\n"       // velocity over the limit
          "1 0 0 1 0 0 7 8 9 -10 -0.5 -2.0\n");   // written

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, preambleOutput("raw.txt", "There are        6 lines in the data file.\n",
                                         "           1  lines in the header\n") +
                              summaryLines("          1", "          1", "          2", "          1"));
    EXPECT_EQ(read("raw_cnd.txt"), pad100("# raw triangles") + "\n" + dremmickProvenance("raw.txt") +
                                       "# eliminated lines with curvature greater than   0.5000\n"
                                       "# eliminated lines with velocity greater than   2.0000\n"
                                       "  1.0000  0.0000  0.0000  1.0000  0.0000  0.0000  7.0000  8.0000  "
                                       "9.0000 10.0000  0.5000  2.0000\n");
}

TEST_F(DremmickRun, EmptyDataFileGivesZeroSummaryAndOnlyProvenanceAndLimitLines) {
    write("input.txt", "e.txt\n0.5\n2\n");
    write("e.txt", "");

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, preambleOutput("e.txt", "There are        0 lines in the data file.\n",
                                         "           0  lines in the header\n") +
                              summaryLines("          0", "          0", "          0", "          0"));
    EXPECT_EQ(read("e_cnd.txt"), dremmickProvenance("e.txt") +
                                     "# eliminated lines with curvature greater than   0.5000\n"
                                     "# eliminated lines with velocity greater than   2.0000\n");
}

// ---------------------------------------------------------------------------
// The limits

TEST_F(DremmickRun, LimitsComeFromFirstValueOfNextNonBlankLinesAndAreStrict) {
    // Line 2 is empty, so the limits come from lines 3 and 4, each followed by a remark.
    write("input.txt", "lim.txt\n\n0.25 curvature limit\n1.5, velocity limit\n");
    write("lim.txt",
          "1 1 1 1 1 1 0 0 0 0 0.25 1.5\n"       // equal to both limits: written
          "1 1 1 1 1 1 0 0 0 0 0.2501 0\n"       // curvature over
          "1 1 1 1 1 1 0 0 0 0 -0.25 -1.5001\n"  // velocity over
          "1 1 1 1 1 1 0 0 0 0 0.3 9\n"          // over both: counted as curvature only
          "0 0 0 1 1 1 0 0 0 0 0.3 9\n");        // blank and over both: counted as blank only

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, preambleOutput("lim.txt", "There are        5 lines in the data file.\n",
                                         "           0  lines in the header\n") +
                              summaryLines("          2", "          1", "          1", "          1"));
    EXPECT_EQ(read("lim_cnd.txt"), dremmickProvenance("lim.txt") +
                                       "# eliminated lines with curvature greater than   0.2500\n"
                                       "# eliminated lines with velocity greater than   1.5000\n"
                                       "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000  0.0000  "
                                       "0.0000  0.0000  0.2500  1.5000\n");
}

TEST_F(DremmickRun, LimitZeroPassesOnlyZeroOfEitherSign) {
    write("input.txt", "z.txt\n0\n0\n");
    write("z.txt",
          "1 1 1 1 1 1 0 0 0 0 0 0\n"
          "1 1 1 1 1 1 0 0 0 0 -0 -0\n"
          "1 1 1 1 1 1 0 0 0 0 0.0001 0\n"
          "1 1 1 1 1 1 0 0 0 0 -0.0001 0\n"
          "1 1 1 1 1 1 0 0 0 0 0 1e-30\n");

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, preambleOutput("z.txt", "There are        5 lines in the data file.\n",
                                         "           0  lines in the header\n") +
                              summaryLines("          2", "          1", "          0", "          2"));
    EXPECT_EQ(read("z_cnd.txt"), dremmickProvenance("z.txt") +
                                     "# eliminated lines with curvature greater than   0.0000\n"
                                     "# eliminated lines with velocity greater than   0.0000\n"
                                     "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000  0.0000  "
                                     "0.0000  0.0000  0.0000  0.0000\n"
                                     "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000  0.0000  "
                                     "0.0000  0.0000  0.0000  0.0000\n");
}

TEST_F(DremmickRun, LimitIsAppliedAtFullPrecisionNotAsShownInTheLimitLine) {
    write("input.txt", "p.txt\n0.00004\n1\n");
    write("p.txt",
          "1 1 1 1 1 1 0 0 0 0 0.00003 0\n"    // below the limit: written
          "1 1 1 1 1 1 0 0 0 0 0.00005 0\n");  // above it, though the limit shows as 0.0000

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, preambleOutput("p.txt", "There are        2 lines in the data file.\n",
                                         "           0  lines in the header\n") +
                              summaryLines("          1", "          0", "          0", "          1"));
    EXPECT_EQ(read("p_cnd.txt"), dremmickProvenance("p.txt") +
                                     "# eliminated lines with curvature greater than   0.0000\n"
                                     "# eliminated lines with velocity greater than   1.0000\n"
                                     "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000  0.0000  "
                                     "0.0000  0.0000  0.0000  0.0000\n");
}

// ---------------------------------------------------------------------------
// Signs, zeros and rounding of the written values

TEST_F(DremmickRun, NegativeValuesTenToTwelveLoseTheirSignOthersKeepIt) {
    write("input.txt", "neg.txt\n1\n2\n");
    write("neg.txt",
          "# a\n"
          "# b\n"
          "# c\n"
          "-1.5 -2.25 -3 -4 -5 -6 -7 -8 -9.5 -10 -0.125 -1.75\n"
          // Negative zero and values that round to zero keep their minus sign in 1 to 9.
          "1 -0 2 -0.0 3 0 -0.00001 0.00004 0.00005 -0 -0 -0\n");

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, preambleOutput("neg.txt", "There are        5 lines in the data file.\n",
                                         "           3  lines in the header\n") +
                              summaryLines("          0", "          0", "          0", "          2"));
    EXPECT_EQ(read("neg_cnd.txt"), pad100("# a") + "\n" + pad100("# b") + "\n" + pad100("# c") + "\n" +
                                       dremmickProvenance("neg.txt") +
                                       "# eliminated lines with curvature greater than   1.0000\n"
                                       "# eliminated lines with velocity greater than   2.0000\n"
                                       " -1.5000 -2.2500 -3.0000 -4.0000 -5.0000 -6.0000 -7.0000 -8.0000 "
                                       "-9.5000 10.0000  0.1250  1.7500\n"
                                       "  1.0000 -0.0000  2.0000 -0.0000  3.0000  0.0000 -0.0000  0.0000  "
                                       "0.0000  0.0000  0.0000  0.0000\n");
}

TEST_F(DremmickRun, ExactHalfwayValuesRoundToTheEvenLastDigit) {
    write("input.txt", "tie.txt\n0.03125\n2.5\n");
    write("tie.txt", "1 1 1 0.03125 0.09375 -0.03125 0.15625 0.21875 1.03125 0 0 0\n");

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read("tie_cnd.txt"), dremmickProvenance("tie.txt") +
                                       "# eliminated lines with curvature greater than   0.0312\n"
                                       "# eliminated lines with velocity greater than   2.5000\n"
                                       "  1.0000  1.0000  1.0000  0.0312  0.0938 -0.0312  0.1562  0.2188  "
                                       "1.0312  0.0000  0.0000  0.0000\n");
}

TEST_F(DremmickRun, NegativeZeroTripleIsBlankButZeroThirdTripleIsNot) {
    write("input.txt", "z.txt\n1\n1\n");
    write("z.txt",
          "-0 0 -0.0 1 1 1 5 5 5 0 0 0\n"
          "1 1 1 -0.0 -0 0 5 5 5 0 0 0\n"
          "1 1 1 1 1 1 0 -0 0 0 0 0\n");

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, preambleOutput("z.txt", "There are        3 lines in the data file.\n",
                                         "           0  lines in the header\n") +
                              summaryLines("          0", "          0", "          2", "          1"));
    EXPECT_EQ(read("z_cnd.txt"), dremmickProvenance("z.txt") +
                                     "# eliminated lines with curvature greater than   1.0000\n"
                                     "# eliminated lines with velocity greater than   1.0000\n"
                                     "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000 -0.0000  "
                                     "0.0000  0.0000  0.0000  0.0000\n");
}

TEST_F(DremmickRun, FreeFormTakesCommasTabsExponentsCarriageReturnsAndSkipsRestOfTwelfthValuesLine) {
    write("input.txt", "free.txt\n1\n2\n");
    write("free.txt",
          "# windows header\r\n"
          "1,2 , 3,4\t5\t6 7 8 9 10 .5 1.5D0\r\n"
          "1e0 2E0 +3 4. 5.0d0 6 7 8 9 10 0.25 0.75 99 more words\n"
          "\t1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2");  // the last line lacks its line end

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, preambleOutput("free.txt", "There are        4 lines in the data file.\n",
                                         "           1  lines in the header\n") +
                              summaryLines("          0", "          0", "          0", "          3"));
    EXPECT_EQ(read("free_cnd.txt"), pad100("# windows header") + "\n" + dremmickProvenance("free.txt") +
                                        "# eliminated lines with curvature greater than   1.0000\n"
                                        "# eliminated lines with velocity greater than   2.0000\n"
                                        "  1.0000  2.0000  3.0000  4.0000  5.0000  6.0000  7.0000  8.0000  "
                                        "9.0000 10.0000  0.5000  1.5000\n"
                                        "  1.0000  2.0000  3.0000  4.0000  5.0000  6.0000  7.0000  8.0000  "
                                        "9.0000 10.0000  0.2500  0.7500\n"
                                        "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  "
                                        "1.0000  1.0000  1.0000  2.0000\n");
}

TEST_F(DremmickRun, NotANumberIsNeverZeroNeverGreaterAndAsLimitSwitchesItsTestOff) {
    write("input.txt", "n.txt\nnan\n2\n");
    write("n.txt",
          "nan 0 0 1 1 1 0 0 0 0 100 1\n"      // not blank; no curvature test: written
          "1 1 1 1 1 1 0 0 0 -nan nan -NaN\n"  // a velocity that is not a number passes
          "1 1 1 1 1 1 0 0 0 0 0 inf\n"        // velocity over the limit
          "NaN 0 0 0 0 0 0 0 0 0 0 0\n");      // blank by the second triple

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, preambleOutput("n.txt", "There are        4 lines in the data file.\n",
                                         "           0  lines in the header\n") +
                              summaryLines("          0", "          1", "          1", "          2"));
    EXPECT_EQ(read("n_cnd.txt"), dremmickProvenance("n.txt") +
                                     "# eliminated lines with curvature greater than      NaN\n"
                                     "# eliminated lines with velocity greater than   2.0000\n"
                                     "     NaN  0.0000  0.0000  1.0000  1.0000  1.0000  0.0000  0.0000  "
                                     "0.0000  0.0000100.0000  1.0000\n"
                                     "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000  0.0000  "
                                     "0.0000     NaN     NaN     NaN\n");
}

// Values that do not fit 8 characters with 4 decimals give up decimals, then
// take an exponent, so that every written record reads back; the limit lines
// are display only and keep their asterisks.
TEST_F(DremmickRun, WideValuesKeepEightCharactersAndQuorvelReadsThemBack) {
    write("input.txt", "w.txt\n1\n1e20\n");
    write("w.txt", "1234.5678 -123.4567 9999999 12300000000 -100 1000 nan inf -Infinity -5000 0.5 20000\n");

    RunResult filtered = run("dremmick");

    ASSERT_EQ(filtered.status, 0) << filtered.err;
    const std::string conditioned =
        dremmickProvenance("w.txt") +
        "# eliminated lines with curvature greater than   1.0000\n"
        "# eliminated lines with velocity greater than*********\n"
        "1234.568-123.4579999999.1.23E+10-100.0001000.000     NaN     Inf    -Inf5000.000  0.500020000.00\n";
    EXPECT_EQ(read("w_cnd.txt"), conditioned);

    write("input.txt", "w_cnd.txt\n");
    RunResult binned = run("quorvel");

    EXPECT_EQ(binned.status, 0) << binned.err;
    EXPECT_EQ(read("w_cnd_binned.txt"),
              pad100("# written by dremmick: version 02/19/2021") + "\n" + pad100("# initial file: w.txt") +
                  "\n" + pad100("# eliminated lines with curvature greater than   1.0000") + "\n" +
                  pad100("# eliminated lines with velocity greater than*********") + "\n" +
                  quorvelProvenance("w_cnd.txt") + kColumnHeader +
                  report({{167, "  0.5000  ******        1    0.0000"}}));
}

// ---------------------------------------------------------------------------
// Lines and records out of step (the other failures are catalogued in
// error_catalogue_test.cpp)

struct OutOfStepCase {
    const char* name;
    const char* secondLine;
    const char* secondRecord;  // what the second read writes
    const char* errorEnd;
};

std::ostream& operator<<(std::ostream& out, const OutOfStepCase& c) {
    return out << c.name;
}

class DremmickOutOfStep : public BlackBoxTest, public ::testing::WithParamInterface<OutOfStepCase> {};

TEST_P(DremmickOutOfStep, RunEndsAtEndOfFileNamingTheLineWhereReadsSlipped) {
    const OutOfStepCase& c = GetParam();
    write("input.txt", "step.txt\n0.5\n5\n");
    write("step.txt", std::string("1 1 1 1 1 1 1 1 1 1 0.1 1\n") + c.secondLine +
                          "3 3 3 3 3 3 3 3 3 3 0.3 3\n"
                          "4 4 4 4 4 4 4 4 4 4 0.4 4\n");

    RunResult result = run("dremmick");

    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, preambleOutput("step.txt", "There are        4 lines in the data file.\n",
                                         "           0  lines in the header\n"));
    EXPECT_ONE_ERROR_LINE_STARTING(result, "dremmick: step.txt: line ");
    const std::string end = c.errorEnd;
    EXPECT_TRUE(result.err.size() >= end.size() &&
                result.err.compare(result.err.size() - end.size(), end.size(), end) == 0)
        << result.err;
    EXPECT_EQ(read("step_cnd.txt"), dremmickProvenance("step.txt") +
                                        "# eliminated lines with curvature greater than   0.5000\n"
                                        "# eliminated lines with velocity greater than   5.0000\n"
                                        "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  "
                                        "1.0000  1.0000  0.1000  1.0000\n" +
                                        c.secondRecord +
                                        "  4.0000  4.0000  4.0000  4.0000  4.0000  4.0000  4.0000  4.0000  "
                                        "4.0000  4.0000  0.4000  4.0000\n");
}

// clang-format off
const OutOfStepCase kOutOfStepCases[] = {
  // Eleven values: the twelfth is the first value of line 3, whose rest is skipped.
  {"LineWithElevenValues", "2 2 2 2 2 2 2 2 2 2 0.2\n",
   "  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  0.2000  3.0000\n",
   "; lines and records went out of step at line 2, which holds fewer than 12 values\n"},
  // An empty line is counted but supplies no value: the second read takes line 3.
  {"EmptyLineAmongData", "\n",
   "  3.0000  3.0000  3.0000  3.0000  3.0000  3.0000  3.0000  3.0000  3.0000  3.0000  0.3000  3.0000\n",
   "; lines and records went out of step at line 2, which holds no values\n"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(EndOfFileInsideRecord, DremmickOutOfStep, ::testing::ValuesIn(kOutOfStepCases),
                         [](const ::testing::TestParamInfo<OutOfStepCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace blackbox
