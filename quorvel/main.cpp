// quorvel: bins the triangles of a fixed-width triangle data file by absolute
// curvature and reports per-bin velocity statistics. Without arguments the
// data file is named on line 1 of input.txt in the working directory.
// Here: what makes the program itself, and its run wired together.

#include "common/run_preamble.hpp"
#include "quorvel/binning.hpp"

// Global, and so internal to this file, being constant.
constexpr triangle::PreambleProfile profile{
    .program = "quorvel",
    .usage = "quorvel [-o FILE] [DATA_FILE]",
    .help =
        "Bins the triangles of a fixed-width triangle data file (usually dremmick's\n"
        "STEM_cnd.txt) by absolute curvature into 200 bins of width 0.003, the last\n"
        "holding everything from 0.597 up, and writes per bin the mean curvature, the\n"
        "mean velocity, the number of triangles and the standard deviation of the\n"
        "velocity to standard output and to STEM_binned.txt beside the data file\n"
        "(STEM: the file's name up to its first '.'), or to FILE. The report is\n"
        "written as its name plus .partial and renamed only when the run succeeds.\n"
        "\n"
        "Without DATA_FILE, line 1 of input.txt in the working directory names the\n"
        "data file; quote a name with a directory part or a blank there: 'runs/a.txt'.\n"
        "  -o, --output FILE   name the report      -h, --help   show this text\n"
        "  --version   show the version\n",
    .bannerLine2 = " PROGRAM TO READ TRIANGLE DATA, FIND MEAN, ",
    .bannerLine3 = " VALUES IN BINS AND COMPARE TO VELOCITY MEAN ",
    .versionText = "version 02/20/2021",
    .resultSuffix = "_binned.txt",
    .selfLabel = "# written by quorvel: ",
    .refusesPartialData = true,
};

int main(int argc, char** argv) {
    return triangle::runTriangleProgram(profile, argc, argv, quorvel::runBinning);
}
