// dremmick: conditions a free-form triangle data file. Drops blank lines and
// lines whose curvature or velocity exceeds its limit, and rewrites the rest
// in the fixed-width form. Without arguments, input.txt in the working
// directory names the data file (line 1) and the two limits (lines 2 and 3).

#include "common/run_preamble.hpp"
#include "dremmick/filtering.hpp"

int main(int argc, char** argv) {
    return triangle::runTriangleProgram(triangle::dremmickProfile, argc, argv, dremmick::runFiltering);
}
