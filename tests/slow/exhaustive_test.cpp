// Every value with 4 decimals that fits the 8-character field, -99.9999 to
// 999.9999, through the fixed-width reader and writer; and every value of the
// 6-character report field, 0.0000 to 9.9999.

#include "common/number_fast.hpp"
#include "common/number_text.hpp"
#include "common/triangle_data.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

namespace triangle {
namespace {

// The decimal units/10000 as text of exactly `width` characters, right-aligned.
std::string decimalText(std::int64_t units, int width, bool withPoint = true) {
    const bool negative = units < 0;
    std::uint64_t magnitude =
        negative ? static_cast<std::uint64_t>(-units) : static_cast<std::uint64_t>(units);
    std::string text(static_cast<std::size_t>(width), ' ');
    std::size_t at = text.size();
    int placed = 0;
    do {
        if (withPoint && placed == 4) text[--at] = '.';
        text[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        ++placed;
    } while (magnitude != 0 || (withPoint && placed < 5));
    if (negative) text[--at] = '-';
    return text;
}

float nearest(const std::string& text) {
    const std::size_t start = text.find_first_not_of(' ');
    float value = 0.0f;
    std::from_chars(text.data() + start, text.data() + text.size(), value);
    return value;
}

TEST(ExhaustiveRoundTrip, EveryFourDecimalFieldValue) {
    int failures = 0;
    for (std::int64_t units = -999999; units <= 9999999 && failures < 10; ++units) {
        const std::string text = decimalText(units, 8);
        float value = 0.0f;
        ASSERT_TRUE(parseFixedField(text, value)) << text;
        const float expected = nearest(text);
        if (std::bit_cast<std::uint32_t>(value) != std::bit_cast<std::uint32_t>(expected)) {
            ADD_FAILURE() << "'" << text << "' read as " << value << ", nearest float is " << expected;
            ++failures;
        }
        char written[8];
        formatRecordField(written, value);
        if (std::string(written, 8) != text) {
            ADD_FAILURE() << "'" << text << "' written again as '" << std::string(written, 8) << "'";
            ++failures;
        }
        // The same digits without the point: the point is implied before the last four.
        float implied = 0.0f;
        if (units != 0 && (!parseFixedField(decimalText(units, 8, false), implied) ||
                           std::bit_cast<std::uint32_t>(implied) != std::bit_cast<std::uint32_t>(expected))) {
            ADD_FAILURE() << "'" << decimalText(units, 8, false) << "' read as " << implied;
            ++failures;
        }
    }
}

TEST(ExhaustiveRoundTrip, EveryReportFieldValue) {
    int failures = 0;
    for (std::int64_t units = 0; units <= 99999 && failures < 10; ++units) {
        const std::string text = decimalText(units, 6);
        char written[6];
        formatFixed(written, nearest(text), 6);
        if (std::string(written, 6) != text) {
            ADD_FAILURE() << "'" << text << "' written as '" << std::string(written, 6) << "'";
            ++failures;
        }
    }
}

// The in-place reader of the free form against the standard library, on
// every 4-decimal value and on random spellings with up to 7 + 7 digits and
// exponents.
float readInPlace(const std::string& text, const char*& end) {
    char padded[64] = {};
    std::memcpy(padded, text.data(), text.size());
    padded[text.size()] = ' ';
    float value = 0.0f;
    const char* stop = fast::parseUsualFreeNumber(padded, value);
    end = stop == nullptr ? nullptr : text.data() + (stop - padded);
    return value;
}

TEST(ExhaustiveRoundTrip, FreeFormSpellingsReadInPlace) {
    int failures = 0;
    auto check = [&](const std::string& text, const std::string& standard) {
        const char* end = nullptr;
        const float value = readInPlace(text, end);
        float expected = 0.0f;
        std::from_chars(standard.data(), standard.data() + standard.size(), expected);
        if (end != text.data() + text.size() ||
            std::bit_cast<std::uint32_t>(value) != std::bit_cast<std::uint32_t>(expected)) {
            ADD_FAILURE() << "'" << text << "' read as " << value << ", nearest float is " << expected;
            ++failures;
        }
    };
    for (std::int64_t units = -999999; units <= 9999999 && failures < 10; ++units) {
        std::string text = decimalText(units, 8);
        text.erase(0, text.find_first_not_of(' '));
        check(text, text);
    }
    std::mt19937_64 random(20261206);
    for (int i = 0; i < 3000000 && failures < 10; ++i) {
        const int whole = static_cast<int>(random() % 8);
        const int fraction = static_cast<int>(random() % 8);
        if (whole + fraction == 0) continue;
        const bool negative = random() % 2 == 1;
        const bool point = fraction > 0 || random() % 2 == 1;
        const bool exponent = random() % 3 == 0;
        const int exponentValue = static_cast<int>(random() % 41) - 20;
        const bool letterD = random() % 2 == 1;
        std::string text;
        std::string standard;
        if (negative) {
            text.push_back('-');
            standard.push_back('-');
        }
        for (int k = 0; k < whole + fraction; ++k) {
            if (k == whole && point) {
                text.push_back('.');
                standard.push_back('.');
            }
            const char digit = static_cast<char>('0' + random() % 10);
            text.push_back(digit);
            standard.push_back(digit);
        }
        if (point && fraction == 0) {
            text.push_back('.');
            standard.push_back('.');
        }
        if (exponent) {
            text.push_back(letterD ? 'd' : 'E');
            standard.push_back('e');
            text.append(std::to_string(exponentValue));
            standard.append(std::to_string(exponentValue));
        }
        const char* end = nullptr;
        readInPlace(text, end);
        if (end == nullptr) continue;  // left to the general reader, checked elsewhere
        check(text, standard);
    }
}

}  // namespace
}  // namespace triangle
