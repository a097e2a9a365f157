#include "text/PathParts.h"

namespace sarvoli::text {

std::vector<std::string_view> resolvedPathParts(std::string_view path, std::string_view separators)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || separators.find(path[i]) != std::string_view::npos) {
            const std::string_view part = path.substr(start, i - start);
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            start = i + 1;
        }
    }
    return parts;
}

std::string withBackslash(std::string_view path)
{
    std::string out(path);
    if (out.empty() || out.back() != '\\')
        out += '\\';
    return out;
}

}  // namespace sarvoli::text
