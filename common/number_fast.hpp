#pragma once

// The fast paths of number reading and writing, for the record readers and
// the record writer only. Each takes the usual spelling and leaves anything
// else to the general routines of number_text.hpp, with which it agrees on
// every value it accepts.

#include <bit>
#include <cstdint>
#include <cstring>

namespace triangle::fast {

// `offset` holds text bytes less '0'. Returns a word whose byte k has its top
// bit set when byte k of the text is not a digit. A byte below '0' borrows
// from the bytes after it and one above '9' may carry into them; neither
// changes the bytes before the first non-digit.
template <typename Word>
constexpr Word nonDigitBytes(Word offset) {
    constexpr Word ones = static_cast<Word>(~Word{0}) / 0xFF;
    return (offset | (offset + ones * 0x76)) & (ones * 0x80);
}

// The one rounding of the writers' hot path: a non-negative double below
// 2^51 to the nearest integer, a tie to the even one. Adding and taking away
// 1.5 * 2^52 does it in the default rounding mode.
inline double roundToInteger(double scaled) {
    constexpr double roundingShift = 6755399441055744.0;  // 1.5 * 2^52
    return (scaled + roundingShift) - roundingShift;
}

// m / 10^k as the nearest float, for m below 2^24 and k from 0 to 7, without
// a division. The product of m and the double nearest 10^-k lies within
// 2^-52 (relatively) of m / 10^k. A float midpoint has 25 significant bits,
// which m / 10^k cannot have for such an m, so it lies at least 2^-25 * 10^-k,
// over 2^-49, away from any; rounding the product to float thus gives the
// float nearest m / 10^k, as a division would.
inline float scaleDown(std::uint64_t m, int k) {
    static constexpr double tenths[] = {1e0, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7};
    return static_cast<float>(static_cast<double>(static_cast<std::int64_t>(m)) * tenths[k]);
}

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

// The form every fixed-width writer produces: "  0.5000", " -0.5000",
// "-12.3456", "999.9999": the point in column 4, four digits behind it, and
// ahead of it blanks, an optional minus sign and at least one digit. Returns
// whether the 8 characters at f have that form; `value` is written in any case
// and is meaningful only then. Free of branches, since digits and signs vary
// from field to field.
inline bool readUsualFixedField(const char* f, float& value) {
    std::uint32_t fraction;
    std::memcpy(&fraction, f + 4, 4);
    fraction -= 0x30303030u;
    const bool fractionDigits = nonDigitBytes(fraction) == 0;
    // Little-endian: the first digit is the lowest byte.
    fraction = (fraction * 10 + (fraction >> 8)) & 0x00FF00FFu;
    fraction = (fraction * 100 + (fraction >> 16)) & 0xFFFFu;

    const unsigned e0 = byteClasses.entry[static_cast<unsigned char>(f[0])];
    const unsigned e1 = byteClasses.entry[static_cast<unsigned char>(f[1])];
    const unsigned e2 = byteClasses.entry[static_cast<unsigned char>(f[2])];
    const unsigned lead = ((e0 >> 4) << 4) | ((e1 >> 4) << 2) | (e2 >> 4);
    const bool usual = fractionDigits & (f[3] == '.') & static_cast<bool>((usualLeads >> lead) & 1);
    const std::uint32_t whole = (e0 & 15) * 100 + (e1 & 15) * 10 + (e2 & 15);
    const float magnitude = scaleDown(whole * 10000u + fraction, 4);
    const std::uint32_t sign = static_cast<std::uint32_t>((e0 | e1) & minusClass) << 26;
    value = std::bit_cast<float>(std::bit_cast<std::uint32_t>(magnitude) | sign);
    return usual;
}

// The float nearest to mantissa * 10^exponent10, where the mantissa has
// `digits` decimal digits, computed exactly in double precision; false,
// nothing written, where that cannot be done. At most 15 digits are exact in
// a double, and so is a product with a power of ten below 2^53; a quotient by
// 10^k, k <= 12, rounded to double and then to float is still the correctly
// rounded float (the quotient cannot lie within 2^-53 of a float midpoint
// without being one). Kept out of line: inlined into parseUsualFreeNumber(),
// it slows the usual free-form line by a few percent.
[[gnu::noinline]] inline bool scaleExactly(std::uint64_t mantissa, int digits, int exponent10, float& value) {
    static constexpr double exactPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (digits > 15 || exponent10 < -12 || exponent10 + digits > 15) return false;
    const auto exact = static_cast<double>(mantissa);
    value = static_cast<float>(exponent10 >= 0 ? exact * exactPowersOfTen[exponent10]
                                               : exact / exactPowersOfTen[-exponent10]);
    return true;
}

// The number of decimal digits at the start of the 8 bytes in `word` (first
// byte lowest), and the bytes less '0' in `offset`.
inline int leadingDigits(std::uint64_t word, std::uint64_t& offset) {
    offset = word - 0x3030303030303030u;
    return std::countr_zero(nonDigitBytes(offset)) >> 3;
}

// The value of the first `count` (0 to 8) digits of `offset`.
inline std::uint64_t digitsValue(std::uint64_t offset, int count) {
    // Move them to the top (in two steps: 64 places would be too many at
    // once); the freed low bytes are leading zeros.
    std::uint64_t v = offset << (4 * (8 - count)) << (4 * (8 - count));
    v = (v * 10) + (v >> 8);  // byte pairs
    v = (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
        32;
    return v;
}

inline constexpr std::uint64_t integerPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Reads a number in its usual free-form spelling ("-12.345", ".5", "3",
// "1.5E-3": at most 7 digits before the point and 15 in all, an exponent of
// at most 3 digits) starting at p, looking at 8 bytes at a time: at least 24
// bytes from p on must be readable. Returns where the number ends (the caller
// checks that a separator stands there), or nullptr for anything unusual,
// which the general reader then takes.
inline const char* parseUsualFreeNumber(const char* p, float& value) {
    const bool negative = *p == '-';
    p += (*p == '-') | (*p == '+');
    // The digits with the point taken out, as one word: the whole digits from
    // the word at p, the rest from the word after the point.
    std::uint64_t word;
    std::uint64_t after;
    std::uint64_t offset;
    std::memcpy(&word, p, 8);
    std::memcpy(&after, p + 1, 8);
    const int whole = leadingDigits(word, offset);
    if (whole == 8) return nullptr;
    const bool point = p[whole] == '.';
    const std::uint64_t wholeBytes = (std::uint64_t{1} << (8 * whole)) - 1;
    if (point) word = (word & wholeBytes) | (after & ~wholeBytes);
    int digits = leadingDigits(word, offset);
    std::uint64_t mantissa = digitsValue(offset, digits);
    if (digits == 8) {  // and up to 7 more
        std::memcpy(&word, p + 8 + point, 8);
        const int more = leadingDigits(word, offset);
        if (more == 8) return nullptr;
        mantissa = mantissa * integerPowersOfTen[more] + digitsValue(offset, more);
        digits += more;
    }
    if (digits == 0) return nullptr;
    p += digits + point;
    int exponent = whole - digits;  // less the digits after the point
    if ((*p | 0x20) == 'e' || (*p | 0x20) == 'd') {
        ++p;
        const bool exponentNegative = *p == '-';
        p += (*p == '-') | (*p == '+');
        int written = 0;
        int count = 0;
        for (; count < 4 && static_cast<unsigned char>(*p - '0') < 10; ++count, ++p)
            written = written * 10 + (*p - '0');
        if (count == 0 || count == 4) return nullptr;
        exponent += exponentNegative ? -written : written;
    }
    float magnitude;
    if (static_cast<unsigned>(-exponent) <= 7 && mantissa < (1u << 24)) {
        magnitude = scaleDown(mantissa, -exponent);
    } else if (!scaleExactly(mantissa, digits, exponent, magnitude)) {
        return nullptr;
    }
    // The sign bit set without a branch, since signs vary from value to value.
    value = std::bit_cast<float>(std::bit_cast<std::uint32_t>(magnitude) | std::uint32_t{negative} << 31);
    return p;
}

}  // namespace triangle::fast
