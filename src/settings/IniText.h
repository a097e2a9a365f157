#pragma once

#include <string>
#include <string_view>

// The text of an INI file as the Windows profile functions read and edit it: section and key
// names without regard to ASCII case, blanks around names and values trimmed, a matching
// pair of outer quotes taken off a value, ';' lines as comments, the first of duplicate
// sections and keys found, CRLF, LF and CR all read, lines written with CRLF.
namespace sarvoli::settings {

// The longest value a read gives back, in bytes.
inline constexpr std::size_t kMaxValueLength = 2047;

// The value of a key; empty when the section or the key is missing.
std::string iniValue(std::string_view text, std::string_view section, std::string_view key);

// The text with the key set to the value: an existing key line is rewritten where it stands,
// a new key goes after the last key line of its section, a new section at the end.
std::string withIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value);

// The text without the key's line; unchanged when there is none.
std::string withoutIniKey(std::string_view text, std::string_view section, std::string_view key);

// What a value reads back as once written: a line break cannot be written inside a value and
// becomes a blank; outer blanks and a matching pair of outer quotes are lost; at most
// kMaxValueLength bytes, never cutting a character.
std::string readBackForm(std::string_view value);

}  // namespace sarvoli::settings
