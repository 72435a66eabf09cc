#include "common/control_file.hpp"

#include "common/free_form.hpp"
#include "common/run_error.hpp"

#include <charconv>
#include <cmath>

namespace triangle {

char readName(InputFile& in, TextField& field) {
    field.fill(' ');
    int c = in.peek();
    for (; c > 0 && (separatorOf(static_cast<char>(c)) == Separator::blank || c == '\n'); c = in.peek())
        c == '\n' ? in.passLineEnd(0) : in.advance(1);
    if (c < 0) in.failAtEnd("the data file name");
    const std::int64_t line = in.lineNumber();
    if (c == ',' || c == '/')
        failExpected(in.path(), line, "the data file name", "'" + std::string(1, static_cast<char>(c)) + "'",
                     {}, c == '/' ? quoteHint : "");
    const int quote = c == '\'' || c == '"' ? c : 0;
    if (quote != 0) in.advance(1);
    std::size_t length = 0;
    for (;; in.advance(1)) {
        c = in.peek();
        if (quote != 0) {
            if (c < 0 || c == '\n')
                failBadInput(in.path(), line,
                             std::string("the quoted data file name has no closing ") + char(quote));
            // A doubled quote mark stands for one; otherwise the name ends.
            if (c == quote && (in.advance(1), in.peek() != quote)) break;
        } else if (c < 0 || separatorOf(static_cast<char>(c)) != Separator::none) {
            in.skipRestOfLine();
            return c == '/' || c == ',' || c == ' ' || c == '\t' ? static_cast<char>(c) : 0;
        }
        if (c == 0)
            failBadInput(in.path(), line,
                         "the data file name holds a NUL character, which no file name can hold");
        if (length < field.size()) field[length] = static_cast<char>(c);
        ++length;
    }
    in.skipRestOfLine();
    return 0;
}

ControlFile::ControlFile(std::span<const std::string_view> arguments, std::string_view program)
    : program_(program) {
    if (arguments.empty()) {
        in_.open("input.txt");
    } else {
        text_ += '\'';
        for (const char c : arguments[0]) text_.append(c == '\'' ? 2 : 1, c);
        text_ += "'\n";
        for (const std::string_view line : arguments.subspan(1)) text_.append(line).append("\n");
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
    if (limit.status == ScannedValue::Status::notANumber)
        failExpected(in_.path(), in_.lineNumber(), expected, quoted(limit.text));
    char text[32];
    const std::string place = placeText(in_.path(), in_.lineNumber()) + ": " + std::string(what) + " is " +
                              std::string(text, std::to_chars(text, text + sizeof text, limit.value).ptr);
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
