// Fuzz target: the control-file reads, the data file name and the two limits.
//
// The input is input.txt. It is read as the programs read it: the name, then
// two numbers. Properties:
//   - the name field is what a plain second reading gives: blanks and blank
//     lines passed over; a name in apostrophes or quotation marks taken
//     whole (a doubled quote mark stands for one), refused when its line or
//     the file ends first; an unquoted name ending at a blank, tab, comma,
//     slash or line end; a name starting with a comma or slash, a name
//     holding a NUL character (no file can be named so), or no name at all,
//     refused; blank-filled or cut to 100 characters;
//   - the stem length is 0..99, the position of the first "." (0 if none);
//   - each limit is read from the line after the item before it, as the
//     reference reading of its text says; the end of the file gives no value;
//   - nothing crashes or hangs: RunError is the only failure.

#include "common/input_file.hpp"
#include "common/run_error.hpp"
#include "common/free_form.hpp"
#include "common/run_preamble.hpp"
#include "common/triangle_data.hpp"
#include "tests/fuzz/fuzz_support.hpp"
#include "tests/fuzz/reference_numbers.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::size_t afterLine(std::string_view text, std::size_t at) {
    const std::size_t end = text.find('\n', at);
    return end == std::string_view::npos ? text.size() : end + 1;
}

// The name item the plain way; nullopt when it is refused. `at` moves to the
// start of the following line.
std::optional<std::string> modelName(std::string_view text, std::size_t& at) {
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at == text.size()) return std::nullopt;
    const char first = text[at];
    if (first == ',' || first == '/') return std::nullopt;
    std::string name;
    if (first == '\'' || first == '"') {
        ++at;
        for (;;) {
            if (at == text.size() || text[at] == '\n' || text[at] == '\0') return std::nullopt;
            if (text[at] == first) {
                if (at + 1 < text.size() && text[at + 1] == first) {
                    name += first;
                    at += 2;
                    continue;
                }
                ++at;
                break;
            }
            name += text[at++];
        }
    } else {
        while (at < text.size()) {
            const char c = text[at];
            if (c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\n' || c == '\r') break;
            if (c == '\0') return std::nullopt;
            name += c;
            ++at;
        }
    }
    at = afterLine(text, at);
    return name;
}

enum class ModelNumber { value, endOfFile, refused };

ModelNumber modelNumber(std::string_view text, std::size_t& at, fuzz::RefValue& value) {
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at == text.size()) return ModelNumber::endOfFile;
    if (text[at] == ',' || text[at] == '/') return ModelNumber::refused;
    const std::size_t start = at;
    while (at < text.size() && !isBlank(text[at]) && text[at] != ',' && text[at] != '/') ++at;
    const auto read = fuzz::referenceFreeValue(text.substr(start, at - start));
    if (!read) return ModelNumber::refused;
    value = *read;
    at = afterLine(text, at);
    return ModelNumber::value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string controlPath = fuzz::scratchPath("input.txt");
    fuzz::writeWholeFile(controlPath, data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;

    // Kept from one input to the next with its 1 MiB block, for speed.
    static triangle::InputFile in;
    in.open(controlPath);
    triangle::TextField field;
    triangle::FreeFormScanner scanner(in);
    const auto name = modelName(text, at);
    try {
        scanner.readName(field);
    } catch (const triangle::RunError&) {
        fuzz::check(!name.has_value(), "the name '" + name.value_or("") + "' is refused");
        return 0;
    }
    fuzz::check(name.has_value(), "a name is read where the reference refuses it");
    std::string expected = name->substr(0, triangle::textFieldWidth);
    expected.resize(triangle::textFieldWidth, ' ');
    fuzz::check(
        std::string_view(field.data(), field.size()) == expected,
        "the name field is '" + std::string(field.data(), field.size()) + "', expected '" + expected + "'");

    const std::int32_t stem = triangle::stemLengthOf(field);
    fuzz::check(stem >= 0 && stem <= 99, "stem length " + std::to_string(stem));
    const std::size_t dot = expected.find('.');
    fuzz::check(stem == (dot == std::string::npos ? 0 : static_cast<std::int32_t>(dot)),
                "stem length " + std::to_string(stem) + " for '" + expected + "'");

    for (const char* what : {"the curvature limit", "the velocity limit"}) {
        fuzz::RefValue expectedValue;
        const ModelNumber model = modelNumber(text, at, expectedValue);
        float limit = 0.0f;
        bool got = false;
        try {
            const triangle::ScannedValue scanned = scanner.nextValue();
            if (scanned.status == triangle::ScannedValue::Status::notANumber) throw triangle::RunError({}, "");
            got = scanned.status == triangle::ScannedValue::Status::number;
            limit = scanned.value;
            if (got) scanner.skipRestOfLine();
        } catch (const triangle::RunError&) {
            fuzz::check(model == ModelNumber::refused, std::string(what) + " is refused");
            return 0;
        }
        if (!got) {
            fuzz::check(model == ModelNumber::endOfFile, std::string(what) + ": end of file reported");
            return 0;
        }
        fuzz::check(model == ModelNumber::value, std::string(what) + " read where the reference finds none");
        fuzz::check(fuzz::sameAsReference(expectedValue, limit),
                    std::string(what) + " read as " + fuzz::show(limit) + ", the reference reads " +
                        fuzz::show(expectedValue.value));
    }
    return 0;
}
