#include "text/Utf8.h"

namespace sarvoli::text {

namespace {

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of a valid sequence that starts at `p`, or 1.
std::size_t sequenceLength(std::string_view s, std::size_t p)
{
    const auto lead = static_cast<unsigned char>(s[p]);
    const std::size_t length = lead >= 0xC2 && lead < 0xE0   ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 1;
    if (p + length > s.size())
        return 1;
    for (std::size_t k = 1; k < length; ++k)
        if (!isContinuation(s[p + k]))
            return 1;
    return length;
}

}  // namespace

std::size_t characterStart(std::string_view s, std::size_t at)
{
    if (at >= s.size() || !isContinuation(s[at]))
        return at;
    for (std::size_t back = 1; back <= 3 && back <= at; ++back) {
        const std::size_t p = at - back;
        if (isContinuation(s[p]))
            continue;
        return sequenceLength(s, p) > back ? p : at;
    }
    return at;
}

std::size_t characterEnd(std::string_view s, std::size_t start)
{
    return start >= s.size() ? s.size() : start + sequenceLength(s, start);
}

}  // namespace sarvoli::text
