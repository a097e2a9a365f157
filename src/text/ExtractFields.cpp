#include "text/ExtractFields.h"

namespace sarvoli::text {

namespace {

// Position of the delimiter in `rest`, or npos; an empty delimiter is never found.
std::size_t findDelimiter(std::string_view rest, std::string_view delimiter)
{
    return delimiter.empty() ? std::string_view::npos : rest.find(delimiter);
}

}  // namespace

std::string ExtractFields(std::string_view text, std::string_view delimiter, std::int32_t first,
                          std::int32_t count)
{
    std::string result;
    std::string_view rest = text;

    while (first > 1) {
        const std::size_t at = findDelimiter(rest, delimiter);
        if (at == std::string_view::npos)
            break;
        rest.remove_prefix(at + delimiter.size());
        --first;
    }
    if (first != 1)
        return {};

    while (count > 0) {
        const std::size_t at = findDelimiter(rest, delimiter);
        if (at == std::string_view::npos)
            break;
        result.append(rest.substr(0, at + delimiter.size()));
        rest.remove_prefix(at + delimiter.size());
        --count;
    }
    if (count > 0)
        result.append(rest);

    if (!result.empty() && !delimiter.empty() && result.size() >= delimiter.size()
        && std::string_view(result).ends_with(delimiter))
        result.resize(result.size() - delimiter.size());
    return result;
}

}  // namespace sarvoli::text
