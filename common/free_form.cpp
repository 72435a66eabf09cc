#include "common/free_form.hpp"

#include "common/number_fast.hpp"
#include "common/number_text.hpp"
#include "common/run_error.hpp"

#include <string>

namespace triangle {

ScannedValue FreeFormScanner::nextValue() {
    for (;;) {
        const std::string_view unread = in_.window();
        const char* p = unread.data();
        const char* const limit = p + unread.size();
        // The separators ahead of the value; the cursor follows at line ends.
        const auto passed = [&] { return static_cast<std::size_t>(p - in_.window().data()); };
        for (;;) {
            p = skipBlanks(p, limit);
            if (p == limit) break;
            const Separator kind = separatorOf(*p);
            if (kind == Separator::none) break;
            if (kind == Separator::lineEnd) in_.passLineEnd(passed());
            if (kind == Separator::comma && !afterValue_)
                in_.failExpected("a number", "an empty value (a comma with no value before it)");
            if (kind == Separator::slash)
                in_.failExpected("a number", "'/' (ending a record early is not supported)");
            afterValue_ = afterValue_ && kind != Separator::comma;
            ++p;
        }
        in_.advance(passed());
        if (p == limit) {
            if (in_.refill() == InputFile::Fill::endOfFile) return {};
            continue;
        }
        ScannedValue result;
        result.status = ScannedValue::Status::number;
        afterValue_ = true;
        // The usual spellings are read in place; the block is padded for that.
        if (const char* end = fast::parseUsualFreeNumber(p, result.value);
            end != nullptr && end < limit && separatorOf(*end) != Separator::none) {
            in_.advance(static_cast<std::size_t>(end - p));
            return result;
        }
        const char* end = p;
        while (end < limit && separatorOf(*end) == Separator::none) ++end;
        if (end == limit) {
            // The item may go on in the next block; filling moves the bytes.
            const auto status = in_.refill();
            if (status == InputFile::Fill::more) continue;
            if (status == InputFile::Fill::full)
                in_.failExpected("a number", "an item of more than " + std::to_string(in_.window().size()) +
                                                 " characters");
            p = in_.window().data();
            end = p + in_.window().size();
        }
        const std::string_view text(p, static_cast<std::size_t>(end - p));
        in_.advance(text.size());
        if (!parseFreeValue(text, result.value)) {
            result.status = ScannedValue::Status::notANumber;
            result.text = text;
        }
        return result;
    }
}

}  // namespace triangle
