#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a message box and the file dialog mean, the same on every system; each system only shows
// them.
namespace zelvoset {

// The title a box shows: its own, or the application's when it has none.
std::string_view BoxTitle(std::string_view title);

// The button that closed a box; None when it was closed without one (Escape, the close box, or
// no box at all).
enum class BoxButton { Yes, No, Ok, None };
// The answer as the callers count it (kAnswerYes, kAnswerNo, kAnswerOk). Nothing is changed
// unasked: a question closed without an answer is a No.
int AnswerOf(BoxButton pressed, int style);

// One entry of the dialog's filter list.
struct FilterEntry {
    std::string description;
    std::string pattern; // ';' between several
};
// "description|pattern|description|pattern..." as the installation writes it. A description
// without a pattern, or with a blank one, is left out.
std::vector<FilterEntry> ParseFilter(std::string_view filter);

} // namespace zelvoset
