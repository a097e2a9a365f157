#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sarvoli::text {

// The names of a path between any of `separators`, resolved as a shell takes them: empty
// names and "." are left out, ".." takes away the name before it (none at the top).
std::vector<std::string_view> resolvedPathParts(std::string_view path, std::string_view separators);

// The path text with a backslash at its end, as a folder's path text is written.
std::string withBackslash(std::string_view path);

}  // namespace sarvoli::text
