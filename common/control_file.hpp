#pragma once

// The control file input.txt: line 1 names the data file, and a program may
// read lines of its own after it (dremmick its two limits). Given arguments, a
// program reads them as those lines instead: the argument form.

#include "common/input_file.hpp"
#include "common/triangle_data.hpp"

#include <span>
#include <string>
#include <string_view>

namespace triangle {

// Added to a failure that an unquoted data file name with a directory part or
// a blank probably caused.
constexpr std::string_view quoteHint =
    "; a name with a directory part, a blank or a comma must be quoted in input.txt, as in 'runs/a.txt'";

// Reads the data file name into `field`, blank-filled: leading blanks and
// empty lines are passed over; a name in apostrophes or quotation marks may
// hold any character (a doubled quote mark stands for one); an unquoted name
// ends at a blank, a comma, a slash or the line end. The rest of the line is
// skipped. Returns the byte that ended an unquoted name, or 0. Throws
// RunError when there is none.
char readName(InputFile& in, TextField& field);

class ControlFile {
public:
    // Opens input.txt in the working directory or, when `arguments` are given,
    // reads them as its lines: the data file name as it is (it needs no
    // quotes), then one line per further argument. Warnings name `program`.
    ControlFile(std::span<const std::string_view> arguments, std::string_view program);

    // Line 1, as readName() reads it. True when the name may have needed
    // quotes: unquoted, it ended at a slash, a blank or a comma.
    bool readName(TextField& field) { return triangle::readName(in_, field) != 0; }

    // A limit: the first value of the next line, named `what` ("the curvature
    // limit"); a remark may follow. A decimal comma after it, and a limit that
    // is not greater than 0 or is NaN, drop lines unexpectedly: warned about.
    float readLimit(std::string_view what);

private:
    std::string_view program_;
    std::string text_;  // the argument form's lines
    InputFile in_;
};

}  // namespace triangle
