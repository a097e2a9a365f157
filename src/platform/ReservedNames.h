#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace sarvoli::platform {

// Whether a name holds a character that Windows and FAT refuse in a name: a control character or
// one of < > : " / \ | ? *.
inline bool holdsReservedCharacter(std::string_view name)
{
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || (c != 0 && std::strchr("<>:\"/\\|?*", c) != nullptr))
            return true;
    return false;
}

// A name in upper case where it is all ASCII, as every file system that folds case folds it;
// nothing where it holds another character, which each system folds by its own tables.
inline std::optional<std::string> foldedAscii(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return std::nullopt;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

}  // namespace sarvoli::platform
