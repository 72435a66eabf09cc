#pragma once

// The one reader of the free form, used for the data lines of a raw file and
// for the control file: it owns the cursor in the input's block, the line
// count, the separator set and the block refills.
//
// Values are separated by blanks (or tabs), a comma (with or without blanks
// around it) or line ends; empty and all-blank lines are passed over. A slash
// and an empty value between two commas are refused, not given a meaning.

#include "common/input_file.hpp"
#include "common/triangle_data.hpp"

#include <string_view>

namespace triangle {

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

    // Reads one text item into `field`, blank-filled: a name in apostrophes or
    // quotation marks may hold any character (a doubled quote mark stands for
    // one); an unquoted name ends at a blank, a comma, a slash or the line end.
    // The rest of the line is skipped. Returns the byte that ended an unquoted
    // name, or 0. Throws RunError when there is none.
    char readName(TextField& field);

    // Passes over a UTF-8 byte order mark at the start of the text.
    void skipByteOrderMark();
    // A comma and a digit follow: a decimal comma, most likely.
    bool atDecimalComma() { return peek() == ',' && peek(1) >= '0' && peek(1) <= '9'; }

    // Passes over the rest of the line; the next value starts a new item list.
    void skipRestOfLine();

private:
    // The byte `ahead` places after the cursor, after a refill when needed;
    // -1 beyond the end of the file.
    int peek(std::size_t ahead = 0);

    InputFile& in_;
    bool afterValue_ = false;  // a value came last, so a comma may follow
};

}  // namespace triangle
