#include "common/run_preamble.hpp"
#include "common/free_form.hpp"
#include "common/run_error.hpp"
#include "temp_file.hpp"

#include <gtest/gtest.h>

#include <string>

namespace triangle {
namespace {

using testing::TempDir;

struct NameCase {
    const char* controlFile;
    const char* name;  // trailing blanks of the 100-character field left out
    std::int32_t stemLength;
};

std::string trimmed(const TextField& field) {
    std::string text(field.data(), field.size());
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

TEST(NameItem, QuotesSeparatorsAndStem) {
    TempDir dir;
    for (const NameCase& c : {
             NameCase{"a.txt\n", "a.txt", 1},
             NameCase{"  a.txt  trailing remark\n", "a.txt", 1},
             NameCase{"\n   \n\na.txt\n", "a.txt", 1},
             NameCase{"runs/a.txt\n", "runs", 0},
             NameCase{"'runs/a.txt'\n", "runs/a.txt", 6},
             NameCase{"\"my data.txt\",0.5\n", "my data.txt", 7},
             NameCase{"'it''s.txt'\n", "it's.txt", 4},
             NameCase{"\"say \"\"hi\"\".txt\"\n", "say \"hi\".txt", 8},
             NameCase{"a.txt,b.txt\n", "a.txt", 1},
             NameCase{"data\n", "data", 0},
             NameCase{"'./a.txt'\n", "./a.txt", 0},
             NameCase{"run.1.txt\n", "run.1.txt", 3},
             NameCase{"a.txt\r\n", "a.txt", 1},
             NameCase{"\ta.txt\t\n", "a.txt", 1},
             NameCase{"a.txt", "a.txt", 1},
         }) {
        InputFile in;
        in.open(dir.write("input.txt", c.controlFile));
        TextField field;
        FreeFormScanner(in).readName(field);
        EXPECT_EQ(trimmed(field), c.name) << c.controlFile;
        EXPECT_EQ(stemLengthOf(field), c.stemLength) << c.controlFile;
    }
}

TEST(NameItem, LongNameIsCutAtHundredCharacters) {
    TempDir dir;
    const std::string longName = std::string(120, 'n') + ".txt";
    InputFile in;
    in.open(dir.write("input.txt", longName + "\n0.5\n"));
    TextField field;
    FreeFormScanner(in).readName(field);
    EXPECT_EQ(std::string(field.data(), field.size()), std::string(100, 'n'));
    EXPECT_EQ(in.lineNumber(), 2) << "the next read starts on the following line";
}

TEST(NameItem, MissingOrMalformedNameIsAnError) {
    using namespace std::string_view_literals;
    TempDir dir;
    struct Case {
        std::string_view controlFile;
        const char* message;
    };
    for (const Case& c :
         {Case{""sv, "line 1: expected the data file name, found the end of the file"},
          Case{"\n  \n"sv, "line 3: expected the data file name, found the end of the file"},
          Case{"'a.txt\n"sv, "line 1: the quoted data file name has no closing '"},
          Case{", a.txt\n"sv, "line 1: expected the data file name, found ','"},
          Case{"a.txt\0.dat\n"sv,
               "line 1: the data file name holds a NUL character, which no file name can hold"}}) {
        InputFile in;
        in.open(dir.write("input.txt", c.controlFile));
        TextField field;
        try {
            FreeFormScanner(in).readName(field);
            ADD_FAILURE() << "no error for " << c.controlFile;
        } catch (const RunError& e) {
            EXPECT_EQ(std::string(e.what()), dir.path("input.txt") + ": " + c.message);
            EXPECT_EQ(e.status(), ExitStatus::badInput);
        }
    }
}

}  // namespace
}  // namespace triangle
