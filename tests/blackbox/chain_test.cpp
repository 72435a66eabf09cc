// The usual chain: dremmick conditions a raw free-form file, quorvel bins the
// conditioned file. Its header block is the source's plus the four lines
// dremmick adds.
#include "blackbox_run.hpp"

#include <string>

namespace blackbox {
namespace {

using Chain = BlackBoxTest;

TEST_F(Chain, QuorvelBinsTheConditionedFileWithFourMoreHeaderLines) {
    write("input.txt", "chain.txt\n0.5\n2.0\n");
    write("chain.txt",
          "# chain source\n"
          "# second header line\n"
          "0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.0 0.0010 1.0\n"
          "0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.0 -0.0020 -2.0\n"
          "0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.0 0.1 2.5\n"
          "0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.0 0.5 0.25\n"
          "0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.0 0.51 0.25\n");

    RunResult filtered = run("dremmick");

    ASSERT_EQ(filtered.status, 0) << filtered.err;
    EXPECT_EQ(filtered.out, kDremmickBanner + lookLine("chain.txt") +
                                "There are        7 lines in the data file.\n"
                                "           2  lines in the header\n" +
                                summaryLines("          1", "          1", "          0", "          3"));
    EXPECT_EQ(read("chain_cnd.txt"), pad100("# chain source") + "\n" + pad100("# second header line") + "\n" +
                                         dremmickProvenance("chain.txt") +
                                         "# eliminated lines with curvature greater than   0.5000\n"
                                         "# eliminated lines with velocity greater than   2.0000\n"
                                         "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  "
                                         "0.9000  1.0000  0.0010  1.0000\n"
                                         "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  "
                                         "0.9000  1.0000  0.0020  2.0000\n"
                                         "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  "
                                         "0.9000  1.0000  0.5000  0.2500\n");

    write("input.txt", "chain_cnd.txt\n");
    RunResult binned = run("quorvel");

    const std::string bins = report({
        {1, "  0.0015  1.5000        2    0.5000"},
        {167, "  0.5000  0.2500        1    0.0000"},
    });
    EXPECT_EQ(binned.status, 0) << binned.err;
    EXPECT_EQ(binned.out, kQuorvelBanner + lookLine("chain_cnd.txt") +
                              "There are          9 lines in the data file.\n"
                              "     6 lines in the header\n" +
                              kColumnHeader + bins);
    EXPECT_EQ(read("chain_cnd_binned.txt"),
              pad100("# chain source") + "\n" + pad100("# second header line") + "\n" +
                  pad100("# written by dremmick: version 02/19/2021") + "\n" +
                  pad100("# initial file: chain.txt") + "\n" +
                  pad100("# eliminated lines with curvature greater than   0.5000") + "\n" +
                  pad100("# eliminated lines with velocity greater than   2.0000") + "\n" +
                  quorvelProvenance("chain_cnd.txt") + kColumnHeader + bins);
}

}  // namespace
}  // namespace blackbox
