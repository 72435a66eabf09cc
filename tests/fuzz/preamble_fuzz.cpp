// Fuzz target: the whole run preamble of quorvel on an arbitrary data file.
//
// The process works in a private scratch directory holding input.txt (naming
// data.txt) and the input as data.txt; standard output goes to /dev/null.
// Properties:
//   - the line count is the number of line ends, plus one for a last line
//     without one;
//   - the header count is the run of leading lines holding a "#" in their
//     first 100 characters, so never more than the line count;
//   - the data file is left at the first line after the header block, and the
//     data lines that follow read as records until the first one refused,
//     after which (or after the last line) there is none;
//   - the result file holds each header line cut or blank-filled to 100
//     characters, then the two provenance lines, and nothing else;
//   - RunError is the only failure allowed (a data line refused by the record
//     reader).

#include "common/input_file.hpp"
#include "common/run_error.hpp"
#include "common/run_preamble.hpp"
#include "common/triangle_data.hpp"
#include "tests/fuzz/fuzz_support.hpp"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string field100(std::string_view text) {
    std::string field(text.substr(0, 100));
    field.resize(100, ' ');
    return field;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::perror("/dev/null");
        std::abort();
    }
    const std::string& dir = fuzz::scratchDirectory();
    if (chdir(dir.c_str()) != 0) {
        std::perror(dir.c_str());
        std::abort();
    }
    fuzz::writeWholeFile(dir + "/input.txt", std::string_view("data.txt\n"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = fuzz::scratchDirectory();
    fuzz::writeWholeFile(dir + "/data.txt", data, size);
    std::remove((dir + "/data_binned.txt").c_str());

    const std::vector<std::string_view> lines = fuzz::splitLines(data, size);
    std::size_t expectedHeader = 0;
    while (expectedHeader < lines.size() &&
           lines[expectedHeader].substr(0, 100).find('#') != std::string_view::npos)
        ++expectedHeader;

    std::int32_t lineCount = 0;
    std::int32_t headerCount = 0;
    try {
        triangle::RunContext context = triangle::RunPreamble(triangle::quorvelProfile);
        lineCount = context.lineCount;
        headerCount = context.headerCount;
        fuzz::check(lineCount == static_cast<std::int32_t>(lines.size()),
                    "line count " + std::to_string(lineCount) + ", the file has " +
                        std::to_string(lines.size()) + " lines");
        fuzz::check(
            headerCount >= 0 && headerCount <= lineCount,
            "header count " + std::to_string(headerCount) + " of " + std::to_string(lineCount) + " lines");
        fuzz::check(
            headerCount == static_cast<std::int32_t>(expectedHeader),
            "header count " + std::to_string(headerCount) + ", expected " + std::to_string(expectedHeader));
        fuzz::check(context.dataFile.lineNumber() == headerCount + 1,
                    "the data file is left at line " + std::to_string(context.dataFile.lineNumber()));
        fuzz::check(context.stemLength == 4, "stem length " + std::to_string(context.stemLength));

        // The data lines as quorvel's first pass reads them.
        std::int32_t read = 0;
        try {
            for (; read < lineCount - headerCount; ++read) (void)triangle::readFixedRecord(context.dataFile);
        } catch (const triangle::RunError&) {
        }
        if (read == lineCount - headerCount) {
            bool more = true;
            try {
                (void)triangle::readFixedRecord(context.dataFile);
            } catch (const triangle::RunError&) {
                more = false;
            }
            fuzz::check(!more, "a record read after the last line");
        }
        context.resultFile.close();
    } catch (const triangle::RunError& e) {
        fuzz::propertyBroken(std::string("the preamble fails: ") + e.what());
    }

    std::string expected;
    for (std::size_t j = 0; j < expectedHeader; ++j) expected += field100(lines[j]) + "\n";
    expected += "# written by quorvel: " + field100("version 02/20/2021") + "\n";
    expected += "# initial file: " + field100("data.txt") + "\n";
    const std::string result = fuzz::readWholeFile(dir + "/data_binned.txt");
    fuzz::check(result == expected, "the result file holds\n" + result + "\nexpected\n" + expected);
    return 0;
}
