// Checks the wildcard matcher against a plain recursive reference of the DOS rules.
//
// Input layout: the pattern, a '\n', then the name. Without a '\n' the input is cut in half.

#include "Wildcard.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using zelvoset::WildcardMatch;

// The reference works on a table of (pattern position, name position), so its cost is the
// product of the two lengths; longer inputs are cut to keep every run quick.
constexpr std::size_t kReferenceLimit = 128;

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

class Reference {
public:
    Reference(std::string_view pattern, std::string_view name)
        : pattern_(pattern), name_(name),
          memo_((pattern.size() + 1) * (name.size() + 1), kUnknown) {}

    // Whether pattern[i..] matches name[j..].
    bool Match(std::size_t i, std::size_t j) {
        signed char& known = memo_[i * (name_.size() + 1) + j];
        if (known == kUnknown)
            known = Decide(i, j) ? 1 : 0;
        return known == 1;
    }

private:
    static constexpr signed char kUnknown = -1;

    bool Decide(std::size_t i, std::size_t j) {
        if (i == pattern_.size())
            return j == name_.size();
        const char p = pattern_[i];
        const bool more = j < name_.size();
        if (p == '*')
            return Match(i + 1, j) || (more && Match(i, j + 1));
        if (p == '?')
            return (more && Match(i + 1, j + 1)) || (QuestionMayBeEmpty(i) && Match(i + 1, j));
        return more && Upper(p) == Upper(name_[j]) && Match(i + 1, j + 1);
    }

    // DOS pads a short name with blanks that '?' matches: so every '?' of a run that ends
    // the pattern, or stands just before a '.', may match nothing ("FOO??" matches "FOO").
    bool QuestionMayBeEmpty(std::size_t i) const {
        while (i < pattern_.size() && pattern_[i] == '?')
            ++i;
        return i == pattern_.size() || pattern_[i] == '.';
    }

    std::string_view pattern_, name_;
    std::vector<signed char> memo_;
};

bool ReferenceMatch(std::string_view pattern, std::string_view name) {
    if (Reference(pattern, name).Match(0, 0))
        return true;
    // An extension of ".*" or "." also admits a name that has no extension at all.
    if (name.find('.') != std::string_view::npos)
        return false;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
        return Reference(pattern.substr(0, pattern.size() - 2), name).Match(0, 0);
    if (!pattern.empty() && pattern.back() == '.')
        return Reference(pattern.substr(0, pattern.size() - 1), name).Match(0, 0);
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t cut = input.find('\n');
    const std::size_t skip = cut == std::string_view::npos ? 0 : 1;
    if (cut == std::string_view::npos)
        cut = size / 2;
    const std::string_view pattern = input.substr(0, cut);
    const std::string_view name = input.substr(cut + skip);

    // The full input only has to come back, and quickly: the matcher must stay linear.
    (void)WildcardMatch(pattern, name);

    // A directory never lists an empty name.
    const std::string_view shortName = name.substr(0, kReferenceLimit);
    if (shortName.empty())
        return 0;
    const std::string_view shortPattern = pattern.substr(0, kReferenceLimit);
    if (WildcardMatch(shortPattern, shortName) != ReferenceMatch(shortPattern, shortName)) {
        std::fprintf(stderr, "wildcard_fuzz: pattern \"%.*s\" name \"%.*s\": matcher says %s\n",
                     static_cast<int>(shortPattern.size()), shortPattern.data(),
                     static_cast<int>(shortName.size()), shortName.data(),
                     WildcardMatch(shortPattern, shortName) ? "match" : "no match");
        std::abort();
    }
    return 0;
}
