#pragma once

// The control file input.txt: line 1 names the data file, and a program may
// read lines of its own after it (dremmick its two limits). Given arguments, a
// program reads them as those lines instead: the argument form.

#include "common/input_file.hpp"
#include "common/triangle_data.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace triangle {

// Added to a failure that an unquoted data file name with a directory part or
// a blank probably caused.
constexpr std::string_view quoteHint =
    "; a name with a directory part, a blank or a comma must be quoted in input.txt, as in 'runs/a.txt'";
// Added to a failure to open a data file whose name was longer than its field.
constexpr std::string_view cutHint = "; the data file name in input.txt was cut to its first 100 characters";

// Reads the data file name into `field`, blank-filled: leading blanks and
// empty lines are passed over; a name in apostrophes or quotation marks may
// hold any character (a doubled quote mark stands for one); an unquoted name
// ends at a blank, a comma, a slash or the line end. The rest of the line is
// skipped. Returns the byte that ended an unquoted name, or 0; `length`, when
// given, receives the name's length before any cut. Throws RunError when
// there is none.
char readName(InputFile& in, TextField& field, std::size_t* length = nullptr);

// The argument form: arguments that stand for the lines of input.txt, and
// where each stands among all the arguments (from 1), for the messages.
struct ControlArguments {
    std::vector<std::string_view> lines;
    std::vector<int> positions;
};

class ControlFile {
public:
    // Opens input.txt in the working directory or, when `arguments` are given,
    // reads them as its lines: the data file name as it is (it needs no
    // quotes), then one line per further argument. Warnings name `program`.
    ControlFile(const ControlArguments& arguments, std::string_view program);
    // Line 1, as readName() reads it. True when the name may have needed
    // quotes: unquoted, it ended at a slash, a blank or a comma; `cut` tells
    // whether the name was longer than the field.
    bool readName(TextField& field, bool& cut) {
        std::size_t length = 0;
        const bool mayNeedQuotes = triangle::readName(in_, field, &length) != 0;
        cut = length > field.size();
        return mayNeedQuotes;
    }

    // A limit: the first value of the next line, named `what` ("the curvature
    // limit"); a remark may follow. A decimal comma after it, and a limit that
    // is not greater than 0 or is NaN, drop lines unexpectedly: warned about.
    // Messages about a limit given as an argument name the argument.
    float readLimit(std::string_view what);

private:
    std::string_view program_;
    std::string text_;            // the argument form's lines
    std::vector<int> positions_;  // and where each stood among the arguments
    InputFile in_;
};

}  // namespace triangle
