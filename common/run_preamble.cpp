#include "common/run_preamble.hpp"

#include "common/header_block.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <algorithm>
#include <string>
#include <vector>

namespace triangle {

std::string freeFormatItem(std::string_view text) {
    return std::string(" ").append(text);
}

std::string freeFormatItem(std::int32_t count) {
    char item[12] = {' '};
    return std::string(item, formatInteger(item + 1, count, 11));
}

namespace {

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
        console.writeLine(freeFormatItem(line));
}

// A fixed-format line: `before`, the count right-aligned in `width` digits, `after`.
void writeCountLine(OutputFile& console, std::string_view before, std::int32_t count, int width,
                    std::string_view after) {
    char* p = console.reserve(before.size() + 16 + after.size());
    p = formatInteger(std::copy(before.begin(), before.end(), p), count, width);
    console.commit(std::copy(after.begin(), after.end(), p));
    console.write("\n");
}

}  // namespace

RunContext RunPreamble(const PreambleProfile& profile, const CommandLine& command,
                       const ControlLinesReader& readControlLines) {
    RunContext context;
    context.program = profile.program;
    OutputFile& console = context.console;
    console.attachStandardOutput();
    printBanner(console, profile);

    {  // line 1 names the data file; a program may read lines of its own after it
        ControlFile control(command.control, profile.program);
        context.nameMayNeedQuotes = control.readName(context.nameField, context.nameCut);
        if (readControlLines) readControlLines(control);
    }  // and the control file is closed
    // The name as a path: trailing blanks are not part of it. Given as an
    // argument, it is used whole; only the name field is cut.
    const std::string_view name = command.control.lines.empty() ? context.name() : command.control.lines[0];
    context.data.path = name.substr(0, name.find_last_not_of(' ') + 1);
    const std::string& dataPath = context.data.path;
    if (profile.refusesPartialData && dataPath.ends_with(OutputFile::partialSuffix))
        throw RunError(
            ExitStatus::badInput,
            dataPath +
                ": the data file is the incomplete result of a failed or killed run (its name ends "
                "in .partial); give the complete file, or run again the program that wrote it");
    if (!command.control.lines.empty() && dataPath.size() > textFieldWidth)
        warn(profile.program, dataPath + ": the name has " + std::to_string(dataPath.size()) +
                                  " characters; the console and the '# initial file: ' line show its first " +
                                  std::to_string(textFieldWidth));
    context.stemLength = stemLengthOf(dataPath);
    console.write("I am going to look for data in the file labeled: ");
    console.writeLine(context.name());
    console.flush();

    try {
        context.data.countLines();
    } catch (RunError& e) {
        if (context.nameMayNeedQuotes) e.append(quoteHint);
        if (context.nameCut && command.control.lines.empty()) e.append(cutHint);
        throw;
    }
    writeCountLine(console, "There are  ", context.data.lineCount, profile.lineCountWidth,
                   " lines in the data file.");
    const std::int32_t headerCount = context.data.measureHeader();
    if (profile.freeFormatHeaderCount)
        console.writeLine(freeFormatItem(headerCount) + freeFormatItem(headerCountText));
    else
        writeCountLine(console, "", headerCount, 6, headerCountText);
    console.flush();
    if (context.data.dataLineCount() == 0)
        warn(profile.program,
             dataPath + (headerCount == 0 ? ": the data file is empty: it has no data lines"
                                          : ": the data file has no data lines: all its " +
                                                std::to_string(headerCount) + " lines are header lines"));

    context.resultPath =
        createResultFile(context.resultFile, profile.program, dataPath, profile.resultSuffix, command.output);
    try {
        LineTally longHeaderLines;
        context.data.openAtFirstDataLine(&context.resultFile, &longHeaderLines);
        longHeaderLines.tell(profile.program, dataPath,
                             "header line of more than 100 characters: the copy keeps its first 100", "line");
        writeTextField(context.resultFile, profile.selfLabel, profile.versionText);
        writeTextField(context.resultFile, "# initial file: ", context.name());
    } catch (RunError& e) {
        noteIncomplete(e, context.resultFile);
        throw;
    }
    return context;
}

int runTriangleProgram(const PreambleProfile& profile, int argc, char** argv,
                       const std::function<void(RunContext&)>& part,
                       const ControlLinesReader& readControlLines) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return runProgram(profile.program, [&] {
        const CommandLine command = readCommandLine(profile, arguments);
        if (command.request != CommandLine::Request::run) return printRequested(profile, command.request);
        RunContext context = RunPreamble(profile, command, readControlLines);
        try {
            part(context);
        } catch (RunError& e) {
            noteIncomplete(e, context.resultFile);
            throw;
        }
    });
}

}  // namespace triangle
