#pragma once

// The free form: values separated by blanks (or tabs), a comma (with or
// without blanks around it) or line ends; empty and all-blank lines are passed
// over. A slash and an empty value between two commas are refused, not given
// a meaning. The scanner here reads it value by value, for the data lines of
// a raw file and for the control file; the record readers (free_record.hpp)
// take twelve values a record.

#include "common/input_file.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace triangle {

// What a byte is to the free form: part of an item, or a separator of some
// kind. A '\r' is a blank: one before a line end goes with it, as
// lineTextLength() has it, and one elsewhere separates values.
enum class Separator : std::uint8_t { none, blank, lineEnd, comma, slash };
inline constexpr auto separators = [] {
    std::array<Separator, 256> kind{};
    kind[' '] = kind['\t'] = kind['\r'] = Separator::blank;
    kind['\n'] = Separator::lineEnd;
    kind[','] = Separator::comma;
    kind['/'] = Separator::slash;
    return kind;
}();

inline Separator separatorOf(char c) {
    return separators[static_cast<unsigned char>(c)];
}

// Passes over blanks from p on, eight at a time where they are blanks; the
// bytes after `limit` must be readable (InputFile::readPadding).
inline const char* skipBlanks(const char* p, const char* limit) {
    for (;; ++p) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        const std::uint64_t nonBlank = word ^ 0x2020202020202020u;
        p += nonBlank == 0 ? 8 : std::countr_zero(nonBlank) >> 3;
        if (p >= limit) return limit;
        if (separatorOf(*p) != Separator::blank) return p;
    }
}

// The outcome of reading one value, as std::from_chars reports one.
struct ScannedValue {
    enum class Status { number, notANumber, endOfFile };
    Status status = Status::endOfFile;
    float value = 0.0f;     // when a number
    std::string_view text;  // when not a number: the item as written, valid until the next read
};

class FreeFormScanner {
public:
    explicit FreeFormScanner(InputFile& in) : in_(in) {}

    // The next value. Throws RunError on a slash, on a comma with no value
    // before it, and on an item longer than the input's block.
    ScannedValue nextValue();

    // A comma and a digit follow: a decimal comma, most likely.
    bool atDecimalComma() { return in_.peek() == ',' && in_.peek(1) >= '0' && in_.peek(1) <= '9'; }

private:
    InputFile& in_;
    bool afterValue_ = false;  // a value came last, so a comma may follow
};

}  // namespace triangle
