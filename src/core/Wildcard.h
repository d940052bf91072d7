#pragma once

#include <string_view>

namespace zelvoset {

// Whether a file name matches a DOS-style pattern, without regard to ASCII letter case.
// '*' matches any run of characters and '?' any one character; as in DOS, a '?' may also match
// nothing when it and any '?' after it end the pattern or stand before a '.', and a pattern
// ending in ".*" or "." also matches a name without any dot (so "*.*" matches every name).
bool WildcardMatch(std::string_view pattern, std::string_view name);

// Whether a pattern holds a wildcard at all: literal names can be looked up directly.
bool HasWildcard(std::string_view pattern);

} // namespace zelvoset
