#include "quorvel/binning.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace quorvel {
namespace {

TEST(BinNumber, EdgesAreDecidedBySinglePrecisionArithmetic) {
    struct Case {
        float curvature;
        int bin;
    };
    for (const Case& c : {Case{0.0f, 1},
                          {0.0029f, 1},
                          {0.003f, 2},
                          {0.0060f, 3},
                          {0.009f, 3} /* 2.9999998 */,
                          {0.5969f, 199},
                          {0.597f, 200},
                          {0.6f, 200},
                          {1.0f, 200},
                          {6442451.0f, 200},
                          {1.0e30f, 200},
                          {std::numeric_limits<float>::infinity(), 200},
                          {std::numeric_limits<float>::quiet_NaN(), 200}}) {
        EXPECT_EQ(binNumber(c.curvature), c.bin) << c.curvature;
    }
}

TEST(BinTable, UpperEdgesAreProductsInSinglePrecision) {
    const BinTable table = makeBinTable();
    EXPECT_EQ(table[0].upperEdge, 0.003f);
    EXPECT_EQ(table[2].upperEdge, 3.0f * 0.003f);
    EXPECT_EQ(table[199].upperEdge, 200.0f * 0.003f);
    EXPECT_EQ(table[57].count, 0.0f);
}

std::string reportLine(const CurvatureBin& bin) {
    char out[reportLineLength];
    formatReportLine(bin, out);
    return std::string(out, reportLineLength);
}

TEST(ReportLine, ColumnsOfAFilledBin) {
    CurvatureBin bin{0.006f, 0.0061f, 3.0f, 2.0f, 0.5f};
    EXPECT_EQ(reportLine(bin), "0.0060  0.0030  1.5000        2    0.5000");
}

TEST(ReportLine, EmptyBinShowsNaN) {
    CurvatureBin bin{0.003f, 0.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(reportLine(bin), "0.0030     NaN     NaN        0       NaN");
}

TEST(ReportLine, OverflowingFieldsShowAsterisks) {
    CurvatureBin bin{0.6f, 20.0f * 12000000.0f, 12.0f * 12000000.0f, 12000000.0f, 0.0f};
    EXPECT_EQ(reportLine(bin), "0.6000  ******  ******  *******    0.0000");
}

}  // namespace
}  // namespace quorvel
