// dremmick: conditions a free-form triangle data file. Drops blank lines and
// lines whose curvature or velocity exceeds its limit, and rewrites the rest
// in the fixed-width form. Without arguments, input.txt in the working
// directory names the data file (line 1) and the two limits (lines 2 and 3).
// Here: what makes the program itself, and its run wired together.

#include "common/run_preamble.hpp"
#include "dremmick/filtering.hpp"
#include "orientation/orientation.hpp"

// Global, and so internal to this file, being constant.
constexpr triangle::PreambleProfile profile{
    .program = "dremmick",
    .usage = "dremmick [-o FILE] [DATA_FILE CURVATURE_LIMIT VELOCITY_LIMIT]",
    .help =
        "Conditions a free-form triangle data file: drops blank triangles (values 1-3\n"
        "or 4-6 all zero) and those whose absolute curvature or velocity is greater\n"
        "than its limit, and writes the rest in fixed width to STEM_cnd.txt beside the\n"
        "data file (STEM: the file's name up to its first '.'), or to FILE, for\n"
        "quorvel. The result is written as its name plus .partial and renamed only\n"
        "when the run succeeds. Prints the numbers of dropped and kept lines.\n"
        "\n"
        "Without DATA_FILE and the limits, input.txt in the working directory holds\n"
        "the data file name (line 1; quote a name with a directory part or a blank:\n"
        "'runs/a.txt'), the curvature limit (line 2) and the velocity limit (line 3).\n"
        "  -o, --output FILE   name the result      -h, --help   show this text\n"
        "  --version   show the version\n",
    .bannerLine2 = " PROGRAM TO READ TRIANGLE DATA, REMOVE BAD VALUES, ",
    .bannerLine3 = " AND REWRITE A FILE WITH THE GOOD DATA ",
    .versionText = "version 02/19/2021",
    .controlLines = 3,  // the name, then the two limits
    .lineCountWidth = 7,
    .freeFormatHeaderCount = true,
    .resultSuffix = "_cnd.txt",
    .selfLabel = "# written by dremmick: ",
};

int main(int argc, char** argv) {
    // dremmick's one contact with the orientation routines: their constant
    // block holds pi from the start of its run.
    orientation::const1.pi = orientation::singlePrecisionPi;
    dremmick::Limits limits;
    return triangle::runTriangleProgram(
        profile, argc, argv, [&](triangle::RunContext& context) { dremmick::runFiltering(context, limits); },
        [&](triangle::ControlFile& control) { limits = dremmick::readLimits(control); });
}
