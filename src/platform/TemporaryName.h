#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sarvoli::platform {

// Who writes a temporary file, so that a later run can tell whether the run that writes it may
// still be going on: the machine, as far as its processes can be told apart there (on Linux the
// boot of its kernel and the PID namespace, since containers and sandboxes share a host name and
// count processes of their own; on Windows the computer's name), the process, and when it started
// (small process numbers are taken again soon).
struct TemporaryOwner {
    std::string machine;        // letters, digits and dots; empty when it cannot be told
    std::uint64_t pid = 0;
    std::uint64_t started = 0;  // the process's start, in the system's own units
};

// Copies are written to ".sarvoli3-MACHINE-PID-STARTED-N.tmp" beside their target until complete.
std::string temporaryFileName(const TemporaryOwner& owner, std::uint64_t n);
inline constexpr std::string_view kTemporaryPrefix = ".sarvoli3-";
inline constexpr std::string_view kTemporarySuffix = ".tmp";
// Every temporary name, in the wildcards of a folder's search.
inline constexpr std::string_view kTemporaryPattern = ".sarvoli3-*.tmp";

// This process as temporary names hold it. On Linux the kernel's boot and the PID namespace,
// the process number and its start in clock ticks since the boot, a machine that cannot be told
// without /proc; on Windows the computer's name, the process number and its creation time.
// Each system's platform tells its own.
const TemporaryOwner& thisTemporaryOwner();
// Whether the process `pid` of this machine, started at `started`, runs now: a number is soon
// another's. Each system's platform tells its own.
bool temporaryOwnerRuns(std::uint64_t pid, std::uint64_t started);
// A fresh name for a temporary file of this process.
std::string temporaryName();
// Whether a file of this name, untouched for so long, is a temporary file that nobody will
// finish, by this process's owner and the processes running now.
bool isLeftoverHere(std::string_view name, std::int64_t secondsSinceTouched);

// A machine's name as temporary names hold it: letters, digits and dots, anything else "_".
std::string temporaryMachineOf(std::string_view machineName);

// A temporary file of another machine, of a run that cannot be told, or of an earlier form of
// the name, is left to the run that writes it for this long since it was last touched; no copy
// takes that long.
inline constexpr std::int64_t kForeignLeftoverSeconds = 2 * 24 * 3600;

// Whether a process of this machine that started at `started` runs now.
using OwnerRunning = std::function<bool(std::uint64_t pid, std::uint64_t started)>;

// Whether `name` is a temporary file of a copy that nobody will finish: one whose owner is of this
// machine (`self`) and runs no more, or any that nothing has touched for kForeignLeftoverSeconds.
// Only a name that the program makes counts, to its last character; earlier forms
// (".sarvoli3-HOST-PID-N.tmp", ".sarvoli3-PID-N.tmp") are told by their age alone.
bool isLeftover(std::string_view name, const TemporaryOwner& self, const OwnerRunning& running,
                std::int64_t secondsSinceTouched);

}  // namespace sarvoli::platform
