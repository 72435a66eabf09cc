// The orientation library: exact bit patterns where single precision decides
// (special angles, the symmetry sets), then properties over random inputs
// (proper rotations, the Bunge convention, round trips, group closure).
#include "orientation/orientation.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <random>
#include <string_view>
#include <tuple>
#include <vector>

namespace orientation {
namespace {

// The arrays callers hand over are plain runs of floats.
static_assert(sizeof(Matrix3) == 9 * sizeof(float) && sizeof(SymmetryOperatorArray) == 216 * sizeof(float));

using Bits3 = std::array<std::uint32_t, 3>;
constexpr float pi = 3.1415927f;  // 0x40490FDB
constexpr Matrix3 identity{1, 0, 0, 0, 1, 0, 0, 0, 1};

template <std::size_t N>
std::array<std::uint32_t, N> bitsOf(const std::array<float, N>& values) {
    std::array<std::uint32_t, N> out{};
    for (std::size_t k = 0; k < N; ++k) out[k] = std::bit_cast<std::uint32_t>(values[k]);
    return out;
}

// Every test starts with const1 as dremmick sets it and puts it back after.
class Orientation : public ::testing::Test {
protected:
    void SetUp() override { saved_ = std::exchange(const1, Const1{pi, 0.0f}); }
    void TearDown() override { const1 = saved_; }
    float uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random_); }

    // The result of a routine that writes its last argument.
    template <typename Out = Matrix3, typename F, typename... In>
    static Out call(F routine, In&&... in) {
        Out out{};
        routine(std::forward<In>(in)..., out);
        return out;
    }
    static Matrix3 times(const Matrix3& a, const Matrix3& b) { return call(mtom, a, b); }
    static Matrix3 transposed(const Matrix3& a) { return call(trans, a); }
    // Largest difference of two matrices; NaN when either holds a NaN.
    static float distance(const Matrix3& a, const Matrix3& b) {
        float worst = 0.0f;
        for (std::size_t k = 0; k < 9; ++k)
            worst = std::fabs(a[k] - b[k]) <= worst ? worst : std::fabs(a[k] - b[k]);
        return worst;
    }
    // How far g is from a proper rotation: g g^T against I, det g against 1.
    static float rotationError(const Matrix3& g) {
        const float det = g[0] * (g[4] * g[8] - g[7] * g[5]) - g[3] * (g[1] * g[8] - g[7] * g[2]) +
                          g[6] * (g[1] * g[5] - g[4] * g[2]);
        return std::max(distance(times(g, transposed(g)), identity), std::fabs(det - 1.0f));
    }

private:
    std::mt19937 random_{20210219};
    Const1 saved_{};
};

TEST_F(Orientation, Acos2ClampsOnlyStrictlyOutsideMinusOneToOne) {
    const1.pi = 0.0f;  // the clamp to pi is a constant of its own
    const std::pair<float, std::uint32_t> cases[] = {
        {1.0000001f, 0},           {1.0f, 0},     {0.0f, 0x3FC90FDB},     {-1.0f, 0x40490FDB},
        {-1.0000001f, 0x40490FDB}, {INFINITY, 0}, {-INFINITY, 0x40490FDB}};
    for (const auto& [x, expected] : cases) EXPECT_EQ(std::bit_cast<std::uint32_t>(acos2(x)), expected) << x;
    EXPECT_TRUE(std::isnan(acos2(NAN)));
}

TEST_F(Orientation, EulerAnglesOfSpecialMatrices) {
    EXPECT_EQ(call(etog, EulerAngles{0, 0, 0}), identity);  // with -0 where a product is -0
    EXPECT_EQ(bitsOf(call<Vector3>(mtov, identity, Vector3{-0.0f, -0.0f, -0.0f})),
              Bits3{});  // sums start at +0
    Matrix3 minusZeros;
    minusZeros.fill(-0.0f);
    EXPECT_EQ(bitsOf(times(identity, minusZeros)), bitsOf(Matrix3{}));
    const Matrix3 quarterTurnZ{0, 1, 0, -1, 0, 0, 0, 0, 1};
    const std::tuple<Matrix3, Const1, Bits3> cases[] = {
        {identity, {pi, 0}, {0, 0, 0}},
        {quarterTurnZ, {pi, 0}, {0x4096CBE4, 0, 0}},                          // 3 pi / 2
        {quarterTurnZ, {0, 0}, {0xBFC90FDB, 0, 0}},                           // -pi / 2 with pi left at 0
        {{1, 0, -0.0f, 0, 0, -1, -0.0f, 1, 0}, {pi, 0}, {0, 0x3FC90FDB, 0}},  // -0 does not reflect
        {{0, 0, -1, 0, -1, 0, -1, 0, 0}, {pi, 0}, {0x4096CBE4, 0x3FC90FDB, 0x4096CBE4}},
        {call(etog, EulerAngles{1, 0.3f, 0.5f}), {pi, 0.5f}, {0x3FC2B739, 0, 0}},  // sin 0.3 below eps
        {{1, 0, 0, 0, -1, 0, 0, 0, -1}, {pi, 0}, {0, 0x40490FDB, 0}},  // Phi = pi, phi1 from atan2
        {{0, 1, 0, 1, 0, 0, 0, 0, -1}, {0, 0}, {0x3FC90FDB, 0x40490FDB, 0}},
        {{0, -1, 0, -1, 0, 0, 0, 0, -1}, {pi, 0}, {0x4096CBE4, 0x40490FDB, 0}},
        {{0, -1, 0, -1, 0, 0, 0, 0, -1}, {0, 0}, {0xBFC90FDB, 0x40490FDB, 0}},
        {call(etog, EulerAngles{1, 3.14f, 0.5f}), {pi, 0.5f}, {0x3F000000, 0x40490FDB, 0}},  // sin Phi <= eps
        {call(etog, EulerAngles{1, 3.14f, 4}), {0, 0}, {0xC0A90FDA, 0x4048F5C3, 0xC0121FB5}},  // pi left at 0
        // g(3,3) one step above -0.99995f: the general formulas, bit for bit as before
        {call(etog, EulerAngles{1, 3.1315887f, 2}), {pi, 0}, {0x3F80064E, 0x40486BE7, 0x3FFFFB82}},
    };
    for (const auto& [g, block, angles] : cases) {
        const1 = block;
        EXPECT_EQ(bitsOf(call<EulerAngles>(gtoe, g)), angles) << ::testing::PrintToString(g);
    }
}

// Within 0.01 of Phi = pi (g(3,3) <= -0.99995f; every float Phi there) gtoe
// gives back the matrix, even with noise in the elements that carry sin Phi.
TEST_F(Orientation, GtoeWithinAHundredthOfPiReproducesTheMatrix) {
    for (float phi = pi;; phi = std::nextafter(phi, 0.0f)) {
        Matrix3 g = call(etog, EulerAngles{uniform(0, 2 * pi), phi, uniform(0, 2 * pi)});
        if (g[8] > -0.99995f) break;
        for (const int k : {2, 5, 6, 7}) g[k] += uniform(-2e-7f, 2e-7f);
        const EulerAngles e = call<EulerAngles>(gtoe, g);
        EXPECT_LE(distance(call(etog, e), g), 2e-6f) << phi;
        EXPECT_TRUE(std::min({e[0], e[2], e[1] - pi + 0.0101f}) >= 0 &&
                    std::max({e[0], e[2], e[1] + pi}) <= 2 * pi)
            << phi;
    }
}

// One pair at a time (the module's tests compare the many-pair form with scipy).
TEST_F(Orientation, DisorientationOfTheTwinOfIdenticalGrainsAndOfAnUnknownClass) {
    const float third = 0.57735026f;
    const Matrix3 twin = call(aatog, Vector3{third, third, third}, pi / 3),
                  g = call(etog, EulerAngles{1, 2, 3});
    const std::tuple<Matrix3, Matrix3, std::int32_t, float, Vector3> cases[] = {
        {g, times(twin, g), 3, pi / 3, {third, third, third}},
        {g, times(transposed(twin), g), 3, pi / 3, {third, third, third}},  // either grain first
        {g,
         times(call(aatog, Vector3{-0.17364818f, 0.98480775f, 0}, 0.34906584f), g),
         2,
         0.34906584f,
         {0.9396926f, 0.34202015f, 0}},  // hexagonal: 20 degrees about azimuth 100 comes out at azimuth 20
        {g, g, 4, 0, {0, 0, 1}}};
    float got = -1;
    Vector3 gotAxis{};
    for (const auto& [a, b, code, angle, axis] : cases) {
        disorientation(a, b, code, got, gotAxis);
        EXPECT_NEAR(got, angle, 2e-6f) << code;
        for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(gotAxis[i], axis[i], 2e-6f) << code;
    }
    disorientation(g, g, 6, got, gotAxis);
    EXPECT_TRUE(std::isnan(got) && std::isnan(gotAxis[0]) && std::isnan(gotAxis[2]));
}

// A coherent Sigma3 twin from quaternions: the disorientation 60 degrees about
// [111] and the plane the shared (111), from either grain, either way round;
// identical grains give no turn and the normal in grain 1's frame.
TEST_F(Orientation, BoundaryPlaneOfACoherentTwinAndOfIdenticalGrains) {
    const double third = 1 / std::sqrt(3.0), c = std::sqrt(0.75), s = 0.5 * third;
    Quaternion qa, twin{c, s, s, s}, qb;
    etoq(EulerAngles{1, 2, 3}, qa);
    qb = {twin[0] * qa[0] - twin[1] * qa[1] - twin[2] * qa[2] - twin[3] * qa[3],
          twin[0] * qa[1] + twin[1] * qa[0] + twin[2] * qa[3] - twin[3] * qa[2],
          twin[0] * qa[2] - twin[1] * qa[3] + twin[2] * qa[0] + twin[3] * qa[1],
          twin[0] * qa[3] + twin[1] * qa[2] - twin[2] * qa[1] + twin[3] * qa[0]};
    const Matrix3 g = call(etog, EulerAngles{1, 2, 3});
    const Direction n{(g[0] + g[1] + g[2]) * third, (g[3] + g[4] + g[5]) * third,
                      (g[6] + g[7] + g[8]) * third};
    const Direction minus{-n[0], -n[1], -n[2]};
    const std::tuple<Quaternion, Quaternion, Direction, Quaternion, double> cases[] = {
        {qa, qb, n, twin, third}, {qb, qa, minus, twin, third}, {qa, qa, n, {1, 0, 0, 0}, 0}};
    for (const auto& [a, b, normal, r, plane] : cases) {
        Quaternion gotR;
        Direction gotPlane;
        std::uint8_t grain = 9;
        boundaryplane(&a, &b, &normal, 1, 3, &gotR, &gotPlane, &grain);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(gotR[i], r[i], 1e-6);
        if (plane != 0)  // the twin's own operators take (111) to -(111)
            for (const double x : gotPlane) EXPECT_NEAR(std::fabs(x), plane, 1e-6);
        else  // g n
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_NEAR(gotPlane[i], g[i] * normal[0] + g[i + 3] * normal[1] + g[i + 6] * normal[2],
                            1e-6);
        EXPECT_TRUE(grain == 1 || (grain == 2 && plane != 0));
    }
    Quaternion nanR;
    Direction nanPlane;
    std::uint8_t grain = 9;
    boundaryplane(&qa, &qb, &n, 1, 6, &nanR, &nanPlane, &grain);
    EXPECT_TRUE(std::isnan(nanR[0]) && std::isnan(nanPlane[2]) && grain == 0);
}

// The cubic closed form runs two pairs at a time in chunks of 64: arrays of
// every length up to two chunks and a bit, each exactly as long as it must be
// (the sanitizer build sees a write past the end), give pair by pair the bits
// of the one-pair call, identical grains included.
TEST_F(Orientation, CubicQuaternionDisorientationInChunksEqualsOnePairAtATime) {
    std::mt19937 random(27);
    std::uniform_real_distribution<float> turn(0, 6.2831853f);
    for (std::size_t n = 1; n <= 131; n += 1 + n / 8) {
        std::vector<Quaternion> qa(n), qb(n);
        for (std::size_t k = 0; k < n; ++k) {
            etoq(EulerAngles{turn(random), turn(random) / 2, turn(random)}, qa[k]);
            if (k % 5 == 0)
                qb[k] = qa[k];
            else
                etoq(EulerAngles{turn(random), turn(random) / 2, turn(random)}, qb[k]);
        }
        std::vector<double> angle(n);
        std::vector<Direction> axis(n);
        disorientation(qa.data(), qb.data(), n, 3, angle.data(), axis.data());
        for (std::size_t k = 0; k < n; ++k) {
            double one;
            Direction oneAxis;
            disorientation(&qa[k], &qb[k], 1, 3, &one, &oneAxis);
            EXPECT_EQ(std::bit_cast<std::uint64_t>(angle[k]), std::bit_cast<std::uint64_t>(one))
                << n << " " << k;
            EXPECT_EQ(axis[k], oneAxis) << n << " " << k;
        }
    }
}

TEST_F(Orientation, DirectionsOfSpecialVectors) {
    const Vector3 belowEquator = call<Vector3>(anglestov, std::bit_cast<float>(0x3FC90FDBu), 0.0f);  // > pi/2
    EXPECT_EQ(bitsOf(call<Vector3>(anglestov, 0.0f, 0.0f)), (Bits3{0, 0, 0x3F800000}));
    EXPECT_EQ(bitsOf(belowEquator), (Bits3{0x3F800000, 0, 0xB33BBD2E}));
    const std::tuple<Vector3, Bits3, std::array<std::uint32_t, 2>> cases[] = {
        {{0, 0, -1}, {0x80000000, 0x80000000, 0x3F800000}, {0, 0x40490FDB}},  // atan2(-0, -0) + 2 pi
        {{0, -0.0f, 1}, {0, 0x80000000, 0x3F800000}, {0, 0x80000000}},
        {{-1, 0, 0}, {0xBF800000, 0, 0}, {0x3FC90FDB, 0x40490FDB}},
        {{0, -1, 0}, {0, 0xBF800000, 0}, {0x3FC90FDB, 0x4096CBE4}},
        {{0, 0, -0.0f}, {0, 0, 0x80000000}, {0x3FC90FDB, 0}},
        {{1, 1, -1}, {0xBF800000, 0xBF800000, 0x3F800000}, {0, 0x407B53D2}},  // not unit: theta from z
        {belowEquator, {0xBF800000, 0x80000000, 0x333BBD2E}, {0x3FC90FDA, 0x40490FDB}},
    };
    for (const auto& [in, after, angles] : cases) {
        Vector3 v = in;
        EXPECT_EQ(bitsOf(call<AnglePair>(vtoangles, v)), angles) << ::testing::PrintToString(in);
        EXPECT_EQ(bitsOf(v), after) << ::testing::PrintToString(in);
    }
}

TEST_F(Orientation, SymopGivesEverySetBitForBitAndZerosBeyondTheCount) {
    constexpr std::string_view letters = "01-hHrRcCsS";
    constexpr std::uint32_t patterns[] = {0,          0x3F800000, 0xBF800000, 0x3F000000,
                                          0xBF000000, 0x3F5DB3D7, 0xBF5DB3D7, 0xBF000001,
                                          0xBEFFFFFD, 0xBF5DB3D8, 0x3F5DB3D8};
    std::ifstream sets(TRIANGLE_OPERATOR_SETS);
    int codes = 0;
    for (std::string line; std::getline(sets, line);) {
        if (line[0] == '#') continue;
        ++codes;
        const std::int32_t code = std::stoi(line);
        std::array<std::uint32_t, 26 * 9> expected{};  // operators 0 to 25: zero outside 1 to 24
        std::size_t values = 0;
        for (const char c : line.substr(line.find(':') + 1))
            if (c != ' ') expected[9 + values++] = patterns[letters.find(c)];
        SymmetryOperatorArray ops;
        ops.fill(7.5f);  // whatever the array held goes
        std::int32_t count = 12345;
        get_symop(code, ops, count);
        EXPECT_EQ(count, values > 0 ? static_cast<std::int32_t>(values / 9) : 12345) << "code " << code;
        for (std::int32_t n = 0; n <= 25; ++n) {
            std::array<std::uint32_t, 9> slot{};
            std::copy_n(expected.begin() + 9 * n, 9, slot.begin());
            EXPECT_EQ(bitsOf(call(symop, ops, n)), slot) << "code " << code << ", operator " << n;
        }
    }
    EXPECT_EQ(codes, 8);
    const1.pi = 0.0f;  // the trigonal turns come from const1.pi at the time of the call
    SymmetryOperatorArray ops{};
    std::int32_t count = 0;
    get_symop(4, ops, count);
    for (std::size_t k = 9; k < 27; ++k) EXPECT_EQ(ops[k], identity[k % 9]) << k;
}

// Closed under mtom: each set and the subgroups its leading slots form;
// exact where every entry is 0 or +-1.
TEST_F(Orientation, SetsAreGroupsOfProperRotations) {
    const std::tuple<std::int32_t, std::int32_t, float> groups[] = {
        {1, 8, 0},  {1, 4, 0},  {2, 12, 2e-7f}, {2, 6, 2e-7f}, {2, 3, 2e-7f},
        {3, 24, 0}, {3, 12, 0}, {4, 3, 2e-7f},  {5, 4, 0}};
    for (const auto& [code, size, tolerance] : groups) {
        SymmetryOperatorArray ops{};
        std::int32_t count = 0;
        get_symop(code, ops, count);
        std::vector<Matrix3> set;
        for (std::int32_t n = 1; n <= size; ++n) set.push_back(call(symop, ops, n));
        const auto inSet = [&, tol = tolerance](const Matrix3& g) {
            return std::any_of(set.begin(), set.end(),
                               [&](const Matrix3& c) { return distance(g, c) <= tol; });
        };
        for (const Matrix3& a : set) {
            EXPECT_LE(rotationError(a), tolerance) << "code " << code;
            for (const Matrix3& b : set)
                EXPECT_TRUE(inSet(times(a, b))) << "code " << code << ", first " << size;
        }
    }
}

// etog is the passive Bunge product Z(phi2) X(Phi) Z(phi1); aatog turns a
// vector actively, so about a given axis it gives the passive matrix
// transposed. gtoe and vtoangles undo etog and anglestov away from the
// singularities: 0.1 from 0, pi and 2 pi, where the arc-cosines lose precision.
TEST_F(Orientation, RandomAnglesRotateProperlyInTheBungeConventionAndComeBack) {
    const Vector3 y =
        call<Vector3>(mtov, call(aatog, Vector3{0, 0, 1}, pi / 2), Vector3{1, 0, 0});  // x turns to y
    EXPECT_LE(std::fabs(y[0]) + std::fabs(y[1] - 1) + std::fabs(y[2]), 1e-7f);
    for (int trial = 0; trial < 4000; ++trial) {
        const auto passive = [](Vector3 axis, float angle) { return transposed(call(aatog, axis, angle)); };
        const EulerAngles e{uniform(-7, 7), uniform(-4, 4), uniform(-7, 7)};
        const Matrix3 g = call(etog, e);
        EXPECT_LE(distance(g, times(times(passive({0, 0, 1}, e[2]), passive({1, 0, 0}, e[1])),
                                    passive({0, 0, 1}, e[0]))),
                  2.5e-7f);
        EXPECT_LE(rotationError(g), 6e-7f);
        const float z = uniform(-1, 1), t = uniform(-pi, pi), r = std::sqrt(1 - z * z);
        EXPECT_LE(rotationError(call(aatog, Vector3{r * std::cos(t), r * std::sin(t), z}, t * 2)), 1.2e-6f);

        const auto away = [&] { return uniform(0.1f, pi - 0.1f) + (trial % 2 ? pi : 0.0f); };
        const EulerAngles f{away(), uniform(0.2f, pi - 0.2f), away()};
        const EulerAngles back = call<EulerAngles>(gtoe, call(etog, f));
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(back[i], f[i], 2e-5f) << f[0] << " " << f[1] << " " << f[2];

        const float theta = uniform(0.1f, pi / 2 - 0.01f), phi = uniform(0.01f, 2 * pi - 0.01f);
        Vector3 up = call<Vector3>(anglestov, theta, phi), down = call<Vector3>(anglestov, pi - theta, phi);
        const AnglePair upAngles = call<AnglePair>(vtoangles, up),
                        downAngles = call<AnglePair>(vtoangles, down);
        EXPECT_NEAR(upAngles[0], theta, 2e-6f);
        EXPECT_NEAR(upAngles[1], phi, 2e-6f);
        EXPECT_NEAR(downAngles[0], theta, 2e-6f);  // the lower half gives the opposite direction
        EXPECT_NEAR(std::fmod(downAngles[1] + pi, 2 * pi), phi, 2e-6f);
    }
}

}  // namespace
}  // namespace orientation
