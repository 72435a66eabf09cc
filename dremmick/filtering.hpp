#pragma once

// Filtering: every data line is read in the free form; a line is dropped when
// it is blank (first or second triple all zero) or when its absolute curvature
// or velocity exceeds its limit; the others are written in the fixed-width
// form, values 10 to 12 made non-negative.

#include "common/run_preamble.hpp"
#include "common/triangle_data.hpp"

#include <cstdint>

namespace dremmick {

// Lines 2 and 3 of input.txt, read by the preamble through readLimits().
struct Limits {
    float curvature = 0.0f;
    float velocity = 0.0f;
};
Limits readLimits(triangle::ControlFile& control);

struct FilterTally {
    std::int32_t blankCount = 0;
    std::int32_t highCurvatureCount = 0;
    std::int32_t highVelocityCount = 0;
};

enum class Verdict { keep, blank, highCurvature, highVelocity };

// Clears the sign of values 10, 11 and 12; done for every record before it is
// judged, and the cleared values are the ones written.
void takeAbsoluteValues(triangle::TriangleRecord& record);

// The four tests in their order; the first that holds decides. Comparisons
// are ordered IEEE ones: -0 equals zero, a NaN is never equal and never greater.
Verdict judge(const triangle::TriangleRecord& record, float curvatureLimit, float velocityLimit);

void count(FilterTally& tally, Verdict verdict);

// The two limit lines, the data loop and the summary, on the context the
// preamble handed over.
void runFiltering(triangle::RunContext& context, const Limits& limits);

}  // namespace dremmick
