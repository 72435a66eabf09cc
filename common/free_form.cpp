#include "common/free_form.hpp"

#include "common/number_fast.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <bit>
#include <cstring>
#include <string>

namespace triangle {
namespace {

// What a byte is to the free form: part of an item, or a separator of some kind.
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

Separator separatorOf(char c) {
    return separators.kind[static_cast<unsigned char>(c)];
}

// Passes over blanks (tabs and carriage returns too), eight at a time where
// they are blanks; the block is padded for reading past its end.
const char* skipBlanks(const char* p, const char* limit) {
    for (;; ++p) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        const std::uint64_t nonBlank = word ^ 0x2020202020202020u;
        p += nonBlank == 0 ? 8 : std::countr_zero(nonBlank) >> 3;
        if (p >= limit) return limit;
        if (separatorOf(*p) != blank) return p;
    }
}

// Nearly every record is one usual line: blanks, then twelve values in their
// usual spelling, separated by blanks and at most one comma, and the line end
// after the twelfth within the block. Two lines are read side by side, since
// each value's end is needed to find the next and the processor can follow
// two such chains at once. Returns how many of the two (none, the first, or
// both) were usual, their records and where the line after each starts;
// anything else is left to the scanner.
int readUsualFreeLines(std::string_view block, TriangleRecord (&records)[2], const char* (&after)[2]) {
    const char* const limit = block.data() + block.size();
    const auto* const lineEnd = static_cast<const char*>(std::memchr(block.data(), '\n', block.size()));
    if (lineEnd == nullptr) return 0;
    // A value must end at a separator; a line end or a slash before the
    // twelfth then stops the next one. Past the limit, a number ends beyond it.
    const auto value = [limit](const char* p, bool first, float& value) -> const char* {
        p = skipBlanks(p, limit);
        if (!first && *p == ',') p = skipBlanks(p + 1, limit);
        p = fast::parseUsualFreeNumber(p, value);
        return p != nullptr && p < limit && separatorOf(*p) != none ? p : nullptr;
    };
    const char* p = block.data();
    const char* q = lineEnd + 1 < limit ? lineEnd + 1 : nullptr;
    for (std::size_t k = 0; k < recordValueCount; ++k) {
        p = value(p, k == 0, records[0].values[k]);
        if (q != nullptr) q = value(q, k == 0, records[1].values[k]);
        if (p == nullptr) return 0;
    }
    after[0] = lineEnd + 1;
    if (q == nullptr) return 1;
    const auto* const end = *q == '\n' ? q : static_cast<const char*>(std::memchr(q, '\n', limit - q));
    if (end == nullptr) return 1;
    after[1] = end + 1;
    return 2;
}

}  // namespace

ScannedValue FreeFormScanner::nextValue() {
    for (;;) {
        const char* p = in_.cursor_;
        const char* const limit = in_.limit_;
        for (;;) {
            p = skipBlanks(p, limit);
            if (p == limit) break;
            const Separator kind = separatorOf(*p);
            if (kind == none) break;
            if (kind == lineEnd) ++in_.line_;
            if (kind == comma) {
                if (!afterValue_) {
                    in_.cursor_ = p;
                    failBadInput(in_.path(), in_.line_,
                                 "expected a number, found an empty value (a comma with no value before it)");
                }
                afterValue_ = false;
            }
            if (kind == slash) {
                in_.cursor_ = p;
                failBadInput(in_.path(), in_.line_,
                             "expected a number, found '/' (ending a record early is not supported)");
            }
            ++p;
        }
        in_.cursor_ = p;
        if (p == limit) {
            if (in_.fill() == InputFile::Fill::endOfFile) return {};
            continue;
        }
        ScannedValue result;
        result.status = ScannedValue::Status::number;
        // The usual spellings are read in place; the block is padded for that.
        if (const char* end = fast::parseUsualFreeNumber(p, result.value);
            end != nullptr && end < limit && separatorOf(*end) != none) {
            in_.cursor_ = end;
            afterValue_ = true;
            return result;
        }
        const char* end = p;
        while (end < limit && separatorOf(*end) == none) ++end;
        if (end == limit) {
            // The item may go on in the next block; filling moves the bytes.
            const auto status = in_.fill();
            if (status == InputFile::Fill::more) continue;
            if (status == InputFile::Fill::full)
                failBadInput(in_.path(), in_.line_,
                             "expected a number, found an item of more than " +
                                 std::to_string(in_.blockSize_) + " characters");
            p = in_.cursor_;
            end = in_.limit_;
        }
        const std::string_view text(p, static_cast<std::size_t>(end - p));
        in_.cursor_ = end;
        afterValue_ = true;
        if (!parseFreeValue(text, result.value)) {
            result.status = ScannedValue::Status::notANumber;
            result.text = text;
        }
        return result;
    }
}

int FreeFormScanner::peek(std::size_t ahead) {
    while (static_cast<std::size_t>(in_.limit_ - in_.cursor_) <= ahead)
        if (in_.fill() != InputFile::Fill::more) return -1;
    return static_cast<unsigned char>(in_.cursor_[ahead]);
}

void FreeFormScanner::skipByteOrderMark() {
    if (peek() == 0xEF && peek(1) == 0xBB && peek(2) == 0xBF) in_.cursor_ += 3;
}

char FreeFormScanner::readName(TextField& field) {
    field.fill(' ');
    int c = peek();
    for (; c > 0 && (separatorOf(static_cast<char>(c)) == blank || c == '\n'); c = peek()) {
        if (c == '\n') ++in_.line_;
        ++in_.cursor_;
    }
    if (c < 0)
        failBadInput(in_.path(), in_.lastLineNumber() + 1,
                     "expected the data file name, found the end of the file");
    const std::int64_t line = in_.line_;
    if (c == ',' || c == '/')
        failBadInput(in_.path(), line,
                     "expected the data file name, found '" + std::string(1, char(c)) + "'" +
                         (c == '/' ? std::string(quoteHint) : ""));
    const int quote = c == '\'' || c == '"' ? c : 0;
    if (quote != 0) ++in_.cursor_;
    std::size_t length = 0;
    for (;; ++in_.cursor_) {
        c = peek();
        if (quote != 0) {
            if (c < 0 || c == '\n')
                failBadInput(in_.path(), line,
                             std::string("the quoted data file name has no closing ") + char(quote));
            // A doubled quote mark stands for one; otherwise the name ends.
            if (c == quote && (++in_.cursor_, peek() != quote)) break;
        } else if (c < 0 || separatorOf(static_cast<char>(c)) != none) {
            skipRestOfLine();
            return c == '/' || c == ',' || c == ' ' || c == '\t' ? static_cast<char>(c) : 0;
        }
        if (c == 0)
            failBadInput(in_.path(), line,
                         "the data file name holds a NUL character, which no file name can hold");
        if (length < field.size()) field[length] = static_cast<char>(c);
        ++length;
    }
    skipRestOfLine();
    return 0;
}

void FreeFormScanner::skipRestOfLine() {
    in_.skipRestOfLine();
    afterValue_ = false;
}

TriangleRecord FreeRecordReader::next(FreeRecordLines* lines) {
    if (taken_ == ready_) {
        ready_ = readUsualFreeLines(in_.buffered(), ahead_, after_);
        taken_ = 0;
        if (ready_ == 0) return readFreeRecord(in_, lines);
    }
    if (lines != nullptr) *lines = {in_.lineNumber(), in_.lineNumber()};
    in_.passLine(after_[taken_]);
    return ahead_[taken_++];
}

TriangleRecord readFreeRecord(InputFile& in, FreeRecordLines* lines) {
    TriangleRecord record;
    FreeFormScanner scanner(in);
    std::int64_t firstLine = 0;
    for (int k = 0; k < recordValueCount; ++k) {
        const ScannedValue value = scanner.nextValue();
        if (value.status == ScannedValue::Status::endOfFile) {
            const std::int64_t last = in.lastLineNumber();
            if (k == 0)
                failBadInput(in.path(), last, "expected a record of 12 values, found the end of the file");
            failBadInput(in.path(), last,
                         "the file ends inside a record: found " + std::to_string(k) +
                             " of 12 values (the record began on line " + std::to_string(firstLine) + ")");
        }
        if (k == 0) firstLine = in.lineNumber();
        if (value.status == ScannedValue::Status::notANumber)
            failBadInput(
                in.path(), in.lineNumber(),
                "value " + std::to_string(k + 1) + " of 12: expected a number, found " + quoted(value.text));
        record.values[static_cast<std::size_t>(k)] = value.value;
    }
    if (lines != nullptr) *lines = {firstLine, in.lineNumber()};
    scanner.skipRestOfLine();
    return record;
}

}  // namespace triangle
