#include "platform/TemporaryName.h"

#include <charconv>

namespace sarvoli::platform {

namespace {

constexpr std::string_view kPrefix = ".sarvoli3-";
constexpr std::string_view kSuffix = ".tmp";

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (const char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

}  // namespace

std::string temporaryFileName(std::string_view host, std::uint64_t pid, std::uint64_t n)
{
    std::string name(kPrefix);
    name.append(host).append("-").append(std::to_string(pid)).append("-").append(std::to_string(n));
    return name.append(kSuffix);
}

std::string temporaryHostOf(std::string_view machineName)
{
    std::string host;
    for (const char c : machineName) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.';
        host += plain ? c : '_';
    }
    return host.empty() ? std::string("_") : host;
}

bool isLeftover(std::string_view name, std::string_view thisHost, const std::function<bool(std::uint64_t)>& running,
                std::int64_t secondsSinceTouched)
{
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return false;
    std::string_view middle = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    // HOST-PID-N, or PID-N in the form without a machine; read from the right, the machine's
    // name holds no "-".
    const std::size_t lastDash = middle.rfind('-');
    if (lastDash == std::string_view::npos || !allDigits(middle.substr(lastDash + 1)))
        return false;
    middle = middle.substr(0, lastDash);
    const std::size_t pidDash = middle.rfind('-');
    const std::string_view pidText = pidDash == std::string_view::npos ? middle : middle.substr(pidDash + 1);
    const std::string_view host = pidDash == std::string_view::npos ? std::string_view() : middle.substr(0, pidDash);
    std::uint64_t pid = 0;
    if (!allDigits(pidText) || std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid).ec != std::errc())
        return false;
    if (secondsSinceTouched > kForeignLeftoverSeconds)
        return true;
    return !host.empty() && host == thisHost && !running(pid);
}

}  // namespace sarvoli::platform
