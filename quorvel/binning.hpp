#pragma once

// Curvature binning: 200 bins of width 0.003 over absolute curvatures 0 to
// 0.6, every larger curvature in the last bin; per bin the mean curvature,
// mean velocity, number of triangles and the (population) standard deviation
// of the velocity. All sums are single precision, accumulated in file order.

#include "common/run_preamble.hpp"

#include <array>
#include <cstdint>

namespace quorvel {

struct CurvatureBin {
    float upperEdge = 0.0f;  // n * 0.003, a label for the report only
    float curvatureSum = 0.0f;
    float velocitySum = 0.0f;
    float count = 0.0f;  // raised by 1.0 per line, exact up to 2^24
    float squaredDeviationSum = 0.0f;
};

constexpr int binCount = 200;
using BinTable = std::array<CurvatureBin, binCount>;

BinTable makeBinTable();

// Bin 1..200 of a line from its absolute curvature: x = c * 200, then x / 0.6
// (in that order, each rounded to float), bin floor(x) + 1, capped at 200. A
// NaN curvature goes to the last bin.
int binNumber(float absoluteCurvature);

// Pass 1 for one line (absolute values already taken): its curvature and
// velocity are added to its bin, and 1 to the bin's count.
void addToBin(BinTable& table, float absoluteCurvature, float absoluteVelocity);

// Each bin's mean velocity, velocitySum / count, divided out once after pass 1.
using MeanVelocities = std::array<float, binCount>;
MeanVelocities meanVelocities(const BinTable& table);

// Pass 2 for one line: the squared difference of its velocity from its bin's
// mean velocity is added to the bin.
void addDeviation(BinTable& table, const MeanVelocities& means, float absoluteCurvature,
                  float absoluteVelocity);

// What the report shows of a bin, in single precision: the means and the
// population standard deviation of the velocity. An empty bin gives NaN.
struct BinStatistics {
    float meanCurvature;
    float meanVelocity;
    float deviation;
};
BinStatistics statisticsOf(const CurvatureBin& bin);

constexpr std::string_view columnHeader = "bin     curv    vel      number    std_dev";
constexpr std::size_t reportLineLength = 41;

// The 41-character report line of one bin (no line end).
void formatReportLine(const CurvatureBin& bin, char* out);

// Both data passes and the report, on the context the preamble handed over.
void runBinning(triangle::RunContext& context);

}  // namespace quorvel
