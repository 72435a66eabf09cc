#include <cmath>
#include <cstddef>
#include <limits>

#include <gtest/gtest.h>

#include "orientation/orientation.hpp"
#include "test_support.hpp"

namespace orientation::test {
namespace {

// Elementary passive turns, written out on paper row by row.
Matrix3 turnZ(float a) {
    const float c = std::cos(a);
    const float s = std::sin(a);
    return fromRows(c, s, 0, -s, c, 0, 0, 0, 1);
}

Matrix3 turnX(float a) {
    const float c = std::cos(a);
    const float s = std::sin(a);
    return fromRows(1, 0, 0, 0, c, s, 0, -s, c);
}

float determinant(const Matrix3& m) {
    // m[k] is column-major; the determinant is that of the transpose too.
    return m[0] * (m[4] * m[8] - m[7] * m[5]) - m[3] * (m[1] * m[8] - m[7] * m[2]) +
           m[6] * (m[1] * m[5] - m[4] * m[2]);
}

// ---------------------------------------------------------------------------
// etog
// ---------------------------------------------------------------------------

TEST(Etog, ZeroAnglesGiveTheIdentity) {
    Matrix3 g{};
    etog({0, 0, 0}, g);
    for (std::size_t k = 0; k < 9; ++k) {
        EXPECT_EQ(g[k], identity[k]) << "index " << k;
    }
}

TEST(Etog, IsBungeZxzProductOfPassiveTurns) {
    const EulerAngles cases[] = {
        {0.3f, 0.0f, 0.0f}, {0.0f, 0.7f, 0.0f}, {0.0f, 0.0f, 1.1f},       {1.0f, 0.3f, 0.5f},
        {4.0f, 2.5f, 5.9f}, {6.2f, 3.0f, 0.1f}, {2.0f, 1.5707964f, 3.5f},
    };
    for (const EulerAngles& e : cases) {
        Matrix3 zx{};
        Matrix3 expected{};
        mtom(turnZ(e[2]), turnX(e[1]), zx);
        mtom(zx, turnZ(e[0]), expected);
        Matrix3 g{};
        etog(e, g);
        EXPECT_TRUE(matricesNear(g, expected, 4e-7f)) << e[0] << ", " << e[1] << ", " << e[2];
    }
}

TEST(Etog, StoresColumnByColumn) {
    // A turn about x alone has rows (1,0,0), (0,c,s), (0,-s,c): the +s sits at
    // (2,3), index 7, and the -s at (3,2), index 5.
    Matrix3 g{};
    etog({0.0f, 0.5f, 0.0f}, g);
    EXPECT_FLOAT_EQ(g[7], std::sin(0.5f));
    EXPECT_FLOAT_EQ(g[5], -std::sin(0.5f));
    EXPECT_FLOAT_EQ(g[8], std::cos(0.5f));
}

TEST(Etog, IsPassive) {
    // The fixed vector x, seen from a frame turned +90 degrees about z, lies
    // along -y of that frame.
    Matrix3 g{};
    etog({1.5707964f, 0.0f, 0.0f}, g);
    Vector3 w{};
    mtov(g, {1, 0, 0}, w);
    EXPECT_NEAR(w[0], 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(w[1], -1.0f);
    EXPECT_EQ(w[2], 0.0f);
}

TEST(Etog, GivesProperRotations) {
    for (float phi1 = 0.0f; phi1 < 6.3f; phi1 += 0.9f) {
        for (float bigPhi = 0.0f; bigPhi < 3.2f; bigPhi += 0.4f) {
            for (float phi2 = 0.0f; phi2 < 6.3f; phi2 += 1.3f) {
                Matrix3 g{};
                Matrix3 gt{};
                Matrix3 product{};
                etog({phi1, bigPhi, phi2}, g);
                trans(g, gt);
                mtom(g, gt, product);
                EXPECT_TRUE(matricesNear(product, identity, 5e-7f));
                EXPECT_NEAR(determinant(g), 1.0f, 1e-6f);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// gtoe
// ---------------------------------------------------------------------------

class Gtoe : public WithConst1 {
protected:
    void SetUp() override {
        WithConst1::SetUp();
        const1 = {pi, 0.0f};
    }
};

TEST_F(Gtoe, IdentityIsDegenerateWithZeroEps) {
    EulerAngles e{9, 9, 9};
    gtoe(identity, e);
    EXPECT_TRUE(hasBits(e[0], 0x00000000));
    EXPECT_TRUE(hasBits(e[1], 0x00000000));
    EXPECT_TRUE(hasBits(e[2], 0x00000000));
}

TEST_F(Gtoe, EpsDecidesBetweenGeneralAndDegenerateCase) {
    // sin(0.3) is about 0.296: below eps = 0.5 the matrix is read as a turn
    // about z, with phi1 taken from g(2,2) (about 0.0496) alone.
    Matrix3 g{};
    etog({1.0f, 0.3f, 0.5f}, g);

    EulerAngles e{};
    const1.eps = 0.5f;
    gtoe(g, e);
    EXPECT_FLOAT_EQ(e[0], 1.5212165f);
    EXPECT_TRUE(hasBits(e[1], 0x00000000));
    EXPECT_TRUE(hasBits(e[2], 0x00000000));

    const1.eps = 0.0f;
    gtoe(g, e);
    EXPECT_NEAR(e[0], 1.0f, 2e-6f);
    EXPECT_NEAR(e[1], 0.3f, 2e-6f);
    EXPECT_NEAR(e[2], 0.5f, 2e-6f);
}

// The matrix with rows (0,-1,0), (1,0,0), (0,0,1): g(1,2) = -1 < 0 reflects
// acos2(g(2,2)) = pi/2 into 2*pi - pi/2, formed from const1.pi.
const Matrix3 quarterTurnAboutZ{0, 1, 0, -1, 0, 0, 0, 0, 1};

TEST_F(Gtoe, DegenerateReflectionUsesConst1Pi) {
    EulerAngles e{};
    gtoe(quarterTurnAboutZ, e);
    EXPECT_TRUE(hasBits(e[0], 0x4096CBE4));  // 4.712389 = 3*pi/2
    EXPECT_EQ(e[1], 0.0f);
    EXPECT_EQ(e[2], 0.0f);
}

TEST_F(Gtoe, PiLeftAtZeroGivesNegativeReflectedAngles) {
    const1.pi = 0.0f;
    EulerAngles e{};
    gtoe(quarterTurnAboutZ, e);
    EXPECT_TRUE(hasBits(e[0], 0xBFC90FDB));  // -pi/2

    // General case: both phi1 and phi2 lie beyond pi and are reflected.
    Matrix3 g{};
    etog({4.0f, 1.0f, 5.0f}, g);
    gtoe(g, e);
    EXPECT_NEAR(e[0], 4.0f - 2.0f * pi, 2e-6f);
    EXPECT_NEAR(e[1], 1.0f, 2e-6f);
    EXPECT_NEAR(e[2], 5.0f - 2.0f * pi, 2e-6f);
}

TEST_F(Gtoe, SignTestsAreStrict) {
    // -0 at g(1,2) is not negative: no reflection to 2*pi.
    Matrix3 g = identity;
    g[3] = -0.0f;
    EulerAngles e{};
    gtoe(g, e);
    EXPECT_TRUE(hasBits(e[0], 0x00000000));

    // A NaN at g(1,2) is not negative either.
    g[3] = std::numeric_limits<float>::quiet_NaN();
    gtoe(g, e);
    EXPECT_TRUE(hasBits(e[0], 0x00000000));
}

TEST_F(Gtoe, GeneralCaseSignTestsAreStrict) {
    // A quarter turn about x, rows (1,0,0), (0,0,1), (0,-1,0), with -0 at
    // (3,1) and (1,3): sin Phi = 1, phi1 = acos2(1) and phi2 = acos2(1) are 0
    // and neither -0 reflects them to 2*pi.
    const Matrix3 g = fromRows(1, 0, -0.0f, 0, 0, 1, -0.0f, -1, 0);
    EulerAngles e{};
    gtoe(g, e);
    EXPECT_TRUE(hasBits(e[0], 0x00000000));
    EXPECT_TRUE(hasBits(e[1], 0x3FC90FDB));  // pi/2
    EXPECT_TRUE(hasBits(e[2], 0x00000000));

    // The half turn about [1 0 -1], rows (0,0,-1), (0,-1,0), (-1,0,0):
    // g(3,1) = g(1,3) = -1 < 0 reflect both acos2(0) = pi/2 into 3*pi/2.
    const Matrix3 h = fromRows(0, 0, -1, 0, -1, 0, -1, 0, 0);
    gtoe(h, e);
    EXPECT_TRUE(hasBits(e[0], 0x4096CBE4));
    EXPECT_TRUE(hasBits(e[1], 0x3FC90FDB));
    EXPECT_TRUE(hasBits(e[2], 0x4096CBE4));
}

TEST_F(Gtoe, RecoversAnglesAwayFromTheSingularities) {
    // phi1 and phi2 stay clear of 0, pi and 2*pi and Phi clear of 0 and pi,
    // where the arc-cosines lose precision; every quadrant (and so both the
    // reflected and the unreflected branch) is visited.
    int checked = 0;
    for (float phi1 = 0.2f; phi1 < 6.1f; phi1 += 0.37f) {
        for (float bigPhi = 0.2f; bigPhi < 2.95f; bigPhi += 0.25f) {
            for (float phi2 = 0.15f; phi2 < 6.1f; phi2 += 0.41f) {
                if (std::fabs(phi1 - pi) < 0.1f || std::fabs(phi2 - pi) < 0.1f) {
                    continue;
                }
                Matrix3 g{};
                EulerAngles e{};
                etog({phi1, bigPhi, phi2}, g);
                gtoe(g, e);
                EXPECT_NEAR(e[0], phi1, 2e-5f) << phi1 << ", " << bigPhi << ", " << phi2;
                EXPECT_NEAR(e[1], bigPhi, 2e-5f) << phi1 << ", " << bigPhi << ", " << phi2;
                EXPECT_NEAR(e[2], phi2, 2e-5f) << phi1 << ", " << bigPhi << ", " << phi2;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST_F(Gtoe, TurnAboutZCarriesTheWholeAngleInPhi1) {
    // With Phi = 0 only phi1 + phi2 is defined; it comes back in phi1.
    const float cases[][2] = {{0.7f, 0.4f}, {2.0f, 2.5f}, {0.1f, 0.0f}, {5.0f, 0.5f}};
    for (const auto& c : cases) {
        Matrix3 g{};
        EulerAngles e{};
        etog({c[0], 0.0f, c[1]}, g);
        gtoe(g, e);
        EXPECT_NEAR(e[0], c[0] + c[1], 4e-6f);
        EXPECT_EQ(e[1], 0.0f);
        EXPECT_EQ(e[2], 0.0f);
    }
}

TEST_F(Gtoe, PhiAtPiFallsIntoTheDegenerateCase) {
    // g(3,3) = -1: the matrix is read as a turn about z, so Phi comes back 0
    // and the triple does not reproduce the matrix. The library keeps this
    // behaviour on purpose (see gtoe in the header).
    Matrix3 g{};
    etog({0.4f, pi, 0.0f}, g);
    ASSERT_EQ(g[8], -1.0f);
    EulerAngles e{};
    gtoe(g, e);
    EXPECT_NEAR(e[0], pi - 0.4f, 2e-6f);  // acos2(g(2,2)) = acos2(-cos 0.4)
    EXPECT_EQ(e[1], 0.0f);
    EXPECT_EQ(e[2], 0.0f);

    Matrix3 back{};
    etog(e, back);
    EXPECT_EQ(back[8], 1.0f);
}

// ---------------------------------------------------------------------------
// aatog
// ---------------------------------------------------------------------------

TEST(Aatog, ZeroAngleGivesTheIdentityWhateverTheAxis) {
    const Vector3 axes[] = {{0, 0, 1}, {1, 0, 0}, {0.6f, 0.8f, 0}, {3, -4, 12}, {0, 0, 0}};
    for (const Vector3& a : axes) {
        Matrix3 g{};
        aatog(a, 0.0f, g);
        for (std::size_t k = 0; k < 9; ++k) {
            EXPECT_EQ(g[k], identity[k]) << "index " << k;
        }
    }
}

TEST(Aatog, AboutZIsTheTransposeOfEtog) {
    for (float omega = -7.0f; omega < 7.0f; omega += 0.01f) {
        Matrix3 active{};
        Matrix3 passive{};
        Matrix3 passiveT{};
        aatog({0, 0, 1}, omega, active);
        etog({omega, 0, 0}, passive);
        trans(passive, passiveT);
        for (std::size_t k = 0; k < 8; ++k) {
            EXPECT_EQ(active[k], passiveT[k]) << "omega " << omega << ", index " << k;
        }
        // (1 - cos) + cos need not round back to 1 (for a cosine near -4e-8,
        // say, it gives 0.99999994), so the last element only agrees to an ulp.
        EXPECT_NEAR(active[8], passiveT[8], 6e-8f) << "omega " << omega;
    }
}

TEST(Aatog, IsActiveRightHanded) {
    struct Case {
        Vector3 axis;
        Vector3 from;
        Vector3 to;
    };
    const Case cases[] = {
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        Matrix3 g{};
        Vector3 w{};
        aatog(c.axis, 1.5707964f, g);
        mtov(g, c.from, w);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(w[k], c.to[k], 1e-7f) << "component " << k;
        }
    }
}

TEST(Aatog, LeavesItsAxisFixedAndStaysOrthogonal) {
    const float s = 0.57735026f;  // 1/sqrt(3)
    const Vector3 axes[] = {{s, s, s}, {0.6f, 0, -0.8f}, {0, -0.28f, 0.96f}};
    for (const Vector3& a : axes) {
        for (float omega = -3.0f; omega < 3.2f; omega += 0.5f) {
            Matrix3 g{};
            Matrix3 gt{};
            Matrix3 product{};
            Vector3 w{};
            aatog(a, omega, g);
            mtov(g, a, w);
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_NEAR(w[k], a[k], 5e-7f);
            }
            trans(g, gt);
            mtom(g, gt, product);
            EXPECT_TRUE(matricesNear(product, identity, 1e-6f));
        }
    }
}

TEST(Aatog, UsesTheAxisAsPassed) {
    // A half turn about (0,0,2): no normalisation, so g(3,3) = 2*2*2 + (-1).
    Matrix3 g{};
    aatog({0, 0, 2}, pi, g);
    EXPECT_FLOAT_EQ(g[8], 7.0f);
}

// ---------------------------------------------------------------------------
// trans, mtom, mtov
// ---------------------------------------------------------------------------

TEST(Trans, SwapsRowsAndColumns) {
    const Matrix3 a{1, 2, 3, 4, 5, 6, 7, 8, 9};
    Matrix3 b{};
    trans(a, b);
    const Matrix3 expected{1, 4, 7, 2, 5, 8, 3, 6, 9};
    EXPECT_EQ(b, expected);
}

TEST(Trans, TwiceReturnsTheInputBitForBit) {
    const Matrix3 a{-0.0f, 1.5f, -2.25f, 0.0f, -1e-30f, 3e30f, 0.1f, -0.0f, 7.0f};
    Matrix3 b{};
    Matrix3 c{};
    trans(a, b);
    trans(b, c);
    for (std::size_t k = 0; k < 9; ++k) {
        EXPECT_TRUE(hasBits(c[k], bits(a[k]))) << "index " << k;
    }
}

TEST(Mtom, IsTheProductInThatOrder) {
    const Matrix3 a = fromRows(1, 2, 3, 4, 5, 6, 7, 8, 10);
    const Matrix3 b = fromRows(2, 0, 1, 1, 3, 0, 0, 1, 4);
    Matrix3 r{};
    mtom(a, b, r);
    EXPECT_EQ(r, fromRows(4, 9, 13, 13, 21, 28, 22, 34, 47));

    mtom(b, a, r);
    EXPECT_EQ(r, fromRows(9, 12, 16, 13, 17, 21, 32, 37, 46));
}

TEST(Mtom, IdentityOnTheRightReturnsTheFirstFactor) {
    const Matrix3 a{0.1f, -2.5f, 3.75f, 1e-20f, 5e20f, -6.0f, 0.7f, 8.0f, -9.0f};
    Matrix3 r{};
    mtom(a, identity, r);
    EXPECT_EQ(r, a);
}

TEST(Mtom, SumsFromPositiveZero) {
    // Each element is a sum of three -1*0 = -0 products; started from +0 the
    // sum is +0, started from the first product it would be -0.
    const Matrix3 minusOnes{-1, -1, -1, -1, -1, -1, -1, -1, -1};
    const Matrix3 zeros{};
    Matrix3 r{};
    mtom(minusOnes, zeros, r);
    for (std::size_t k = 0; k < 9; ++k) {
        EXPECT_TRUE(hasBits(r[k], 0x00000000)) << "index " << k;
    }
}

TEST(Mtov, MultipliesTheMatrixNotItsTranspose) {
    const Matrix3 m = fromRows(1, 2, 3, 4, 5, 6, 7, 8, 10);
    Vector3 w{};
    mtov(m, {1, -1, 2}, w);
    EXPECT_EQ(w, (Vector3{5, 11, 19}));
}

TEST(Mtov, IdentityReturnsTheVector) {
    const Vector3 v{0.3f, -7.5f, 1e-10f};
    Vector3 w{};
    mtov(identity, v, w);
    EXPECT_EQ(w, v);
}

TEST(Mtov, SumsFromPositiveZero) {
    // All three products are -0 here.
    Vector3 w{};
    mtov(identity, {-0.0f, -0.0f, -0.0f}, w);
    for (float x : w) {
        EXPECT_TRUE(hasBits(x, 0x00000000));
    }
}

}  // namespace
}  // namespace orientation::test
