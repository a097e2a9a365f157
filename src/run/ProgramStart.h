#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"
#include "run/CommandLine.h"

// The start shared by the window program and its console twin on Windows.
namespace sarvoli::run {

// The help, or a command line that cannot be followed, ends the program before anything is
// made: printed here, with the exit status to end with. Nothing when the program goes on.
std::optional<int> answeredByCommandLine(const Options& options);

// The settings file of this start, and the program's folder in `exeFolder`; nothing after
// telling why on the error stream.
std::optional<std::string> settingsFileFor(platform::Platform& platform, const Options& options,
                                           std::string& exeFolder);

// The run without a window (--run), from its application object to its exit status.
int runWithoutWindow(int argc, char* argv[], const Options& options);

// Ends the process now, with `status`, when a run given up still waits in a call to its device;
// returns otherwise.
void endEvenIfARunWaits(int status);

// A copy past the file-size limit fails with its reason instead of ending the program.
void keepRunningPastFileSizeLimit();

}  // namespace sarvoli::run
