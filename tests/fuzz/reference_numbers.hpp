#pragma once

// A second, deliberately plain reading of number text, for the fuzz targets
// to compare the production readers with: the grammar is checked step by
// step on a std::string, and the value comes from std::from_chars, which
// rounds correctly. Slow, but independent of the fast paths it checks.

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

enum class RefKind { number, nan, infinity };

struct RefValue {
    RefKind kind = RefKind::number;
    bool negative = false;
    float value = 0.0f;  // for numbers: the correctly rounded float
};

namespace detail {

inline bool isWord(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return true;
}

// `impliedDecimals`: where the point stands when none is written.
// `signStartsExponent`: a bare sign after the digits introduces the exponent.
inline std::optional<RefValue> read(std::string_view text, int impliedDecimals, bool signStartsExponent) {
    RefValue result;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        result.negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = text.substr(i);
    if (isWord(rest, "nan")) {
        result.kind = RefKind::nan;
        return result;
    }
    if (isWord(rest, "inf") || isWord(rest, "infinity")) {
        result.kind = RefKind::infinity;
        return result;
    }
    std::string digits;
    bool point = false;
    long fractionDigits = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            if (point) ++fractionDigits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits.empty()) return std::nullopt;
    long exponent = 0;
    if (i < text.size()) {
        const char c = text[i];
        const bool letter = c == 'e' || c == 'E' || c == 'd' || c == 'D';
        const bool sign = c == '+' || c == '-';
        if (!letter && !(sign && signStartsExponent)) return std::nullopt;
        if (letter) ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        if (i == text.size()) return std::nullopt;
        for (; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            if (exponent < 10000000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (negativeExponent) exponent = -exponent;
    }
    exponent -= point ? fractionDigits : impliedDecimals;
    const std::string number = digits + "e" + std::to_string(exponent);
    float value = 0.0f;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (end != number.data() + number.size()) return std::nullopt;  // cannot happen
    if (error == std::errc::result_out_of_range) {
        // Zero or infinity; which one is told by the size of the number.
        std::size_t first = digits.find_first_not_of('0');
        const bool zero = first == std::string::npos;
        const long magnitude = zero ? 0 : static_cast<long>(digits.size() - first) + exponent;
        value = (zero || magnitude <= 0) ? 0.0f : std::numeric_limits<float>::infinity();
    }
    result.value = result.negative ? -value : value;
    return result;
}

}  // namespace detail

// A fixed-width field: blanks anywhere ignored, all blanks is 0, the point
// implied before the last 4 digits, a bare sign may start the exponent.
inline std::optional<RefValue> referenceFixedField(std::string_view field) {
    std::string packed;
    for (const char c : field)
        if (c != ' ') packed += c;
    if (packed.empty()) return RefValue{};
    return detail::read(packed, 4, true);
}

// A free-form value: the point never implied, the exponent only after E or D.
inline std::optional<RefValue> referenceFreeValue(std::string_view text) {
    return detail::read(text, 0, false);
}

// The production reader's value `got` is the value the reference reads.
inline bool sameAsReference(const RefValue& expected, float got) {
    switch (expected.kind) {
        case RefKind::nan:
            return std::isnan(got);
        case RefKind::infinity:
            return std::isinf(got) && std::signbit(got) == expected.negative;
        case RefKind::number:
            return !std::isnan(got) && got == expected.value &&
                   std::signbit(got) == std::signbit(expected.value);
    }
    return false;
}

}  // namespace fuzz
