#include "run/TypedFolder.h"

#include "folders/FolderRules.h"
#include "text/PathParts.h"

namespace sarvoli::run {

TypedFolder typedFolder([[maybe_unused]] platform::Platform& platform, std::string_view text,
                        [[maybe_unused]] std::string_view home)
{
#ifndef _WIN32
    if (const auto host = folders::typedHostPath(text, home)) {
        if (const auto pathText = platform.pathTextOf(*host))
            return {text::withBackslash(*pathText), {}};
        return {std::string(text), host->find('\\') != std::string::npos ? "Nimessä on kenoviiva, sitä ei voi valita"
                                                                          : "Kansio ei ole millään asemalla"};
    }
#endif
    return {std::string(text), {}};
}

}  // namespace sarvoli::run
