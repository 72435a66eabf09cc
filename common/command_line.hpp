#pragma once

// The command line both programs take: nothing (input.txt says everything),
// -h, --help or --version alone, or -o FILE (--output FILE) anywhere and the
// arguments that stand for the lines of input.txt: the argument form.

#include "common/control_file.hpp"

#include <span>
#include <string_view>

namespace triangle {

struct PreambleProfile;

struct CommandLine {
    enum class Request { run, help, version };
    Request request = Request::run;
    ControlArguments control;  // the argument form: stand for the lines of input.txt
    std::string_view output;   // -o FILE: the result file's name; empty for the stem's
};

// Reads the arguments, the program's name left out. A data file name may not
// start with "-", and no argument may be empty or blank. Throws RunError
// (wrong arguments, with the usage) before anything is read or written.
CommandLine readCommandLine(const PreambleProfile& profile, std::span<const std::string_view> arguments);

// Prints what -h, --help or --version asks for on standard output.
void printRequested(const PreambleProfile& profile, CommandLine::Request request);

}  // namespace triangle
