#include <cmath>
#include <cstddef>
#include <cstdint>

#include <gtest/gtest.h>

#include "orientation/orientation.hpp"
#include "test_support.hpp"

namespace orientation::test {
namespace {

constexpr std::uint32_t plusZero = 0x00000000;
constexpr std::uint32_t minusZero = 0x80000000;
constexpr std::uint32_t halfPi = 0x3FC90FDB;         // 1.5707964
constexpr std::uint32_t onePi = 0x40490FDB;          // 3.1415927
constexpr std::uint32_t fiveQuarterPi = 0x407B53D2;  // 3.926991
constexpr std::uint32_t threeHalfPi = 0x4096CBE4;    // 4.712389

// ---------------------------------------------------------------------------
// anglestov
// ---------------------------------------------------------------------------

TEST(Anglestov, PoleIsPlusZ) {
    Vector3 v{9, 9, 9};
    anglestov(0.0f, 0.0f, v);
    EXPECT_TRUE(hasBits(v[0], plusZero));
    EXPECT_TRUE(hasBits(v[1], plusZero));
    EXPECT_TRUE(hasBits(v[2], 0x3F800000));
}

TEST(Anglestov, NearestFloatToHalfPiLiesJustBelowTheEquator) {
    // 1.5707964 is slightly above pi/2, so its cosine is -4.371139e-8.
    Vector3 v{};
    anglestov(fromBits(halfPi), 0.0f, v);
    EXPECT_TRUE(hasBits(v[0], 0x3F800000));
    EXPECT_TRUE(hasBits(v[1], plusZero));
    EXPECT_TRUE(hasBits(v[2], 0xB33BBD2E));
}

TEST(Anglestov, ThetaFromZAndPhiFromXTowardY) {
    struct Case {
        float theta;
        float phi;
        Vector3 expected;
    };
    const float h = 0.70710677f;
    const Case cases[] = {
        {fromBits(halfPi), fromBits(halfPi), {0, 1, 0}},
        {fromBits(halfPi), fromBits(onePi), {-1, 0, 0}},
        {fromBits(onePi), 0.0f, {0, 0, -1}},
        {0.7853982f, 0.0f, {h, 0, h}},
        {0.7853982f, fromBits(threeHalfPi), {0, -h, h}},
    };
    for (const Case& c : cases) {
        Vector3 v{};
        anglestov(c.theta, c.phi, v);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(v[k], c.expected[k], 1e-7f) << c.theta << ", " << c.phi << ": " << k;
        }
    }
}

// ---------------------------------------------------------------------------
// vtoangles
// ---------------------------------------------------------------------------

class Vtoangles : public WithConst1 {
protected:
    void SetUp() override {
        WithConst1::SetUp();
        const1 = {pi, 0.0f};
    }
};

struct VtoanglesCase {
    const char* what;
    Vector3 in;
    std::uint32_t vectorAfter[3];
    std::uint32_t theta;
    std::uint32_t phi;
};

TEST_F(Vtoangles, SignedZerosAndInPlaceNegation) {
    const VtoanglesCase cases[] = {
        {"+z unchanged", {0, 0, 1}, {plusZero, plusZero, 0x3F800000}, plusZero, plusZero},
        // atan2(-0, -0) is -pi, and 2*pi is added.
        {"-z negated", {0, 0, -1}, {minusZero, minusZero, 0x3F800000}, plusZero, onePi},
        // -0 azimuth is not below 0 and is returned as it is.
        {"-0 azimuth", {0, -0.0f, 1}, {plusZero, minusZero, 0x3F800000}, plusZero, minusZero},
        {"+x", {1, 0, 0}, {0x3F800000, plusZero, plusZero}, halfPi, plusZero},
        {"-x", {-1, 0, 0}, {0xBF800000, plusZero, plusZero}, halfPi, onePi},
        {"-y", {0, -1, 0}, {plusZero, 0xBF800000, plusZero}, halfPi, threeHalfPi},
        // -0 is not negative: no negation, theta = pi/2.
        {"-0 third component", {0, 0, -0.0f}, {plusZero, plusZero, minusZero}, halfPi, plusZero},
        // Not of unit length: theta from the third component alone.
        {"(1,1,-1)", {1, 1, -1}, {0xBF800000, 0xBF800000, 0x3F800000}, plusZero, fiveQuarterPi},
        // Above 1 the arc-cosine is clamped to 0.
        {"long +z", {0, 0, 2}, {plusZero, plusZero, 0x40000000}, plusZero, plusZero},
    };
    for (const VtoanglesCase& c : cases) {
        Vector3 v = c.in;
        AnglePair ang{9, 9};
        vtoangles(v, ang);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_TRUE(hasBits(v[k], c.vectorAfter[k])) << c.what << ", component " << k;
        }
        EXPECT_TRUE(hasBits(ang[0], c.theta)) << c.what << ", theta";
        EXPECT_TRUE(hasBits(ang[1], c.phi)) << c.what << ", phi";
    }
}

TEST_F(Vtoangles, VectorJustBelowTheEquatorIsFlippedToTheOppositeAzimuth) {
    Vector3 v{};
    anglestov(fromBits(halfPi), 0.0f, v);
    AnglePair ang{};
    vtoangles(v, ang);
    EXPECT_TRUE(hasBits(v[0], 0xBF800000));
    EXPECT_TRUE(hasBits(v[1], minusZero));
    EXPECT_TRUE(hasBits(v[2], 0x333BBD2E));
    EXPECT_TRUE(hasBits(ang[0], 0x3FC90FDA));  // 1.5707963
    EXPECT_TRUE(hasBits(ang[1], onePi));
}

TEST_F(Vtoangles, PiLeftAtZeroReturnsNegativeAzimuths) {
    const1.pi = 0.0f;
    Vector3 v{0, -1, 0};
    AnglePair ang{};
    vtoangles(v, ang);
    EXPECT_TRUE(hasBits(ang[1], 0xBFC90FDB));  // -pi/2

    v = {0, 0, -1};
    vtoangles(v, ang);
    EXPECT_TRUE(hasBits(ang[1], 0xC0490FDB));  // -pi
}

TEST_F(Vtoangles, InvertsAnglestovInTheUpperHemisphere) {
    for (float theta = 0.1f; theta < 1.5f; theta += 0.07f) {
        for (float phi = 0.0f; phi < 6.28f; phi += 0.13f) {
            Vector3 v{};
            AnglePair ang{};
            anglestov(theta, phi, v);
            const Vector3 before = v;
            vtoangles(v, ang);
            EXPECT_EQ(v, before);
            EXPECT_NEAR(ang[0], theta, 2e-6f) << theta << ", " << phi;
            EXPECT_NEAR(ang[1], phi, 2e-6f) << theta << ", " << phi;
        }
    }
}

TEST_F(Vtoangles, LowerHemisphereGivesTheOppositeDirection) {
    for (float theta = 1.65f; theta < 3.05f; theta += 0.07f) {
        for (float phi = 0.0f; phi < 6.28f; phi += 0.13f) {
            Vector3 v{};
            AnglePair ang{};
            anglestov(theta, phi, v);
            const Vector3 before = v;
            vtoangles(v, ang);
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_TRUE(hasBits(v[k], bits(-before[k])));
            }
            const float flipped = phi < pi ? phi + pi : phi - pi;
            EXPECT_NEAR(ang[0], pi - theta, 2e-6f) << theta << ", " << phi;
            EXPECT_NEAR(ang[1], flipped, 4e-6f) << theta << ", " << phi;
        }
    }
}

}  // namespace
}  // namespace orientation::test
