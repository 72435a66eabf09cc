// The catalogue of bad inputs: each program on each kind of input it cannot
// use. Every failed run must end with a non-zero status (1 for content that
// cannot be read, 2 for a file that cannot be opened, read, created or
// written), exactly one line on standard error that starts with the program's
// name and the file (and the line, where there is one), standard output
// exactly as far as the run got, and the result file holding exactly what was
// written before the failure, or absent when the run ended before creating it.
//
// Then inputs that must never crash or hang a run: megabyte lines, binary
// garbage, NUL bytes. Every run here goes through a runner with a time limit,
// so a hang fails its test instead of blocking the suite.
#include "blackbox_run.hpp"

#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The tables below name only the fields a row needs; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace blackbox {
namespace {

// The files of a working directory before a run.
struct WorkFiles {
    std::optional<std::string> control;                      // input.txt; none: no control file
    std::vector<std::pair<std::string, std::string>> files;  // path, content
    std::vector<std::string> directories;
    std::vector<std::pair<std::string, std::string>> links;  // symbolic link, its target
};

class Catalogue : public BlackBoxTest {
protected:
    void prepare(const WorkFiles& setup) {
        if (setup.control) write("input.txt", *setup.control);
        for (const auto& [path, content] : setup.files) write(path, content);
        for (const auto& directory : setup.directories) makeDirectory(directory);
        for (const auto& [link, target] : setup.links) fs::create_symlink(target, work_ / link);
    }

    // Every non-directory entry below the working directory, as a relative path.
    std::set<std::string> entries() const {
        std::set<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(work_)) {
            if (entry.is_symlink() || !entry.is_directory())
                found.insert(entry.path().lexically_relative(work_).string());
        }
        return found;
    }

    static std::set<std::string> entriesOf(const WorkFiles& setup) {
        std::set<std::string> expected;
        if (setup.control) expected.insert("input.txt");
        for (const auto& file : setup.files) expected.insert(file.first);
        for (const auto& link : setup.links) expected.insert(link.first);
        return expected;
    }
};

bool startsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

// A fixed-width data line of fillers in which field `field` (1 to 12) holds `text` instead.
std::string fixedWith(int field, const std::string& text) {
    EXPECT_EQ(text.size(), 8u) << "'" << text << "'";
    const char* fields[12] = {"  0.1000", "  0.2000", "  0.3000", "  0.4000", "  0.5000", "  0.6000",
                              "  0.7000", "  0.8000", "  0.9000", "  1.0000", "  0.0010", "  1.0000"};
    std::string line;
    for (int n = 1; n <= 12; ++n) line += n == field ? text : fields[n - 1];
    return line + "\n";
}

// ---------------------------------------------------------------------------
// The catalogue proper: every row is one run whose whole outcome is known.

struct Row {
    std::string name;
    std::string program;
    WorkFiles setup;
    int status = 1;
    std::string errorStart;             // the error line starts with this; empty: no error line at all
    std::string errorContains;          // and holds this, if given
    std::string out;                    // the whole of standard output
    std::string resultFile;             // the file the run creates, if it gets that far
    std::optional<std::string> result;  // its whole content; none: it must not exist
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << row.name;
}

class ErrorCatalogue : public Catalogue, public ::testing::WithParamInterface<Row> {};

TEST_P(ErrorCatalogue, EndsWithItsStatusOneErrorLineAndWhatWasWrittenBeforeTheFailure) {
    const Row& row = GetParam();
    prepare(row.setup);

    RunResult outcome = run(row.program);

    ASSERT_FALSE(outcome.timedOut) << "still running after " << kTimeLimitSeconds << " s";
    ASSERT_EQ(outcome.signal, 0) << "ended by signal " << outcome.signal
                                 << "; standard error: " << outcome.err;
    EXPECT_EQ(outcome.status, row.status) << outcome.err;
    if (row.errorStart.empty()) {
        EXPECT_EQ(outcome.err, "");
    } else {
        EXPECT_EQ(countLines(outcome.err), 1) << outcome.err;
        EXPECT_EQ(outcome.err.back(), '\n') << outcome.err;
        EXPECT_TRUE(startsWith(outcome.err, row.errorStart)) << outcome.err.substr(0, 500);
        EXPECT_NE(outcome.err.find(row.errorContains), std::string::npos) << outcome.err.substr(0, 500);
    }
    EXPECT_EQ(outcome.out, row.out);

    std::set<std::string> expectedEntries = entriesOf(row.setup);
    if (row.result) {
        EXPECT_EQ(read(row.resultFile), *row.result);
        expectedEntries.insert(row.resultFile);
    }
    EXPECT_EQ(entries(), expectedEntries) << "files after the run";
}

const std::string kQuorvelUpToHeaderCount41 =  // quorvel on the four-line files below, one header line
    "There are          4 lines in the data file.\n"
    "     1 lines in the header\n";

const std::string kDremmickUpToHeaderCount41 =
    "There are        4 lines in the data file.\n"
    "           1  lines in the header\n";

const std::string kLimitLines =
    "# eliminated lines with curvature greater than   0.5000\n"
    "# eliminated lines with velocity greater than   2.0000\n";

const std::string kDremmickGoodRecord = "1 1 1 1 1 1 0 0 0 0 0.1 0.2\n";
const std::string kDremmickGoodRecordWritten =
    "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000  0.0000  0.0000  0.0000  0.1000  0.2000\n";

// quorvel on "# h", a good line, `badLine`, a good line: the run ends in pass 1
// on line 3, after the column header.
Row quorvelBadField(std::string name, std::string badLine, std::string errorStart) {
    return {.name = std::move(name),
            .program = "quorvel",
            .setup = {.control = "bad.txt\n",
                      .files = {{"bad.txt", "# h\n" + fixedLine("  0.0010", "  1.0000") + badLine +
                                                fixedLine("  0.0020", "  1.0000")}}},
            .status = 1,
            .errorStart = std::move(errorStart),
            .out = kQuorvelBanner + lookLine("bad.txt") + kQuorvelUpToHeaderCount41 + kColumnHeader,
            .resultFile = "bad_binned.txt",
            .result = pad100("# h") + "\n" + quorvelProvenance("bad.txt") + kColumnHeader};
}

// dremmick on "# h", a good record, `badLine`, a good record: the run ends on
// line 3 with the first record written.
Row dremmickBadValue(std::string name, std::string badLine, std::string errorStart) {
    return {.name = std::move(name),
            .program = "dremmick",
            .setup = {.control = "bad.txt\n0.5\n2\n",
                      .files = {{"bad.txt",
                                 "# h\n" + kDremmickGoodRecord + badLine + "1 1 1 1 1 1 0 0 0 0 0.3 0.4\n"}}},
            .status = 1,
            .errorStart = std::move(errorStart),
            .out = kDremmickBanner + lookLine("bad.txt") + kDremmickUpToHeaderCount41,
            .resultFile = "bad_cnd.txt",
            .result = pad100("# h") + "\n" + dremmickProvenance("bad.txt") + kLimitLines +
                      kDremmickGoodRecordWritten};
}

// A run that ends at the control file: banner only, no result file.
Row controlFileRow(std::string name, std::string program, std::optional<std::string> control, int status,
                   std::string errorStart) {
    return {.name = std::move(name),
            .program = program,
            .setup = {.control = std::move(control), .files = {{"a.txt", kDremmickGoodRecord}}},
            .status = status,
            .errorStart = std::move(errorStart),
            .out = program == "quorvel" ? kQuorvelBanner : kDremmickBanner};
}

// A run that ends at the data file: banner and the name, no result file.
Row dataFileRow(std::string name, std::string program, WorkFiles setup, std::string shownName,
                std::string errorStart) {
    const bool quorvel = program == "quorvel";
    return {.name = std::move(name),
            .program = program,
            .setup = std::move(setup),
            .status = 2,
            .errorStart = std::move(errorStart),
            .out = (quorvel ? kQuorvelBanner : kDremmickBanner) + lookLine(shownName)};
}

std::vector<Row> controlFileRows() {
    return {
        controlFileRow("QuorvelMissingControlFile", "quorvel", std::nullopt, 2, "quorvel: input.txt: "),
        controlFileRow("DremmickMissingControlFile", "dremmick", std::nullopt, 2, "dremmick: input.txt: "),
        {.name = "QuorvelControlFileIsADirectory",
         .program = "quorvel",
         .setup = {.directories = {"input.txt"}},
         .status = 2,
         .errorStart = "quorvel: input.txt: ",
         .out = kQuorvelBanner},
        {.name = "DremmickControlFileIsADirectory",
         .program = "dremmick",
         .setup = {.directories = {"input.txt"}},
         .status = 2,
         .errorStart = "dremmick: input.txt: ",
         .out = kDremmickBanner},
        // Reading /proc/self/mem from its start fails with an I/O error, even for root.
        {.name = "QuorvelUnreadableControlFile",
         .program = "quorvel",
         .setup = {.links = {{"input.txt", "/proc/self/mem"}}},
         .status = 2,
         .errorStart = "quorvel: input.txt: ",
         .out = kQuorvelBanner},
        {.name = "DremmickUnreadableControlFile",
         .program = "dremmick",
         .setup = {.links = {{"input.txt", "/proc/self/mem"}}},
         .status = 2,
         .errorStart = "dremmick: input.txt: ",
         .out = kDremmickBanner},
        controlFileRow("QuorvelEmptyControlFile", "quorvel", "", 1, "quorvel: input.txt: line 1: "),
        controlFileRow("DremmickEmptyControlFile", "dremmick", "", 1, "dremmick: input.txt: line 1: "),
        // The end of the file comes after the two blank lines, on line 3.
        controlFileRow("QuorvelControlFileOfBlankLines", "quorvel", "\n   \n", 1,
                       "quorvel: input.txt: line 3: "),
        controlFileRow("DremmickControlFileOfBlankLines", "dremmick", "\n\t\n", 1,
                       "dremmick: input.txt: line 3: "),
        controlFileRow("QuorvelQuotedNameWithoutClosingQuote", "quorvel", "'a.txt\n", 1,
                       "quorvel: input.txt: line 1: "),
        // Limits: dremmick reads both before it opens the data file.
        controlFileRow("CurvatureLimitLetters", "dremmick", "a.txt\nabc\n2\n", 1,
                       "dremmick: input.txt: line 2: "),
        controlFileRow("CurvatureLimitHash", "dremmick", "a.txt\n#\n2\n", 1, "dremmick: input.txt: line 2: "),
        controlFileRow("CurvatureLimitRepeatCount", "dremmick", "a.txt\n3*0.5\n2\n", 1,
                       "dremmick: input.txt: line 2: "),
        controlFileRow("CurvatureLimitEmptyBeforeComma", "dremmick", "a.txt\n,0.5\n2\n", 1,
                       "dremmick: input.txt: line 2: "),
        controlFileRow("VelocityLimitTrailingLetter", "dremmick", "a.txt\n0.5\n2.0x\n", 1,
                       "dremmick: input.txt: line 3: "),
        controlFileRow("VelocityLimitSlash", "dremmick", "a.txt\n0.5\n/\n", 1,
                       "dremmick: input.txt: line 3: "),
        controlFileRow("VelocityLimitTwoPoints", "dremmick", "a.txt\n0.5\n2.0.1\n", 1,
                       "dremmick: input.txt: line 3: "),
        controlFileRow("BothLimitsMissing", "dremmick", "a.txt\n", 1, "dremmick: input.txt: line 2: "),
        controlFileRow("VelocityLimitMissing", "dremmick", "a.txt\n0.5\n", 1,
                       "dremmick: input.txt: line 3: "),
        // Blank lines are passed over, so the end of the file is met on line 5.
        controlFileRow("VelocityLimitMissingAfterBlankLines", "dremmick", "a.txt\n\n0.5\n\n", 1,
                       "dremmick: input.txt: line 5: "),
    };
}

std::vector<Row> dataFileRows() {
    const std::string x100(100, 'x');
    const std::string xMegabyte(1'000'000, 'x');
    return {
        dataFileRow("QuorvelMissingDataFile", "quorvel", {.control = "missing.txt\n"}, "missing.txt",
                    "quorvel: missing.txt: "),
        dataFileRow("DremmickMissingDataFile", "dremmick", {.control = "missing.txt\n0.5\n2\n"},
                    "missing.txt", "dremmick: missing.txt: "),
        dataFileRow("QuorvelDataFileInMissingDirectory", "quorvel", {.control = "'nodir/a.txt'\n"},
                    "nodir/a.txt", "quorvel: nodir/a.txt: "),
        dataFileRow("DremmickDataFileInMissingDirectory", "dremmick", {.control = "'nodir/a.txt'\n0.5\n2\n"},
                    "nodir/a.txt", "dremmick: nodir/a.txt: "),
        dataFileRow("QuorvelDirectoryAsDataFile", "quorvel", {.control = "d.txt\n", .directories = {"d.txt"}},
                    "d.txt", "quorvel: d.txt: "),
        dataFileRow("DremmickDirectoryAsDataFile", "dremmick",
                    {.control = "d.txt\n0.5\n2\n", .directories = {"d.txt"}}, "d.txt", "dremmick: d.txt: "),
        // Reading /proc/self/mem from its start fails with an I/O error, even for root.
        dataFileRow("QuorvelUnreadableDataFile", "quorvel", {.control = "'/proc/self/mem'\n"},
                    "/proc/self/mem", "quorvel: /proc/self/mem: "),
        dataFileRow("DremmickUnreadableDataFile", "dremmick", {.control = "'/proc/self/mem'\n0.5\n2\n"},
                    "/proc/self/mem", "dremmick: /proc/self/mem: "),
        // A megabyte name is cut to 100 characters; no such file.
        dataFileRow("QuorvelMegabyteNameInControlFile", "quorvel", {.control = xMegabyte + "\n"}, x100,
                    "quorvel: " + x100 + ": "),
        dataFileRow("DremmickMegabyteNameInControlFile", "dremmick", {.control = xMegabyte + "\n0.5\n2\n"},
                    x100, "dremmick: " + x100 + ": "),
    };
}

std::vector<Row> resultFileRows() {
    const std::string quorvelOut = kQuorvelBanner + lookLine("a.txt") +
                                   "There are          2 lines in the data file.\n"
                                   "     1 lines in the header\n";
    const std::string dremmickOut = kDremmickBanner + lookLine("a.txt") +
                                    "There are        2 lines in the data file.\n"
                                    "           1  lines in the header\n";
    const std::string quorvelData = "# h\n" + fixedLine("  0.0010", "  1.0000");
    const std::string dremmickData = "# h\n" + kDremmickGoodRecord;
    return {
        {.name = "QuorvelResultNameTakenByDirectory",
         .program = "quorvel",
         .setup = {.control = "a.txt\n", .files = {{"a.txt", quorvelData}}, .directories = {"a_binned.txt"}},
         .status = 2,
         .errorStart = "quorvel: a_binned.txt: ",
         .out = quorvelOut},
        {.name = "DremmickResultNameTakenByDirectory",
         .program = "dremmick",
         .setup = {.control = "a.txt\n0.5\n2\n",
                   .files = {{"a.txt", dremmickData}},
                   .directories = {"a_cnd.txt"}},
         .status = 2,
         .errorStart = "dremmick: a_cnd.txt: ",
         .out = dremmickOut},
        // The result name leads into a directory that does not exist.
        {.name = "QuorvelResultDirectoryMissing",
         .program = "quorvel",
         .setup = {.control = "a.txt\n",
                   .files = {{"a.txt", quorvelData}},
                   .links = {{"a_binned.txt", "nodir/a_binned.txt"}}},
         .status = 2,
         .errorStart = "quorvel: a_binned.txt: ",
         .out = quorvelOut},
        {.name = "DremmickResultDirectoryMissing",
         .program = "dremmick",
         .setup = {.control = "a.txt\n0.5\n2\n",
                   .files = {{"a.txt", dremmickData}},
                   .links = {{"a_cnd.txt", "nodir/a_cnd.txt"}}},
         .status = 2,
         .errorStart = "dremmick: a_cnd.txt: ",
         .out = dremmickOut},
    };
}

std::vector<Row> quorvelFieldRows() {
    return {
        quorvelBadField("QuorvelLettersInField", fixedWith(10, "     abc"),
                        "quorvel: bad.txt: line 3: field 10 (columns 73-80): "),
        quorvelBadField("QuorvelLetterAmongDigits", fixedWith(11, "  1.2x34"),
                        "quorvel: bad.txt: line 3: field 11 (columns 81-88): "),
        quorvelBadField("QuorvelAsterisks", fixedWith(12, "********"),
                        "quorvel: bad.txt: line 3: field 12 (columns 89-96): "),
        quorvelBadField("QuorvelHashInField", fixedWith(5, "   #1.00"),
                        "quorvel: bad.txt: line 3: field 5 (columns 33-40): "),
        quorvelBadField("QuorvelTwoPoints", fixedWith(2, " 1.2.345"),
                        "quorvel: bad.txt: line 3: field 2 (columns 9-16): "),
        quorvelBadField("QuorvelMinusSignAlone", fixedWith(1, "       -"),
                        "quorvel: bad.txt: line 3: field 1 (columns 1-8): "),
        quorvelBadField("QuorvelPlusSignAlone", fixedWith(7, "   +    "),
                        "quorvel: bad.txt: line 3: field 7 (columns 49-56): "),
        quorvelBadField("QuorvelNulByteInField", fixedWith(3, std::string("  0.3") + '\0' + "00"),
                        "quorvel: bad.txt: line 3: field 3 (columns 17-24): "),
    };
}

std::vector<Row> dremmickValueRows() {
    return {
        dremmickBadValue("DremmickLetters", "1 2 abc 4 5 6 7 8 9 10 0.1 0.2\n",
                         "dremmick: bad.txt: line 3: "),
        dremmickBadValue("DremmickHashAmongValues", "1 2 # 4 5 6 7 8 9 10 0.1 0.2\n",
                         "dremmick: bad.txt: line 3: "),
        dremmickBadValue("DremmickRepeatCount", "1 2 3*0.0 4 5 6 7 8 9 10\n", "dremmick: bad.txt: line 3: "),
        dremmickBadValue("DremmickEmptyValueBetweenCommas", "1,2,,4,5,6,7,8,9,10,0.1,0.2\n",
                         "dremmick: bad.txt: line 3: "),
        dremmickBadValue("DremmickSlashBeforeTwelfthValue", "1 2 3 / 5 6 7 8 9 10 0.1 0.2\n",
                         "dremmick: bad.txt: line 3: "),
        dremmickBadValue("DremmickTwoPoints", "1 2 3 4 5 6 7 8 9 10 0.1 1.2.3\n",
                         "dremmick: bad.txt: line 3: "),
        dremmickBadValue("DremmickSignAlone", "1 2 3 4 5 6 7 8 9 10 0.1 -\n", "dremmick: bad.txt: line 3: "),
        dremmickBadValue("DremmickNulByteInValue", std::string("1 2 3") + '\0' + "4 5 6 7 8 9 10 0.1 0.2\n",
                         "dremmick: bad.txt: line 3: "),
        dremmickBadValue("DremmickNulByteAsValue", std::string("1 2 3 ") + '\0' + " 5 6 7 8 9 10 0.1 0.2\n",
                         "dremmick: bad.txt: line 3: "),
    };
}

std::vector<Row> recordRows() {
    const std::string out2 = kDremmickBanner + lookLine("s.txt") +
                             "There are        2 lines in the data file.\n"
                             "           0  lines in the header\n";
    const std::string out4 = kDremmickBanner + lookLine("s.txt") +
                             "There are        4 lines in the data file.\n"
                             "           0  lines in the header\n";
    const std::string written = dremmickProvenance("s.txt") + kLimitLines + kDremmickGoodRecordWritten;
    const std::string steps =
        "1 1 1 1 1 1 0 0 0 0 0.1 0.2\n"
        "2 2 2 2 2 2 2 2 2 2 0.2\n"
        "1.5 3 3 3 3 3 3 3 3 3 0.3 1.3\n"
        "4 4 4 4 4 4 4 4 4 4 0.4 1.4\n";
    // Line 2 lacks its twelfth value and takes the first value of line 3; line 4
    // is the third record; the fourth read meets the end of the file.
    const std::string stepsWritten =
        written +
        "  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  2.0000  0.2000  1.5000\n"
        "  4.0000  4.0000  4.0000  4.0000  4.0000  4.0000  4.0000  4.0000  4.0000  4.0000  0.4000  1.4000\n";
    return {
        {.name = "EndOfFileInsideRecord",
         .program = "dremmick",
         .setup = {.control = "s.txt\n0.5\n2\n", .files = {{"s.txt", kDremmickGoodRecord + "1 2 3 4\n"}}},
         .status = 1,
         .errorStart = "dremmick: s.txt: line 2: ",
         .out = out2,
         .resultFile = "s_cnd.txt",
         .result = written},
        {.name = "EndOfFileInsideRecordWithoutLineEnd",
         .program = "dremmick",
         .setup = {.control = "s.txt\n0.5\n2\n", .files = {{"s.txt", kDremmickGoodRecord + "1 2 3 4"}}},
         .status = 1,
         .errorStart = "dremmick: s.txt: line 2: ",
         .out = out2,
         .resultFile = "s_cnd.txt",
         .result = written},
        {.name = "BlankLastLineLeavesRecordWithoutValues",
         .program = "dremmick",
         .setup = {.control = "s.txt\n0.5\n2\n", .files = {{"s.txt", kDremmickGoodRecord + "\n"}}},
         .status = 1,
         .errorStart = "dremmick: s.txt: line 2: ",
         .out = out2,
         .resultFile = "s_cnd.txt",
         .result = written},
        {.name = "OutOfStepLinesNameTheShortLine",
         .program = "dremmick",
         .setup = {.control = "s.txt\n0.5\n2\n", .files = {{"s.txt", steps}}},
         .status = 1,
         .errorStart = "dremmick: s.txt: line 4: ",
         .errorContains = "went out of step at line 2, which holds fewer than 12 values",
         .out = out4,
         .resultFile = "s_cnd.txt",
         .result = stepsWritten},
    };
}

// Megabyte lines that are data: read as the formats say.
std::vector<Row> longLineRows() {
    const std::string megabyte(1'000'000, 'y');
    const std::string bin1 = "  0.0010  1.0000        1    0.0000";
    const std::string quorvelOut2 = kQuorvelBanner + lookLine("a.txt") +
                                    "There are          2 lines in the data file.\n"
                                    "     1 lines in the header\n" +
                                    kColumnHeader + report({{1, bin1}});
    std::string twoMegabytes;
    for (int n = 0; n < 1'000'000; ++n) twoMegabytes += n % 2 ? " 9" : " 1";
    auto dremmickOne = [](const std::string& data, const std::string& record, const std::string& summary) {
        return Row{.program = "dremmick",
                   .setup = {.control = "a.txt\n0.5\n2\n", .files = {{"a.txt", data}}},
                   .status = 0,
                   .out = kDremmickBanner + lookLine("a.txt") +
                          "There are        1 lines in the data file.\n"
                          "           0  lines in the header\n" +
                          summary,
                   .resultFile = "a_cnd.txt",
                   .result = dremmickProvenance("a.txt") + kLimitLines + record};
    };
    const std::string keptOne = summaryLines("          0", "          0", "          0", "          1");
    std::vector<Row> rows = {
        {.name = "QuorvelMegabyteHeaderLineIsCutTo100",
         .program = "quorvel",
         .setup = {.control = "a.txt\n",
                   .files = {{"a.txt", "#" + megabyte + "\n" + fixedLine("  0.0010", "  1.0000")}}},
         .status = 0,
         .out = quorvelOut2,
         .resultFile = "a_binned.txt",
         .result = "#" + std::string(99, 'y') + "\n" + quorvelProvenance("a.txt") + kColumnHeader +
                   report({{1, bin1}})},
        {.name = "QuorvelMegabyteDataLineReadsColumns1To96",
         .program = "quorvel",
         .setup =
             {.control = "a.txt\n",
              .files = {{"a.txt",
                         "# h\n"
                         "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  0.9000  1.0000"
                         "  0.0010  1.0000" +
                             megabyte + "\n"}}},
         .status = 0,
         .out = quorvelOut2,
         .resultFile = "a_binned.txt",
         .result = pad100("# h") + "\n" + quorvelProvenance("a.txt") + kColumnHeader + report({{1, bin1}})},
        {.name = "QuorvelMegabyteOfBlanksWithoutLineEndIsTwelveZeros",
         .program = "quorvel",
         .setup = {.control = "a.txt\n", .files = {{"a.txt", std::string(1'000'000, ' ')}}},
         .status = 0,
         .out = kQuorvelBanner + lookLine("a.txt") +
                "There are          1 lines in the data file.\n"
                "     0 lines in the header\n" +
                kColumnHeader + report({{1, "  0.0000  0.0000        1    0.0000"}}),
         .resultFile = "a_binned.txt",
         .result = quorvelProvenance("a.txt") + kColumnHeader +
                   report({{1, "  0.0000  0.0000        1    0.0000"}})},
    };
    // Two megabytes of digits and blanks on one line: the first twelve values
    // are the record (curvature 1 over the limit), the rest of the line is ignored.
    rows.push_back(dremmickOne(twoMegabytes.substr(1) + "\n", "",
                               summaryLines("          1", "          0", "          0", "          0")));
    rows.back().name = "DremmickTwoMegabyteLineOfDigitsAndBlanks";
    rows.push_back(
        dremmickOne(kDremmickGoodRecord.substr(0, kDremmickGoodRecord.size() - 1) + twoMegabytes + "\n",
                    kDremmickGoodRecordWritten, keptOne));
    rows.back().name = "DremmickTwoMegabytesAfterTheTwelfthValueAreIgnored";
    rows.push_back(
        dremmickOne(std::string(1'000'000, ' ') + kDremmickGoodRecord, kDremmickGoodRecordWritten, keptOne));
    rows.back().name = "DremmickMegabyteOfBlanksBeforeTheRecord";
    // 10^1000000 overflows single precision: infinity, which is not zero.
    rows.push_back(
        dremmickOne("1" + std::string(1'000'000, '0') + " 1 1 1 1 1 0 0 0 0 0.1 0.2\n",
                    "     Inf  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000  0.0000  0.0000  0.0000"
                    "  0.1000  0.2000\n",
                    keptOne));
    rows.back().name = "DremmickMegabyteNumberOverflowsToInfinity";
    rows.push_back(
        dremmickOne("1 1 1 1 1 1 0 0 0 0 0." + std::string(1'000'000, '3') + " 0.2\n",
                    "  1.0000  1.0000  1.0000  1.0000  1.0000  1.0000  0.0000  0.0000  0.0000  0.0000"
                    "  0.3333  0.2000\n",
                    keptOne));
    rows.back().name = "DremmickMegabyteOfDecimals";
    rows.push_back({.name = "DremmickMegabyteHeaderLineIsCutTo100",
                    .program = "dremmick",
                    .setup = {.control = "a.txt\n0.5\n2\n",
                              .files = {{"a.txt", "#" + megabyte + "\n" + kDremmickGoodRecord}}},
                    .status = 0,
                    .out = kDremmickBanner + lookLine("a.txt") +
                           "There are        2 lines in the data file.\n"
                           "           1  lines in the header\n" +
                           keptOne,
                    .resultFile = "a_cnd.txt",
                    .result = "#" + std::string(99, 'y') + "\n" + dremmickProvenance("a.txt") + kLimitLines +
                              kDremmickGoodRecordWritten});
    rows.push_back(dremmickOne(kDremmickGoodRecord, kDremmickGoodRecordWritten, keptOne));
    rows.back().name = "DremmickMegabyteRemarkAfterLimit";
    rows.back().setup.control = "a.txt\n0.5 " + std::string(1'000'000, 'r') + "\n2\n";
    // A NUL byte within the first 100 characters of a header line is copied like any other.
    rows.push_back({.name = "QuorvelNulByteInHeaderLineIsCopied",
                    .program = "quorvel",
                    .setup = {.control = "a.txt\n",
                              .files = {{"a.txt", std::string("# h") + '\0' + "x\n" +
                                                      fixedLine("  0.0010", "  1.0000")}}},
                    .status = 0,
                    .out = quorvelOut2,
                    .resultFile = "a_binned.txt",
                    .result = pad100(std::string("# h") + '\0' + "x") + "\n" + quorvelProvenance("a.txt") +
                              kColumnHeader + report({{1, bin1}})});
    return rows;
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(ControlFile, ErrorCatalogue, ::testing::ValuesIn(controlFileRows()), rowName);
INSTANTIATE_TEST_SUITE_P(DataFile, ErrorCatalogue, ::testing::ValuesIn(dataFileRows()), rowName);
INSTANTIATE_TEST_SUITE_P(ResultFile, ErrorCatalogue, ::testing::ValuesIn(resultFileRows()), rowName);
INSTANTIATE_TEST_SUITE_P(FixedWidthField, ErrorCatalogue, ::testing::ValuesIn(quorvelFieldRows()), rowName);
INSTANTIATE_TEST_SUITE_P(FreeFormValue, ErrorCatalogue, ::testing::ValuesIn(dremmickValueRows()), rowName);
INSTANTIATE_TEST_SUITE_P(FreeFormRecord, ErrorCatalogue, ::testing::ValuesIn(recordRows()), rowName);
INSTANTIATE_TEST_SUITE_P(LongLines, ErrorCatalogue, ::testing::ValuesIn(longLineRows()), rowName);

// ---------------------------------------------------------------------------
// A full disk. Where a write fails first depends on how much is buffered, so
// standard output and the result file are checked to be a beginning of what
// a complete run gives (written out below), and standard output to reach at
// least the header count when only the result file is on the full device.

struct FullDiskRow {
    std::string name;
    std::string program;
    WorkFiles setup;
    bool stdoutToFullDevice = false;
    std::string errorStart;
    std::string outAtLeast;  // standard output holds at least this
    std::string wholeOut;    // what a complete run prints
    std::string resultFile;
    std::string wholeResult;  // what a complete run writes
};

std::ostream& operator<<(std::ostream& out, const FullDiskRow& row) {
    return out << row.name;
}

class FullDisk : public Catalogue, public ::testing::WithParamInterface<FullDiskRow> {};

TEST_P(FullDisk, EndsWithStatus2AndOneErrorLineKeepingOnlyABeginningOfTheOutput) {
    const FullDiskRow& row = GetParam();
    prepare(row.setup);

    RunResult outcome = run(row.program, row.stdoutToFullDevice);

    ASSERT_FALSE(outcome.timedOut) << "still running after " << kTimeLimitSeconds << " s";
    ASSERT_EQ(outcome.signal, 0) << "ended by signal " << outcome.signal;
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_EQ(countLines(outcome.err), 1) << outcome.err;
    EXPECT_TRUE(startsWith(outcome.err, row.errorStart)) << outcome.err;
    if (!row.stdoutToFullDevice) {
        EXPECT_TRUE(startsWith(outcome.out, row.outAtLeast)) << outcome.out.substr(0, 2000);
        EXPECT_TRUE(startsWith(row.wholeOut, outcome.out)) << outcome.out.substr(0, 2000);
        EXPECT_TRUE(fs::is_symlink(work_ / row.resultFile)) << "the link to /dev/full was replaced";
    } else if (exists(row.resultFile)) {
        EXPECT_TRUE(startsWith(row.wholeResult, read(row.resultFile)));
    }
}

std::vector<FullDiskRow> fullDiskRows() {
    const std::string bin1 = "  0.0010  1.0000        1    0.0000";
    const std::string quorvelCounts =
        "There are          2 lines in the data file.\n"
        "     1 lines in the header\n";
    const std::string quorvelOut = kQuorvelBanner + lookLine("a.txt") + quorvelCounts;
    const std::string quorvelData = "# h\n" + fixedLine("  0.0010", "  1.0000");
    const std::string quorvelResult =
        pad100("# h") + "\n" + quorvelProvenance("a.txt") + kColumnHeader + report({{1, bin1}});

    const std::string dremmickOut = kDremmickBanner + lookLine("a.txt") +
                                    "There are        2 lines in the data file.\n"
                                    "           1  lines in the header\n";
    const std::string dremmickSummary =
        summaryLines("          0", "          0", "          0", "          1");
    const std::string dremmickData = "# h\n" + kDremmickGoodRecord;
    const std::string dremmickResult =
        pad100("# h") + "\n" + dremmickProvenance("a.txt") + kLimitLines + kDremmickGoodRecordWritten;

    // 20000 header lines: two megabytes of header copies, more than any buffer holds.
    std::string manyHeaders;
    for (int n = 0; n < 20000; ++n) manyHeaders += "# h\n";
    std::string manyRecords;
    for (int n = 0; n < 20000; ++n) manyRecords += kDremmickGoodRecord;

    return {
        {.name = "QuorvelResultFileOnFullDevice",
         .program = "quorvel",
         .setup = {.control = "a.txt\n",
                   .files = {{"a.txt", quorvelData}},
                   .links = {{"a_binned.txt", "/dev/full"}}},
         .errorStart = "quorvel: a_binned.txt: ",
         .outAtLeast = quorvelOut,
         .wholeOut = quorvelOut + kColumnHeader + report({{1, bin1}}),
         .resultFile = "a_binned.txt"},
        {.name = "DremmickResultFileOnFullDevice",
         .program = "dremmick",
         .setup = {.control = "a.txt\n0.5\n2\n",
                   .files = {{"a.txt", dremmickData}},
                   .links = {{"a_cnd.txt", "/dev/full"}}},
         .errorStart = "dremmick: a_cnd.txt: ",
         .outAtLeast = dremmickOut,
         .wholeOut = dremmickOut + dremmickSummary,
         .resultFile = "a_cnd.txt"},
        {.name = "QuorvelLargeResultFileOnFullDevice",
         .program = "quorvel",
         .setup = {.control = "a.txt\n",
                   .files = {{"a.txt", manyHeaders}},
                   .links = {{"a_binned.txt", "/dev/full"}}},
         .errorStart = "quorvel: a_binned.txt: ",
         .outAtLeast = kQuorvelBanner + lookLine("a.txt") +
                       "There are      20000 lines in the data file.\n"
                       " 20000 lines in the header\n",
         .wholeOut = kQuorvelBanner + lookLine("a.txt") +
                     "There are      20000 lines in the data file.\n"
                     " 20000 lines in the header\n" +
                     kColumnHeader + report(),
         .resultFile = "a_binned.txt"},
        {.name = "DremmickLargeResultFileOnFullDevice",
         .program = "dremmick",
         .setup = {.control = "a.txt\n0.5\n2\n",
                   .files = {{"a.txt", manyRecords}},
                   .links = {{"a_cnd.txt", "/dev/full"}}},
         .errorStart = "dremmick: a_cnd.txt: ",
         .outAtLeast = kDremmickBanner + lookLine("a.txt") +
                       "There are    20000 lines in the data file.\n"
                       "           0  lines in the header\n",
         .wholeOut = kDremmickBanner + lookLine("a.txt") +
                     "There are    20000 lines in the data file.\n"
                     "           0  lines in the header\n" +
                     summaryLines("          0", "          0", "          0", "      20000"),
         .resultFile = "a_cnd.txt"},
        {.name = "QuorvelStandardOutputOnFullDevice",
         .program = "quorvel",
         .setup = {.control = "a.txt\n", .files = {{"a.txt", quorvelData}}},
         .stdoutToFullDevice = true,
         .errorStart = "quorvel: standard output: ",
         .resultFile = "a_binned.txt",
         .wholeResult = quorvelResult},
        {.name = "DremmickStandardOutputOnFullDevice",
         .program = "dremmick",
         .setup = {.control = "a.txt\n0.5\n2\n", .files = {{"a.txt", dremmickData}}},
         .stdoutToFullDevice = true,
         .errorStart = "dremmick: standard output: ",
         .resultFile = "a_cnd.txt",
         .wholeResult = dremmickResult},
    };
}

INSTANTIATE_TEST_SUITE_P(Writes, FullDisk, ::testing::ValuesIn(fullDiskRows()),
                         [](const ::testing::TestParamInfo<FullDiskRow>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Garbage: whatever the outcome, a run ends by itself with status 0, 1 or 2,
// no signal, at most one line on standard error (exactly one, naming the
// program, when it fails), and standard output starting with the banner.

// Random bytes of every value from a fixed seed, with NUL bytes made common.
std::string garbage(std::uint32_t seed, std::size_t size) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (std::size_t n = 0; n < size; ++n) bytes[n] = n % 7 == 3 ? '\0' : static_cast<char>(byte(generator));
    return bytes;
}

struct GarbageRow {
    std::string name;
    std::string program;
    WorkFiles setup;
};

std::ostream& operator<<(std::ostream& out, const GarbageRow& row) {
    return out << row.name;
}

class Garbage : public Catalogue, public ::testing::WithParamInterface<GarbageRow> {};

TEST_P(Garbage, EndsByItselfWithAClearErrorOrAsData) {
    const GarbageRow& row = GetParam();
    prepare(row.setup);

    RunResult outcome = run(row.program);

    ASSERT_FALSE(outcome.timedOut) << "still running after " << kTimeLimitSeconds << " s";
    ASSERT_EQ(outcome.signal, 0) << "ended by signal " << outcome.signal;
    EXPECT_TRUE(outcome.status == 0 || outcome.status == 1 || outcome.status == 2)
        << outcome.status << ": " << outcome.err;
    EXPECT_LE(countLines(outcome.err), 1) << outcome.err;
    if (outcome.status != 0) {
        EXPECT_EQ(countLines(outcome.err), 1);
        EXPECT_TRUE(startsWith(outcome.err, row.program + ": ")) << outcome.err;
    }
    EXPECT_TRUE(startsWith(outcome.out, row.program == "quorvel" ? kQuorvelBanner : kDremmickBanner));
}

std::vector<GarbageRow> garbageRows() {
    const std::string noise = garbage(20210220, 1 << 16);
    const std::string oneLine = [&] {  // the same bytes without line ends: one 64 KiB line
        std::string line = noise;
        for (char& c : line) c = c == '\n' ? ' ' : c;
        return line;
    }();
    std::string nulRecords;  // free-form records with NUL bytes between and inside values
    static constexpr char nulRecord[] = "1\0 1 1\0\0 1 1 1 0 0 0 0 0.1 0.2\n";
    for (int n = 0; n < 50; ++n) nulRecords.append(nulRecord, sizeof nulRecord - 1);
    std::string nulFields;  // fixed-width lines with a NUL byte in a different column each
    for (int column = 0; column < 100; ++column) {
        std::string line = fixedLine("  0.0010", "  1.0000");
        line.pop_back();
        line.resize(100, ' ');
        line[column] = '\0';
        nulFields += line + "\n";
    }
    return {
        {"QuorvelBinaryGarbageDataFile", "quorvel", {.control = "g.txt\n", .files = {{"g.txt", noise}}}},
        {"DremmickBinaryGarbageDataFile",
         "dremmick",
         {.control = "g.txt\n0.5\n2\n", .files = {{"g.txt", noise}}}},
        {"QuorvelGarbageAfterHeader",
         "quorvel",
         {.control = "g.txt\n", .files = {{"g.txt", "# h\n" + fixedLine("  0.0010", "  1.0000") + noise}}}},
        {"DremmickGarbageAfterRecord",
         "dremmick",
         {.control = "g.txt\n0.5\n2\n", .files = {{"g.txt", "# h\n" + kDremmickGoodRecord + noise}}}},
        {"QuorvelGarbageOnOneLine", "quorvel", {.control = "g.txt\n", .files = {{"g.txt", oneLine}}}},
        {"DremmickGarbageOnOneLine",
         "dremmick",
         {.control = "g.txt\n0.5\n2\n", .files = {{"g.txt", oneLine}}}},
        {"QuorvelGarbageControlFile", "quorvel", {.control = noise}},
        {"DremmickGarbageControlFile", "dremmick", {.control = noise}},
        {"DremmickGarbageLimits",
         "dremmick",
         {.control = "g.txt\n" + noise, .files = {{"g.txt", kDremmickGoodRecord}}}},
        {"QuorvelNulBytesInEveryColumn", "quorvel", {.control = "g.txt\n", .files = {{"g.txt", nulFields}}}},
        {"DremmickNulBytesAmongValues",
         "dremmick",
         {.control = "g.txt\n0.5\n2\n", .files = {{"g.txt", nulRecords}}}},
        {"QuorvelFileOfNulBytes",
         "quorvel",
         {.control = "g.txt\n", .files = {{"g.txt", std::string(1'000'000, '\0')}}}},
        {"DremmickFileOfNulBytes",
         "dremmick",
         {.control = "g.txt\n0.5\n2\n", .files = {{"g.txt", std::string(1'000'000, '\0')}}}},
    };
}

INSTANTIATE_TEST_SUITE_P(Robustness, Garbage, ::testing::ValuesIn(garbageRows()),
                         [](const ::testing::TestParamInfo<GarbageRow>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Runs that must leave the data file alone.

using DataFileSafety = Catalogue;

// A NUL byte in the name in input.txt: "a<NUL>b.txt" cannot name a file. The
// run must stop at the control file and leave the file "a" alone, neither
// reading it nor creating a result file over it.
TEST_F(DataFileSafety, NulByteInDataFileNameIsRejectedAndLeavesFileNamedByItsBeginningAlone) {
    for (const std::string program : {"quorvel", "dremmick"}) {
        SCOPED_TRACE(program);
        const std::string precious = "# keep me\n" + kDremmickGoodRecord;
        write("input.txt", std::string("a\0b.txt\n0.5\n2\n", 14));
        write("a", precious);

        RunResult outcome = run(program);

        ASSERT_FALSE(outcome.timedOut);
        ASSERT_EQ(outcome.signal, 0);
        EXPECT_EQ(outcome.status, 1) << outcome.err;
        EXPECT_EQ(read("a"), precious);
        EXPECT_EQ(entries(), (std::set<std::string>{"a", "input.txt"}));
        EXPECT_EQ(countLines(outcome.err), 1) << outcome.err;
        EXPECT_TRUE(startsWith(outcome.err, program + ": input.txt: line 1: ")) << outcome.err;
        EXPECT_EQ(outcome.out, program == "quorvel" ? kQuorvelBanner : kDremmickBanner);
    }
}

// './_binned.txt' starts with a ".", so its stem is empty and the result file
// is _binned.txt in the working directory: the data file itself. Creating the
// result file must not destroy the data being read.
TEST_F(DataFileSafety, ResultFileThatIsTheDataFileIsNotCreated) {
    const std::string data = "# h\n" + fixedLine("  0.0010", "  1.0000");
    write("input.txt", "'./_binned.txt'\n");
    write("_binned.txt", data);

    RunResult outcome = run("quorvel");

    ASSERT_FALSE(outcome.timedOut);
    ASSERT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(read("_binned.txt"), data);
    EXPECT_EQ(countLines(outcome.err), 1) << outcome.err;
    EXPECT_TRUE(startsWith(outcome.err, "quorvel: ")) << outcome.err;
    EXPECT_EQ(outcome.out, kQuorvelBanner + lookLine("./_binned.txt") +
                               "There are          2 lines in the data file.\n"
                               "     1 lines in the header\n");
}

TEST_F(DataFileSafety, DremmickResultFileThatIsTheDataFileIsNotCreated) {
    const std::string data = "# h\n" + kDremmickGoodRecord;
    write("input.txt", "'./_cnd.txt'\n0.5\n2\n");
    write("_cnd.txt", data);

    RunResult outcome = run("dremmick");

    ASSERT_FALSE(outcome.timedOut);
    ASSERT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(read("_cnd.txt"), data);
    EXPECT_EQ(countLines(outcome.err), 1) << outcome.err;
    EXPECT_TRUE(startsWith(outcome.err, "dremmick: ")) << outcome.err;
    EXPECT_EQ(outcome.out, kDremmickBanner + lookLine("./_cnd.txt") +
                               "There are        2 lines in the data file.\n"
                               "           1  lines in the header\n");
}

}  // namespace
}  // namespace blackbox
