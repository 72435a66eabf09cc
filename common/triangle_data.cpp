#include "common/triangle_data.hpp"

#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace triangle {

// ---------------------------------------------------------------- fixed width

TriangleRecord readFixedRecord(InputFile& in) {
    const std::int64_t line = in.lineNumber();
    std::string_view text;
    if (!in.readLine(text, fixedLineLength))
        failBadInput(in.path(), line, "expected a data line, found the end of the file");

    TriangleRecord record;
    char padded[fixedLineLength];
    if (text.size() < fixedLineLength) {
        // Missing columns read as blanks.
        std::memcpy(padded, text.data(), text.size());
        std::memset(padded + text.size(), ' ', fixedLineLength - text.size());
        text = std::string_view(padded, fixedLineLength);
    }
    // Nearly every line is in the usual form: read all twelve fields without a
    // branch, and go through them one by one only when one is not.
    const char* const columns = text.data();
    bool usual = true;
    for (int k = 0; k < recordValueCount; ++k)
        usual &=
            readUsualFixedField(columns + k * fixedFieldWidth, record.values[static_cast<std::size_t>(k)]);
    if (usual) return record;
    for (int k = 0; k < recordValueCount; ++k) {
        const std::string_view field(columns + k * fixedFieldWidth, fixedFieldWidth);
        if (!parseFixedField(field, record.values[static_cast<std::size_t>(k)])) {
            const int first = k * fixedFieldWidth + 1;
            failBadInput(in.path(), line,
                         "field " + std::to_string(k + 1) + " (columns " + std::to_string(first) + "-" +
                             std::to_string(first + fixedFieldWidth - 1) + "): expected a number, found " +
                             quoted(field));
        }
    }
    return record;
}

namespace {

constexpr char twoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

}  // namespace

char* formatRecordField(char* out, float value) {
    // The usual case, |value| below 1000: the same text tryFormatFixed()
    // writes, built without its general loops.
    const double scaled = std::fabs(static_cast<double>(value) * 10000.0);
    if (scaled < 9999999.5) {
        constexpr double roundingShift = 6755399441055744.0;  // 1.5 * 2^52: rounds to even
        const auto units = static_cast<std::uint32_t>((scaled + roundingShift) - roundingShift);
        const bool negative = std::signbit(value);
        if (!negative || units <= 999999) {
            const std::uint32_t whole = units / 10000;
            const std::uint32_t fraction = units % 10000;
            std::memcpy(out + 4, twoDigits + 2 * (fraction / 100), 2);
            std::memcpy(out + 6, twoDigits + 2 * (fraction % 100), 2);
            out[3] = '.';
            out[2] = static_cast<char>('0' + whole % 10);
            const char sign = negative ? '-' : ' ';
            if (whole >= 100) {
                out[1] = static_cast<char>('0' + whole / 10 % 10);
                out[0] = static_cast<char>('0' + whole / 100);
            } else if (whole >= 10) {
                out[1] = static_cast<char>('0' + whole / 10);
                out[0] = sign;
            } else {
                out[1] = sign;
                out[0] = ' ';
            }
            return out + fixedFieldWidth;
        }
    }
    if (std::isnan(value)) return std::memcpy(out, "     NaN", 8), out + 8;
    if (std::isinf(value)) return std::memcpy(out, value > 0 ? "     Inf" : "    -Inf", 8), out + 8;
    // As many decimals as fit, always with a point.
    for (int decimals = 4; decimals >= 0; --decimals)
        if (tryFormatFixed(out, value, fixedFieldWidth, decimals)) return out + fixedFieldWidth;
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

void writeFixedRecord(OutputFile& out, const TriangleRecord& record) {
    char* p = out.reserve(fixedLineLength + 1);
    for (const float value : record.values) p = formatRecordField(p, value);
    *p++ = '\n';
    out.commit(p);
}

// ------------------------------------------------------------------ free form

namespace {

// What a byte is to the free form: part of a value, or a separator of some kind.
enum Separator : std::uint8_t { none, blank, lineEnd, comma, slash };
struct SeparatorTable {
    Separator kind[256];
    constexpr SeparatorTable() : kind{} {
        kind[static_cast<unsigned char>(' ')] = blank;
        kind[static_cast<unsigned char>('\t')] = blank;
        kind[static_cast<unsigned char>('\r')] = blank;
        kind[static_cast<unsigned char>('\n')] = lineEnd;
        kind[static_cast<unsigned char>(',')] = comma;
        kind[static_cast<unsigned char>('/')] = slash;
    }
};
constexpr SeparatorTable separators{};

Separator separatorAt(const char* p) {
    return separators.kind[static_cast<unsigned char>(*p)];
}

bool endsValue(char c) {
    return separators.kind[static_cast<unsigned char>(c)] != none;
}

enum class Token { number, text, endOfFile };

// Finds the next value, passing over blanks, tabs, line ends and the one comma
// allowed after a value. `afterValue` says whether a value came last, so that
// a comma can stand after it. A value in a usual spelling is read at once into
// `number`; any other comes back as `text`.
Token nextValue(InputFile& in, std::string_view& value, float& number, bool& afterValue) {
    for (;;) {
        const char* p = in.cursor();
        const char* const limit = in.limit();
        for (;;) {
            // Blanks eight at a time (the block is padded for reading past its end).
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            const std::uint64_t nonBlank = word ^ 0x2020202020202020u;
            p += nonBlank == 0 ? 8 : std::countr_zero(nonBlank) >> 3;
            if (p >= limit) {
                p = limit;
                break;
            }
            const Separator kind = separatorAt(p);
            if (kind == none) break;
            if (kind == lineEnd) in.noteLineEnd();
            if (kind == comma) {
                if (!afterValue) {
                    in.consume(p);
                    failBadInput(in.path(), in.lineNumber(),
                                 "expected a number, found an empty value (a comma with no value before it)");
                }
                afterValue = false;
            }
            if (kind == slash) {
                in.consume(p);
                failBadInput(in.path(), in.lineNumber(),
                             "expected a number, found '/' (ending a record early is not supported)");
            }
            ++p;
        }
        in.consume(p);
        if (p == limit) {
            if (in.fill() == InputFile::Fill::endOfFile) return Token::endOfFile;
            continue;
        }
        // The usual spellings are read in place; the block is padded for that.
        if (const char* end = parseUsualFreeNumber(p, number);
            end != nullptr && end < limit && endsValue(*end)) {
            in.consume(end);
            afterValue = true;
            return Token::number;
        }
        const char* end = p;
        while (end < limit && !endsValue(*end)) ++end;
        if (end == limit) {
            // The value may go on in the next block; filling moves the bytes.
            const auto status = in.fill();
            if (status == InputFile::Fill::more) continue;
            if (status == InputFile::Fill::full)
                failBadInput(in.path(), in.lineNumber(),
                             "expected a number, found an item of more than " +
                                 std::to_string(InputFile::blockSize) + " characters");
            p = in.cursor();
            end = in.limit();
        }
        value = std::string_view(p, static_cast<std::size_t>(end - p));
        in.consume(end);
        afterValue = true;
        return Token::text;
    }
}

}  // namespace

TriangleRecord readFreeRecord(InputFile& in, FreeRecordLines* lines) {
    TriangleRecord record;
    bool afterValue = false;
    std::int64_t firstLine = 0;
    for (int k = 0; k < recordValueCount; ++k) {
        std::string_view text;
        float& value = record.values[static_cast<std::size_t>(k)];
        const Token token = nextValue(in, text, value, afterValue);
        if (token == Token::endOfFile) {
            const std::int64_t last = in.lastLineNumber();
            if (k == 0)
                failBadInput(in.path(), last, "expected a record of 12 values, found the end of the file");
            failBadInput(in.path(), last,
                         "the file ends inside a record: found " + std::to_string(k) +
                             " of 12 values (the record began on line " + std::to_string(firstLine) + ")");
        }
        if (k == 0) firstLine = in.lineNumber();
        if (token == Token::text && !parseFreeValue(text, value))
            failBadInput(
                in.path(), in.lineNumber(),
                "value " + std::to_string(k + 1) + " of 12: expected a number, found " + quoted(text));
    }
    if (lines != nullptr) {
        lines->first = firstLine;
        lines->last = in.lineNumber();
    }
    in.skipRestOfLine();
    return record;
}

bool readFreeNumber(InputFile& in, float& value, std::string_view what) {
    std::string_view text;
    bool afterValue = false;
    const Token token = nextValue(in, text, value, afterValue);
    if (token == Token::endOfFile) return false;
    if (token == Token::text && !parseFreeValue(text, value))
        failBadInput(in.path(), in.lineNumber(),
                     "expected " + std::string(what) + " (a number), found " + quoted(text));
    in.skipRestOfLine();
    return true;
}

}  // namespace triangle
