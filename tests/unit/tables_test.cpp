// The one-line cases of tables.txt: number text, records, header blocks and
// their lines, the name read, bins, report lines and filter tests.
#include "common/header_block.hpp"
#include "common/run_preamble.hpp"
#include "dremmick/filtering.hpp"
#include "properties.hpp"
#include "quorvel/binning.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace triangle {
namespace {

using properties::referenceNumber;
using properties::same;

float number(const std::string& text) {
    return referenceNumber(text, false).value_or(0.0f);
}

std::vector<float> numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<float> values;
    for (std::string word; in >> word;) values.push_back(number(word));
    return values;
}

// The message a read fails with, without the file name; "" when it does not fail.
template <typename Read>
std::string failureOf(Read read) {
    try {
        read();
    } catch (const RunError& e) {
        return std::string(e.what()).substr(5);  // "mem: "
    }
    return "";
}

// The fields of a table line, escapes undone.
std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '|')
            fields.emplace_back();
        else if (line[i] != '\\' || ++i == line.size())
            fields.back() += line[i];
        else
            fields.back() += line[i] == 'n'   ? '\n'
                             : line[i] == 'r' ? '\r'
                             : line[i] == 't' ? '\t'
                             : line[i] == '0' ? '\0'
                                              : line[i];
    }
    return fields;
}

std::string check(const std::vector<std::string>& f) {
    const std::string& table = f[0];
    char out[16] = {};
    if (table == "fixed" || table == "free") {
        float value = 0.0f;
        const bool ok = table == "fixed" ? parseFixedField(f[1], value) : parseFreeValue(f[1], value);
        return !ok                                              ? "refused"
               : f[2] != "refused" && same(value, number(f[2])) ? f[2]
                                                                : std::to_string(value);
    }
    if (table == "record") return std::string(out, formatRecordField(out, number(f[1])));
    if (table == "report" || table == "limit")
        return std::string(out, formatFixed(out, number(f[1]), table == "report" ? 6 : 9));
    if (table == "integer") return std::string(out, formatInteger(out, std::stoll(f[1]), 9));
    InputFile in;
    in.openMemory(f[1], "mem",
                  table.starts_with("read") ? 7 : 3);  // values and line ends cross block boundaries
    if (table == "readfixed" || table == "readfree") {
        std::string values;
        const std::string failure = failureOf([&] {
            for (char shortest[32];;)
                for (const float v : (table == "readfixed" ? readFixedRecord(in) : readFreeRecord(in)).values)
                    values.append(" ").append(shortest, std::to_chars(shortest, shortest + 32, v).ptr);
        });
        return values.substr(values.empty() ? 0 : 1) + "|" + failure;
    }
    if (table == "lines") {
        const auto lines = in.countRemainingLines();
        in.openMemory(f[1], "mem", 3);
        return std::to_string(lines) + "|" + std::to_string(measureHeaderBlock(in, lines));
    }
    if (table == "heads") {  // the header lines as copied
        std::vector<std::string> heads;
        measureHeaderBlock(in, 1000, &heads);
        std::string all;
        for (const std::string& head : heads) all += (all.empty() ? "" : "|") + head;
        return all;
    }
    if (table == "name") {
        TextField field;
        char end = 0;  // what ended an unquoted name that may need quotes
        std::string failure = failureOf([&] { end = readName(in, field); });
        std::string name(field.data(), field.size());
        name.erase(name.find_last_not_of(' ') + 1);
        return failure.empty()
                   ? name + "|" + std::to_string(stemLengthOf(field)) + "|" + std::string(end != 0, end)
                   : failure + "|";
    }
    if (table == "args") {  // arguments one a line: what is run, or the refusal with its status
        PreambleProfile profile;
        profile.program = "p", profile.usage = "u", profile.controlLines = 3;
        std::vector<std::string_view> arguments;
        for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1)
            arguments.push_back(std::string_view(f[1]).substr(at, (end = f[1].find('\n', at)) - at));
        try {
            const CommandLine command = readCommandLine(profile, arguments);
            return "run " + std::string(command.control.lines[0]) + " -o '" + std::string(command.output) +
                   "'";
        } catch (const RunError& e) {
            return std::to_string(static_cast<int>(e.status())) + " " + e.what();
        }
    }
    const std::vector<float> v = numbers(f[1]);
    if (table == "bin") return std::to_string(quorvel::binNumber(v[0]));
    if (table == "report_line") {
        char line[quorvel::reportLineLength];
        quorvel::formatReportLine({v[0], v[1], v[2], v[3], v[4]}, line);
        return std::string(line, sizeof line);
    }
    if (table == "filter") {
        TriangleRecord record;
        std::copy(v.begin(), v.begin() + 6, record.values.begin());
        for (int k = 0; k < 3; ++k) record.value(10 + k) = v[6 + static_cast<std::size_t>(k)];
        dremmick::takeAbsoluteValues(record);
        if (!same(record.value(10), std::fabs(v[6])) || std::signbit(record.curvature()) ||
            std::signbit(record.velocity()))
            return "signs kept";
        static const char* const verdicts[] = {"keep", "blank", "highCurvature", "highVelocity"};
        return verdicts[static_cast<int>(dremmick::judge(record, v[9], v[10]))];
    }
    return "unknown table " + table;
}

TEST(Tables, EveryCase) {
    std::ifstream file(TRIANGLE_TABLES);
    int cases = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = fieldsOf(line);
        std::string expected = f.size() > 2 ? f[2] : "";
        for (std::size_t k = 3; k < f.size(); ++k) expected += "|" + f[k];
        EXPECT_EQ(check(f), expected) << line;
        ++cases;
    }
    EXPECT_GT(cases, 100);
}

}  // namespace
}  // namespace triangle
