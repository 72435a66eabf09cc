#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "orientation/orientation.hpp"
#include "test_support.hpp"

namespace orientation::test {
namespace {

constexpr std::uint32_t minusHalfBits = 0xBF000000;
constexpr std::uint32_t rootThreeHalvesBits = 0x3F5DB3D7;  // sqrt(3)/2 = 0.8660254

// Every test here starts with const1.pi = pi (the trigonal set reads it).
class Symmetry : public WithConst1 {
protected:
    void SetUp() override {
        WithConst1::SetUp();
        const1 = {pi, 0.0f};
    }

    static std::vector<Matrix3> operators(std::int32_t code) {
        SymmetryOperatorArray ops{};
        std::int32_t count = -1;
        get_symop(code, ops, count);
        std::vector<Matrix3> set;
        for (std::int32_t n = 1; n <= count; ++n) {
            Matrix3 g{};
            symop(ops, n, g);
            set.push_back(g);
        }
        return set;
    }
};

// ---------------------------------------------------------------------------
// Counts and untouched slots
// ---------------------------------------------------------------------------

TEST_F(Symmetry, CountsOfTheFiveClasses) {
    const std::int32_t expected[][2] = {{1, 8}, {2, 12}, {3, 24}, {4, 3}, {5, 4}};
    for (const auto& c : expected) {
        SymmetryOperatorArray ops{};
        std::int32_t count = -1;
        get_symop(c[0], ops, count);
        EXPECT_EQ(count, c[1]) << "code " << c[0];
    }
}

TEST_F(Symmetry, UnknownCodesLeaveTheArrayZeroAndTheCountAlone) {
    const std::int32_t codes[] = {
        0, 6, -1, 7, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    for (std::int32_t code : codes) {
        SymmetryOperatorArray ops;
        ops.fill(7.5f);
        std::int32_t count = 12345;
        get_symop(code, ops, count);
        EXPECT_EQ(count, 12345) << "code " << code;
        for (std::size_t k = 0; k < ops.size(); ++k) {
            ASSERT_TRUE(hasBits(ops[k], 0x00000000)) << "code " << code << ", value " << k;
        }
    }
}

TEST_F(Symmetry, SlotsBeyondTheCountAreZero) {
    // Filled over a previous, larger set: nothing of it may survive. The
    // trigonal set, whose slots 4 to 24 are free, leaves them zero as well.
    for (std::int32_t code = 1; code <= 5; ++code) {
        SymmetryOperatorArray ops{};
        std::int32_t count = 0;
        get_symop(3, ops, count);
        get_symop(code, ops, count);
        for (std::size_t k = static_cast<std::size_t>(count) * 9; k < ops.size(); ++k) {
            ASSERT_TRUE(hasBits(ops[k], 0x00000000)) << "code " << code << ", value " << k;
        }
    }
}

TEST_F(Symmetry, CubicSetStartsWithIdentityAndThreeFoldColumnByColumn) {
    SymmetryOperatorArray ops{};
    std::int32_t count = 0;
    get_symop(3, ops, count);
    const float expected[18] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 0};
    for (std::size_t k = 0; k < 18; ++k) {
        EXPECT_EQ(ops[k], expected[k]) << "value " << k;
    }
}

// ---------------------------------------------------------------------------
// Each operator is the rotation its place in the set says it is
// ---------------------------------------------------------------------------

struct Rotation {
    std::int32_t slot;
    Vector3 axis;  // any length; normalised before use
    float degrees;
};

// The rotation of each slot, as axis and angle (right-hand rule, acting on
// the vector). Written independently of the stored tables, so a sign, a
// swapped row or a transposed operator shows up.
// clang-format off
const Rotation tetragonalRotations[] = {
    {1, {0, 0, 1}, 0},     {2, {0, 1, 0}, 180},   {3, {1, 0, 0}, 180},  {4, {0, 0, 1}, 180},
    {5, {0, 0, 1}, -90},   {6, {0, 0, 1}, 90},    {7, {1, 1, 0}, 180},  {8, {1, -1, 0}, 180},
};
const Rotation hexagonalRotations[] = {
    {1, {0, 0, 1}, 0},     {2, {0, 0, 1}, -120},  {3, {0, 0, 1}, 120},  {4, {0, 0, 1}, -60},
    {5, {0, 0, 1}, 180},   {6, {0, 0, 1}, 60},
    {7, {0.5f, -0.8660254f, 0}, 180},   {8, {1, 0, 0}, 180},
    {9, {0.5f, 0.8660254f, 0}, 180},    {10, {0.8660254f, 0.5f, 0}, 180},
    {11, {0, 1, 0}, 180},               {12, {0.8660254f, -0.5f, 0}, 180},
};
const Rotation cubicRotations[] = {
    {1, {0, 0, 1}, 0},
    {2, {1, 1, 1}, 120},   {3, {1, 1, 1}, -120},  {4, {1, -1, -1}, -120}, {5, {1, -1, 1}, 120},
    {6, {1, 1, -1}, 120},  {7, {1, 1, -1}, -120}, {8, {1, -1, -1}, 120},  {9, {1, -1, 1}, -120},
    {10, {0, 1, 0}, 180},  {11, {0, 0, 1}, 180},  {12, {1, 0, 0}, 180},
    {13, {1, 0, -1}, 180}, {14, {1, 0, 1}, 180},  {15, {0, 1, 0}, 90},    {16, {0, 1, 0}, -90},
    {17, {0, 1, -1}, 180}, {18, {1, 0, 0}, 90},   {19, {1, 0, 0}, -90},   {20, {0, 1, 1}, 180},
    {21, {1, -1, 0}, 180}, {22, {0, 0, 1}, -90},  {23, {1, 1, 0}, 180},   {24, {0, 0, 1}, 90},
};
const Rotation trigonalRotations[] = {
    {1, {0, 0, 1}, 0},     {2, {0, 0, 1}, 120},   {3, {0, 0, 1}, 240},
};
const Rotation orthorhombicRotations[] = {
    {1, {0, 0, 1}, 0},     {2, {0, 1, 0}, 180},   {3, {0, 0, 1}, 180},  {4, {1, 0, 0}, 180},
};
// clang-format on

Matrix3 rotationOf(const Rotation& r) {
    const double length = std::sqrt(double{r.axis[0]} * r.axis[0] + double{r.axis[1]} * r.axis[1] +
                                    double{r.axis[2]} * r.axis[2]);
    const Vector3 unit{static_cast<float>(r.axis[0] / length), static_cast<float>(r.axis[1] / length),
                       static_cast<float>(r.axis[2] / length)};
    Matrix3 g{};
    aatog(unit, static_cast<float>(r.degrees * 3.14159265358979323846 / 180.0), g);
    return g;
}

// The stored constants of the fixed sets.
float nearestStoredConstant(float x) {
    const float candidates[] = {0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 0.8660254f, -0.8660254f};
    float best = candidates[0];
    for (float c : candidates) {
        if (std::fabs(x - c) < std::fabs(x - best)) {
            best = c;
        }
    }
    return best;
}

template <std::size_t N>
void expectRotations(std::int32_t code, const Rotation (&rotations)[N], bool storedConstants) {
    SymmetryOperatorArray ops{};
    std::int32_t count = 0;
    get_symop(code, ops, count);
    ASSERT_EQ(static_cast<std::size_t>(count), N);
    for (const Rotation& r : rotations) {
        Matrix3 g{};
        symop(ops, r.slot, g);
        const Matrix3 expected = rotationOf(r);
        EXPECT_TRUE(matricesNear(g, expected, 1e-6f)) << "code " << code << ", slot " << r.slot;
        if (storedConstants) {
            // Entries are the stored constants exactly, and zeros are +0.
            for (std::size_t k = 0; k < 9; ++k) {
                EXPECT_TRUE(hasBits(g[k], bits(nearestStoredConstant(expected[k]))))
                    << "code " << code << ", slot " << r.slot << ", value " << k;
            }
        }
    }
}

TEST_F(Symmetry, TetragonalOperatorsAreTheListedRotations) {
    expectRotations(1, tetragonalRotations, true);
}

TEST_F(Symmetry, HexagonalOperatorsAreTheListedRotations) {
    expectRotations(2, hexagonalRotations, true);
}

TEST_F(Symmetry, CubicOperatorsAreTheListedRotations) {
    expectRotations(3, cubicRotations, true);
}

TEST_F(Symmetry, TrigonalOperatorsAreTheListedRotations) {
    expectRotations(4, trigonalRotations, false);
}

TEST_F(Symmetry, OrthorhombicOperatorsAreTheListedRotations) {
    expectRotations(5, orthorhombicRotations, true);
}

// ---------------------------------------------------------------------------
// Exact bit patterns
// ---------------------------------------------------------------------------

TEST_F(Symmetry, HexagonalEntriesAreTheStoredHalvesAndRootThreeHalves) {
    SymmetryOperatorArray ops{};
    std::int32_t count = 0;
    get_symop(2, ops, count);
    Matrix3 g{};
    symop(ops, 3, g);                                              // +120 degrees about z
    EXPECT_TRUE(hasBits(g[0], minusHalfBits));                     // (1,1)
    EXPECT_TRUE(hasBits(g[1], rootThreeHalvesBits));               // (2,1)
    EXPECT_TRUE(hasBits(g[3], 0x80000000 | rootThreeHalvesBits));  // (1,2)
    EXPECT_TRUE(hasBits(g[4], minusHalfBits));                     // (2,2)
}

struct TrigonalEntry {
    std::int32_t slot;
    std::uint32_t values[9];
};

TEST_F(Symmetry, TrigonalEntriesAreComputedFromConst1Pi) {
    // cos and sin of pi*2/3 = 0x40060A92 and pi*4/3 = 0x40860A92: they differ
    // in their last bits from the hexagonal constants.
    const TrigonalEntry expected[] = {
        {1, {0x3F800000, 0, 0, 0, 0x3F800000, 0, 0, 0, 0x3F800000}},
        {2, {0xBF000001, 0x3F5DB3D7, 0, 0xBF5DB3D7, 0xBF000001, 0, 0, 0, 0x3F800000}},
        {3, {0xBEFFFFFD, 0xBF5DB3D8, 0, 0x3F5DB3D8, 0xBEFFFFFD, 0, 0, 0, 0x3F800000}},
    };
    SymmetryOperatorArray ops{};
    std::int32_t count = 0;
    get_symop(4, ops, count);
    for (const TrigonalEntry& e : expected) {
        Matrix3 g{};
        symop(ops, e.slot, g);
        for (std::size_t k = 0; k < 9; ++k) {
            EXPECT_TRUE(hasBits(g[k], e.values[k])) << "slot " << e.slot << ", value " << k;
        }
    }
}

TEST_F(Symmetry, TrigonalSetReadsConst1PiAtTheTimeOfTheCall) {
    // With pi left at 0 both angles are 0 and the turns degenerate to the
    // identity (with a -0 where -sin 0 is stored).
    const1.pi = 0.0f;
    SymmetryOperatorArray ops{};
    std::int32_t count = 0;
    get_symop(4, ops, count);
    EXPECT_EQ(count, 3);
    for (std::int32_t n = 1; n <= 3; ++n) {
        Matrix3 g{};
        symop(ops, n, g);
        EXPECT_EQ(g, identity) << "slot " << n;
    }
}

TEST_F(Symmetry, HexagonalAndTrigonalSecondSlotsTurnOppositeWays) {
    SymmetryOperatorArray ops{};
    std::int32_t count = 0;
    Matrix3 hex{};
    Matrix3 tri{};
    get_symop(2, ops, count);
    symop(ops, 2, hex);
    get_symop(4, ops, count);
    symop(ops, 2, tri);
    Vector3 x{1, 0, 0};
    Vector3 hexX{};
    Vector3 triX{};
    mtov(hex, x, hexX);
    mtov(tri, x, triX);
    EXPECT_LT(hexX[1], 0.0f);  // -120 degrees
    EXPECT_GT(triX[1], 0.0f);  // +120 degrees
    EXPECT_TRUE(hasBits(hex[0], minusHalfBits));
    EXPECT_TRUE(hasBits(tri[0], 0xBF000001));
}

// ---------------------------------------------------------------------------
// Group structure
// ---------------------------------------------------------------------------

std::ptrdiff_t indexOf(const std::vector<Matrix3>& set, const Matrix3& g, float tolerance) {
    for (std::size_t n = 0; n < set.size(); ++n) {
        if (matricesNear(g, set[n], tolerance)) {
            return static_cast<std::ptrdiff_t>(n);
        }
    }
    return -1;
}

void expectClosed(const std::vector<Matrix3>& set, std::size_t size, float tolerance) {
    const std::vector<Matrix3> subset(set.begin(), set.begin() + static_cast<std::ptrdiff_t>(size));
    for (std::size_t a = 0; a < size; ++a) {
        for (std::size_t b = 0; b < size; ++b) {
            Matrix3 product{};
            mtom(subset[a], subset[b], product);
            EXPECT_GE(indexOf(subset, product, tolerance), 0)
                << "slot " << a + 1 << " times slot " << b + 1 << " is outside the first " << size;
        }
    }
}

struct GroupCase {
    std::int32_t code;
    float tolerance;  // 0: exact
};

TEST_F(Symmetry, EverySetIsClosedUnderMtom) {
    const GroupCase cases[] = {{1, 0.0f}, {2, 2e-7f}, {3, 0.0f}, {4, 2e-7f}, {5, 0.0f}};
    for (const GroupCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "code " << c.code);
        const std::vector<Matrix3> set = operators(c.code);
        expectClosed(set, set.size(), c.tolerance);
    }
}

TEST_F(Symmetry, OperatorsAreDistinct) {
    for (std::int32_t code = 1; code <= 5; ++code) {
        const std::vector<Matrix3> set = operators(code);
        for (std::size_t a = 0; a < set.size(); ++a) {
            for (std::size_t b = a + 1; b < set.size(); ++b) {
                EXPECT_FALSE(matricesNear(set[a], set[b], 0.1f))
                    << "code " << code << ": slots " << a + 1 << " and " << b + 1;
            }
        }
    }
}

TEST_F(Symmetry, LeadingSlotsFormTheSubgroups) {
    expectClosed(operators(3), 12, 0.0f);  // 23 inside 432
    expectClosed(operators(2), 6, 2e-7f);  // 6 inside 622
    expectClosed(operators(2), 3, 2e-7f);  // 3 inside 622
    expectClosed(operators(1), 4, 0.0f);   // 222 inside 422
}

TEST_F(Symmetry, OrthorhombicIsTetragonalSubgroupWithTwoSlotsSwapped) {
    const std::vector<Matrix3> tetragonal = operators(1);
    const std::vector<Matrix3> orthorhombic = operators(5);
    ASSERT_EQ(orthorhombic.size(), 4u);
    EXPECT_EQ(orthorhombic[0], tetragonal[0]);
    EXPECT_EQ(orthorhombic[1], tetragonal[1]);
    EXPECT_EQ(orthorhombic[2], tetragonal[3]);
    EXPECT_EQ(orthorhombic[3], tetragonal[2]);
}

TEST_F(Symmetry, IntegerSetsAreExactProperRotations) {
    for (std::int32_t code : {1, 3, 5}) {
        for (const Matrix3& g : operators(code)) {
            Matrix3 gt{};
            Matrix3 product{};
            trans(g, gt);
            mtom(g, gt, product);
            EXPECT_EQ(product, identity) << "code " << code;
            const float det = g[0] * (g[4] * g[8] - g[7] * g[5]) - g[3] * (g[1] * g[8] - g[7] * g[2]) +
                              g[6] * (g[1] * g[5] - g[4] * g[2]);
            EXPECT_EQ(det, 1.0f) << "code " << code;
        }
    }
}

// ---------------------------------------------------------------------------
// symop
// ---------------------------------------------------------------------------

TEST(Symop, CopiesSlotNInStorageOrder) {
    SymmetryOperatorArray ops{};
    for (std::size_t k = 0; k < ops.size(); ++k) {
        ops[k] = static_cast<float>(k);
    }
    for (std::int32_t n = 1; n <= 24; ++n) {
        Matrix3 g{};
        symop(ops, n, g);
        for (std::size_t k = 0; k < 9; ++k) {
            EXPECT_EQ(g[k], static_cast<float>(9 * (n - 1) + static_cast<std::int32_t>(k)))
                << "slot " << n << ", value " << k;
        }
    }
}

TEST_F(Symmetry, SymopBeyondTheCountGivesZeroAndLeavesTheArray) {
    for (std::int32_t code : {1, 2, 3, 5}) {
        SymmetryOperatorArray ops{};
        std::int32_t count = 0;
        get_symop(code, ops, count);
        const SymmetryOperatorArray before = ops;
        for (std::int32_t n = count + 1; n <= 24; ++n) {
            Matrix3 g;
            g.fill(5.0f);
            symop(ops, n, g);
            EXPECT_EQ(g, Matrix3{}) << "code " << code << ", slot " << n;
        }
        EXPECT_EQ(ops, before);
    }
}

TEST(Symop, NumbersOutsideTheArrayGiveTheZeroMatrix) {
    SymmetryOperatorArray ops;
    ops.fill(1.0f);
    const std::int32_t numbers[] = {0,
                                    -1,
                                    25,
                                    26,
                                    1000,
                                    std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max()};
    for (std::int32_t n : numbers) {
        Matrix3 g;
        g.fill(5.0f);
        symop(ops, n, g);
        for (std::size_t k = 0; k < 9; ++k) {
            EXPECT_TRUE(hasBits(g[k], 0x00000000)) << "number " << n << ", value " << k;
        }
    }
}

}  // namespace
}  // namespace orientation::test
