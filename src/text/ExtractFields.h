#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sarvoli::text {

// Returns `count` fields of `text` starting at field `first` (counted from 1), joined by
// `delimiter` as they stand in the text. Fields are the pieces between non-overlapping
// occurrences of the delimiter; an empty delimiter is never found. One trailing delimiter
// of the result is dropped.
std::string ExtractFields(std::string_view text, std::string_view delimiter, std::int32_t first,
                          std::int32_t count);

}  // namespace sarvoli::text
