#include "run/TypedFolder.h"

#include "folders/FolderRules.h"
#include "text/PathParts.h"

namespace sarvoli::run {

TypedFolder typedFolder([[maybe_unused]] platform::Platform& platform, std::string_view text,
                        [[maybe_unused]] std::string_view home, [[maybe_unused]] std::string_view workingFolder)
{
#ifndef _WIN32
    if (const auto host = folders::typedHostPath(text, home, workingFolder)) {
        if (const auto pathText = platform.pathTextOf(*host))
            return {text::withBackslash(*pathText), {}};
        return {std::string(text), host->find('\\') != std::string::npos ? "Nimessä on kenoviiva, sitä ei voi valita"
                                                                          : "Kansio ei ole millään asemalla"};
    }
#else
    // A folder of the working folder ("docs", "..\kopiot"), where that is on a drive: its whole
    // path, as the shell would take it.
    const bool relative = !text.empty() && !(text.size() >= 2 && text[1] == ':') && !text.starts_with('\\')
                          && !text.starts_with('/');
    if (relative && workingFolder.size() >= 2 && workingFolder[1] == ':') {
        std::string path(workingFolder.substr(0, 2));
        for (const std::string_view part : text::resolvedPathParts(
                 std::string(workingFolder.substr(2)) + "\\" + std::string(text), "\\/"))
            path.append("\\").append(part);
        return {text::withBackslash(path), {}};
    }
#endif
    return {std::string(text), {}};
}

}  // namespace sarvoli::run
