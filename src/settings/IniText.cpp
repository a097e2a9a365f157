#include "settings/IniText.h"

#include <optional>
#include <vector>

#include "text/Utf8.h"

namespace sarvoli::settings {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Names given by the caller lose their outer spaces only.
std::string_view trimmedSpaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// A cut at no more than `limit` bytes that keeps every UTF-8 character whole.
std::string_view cutAt(std::string_view s, std::size_t limit)
{
    return s.size() <= limit ? s : s.substr(0, text::characterStart(s, limit));
}

struct Line {
    enum Kind { Other, Section, Key };
    Kind kind = Other;
    std::size_t begin = 0;  // the line's first byte
    std::size_t end = 0;    // just after its text
    std::size_t next = 0;   // just after its line break
    std::string_view name;  // the section's or the key's name, trimmed
    std::string_view value; // the key's value, trimmed
};

std::vector<Line> linesOf(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;  // a UTF-8 mark is no text
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        line.end = end;
        if (end < text.size())
            end += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        line.next = end;
        const std::string_view content = trimmed(text.substr(line.begin, line.end - line.begin));
        if (!content.empty() && content.front() == '[') {
            line.kind = Line::Section;
            const std::size_t close = content.find(']');
            line.name = trimmed(content.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        } else if (!content.empty() && content.front() != ';') {
            if (const std::size_t eq = content.find('='); eq != std::string_view::npos) {
                line.kind = Line::Key;
                line.name = trimmed(content.substr(0, eq));
                line.value = trimmed(content.substr(eq + 1));
            }
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// Where a section stands: its header line, and the lines up to the next header.
struct Place {
    std::optional<std::size_t> header;
    std::optional<std::size_t> key;      // the key's line
    std::optional<std::size_t> lastKey;  // the section's last key line
};

Place find(const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    section = trimmedSpaces(section);
    key = trimmedSpaces(key);
    Place place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Line::Section || !sameName(lines[i].name, section))
            continue;
        place.header = i;
        for (std::size_t j = i + 1; j < lines.size() && lines[j].kind != Line::Section; ++j) {
            if (lines[j].kind != Line::Key)
                continue;
            place.lastKey = j;
            if (!place.key && sameName(lines[j].name, key))
                place.key = j;
        }
        break;  // a later section of the same name is never searched
    }
    return place;
}

// The text up to the end of line i, with a line break even where the file had none.
std::string upToLineEnd(std::string_view text, const Line& line)
{
    std::string out(text.substr(0, line.next));
    if (line.next == line.end)
        out += kLineEnd;
    return out;
}

std::string storable(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
            continue;  // CRLF is one break
        out += value[i] == '\r' || value[i] == '\n' ? ' ' : value[i];
    }
    return out;
}

std::string_view withoutOuterQuotes(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

}  // namespace

std::string iniValue(std::string_view text, std::string_view section, std::string_view key)
{
    const std::vector<Line> lines = linesOf(text);
    const Place place = find(lines, section, key);
    if (!place.key)
        return {};
    return std::string(cutAt(withoutOuterQuotes(lines[*place.key].value), kMaxValueLength));
}

std::string withIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value)
{
    const std::vector<Line> lines = linesOf(text);
    const Place place = find(lines, section, key);
    const std::string storedValue = storable(value);
    if (place.key) {  // rewritten where it stands, with the key's own spelling
        const Line& line = lines[*place.key];
        std::string out(text.substr(0, line.begin));
        out.append(line.name).append("=").append(storedValue);
        out += line.next == line.end ? kLineEnd : text.substr(line.end, line.next - line.end);
        out += text.substr(line.next);
        return out;
    }
    const std::string keyLine = std::string(trimmedSpaces(key)) + "=" + storedValue + std::string(kLineEnd);
    if (place.header) {
        const Line& after = lines[place.lastKey ? *place.lastKey : *place.header];
        return upToLineEnd(text, after) + keyLine + std::string(text.substr(after.next));
    }
    std::string out = lines.empty() ? std::string(text) : upToLineEnd(text, lines.back());
    return out + "[" + std::string(trimmedSpaces(section)) + "]" + std::string(kLineEnd) + keyLine;
}

std::string withoutIniKey(std::string_view text, std::string_view section, std::string_view key)
{
    const std::vector<Line> lines = linesOf(text);
    const Place place = find(lines, section, key);
    if (!place.key)
        return std::string(text);
    const Line& line = lines[*place.key];
    return std::string(text.substr(0, line.begin)) + std::string(text.substr(line.next));
}

std::string readBackForm(std::string_view value)
{
    const std::string stored = storable(value);
    return std::string(cutAt(withoutOuterQuotes(trimmed(stored)), kMaxValueLength));
}

}  // namespace sarvoli::settings
