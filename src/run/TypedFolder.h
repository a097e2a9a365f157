#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace sarvoli::run {

// What the text of a folder box stands for when a run starts.
struct TypedFolder {
    std::string text;   // the text the run works with
    std::string error;  // why no path text can name the host path typed; empty when one can
};

// On Linux a folder typed as its host path ("/home/matti/docs", "~/docs" in `home`) stands for
// its path text ("Z:\home\matti\docs\"); any other text stands for itself. With a working
// folder (a command line's), a relative host path ("docs", "..") is a folder of it. On Windows
// "%NAME%" variables are expanded, "~" is the profile folder `home`, and relative folders are
// of the working folder as there.
// The user's home folder as typed folders name it: $HOME on Linux, the profile folder on Windows.
std::string userHome();

TypedFolder typedFolder(platform::Platform& platform, std::string_view text, std::string_view home,
                        std::string_view workingFolder = {});

}  // namespace sarvoli::run
