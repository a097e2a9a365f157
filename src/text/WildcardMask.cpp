#include "text/WildcardMask.h"

namespace sarvoli::text {

namespace {

// Decodes UTF-8; a byte that does not start a valid sequence stands for itself.
std::u32string decode(std::string_view s)
{
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : 0;
        if (b >= 0xF8)
            extra = 0;
        char32_t cp = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
        bool valid = b < 0x80 || extra > 0;
        if (extra > 0 && i + static_cast<std::size_t>(extra) < s.size()) {
            for (int k = 1; k <= extra; ++k) {
                const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
                if ((c & 0xC0) != 0x80) {
                    valid = false;
                    break;
                }
                cp = (cp << 6) | (c & 0x3F);
            }
        } else if (extra > 0) {
            valid = false;
        }
        if (valid) {
            out += cp;
            i += static_cast<std::size_t>(extra) + 1;
        } else {
            out += static_cast<char32_t>(b);
            ++i;
        }
    }
    return out;
}

// Case folding for the letters that file names here use: ASCII, Latin-1 and Latin
// Extended-A (where upper and lower case alternate).
char32_t fold(char32_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 32;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149
        && c != 0x17F) {
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return oddUpper ? ((c & 1) == 0 ? c - 1 : c) : (c & ~char32_t{1});
    }
    return c;
}

}  // namespace

WildcardMask::WildcardMask(std::string_view pattern)
{
    while (!pattern.empty() && pattern.back() == ' ')
        pattern.remove_suffix(1);
    // Several trailing dots say no more than one.
    while (pattern.size() >= 2 && pattern.back() == '.' && pattern[pattern.size() - 2] == '.')
        pattern.remove_suffix(1);
    if (pattern.empty()) {
        m_empty = true;
        return;
    }
    if (pattern == "*.*" || pattern == "*") {
        m_matchesAll = true;
        return;
    }
    const std::u32string p = decode(pattern);
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char32_t c = p[i];
        const bool last = i + 1 == p.size();
        const char32_t next = last ? 0 : p[i + 1];
        if (c == '*')
            m_tokens.push_back({next == '.' ? Kind::DosStar : Kind::Star, 0});
        else if (c == '?')
            m_tokens.push_back({Kind::DosQm, 0});
        else if (c == '.' && (last || next == '*' || next == '?'))
            m_tokens.push_back({Kind::DosDot, 0});
        else
            m_tokens.push_back({Kind::Literal, fold(c)});
    }
}

bool WildcardMask::matches(std::string_view nameBytes) const
{
    if (m_empty)
        return false;
    if (m_matchesAll)
        return true;
    const std::u32string name = decode(nameBytes);
    const std::size_t n = name.size();
    std::size_t lastDot = std::u32string::npos;
    for (std::size_t i = 0; i < n; ++i)
        if (name[i] == '.')
            lastDot = i;

    // reach[i]: the tokens so far can consume exactly the first i characters of the name.
    // Each token costs one pass over the name, so no pattern can make a search slow.
    std::vector<char> reach(n + 1, 0), next(n + 1, 0);
    reach[0] = 1;
    for (const Token& t : m_tokens) {
        std::fill(next.begin(), next.end(), 0);
        bool starFrom = false;  // a star reaches everything from its first start on
        for (std::size_t i = 0; i <= n; ++i) {
            if (t.kind == Kind::Star && (starFrom = starFrom || reach[i]))
                next[i] = 1;
            if (!reach[i])
                continue;
            switch (t.kind) {
            case Kind::Literal:
                if (i < n && fold(name[i]) == t.ch)
                    next[i + 1] = 1;
                break;
            case Kind::Star:
                break;
            case Kind::DosStar: {
                // Any run of characters that does not pass the name's last dot; a start
                // already inside the run adds nothing new.
                const std::size_t limit = lastDot != std::u32string::npos && lastDot >= i ? lastDot : n;
                for (std::size_t j = i; j <= limit && !(j > i && next[j]); ++j)
                    next[j] = 1;
                break;
            }
            case Kind::DosQm:
                if (i == n || name[i] == '.')
                    next[i] = 1;
                else
                    next[i + 1] = 1;
                break;
            case Kind::DosDot:
                if (i == n)
                    next[i] = 1;
                else if (name[i] == '.')
                    next[i + 1] = 1;
                break;
            }
        }
        reach.swap(next);
    }
    return reach[n] != 0;
}

}  // namespace sarvoli::text
