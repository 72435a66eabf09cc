#pragma once

// Reading and writing single-precision numbers as text.
//
// Reading gives the float nearest to the decimal value written (ties to even),
// independent of the locale, and allocates nothing for ordinary numbers.
// Writing rounds the exact binary value to the decimals shown, an exact tie
// going to the even digit: 0.03125 is written 0.0312, 0.09375 is 0.0938.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace triangle {

// The nearest float to (-1)^negative * mantissa * 10^exponent10, where
// `digits` holds the decimal digits of the mantissa (leading zeros allowed).
float decimalToFloat(bool negative, std::string_view digits, int exponent10);

// One fixed-width field: blanks anywhere are ignored; an all-blank field is 0.
// Without a decimal point the point stands before the last 4 digits
// ("  123456" is 12.3456, "       5" is 0.0005). An exponent is a letter E or D
// followed by a signed integer, or a sign followed by digits. The words NaN,
// Inf and Infinity (any case, optionally signed) are numbers too.
// False when the field is not a number.
bool parseFixedField(std::string_view field, float& value);

namespace detail {

// For each byte: its class in the upper bits (digit, blank, minus, other) and
// its digit value (0 for non-digits) in the lower four.
enum : std::uint8_t { digitClass = 0x00, blankClass = 0x10, minusClass = 0x20, otherClass = 0x30 };
struct ByteClasses {
    std::uint8_t entry[256];
    constexpr ByteClasses() : entry{} {
        for (int c = 0; c < 256; ++c) entry[c] = otherClass;
        for (int d = 0; d < 10; ++d) entry['0' + d] = static_cast<std::uint8_t>(digitClass | d);
        entry[' '] = blankClass;
        entry['-'] = minusClass;
    }
};
inline constexpr ByteClasses byteClasses{};

// Which class triples of columns 1-3 are usual: "  d", " dd", "ddd", " -d",
// "-dd". Bit (class0 * 16 + class1 * 4 + class2), classes numbered 0..3.
constexpr std::uint64_t usualLeads = (std::uint64_t{1} << (1 * 16 + 1 * 4 + 0)) |  // "  d"
                                     (std::uint64_t{1} << (1 * 16 + 0 * 4 + 0)) |  // " dd"
                                     (std::uint64_t{1} << (0 * 16 + 0 * 4 + 0)) |  // "ddd"
                                     (std::uint64_t{1} << (1 * 16 + 2 * 4 + 0)) |  // " -d"
                                     (std::uint64_t{1} << (2 * 16 + 0 * 4 + 0));   // "-dd"

}  // namespace detail

// The form every fixed-width writer produces: "  0.5000", " -0.5000",
// "-12.3456", "999.9999": the point in column 4, four digits behind it, and
// ahead of it blanks, an optional minus sign and at least one digit. Returns
// whether the 8 characters at f have that form; `value` is written in any case
// and is meaningful only then. Anything else is left to parseFixedField().
// Free of branches, since digits and signs vary from field to field.
inline bool readUsualFixedField(const char* f, float& value) {
    std::uint32_t fraction;
    std::memcpy(&fraction, f + 4, 4);
    fraction -= 0x30303030u;
    // Every byte a digit: none below '0' (the borrow sets its top bit) nor above '9'.
    const bool fractionDigits = (((fraction + 0x76767676u) | fraction) & 0x80808080u) == 0;
    // Little-endian: the first digit is the lowest byte.
    fraction = (fraction * 10 + (fraction >> 8)) & 0x00FF00FFu;
    fraction = (fraction * 100 + (fraction >> 16)) & 0xFFFFu;

    using detail::byteClasses;
    const unsigned e0 = byteClasses.entry[static_cast<unsigned char>(f[0])];
    const unsigned e1 = byteClasses.entry[static_cast<unsigned char>(f[1])];
    const unsigned e2 = byteClasses.entry[static_cast<unsigned char>(f[2])];
    const unsigned lead = ((e0 >> 4) << 4) | ((e1 >> 4) << 2) | (e2 >> 4);
    const bool usual = fractionDigits & (f[3] == '.') & static_cast<bool>((detail::usualLeads >> lead) & 1);
    const std::uint32_t whole = (e0 & 15) * 100 + (e1 & 15) * 10 + (e2 & 15);
    // The integer m (below 10^7) times the double nearest 10^-4 is within
    // 2^-52 of m / 10^4, while m / 10^4 lies at least 2^-34 (relatively) away
    // from any midpoint between two floats; so rounding the product to float
    // gives the float nearest m / 10^4, as a division would, only faster.
    const auto magnitude = static_cast<float>(static_cast<double>(whole * 10000u + fraction) * 1e-4);
    const std::uint32_t sign = static_cast<std::uint32_t>((e0 | e1) & detail::minusClass) << 26;
    value = std::bit_cast<float>(std::bit_cast<std::uint32_t>(magnitude) | sign);
    return usual;
}

// Reads a number in its usual free-form spelling ("-12.345", ".5", "3",
// "1.5E-3": at most 7 digits before and 7 after the point, an exponent of at
// most 3 digits) starting at p, looking at 8 bytes at a time: at least 24
// bytes from p on must be readable. Returns where the number ends (the caller
// checks that a separator stands there), or nullptr for anything unusual,
// which the general reader then takes.
const char* parseUsualFreeNumber(const char* p, float& value);

// One free-form value: an integer or a decimal number (the point is never
// implied), optionally followed by an exponent introduced by E or D in either
// case, or one of the words NaN, Inf, Infinity. False when it is not a number.
bool parseFreeValue(std::string_view text, float& value);

// Writes `value` right-aligned in `width` characters with `decimals` decimals
// (at most 4): a minus sign whenever the sign bit is set ("-0.0000"), the
// integer digits (a single 0 below 1), the point and the decimals. A value too
// wide for the field, or infinite, fills it with asterisks; a NaN is written
// as the word NaN, right-aligned. Returns the end of what was written.
char* formatFixed(char* out, float value, int width, int decimals = 4);

// Like formatFixed() but reports, instead of writing asterisks, that the value
// does not fit: false, nothing written.
bool tryFormatFixed(char* out, float value, int width, int decimals);

// Writes an integer right-aligned in `width` characters; asterisks when it
// does not fit.
char* formatInteger(char* out, std::int64_t value, int width);

}  // namespace triangle
