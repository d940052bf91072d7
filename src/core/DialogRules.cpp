#include "DialogRules.h"

#include "Application.h"
#include "Platform.h"

namespace zelvoset {
namespace {

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

} // namespace

std::string_view BoxTitle(std::string_view title) {
    return title.empty() ? kApplicationTitle : title;
}

int AnswerOf(BoxButton pressed, int style) {
    switch (pressed) {
    case BoxButton::Yes:
        return kAnswerYes;
    case BoxButton::No:
        return kAnswerNo;
    case BoxButton::Ok:
    case BoxButton::None:
        break;
    }
    return style == kStyleQuestion ? kAnswerNo : kAnswerOk;
}

std::vector<FilterEntry> ParseFilter(std::string_view filter) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar - start));
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
    std::vector<FilterEntry> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (!IsBlank(parts[i + 1]))
            entries.push_back({std::string(parts[i]), std::string(parts[i + 1])});
    }
    return entries;
}

} // namespace zelvoset
