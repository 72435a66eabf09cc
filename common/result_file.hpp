#pragma once

// The result file: named after the data file (its stem and the program's
// suffix, beside it) or by -o; refused when it would be the data file itself
// or a directory; written as NAME.partial and renamed only when the run
// succeeds.

#include "common/output_file.hpp"
#include "common/run_error.hpp"
#include "common/triangle_data.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace triangle {

// The first "." of the file's own name (after the last "/") ends the stem, so
// the result lands beside the data file; no "." there means an empty stem. A
// directory part without a "." gives what the first "." of the whole name gave.
std::int32_t stemLengthOf(std::string_view name);
std::int32_t stemLengthOf(const TextField& field);

// Creates `result` for the data file `dataPath`: named `output`, or the stem
// and `suffix` when `output` is empty (with a warning, as `program`, when the
// stem drops a part of the name that holds a "."). Returns the final name.
// Throws RunError when the result or its temporary name is the data file, is
// a directory or cannot be created.
std::string createResultFile(OutputFile& result, std::string_view program, const std::string& dataPath,
                             std::string_view suffix, std::string_view output);

// Adds "; the result file NAME.partial is incomplete" to a failure once
// `result` has been created and until it is complete.
void noteIncomplete(RunError& error, const OutputFile& result);

}  // namespace triangle
