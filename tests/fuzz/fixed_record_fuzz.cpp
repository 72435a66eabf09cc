// Fuzz target: the fixed-width record reader and writer.
//
// The input is a data file. Every line is read with readFixedRecord until it
// fails or the file ends. Properties:
//   - each call consumes exactly one line;
//   - the file ends exactly when its lines are used up (a last line without
//     a line end counts);
//   - each field reads as a plain second reading of the same text (see
//     reference_numbers.hpp) says, bit for bit, and a line is refused only
//     when that reading refuses one of its fields;
//   - every record accepted is written with writeFixedRecord as one line of
//     96 characters, field by field what formatRecordField gives;
//   - that line reads back with readFixedRecord to values that agree with the
//     ones read to the precision written (NaN stays NaN, signs and
//     infinities stay);
//   - writing the read-back record again gives the identical line: the text
//     written is a fixed point of read-then-write.

#include "common/input_file.hpp"
#include "common/output_file.hpp"
#include "common/run_error.hpp"
#include "common/triangle_data.hpp"
#include "tests/fuzz/fuzz_support.hpp"
#include "tests/fuzz/reference_numbers.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using triangle::TriangleRecord;

namespace {

std::int64_t linesIn(const std::uint8_t* data, std::size_t size) {
    const auto ends = std::count(data, data + size, '\n');
    return ends + ((size > 0 && data[size - 1] != '\n') ? 1 : 0);
}

std::string fieldsOf(const TriangleRecord& record) {
    std::string text(triangle::fixedLineLength, '?');
    char* p = text.data();
    for (const float v : record.values) p = triangle::formatRecordField(p, v);
    fuzz::check(p == text.data() + text.size(), "formatRecordField does not write 8 characters");
    return text;
}

// One input file object for every read: it keeps its 1 MiB block from one
// opening to the next, which keeps the target fast under AddressSanitizer.
triangle::InputFile& reader() {
    static triangle::InputFile in;
    return in;
}

std::vector<TriangleRecord> writeAndReadBack(const std::vector<TriangleRecord>& records,
                                             const std::string& path, std::string& written) {
    {
        triangle::OutputFile out;
        out.create(path);
        for (const auto& r : records) triangle::writeFixedRecord(out, r);
        out.close();
    }
    written = fuzz::readWholeFile(path);
    std::vector<TriangleRecord> back;
    triangle::InputFile& in = reader();
    in.open(path);
    for (std::size_t i = 0; i < records.size(); ++i) {
        try {
            back.push_back(triangle::readFixedRecord(in));
        } catch (const triangle::RunError& e) {
            fuzz::propertyBroken("a written record does not read back: " + std::string(e.what()));
        }
    }
    in.close();
    return back;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dataPath = fuzz::scratchPath("data.txt");
    static const std::string firstPath = fuzz::scratchPath("written.txt");
    fuzz::writeWholeFile(dataPath, data, size);
    const std::int64_t lines = linesIn(data, size);

    std::vector<TriangleRecord> records;
    bool failedOnContent = false;
    {
        triangle::InputFile& in = reader();
        in.open(dataPath);
        for (;;) {
            const std::int64_t before = in.lineNumber();
            try {
                records.push_back(triangle::readFixedRecord(in));
            } catch (const triangle::RunError&) {
                failedOnContent = before <= lines;
                break;
            }
            fuzz::check(in.lineNumber() == before + 1, "readFixedRecord did not consume exactly one line");
            fuzz::check(in.lineNumber() <= lines + 1, "readFixedRecord read past the last line");
        }
        in.close();
    }
    const auto lineTexts = fuzz::splitLines(data, size);
    fuzz::check(static_cast<std::int64_t>(lineTexts.size()) == lines, "line split disagrees");
    // The accepted lines (and the refused one) against the reference reading.
    const std::size_t compared = records.size() + (failedOnContent ? 1 : 0);
    for (std::size_t i = 0; i < compared; ++i) {
        std::string line(lineTexts[i].substr(0, triangle::fixedLineLength));
        line.resize(triangle::fixedLineLength, ' ');
        bool refused = false;
        for (int k = 0; k < triangle::recordValueCount; ++k) {
            const std::string_view field = std::string_view(line).substr(static_cast<std::size_t>(k) * 8, 8);
            const auto expected = fuzz::referenceFixedField(field);
            if (!expected) {
                refused = true;
                fuzz::check(i == records.size(), "line " + std::to_string(i + 1) + " field " +
                                                     std::to_string(k + 1) + " '" + std::string(field) +
                                                     "' accepted, the reference refuses it");
                break;
            }
            if (i < records.size())
                fuzz::check(fuzz::sameAsReference(*expected, records[i].values[static_cast<std::size_t>(k)]),
                            "line " + std::to_string(i + 1) + " field " + std::to_string(k + 1) + " '" +
                                std::string(field) + "' read as " +
                                fuzz::show(records[i].values[static_cast<std::size_t>(k)]) +
                                ", the reference reads " + fuzz::show(expected->value));
        }
        if (i == records.size())
            fuzz::check(refused, "line " + std::to_string(i + 1) + " refused, the reference accepts it");
    }

    if (!failedOnContent)
        fuzz::check(
            static_cast<std::int64_t>(records.size()) == lines,
            "read " + std::to_string(records.size()) + " records from " + std::to_string(lines) + " lines");
    if (records.empty()) return 0;

    std::string first;
    const auto back = writeAndReadBack(records, firstPath, first);
    fuzz::check(first.size() == records.size() * (triangle::fixedLineLength + 1),
                "written lines are not 96 characters and a line end");
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string_view line(first.data() + i * (triangle::fixedLineLength + 1),
                                    triangle::fixedLineLength + 1);
        fuzz::check(line.back() == '\n', "written line " + std::to_string(i + 1) + " has no line end");
        fuzz::check(line.substr(0, triangle::fixedLineLength) == fieldsOf(records[i]),
                    "writeFixedRecord differs from formatRecordField on line " + std::to_string(i + 1));
        for (int k = 0; k < triangle::recordValueCount; ++k)
            fuzz::checkAgree(
                records[i].values[static_cast<std::size_t>(k)], back[i].values[static_cast<std::size_t>(k)],
                "record " + std::to_string(i + 1) + " field " + std::to_string(k + 1) + " written as '" +
                    std::string(line.substr(static_cast<std::size_t>(k) * 8, 8)) + "'");
    }

    // The read-back records written again (as writeFixedRecord writes them,
    // checked above) give the same text.
    std::string second;
    for (const auto& r : back) second += fieldsOf(r) + "\n";
    if (second != first) {
        std::size_t at = 0;
        while (at < first.size() && at < second.size() && first[at] == second[at]) ++at;
        const std::size_t line = at / (triangle::fixedLineLength + 1);
        fuzz::propertyBroken("writing the read-back records changes line " + std::to_string(line + 1) +
                             ":\n  first  '" + first.substr(line * 97, 96) + "'\n  second '" +
                             second.substr(line * 97, 96) + "'");
    }
    return 0;
}
