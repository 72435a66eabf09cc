#include "common/run_preamble.hpp"

#include "common/number_text.hpp"
#include "common/run_error.hpp"
#include "common/triangle_data.hpp"
#include "orientation/orientation.hpp"

#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace triangle {

const PreambleProfile quorvelProfile{
    "quorvel",
    " PROGRAM TO READ TRIANGLE DATA, FIND MEAN, ",
    " VALUES IN BINS AND COMPARE TO VELOCITY MEAN ",
    " version 02/20/2021",
    false,
    9,
    false,
    "_binned.txt",
    "# written by quorvel: ",
    "version 02/20/2021",
    false,
};

const PreambleProfile dremmickProfile{
    "dremmick",
    " PROGRAM TO READ TRIANGLE DATA, REMOVE BAD VALUES, ",
    " AND REWRITE A FILE WITH THE GOOD DATA ",
    " version 02/19/2021",
    true,
    7,
    true,
    "_cnd.txt",
    "# written by dremmick: ",
    "version 02/19/2021",
    true,
};

namespace {

constexpr std::string_view controlFileName = "input.txt";
constexpr std::string_view bannerRule = "=================================================";
// One blank and the project's 14-character contact address.
constexpr std::string_view bannerContact = " tools@tri.test";

// Free-format console line: one blank ahead of the text.
void writeFreeLine(OutputFile& console, std::string_view text) {
    char* p = console.reserve(text.size() + 2);
    *p++ = ' ';
    std::memcpy(p, text.data(), text.size());
    p += text.size();
    *p++ = '\n';
    console.commit(p);
}

void writeField(OutputFile& out, std::string_view prefix, std::string_view field) {
    out.write(prefix);
    out.write(field);
    if (field.size() < textFieldWidth) {
        static const std::string blanks(textFieldWidth, ' ');
        out.write(std::string_view(blanks).substr(0, textFieldWidth - field.size()));
    }
    out.write("\n");
}

bool holdsHash(std::string_view head) {
    return head.find('#') != std::string_view::npos;
}

std::int32_t checkedCount(std::int64_t count, const std::string& path) {
    if (count > std::numeric_limits<std::int32_t>::max())
        throw RunError(ExitStatus::badInput, path + ": more than 2147483647 lines; the counts are 32-bit");
    return static_cast<std::int32_t>(count);
}

void readLimit(InputFile& control, float& limit, const char* what) {
    if (!readFreeNumber(control, limit, what))
        failBadInput(control.path(), control.lastLineNumber() + 1,
                     std::string("expected ") + what + " (a number), found the end of the file");
}

}  // namespace

std::string RunContext::dataPath() const {
    std::size_t length = nameField.size();
    while (length > 0 && nameField[length - 1] == ' ') --length;
    return std::string(nameField.data(), length);
}

void readNameItem(InputFile& in, TextField& field) {
    field.fill(' ');
    std::size_t length = 0;
    auto put = [&](char c) {
        if (length < field.size()) field[length] = c;
        ++length;
    };
    // Pass over blanks and blank lines.
    for (;;) {
        const char* p = in.cursor();
        while (p < in.limit() && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) {
            if (*p == '\n') in.noteLineEnd();
            ++p;
        }
        in.consume(p);
        if (p < in.limit()) break;
        if (in.fill() == InputFile::Fill::endOfFile)
            failBadInput(in.path(), in.lastLineNumber() + 1,
                         "expected the data file name, found the end of the file");
    }
    const std::int64_t line = in.lineNumber();
    const char first = *in.cursor();
    if (first == ',' || first == '/')
        failBadInput(in.path(), line, "expected the data file name, found '" + std::string(1, first) + "'");

    const bool isQuoted = first == '\'' || first == '"';
    if (isQuoted) in.consume(in.cursor() + 1);
    for (;;) {
        if (in.cursor() == in.limit()) {
            if (in.fill() != InputFile::Fill::more) {
                if (isQuoted)
                    failBadInput(in.path(), line,
                                 std::string("the quoted data file name has no closing ") + first);
                break;
            }
            continue;
        }
        const char c = *in.cursor();
        if (c == '\0')
            failBadInput(in.path(), line,
                         "the data file name holds a NUL character, which no file name can hold");
        if (isQuoted) {
            if (c == '\n')
                failBadInput(in.path(), line,
                             std::string("the quoted data file name has no closing ") + first);
            if (c == first) {
                // A doubled quote mark stands for one; otherwise the name ends.
                if (in.cursor() + 1 == in.limit() && in.fill() == InputFile::Fill::more) continue;
                if (in.cursor() + 1 < in.limit() && in.cursor()[1] == first) {
                    put(first);
                    in.consume(in.cursor() + 2);
                    continue;
                }
                in.consume(in.cursor() + 1);
                break;
            }
        } else if (c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\n' || c == '\r') {
            break;
        }
        put(c);
        in.consume(in.cursor() + 1);
    }
    in.skipRestOfLine();
}

std::int32_t stemLengthOf(const TextField& field) {
    for (std::size_t i = 0; i < field.size(); ++i)
        if (field[i] == '.') return static_cast<std::int32_t>(i);
    return 0;
}

RunContext RunPreamble(const PreambleProfile& profile) {
    RunContext context;
    OutputFile& console = context.console;
    console.attachStandardOutput();

    // 1. Banner.
    writeFreeLine(console, bannerRule);
    writeFreeLine(console, profile.bannerLine2);
    writeFreeLine(console, profile.bannerLine3);
    writeFreeLine(console, " ");
    writeFreeLine(console, bannerContact);
    writeFreeLine(console, profile.bannerLine6);
    writeFreeLine(console, bannerRule);

    // 2. pi for the orientation routines.
    if (profile.setsPi) orientation::const1.pi = 3.1415927f;

    // 3-5. Control file: the data file name, then (dremmick) the two limits.
    {
        InputFile control;
        control.open(std::string(controlFileName));
        readNameItem(control, context.nameField);
        if (profile.readsLimits) {
            readLimit(control, context.curvatureLimit, "the curvature limit");
            readLimit(control, context.velocityLimit, "the velocity limit");
        }

        // 6. The stem ends at the first ".".
        context.stemLength = stemLengthOf(context.nameField);

        // 7.
        console.write("I am going to look for data in the file labeled: ");
        console.writeLine(context.name());
        // 8. The control file closes here.
    }
    console.flush();

    const std::string dataPath = context.dataPath();
    // 9. Line-count pass.
    {
        InputFile data;
        data.open(dataPath);
        context.lineCount = checkedCount(data.countRemainingLines(), dataPath);
    }

    // 10.
    {
        char line[64];
        char* p = line;
        std::memcpy(p, "There are  ", 11);
        p = formatInteger(p + 11, context.lineCount, profile.lineCountWidth);
        std::memcpy(p, " lines in the data file.", 24);
        console.writeLine(std::string_view(line, static_cast<std::size_t>(p + 24 - line)));
    }

    // 11. Header pass: the run of leading lines holding "#" in their first 100 characters.
    {
        InputFile data;
        data.open(dataPath);
        std::string_view head;
        for (std::int32_t j = 1; j <= context.lineCount; ++j) {
            if (!data.readLine(head, textFieldWidth) || !holdsHash(head)) break;
            context.headerCount = j;
        }
    }

    // 12.
    {
        char line[64];
        char* p = line;
        if (profile.freeFormatHeaderCount) {
            *p++ = ' ';
            p = formatInteger(p, context.headerCount, 11);
            *p++ = ' ';
        } else {
            p = formatInteger(p, context.headerCount, 6);
        }
        std::memcpy(p, " lines in the header", 20);
        console.writeLine(std::string_view(line, static_cast<std::size_t>(p + 20 - line)));
    }
    console.flush();

    // 13. The result file, beside the data file when the name has a directory part.
    std::string resultPath(context.nameField.data(), static_cast<std::size_t>(context.stemLength));
    resultPath += profile.resultSuffix;
    // A name like './_binned.txt' has an empty stem and so names its own result
    // file; creating that would empty the data file before it is read.
    std::error_code notFound;
    if (std::filesystem::equivalent(resultPath, dataPath, notFound))
        throw RunError(ExitStatus::fileError, resultPath + ": cannot create: it is the data file " +
                                                  dataPath + " itself, which would be emptied");
    context.resultFile.create(resultPath);

    // 14. Header copy, each line as a 100-character field.
    context.dataFile.open(dataPath);
    std::string_view head;
    for (std::int32_t j = 1; j <= context.headerCount; ++j) {
        if (!context.dataFile.readLine(head, textFieldWidth))
            failBadInput(dataPath, j, "expected a header line, found the end of the file");
        writeField(context.resultFile, {}, head);
    }

    // 15-16. Provenance lines.
    writeField(context.resultFile, profile.selfLabel, profile.versionText);
    writeField(context.resultFile, "# initial file: ", context.name());
    return context;
}

}  // namespace triangle
