#include "common/run_preamble.hpp"

#include "common/free_form.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"
#include "orientation/orientation.hpp"

#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace triangle {

const PreambleProfile quorvelProfile{
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

float readLimit(FreeFormScanner& control, InputFile& in, const char* what) {
    const ScannedValue limit = control.nextValue();
    if (limit.status == ScannedValue::Status::endOfFile)
        failBadInput(in.path(), in.lastLineNumber() + 1,
                     std::string("expected ") + what + " (a number), found the end of the file");
    if (limit.status == ScannedValue::Status::notANumber)
        failBadInput(in.path(), in.lineNumber(),
                     std::string("expected ") + what + " (a number), found " + quoted(limit.text));
    control.skipRestOfLine();
    return limit.value;
}

// Line 1 names the data file; dremmick reads its two limits from the lines after it.
void readControlFile(RunContext& context, const PreambleProfile& profile) {
    InputFile in;
    in.open(std::string(controlFileName));
    FreeFormScanner control(in);
    control.readName(context.nameField);
    if (profile.readsLimits) {
        context.curvatureLimit = readLimit(control, in, "the curvature limit");
        context.velocityLimit = readLimit(control, in, "the velocity limit");
    }
    context.stemLength = stemLengthOf(context.nameField);
}

std::int32_t countDataFileLines(InputFile& data, const std::string& path) {
    data.open(path);
    const std::int64_t count = data.countRemainingLines();
    if (count > std::numeric_limits<std::int32_t>::max())
        throw RunError(ExitStatus::badInput, path + ": more than 2147483647 lines; the counts are 32-bit");
    return static_cast<std::int32_t>(count);
}

void printLineCount(OutputFile& console, std::int32_t lineCount, int width) {
    char line[64];
    std::memcpy(line, "There are  ", 11);
    char* p = formatInteger(line + 11, lineCount, width);
    std::memcpy(p, " lines in the data file.", 24);
    console.writeLine(std::string_view(line, static_cast<std::size_t>(p + 24 - line)));
}

// The header block: the run of leading lines holding "#" in their first 100 characters.
std::int32_t measureHeaderBlock(InputFile& data, const std::string& path, std::int32_t lineCount) {
    data.open(path);
    std::string_view head;
    std::int32_t count = 0;
    while (count < lineCount && data.readLine(head, textFieldWidth) && isHeaderLine(head)) ++count;
    return count;
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
        failFile(resultPath, "cannot create: it is the data file " + dataPath + " itself, which would be emptied",
                 0);
    context.resultFile.create(resultPath);
}

}  // namespace

RunContext RunPreamble(const PreambleProfile& profile) {
    RunContext context;
    OutputFile& console = context.console;
    console.attachStandardOutput();
    printBanner(console, profile);
    if (profile.setsPi) orientation::const1.pi = 3.1415927f;

    readControlFile(context, profile);
    console.write("I am going to look for data in the file labeled: ");
    console.writeLine(context.name());
    console.flush();

    const std::string dataPath = context.dataPath();
    // Every opening of the data file reads into the same block.
    context.lineCount = countDataFileLines(context.dataFile, dataPath);
    printLineCount(console, context.lineCount, profile.lineCountWidth);
    context.headerCount = measureHeaderBlock(context.dataFile, dataPath, context.lineCount);
    printHeaderCount(console, context.headerCount, profile.freeFormatHeaderCount);
    console.flush();

    createResultFile(context, profile, dataPath);
    context.dataFile.open(dataPath);
    readHeaderBlock(context.dataFile, context.headerCount, &context.resultFile);
    writeTextField(context.resultFile, profile.selfLabel, profile.versionText);
    writeTextField(context.resultFile, "# initial file: ", context.name());
    return context;
}

}  // namespace triangle
