#include "common/header_block.hpp"

#include "common/triangle_data.hpp"

#include <algorithm>

namespace triangle {

bool isHeaderLine(std::string_view head) {
    return head.substr(0, textFieldWidth).find('#') != std::string_view::npos;
}

std::int32_t measureHeaderBlock(InputFile& in, std::int64_t lineCount, std::vector<std::string>* lines) {
    std::string_view head;
    std::int32_t count = 0;
    for (; count < lineCount && in.readLine(head, textFieldWidth) && isHeaderLine(head); ++count)
        if (lines != nullptr) lines->emplace_back(head);
    return count;
}

void readHeaderBlock(InputFile& in, std::int32_t count, OutputFile* copy, LineTally* longLines) {
    std::string_view head;
    bool longer = false;
    for (std::int32_t j = 1; j <= count; ++j) {
        if (!in.readLine(head, textFieldWidth, longLines != nullptr ? &longer : nullptr))
            in.failAtEnd("a header line");
        if (longer) longLines->note(j);
        if (copy != nullptr) writeTextField(*copy, {}, head);
    }
}

void writeTextField(OutputFile& out, std::string_view prefix, std::string_view field) {
    field = field.substr(0, textFieldWidth);
    char* p = out.reserve(prefix.size() + textFieldWidth + 1);
    p = std::copy(prefix.begin(), prefix.end(), p);
    std::fill(std::copy(field.begin(), field.end(), p), p + textFieldWidth, ' ');
    p += textFieldWidth;
    *p++ = '\n';
    out.commit(p);
}

}  // namespace triangle
