#include "platform/DriveTable.h"

#include <algorithm>
#include <vector>

#include "text/PathParts.h"

namespace sarvoli::platform {

namespace {

int indexOf(char letter)
{
    if (letter >= 'a' && letter <= 'z')
        return letter - 'a';
    if (letter >= 'A' && letter <= 'Z')
        return letter - 'A';
    return -1;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string withoutTrailingSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

}  // namespace

DriveTable DriveTable::standard()
{
    DriveTable table;
    table.set('Z', Drive{"/", DriveFixed, true});
    return table;
}

void DriveTable::set(char letter, Drive drive)
{
    drive.hostRoot = withoutTrailingSlash(std::move(drive.hostRoot));  // once, not at every path
    const int i = indexOf(letter);
    if (i >= 0)
        m_drives[static_cast<std::size_t>(i)] = std::move(drive);
}

const Drive* DriveTable::find(char letter) const
{
    const int i = indexOf(letter);
    if (i < 0 || !m_drives[static_cast<std::size_t>(i)])
        return nullptr;
    return &*m_drives[static_cast<std::size_t>(i)];
}

std::optional<std::string> DriveTable::hostPath(std::string_view text) const
{
    if (text.size() < 2 || text[1] != ':' || (text.size() > 2 && !isSeparator(text[2])))
        return std::nullopt;
    const Drive* drive = find(text[0]);
    if (!drive || !drive->hasMedium)
        return std::nullopt;
    std::string_view rest = text.substr(2);

    // Most paths hold no "." or ".." component: map them with a plain copy.
    bool needsResolve = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '.' && (i == 0 || isSeparator(rest[i - 1]))) {
            const std::size_t end = i + 1 < rest.size() && rest[i + 1] == '.' ? i + 2 : i + 1;
            if (end == rest.size() || isSeparator(rest[end]))
                needsResolve = true;
        }
    }
    std::string out;
    out.reserve(drive->hostRoot.size() + rest.size());
    if (drive->hostRoot != "/")
        out = drive->hostRoot;
    if (!needsResolve) {
        const std::size_t start = out.size();
        out.append(rest);
        std::replace(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '\\', '/');
        return out.empty() ? std::string("/") : out;
    }
    for (std::string_view part : text::resolvedPathParts(rest, "\\/")) {
        out += '/';
        out += part;
    }
    if (!rest.empty() && isSeparator(rest.back()))
        out += '/';
    return out.empty() ? std::string("/") : out;
}

std::optional<std::string> DriveTable::pathText(std::string_view host) const
{
    // A name holding a backslash cannot be written as a path text.
    if (host.empty() || host[0] != '/' || host.find('\\') != std::string_view::npos)
        return std::nullopt;
    int best = -1;
    std::size_t bestLength = 0;
    for (int i = 0; i < 26; ++i) {
        const auto& drive = m_drives[static_cast<std::size_t>(i)];
        if (!drive)
            continue;
        const std::string_view root =
            drive->hostRoot == "/" ? std::string_view() : std::string_view(drive->hostRoot);
        const bool inside = host.substr(0, root.size()) == root
                            && (host.size() == root.size() || host[root.size()] == '/');
        if (inside && (best < 0 || root.size() > bestLength)) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best < 0)
        return std::nullopt;
    std::string text;
    text += static_cast<char>('A' + best);
    text += ':';
    const std::string_view rest = host.substr(bestLength);
    if (rest.empty())
        text += '\\';
    for (char c : rest)
        text += c == '/' ? '\\' : c;
    return text;
}

}  // namespace sarvoli::platform
