// quorvel: bins the triangles of a fixed-width triangle data file by absolute
// curvature and reports per-bin velocity statistics. Without arguments the
// data file is named on line 1 of input.txt in the working directory.

#include "common/run_preamble.hpp"
#include "quorvel/binning.hpp"

int main(int argc, char** argv) {
    return triangle::runTriangleProgram(triangle::quorvelProfile, argc, argv, quorvel::runBinning);
}
