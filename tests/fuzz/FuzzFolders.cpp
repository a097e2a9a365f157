// The folder picker's rule and the same-path rule: a chosen folder ends in a backslash and
// stands at the start of the name; the same-path command is the same done twice, and puts the
// destination below a drive.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "folders/FolderRules.h"

using namespace sarvoli::folders;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string source = in.ConsumeRandomLengthString(200);
    const std::string name = in.ConsumeRemainingBytesAsString();

    if (const auto folder = chosenFolder(name)) {
        FUZZ_CHECK(!folder->empty() && folder->back() == '\\', name);
        const std::string stem = folder->substr(0, folder->size() - 1);
        FUZZ_CHECK(name.starts_with(*folder) || name.starts_with(stem), name);
    }
    const auto once = samePathDestination(source, name);
    FUZZ_CHECK(once.has_value() == !source.empty(), source);
    // Twice is once where the destination's drive stands at its start; a ":\" further in is
    // taken as a drive by the rule's own words, and its first three characters are no drive.
    const std::size_t drive = name.find(":\\");
    if (once && (drive == std::string::npos || drive == 1)) {
        FUZZ_CHECK(samePathDestination(source, *once) == once, source + " | " + name);
        FUZZ_CHECK(once->starts_with("X:\\") || once->find(":\\") != std::string::npos || name.find(":\\") != std::string::npos,
                   source + " | " + name);
    }
    return 0;
}
