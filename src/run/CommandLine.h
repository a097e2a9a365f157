#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

// The program's command line: its options, its help, and the signals that stop a run.
namespace sarvoli::run {

// The fields of a run given on the command line, each in place of the saved one.
struct FieldOptions {
    std::optional<std::string> from;        // a host path or a path text, as typed in the window
    std::optional<std::string> to;
    std::optional<std::string> mask;
    std::vector<std::string> exclusions;    // at most two
    bool noSubfolders = false;
    bool verify = false;                    // not a field: read every copy back
    bool preview = false;                   // not a field: --dry-run, nothing written
    bool hidden = false;                    // not a field: hidden folders are walked too
    int keepVersions = 0;                   // not a field: replaced copies kept for so many runs
    bool guard = false;                     // not a field: a run that would replace most copies replaces none
    bool allowMassReplace = false;          // not a field: the guard lets it
    bool any() const { return from || to || mask || !exclusions.empty() || noSubfolders; }
};

struct Options {
    bool run = false;
    bool help = false;
    std::optional<std::string> settingsFile;  // as given: a host path
    FieldOptions fields;
    std::string error;  // why the command line cannot be followed, as the user is told
};

Options parseCommandLine(int argc, char* argv[]);

// The help that --help prints, in Finnish.
extern const char* const kHelp;

// Ctrl+C and SIGTERM stop the run after the entry in hand; a second one ends the program at
// once (a copy cut off is copied again by the next run).
void catchStopSignals();
// True once a stop signal has come.
bool stopSignalled();

// The settings file as a path text: the one given, or the program's own (beside it, or in the
// user's configuration folder); nothing when no path text can name it.
std::optional<std::string> settingsFileOf(platform::Platform& platform, const Options& options,
                                          const std::string& exeFolder);

}  // namespace sarvoli::run
