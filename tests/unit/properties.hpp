// The property layer, written once: run with fixed seeds and exhaustive
// sweeps by the unit tests, and on arbitrary bytes by the fuzz target. Each
// property reads bytes with the product's fast and general paths, at several
// block sizes, and compares them with a reference built on std::from_chars
// and std::to_chars.
#pragma once

#include "common/fixed_width.hpp"
#include "common/free_record.hpp"
#include "common/number_fast.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace properties {

using namespace triangle;

// A broken property; the unit tests replace this with a test failure.
inline void (*broken)(const std::string& what) = [](const std::string& what) {
    std::fprintf(stderr, "property broken: %s\n", what.c_str());
    std::abort();
};

inline void expect(bool holds, const std::string& what) {
    if (!holds) broken(what);
}

inline bool same(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

// The reference reader. Fixed fields drop their blanks, may write the
// exponent as a sign alone and imply the point before their last 4 digits.
inline std::optional<float> referenceNumber(std::string text, bool fixedField) {
    if (fixedField && (std::erase(text, ' '), text.empty())) return 0.0f;
    std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    const bool negative = i == 1 && text[0] == '-';
    std::string word = text.substr(i);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    float value = word == "nan" ? NAN : word == "inf" || word == "infinity" ? INFINITY : 0.0f;
    if (value != 0.0f || std::isnan(value)) return negative ? -value : value;
    std::string digits;
    int pointAt = -1;
    for (; i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'); ++i) {
        if (text[i] == '.' && pointAt >= 0) return std::nullopt;
        if (text[i] == '.')
            pointAt = static_cast<int>(digits.size());
        else
            digits += text[i];
    }
    if (digits.empty()) return std::nullopt;
    long exponent = 0;  // saturated: beyond a million the value is 0 or infinite anyway
    if (i < text.size()) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        if (c == 'e' || c == 'd')
            ++i;
        else if (!fixedField || (c != '+' && c != '-'))
            return std::nullopt;
        const bool negativeExponent = i < text.size() && text[i] == '-';
        if ((i += i < text.size() && (text[i] == '+' || text[i] == '-')) == text.size()) return std::nullopt;
        for (; i < text.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1000000L);
        }
        if (negativeExponent) exponent = -exponent;
    }
    exponent -= pointAt >= 0 ? static_cast<long>(digits.size()) - pointAt : fixedField ? 4 : 0;
    const std::string decimal = digits + "e" + std::to_string(exponent);
    const auto significant =
        static_cast<long>(digits.size() - std::min(digits.find_first_not_of('0'), digits.size()));
    if (std::from_chars(decimal.data(), decimal.data() + decimal.size(), value).ec ==
        std::errc::result_out_of_range)
        value = exponent + significant > 0 ? INFINITY : 0.0f;
    return negative ? -value : value;
}

// Lines of `text`, each without its line end (and the '\r' before it).
inline std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line); lines.push_back(line))
        if (!line.empty() && line.back() == '\r') line.pop_back();
    return lines;
}

// Fixed-width lines: every field as the reference reads it, at any block size,
// at 180 more (so that the line end of a second 96-column line falls just
// before, on or just after the block end) and with the whole text in one block
// (where whole lines are read at once); the first field that is not a number
// fails its line. At odd sizes only values 11 and 12 are converted, the rest
// read as 0.
inline void fixedLines(std::string_view text, std::size_t blockSize) {
    for (const std::size_t size : {blockSize, 180 + blockSize, text.size() + 1}) {
        InputFile in;
        in.openMemory(text, "mem", size);
        expect(in.countRemainingLines() == std::ssize(linesOf(text)),
               "line count at block size " + std::to_string(size));
        in.openMemory(text, "mem", size);
        const int first = size % 2 != 0 ? 11 : 1;
        LineTally beyond;  // lines with more than blanks after column 96
        std::int64_t expectedBeyond = 0;
        for (std::string line : linesOf(text)) {
            expectedBeyond += line.find_first_not_of(" \r", 96) != std::string::npos;
            line.resize(96, ' ');
            const std::int64_t number = in.lineNumber();
            try {
                const TriangleRecord record = readFixedRecord(in, first, &beyond);
                for (int k = 0; k < 12; ++k) {
                    const std::string field = line.substr(8 * static_cast<std::size_t>(k), 8);
                    const std::optional<float> expected = referenceNumber(field, true);
                    expect(expected && same(record.values[static_cast<std::size_t>(k)],
                                            k + 1 < first ? 0.0f : *expected),
                           "fixed field '" + field + "' on line " + std::to_string(number));
                }
            } catch (const RunError& e) {
                const std::string message = e.what(),
                                  start = "mem: line " + std::to_string(number) + ": field ";
                expect(message.starts_with(start), message);
                const auto k = static_cast<std::size_t>(
                    std::clamp(std::atoi(message.c_str() + start.size()) - 1, 0, 11));
                const std::string field = line.substr(8 * k, 8);
                expect(!referenceNumber(field, true), "refused '" + field + "': " + message);
                break;
            }
        }
        expect(beyond.count == expectedBeyond,
               "lines with more after column 96 at block size " + std::to_string(size));
    }
}

// Free-form records read one after another (two usual lines at once where
// the block holds them): where each record stood and its values' bits, then
// the lines with more than 12 values and the failure that ends the reading;
// `values` receives the values, `more` and `where` (when given) that count
// and the lines of each record's first and last value.
inline std::string freeRecords(std::string_view text, std::size_t blockSize, std::vector<float>& values,
                               LineTally* more = nullptr, std::string* where = nullptr) {
    InputFile in;
    in.openMemory(text, "mem", blockSize);
    std::string lines;
    FreeRecordReader reader(in);
    try {
        for (FreeRecordLines at;;) {
            const TriangleRecord record = reader.next(&at);
            lines += std::to_string(at.first) + "-" + std::to_string(at.last) + " ";
            if (where != nullptr) *where += std::to_string(at.first) + "-" + std::to_string(at.last) + " ";
            for (const float v : record.values)
                lines += std::to_string(std::bit_cast<std::uint32_t>(v)) + " ";
            values.insert(values.end(), record.values.begin(), record.values.end());
        }
    } catch (const RunError& e) {
        if (more != nullptr) *more = reader.moreValues();
        return lines + std::to_string(reader.moreValues().count) + "+" +
               std::to_string(reader.moreValues().firstLine) + " " + e.what();
    }
}

// The free form: values separated by blanks, tabs, CR, line ends and single
// commas after a value. With the whole text in one block (the fast paths),
// exactly the records the reference completes are read: it takes the items by
// referenceNumber up to the first that is not a number (a slash, a comma with
// no value before it) and skips the rest of the line that holds a twelfth
// value; so nothing valid is refused and nothing invalid accepted; and the
// lines where an item (not blanks and commas alone) follows a twelfth value
// are the ones counted as holding more than 12 values, and each record's first
// and last line are where its first and twelfth values stand. The outcome
// (values or the failure) does not depend on where the block boundaries fall,
// given blocks as long as the longest item: at every size up to `maxBlock`,
// and with each of the first line ends just after, on and just before the end
// of the first block, where usual lines are read at once.
inline void freeForm(std::string_view text, std::size_t maxBlock) {
    std::vector<float> values, expected;
    LineTally more, expectedMore;
    std::string where, expectedWhere, first;
    const std::string outcome = freeRecords(text, text.size() + 1, values, &more, &where);
    const char* const separators = " \t\r\n,/";
    for (std::size_t i = 0, afterValue = 0; (i = text.find_first_not_of(" \t\r\n", i)) < text.size();) {
        if (text[i] == ',' && afterValue != 0)
            i = std::min(text.find_first_not_of(" \t\r\n", i + 1), text.size());
        const std::size_t end = std::min(text.find_first_of(separators, i), text.size());
        const std::optional<float> value = referenceNumber(std::string(text.substr(i, end - i)), false);
        if (!value) break;
        expected.push_back(*value);
        afterValue = expected.size() % 12;
        const std::string line =
            std::to_string(1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(i), '\n'));
        if (afterValue == 1) first = line;
        const std::size_t lineEnd = std::min(text.find('\n', end), text.size());
        if (afterValue == 0) expectedWhere += first + "-" + line + " ";
        if (afterValue == 0 && text.substr(end, lineEnd - end).find_first_not_of(" \t\r,") != text.npos)
            expectedMore.note(std::stoll(line));
        i = afterValue != 0 ? end : std::min(lineEnd, text.size() - 1) + 1;
    }
    expected.resize(expected.size() / 12 * 12);
    expect(std::equal(values.begin(), values.end(), expected.begin(), expected.end(), same),
           std::to_string(values.size()) + " values read, " + std::to_string(expected.size()) +
               " expected: " + outcome);
    expect(where == expectedWhere, "records on lines " + where + "expected " + expectedWhere);
    expect(more.count == expectedMore.count && more.firstLine == expectedMore.firstLine,
           "lines with more than 12 values: " + std::to_string(expectedMore.count) + " from line " +
               std::to_string(expectedMore.firstLine) + " expected: " + outcome);
    std::size_t longest = 0, run = 0;
    for (const char c : text)
        longest = std::max(longest, run = c != 0 && std::strchr(separators, c) ? 0 : run + 1);
    std::vector<std::size_t> sizes;
    for (std::size_t end = text.find('\n'); sizes.size() < 12 && end != text.npos;
         end = text.find('\n', end + 1))
        sizes.insert(sizes.end(), {end, end + 1, end + 2});
    for (std::size_t size = 1; size <= maxBlock; ++size) sizes.push_back(size);
    for (const std::size_t size : sizes)  // `values` only grows from here on
        expect(freeRecords(text, std::max(size, longest + 1), values) == outcome,
               "block size " + std::to_string(size) + " changes the outcome " + outcome);
}

// One number: the general readers (parseFixedField tries the fixed fast path
// first) and the free-form fast path agree with the reference.
inline void numberText(std::string_view text) {
    for (const bool fixedField : {true, false}) {
        const std::string field(text.substr(0, fixedField ? 8 : text.size()));
        float value = 0.0f;
        const bool ok = fixedField ? parseFixedField(field, value) : parseFreeValue(field, value);
        const std::optional<float> expected = referenceNumber(field, fixedField);
        expect(ok == expected.has_value() && (!ok || same(value, *expected)),
               (fixedField ? "fixed field '" : "free value '") + field + "'");
    }
    char padded[96] = {};
    const std::size_t length = std::min(text.size(), std::size_t{60});
    std::memcpy(padded, text.data(), length);
    padded[length] = ' ';
    float fast = 0.0f;
    if (const char* end = fast::parseUsualFreeNumber(padded, fast); end == padded + length) {
        const std::optional<float> expected = referenceNumber(std::string(padded, length), false);
        expect(expected && same(fast, *expected), "usual free number '" + std::string(padded, length) + "'");
    }
}

// The record writer against std::to_chars, and its text read back to itself.
inline void writtenField(float value) {
    char field[8];
    formatRecordField(field, value);
    char text[64];
    const char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4).ptr;
    const std::string usual(text, static_cast<std::size_t>(end - text));
    if (std::isfinite(value) && usual.size() <= 8)
        expect(std::string(8 - usual.size(), ' ') + usual == std::string(field, 8), "writes " + usual);
    float back = 0.0f;
    expect(parseFixedField(std::string_view(field, 8), back), "reads back " + std::string(field, 8));
    char again[8];
    formatRecordField(again, back);
    expect(std::memcmp(field, again, 8) == 0, "rewrites " + std::string(field, 8));
    char report[6];
    formatFixed(report, value, 6);
    const bool fits = !std::isinf(value) && (std::isnan(value) || usual.size() <= 6);
    expect(std::string(report, 6) == (fits ? std::string(field + 2, 6) : "******"), "report " + usual);
}

// The fuzz target's entry: the first byte chooses the property ('0' fixed
// lines, '1' free form, '2' one number, '3' a written float) and the block size.
inline void check(const std::uint8_t* data, std::size_t size) {
    const unsigned selector = size == 0 ? 0 : static_cast<std::uint8_t>(data[0] - '0');
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size == 0 ? 0 : size - 1);
    if (selector % 4 == 0) fixedLines(text, 1 + selector / 4 % 24);
    if (selector % 4 == 1) freeForm(text, 1 + selector / 4 % 40);
    if (selector % 4 == 2) numberText(text);
    if (selector % 4 == 3 && text.size() >= 4)
        writtenField(std::bit_cast<float>(
            std::uint32_t(data[1] | data[2] << 8 | data[3] << 16 | unsigned(data[4]) << 24)));
}

}  // namespace properties
