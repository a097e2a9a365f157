#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "platform/Platform.h"
#include "run/CommandLine.h"

namespace sarvoli::run {

// How a run without a window ended, as its exit status.
enum UnattendedStatus : int {
    kEveryFileCopied = 0,  // every file that needed a copy got one (or none needed one)
    kSomeFailed = 1,       // a copy failed, the run was stopped, or its record could not be written
    kNotStarted = 2,       // the run could not begin: the reason is on the error stream
    kReplacementsHeld = 3,  // the guard left the copies there unreplaced (new files were copied)
};

struct UnattendedRun {
    platform::Platform& platform;
    std::string settingsFile;  // path text of the settings file whose fields the run takes
    std::string home;          // the user's home folder, for folders saved as "~/..."
    std::string workingFolder;  // for folders given on the command line as relative paths
    std::ostream& out;         // the log lines, the summary and the elapsed time
    std::ostream& err;         // the failure lines again, and why the run stopped or did not start
    std::function<bool()> stopRequested;
    FieldOptions given = {};  // fields given on the command line, in place of the saved ones
};

// One copy run with the fields saved in the settings file, as the window would run it: the
// same checks, walk, log lines, summary and record.
UnattendedStatus runUnattended(UnattendedRun& run);

}  // namespace sarvoli::run
