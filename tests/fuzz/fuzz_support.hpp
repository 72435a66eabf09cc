#pragma once

// Helpers shared by the fuzz targets: a private scratch directory (one per
// process, removed at exit), whole-file reads and writes, and the way a
// broken property is reported (a message, then abort, which libFuzzer records
// as a crash with the input that caused it).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzz {

[[noreturn]] inline void propertyBroken(const std::string& what) {
    std::fprintf(stderr, "\n*** property broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void check(bool holds, const std::string& what) {
    if (!holds) propertyBroken(what);
}

// Removes every file in `dir`, then the directory (the targets make no
// subdirectories of their own; anything deeper is left alone).
inline void removeFlatDirectory(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            std::remove((dir + "/" + name).c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

// A directory of this process's own under $TMPDIR (or /tmp), created on first
// use and removed when the process exits normally.
inline const std::string& scratchDirectory() {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/triangle-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        return pattern;
    }();
    static const bool cleanupRegistered = [] {
        std::atexit([] { removeFlatDirectory(scratchDirectory()); });
        return true;
    }();
    (void)cleanupRegistered;
    return dir;
}

inline std::string scratchPath(std::string_view name) {
    return scratchDirectory() + "/" + std::string(name);
}

inline void writeWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

inline void writeWholeFile(const std::string& path, std::string_view text) {
    writeWholeFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// The lines of the input as the readers see them: up to a line end, without
// one carriage return right before it.
inline std::vector<std::string_view> splitLines(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> lines;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

inline std::string readWholeFile(const std::string& path) {
    std::string text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) propertyBroken("cannot read back " + path);
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
    std::fclose(f);
    return text;
}

// A value as text precise enough to tell floats apart, for messages.
inline std::string show(float v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

// How far a value read back from a written fixed-width field may lie from
// the value written. The field keeps 4 decimals while they fit (below 1000,
// above -100), then as many decimals as fit, and beyond that a short
// mantissa with an exponent (3 digits, 2 when negative). The rounding to the
// text is at most half a unit of its last digit; reading the text back adds at
// most half a float spacing, covered by the relative slack.
inline double roundTripBound(float written) {
    const double a = std::fabs(static_cast<double>(written));
    const bool negative = std::signbit(written);
    const double slack = a * 1.2e-7 + 1e-12;
    if (negative ? a < 99.9999 : a < 999.9999) return 0.00005 + slack;
    // Fixed without an exponent: 7 significant digits (6 with the sign).
    if (negative ? a < 999999.0 : a < 9999999.0) return a * (negative ? 5e-6 : 5e-7) + slack;
    return a * (negative ? 5e-2 : 5e-3) + slack;
}

// The values agree to the precision the writer kept: NaN stays NaN, an
// infinity stays the same infinity, a sign stays (a negative value that
// rounds to zero is written -0.0000), and finite values lie within the bound.
inline void checkAgree(float original, float readBack, const std::string& where) {
    if (std::isnan(original)) {
        check(std::isnan(readBack), where + ": NaN read back as " + show(readBack));
        return;
    }
    check(!std::isnan(readBack), where + ": " + show(original) + " read back as NaN");
    check(std::signbit(original) == std::signbit(readBack),
          where + ": sign lost, " + show(original) + " read back as " + show(readBack));
    if (std::isinf(original)) {
        check(readBack == original, where + ": " + show(original) + " read back as " + show(readBack));
        return;
    }
    // A finite value may round up to a text that reads back as infinity only
    // at the very top of the float range; the exponent form keeps it finite.
    check(std::isfinite(readBack), where + ": " + show(original) + " read back as " + show(readBack));
    const double difference = std::fabs(static_cast<double>(original) - static_cast<double>(readBack));
    check(difference <= roundTripBound(original), where + ": " + show(original) + " read back as " +
                                                      show(readBack) + ", off by " +
                                                      std::to_string(difference));
}

}  // namespace fuzz
