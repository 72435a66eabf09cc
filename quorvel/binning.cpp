#include "quorvel/binning.hpp"

#include "common/fixed_width.hpp"
#include "common/number_text.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>

namespace quorvel {

using triangle::TriangleRecord;

BinTable makeBinTable() {
    BinTable table;
    for (int n = 1; n <= binCount; ++n)
        table[static_cast<std::size_t>(n - 1)].upperEdge = static_cast<float>(n) * 0.003f;
    return table;
}

int binNumber(float absoluteCurvature) {
    float x = absoluteCurvature * 200.0f;
    x = x / 0.6f;
    // Not below 200 also catches NaN and values too large for an integer.
    if (!(x < 200.0f)) return binCount;
    return static_cast<int>(x) + 1;
}

void addToBin(BinTable& table, float absoluteCurvature, float absoluteVelocity) {
    CurvatureBin& bin = table[static_cast<std::size_t>(binNumber(absoluteCurvature) - 1)];
    bin.curvatureSum += absoluteCurvature;
    bin.velocitySum += absoluteVelocity;
    bin.count += 1.0f;
}

MeanVelocities meanVelocities(const BinTable& table) {
    MeanVelocities means;
    for (std::size_t n = 0; n < means.size(); ++n) means[n] = table[n].velocitySum / table[n].count;
    return means;
}

void addDeviation(BinTable& table, const MeanVelocities& means, float absoluteCurvature,
                  float absoluteVelocity) {
    const auto n = static_cast<std::size_t>(binNumber(absoluteCurvature) - 1);
    const float d = means[n] - absoluteVelocity;
    table[n].squaredDeviationSum += d * d;
}

BinStatistics statisticsOf(const CurvatureBin& bin) {
    return {bin.curvatureSum / bin.count, bin.velocitySum / bin.count,
            std::sqrt(bin.squaredDeviationSum / bin.count)};
}

void formatReportLine(const CurvatureBin& bin, char* out) {
    using triangle::formatFixed;
    const BinStatistics statistics = statisticsOf(bin);
    // Fields of 6 (a count of 7) characters, two blanks apart (four before the last).
    char* p = formatFixed(out, bin.upperEdge, 6);
    p = formatFixed(std::fill_n(p, 2, ' '), statistics.meanCurvature, 6);
    p = formatFixed(std::fill_n(p, 2, ' '), statistics.meanVelocity, 6);
    p = triangle::formatInteger(std::fill_n(p, 2, ' '), static_cast<std::int64_t>(bin.count), 7);
    formatFixed(std::fill_n(p, 4, ' '), statistics.deviation, 6);
}

namespace {

TriangleRecord readDataLine(triangle::InputFile& data, triangle::LineTally* pastColumn96 = nullptr) {
    // Every field is checked; only the curvature and the velocity are used.
    TriangleRecord record = triangle::readFixedRecord(data, 11, pastColumn96);
    record.curvature() = std::fabs(record.curvature());
    record.velocity() = std::fabs(record.velocity());
    return record;
}

}  // namespace

void runBinning(triangle::RunContext& context) {
    BinTable table = makeBinTable();
    const std::int32_t dataLines = context.data.dataLineCount();

    context.resultFile.writeLine(columnHeader);
    context.console.writeLine(columnHeader);
    context.console.flush();

    // Pass 1: sums and counts; lines with more after column 96 are told
    // after it, or before its failure.
    triangle::InputFile& data = context.data.in;
    triangle::LineTally pastColumn96;
    const auto tell = [&] {
        pastColumn96.tell(context.program, data.path(), "characters after column 96: they are ignored",
                          "line");
    };
    try {
        for (std::int32_t i = 0; i < dataLines; ++i) {
            const TriangleRecord record = readDataLine(data, &pastColumn96);
            addToBin(table, record.curvature(), record.velocity());
        }
    } catch (...) {
        tell();
        throw;
    }
    tell();

    // Pass 2: squared deviations from each bin's mean velocity. A curvature
    // or velocity that is NaN or infinite leaves its bin's sums so; only
    // then does pass 2 look for such lines, to tell them after it (every
    // data line is one record).
    context.data.openAtFirstDataLine();
    const MeanVelocities means = meanVelocities(table);
    triangle::LineTally nonFinite;
    const auto pass2 = [&](auto findNonFinite) {
        for (std::int32_t i = 0; i < dataLines; ++i) {
            const TriangleRecord record = readDataLine(data);
            if constexpr (findNonFinite)
                if (!triangle::finiteCurvatureAndVelocity(record))
                    nonFinite.note(context.data.headerCount + 1 + i);
            addDeviation(table, means, record.curvature(), record.velocity());
        }
    };
    const bool nonFiniteSums = std::any_of(table.begin(), table.end(), [](const CurvatureBin& bin) {
        return !std::isfinite(bin.curvatureSum) || !std::isfinite(bin.velocitySum);
    });
    nonFiniteSums ? pass2(std::true_type{}) : pass2(std::false_type{});
    nonFinite.tell(context.program, data.path(),
                   "the curvature or the velocity is NaN or infinite: so are the statistics of its bin",
                   "line");
    data.close();

    // Report: each line to the report, then to standard output.
    char line[reportLineLength + 1];
    line[reportLineLength] = '\n';
    const std::string_view text(line, reportLineLength + 1);
    for (const CurvatureBin& bin : table) {
        formatReportLine(bin, line);
        context.resultFile.write(text);
        context.console.write(text);
    }
    context.resultFile.close();
    context.console.flush();
}

}  // namespace quorvel
