#pragma once

// Free-form records: twelve values a record, read by the scanner of
// free_form.hpp, one record per data line as a rule. The rest of the line that
// holds the twelfth value is skipped, so a record spread over several lines
// puts lines and records out of step.

#include "common/free_form.hpp"
#include "common/input_file.hpp"
#include "common/run_error.hpp"
#include "common/triangle_data.hpp"

#include <cstdint>
#include <string_view>

namespace triangle {

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
