#include "platform/TemporaryName.h"

#include <atomic>
#include <charconv>
#include <vector>

namespace sarvoli::platform {

namespace {

constexpr std::string_view kPrefix = kTemporaryPrefix;
constexpr std::string_view kSuffix = kTemporarySuffix;
static_assert(kTemporaryPattern.starts_with(kPrefix) && kTemporaryPattern.ends_with("*" ".tmp"));

bool isMachineCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}

// A number as the program writes one: decimal digits, no leading zero, within 64 bits.
std::optional<std::uint64_t> numberOf(std::string_view s)
{
    if (s.empty() || (s.size() > 1 && s[0] == '0'))
        return std::nullopt;
    std::uint64_t n = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (error != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return n;
}

bool isMachine(std::string_view s)
{
    if (s.empty())
        return false;
    for (const char c : s)
        if (!isMachineCharacter(c))
            return false;
    return true;
}

// A machine that cannot be told matches no other: its name holds nothing but underscores.
bool isKnownMachine(std::string_view s) { return s.find_first_not_of('_') != std::string_view::npos; }

std::vector<std::string_view> partsOf(std::string_view s)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t dash = s.find('-', start);
        parts.push_back(s.substr(start, dash - start));
        if (dash == std::string_view::npos)
            return parts;
        start = dash + 1;
    }
}

}  // namespace

std::string temporaryFileName(const TemporaryOwner& owner, std::uint64_t n)
{
    std::string name(kPrefix);
    name.append(owner.machine.empty() ? std::string("_") : owner.machine);
    name.append("-").append(std::to_string(owner.pid)).append("-").append(std::to_string(owner.started));
    name.append("-").append(std::to_string(n));
    return name.append(kSuffix);
}

std::string temporaryMachineOf(std::string_view machineName)
{
    std::string machine;
    for (const char c : machineName)
        machine += isMachineCharacter(c) ? c : '_';
    return machine;
}

bool isLeftover(std::string_view name, const TemporaryOwner& self, const OwnerRunning& running,
                std::int64_t secondsSinceTouched)
{
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix) || name.size() < kPrefix.size() + kSuffix.size())
        return false;
    const std::vector<std::string_view> parts =
        partsOf(name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size()));
    // MACHINE-PID-STARTED-N; before it HOST-PID-N and PID-N, which tell nothing sure of their run.
    bool ours = false;
    std::optional<TemporaryOwner> owner;
    if (parts.size() == 4 && isMachine(parts[0]) && numberOf(parts[3])) {
        const auto pid = numberOf(parts[1]);
        const auto started = numberOf(parts[2]);
        ours = pid && started;
        if (ours)
            owner = TemporaryOwner{std::string(parts[0]), *pid, *started};
    } else if (parts.size() == 3) {
        ours = isMachine(parts[0]) && numberOf(parts[1]) && numberOf(parts[2]);
    } else if (parts.size() == 2) {
        ours = numberOf(parts[0]) && numberOf(parts[1]);
    }
    if (!ours)
        return false;
    if (secondsSinceTouched > kForeignLeftoverSeconds)
        return true;
    return owner && isKnownMachine(self.machine) && owner->machine == self.machine
           && !running(owner->pid, owner->started);
}

std::string temporaryName()
{
    static std::atomic<unsigned long> counter{0};
    return temporaryFileName(thisTemporaryOwner(), counter++);
}

bool isLeftoverHere(std::string_view name, std::int64_t secondsSinceTouched)
{
    return isLeftover(name, thisTemporaryOwner(), temporaryOwnerRuns, secondsSinceTouched);
}

}  // namespace sarvoli::platform
