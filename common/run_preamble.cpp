#include "common/run_preamble.hpp"

#include "common/header_block.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"
#include "orientation/orientation.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <system_error>
#include <vector>

namespace triangle {

std::string freeFormatItem(std::string_view text) {
    return std::string(" ").append(text);
}

std::string freeFormatItem(std::int32_t count) {
    char item[12] = {' '};
    return std::string(item, formatInteger(item + 1, count, 11));
}

std::int32_t stemLengthOf(const TextField& field) {
    return stemLengthOf(std::string_view(field.data(), field.size()));
}

std::int32_t stemLengthOf(std::string_view name) {
    const std::size_t dot = name.find('.', name.rfind('/') + 1);  // npos + 1 is 0: no directory part
    return dot == std::string_view::npos ? 0 : static_cast<std::int32_t>(dot);
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

// The stem and the suffix, beside the data file, unless -o names the result.
// It is written under a temporary name and renamed when the run succeeds.
void createResultFile(RunContext& context, const PreambleProfile& profile, std::string_view output) {
    const auto stem = static_cast<std::size_t>(context.stemLength);
    const std::string& dataPath = context.data.path;
    const std::string resultPath =
        output.empty() ? dataPath.substr(0, stem) + std::string(profile.resultSuffix) : std::string(output);
    const std::string dropped = dataPath.substr(std::min(stem, dataPath.size()));
    if (output.empty() && dropped.starts_with('.') && dropped.find('.', 1) != std::string::npos)
        warn(profile.program, dataPath + ": the result file is " + resultPath + ": '" + dropped +
                                  "' is dropped, so names that differ only after the first '.' share it; "
                                  "choose the name with -o FILE");
    // The result, or its temporary name, may be the data file itself (a name
    // without a "." and a link, or -o): writing it would destroy the data.
    std::error_code notFound;
    for (const std::string& name : {resultPath, resultPath + std::string(OutputFile::partialSuffix)})
        if (std::filesystem::equivalent(name, dataPath, notFound))
            failFile(name, "cannot create: it is the data file " + dataPath + " itself, which would be lost",
                     0);
    // Refused now: the rename at the end would fail, after all the work.
    if (std::filesystem::is_directory(resultPath, notFound)) failFile(resultPath, "cannot create", EISDIR);
    context.resultFile.createForRename(resultPath);
    context.resultPath = resultPath;
}

void noteIncomplete(RunError& error, const RunContext& context) {
    if (!context.resultPath.empty() && !context.resultFile.finished())
        error.append("; the result file " + context.resultFile.path() + " is incomplete");
}

bool blank(std::string_view argument) {
    return argument.find_first_not_of(" \t") == std::string_view::npos;
}

// The command line beside -h, --help and --version: -o FILE (or --output
// FILE) anywhere, and the arguments that stand for the control file's lines;
// a data file name may not start with "-". Throws RunError (wrong arguments).
CommandLine readCommandLine(const PreambleProfile& profile, std::span<const std::string_view> arguments) {
    const auto refuse = [&](const std::string& problem) {
        throw RunError(ExitStatus::usage, problem + "; usage: " + std::string(profile.usage) + " (" +
                                              std::string(profile.program) + " --help tells more)");
    };
    CommandLine command;
    std::vector<std::string_view>& lines = command.control.lines;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string_view argument = arguments[k];
        if (argument == "-o" || argument == "--output") {
            if (k + 1 == arguments.size() || arguments[k + 1].empty() || !command.output.empty())
                refuse("-o and --output take one file name, once");
            if (blank(arguments[k + 1]))
                refuse("argument " + std::to_string(k + 2) + ", the name -o and --output take, is blank");
            command.output = arguments[++k];
        } else if (lines.empty() && argument.size() > 1 && argument[0] == '-') {
            refuse("unknown option '" + std::string(argument) + "'");
        } else if (blank(argument)) {
            refuse("argument " + std::to_string(k + 1) + " is empty");
        } else {
            lines.push_back(argument);
            command.control.positions.push_back(static_cast<int>(k + 1));
        }
    }
    const auto taken = static_cast<std::size_t>(profile.controlLines);
    if (!lines.empty() && lines.size() != taken)
        refuse(expectedFound(std::to_string(taken) + " arguments or none", std::to_string(lines.size())));
    return command;
}

}  // namespace

RunContext RunPreamble(const PreambleProfile& profile, const CommandLine& command,
                       const ControlLinesReader& readControlLines) {
    RunContext context;
    context.program = profile.program;
    OutputFile& console = context.console;
    console.attachStandardOutput();
    printBanner(console, profile);
    if (profile.setsPi) orientation::const1.pi = orientation::singlePrecisionPi;

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
        throw RunError(ExitStatus::badInput,
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

    createResultFile(context, profile, command.output);
    try {
        LineTally longHeaderLines;
        context.data.openAtFirstDataLine(&context.resultFile, &longHeaderLines);
        longHeaderLines.tell(profile.program, dataPath,
                             "header line of more than 100 characters: the copy keeps its first 100", "line");
        writeTextField(context.resultFile, profile.selfLabel, profile.versionText);
        writeTextField(context.resultFile, "# initial file: ", context.name());
    } catch (RunError& e) {
        noteIncomplete(e, context);
        throw;
    }
    return context;
}

int runTriangleProgram(const PreambleProfile& profile, int argc, char** argv,
                       const std::function<void(RunContext&)>& part,
                       const ControlLinesReader& readControlLines) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return runProgram(profile.program, [&] {
        const std::string_view first = arguments.empty() ? "" : arguments[0];
        if (arguments.size() == 1 && (first == "-h" || first == "--help" || first == "--version")) {
            const auto print = [](std::initializer_list<std::string_view> parts) {
                for (const std::string_view part : parts)
                    if (std::fwrite(part.data(), 1, part.size(), stdout) != part.size())
                        failFile("standard output", "cannot write", errno);
            };
            if (first == "--version") return print({profile.program, " ", profile.versionText, "\n"});
            return print({"Usage: ", profile.usage, "\n", profile.help, "\n", exitStatusHelp, "See man ",
                          profile.program, ".\n"});
        }
        RunContext context = RunPreamble(profile, readCommandLine(profile, arguments), readControlLines);
        try {
            part(context);
        } catch (RunError& e) {
            noteIncomplete(e, context);
            throw;
        }
    });
}

}  // namespace triangle
