#include "Location.h"

namespace zelvoset {

bool IsPlainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("*?") == std::string_view::npos;
}

std::optional<std::string> FolderBelow(std::string_view folder, std::string_view base,
                                       char separator,
                                       bool (*samePrefix)(std::string_view, std::string_view)) {
    // With its separator, so that a sibling whose name merely begins the same is not below.
    std::string prefix(base);
    if (!prefix.ends_with(separator))
        prefix += separator;
    if (folder.size() <= prefix.size() || !samePrefix(folder.substr(0, prefix.size()), prefix))
        return std::nullopt;
    return std::string(folder.substr(prefix.size()));
}

} // namespace zelvoset
