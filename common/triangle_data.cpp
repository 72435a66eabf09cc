#include "common/triangle_data.hpp"

#include "common/number_fast.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace triangle {

// ---------------------------------------------------------------- header block

void writeTextField(OutputFile& out, std::string_view prefix, std::string_view field) {
    field = field.substr(0, textFieldWidth);
    char* p = out.reserve(prefix.size() + textFieldWidth + 1);
    p = std::copy(prefix.begin(), prefix.end(), p);
    std::fill(std::copy(field.begin(), field.end(), p), p + textFieldWidth, ' ');
    p += textFieldWidth;
    *p++ = '\n';
    out.commit(p);
}

bool isHeaderLine(std::string_view head) {
    return head.substr(0, textFieldWidth).find('#') != std::string_view::npos;
}

std::int32_t measureHeaderBlock(InputFile& in, std::int64_t lineCount, std::vector<std::string>* lines) {
    std::string_view head;
    std::int32_t count = 0;
    for (; count < lineCount && in.readLine(head, textFieldWidth) && isHeaderLine(head); ++count)
        if (lines != nullptr) lines->emplace_back(head);
    return count;
}

void readHeaderBlock(InputFile& in, std::int32_t count, OutputFile* copy) {
    std::string_view head;
    for (std::int32_t j = 1; j <= count; ++j) {
        if (!in.readLine(head, textFieldWidth))
            failBadInput(in.path(), j, "expected a header line, found the end of the file");
        if (copy != nullptr) writeTextField(*copy, {}, head);
    }
}

// ---------------------------------------------------------------- fixed width

namespace {

constexpr const char* freeFormHint = "; the line looks free-form: condition the file with dremmick first";

// A comma or a tab, or a number not right-aligned in its 8 columns (a blank
// after a non-blank within a field), marks a free-form line.
bool looksFreeForm(std::string_view line) {
    if (line.find_first_of(",\t") != std::string_view::npos) return true;
    for (std::size_t k = 0; k + 1 < line.size(); ++k)
        if (line[k] != ' ' && line[k + 1] == ' ' && k % fixedFieldWidth != fixedFieldWidth - 1) return true;
    return false;
}

}  // namespace

TriangleRecord readFixedRecord(InputFile& in, int first) {
    TriangleRecord record;
    // Nearly every line is twelve usual fields and a line end, all in the
    // block: checked at once, and only the values wanted are converted.
    if (const std::string_view unread = in.buffered();
        unread.size() > fixedLineLength && fast::usualFixedLine(unread.data())) {
        const std::string_view lineEnd = unread.substr(fixedLineLength, 2);
        const std::size_t ending = lineEnd[0] == '\n' ? 1 : lineEnd == "\r\n" ? 2 : 0;
        if (ending != 0) {
            for (int k = first - 1; k < recordValueCount; ++k)
                fast::readUsualFixedField(unread.data() + k * fixedFieldWidth,
                                          record.values[static_cast<std::size_t>(k)]);
            in.passLine(unread.data() + fixedLineLength + ending);
            return record;
        }
    }

    const std::int64_t line = in.lineNumber();
    std::string_view text;
    if (!in.readLine(text, fixedLineLength))
        failBadInput(in.path(), line, "expected a data line, found the end of the file");
    char padded[fixedLineLength];
    if (text.size() < fixedLineLength) {
        // Missing columns read as blanks.
        std::memcpy(padded, text.data(), text.size());
        std::memset(padded + text.size(), ' ', fixedLineLength - text.size());
        text = std::string_view(padded, fixedLineLength);
    }
    for (int k = 0; k < recordValueCount; ++k) {
        const std::string_view field(text.data() + k * fixedFieldWidth, fixedFieldWidth);
        if (!parseFixedField(field, record.values[static_cast<std::size_t>(k)])) {
            const int column = k * fixedFieldWidth + 1;
            failBadInput(in.path(), line,
                         "field " + std::to_string(k + 1) + " (columns " + std::to_string(column) + "-" +
                             std::to_string(column + fixedFieldWidth - 1) + "): expected a number, found " +
                             quoted(field) + (looksFreeForm(text) ? freeFormHint : ""));
        }
    }
    std::fill_n(record.values.begin(), first - 1, 0.0f);
    return record;
}

namespace {

// The columns of a usual field: 1-4 (blanks, the sign, the integer digits and
// the point) for the integer parts 0-999 of non-negative values, then 0-99 of
// negative ones; 5-8 for the decimals 0000-9999.
struct FieldColumns {
    char lead[1100][4];
    char decimals[10000][4];
    constexpr FieldColumns() : lead{}, decimals{} {
        for (int n = 0; n < 1100; ++n) {
            char* text = lead[n];
            text[0] = text[1] = ' ';
            text[3] = '.';
            int column = 2;
            for (int rest = n % 1000; column == 2 || rest > 0; rest /= 10)
                text[column--] = static_cast<char>('0' + rest % 10);
            if (n >= 1000) text[column] = '-';
        }
        for (int n = 0; n < 10000; ++n)
            for (int k = 3, rest = n; k >= 0; --k, rest /= 10)
                decimals[n][k] = static_cast<char>('0' + rest % 10);
    }
};
constexpr FieldColumns fieldColumns{};

// Values of 1000 or more, or -100 or less, infinities and NaN: kept out of
// line, away from the usual case.
[[gnu::cold]] char* formatWideField(char* out, float value) {
    if (std::isinf(value)) return std::memcpy(out, value > 0 ? "     Inf" : "    -Inf", 8), out + 8;
    // As many decimals as fit, always with a point; NaN as the word.
    for (int decimals = 4; decimals >= 0; --decimals)
        if (char* end = tryFormatFixed(out, value, fixedFieldWidth, decimals)) return end;
    // Too large for any of those: d.ddE+XX, or -d.dE+XX.
    char text[32];
    const int digits = std::signbit(value) ? 1 : 2;
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, digits);
    const auto length = static_cast<std::size_t>(result.ptr - text);
    for (std::size_t i = 0; i < length; ++i)
        if (text[i] == 'e') text[i] = 'E';
    std::memset(out, ' ', fixedFieldWidth);
    std::memcpy(out + fixedFieldWidth - length, text, length);
    return out + fixedFieldWidth;
}

}  // namespace

char* formatRecordField(char* out, float value) {
    // The usual case, |value| below 1000 (below 100 when negative): the text
    // formatFixed() writes, built without its general steps. The magnitude
    // times 10^4 must round to at most 9999999 (999999), so lie below the
    // limit for its sign; compared without a branch on the sign, which varies.
    static constexpr double limits[2] = {9999999.5, 999999.5};
    const bool negative = std::signbit(value);
    const double scaled = std::fabs(static_cast<double>(value) * 10000.0);
    if (scaled < limits[negative]) {
        const auto units = static_cast<std::uint32_t>(fast::roundToInteger(scaled));
        std::memcpy(out, fieldColumns.lead[units / 10000 + 1000 * negative], 4);
        std::memcpy(out + 4, fieldColumns.decimals[units % 10000], 4);
        return out + fixedFieldWidth;
    }
    return formatWideField(out, value);
}

void writeFixedRecord(OutputFile& out, const TriangleRecord& record) {
    char* p = out.reserve(fixedLineLength + 1);
    for (const float value : record.values) p = formatRecordField(p, value);
    *p++ = '\n';
    out.commit(p);
}

}  // namespace triangle
