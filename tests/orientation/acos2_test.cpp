#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "orientation/orientation.hpp"
#include "test_support.hpp"

namespace orientation::test {
namespace {

struct Acos2Case {
    float x;
    std::uint32_t expected;
};

// The clamp applies strictly outside [-1, 1]; the end points themselves take
// the arc-cosine.
TEST(Acos2, ClampsOnlyStrictlyOutsideTheDomain) {
    const Acos2Case cases[] = {
        {1.0000001f, 0x00000000},   // > 1: 0
        {1.0f, 0x00000000},         // acos(1) = +0
        {0.0f, 0x3FC90FDB},         // pi/2 = 1.5707964
        {-1.0f, 0x40490FDB},        // acos(-1) = 3.1415927
        {-1.0000001f, 0x40490FDB},  // < -1: the constant 3.1415927
        {1.0e30f, 0x00000000},
        {-1.0e30f, 0x40490FDB},
        {std::numeric_limits<float>::infinity(), 0x00000000},
        {-std::numeric_limits<float>::infinity(), 0x40490FDB},
    };
    for (const Acos2Case& c : cases) {
        EXPECT_TRUE(hasBits(acos2(c.x), c.expected)) << "x = " << describe(c.x);
    }
}

TEST(Acos2, NaNPassesThroughBothTests) {
    EXPECT_TRUE(std::isnan(acos2(std::numeric_limits<float>::quiet_NaN())));
}

class Acos2Const1 : public WithConst1 {};

TEST_F(Acos2Const1, LowerClampDoesNotReadConst1) {
    const1 = {0.0f, 0.0f};
    EXPECT_TRUE(hasBits(acos2(-2.0f), 0x40490FDB));
    const1 = {1.0f, 0.0f};
    EXPECT_TRUE(hasBits(acos2(-2.0f), 0x40490FDB));
}

TEST(Acos2, InsideTheDomainIsTheArcCosine) {
    for (float x = -1.0f; x <= 1.0f; x += 0.125f) {
        EXPECT_NEAR(std::cos(acos2(x)), x, 2e-7f) << "x = " << x;
        EXPECT_GE(acos2(x), 0.0f);
        EXPECT_LE(acos2(x), pi);
    }
}

}  // namespace
}  // namespace orientation::test
