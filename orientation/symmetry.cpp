// Rotation point groups of five crystal classes, as operator sets.
//
// Each operator is one line of a table, its nine values written in storage
// order, that is column by column: the first three numbers are the first
// COLUMN of the matrix, not its first row. The comment names the rotation for
// v' = g * v; angles follow the right-hand rule about the listed direction.

#include <algorithm>
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>

#include "orientation/orientation.hpp"
#include "orientation/unit_circle.hpp"

namespace orientation {

namespace {

constexpr std::size_t slotSize = 9;
constexpr std::size_t slotCount = 24;

// The only non-integer entries, used by the hexagonal set alone.
constexpr float h = 0.5f;        // 1/2
constexpr float r = 0.8660254f;  // sqrt(3)/2, 0x3F5DB3D7

// clang-format off

// Tetragonal, 422 (D4). Slots 1-4 are the subgroup 222.
constexpr std::array<Matrix3, 8> tetragonal{{
    { 1,  0,  0,    0,  1,  0,    0,  0,  1},  //  1: identity
    {-1,  0,  0,    0,  1,  0,    0,  0, -1},  //  2: 2-fold about [0 1 0]
    { 1,  0,  0,    0, -1,  0,    0,  0, -1},  //  3: 2-fold about [1 0 0]
    {-1,  0,  0,    0, -1,  0,    0,  0,  1},  //  4: 2-fold about [0 0 1]
    { 0, -1,  0,    1,  0,  0,    0,  0,  1},  //  5: 4-fold, -90 deg about [0 0 1]
    { 0,  1,  0,   -1,  0,  0,    0,  0,  1},  //  6: 4-fold, +90 deg about [0 0 1]
    { 0,  1,  0,    1,  0,  0,    0,  0, -1},  //  7: 2-fold about [1 1 0]
    { 0, -1,  0,   -1,  0,  0,    0,  0, -1},  //  8: 2-fold about [1 -1 0]
}};

// Hexagonal, 622 (D6). Slots 1-6 are the turns about z (subgroup 6), slots
// 1-3 the subgroup 3.
constexpr std::array<Matrix3, 12> hexagonal{{
    { 1,  0,  0,    0,  1,  0,    0,  0,  1},  //  1: identity
    {-h, -r,  0,    r, -h,  0,    0,  0,  1},  //  2: 3-fold, -120 deg about [0 0 1]
    {-h,  r,  0,   -r, -h,  0,    0,  0,  1},  //  3: 3-fold, +120 deg about [0 0 1]
    { h, -r,  0,    r,  h,  0,    0,  0,  1},  //  4: 6-fold, -60 deg about [0 0 1]
    {-1,  0,  0,    0, -1,  0,    0,  0,  1},  //  5: 2-fold about [0 0 1]
    { h,  r,  0,   -r,  h,  0,    0,  0,  1},  //  6: 6-fold, +60 deg about [0 0 1]
    {-h, -r,  0,   -r,  h,  0,    0,  0, -1},  //  7: 2-fold about (1/2, -sqrt3/2, 0), -60 deg from x
    { 1,  0,  0,    0, -1,  0,    0,  0, -1},  //  8: 2-fold about [1 0 0]
    {-h,  r,  0,    r,  h,  0,    0,  0, -1},  //  9: 2-fold about (1/2, sqrt3/2, 0), +60 deg from x
    { h,  r,  0,    r, -h,  0,    0,  0, -1},  // 10: 2-fold about (sqrt3/2, 1/2, 0), +30 deg from x
    {-1,  0,  0,    0,  1,  0,    0,  0, -1},  // 11: 2-fold about [0 1 0]
    { h, -r,  0,   -r, -h,  0,    0,  0, -1},  // 12: 2-fold about (sqrt3/2, -1/2, 0), -30 deg from x
}};

// Cubic, 432 (O). Slots 1-12 are the subgroup 23.
constexpr std::array<Matrix3, 24> cubic{{
    { 1,  0,  0,    0,  1,  0,    0,  0,  1},  //  1: identity
    { 0,  1,  0,    0,  0,  1,    1,  0,  0},  //  2: 3-fold, +120 deg about [1 1 1]
    { 0,  0,  1,    1,  0,  0,    0,  1,  0},  //  3: 3-fold, -120 deg about [1 1 1]
    { 0,  0, -1,   -1,  0,  0,    0,  1,  0},  //  4: 3-fold, -120 deg about [1 -1 -1]
    { 0,  0,  1,   -1,  0,  0,    0, -1,  0},  //  5: 3-fold, +120 deg about [1 -1 1]
    { 0,  0, -1,    1,  0,  0,    0, -1,  0},  //  6: 3-fold, +120 deg about [1 1 -1]
    { 0,  1,  0,    0,  0, -1,   -1,  0,  0},  //  7: 3-fold, -120 deg about [1 1 -1]
    { 0, -1,  0,    0,  0,  1,   -1,  0,  0},  //  8: 3-fold, +120 deg about [1 -1 -1]
    { 0, -1,  0,    0,  0, -1,    1,  0,  0},  //  9: 3-fold, -120 deg about [1 -1 1]
    {-1,  0,  0,    0,  1,  0,    0,  0, -1},  // 10: 2-fold about [0 1 0]
    {-1,  0,  0,    0, -1,  0,    0,  0,  1},  // 11: 2-fold about [0 0 1]
    { 1,  0,  0,    0, -1,  0,    0,  0, -1},  // 12: 2-fold about [1 0 0]
    { 0,  0, -1,    0, -1,  0,   -1,  0,  0},  // 13: 2-fold about [1 0 -1]
    { 0,  0,  1,    0, -1,  0,    1,  0,  0},  // 14: 2-fold about [1 0 1]
    { 0,  0, -1,    0,  1,  0,    1,  0,  0},  // 15: 4-fold, +90 deg about [0 1 0]
    { 0,  0,  1,    0,  1,  0,   -1,  0,  0},  // 16: 4-fold, -90 deg about [0 1 0]
    {-1,  0,  0,    0,  0, -1,    0, -1,  0},  // 17: 2-fold about [0 1 -1]
    { 1,  0,  0,    0,  0,  1,    0, -1,  0},  // 18: 4-fold, +90 deg about [1 0 0]
    { 1,  0,  0,    0,  0, -1,    0,  1,  0},  // 19: 4-fold, -90 deg about [1 0 0]
    {-1,  0,  0,    0,  0,  1,    0,  1,  0},  // 20: 2-fold about [0 1 1]
    { 0, -1,  0,   -1,  0,  0,    0,  0, -1},  // 21: 2-fold about [1 -1 0]
    { 0, -1,  0,    1,  0,  0,    0,  0,  1},  // 22: 4-fold, -90 deg about [0 0 1]
    { 0,  1,  0,    1,  0,  0,    0,  0, -1},  // 23: 2-fold about [1 1 0]
    { 0,  1,  0,   -1,  0,  0,    0,  0,  1},  // 24: 4-fold, +90 deg about [0 0 1]
}};

// Orthorhombic, 222 (D2): the tetragonal slots 1-4 with the 2-folds about x
// and z in the other order.
constexpr std::array<Matrix3, 4> orthorhombic{{
    { 1,  0,  0,    0,  1,  0,    0,  0,  1},  //  1: identity
    {-1,  0,  0,    0,  1,  0,    0,  0, -1},  //  2: 2-fold about [0 1 0]
    {-1,  0,  0,    0, -1,  0,    0,  0,  1},  //  3: 2-fold about [0 0 1]
    { 1,  0,  0,    0, -1,  0,    0,  0, -1},  //  4: 2-fold about [1 0 0]
}};

// clang-format on

// Trigonal, 3 (C3): the identity and the turns by pi*2/3 and pi*4/3 about
// z. Unlike the other sets it is computed on each call, from const1.pi, so
// its entries are the rounded cosines and sines of those angles.
constexpr std::int32_t trigonalCount = 3;
constexpr float twoThirds = 0.6666667f;   // 0x3F2AAAAB
constexpr float fourThirds = 1.3333334f;  // 0x3FAAAAAB

Matrix3 turnAboutZ(float angle) {
    const std::complex<float> rot = detail::unitCircle(angle);
    const float c = rot.real();
    const float s = rot.imag();
    // Rows (c, -s, 0), (s, c, 0), (0, 0, 1), stored column by column.
    return Matrix3{c, s, 0.0f, -s, c, 0.0f, 0.0f, 0.0f, 1.0f};
}

template <std::size_t N>
void store(const std::array<Matrix3, N>& set, SymmetryOperatorArray& ops) {
    static_assert(N <= slotCount);
    for (std::size_t k = 0; k < N; ++k) {
        std::copy(set[k].begin(), set[k].end(), ops.begin() + k * slotSize);
    }
}

}  // namespace

void get_symop(std::int32_t code, SymmetryOperatorArray& ops, std::int32_t& count) {
    ops.fill(0.0f);

    switch (code) {
        case 1:
            count = static_cast<std::int32_t>(tetragonal.size());
            store(tetragonal, ops);
            break;
        case 2:
            count = static_cast<std::int32_t>(hexagonal.size());
            store(hexagonal, ops);
            break;
        case 3:
            count = static_cast<std::int32_t>(cubic.size());
            store(cubic, ops);
            break;
        case 4: {
            count = trigonalCount;
            const float pi = const1.pi;
            const Matrix3 identity{1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
            // Slots 4 to 24 stay zero, as for every other set.
            store(std::array<Matrix3, 3>{identity, turnAboutZ(pi * twoThirds), turnAboutZ(pi * fourThirds)},
                  ops);
            break;
        }
        case 5:
            count = static_cast<std::int32_t>(orthorhombic.size());
            store(orthorhombic, ops);
            break;
        default:
            // Unknown class: the array stays all zero and count is left alone.
            break;
    }
}

void symop(const SymmetryOperatorArray& ops, std::int32_t n, Matrix3& g) {
    if (n < 1 || n > static_cast<std::int32_t>(slotCount)) {
        g.fill(0.0f);
        return;
    }
    const std::size_t first = static_cast<std::size_t>(n - 1) * slotSize;
    std::copy(ops.begin() + first, ops.begin() + first + slotSize, g.begin());
}

}  // namespace orientation
