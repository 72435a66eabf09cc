#include "common/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

namespace triangle {
namespace {

constexpr double exactPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lower(text[i]) != word[i]) return false;
    return true;
}

// NaN, Inf and Infinity in any case, after the sign has been taken off.
bool parseWord(std::string_view text, bool negative, float& value) {
    if (equalsIgnoringCase(text, "nan")) {
        value = negative ? -std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::quiet_NaN();
        return true;
    }
    if (equalsIgnoringCase(text, "inf") || equalsIgnoringCase(text, "infinity")) {
        value = negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
        return true;
    }
    return false;
}

// The parts of a number after its sign: digits with at most one point, then
// an optional exponent. `impliedDecimals` is where the point stands when none
// is written.
bool parseUnsigned(std::string_view text, bool negative, int impliedDecimals, bool signAloneStartsExponent,
                   float& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    int fractionDigits = 0;
    int digitCount = 0;
    bool point = false;
    // Digits are gathered without the point; the point only moves the exponent.
    char digits[64];
    std::string longDigits;
    for (; i < n; ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            if (digitCount < static_cast<int>(sizeof digits)) {
                digits[digitCount] = c;
            } else {
                if (longDigits.empty()) longDigits.assign(digits, sizeof digits);
                longDigits += c;
            }
            ++digitCount;
            if (point) ++fractionDigits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digitCount == 0) return false;

    long exponent = 0;
    if (i < n) {
        const char c = text[i];
        const bool letter = c == 'e' || c == 'E' || c == 'd' || c == 'D';
        const bool sign = c == '+' || c == '-';
        if (!letter && !(sign && signAloneStartsExponent)) return false;
        if (letter) ++i;
        bool exponentNegative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            exponentNegative = text[i] == '-';
            ++i;
        }
        if (i == n) return false;
        for (; i < n; ++i) {
            if (!isDigit(text[i])) return false;
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (exponentNegative) exponent = -exponent;
    }
    const int scale = point ? fractionDigits : impliedDecimals;
    const std::string_view all = longDigits.empty()
                                     ? std::string_view(digits, static_cast<std::size_t>(digitCount))
                                     : std::string_view(longDigits);
    value = decimalToFloat(negative, all, static_cast<int>(exponent) - scale);
    return true;
}

bool parseNumber(std::string_view text, int impliedDecimals, bool signAloneStartsExponent, float& value) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    if (!isDigit(text[0]) && text[0] != '.') return parseWord(text, negative, value);
    return parseUnsigned(text, negative, impliedDecimals, signAloneStartsExponent, value);
}

}  // namespace

float decimalToFloat(bool negative, std::string_view digits, int exponent10) {
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    if (digits.empty()) return negative ? -0.0f : 0.0f;

    // Fast path: at most 15 significant digits are exact in a double, and so
    // is a product with a power of ten below 2^53; a quotient by 10^k, k <= 12,
    // rounded to double and then to float is still the correctly rounded
    // float (the quotient cannot lie within 2^-53 of a float midpoint without
    // being one).
    const int significant = static_cast<int>(digits.size());
    if (significant <= 15 && exponent10 >= -12 && exponent10 + significant <= 15) {
        std::uint64_t mantissa = 0;
        for (const char c : digits) mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
        double exact = static_cast<double>(mantissa);
        exact =
            exponent10 >= 0 ? exact * exactPowersOfTen[exponent10] : exact / exactPowersOfTen[-exponent10];
        const auto result = static_cast<float>(exact);
        return negative ? -result : result;
    }

    // Everything else: the digit string with its exponent, correctly rounded
    // by the standard library.
    // Short texts are built on the stack, so that even unusual numbers do not
    // allocate.
    char shortText[160];
    std::string longText;
    char* text = shortText;
    std::size_t length = digits.size();
    if (length + 16 > sizeof shortText) {
        longText.resize(length + 16);
        text = longText.data();
    }
    std::memcpy(text, digits.data(), length);
    text[length++] = 'e';
    length =
        static_cast<std::size_t>(std::to_chars(text + length, text + length + 15, exponent10).ptr - text);
    float result = 0.0f;
    const auto error = std::from_chars(text, text + length, result).ec;
    if (error == std::errc::result_out_of_range) {
        // Too large rounds to infinity, too small to zero.
        result = exponent10 + significant > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    return negative ? -result : result;
}

bool parseFixedField(std::string_view field, float& value) {
    if (field.size() == 8 && readUsualFixedField(field.data(), value)) return true;
    // Any other form: drop every blank, then read sign, digits, exponent. An
    // all-blank field is 0.
    char packed[64];
    std::size_t length = 0;
    for (const char c : field) {
        if (c == ' ') continue;
        if (length == sizeof packed) return false;
        packed[length++] = c;
    }
    if (length == 0) {
        value = 0.0f;
        return true;
    }
    return parseNumber(std::string_view(packed, length), 4, true, value);
}

namespace {

// The number of decimal digits at the start of the 8 bytes in `word` (first
// byte lowest), and the bytes less '0' in `offset`. A byte below '0' borrows
// from the bytes after it and one above '9' may carry into them; neither
// changes the bytes before the first non-digit, which is all that is used.
int leadingDigits(std::uint64_t word, std::uint64_t& offset) {
    offset = word - 0x3030303030303030u;
    const std::uint64_t nonDigits = (offset | (offset + 0x7676767676767676u)) & 0x8080808080808080u;
    return nonDigits == 0 ? 8 : std::countr_zero(nonDigits) >> 3;
}

// The value of the first `count` (1 to 7) digits of `offset`.
std::uint64_t digitsValue(std::uint64_t offset, int count) {
    // Move them to the top; the freed low bytes are leading zeros.
    std::uint64_t v = offset << (8 * (8 - count));
    v = (v * 10) + (v >> 8);  // byte pairs
    v = (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
        32;
    return v;
}

constexpr std::uint64_t integerPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

}  // namespace

const char* parseUsualFreeNumber(const char* p, float& value) {
    const bool negative = *p == '-';
    p += (*p == '-') | (*p == '+');
    std::uint64_t word;
    std::uint64_t offset;
    std::memcpy(&word, p, 8);
    const int whole = leadingDigits(word, offset);
    if (whole == 8) return nullptr;
    std::uint64_t mantissa = whole > 0 ? digitsValue(offset, whole) : 0;
    p += whole;
    int fraction = 0;
    if (*p == '.') {
        ++p;
        std::memcpy(&word, p, 8);
        fraction = leadingDigits(word, offset);
        if (fraction == 8) return nullptr;
        if (fraction > 0) mantissa = mantissa * integerPowersOfTen[fraction] + digitsValue(offset, fraction);
        p += fraction;
    }
    if (whole + fraction == 0) return nullptr;
    int exponent = -fraction;
    if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
        ++p;
        const bool exponentNegative = *p == '-';
        p += (*p == '-') | (*p == '+');
        int written = 0;
        int count = 0;
        for (; count < 4 && isDigit(*p); ++count, ++p) written = written * 10 + (*p - '0');
        if (count == 0 || count == 4) return nullptr;
        exponent += exponentNegative ? -written : written;
    }
    // At most 14 digits: exact in a double; see decimalToFloat() for the rounding.
    if (exponent < -12 || exponent + whole + fraction > 15) return nullptr;
    double exact = static_cast<double>(mantissa);
    exact = exponent >= 0 ? exact * exactPowersOfTen[exponent] : exact / exactPowersOfTen[-exponent];
    const auto result = static_cast<float>(exact);
    value = negative ? -result : result;
    return p;
}

bool parseFreeValue(std::string_view text, float& value) {
    return parseNumber(text, 0, false, value);
}

bool tryFormatFixed(char* out, float value, int width, int decimals) {
    if (std::isnan(value)) {
        if (width < 3) return false;
        std::memset(out, ' ', static_cast<std::size_t>(width - 3));
        std::memcpy(out + width - 3, "NaN", 3);
        return true;
    }
    // A float times a power of ten up to 10^4 is exact in double; rounding that
    // to an integer (ties to even) rounds the exact binary value. Below 2^51,
    // adding and taking away 1.5 * 2^52 rounds to an integer in the current
    // (nearest-even) rounding mode.
    const double scaled = std::fabs(static_cast<double>(value) * exactPowersOfTen[decimals]);
    if (!(scaled < 1e15)) return false;
    constexpr double roundingShift = 6755399441055744.0;  // 1.5 * 2^52
    std::uint64_t units = static_cast<std::uint64_t>((scaled + roundingShift) - roundingShift);
    const bool negative = std::signbit(value);

    // Digits from the right: the decimals, the point, the integer digits.
    char text[24];
    char* const textEnd = text + sizeof text;
    char* p = textEnd;
    for (int k = 0; k < decimals; ++k) {
        *--p = static_cast<char>('0' + units % 10);
        units /= 10;
    }
    *--p = '.';
    do {
        *--p = static_cast<char>('0' + units % 10);
        units /= 10;
    } while (units != 0);
    if (negative) *--p = '-';
    const auto length = static_cast<int>(textEnd - p);
    if (length > width) return false;
    std::memset(out, ' ', static_cast<std::size_t>(width - length));
    std::memcpy(out + (width - length), p, static_cast<std::size_t>(length));
    return true;
}

char* formatFixed(char* out, float value, int width, int decimals) {
    if (!tryFormatFixed(out, value, width, decimals)) std::memset(out, '*', static_cast<std::size_t>(width));
    return out + width;
}

char* formatInteger(char* out, std::int64_t value, int width) {
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    auto magnitude =
        negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const int needed = count + (negative ? 1 : 0);
    if (needed > width) {
        std::memset(out, '*', static_cast<std::size_t>(width));
        return out + width;
    }
    char* p = out;
    for (int k = needed; k < width; ++k) *p++ = ' ';
    if (negative) *p++ = '-';
    while (count > 0) *p++ = digits[--count];
    return p;
}

}  // namespace triangle
