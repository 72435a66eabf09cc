#include "common/run_preamble.hpp"

#include "common/free_form.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"
#include "orientation/orientation.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

namespace triangle {

const PreambleProfile quorvelProfile{
    "quorvel",
    "Usage: quorvel [DATA_FILE]\n"
    "Bins the triangles of a fixed-width triangle data file (usually dremmick's\n"
    "STEM_cnd.txt) by absolute curvature into 200 bins of width 0.003, the last\n"
    "holding everything from 0.597 up, and writes per bin the mean curvature, the\n"
    "mean velocity, the number of triangles and the standard deviation of the\n"
    "velocity to STEM_binned.txt beside the data file and to standard output.\n"
    "\n"
    "Without DATA_FILE, line 1 of input.txt in the working directory names the\n"
    "data file; quote a name with a directory part or a blank there: 'runs/a.txt'.\n"
    "  -h, --help   show this text      --version   show the version\n"
    "\n"
    "Exit status: 0 done; 1 content that cannot be read; 2 a file that cannot be\n"
    "opened, read, created or written; 3 internal error; 64 wrong arguments.\n"
    "See man quorvel.\n",
    " PROGRAM TO READ TRIANGLE DATA, FIND MEAN, ",
    " VALUES IN BINS AND COMPARE TO VELOCITY MEAN ",
    "version 02/20/2021",
    false,
    9,
    false,
    "_binned.txt",
    "# written by quorvel: ",
    false,
};

const PreambleProfile dremmickProfile{
    "dremmick",
    "Usage: dremmick [DATA_FILE CURVATURE_LIMIT VELOCITY_LIMIT]\n"
    "Conditions a free-form triangle data file: drops blank triangles (values 1-3\n"
    "or 4-6 all zero) and those whose absolute curvature or velocity is greater\n"
    "than its limit, and writes the rest in fixed width to STEM_cnd.txt beside the\n"
    "data file, for quorvel. Prints the numbers of dropped and kept lines.\n"
    "\n"
    "Without arguments, input.txt in the working directory holds the data file\n"
    "name (line 1; quote a name with a directory part or a blank: 'runs/a.txt'),\n"
    "the curvature limit (line 2) and the velocity limit (line 3).\n"
    "  -h, --help   show this text      --version   show the version\n"
    "\n"
    "Exit status: 0 done; 1 content that cannot be read; 2 a file that cannot be\n"
    "opened, read, created or written; 3 internal error; 64 wrong arguments.\n"
    "See man dremmick.\n",
    " PROGRAM TO READ TRIANGLE DATA, REMOVE BAD VALUES, ",
    " AND REWRITE A FILE WITH THE GOOD DATA ",
    "version 02/19/2021",
    true,
    7,
    true,
    "_cnd.txt",
    "# written by dremmick: ",
    true,
};

void writeFreeFormatLine(OutputFile& out, std::initializer_list<FreeItem> items) {
    for (const FreeItem& item : items) {
        char* p = out.reserve(item.text.size() + 12);
        *p++ = ' ';
        if (item.isCount) {
            p = formatInteger(p, item.count, 11);
        } else {
            std::memcpy(p, item.text.data(), item.text.size());
            p += item.text.size();
        }
        out.commit(p);
    }
    out.write("\n");
}

std::string RunContext::dataPath() const {
    std::size_t length = nameField.size();
    while (length > 0 && nameField[length - 1] == ' ') --length;
    return std::string(nameField.data(), length);
}

std::int32_t stemLengthOf(const TextField& field) {
    for (std::size_t i = 0; i < field.size(); ++i)
        if (field[i] == '.') return static_cast<std::int32_t>(i);
    return 0;
}

namespace {

constexpr std::string_view controlFileName = "input.txt";
constexpr std::string_view bannerRule = "=================================================";
// One blank and the project's 14-character contact address.
constexpr std::string_view bannerContact = " tools@tri.test";
constexpr std::string_view headerCountText = " lines in the header";

void printBanner(OutputFile& console, const PreambleProfile& profile) {
    std::string versionLine(" ");  // banner line 6: a blank, then the version text
    versionLine += profile.versionText;
    for (const std::string_view line :
         {bannerRule, profile.bannerLine2, profile.bannerLine3, std::string_view(" "), bannerContact,
          std::string_view(versionLine), bannerRule})
        writeFreeFormatLine(console, {line});
}

// A limit: the first value of its line. A decimal comma, or a limit that is
// not greater than 0, drops lines unexpectedly; both are warned about.
float readLimit(FreeFormScanner& control, InputFile& in, const char* what, std::string_view program) {
    const ScannedValue limit = control.nextValue();
    if (limit.status == ScannedValue::Status::endOfFile)
        failBadInput(in.path(), in.lastLineNumber() + 1,
                     std::string("expected ") + what + " (a number), found the end of the file");
    if (limit.status == ScannedValue::Status::notANumber)
        failBadInput(in.path(), in.lineNumber(),
                     std::string("expected ") + what + " (a number), found " + quoted(limit.text));
    char text[32];
    const std::string place = placeText(in.path(), in.lineNumber()) + ": " + what + " is " +
                              std::string(text, std::to_chars(text, text + sizeof text, limit.value).ptr);
    if (control.atDecimalComma())
        warn(program, place + ": the comma after it ends the number; write the decimal point as '.'");
    else if (std::isnan(limit.value))
        warn(program, place + ": its test drops no line");
    else if (!(limit.value > 0.0f))
        warn(program, place + ", not greater than 0: every line above it is dropped");
    control.skipRestOfLine();
    return limit.value;
}

// Line 1 names the data file; dremmick reads its two limits from the lines
// after it. Arguments stand for those lines, the name quoted as it is.
void readControlFile(RunContext& context, const PreambleProfile& profile,
                     std::span<const std::string_view> arguments) {
    InputFile in;
    std::string lines;
    if (arguments.empty()) {
        in.open(std::string(controlFileName));
    } else {
        lines = "'";
        for (const char c : arguments[0]) lines.append(c == '\'' ? 2 : 1, c);
        lines += "'\n";
        for (const std::string_view limit : arguments.subspan(1)) lines.append(limit).append("\n");
        in.openMemory(lines, "command line");
    }
    FreeFormScanner control(in);
    control.skipByteOrderMark();
    const char nameEnd = control.readName(context.nameField);
    if (profile.readsLimits) {
        context.curvatureLimit = readLimit(control, in, "the curvature limit", profile.program);
        context.velocityLimit = readLimit(control, in, "the velocity limit", profile.program);
    }
    context.stemLength = stemLengthOf(context.nameField);
    context.nameMayNeedQuotes = nameEnd != 0;
}

std::int32_t countDataFileLines(RunContext& context, const std::string& path) {
    InputFile& data = context.dataFile;  // every opening of the data file reads into the same block
    try {
        data.open(path);
        const std::int64_t count = data.countRemainingLines();
        if (count > std::numeric_limits<std::int32_t>::max())
            throw RunError(ExitStatus::badInput,
                           path + ": more than 2147483647 lines; the counts are 32-bit");
        return static_cast<std::int32_t>(count);
    } catch (RunError& e) {
        if (context.nameMayNeedQuotes) e.append(quoteHint);
        throw;
    }
}

void printLineCount(OutputFile& console, std::int32_t lineCount, int width) {
    char line[64];
    std::memcpy(line, "There are  ", 11);
    char* p = formatInteger(line + 11, lineCount, width);
    std::memcpy(p, " lines in the data file.", 24);
    console.writeLine(std::string_view(line, static_cast<std::size_t>(p + 24 - line)));
}

void printHeaderCount(OutputFile& console, std::int32_t headerCount, bool freeFormat) {
    if (freeFormat) return writeFreeFormatLine(console, {headerCount, headerCountText});
    char line[32];
    char* p = formatInteger(line, headerCount, 6);
    std::memcpy(p, headerCountText.data(), headerCountText.size());
    console.writeLine(std::string_view(line, static_cast<std::size_t>(p - line) + headerCountText.size()));
}

// The stem and the suffix: beside the data file when the name has a directory part.
void createResultFile(RunContext& context, const PreambleProfile& profile, const std::string& dataPath) {
    std::string resultPath(context.nameField.data(), static_cast<std::size_t>(context.stemLength));
    resultPath += profile.resultSuffix;
    // A name like './_binned.txt' has an empty stem and so names its own result
    // file; creating that would empty the data file before it is read.
    std::error_code notFound;
    if (std::filesystem::equivalent(resultPath, dataPath, notFound))
        failFile(resultPath,
                 "cannot create: it is the data file " + dataPath + " itself, which would be emptied", 0);
    context.resultFile.create(resultPath);
    context.resultPath = resultPath;
}

void noteIncomplete(RunError& error, const RunContext& context) {
    if (!context.resultPath.empty() && !context.resultFile.finished())
        error.append("; the result file " + context.resultPath + " is incomplete");
}

}  // namespace

RunContext RunPreamble(const PreambleProfile& profile, std::span<const std::string_view> arguments) {
    RunContext context;
    context.program = profile.program;
    OutputFile& console = context.console;
    console.attachStandardOutput();
    printBanner(console, profile);
    if (profile.setsPi) orientation::const1.pi = 3.1415927f;

    readControlFile(context, profile, arguments);
    console.write("I am going to look for data in the file labeled: ");
    console.writeLine(context.name());
    console.flush();

    const std::string dataPath = context.dataPath();
    context.lineCount = countDataFileLines(context, dataPath);
    printLineCount(console, context.lineCount, profile.lineCountWidth);
    context.dataFile.open(dataPath);
    context.headerCount = measureHeaderBlock(context.dataFile, context.lineCount);
    printHeaderCount(console, context.headerCount, profile.freeFormatHeaderCount);
    console.flush();
    if (context.headerCount == context.lineCount)
        warn(profile.program,
             dataPath + (context.lineCount == 0
                             ? ": the data file is empty: it has no data lines"
                             : ": the data file has no data lines: all its " +
                                   std::to_string(context.lineCount) + " lines are header lines"));

    createResultFile(context, profile, dataPath);
    try {
        context.dataFile.open(dataPath);
        readHeaderBlock(context.dataFile, context.headerCount, &context.resultFile);
        writeTextField(context.resultFile, profile.selfLabel, profile.versionText);
        writeTextField(context.resultFile, "# initial file: ", context.name());
    } catch (RunError& e) {
        noteIncomplete(e, context);
        throw;
    }
    return context;
}

int runTriangleProgram(const PreambleProfile& profile, int argc, char** argv, void (*part)(RunContext&)) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const std::string_view first = arguments.empty() ? "" : arguments[0];
    if (arguments.size() == 1 && (first == "-h" || first == "--help"))
        return std::fputs(profile.help.data(), stdout) < 0 ? 2 : 0;
    if (arguments.size() == 1 && first == "--version")
        return std::printf("%s %s\n", profile.program.data(), profile.versionText.data()) < 0 ? 2 : 0;
    const std::size_t taken = profile.readsLimits ? 3 : 1;
    if (!arguments.empty() && (arguments.size() != taken || (first.size() > 1 && first[0] == '-'))) {
        const std::string problem = first.size() > 1 && first[0] == '-'
                                        ? "unknown option '" + std::string(first) + "'"
                                        : "expected " + std::to_string(taken) + " arguments or none, found " +
                                              std::to_string(arguments.size());
        const std::string usage(profile.help.substr(7, profile.help.find('\n') - 7));  // after "Usage: "
        std::fprintf(stderr, "%s: %s; usage: %s (%s --help tells more)\n", profile.program.data(),
                     problem.c_str(), usage.c_str(), profile.program.data());
        return static_cast<int>(ExitStatus::usage);
    }
    return runProgram(profile.program, [&] {
        RunContext context = RunPreamble(profile, arguments);
        try {
            part(context);
        } catch (RunError& e) {
            noteIncomplete(e, context);
            throw;
        }
    });
}

}  // namespace triangle
