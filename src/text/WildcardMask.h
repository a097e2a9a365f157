#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sarvoli::text {

// A file-name pattern matched the way the Windows directory search matches it: letters
// without regard to case, "*.*" matches every name (also one without a dot), "*." only
// names without an extension, "?" one character or none at a dot or the end, "." before
// "*" or "?" a dot or the end of the name, "*" before "." runs to the last dot. Trailing
// blanks of the pattern are dropped. An empty pattern matches nothing.
class WildcardMask {
public:
    explicit WildcardMask(std::string_view pattern);

    bool matches(std::string_view name) const;

private:
    enum class Kind { Literal, Star, DosStar, DosQm, DosDot };
    struct Token {
        Kind kind;
        char32_t ch;
    };

    std::vector<Token> m_tokens;
    bool m_matchesAll = false;
    bool m_empty = false;
};

}  // namespace sarvoli::text
