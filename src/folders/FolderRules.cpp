#include "folders/FolderRules.h"

#include <cstdint>

#include "text/ExtractFields.h"
#include "text/PathParts.h"
#include "text/Utf8.h"

namespace sarvoli::folders {

namespace {

// The text after its first `n` characters (bytes, but never half a UTF-8 character).
std::string_view after(std::string_view s, std::size_t n)
{
    if (const std::size_t start = text::characterStart(s, n); start < n)
        n = text::characterEnd(s, start);
    return n < s.size() ? s.substr(n) : std::string_view();
}

// True when the characters from position `at` (counted from 0) are exactly `word`.
bool holdsAt(std::string_view s, std::size_t at, std::string_view word)
{
    return s.size() >= at + word.size() && s.substr(at, word.size()) == word;
}

}  // namespace

std::optional<std::string> chosenFolder(std::string_view name)
{
    std::string folder = text::ExtractFields(name, "*", 1, 1);
    // Only a name that ends in ".lnk" is a shortcut: a folder named "x.lnk" on the way to a
    // file must not turn the file into a folder.
    if (folder.ends_with(".lnk")) {
        folder.resize(folder.size() - 4);
        return folder + '\\';
    }
    if (!folder.empty() && folder.back() == '\\')
        return folder;
    const std::size_t slash = folder.size() < 2 ? std::string::npos : folder.rfind('\\', folder.size() - 2);
    if (slash == std::string::npos)
        return std::nullopt;
    return folder.substr(0, slash + 1);
}

std::optional<std::string> samePathDestination(std::string_view source, std::string_view destination)
{
    if (source.empty())
        return std::nullopt;
    std::string tail;
    const bool profile = holdsAt(source, 3, "Documents and S") || holdsAt(source, 3, "Users");
    if (profile && !text::ExtractFields(source, "\\", 4, 1).empty()) {
        // The first nine folders below the user's name.
        tail = text::ExtractFields(source, "\\", 4, 9) + "\\";
    } else if (source.starts_with("\\\\")) {
        tail = source.substr(2);  // a network path keeps its server's name whole
    } else {
        tail = after(source, 3);  // uncut, so that a long path is not cut into another folder
    }
    const std::string drive = destination.find(":\\") != std::string_view::npos
                                  ? std::string(destination.substr(0, destination.size() - after(destination, 3).size()))
                                  : std::string("X:\\");
    return drive + tail;
}

std::optional<std::string> typedHostPath(std::string_view text, std::string_view home,
                                         std::string_view workingFolder)
{
    // A path text names its drive ("E:", "E:\kopiot") or its server ("\\palvelin\jako").
    const bool pathText = (text.size() >= 2 && text[1] == ':'
                           && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')))
                          || text.starts_with("\\\\");
    std::string path;
    if (text.starts_with('/'))
        path = text;
    else if ((text == "~" || text.starts_with("~/")) && home.starts_with('/'))
        path = std::string(home) + "/" + std::string(text.substr(1));
    else if (!text.empty() && !pathText && !text.starts_with('~') && workingFolder.starts_with('/'))
        path = std::string(workingFolder) + "/" + std::string(text);
    else
        return std::nullopt;
    // Written as a shell would take it: repeated slashes are one, "." is the folder itself and
    // ".." its parent, so that the path text names the folder once and in one way.
    std::string out;
    for (const std::string_view part : text::resolvedPathParts(path, "/")) {
        out += '/';
        out += part;
    }
    return out + "/";
}

std::optional<std::string> typedWindowsFolder(std::string_view text, std::string_view profile,
                                              std::string_view workingFolder, const VariableValue& variable)
{
    std::string typed;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string_view::npos;
        if (close != std::string_view::npos && close > i + 1) {
            const std::string_view name = text.substr(i + 1, close - i - 1);
            const std::optional<std::string> value = variable(name);
            typed += value ? *value : std::string(text.substr(i, close - i + 1));
            i = close + 1;
        } else {
            typed += text[i++];
        }
    }
    if ((typed == "~" || typed.starts_with("~\\") || typed.starts_with("~/")) && !profile.empty())
        typed = std::string(profile) + typed.substr(1);
    const bool pathText = (typed.size() >= 2 && typed[1] == ':') || typed.starts_with("\\\\");
    const bool onDrive = workingFolder.size() >= 2 && workingFolder[1] == ':';
    if (!typed.empty() && !pathText && onDrive) {
        // "\kopiot" is at the root of the working folder's drive, anything else below the folder.
        const std::string joined = typed.starts_with('\\') || typed.starts_with('/')
                                       ? typed
                                       : std::string(workingFolder.substr(2)) + "\\" + typed;
        std::string path(workingFolder.substr(0, 2));
        for (const std::string_view part : text::resolvedPathParts(joined, "\\/"))
            path.append("\\").append(part);
        return text::withBackslash(path);
    }
    if (typed == text)
        return std::nullopt;
    return text::withBackslash(typed);
}

}  // namespace sarvoli::folders
