#include "common/control_file.hpp"

#include "common/free_form.hpp"
#include "common/run_error.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace triangle {

char readName(InputFile& in, TextField& field, std::size_t* length) {
    field.fill(' ');
    int c = in.peek();
    for (; c > 0 && (separatorOf(static_cast<char>(c)) == Separator::blank || c == '\n'); c = in.peek())
        c == '\n' ? in.passLineEnd(0) : in.advance(1);
    if (c < 0) in.failAtEnd("the data file name");
    if (c == ',' || c == '/')
        in.failExpected("the data file name", "'" + std::string(1, static_cast<char>(c)) + "'", {},
                        c == '/' ? quoteHint : "");
    const int quote = c == '\'' || c == '"' ? c : 0;
    if (quote != 0) in.advance(1);
    std::size_t taken = 0;
    for (;; in.advance(1)) {
        if (length != nullptr) *length = taken;
        c = in.peek();
        if (quote != 0) {
            if (c < 0 || c == '\n')
                in.failBadInput(std::string("the quoted data file name has no closing ") + char(quote));
            // A doubled quote mark stands for one; otherwise the name ends.
            if (c == quote && (in.advance(1), in.peek() != quote)) break;
        } else if (c < 0 || separatorOf(static_cast<char>(c)) != Separator::none) {
            in.skipRestOfLine();
            return c == '/' || c == ',' || c == ' ' || c == '\t' ? static_cast<char>(c) : 0;
        }
        if (c == 0) in.failBadInput("the data file name holds a NUL character, which no file name can hold");
        if (taken < field.size()) field[taken] = static_cast<char>(c);
        ++taken;
    }
    in.skipRestOfLine();
    return 0;
}

ControlFile::ControlFile(const ControlArguments& arguments, std::string_view program)
    : program_(program), positions_(arguments.positions) {
    const std::vector<std::string_view>& lines = arguments.lines;
    if (lines.empty()) {
        in_.open("input.txt");
    } else {
        text_ += '\'';
        for (const char c : lines[0]) text_.append(c == '\'' ? 2 : 1, c);
        text_ += "'\n";
        for (std::size_t k = 1; k < lines.size(); ++k) text_.append(lines[k]).append("\n");
        in_.openMemory(text_, "command line");
    }
    // A UTF-8 byte order mark at the start is passed over.
    if (in_.peek() == 0xEF && in_.peek(1) == 0xBB && in_.peek(2) == 0xBF) in_.advance(3);
}

float ControlFile::readLimit(std::string_view what) {
    FreeFormScanner control(in_);
    const ScannedValue limit = control.nextValue();
    const std::string expected = std::string(what) + " (a number)";
    if (limit.status == ScannedValue::Status::endOfFile) in_.failAtEnd(expected);
    // Where it stands: "input.txt: line 2", or "argument 2" when given as one.
    const auto line = static_cast<std::size_t>(in_.lineNumber());
    const std::string where =
        positions_.empty() ? placeText(in_.path(), in_.lineNumber())
                           : "argument " + std::to_string(positions_[std::min(line, positions_.size()) - 1]);
    if (limit.status == ScannedValue::Status::notANumber) {
        if (positions_.empty()) in_.failExpected(expected, quoted(limit.text));
        throw RunError(ExitStatus::badInput, where + ": " + expectedFound(expected, quoted(limit.text)));
    }
    char text[32];
    const std::string place =
        (positions_.empty() ? where + ": " + std::string(what) : where + ", " + std::string(what) + ",") +
        " is " + std::string(text, std::to_chars(text, text + sizeof text, limit.value).ptr);
    if (control.atDecimalComma())
        warn(program_, place + ": the comma after it ends the number; write the decimal point as '.'");
    else if (std::isnan(limit.value))
        warn(program_, place + ": its test drops no line");
    else if (!(limit.value > 0.0f))
        warn(program_, place + ", not greater than 0: every line above it is dropped");
    in_.skipRestOfLine();
    return limit.value;
}

}  // namespace triangle
