#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sarvoli::platform {

// Copies are written to ".sarvoli3-HOST-PID-N.tmp" beside their target until complete. The
// machine and the process in the name let a later run tell a file that a killed run left from
// one that a run going on now (on this machine or another sharing the disk) is still writing.
std::string temporaryFileName(std::string_view host, std::uint64_t pid, std::uint64_t n);

// The machine's name as temporary names hold it: letters, digits and dots, anything else "_".
std::string temporaryHostOf(std::string_view machineName);

// A temporary file of another machine, or of an earlier form without a machine, is left to the
// run that writes it for this long since it was last touched; no copy takes that long.
inline constexpr std::int64_t kForeignLeftoverSeconds = 2 * 24 * 3600;

// Whether `name` is a temporary file of a copy that nobody will finish: one of this machine
// whose process is gone, or any that nothing has touched for kForeignLeftoverSeconds.
// `running` answers whether a process of this machine is alive.
bool isLeftover(std::string_view name, std::string_view thisHost, const std::function<bool(std::uint64_t)>& running,
                std::int64_t secondsSinceTouched);

}  // namespace sarvoli::platform
