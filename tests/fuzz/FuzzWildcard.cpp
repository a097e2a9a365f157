// The wildcard matcher: any pattern against any name, never slow; "*" and "*.*" match every
// name; a name without wildcards matches itself.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "text/WildcardMask.h"

using sarvoli::text::WildcardMask;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string pattern = in.ConsumeRandomLengthString(256);
    const std::string name = in.ConsumeRemainingBytesAsString();
    (void)WildcardMask(pattern).matches(name);
    FUZZ_CHECK(WildcardMask("*").matches(name) && WildcardMask("*.*").matches(name), name);
    const bool plain = !name.empty() && name.find_first_of("*?.") == std::string::npos && name.back() != ' ';
    if (plain)
        FUZZ_CHECK(WildcardMask(name).matches(name), name);
    return 0;
}
