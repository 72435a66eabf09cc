#pragma once

// Helpers shared by the orientation tests: float bit patterns and a fixture
// that puts const1 back the way it found it.

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "orientation/orientation.hpp"

namespace orientation::test {

inline constexpr float pi = 3.1415927f;  // 0x40490FDB, what a caller stores in const1.pi

inline std::uint32_t bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

inline float fromBits(std::uint32_t pattern) {
    return std::bit_cast<float>(pattern);
}

inline std::string describe(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g (0x%08X)", static_cast<double>(value), bits(value));
    return text;
}

// Exact comparison of the bit pattern, so that -0 differs from +0 and a NaN
// can be matched; the failure message shows both values in hex.
inline ::testing::AssertionResult hasBits(float actual, std::uint32_t expected) {
    if (bits(actual) == expected) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "got " << describe(actual) << ", want " << describe(fromBits(expected));
}

inline ::testing::AssertionResult matricesNear(const Matrix3& actual, const Matrix3& expected,
                                               float tolerance) {
    for (std::size_t k = 0; k < 9; ++k) {
        if (!(std::fabs(actual[k] - expected[k]) <= tolerance)) {
            return ::testing::AssertionFailure()
                   << "index " << k << ": got " << describe(actual[k]) << ", want " << describe(expected[k])
                   << " (tolerance " << tolerance << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

inline constexpr Matrix3 identity{1, 0, 0, 0, 1, 0, 0, 0, 1};

// Builds a column-major matrix from its rows, as matrices are written on paper.
inline constexpr Matrix3 fromRows(float a11, float a12, float a13, float a21, float a22, float a23, float a31,
                                  float a32, float a33) {
    return Matrix3{a11, a21, a31, a12, a22, a32, a13, a23, a33};
}

// Tests that touch const1 derive from this fixture; const1 is restored after
// each test so that no test depends on the order they run in.
class WithConst1 : public ::testing::Test {
protected:
    void SetUp() override { saved_ = const1; }
    void TearDown() override { const1 = saved_; }

private:
    Const1 saved_{};
};

}  // namespace orientation::test
