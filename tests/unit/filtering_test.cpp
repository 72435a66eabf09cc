#include "dremmick/filtering.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dremmick {
namespace {

using triangle::TriangleRecord;

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct Case {
    float first[3];
    float second[3];
    float curvature;
    float velocity;
    float curvatureLimit;
    float velocityLimit;
    Verdict verdict;
};

TriangleRecord recordOf(const Case& c) {
    TriangleRecord record;
    for (int k = 0; k < 3; ++k) {
        record.value(k + 1) = c.first[k];
        record.value(k + 4) = c.second[k];
    }
    record.curvature() = c.curvature;
    record.velocity() = c.velocity;
    takeAbsoluteValues(record);
    return record;
}

TEST(Judge, TestsInTheirOrder) {
    // One line for each test, each over every later limit too, so that only
    // the order decides: blank before over a limit, curvature before velocity.
    for (const Case& c : {
             Case{{0, 0, 0}, {0, 0, 0}, 0.9f, 5.0f, 0.5f, 2.0f, Verdict::blank},
             Case{{1, 0, 0}, {0, 0, 0}, 0.9f, 5.0f, 0.5f, 2.0f, Verdict::blank},
             Case{{1, 0, 0}, {1, 0, 0}, -0.7f, 5.0f, 0.5f, 2.0f, Verdict::highCurvature},
             Case{{1, 0, 0}, {1, 0, 0}, 0.5f, -3.0f, 0.5f, 2.0f, Verdict::highVelocity},
             Case{{1, 0, 0}, {1, 0, 0}, -0.5f, -2.0f, 0.5f, 2.0f, Verdict::keep},
         })
        EXPECT_EQ(judge(recordOf(c), c.curvatureLimit, c.velocityLimit), c.verdict);
}

TEST(Judge, SignedZerosNaNsAndOddLimits) {
    for (const Case& c : {
             Case{{0, 0, -0.0f}, {1, 1, 1}, 0.1f, 0.1f, 0.5f, 2.0f, Verdict::blank},
             Case{{nan, 0, 0}, {1, 1, 1}, 0.1f, 0.1f, 0.5f, 2.0f, Verdict::keep},
             Case{{nan, 0, 0}, {0, 0, 0}, 0.1f, 0.1f, 0.5f, 2.0f, Verdict::blank},
             Case{{1, 1, 1}, {1, 1, 1}, nan, nan, 0.5f, 2.0f, Verdict::keep},
             Case{{1, 1, 1}, {1, 1, 1}, 0.9f, 9.0f, nan, nan, Verdict::keep},
             Case{{1, 1, 1}, {1, 1, 1}, 0.00003f, 1.0f, 0.00004f, 2.0f, Verdict::keep},
             Case{{1, 1, 1}, {1, 1, 1}, 0.00005f, 1.0f, 0.00004f, 2.0f, Verdict::highCurvature},
             Case{{1, 1, 1}, {1, 1, 1}, -0.0f, 1.0f, 0.0f, 2.0f, Verdict::keep},
             Case{{1, 1, 1}, {1, 1, 1}, -0.1f, 1.0f, 0.0f, 2.0f, Verdict::highCurvature},
             Case{{1, 1, 1}, {1, 1, 1}, 0.0f, 0.0f, -1.0f, 2.0f, Verdict::highCurvature},
             Case{{1, 1, 1}, {1, 1, 1}, 0.0f, 0.0f, 1.0f, -1.0f, Verdict::highVelocity},
             Case{{0, 0, 0}, {1, 1, 1}, 9.0f, 9.0f, -1.0f, -1.0f, Verdict::blank},
         })
        EXPECT_EQ(judge(recordOf(c), c.curvatureLimit, c.velocityLimit), c.verdict)
            << c.curvature << " " << c.velocity << " limits " << c.curvatureLimit << " " << c.velocityLimit;
}

TEST(AbsoluteValues, OnlyValuesTenToTwelveLoseTheirSign) {
    TriangleRecord record;
    for (int position = 1; position <= 12; ++position) record.value(position) = -static_cast<float>(position);
    record.value(10) = -0.0f;
    takeAbsoluteValues(record);
    for (int position = 1; position <= 9; ++position) EXPECT_EQ(record.value(position), -position);
    EXPECT_FALSE(std::signbit(record.value(10)));
    EXPECT_EQ(record.curvature(), 11.0f);
    EXPECT_EQ(record.velocity(), 12.0f);
}

TEST(Tally, EachDroppedLineRaisesOneCounter) {
    FilterTally tally;
    for (const Verdict v : {Verdict::blank, Verdict::blank, Verdict::highCurvature, Verdict::keep,
                            Verdict::highVelocity, Verdict::highVelocity, Verdict::highVelocity})
        count(tally, v);
    EXPECT_EQ(tally.blankCount, 2);
    EXPECT_EQ(tally.highCurvatureCount, 1);
    EXPECT_EQ(tally.highVelocityCount, 3);
}

}  // namespace
}  // namespace dremmick
