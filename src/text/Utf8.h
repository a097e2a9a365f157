#pragma once

#include <cstddef>
#include <string_view>

// Character boundaries in UTF-8 texts, for cuts that must not split a character. Bytes that
// are no valid UTF-8 each stand for a character of their own.
namespace sarvoli::text {

// The first byte of the character that byte `at` belongs to.
std::size_t characterStart(std::string_view s, std::size_t at);

// The byte after the character that starts at `start`.
std::size_t characterEnd(std::string_view s, std::size_t start);

}  // namespace sarvoli::text
