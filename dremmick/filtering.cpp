#include "dremmick/filtering.hpp"

#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <cmath>
#include <cstring>
#include <string>

namespace dremmick {

using triangle::TriangleRecord;

void takeAbsoluteValues(TriangleRecord& record) {
    for (int position = 10; position <= 12; ++position)
        record.value(position) = std::fabs(record.value(position));
}

Verdict judge(const TriangleRecord& record, float curvatureLimit, float velocityLimit) {
    if (record.value(1) == 0.0f && record.value(2) == 0.0f && record.value(3) == 0.0f) return Verdict::blank;
    if (record.value(4) == 0.0f && record.value(5) == 0.0f && record.value(6) == 0.0f) return Verdict::blank;
    if (record.curvature() > curvatureLimit) return Verdict::highCurvature;
    if (record.velocity() > velocityLimit) return Verdict::highVelocity;
    return Verdict::keep;
}

void count(FilterTally& tally, Verdict verdict) {
    switch (verdict) {
        case Verdict::blank:
            ++tally.blankCount;
            break;
        case Verdict::highCurvature:
            ++tally.highCurvatureCount;
            break;
        case Verdict::highVelocity:
            ++tally.highVelocityCount;
            break;
        case Verdict::keep:
            break;
    }
}

namespace {

void writeLimitLine(triangle::OutputFile& out, std::string_view text, float limit) {
    char field[9];
    triangle::formatFixed(field, limit, 9);
    out.write(text);
    out.writeLine(std::string_view(field, sizeof field));
}

// Remembers the first data line where lines and records went out of step, so
// that a read that later runs into the end of the file can point at it.
struct StepWatch {
    std::int64_t line = 0;  // 0 while in step
    bool empty = false;     // that line held no value at all

    void check(std::int64_t expected, const triangle::FreeRecordLines& lines) {
        if (line != 0 || (lines.first == expected && lines.last == expected)) return;
        line = expected;
        empty = lines.first != expected;
    }
    std::string note() const {
        return "; lines and records went out of step at line " + std::to_string(line) +
               (empty ? ", which holds no values" : ", which holds fewer than 12 values");
    }
};

}  // namespace

void runFiltering(triangle::RunContext& context) {
    writeLimitLine(context.resultFile, "# eliminated lines with curvature greater than",
                   context.curvatureLimit);
    writeLimitLine(context.resultFile, "# eliminated lines with velocity greater than",
                   context.velocityLimit);

    FilterTally tally;
    StepWatch watch;
    std::int64_t written = 0;
    const std::int32_t dataLines = context.lineCount - context.headerCount;
    std::int64_t expectedLine = context.headerCount + 1;
    triangle::FreeRecordReader reader(context.dataFile);
    for (std::int32_t i = 0; i < dataLines; ++i, ++expectedLine) {
        TriangleRecord record;
        triangle::FreeRecordLines lines;
        try {
            record = reader.next(&lines);
        } catch (triangle::RunError& error) {
            if (watch.line != 0) error.append(watch.note());
            throw;
        }
        watch.check(expectedLine, lines);
        takeAbsoluteValues(record);
        const Verdict verdict = judge(record, context.curvatureLimit, context.velocityLimit);
        if (verdict == Verdict::keep) {
            triangle::writeFixedRecord(context.resultFile, record);
            ++written;
        } else {
            count(tally, verdict);
        }
    }
    context.dataFile.close();

    using triangle::writeFreeFormatLine;
    writeFreeFormatLine(context.console, {"high_val=", tally.highCurvatureCount});
    writeFreeFormatLine(context.console, {"high_vel=", tally.highVelocityCount});
    writeFreeFormatLine(context.console, {"blank", tally.blankCount});
    writeFreeFormatLine(context.console,
                        {"final number of lines =",
                         dataLines - tally.blankCount - tally.highCurvatureCount - tally.highVelocityCount});
    context.resultFile.close();
    context.console.flush();
    if (dataLines > 0 && written == 0)
        triangle::warn(context.program, "no line was kept: " + context.resultPath + " holds no records");
}

}  // namespace dremmick
