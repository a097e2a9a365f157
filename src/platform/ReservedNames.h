#pragma once

#include <cstring>
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

}  // namespace sarvoli::platform
