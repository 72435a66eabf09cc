#pragma once

// Reading and writing single-precision numbers as text.
//
// Reading gives the float nearest to the decimal value written (ties to even),
// independent of the locale, and allocates nothing for ordinary numbers.
// Writing rounds the exact binary value to the decimals shown, an exact tie
// going to the even digit: 0.03125 is written 0.0312, 0.09375 is 0.0938.

#include <cstdint>
#include <string_view>

namespace triangle {

// One fixed-width field: blanks anywhere are ignored; an all-blank field is 0.
// Without a decimal point the point stands before the last 4 digits
// ("  123456" is 12.3456, "       5" is 0.0005). An exponent is a letter E or D
// followed by a signed integer, or a sign followed by digits. The words NaN,
// Inf and Infinity (any case, optionally signed) are numbers too.
// False when the field is not a number.
bool parseFixedField(std::string_view field, float& value);

// One free-form value: an integer or a decimal number (the point is never
// implied), optionally followed by an exponent introduced by E or D in either
// case, or one of the words NaN, Inf, Infinity. False when it is not a number.
bool parseFreeValue(std::string_view text, float& value);

// Writes `value` right-aligned in `width` characters with `decimals` decimals:
// a minus sign whenever the sign bit is set ("-0.0000"), the integer digits (a
// single 0 below 1), the point (also when `decimals` is 0: "9999999.") and the
// decimals. A NaN is written as the word NaN, right-aligned. Returns the end
// of what was written, or nullptr, with nothing written, when the value is
// infinite or too wide for the field.
char* tryFormatFixed(char* out, float value, int width, int decimals);

// As tryFormatFixed() with 4 decimals, but a value that does not fit fills the
// field with asterisks.
char* formatFixed(char* out, float value, int width);

// Writes an integer right-aligned in `width` characters; asterisks when it
// does not fit.
char* formatInteger(char* out, std::int64_t value, int width);

}  // namespace triangle
