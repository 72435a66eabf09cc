// quorvel: bins the triangles of a fixed-width triangle data file by absolute
// curvature and reports per-bin velocity statistics. Takes no arguments; the
// data file is named on line 1 of input.txt in the working directory.

#include "common/run_error.hpp"
#include "common/run_preamble.hpp"
#include "quorvel/binning.hpp"

int main() {
    return triangle::runProgram("quorvel", [] {
        triangle::RunContext context = triangle::RunPreamble(triangle::quorvelProfile);
        quorvel::runBinning(context);
    });
}
