#include "copy/Exclusions.h"

#include "text/ExtractFields.h"

namespace sarvoli::copy {

Exclusions::Exclusions(std::string_view fieldText)
{
    if (fieldText.find('|') != std::string_view::npos) {
        m_first = text::ExtractFields(fieldText, "|", 1, 1);
        m_second = text::ExtractFields(fieldText, "|", 2, 1);
    } else {
        // "/" cannot stand in a file name, so it excludes nothing.
        m_first = fieldText.empty() ? std::string("/") : std::string(fieldText);
    }
    if (m_second.empty())
        m_second.push_back('/');  // (assigning "/" trips a false GCC 12 warning)
}

bool Exclusions::excludes(std::string_view fileName) const
{
    const auto holds = [&](const std::string& s) {
        return !s.empty() && fileName.find(s) != std::string_view::npos;
    };
    return holds(m_first) || holds(m_second);
}

}  // namespace sarvoli::copy
