#include "dremmick/filtering.hpp"

#include "common/fixed_width.hpp"
#include "common/free_record.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <cmath>
#include <cstring>
#include <string>

namespace dremmick {

using triangle::TriangleRecord;

Limits readLimits(triangle::ControlFile& control) {
    return {control.readLimit("the curvature limit"),
            control.readLimit("the velocity limit")};  // in this order
}

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
    tally.blankCount += verdict == Verdict::blank;
    tally.highCurvatureCount += verdict == Verdict::highCurvature;
    tally.highVelocityCount += verdict == Verdict::highVelocity;
}

namespace {

void writeLimitLine(triangle::OutputFile& out, std::string_view text, float limit) {
    char field[9];
    triangle::formatFixed(field, limit, 9);
    out.write(text);
    out.writeLine(std::string_view(field, sizeof field));
}

}  // namespace

void runFiltering(triangle::RunContext& context, const Limits& limits) {
    writeLimitLine(context.resultFile, "# eliminated lines with curvature greater than", limits.curvature);
    writeLimitLine(context.resultFile, "# eliminated lines with velocity greater than", limits.velocity);

    FilterTally tally;
    std::int64_t written = 0;
    const std::int32_t dataLines = context.data.dataLineCount();
    triangle::FreeRecordReader reader(context.data.in, context.program);  // tells its warnings
    triangle::LineTally nonFinite;  // records whose curvature or velocity is NaN or infinite
    const auto tellNonFinite = [&] {
        nonFinite.tell(context.program, context.data.path,
                       "the curvature or the velocity is NaN or infinite: a NaN passes every limit and "
                       "turns its bin NaN in quorvel",
                       "record");
    };
    // Blank lines after the last record are no records: the loop ends there.
    std::int32_t records = 0;
    try {
        for (TriangleRecord record; records < dataLines; ++records) {
            triangle::FreeRecordLines at;
            if (!reader.read(record, &at)) break;
            takeAbsoluteValues(record);
            if (!triangle::finiteCurvatureAndVelocity(record)) [[unlikely]]
                nonFinite.note(at.first);
            const Verdict verdict = judge(record, limits.curvature, limits.velocity);
            if (verdict == Verdict::keep) {
                triangle::writeFixedRecord(context.resultFile, record);
                ++written;
            } else {
                count(tally, verdict);
            }
        }
    } catch (const triangle::RunError&) {
        tellNonFinite();
        throw;
    }
    reader.tellWarnings();
    tellNonFinite();
    context.data.in.close();

    const auto summary = [&context](std::string_view text, std::int32_t count) {
        context.console.writeLine(triangle::freeFormatItem(text) + triangle::freeFormatItem(count));
    };
    summary("high_val=", tally.highCurvatureCount);
    summary("high_vel=", tally.highVelocityCount);
    summary("blank", tally.blankCount);
    summary("final number of lines =",
            records - tally.blankCount - tally.highCurvatureCount - tally.highVelocityCount);
    context.resultFile.close();
    context.console.flush();
    if (dataLines > 0 && written == 0)
        triangle::warn(context.program, "no line was kept: " + context.resultPath + " holds no records");
}

}  // namespace dremmick
