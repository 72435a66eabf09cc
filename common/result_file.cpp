#include "common/result_file.hpp"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace triangle {

std::int32_t stemLengthOf(const TextField& field) {
    return stemLengthOf(std::string_view(field.data(), field.size()));
}

std::int32_t stemLengthOf(std::string_view name) {
    const std::size_t dot = name.find('.', name.rfind('/') + 1);  // npos + 1 is 0: no directory part
    return dot == std::string_view::npos ? 0 : static_cast<std::int32_t>(dot);
}

std::string createResultFile(OutputFile& result, std::string_view program, const std::string& dataPath,
                             std::string_view suffix, std::string_view output) {
    const auto stem = static_cast<std::size_t>(stemLengthOf(dataPath));
    const std::string resultPath =
        output.empty() ? dataPath.substr(0, stem) + std::string(suffix) : std::string(output);
    const std::string dropped = dataPath.substr(std::min(stem, dataPath.size()));
    if (output.empty() && dropped.starts_with('.') && dropped.find('.', 1) != std::string::npos)
        warn(program, dataPath + ": the result file is " + resultPath + ": '" + dropped +
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
    result.createForRename(resultPath);
    return resultPath;
}

void noteIncomplete(RunError& error, const OutputFile& result) {
    if (!result.path().empty() && !result.finished())
        error.append("; the result file " + result.path() + " is incomplete");
}

}  // namespace triangle
