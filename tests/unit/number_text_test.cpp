#include "common/number_text.hpp"
#include "common/triangle_data.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace triangle {
namespace {

std::uint32_t bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

struct ReadCase {
    const char* text;
    float expected;
};

void expectFixed(const ReadCase& c) {
    float value = -999.0f;
    ASSERT_TRUE(parseFixedField(c.text, value)) << "'" << c.text << "'";
    EXPECT_EQ(bits(value), bits(c.expected)) << "'" << c.text << "' read as " << value;
}

void expectFree(const ReadCase& c) {
    float value = -999.0f;
    ASSERT_TRUE(parseFreeValue(c.text, value)) << "'" << c.text << "'";
    EXPECT_EQ(bits(value), bits(c.expected)) << "'" << c.text << "' read as " << value;
}

TEST(FixedFieldRead, ExplicitPointIsReadAsWritten) {
    for (const ReadCase& c : {ReadCase{"  0.5000", 0.5f},
                              {" -0.5000", -0.5f},
                              {"-12.3456", -12.3456f},
                              {"  1.5   ", 1.5f},
                              {"999.9999", 999.9999f},
                              {"   1.   ", 1.0f},
                              {"    .25 ", 0.25f},
                              {"+1.0    ", 1.0f}})
        expectFixed(c);
}

TEST(FixedFieldRead, ImpliedPointStandsBeforeLastFourDigits) {
    for (const ReadCase& c : {ReadCase{"  123456", 12.3456f},
                              {"       5", 0.0005f},
                              {"   -5000", -0.5f},
                              {"12345678", 1234.5678f},
                              {"       0", 0.0f}})
        expectFixed(c);
}

TEST(FixedFieldRead, BlanksAnywhereAreIgnored) {
    for (const ReadCase& c : {ReadCase{"        ", 0.0f},
                              {"1 2 . 5 ", 12.5f},
                              {" - 1.5  ", -1.5f},
                              {"1 2 3 4 ", 0.1234f},
                              {"", 0.0f}})
        expectFixed(c);
}

TEST(FixedFieldRead, ExponentsWithLetterOrSignAlone) {
    for (const ReadCase& c : {ReadCase{"1.23E+10", 1.23e10f},
                              {"1.5D2   ", 150.0f},
                              {"1.5e-2  ", 0.015f},
                              {"  1.5+3 ", 1500.0f},
                              {"  1.5-3 ", 0.0015f},
                              {"  12345E2", 123.45f},
                              {"1.0E+99 ", std::numeric_limits<float>::infinity()},
                              {"1.0E-99 ", 0.0f}})
        expectFixed(c);
}

TEST(FixedFieldRead, WordsForNonFiniteValues) {
    float value = 0.0f;
    ASSERT_TRUE(parseFixedField("     NaN", value));
    EXPECT_TRUE(std::isnan(value));
    for (const ReadCase& c : {ReadCase{"     Inf", std::numeric_limits<float>::infinity()},
                              {"    -Inf", -std::numeric_limits<float>::infinity()},
                              {"infinity", std::numeric_limits<float>::infinity()}})
        expectFixed(c);
}

TEST(FixedFieldRead, NegativeZeroKeepsItsSign) {
    expectFixed({" -0.0000", -0.0f});
}

TEST(FixedFieldRead, RejectsWhatIsNotANumber) {
    for (const char* text : {"********", "  1.2x34", "   #    ", "  1.2.3 ", "    -   ", "   .    ",
                             "1.5E    ", "  1,5   ", "\t1.5    ", "   NaNa ", "  1.5E+ "}) {
        float value = 0.0f;
        EXPECT_FALSE(parseFixedField(text, value)) << "'" << text << "'";
    }
}

TEST(FreeValueRead, UsualDecimalNotations) {
    for (const ReadCase& c : {ReadCase{"5", 5.0f},
                              {"-5", -5.0f},
                              {"+5", 5.0f},
                              {".5", 0.5f},
                              {"5.", 5.0f},
                              {"-.5", -0.5f},
                              {"1.5E3", 1500.0f},
                              {"1.5e-3", 0.0015f},
                              {"2.5D0", 2.5f},
                              {"2.5d+1", 25.0f},
                              {"0.1234567", 0.1234567f},
                              {"123456789", 123456789.0f},
                              {"-0", -0.0f},
                              {"1e39", std::numeric_limits<float>::infinity()}})
        expectFree(c);
}

TEST(FreeValueRead, LongMantissasAreCorrectlyRounded) {
    // Ties and near-ties need every digit.
    expectFree({"16777217", 16777216.0f});
    expectFree({"16777217.000000000000000001", 16777218.0f});
    expectFree({"0.000000000000000000000000000000000000000000001", 1e-45f});
    expectFree({"3.40282357e38", std::numeric_limits<float>::infinity()});
    const std::string hundreds = "1" + std::string(299, '0') + "e-299";
    expectFree({hundreds.c_str(), 1.0f});
}

TEST(FreeValueRead, NoImpliedPointAndNoSignAloneExponent) {
    expectFree({"123456", 123456.0f});
    for (const char* text : {"1.5+3", "abc", "#", "3*0.0", "1.5E", "--1", "", ".", "1;2"}) {
        float value = 0.0f;
        EXPECT_FALSE(parseFreeValue(text, value)) << "'" << text << "'";
    }
}

struct WriteCase {
    float value;
    const char* text;
};

TEST(FixedWrite, FourDecimalsRightAligned) {
    for (const WriteCase& c : {WriteCase{0.5f, "  0.5000"},
                               {-0.5f, " -0.5000"},
                               {12.3456f, " 12.3456"},
                               {-12.3456f, "-12.3456"},
                               {0.0f, "  0.0000"},
                               {-0.0f, " -0.0000"},
                               {-0.00001f, " -0.0000"},
                               {999.9999f, "999.9999"},
                               {-99.9999f, "-99.9999"}}) {
        char out[8];
        formatFixed(out, c.value, 8);
        EXPECT_EQ(std::string(out, 8), c.text) << c.value;
    }
}

TEST(FixedWrite, ExactTiesGoToTheEvenDigit) {
    for (const WriteCase& c : {WriteCase{0.03125f, "0.0312"},
                               {0.09375f, "0.0938"},
                               {0.00015f, "0.0002"} /* the float lies just above the tie */,
                               {0.00005f, "0.0000"}}) {
        char out[6];
        formatFixed(out, c.value, 6);
        EXPECT_EQ(std::string(out, 6), c.text) << c.value;
    }
}

TEST(FixedWrite, TooWideFillsTheFieldWithAsterisks) {
    for (const WriteCase& c : {WriteCase{9.99995f, "******"},
                               {10.0f, "******"},
                               {-0.5f, "******"},
                               {std::numeric_limits<float>::infinity(), "******"},
                               {9.9999f, "9.9999"},
                               {std::nanf(""), "   NaN"}}) {
        char out[6];
        formatFixed(out, c.value, 6);
        EXPECT_EQ(std::string(out, 6), c.text) << c.value;
    }
    char out[9];
    formatFixed(out, 10000.0f, 9);
    EXPECT_EQ(std::string(out, 9), "*********");
    formatFixed(out, -999.9999f, 9);
    EXPECT_EQ(std::string(out, 9), "-999.9999");
}

TEST(FixedWrite, IntegersRightAlignedOrAsterisks) {
    struct Case {
        std::int64_t value;
        int width;
        const char* text;
    };
    for (const Case& c : {Case{1234, 9, "     1234"},
                          {0, 9, "        0"},
                          {9999999, 7, "9999999"},
                          {10000000, 7, "*******"},
                          {-2147483647 - 1, 11, "-2147483648"},
                          {3, 6, "     3"}}) {
        char out[16];
        formatInteger(out, c.value, c.width);
        EXPECT_EQ(std::string(out, static_cast<std::size_t>(c.width)), c.text) << c.value;
    }
}

TEST(RecordFieldWrite, ValuesThatFitKeepFourDecimals) {
    char out[8];
    formatRecordField(out, 999.9999f);
    EXPECT_EQ(std::string(out, 8), "999.9999");
    formatRecordField(out, -99.9999f);
    EXPECT_EQ(std::string(out, 8), "-99.9999");
}

TEST(RecordFieldWrite, LargeValuesKeepAsManyDecimalsAsFit) {
    for (const WriteCase& c : {WriteCase{1000.0f, "1000.000"},
                               {1234.5678f, "1234.568"},
                               {-123.4567f, "-123.457"},
                               {-100.0f, "-100.000"},
                               {9999999.0f, "9999999."},
                               {-999999.0f, "-999999."},
                               {99999.99f, "99999.99"},
                               {1.23e10f, "1.23E+10"},
                               {12345678.0f, "1.23E+07"},
                               {-1.0e7f, "-1.0E+07"},
                               {3.4e38f, "3.40E+38"},
                               {std::numeric_limits<float>::infinity(), "     Inf"},
                               {-std::numeric_limits<float>::infinity(), "    -Inf"},
                               {std::nanf(""), "     NaN"}}) {
        char out[8];
        formatRecordField(out, c.value);
        EXPECT_EQ(std::string(out, 8), c.text) << c.value;
    }
}

TEST(RecordFieldWrite, EverythingWrittenReadsBackToThePrecisionWritten) {
    for (const float value :
         {1000.0f, 1234.5678f, -123.4567f, -100.0f, 9999999.0f, 9999999.5f, 1.0e7f, -999999.5f, -1.0e6f,
          1.23e10f, 3.4028235e38f, -3.4028235e38f, 5.0e-8f, std::numeric_limits<float>::infinity()}) {
        char out[8];
        formatRecordField(out, value);
        const std::string text(out, 8);
        float back = 0.0f;
        ASSERT_TRUE(parseFixedField(text, back)) << text;
        // Written again, the value read back gives the same text.
        char again[8];
        formatRecordField(again, back);
        EXPECT_EQ(std::string(again, 8), text) << value;
        if (std::isfinite(value)) {
            EXPECT_LE(std::fabs(back - value), std::fabs(value) * 0.06f + 0.0001f) << text;
        }
    }
}

}  // namespace
}  // namespace triangle
