// Fuzz target: the free-form record reader, and the free-to-fixed rewrite.
//
// The input is a data file. Records are read with readFreeRecord until it
// fails or the file ends. Properties:
//   - the records and where reading stops are what a plain second reading of
//     the same bytes gives (below: blanks, tabs, line ends and one comma after
//     a value separate values; a slash or a second comma is refused; each
//     value read as reference_numbers.hpp says, bit for bit; the rest of the
//     twelfth value's line skipped);
//   - the line numbers reported for each record are those of its first and
//     twelfth value, and the next record starts on the following line;
//   - each record read, written with writeFixedRecord and read back with
//     readFixedRecord, agrees with the values read to the precision written
//     (4 decimals while they fit), NaN and infinities preserved.

#include "common/input_file.hpp"
#include "common/output_file.hpp"
#include "common/run_error.hpp"
#include "common/triangle_data.hpp"
#include "tests/fuzz/fuzz_support.hpp"
#include "tests/fuzz/reference_numbers.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using triangle::TriangleRecord;

namespace {

struct ModelRecord {
    std::array<fuzz::RefValue, 12> values;
    std::int64_t firstLine = 0;
    std::int64_t lastLine = 0;
};

// The whole file read the plain way: the records, and whether reading stops
// at a fault (true) or at the end of the file after the last record (false).
bool modelRead(std::string_view text, std::vector<ModelRecord>& records) {
    std::size_t at = 0;
    std::int64_t line = 1;
    for (;;) {
        ModelRecord record;
        bool afterValue = false;
        for (int k = 0; k < 12; ++k) {
            for (;;) {
                if (at == text.size()) return k != 0;  // inside a record: a fault
                const char c = text[at];
                if (c == ' ' || c == '\t' || c == '\r') {
                    ++at;
                } else if (c == '\n') {
                    ++at;
                    ++line;
                } else if (c == ',') {
                    if (!afterValue) return true;
                    afterValue = false;
                    ++at;
                } else if (c == '/') {
                    return true;
                } else {
                    break;
                }
            }
            const std::size_t start = at;
            while (at < text.size()) {
                const char c = text[at];
                if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '/') break;
                ++at;
            }
            const auto value = fuzz::referenceFreeValue(text.substr(start, at - start));
            if (!value) return true;
            record.values[static_cast<std::size_t>(k)] = *value;
            if (k == 0) record.firstLine = line;
            record.lastLine = line;
            afterValue = true;
        }
        records.push_back(record);
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) return false;
        at = end + 1;
        ++line;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dataPath = fuzz::scratchPath("data.txt");
    static const std::string writtenPath = fuzz::scratchPath("written.txt");
    fuzz::writeWholeFile(dataPath, data, size);

    std::vector<TriangleRecord> records;
    std::vector<triangle::FreeRecordLines> places;
    bool fault = false;
    // One input file object for every read: it keeps its 1 MiB block from one
    // opening to the next, which keeps the target fast under AddressSanitizer.
    static triangle::InputFile in;
    {
        in.open(dataPath);
        for (;;) {
            triangle::FreeRecordLines where;
            try {
                records.push_back(triangle::readFreeRecord(in, &where));
            } catch (const triangle::RunError& e) {
                // The end of the file right where a record would start is
                // the normal end; anything else is a fault.
                fault =
                    std::string_view(e.what()).find("found the end of the file") == std::string_view::npos;
                break;
            }
            places.push_back(where);
            fuzz::check(where.first >= 1 && where.first <= where.last, "record lines out of order");
            fuzz::check(in.lineNumber() == where.last + 1,
                        "the next record does not start on the line after the twelfth value");
        }
    }

    std::vector<ModelRecord> expected;
    const bool expectedFault =
        modelRead(std::string_view(reinterpret_cast<const char*>(data), size), expected);
    fuzz::check(records.size() == expected.size(), "read " + std::to_string(records.size()) +
                                                       " records, the reference reads " +
                                                       std::to_string(expected.size()));
    fuzz::check(fault == expectedFault, std::string("reading ends ") + (fault ? "with" : "without") +
                                            " a fault, the reference " +
                                            (expectedFault ? "with" : "without"));
    for (std::size_t i = 0; i < records.size(); ++i) {
        fuzz::check(places[i].first == expected[i].firstLine && places[i].last == expected[i].lastLine,
                    "record " + std::to_string(i + 1) + " placed on lines " +
                        std::to_string(places[i].first) + "-" + std::to_string(places[i].last) +
                        ", the reference says " + std::to_string(expected[i].firstLine) + "-" +
                        std::to_string(expected[i].lastLine));
        for (std::size_t k = 0; k < 12; ++k)
            fuzz::check(fuzz::sameAsReference(expected[i].values[k], records[i].values[k]),
                        "record " + std::to_string(i + 1) + " value " + std::to_string(k + 1) + " read as " +
                            fuzz::show(records[i].values[k]) + ", the reference reads " +
                            fuzz::show(expected[i].values[k].value));
    }
    if (records.empty()) return 0;

    // Free form in, fixed width out, fixed width back in.
    {
        triangle::OutputFile out;
        out.create(writtenPath);
        for (const auto& r : records) triangle::writeFixedRecord(out, r);
        out.close();
    }
    in.open(writtenPath);
    for (std::size_t i = 0; i < records.size(); ++i) {
        TriangleRecord back;
        try {
            back = triangle::readFixedRecord(in);
        } catch (const triangle::RunError& e) {
            fuzz::propertyBroken("record " + std::to_string(i + 1) +
                                 " written fixed width does not read back: " + e.what());
        }
        for (std::size_t k = 0; k < 12; ++k)
            fuzz::checkAgree(records[i].values[k], back.values[k],
                             "record " + std::to_string(i + 1) + " value " + std::to_string(k + 1));
    }
    try {
        (void)triangle::readFixedRecord(in);
        fuzz::propertyBroken("the written file holds more lines than records");
    } catch (const triangle::RunError&) {
    }
    return 0;
}
