#include "common/number_text.hpp"

#include "common/number_fast.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

namespace triangle {
namespace {

// The nearest float to (-1)^negative * digits * 10^exponent10, where `digits`
// holds the decimal digits of the mantissa (leading zeros allowed).
float decimalToFloat(bool negative, std::string_view digits, int exponent10) {
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    if (digits.empty()) return negative ? -0.0f : 0.0f;
    const int significant = static_cast<int>(digits.size());
    float result = 0.0f;
    std::uint64_t mantissa = 0;
    if (significant <= 15)
        for (const char c : digits) mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
    if (!fast::scaleExactly(mantissa, significant, exponent10, result)) {
        // Everything else: the digit string with its exponent, correctly
        // rounded by the standard library. Short texts are built on the stack,
        // so that even unusual numbers do not allocate.
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
        if (std::from_chars(text, text + length, result).ec == std::errc::result_out_of_range) {
            // Too large rounds to infinity, too small to zero.
            result = exponent10 + significant > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
        }
    }
    return negative ? -result : result;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// NaN, Inf and Infinity in any case, after the sign has been taken off.
bool parseWord(std::string_view text, bool negative, float& value) {
    char lower[8];
    if (text.size() > sizeof lower) return false;
    std::transform(text.begin(), text.end(), lower, [](char c) { return static_cast<char>(c | 0x20); });
    const std::string_view word(lower, text.size());
    if (word != "nan" && word != "inf" && word != "infinity") return false;
    const float magnitude =
        word == "nan" ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
    value = negative ? -magnitude : magnitude;
    return true;
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

// Writes `length` characters of `text` right-aligned in `width`; nullptr when they do not fit.
char* rightAligned(char* out, int width, const char* text, std::size_t length) {
    const auto w = static_cast<std::size_t>(width);
    if (length > w) return nullptr;
    std::memset(out, ' ', w - length);
    std::memcpy(out + (w - length), text, length);
    return out + w;
}

}  // namespace

bool parseFixedField(std::string_view field, float& value) {
    if (field.size() == 8 && fast::readUsualFixedField(field.data(), value)) return true;
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

bool parseFreeValue(std::string_view text, float& value) {
    return parseNumber(text, 0, false, value);
}

char* tryFormatFixed(char* out, float value, int width, int decimals) {
    if (std::isnan(value)) return rightAligned(out, width, "NaN", 3);
    if (std::isinf(value)) return nullptr;
    char text[64];
    char* end = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, decimals).ptr;
    if (decimals == 0) *end++ = '.';
    return rightAligned(out, width, text, static_cast<std::size_t>(end - text));
}

char* formatFixed(char* out, float value, int width) {
    if (char* end = tryFormatFixed(out, value, width, 4)) return end;
    std::memset(out, '*', static_cast<std::size_t>(width));
    return out + width;
}

char* formatInteger(char* out, std::int64_t value, int width) {
    char text[24];
    const char* end = std::to_chars(text, text + sizeof text, value).ptr;
    if (char* written = rightAligned(out, width, text, static_cast<std::size_t>(end - text))) return written;
    std::memset(out, '*', static_cast<std::size_t>(width));
    return out + width;
}

}  // namespace triangle
