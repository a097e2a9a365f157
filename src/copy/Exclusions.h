#pragma once

#include <string>
#include <string_view>

namespace sarvoli::copy {

// The at most two exclusion substrings of the exclusion field, separated by "|". A file
// whose name holds either one is not copied; an empty string excludes nothing.
class Exclusions {
public:
    explicit Exclusions(std::string_view fieldText);

    bool excludes(std::string_view fileName) const;
    const std::string& first() const { return m_first; }
    const std::string& second() const { return m_second; }

private:
    std::string m_first;
    std::string m_second;
};

}  // namespace sarvoli::copy
