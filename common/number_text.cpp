#include "common/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

namespace triangle {
namespace {

constexpr double exactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lower(text[i]) != word[i]) return false;
    return true;
}

// NaN, Inf and Infinity in any case, after the sign has been taken off.
bool parseWord(std::string_view text, bool negative, float& value) {
    if (equalsIgnoringCase(text, "nan")) {
        value = negative ? -std::numeric_limits<float>::quiet_NaN()
                         : std::numeric_limits<float>::quiet_NaN();
        return true;
    }
    if (equalsIgnoringCase(text, "inf") || equalsIgnoringCase(text, "infinity")) {
        value = negative ? -std::numeric_limits<float>::infinity()
                         : std::numeric_limits<float>::infinity();
        return true;
    }
    return false;
}

// The parts of a number after its sign: digits with at most one point, then
// an optional exponent. `impliedDecimals` is where the point stands when none
// is written.
bool parseUnsigned(std::string_view text, bool negative, int impliedDecimals,
                   bool signAloneStartsExponent, float& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    const std::size_t digitsStart = i;
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
    (void)digitsStart;
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

bool parseNumber(std::string_view text, int impliedDecimals, bool signAloneStartsExponent,
                 float& value) {
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
        exact = exponent10 >= 0 ? exact * exactPowersOfTen[exponent10]
                                : exact / exactPowersOfTen[-exponent10];
        const auto result = static_cast<float>(exact);
        return negative ? -result : result;
    }

    // Everything else: the digit string with its exponent, correctly rounded
    // by the standard library.
    std::string text(digits);
    text += 'e';
    text += std::to_string(exponent10);
    float result = 0.0f;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Too large rounds to infinity, too small to zero.
        result = exponent10 + significant > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    return negative ? -result : result;
}

bool parseFixedField(std::string_view field, float& value) {
    // Fast path for the usual "  -12.3456": leading blanks, a sign, digits with
    // a point, right up to the end of the field.
    std::size_t i = 0;
    const std::size_t n = field.size();
    while (i < n && field[i] == ' ') ++i;
    if (i == n) {
        value = 0.0f;
        return true;
    }
    {
        std::size_t j = i;
        const bool negative = field[j] == '-';
        if (negative) ++j;
        std::uint32_t mantissa = 0;
        int fraction = -1;
        int digitCount = 0;
        for (; j < n; ++j) {
            const char c = field[j];
            if (isDigit(c)) {
                mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
                ++digitCount;
                if (fraction >= 0) ++fraction;
            } else if (c == '.' && fraction < 0) {
                fraction = 0;
            } else {
                break;
            }
        }
        if (j == n && digitCount > 0 && digitCount <= 9) {
            const int scale = fraction >= 0 ? fraction : 4;
            const auto result = static_cast<float>(static_cast<double>(mantissa) / exactPowersOfTen[scale]);
            value = negative ? -result : result;
            return true;
        }
    }
    // General form: drop every blank, then read sign, digits, exponent.
    char packed[64];
    std::size_t length = 0;
    for (std::size_t k = i; k < n; ++k) {
        if (field[k] == ' ') continue;
        if (length == sizeof packed) return false;
        packed[length++] = field[k];
    }
    return parseNumber(std::string_view(packed, length), 4, true, value);
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
    // to an integer (ties to even) rounds the exact binary value.
    const double scaled = static_cast<double>(value) * exactPowersOfTen[decimals];
    if (!(std::fabs(scaled) < 1e17)) return false;
    auto units = static_cast<std::uint64_t>(std::fabs(std::nearbyint(scaled)));
    const bool negative = std::signbit(value);

    char digits[24];
    int count = 0;
    for (int k = 0; k < decimals; ++k) {
        digits[count++] = static_cast<char>('0' + units % 10);
        units /= 10;
    }
    do {
        digits[count++] = static_cast<char>('0' + units % 10);
        units /= 10;
    } while (units != 0);
    const int needed = count + 1 + (negative ? 1 : 0);  // the point, the sign
    if (needed > width) return false;

    char* p = out;
    for (int k = needed; k < width; ++k) *p++ = ' ';
    if (negative) *p++ = '-';
    for (int k = count - 1; k >= decimals; --k) *p++ = digits[k];
    *p++ = '.';
    for (int k = decimals - 1; k >= 0; --k) *p++ = digits[k];
    return true;
}

char* formatFixed(char* out, float value, int width, int decimals) {
    if (!tryFormatFixed(out, value, width, decimals))
        std::memset(out, '*', static_cast<std::size_t>(width));
    return out + width;
}

char* formatInteger(char* out, std::int64_t value, int width) {
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    auto magnitude = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                              : static_cast<std::uint64_t>(value);
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
