#include "Wildcard.h"

#include <algorithm>
#include <vector>

namespace zelvoset {
namespace {

char Fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// DOS pads a short name with blanks that '?' matches, so each '?' of a run that ends the pattern
// or stands before a '.' may match nothing: "FOO??" matches "FOO", "A??.TXT" matches "A.TXT".
bool OptionalQuestionMark(std::string_view pattern, std::size_t i) {
    if (pattern[i] != '?')
        return false;
    const std::size_t after = pattern.find_first_not_of('?', i);
    return after == std::string_view::npos || pattern[after] == '.';
}

// Dynamic programming rather than backtracking: a name can hold hundreds of characters and a
// pattern several '*', and matching must stay linear in both whatever they hold.
bool MatchCore(std::string_view pattern, std::string_view name) {
    const std::size_t n = name.size();
    // reach[j]: the pattern consumed so far can match exactly the first j characters of name.
    std::vector<char> reach(n + 1, 0), next(n + 1, 0);
    reach[0] = 1;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char p = pattern[i];
        std::fill(next.begin(), next.end(), 0);
        if (p == '*') {
            char any = 0;
            for (std::size_t j = 0; j <= n; ++j) {
                any = static_cast<char>(any | reach[j]);
                next[j] = any;
            }
        } else {
            const bool optional = OptionalQuestionMark(pattern, i);
            for (std::size_t j = 0; j <= n; ++j) {
                if (!reach[j])
                    continue;
                if (optional)
                    next[j] = 1;
                if (j < n && (p == '?' || Fold(p) == Fold(name[j])))
                    next[j + 1] = 1;
            }
        }
        reach.swap(next);
    }
    return reach[n] != 0;
}

} // namespace

bool HasWildcard(std::string_view pattern) {
    return pattern.find_first_of("*?") != std::string_view::npos;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (MatchCore(pattern, name))
        return true;
    if (name.find('.') != std::string_view::npos)
        return false;
    if (pattern.ends_with(".*"))
        return MatchCore(pattern.substr(0, pattern.size() - 2), name);
    if (pattern.ends_with('.'))
        return MatchCore(pattern.substr(0, pattern.size() - 1), name);
    return false;
}

} // namespace zelvoset
