#pragma once

// The free form: values separated by blanks (or tabs), a comma (with or
// without blanks around it) or line ends; empty and all-blank lines are passed
// over. A slash and an empty value between two commas are refused, not given
// a meaning. The scanner (free_form.cpp) reads it value by value, for the data
// lines of a raw file and for the control file; the record readers
// (free_record.cpp) take twelve values a record, one record per data line as
// a rule. The rest of the line that holds the twelfth value is skipped, so a
// record spread over several lines puts lines and records out of step.

#include "common/input_file.hpp"
#include "common/triangle_data.hpp"

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

// Where the values of a free-form record stood.
struct FreeRecordLines {
    std::int64_t first = 0;  // line of value 1
    std::int64_t last = 0;   // line of value 12
};

// Reads values in the free form until twelve are read; empty and all-blank
// lines are passed over, and the rest of the line holding the twelfth value is
// skipped; `moreValues`, when given, tells whether it held more items. Throws
// RunError when a value is not a number, or when the file ends before the
// twelfth value.
TriangleRecord readFreeRecord(InputFile& in, FreeRecordLines* lines = nullptr, bool* moreValues = nullptr);

// The programs' reader of free-form records, one after another from the
// line where it starts: as readFreeRecord(), only faster (a usual line is read
// together with the next one, whose record is kept for the next call), and a
// failure after the first record that did not stand on a line of its own
// names that line, where lines and records went out of step. Lines that hold
// values after the twelfth of a record and records over more than one line
// are counted; given a `program`, they are told as warnings once: by
// tellWarnings(), or before a failure.
class FreeRecordReader {
public:
    explicit FreeRecordReader(InputFile& in, std::string_view program = {})
        : in_(in), expectedLine_(in.lineNumber()), program_(program) {}
    // The next record; false when nothing but blanks and line ends is left
    // while lines and records are in step: blank lines after the last record
    // are no records.
    bool read(TriangleRecord& record, FreeRecordLines* lines = nullptr);
    // The next record; the end of the file is a failure here.
    TriangleRecord next(FreeRecordLines* lines = nullptr);
    void tellWarnings() const;
    const LineTally& moreValues() const { return moreValues_; }

private:
    // Any other record, through readFreeRecord(); kept out of the usual path.
    // False at blank lines that end the file, in step.
    [[gnu::noinline]] bool readAnyRecord(FreeRecordLines& at, TriangleRecord& record);

    InputFile& in_;
    TriangleRecord ahead_[2];         // records of usual lines already passed over
    std::int64_t aheadLine_ = 0;      // the line of ahead_[0]
    int ready_ = 0;                   // records read ahead
    int taken_ = 0;                   // of them, handed out
    std::int64_t expectedLine_;       // where the next record stands while in step
    std::int64_t outOfStepLine_ = 0;  // 0 while in step
    bool outOfStepEmpty_ = false;     // that line held no value at all
    std::string_view program_;
    LineTally moreValues_, spread_;  // lines with values left after a record, records over several lines
};

}  // namespace triangle
