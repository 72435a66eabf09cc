#pragma once

// The triangle data file: an optional header block (leading lines holding a
// "#" within their first 100 characters, header_block.hpp) followed by data
// lines, one TriangleRecord each, in a fixed-width (fixed_width.hpp) or a free
// form (free_form.hpp); opened by both programs in one sequence (data_file.hpp).
// Text fields of 100 characters hold the data file name, the version and
// header lines.

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace triangle {

struct TriangleRecord {
    // Values 1-3 and 4-6 are the triples the blank tests look at, 7-9 the
    // third triple; value 11 is the curvature, value 12 the velocity.
    std::array<float, 12> values{};

    float& value(int position) { return values[static_cast<std::size_t>(position - 1)]; }
    float value(int position) const { return values[static_cast<std::size_t>(position - 1)]; }
    float& curvature() { return values[10]; }
    float curvature() const { return values[10]; }
    float& velocity() { return values[11]; }
    float velocity() const { return values[11]; }
};

constexpr int recordValueCount = 12;

// Neither the curvature nor the velocity is NaN or infinite. Such a value
// passes the limits (NaN) or turns the statistics of its bin NaN or
// infinite: the programs warn about it.
inline bool finiteCurvatureAndVelocity(const TriangleRecord& record) {
    constexpr float largest = std::numeric_limits<float>::max();
    return std::fabs(record.curvature()) <= largest && std::fabs(record.velocity()) <= largest;
}

// Text fields are exactly this wide: blank-filled on the right or cut.
constexpr std::size_t textFieldWidth = 100;
using TextField = std::array<char, textFieldWidth>;

}  // namespace triangle
