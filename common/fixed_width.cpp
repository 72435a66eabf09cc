#include "common/fixed_width.hpp"

#include "common/number_fast.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace triangle {
namespace {

// The usual line: whether all 12 fields of the 96 columns at `line` have the
// form fast::readUsualFixedField() reads, as it would find field by field;
// reads 97 bytes. Written
// byte by byte with a template per column, so that the compiler checks 16
// bytes at a time: a digit column holds c with c ^ '0' <= 9, the point column
// c ^ '.' == 0, and columns 1-2 a digit, a blank or a minus sign.
struct FixedColumns {
    std::uint8_t flip[96], upTo[96], lead[96], first[96];
    constexpr FixedColumns() : flip{}, upTo{}, lead{}, first{} {
        for (int i = 0; i < 96; ++i) {
            const int column = i % 8;
            flip[i] = column == 3 ? '.' : '0';
            upTo[i] = column == 3 ? 0 : 9;
            lead[i] = column < 2 ? 0xFF : 0;
            first[i] = column == 0 ? 0xFF : 0;
        }
    }
};
constexpr FixedColumns fixedColumns{};

bool usualFixedLine(const char* line) {
    const FixedColumns& m = fixedColumns;
    std::uint8_t bad = 0;
    for (int i = 0; i < 96; ++i) {
        const auto c = static_cast<std::uint8_t>(line[i]);
        const auto next = static_cast<std::uint8_t>(line[i + 1]);
        const auto wrong = static_cast<std::uint8_t>(-(static_cast<std::uint8_t>(c ^ m.flip[i]) > m.upTo[i]));
        const auto blank = static_cast<std::uint8_t>(-(c == ' '));
        const auto minus = static_cast<std::uint8_t>(-(c == '-'));
        const auto nextNotDigit = static_cast<std::uint8_t>(-(static_cast<std::uint8_t>(next ^ '0') > 9));
        bad |= wrong & ~((blank | minus) & m.lead[i]);
        // Column 1 holds a digit or a minus sign only ahead of a digit.
        bad |= m.first[i] & ~blank & nextNotDigit;
    }
    return bad == 0;
}

constexpr const char* freeFormHint = "; the line looks free-form: condition the file with dremmick first";

// A comma or a tab, or a number not right-aligned in its 8 columns (a blank
// after a non-blank within a field), marks a free-form line.
bool looksFreeForm(std::string_view line) {
    if (line.find_first_of(",\t") != std::string_view::npos) return true;
    for (std::size_t k = 0; k + 1 < line.size(); ++k)
        if (line[k] != ' ' && line[k + 1] == ' ' && k % fixedFieldWidth != fixedFieldWidth - 1) return true;
    return false;
}

// Any other line, or one that ends beyond the block; only such a line can
// hold more than blanks after column 96.
[[gnu::noinline]] void readAnyFixedLine(InputFile& in, int first, TriangleRecord& record,
                                        LineTally* pastColumn96) {
    std::string_view text;
    bool beyond = false;
    if (!in.readLine(text, fixedLineLength, pastColumn96 != nullptr ? &beyond : nullptr))
        in.failAtEnd("a data line");
    if (beyond) pastColumn96->note(in.lineRead());
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
            in.failExpectedInLineRead("a number", quoted(field),
                                      "field " + std::to_string(k + 1) + " (columns " +
                                          std::to_string(column) + "-" +
                                          std::to_string(column + fixedFieldWidth - 1) + ")",
                                      looksFreeForm(text) ? freeFormHint : "");
        }
    }
    std::fill_n(record.values.begin(), first - 1, 0.0f);
}

}  // namespace

TriangleRecord readFixedRecord(InputFile& in, int first, LineTally* pastColumn96) {
    TriangleRecord record;
    // Nearly every line is twelve usual fields and a line end, all in the
    // block: checked at once, and only the values wanted are converted.
    if (const std::string_view unread = in.window();
        unread.size() > fixedLineLength && usualFixedLine(unread.data())) {
        const std::size_t lineEnd = unread[fixedLineLength] == '\n' ? fixedLineLength : fixedLineLength + 1;
        if (lineEnd < unread.size() && unread[lineEnd] == '\n' &&
            lineTextLength({unread.data(), lineEnd}) == fixedLineLength) {
            for (int k = first - 1; k < recordValueCount; ++k)
                fast::readUsualFixedField(unread.data() + k * fixedFieldWidth,
                                          record.values[static_cast<std::size_t>(k)]);
            in.passLineEnd(lineEnd);
            return record;
        }
    }
    readAnyFixedLine(in, first, record, pastColumn96);
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
