#include "common/command_line.hpp"

#include "common/run_error.hpp"
#include "common/run_preamble.hpp"

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace triangle {
namespace {

bool blank(std::string_view argument) {
    return argument.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

CommandLine readCommandLine(const PreambleProfile& profile, std::span<const std::string_view> arguments) {
    CommandLine command;
    const std::string_view first = arguments.empty() ? "" : arguments[0];
    if (arguments.size() == 1 && (first == "-h" || first == "--help" || first == "--version")) {
        command.request = first == "--version" ? CommandLine::Request::version : CommandLine::Request::help;
        return command;
    }
    const auto refuse = [&](const std::string& problem) {
        throw RunError(ExitStatus::usage, problem + "; usage: " + std::string(profile.usage) + " (" +
                                              std::string(profile.program) + " --help tells more)");
    };
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

void printRequested(const PreambleProfile& profile, CommandLine::Request request) {
    const auto print = [](std::initializer_list<std::string_view> parts) {
        for (const std::string_view part : parts)
            if (std::fwrite(part.data(), 1, part.size(), stdout) != part.size())
                failFile("standard output", "cannot write", errno);
    };
    if (request == CommandLine::Request::version)
        print({profile.program, " ", profile.versionText, "\n"});
    else if (request == CommandLine::Request::help)
        print({"Usage: ", profile.usage, "\n", profile.help, "\n", exitStatusHelp, "See man ",
               profile.program, ".\n"});
}

}  // namespace triangle
