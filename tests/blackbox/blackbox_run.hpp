// Support for the black-box tests: every test runs the real quorvel or
// dremmick in a fresh temporary working directory, with input.txt and the
// data files written by the test, and compares standard output and whole
// result files byte for byte.
//
// Expected texts are spelled out in the tests themselves; the helpers below
// only pad text fields, label the report's bins and assemble the 200-line
// report from the few bins a test fills.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

namespace blackbox {

namespace fs = std::filesystem;

// A run that has not ended after this long is killed and fails its test.
constexpr int kTimeLimitSeconds = 20;

struct RunResult {
    std::string out;        // everything the program wrote to standard output
    std::string err;        // everything it wrote to standard error
    int status = -1;        // exit status; -1 when it did not exit normally
    int signal = 0;         // the signal that ended it, if one did
    bool timedOut = false;  // killed after kTimeLimitSeconds
};

// Text fields (names, versions, header lines) are written at exactly 100
// characters: cut, or filled with blanks on the right.
inline std::string pad100(std::string text) {
    text.resize(100, ' ');
    return text;
}

inline const std::string kQuorvelBanner =
    " =================================================\n"
    "  PROGRAM TO READ TRIANGLE DATA, FIND MEAN, \n"
    "  VALUES IN BINS AND COMPARE TO VELOCITY MEAN \n"
    "  \n"
    "  tools@tri.test\n"
    "  version 02/20/2021\n"
    " =================================================\n";

inline const std::string kDremmickBanner =
    " =================================================\n"
    "  PROGRAM TO READ TRIANGLE DATA, REMOVE BAD VALUES, \n"
    "  AND REWRITE A FILE WITH THE GOOD DATA \n"
    "  \n"
    "  tools@tri.test\n"
    "  version 02/19/2021\n"
    " =================================================\n";

inline const std::string kColumnHeader = "bin     curv    vel      number    std_dev\n";

// The report line of a bin that received no line: everything after its edge.
inline const std::string kEmptyBin = "     NaN     NaN        0       NaN";

inline std::string lookLine(const std::string& name) {
    return "I am going to look for data in the file labeled: " + pad100(name) + "\n";
}

inline std::string quorvelProvenance(const std::string& name) {
    return "# written by quorvel: " + pad100("version 02/20/2021") + "\n" +
           "# initial file: " + pad100(name) + "\n";
}

inline std::string dremmickProvenance(const std::string& name) {
    return "# written by dremmick: " + pad100("version 02/19/2021") + "\n" +
           "# initial file: " + pad100(name) + "\n";
}

// Bin n's upper edge is n * 0.003, which has three decimals, so its
// 4-decimal label is n * 3 thousandths followed by a 0: "0.0030" ... "0.6000".
// dremmick's four summary lines; each count is given as the 11 columns it is
// printed in.
inline std::string summaryLines(const std::string& highCurvature, const std::string& highVelocity,
                                const std::string& blank, const std::string& final) {
    return " high_val= " + highCurvature + "\n high_vel= " + highVelocity + "\n blank " + blank +
           "\n final number of lines = " + final + "\n";
}

inline std::string binEdge(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%03d0", n * 3 / 1000, n * 3 % 1000);
    return text;
}

// The 200 report lines. `filled` maps a bin number to the text that follows
// its edge (mean curvature, mean velocity, number, standard deviation);
// every other bin is empty.
inline std::string report(const std::map<int, std::string>& filled = {}) {
    std::string lines;
    for (int n = 1; n <= 200; ++n) {
        auto it = filled.find(n);
        lines += binEdge(n) + (it == filled.end() ? kEmptyBin : it->second) + "\n";
    }
    return lines;
}

// A fixed-width data line whose curvature and velocity fields (8 characters
// each) are given; fields 1 to 10 hold fixed filler values.
inline std::string fixedLine(const std::string& curvatureField, const std::string& velocityField) {
    EXPECT_EQ(curvatureField.size(), 8u) << "'" << curvatureField << "'";
    EXPECT_EQ(velocityField.size(), 8u) << "'" << velocityField << "'";
    return "  0.1000  0.2000  0.3000  0.4000  0.5000  0.6000  0.7000  0.8000  0.9000  1.0000" +
           curvatureField + velocityField + "\n";
}

inline std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline int countLines(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

// A fixture in the manner of ninja's: a temporary working directory per test
// that holds input.txt and the data files, and a run of one of the programs
// there with its standard output and error captured.
class BlackBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "triangle_blackbox_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        work_ = root_ / "work";
        fs::create_directory(work_);
    }

    void TearDown() override {
        if (HasFailure()) {
            std::printf("kept the working directory %s\n", work_.c_str());
            return;
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Writes a file below the working directory, creating its directories.
    void write(const std::string& relative, const std::string& content) {
        fs::path path = work_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out << content;
        ASSERT_TRUE(out.good()) << path;
    }

    void makeDirectory(const std::string& relative) { fs::create_directories(work_ / relative); }

    std::string read(const std::string& relative) const { return slurp(work_ / relative); }

    bool exists(const std::string& relative) const { return fs::exists(work_ / relative); }

    // Runs build/bin/<program> in the working directory like BlackBoxTest::run,
    // but kills it after kTimeLimitSeconds, reports a signal instead of hiding
    // it, and can send standard output to /dev/full.
    RunResult run(const std::string& program, bool stdoutToFullDevice = false) {
        const std::string binary = std::string(TRIANGLE_BIN_DIR) + "/" + program;
        const fs::path outPath = stdoutToFullDevice ? fs::path("/dev/full") : root_ / "stdout";
        const fs::path errPath = root_ / "stderr";
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            int in = open("/dev/null", O_RDONLY);
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || err < 0 || chdir(work_.c_str()) != 0) _exit(126);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            execl(binary.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        RunResult result;
        if (pid < 0) {
            ADD_FAILURE() << "could not run " << binary;
            return result;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeLimitSeconds);
        int status = 0;
        for (;;) {
            pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) break;
            if (done < 0) {
                ADD_FAILURE() << "lost the run of " << binary;
                return result;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                result.timedOut = true;
                break;
            }
            const timespec pause{0, 5'000'000};
            nanosleep(&pause, nullptr);
        }
        EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 127) << "could not start " << binary;
        EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 126) << "could not set up " << binary;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.signal = WIFSIGNALED(status) && !result.timedOut ? WTERMSIG(status) : 0;
        if (!stdoutToFullDevice) result.out = slurp(outPath);
        result.err = slurp(errPath);
        return result;
    }

    fs::path root_;
    fs::path work_;
};

// A failed run reports itself in exactly one line on standard error, which
// names the program and the file first.
#define EXPECT_ONE_ERROR_LINE_STARTING(result, prefix)                      \
    do {                                                                    \
        EXPECT_EQ(::blackbox::countLines((result).err), 1) << (result).err; \
        EXPECT_EQ((result).err.rfind((prefix), 0), 0u) << (result).err;     \
    } while (0)

}  // namespace blackbox
