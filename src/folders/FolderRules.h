#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The rules of the folder picker and of the same-path command, on path texts.
namespace sarvoli::folders {

// The folder, ending in a backslash, that a name chosen in the open-file dialog stands for:
// the name up to its first "*"; a shortcut "Projekti.lnk" stands for the folder "Projekti\"
// beside it; a name that ends in a backslash is a folder already; a file stands for the
// folder that holds it. Nothing when the name holds no folder at all.
std::optional<std::string> chosenFolder(std::string_view name);

// The destination that the same-path command derives from the source and the destination
// texts: the source below its drive (for a folder of a user profile, the first nine folders
// below the user's name),
// put below the destination's drive, or below "X:\" when the destination names no drive.
// Nothing when the source is empty.
std::optional<std::string> samePathDestination(std::string_view source, std::string_view destination);

// The host folder that a folder typed as a Linux user writes it stands for ("/home/matti/docs",
// or "~" and "~/docs" in the home folder `home`), ending in a slash; nothing for any other text.
// With a working folder (an absolute host path, as for a command line), a text that is no path
// text ("docs", ".", "../kopiot") stands for a folder of it, as for cp and rsync.
std::optional<std::string> typedHostPath(std::string_view text, std::string_view home,
                                         std::string_view workingFolder = {});

// The value of an environment variable by its name; nothing where it is not set.
using VariableValue = std::function<std::optional<std::string>(std::string_view name)>;

// A folder typed as Windows users type one, its path text ending in a backslash: "%NAME%" is the
// value of the environment variable NAME (one that is not set stays as typed, as in cmd), "~"
// and "~\docs" are in the user's profile folder `profile`, and with a working folder on a drive
// (a command line's, "D:\rel") a text that names no drive or server ("docs", "..\kopiot",
// "\kopiot") is a folder of it. Nothing where the text stands for itself.
std::optional<std::string> typedWindowsFolder(std::string_view text, std::string_view profile,
                                              std::string_view workingFolder, const VariableValue& variable);

}  // namespace sarvoli::folders
