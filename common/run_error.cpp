#include "common/run_error.hpp"

#include <cstdio>
#include <cstring>
#include <new>

namespace triangle {

std::string placeText(std::string_view file, std::int64_t line) {
    std::string text(file);
    text += ": line ";
    text += std::to_string(line);
    return text;
}

std::string quoted(std::string_view text) {
    constexpr std::size_t shown = 60;
    std::string out = "'";
    for (std::size_t i = 0; i < text.size() && i < shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    out += "'";
    if (text.size() > shown) out += " (cut; " + std::to_string(text.size()) + " characters in all)";
    return out;
}

void failBadInput(std::string_view file, std::int64_t line, std::string_view what) {
    std::string message = placeText(file, line);
    message += ": ";
    message += what;
    throw RunError(ExitStatus::badInput, std::move(message));
}

void failFile(std::string_view file, std::string_view what, int error, std::int64_t line) {
    std::string message = line > 0 ? placeText(file, line) : std::string(file);
    message += ": ";
    message += what;
    if (error != 0) {
        message += ": ";
        message += std::strerror(error);
    }
    throw RunError(ExitStatus::fileError, std::move(message));
}

int runProgram(const char* program, void (*body)()) {
    try {
        body();
        return static_cast<int>(ExitStatus::ok);
    } catch (const RunError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return static_cast<int>(e.status());
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: out of memory\n", program);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: internal error: %s\n", program, e.what());
    }
    return static_cast<int>(ExitStatus::internal);
}

}  // namespace triangle
