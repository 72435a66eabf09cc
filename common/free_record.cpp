#include "common/free_record.hpp"

#include "common/number_fast.hpp"
#include "common/run_error.hpp"

#include <string>

namespace triangle {
namespace {

// Nearly every record is one usual line: blanks, then twelve values in their
// usual spelling, separated by blanks and at most one comma, and blanks and
// the line end after the twelfth within the block. Two lines are read side by side, since
// each value's end is needed to find the next and the processor can follow
// two such chains at once. Returns how many of the two (none, the first, or
// both) were usual, with their records, and passes over them; anything else is
// left to the scanner. Kept out of line, so that its registers are its own
// (inlined into next(), it took 4% more instructions).
[[gnu::noinline]] int takeUsualFreeLines(InputFile& in, TriangleRecord (&records)[2]) {
    const std::string_view block = in.window();
    const char* const limit = block.data() + block.size();
    const auto* const lineEnd = static_cast<const char*>(std::memchr(block.data(), '\n', block.size()));
    if (lineEnd == nullptr) return 0;
    // A value must end at a separator; a line end or a slash before the
    // twelfth then stops the next one. Past the limit, a number ends beyond it.
    const auto value = [limit](const char* p, bool first, float& value) -> const char* {
        p = skipBlanks(p, limit);
        if (!first && *p == ',') p = skipBlanks(p + 1, limit);
        p = fast::parseUsualFreeNumber(p, value);
        return p != nullptr && p < limit && separatorOf(*p) != Separator::none ? p : nullptr;
    };
    const char* p = block.data();
    const char* q = lineEnd + 1 < limit ? lineEnd + 1 : nullptr;
    for (std::size_t k = 0; k < recordValueCount; ++k) {
        p = value(p, k == 0, records[0].values[k]);
        if (q != nullptr) q = value(q, k == 0, records[1].values[k]);
        if (p == nullptr) return 0;
    }
    // Anything else after the twelfth value is left to readFreeRecord(), which notes it.
    if (p != lineEnd && skipBlanks(p, limit) != lineEnd) return 0;
    in.passLineEnd(static_cast<std::size_t>(lineEnd - block.data()));
    if (q == nullptr) return 1;
    const char* const end = *q == '\n' ? q : skipBlanks(q, limit);
    if (end == limit || *end != '\n') return 1;
    in.passLineEnd(static_cast<std::size_t>(end - lineEnd - 1));
    return 2;
}

// Passes over blanks and commas; true when an item follows on the line.
bool itemFollowsOnLine(InputFile& in) {
    for (int c = in.peek(); c >= 0; in.advance(1), c = in.peek()) {
        const Separator kind = separatorOf(static_cast<char>(c));
        if (kind != Separator::blank && kind != Separator::comma) return kind != Separator::lineEnd;
    }
    return false;
}

// Passes over blanks and line ends; true when nothing else is left.
bool onlyBlanksLeft(InputFile& in) {
    for (int c = in.peek(); c >= 0; c = in.peek()) {
        const Separator kind = separatorOf(static_cast<char>(c));
        if (kind == Separator::lineEnd)
            in.passLineEnd(0);
        else if (kind == Separator::blank)
            in.advance(1);
        else
            return false;
    }
    return true;
}

}  // namespace

TriangleRecord readFreeRecord(InputFile& in, FreeRecordLines* lines, bool* moreValues) {
    TriangleRecord record;
    FreeFormScanner scanner(in);
    std::int64_t firstLine = 0;
    for (int k = 0; k < recordValueCount; ++k) {
        const ScannedValue value = scanner.nextValue();
        if (value.status == ScannedValue::Status::endOfFile) {
            if (k == 0) in.failAtEnd("a record of 12 values");
            in.failBadInput("the file ends inside a record: found " + std::to_string(k) +
                            " of 12 values (the record began on line " + std::to_string(firstLine) + ")");
        }
        if (k == 0) firstLine = in.lineNumber();
        if (value.status == ScannedValue::Status::notANumber)
            in.failExpected("a number", quoted(value.text), "value " + std::to_string(k + 1) + " of 12");
        record.values[static_cast<std::size_t>(k)] = value.value;
    }
    if (lines != nullptr) *lines = {firstLine, in.lineNumber()};
    if (moreValues != nullptr) *moreValues = itemFollowsOnLine(in);
    in.skipRestOfLine();
    return record;
}

bool FreeRecordReader::readAnyRecord(FreeRecordLines& at, TriangleRecord& record) {
    if (outOfStepLine_ == 0 && onlyBlanksLeft(in_)) return false;
    bool more = false;
    try {
        record = readFreeRecord(in_, &at, &more);
    } catch (RunError& error) {
        if (outOfStepLine_ != 0)
            error.append(
                "; lines and records went out of step at line " + std::to_string(outOfStepLine_) +
                (outOfStepEmpty_ ? ", which holds no values" : ", which holds fewer than 12 values"));
        tellWarnings();
        throw;
    }
    if (more) moreValues_.note(at.last);
    if (at.first != at.last) spread_.note(at.first);
    return true;
}

bool FreeRecordReader::read(TriangleRecord& record, FreeRecordLines* lines) {
    if (taken_ == ready_) {
        aheadLine_ = in_.lineNumber();
        ready_ = takeUsualFreeLines(in_, ahead_);
        taken_ = 0;
    }
    FreeRecordLines at{aheadLine_ + taken_, aheadLine_ + taken_};
    if (taken_ < ready_) {
        record = ahead_[taken_++];
    } else if (!readAnyRecord(at, record)) {
        return false;
    }
    if (outOfStepLine_ == 0 && (at.first != expectedLine_ || at.last != expectedLine_)) {
        outOfStepLine_ = expectedLine_;
        outOfStepEmpty_ = at.first != expectedLine_;
    }
    ++expectedLine_;
    if (lines != nullptr) *lines = at;
    return true;
}

TriangleRecord FreeRecordReader::next(FreeRecordLines* lines) {
    TriangleRecord record;
    if (!read(record, lines)) {
        tellWarnings();
        in_.failAtEnd("a record of 12 values");
    }
    return record;
}

void FreeRecordReader::tellWarnings() const {
    if (program_.empty()) return;
    moreValues_.tell(program_, in_.path(),
                     "values left over after a record completed on the line: they are ignored", "line");
    spread_.tell(program_, in_.path(), "the record that starts here runs over more than one line", "record");
}

}  // namespace triangle
