// The INI text: reading never fails; a value written reads back as it is stored; writing or
// removing one key changes no other; parse, write, parse again gives the same values.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "settings/IniText.h"

using namespace sarvoli::settings;

namespace {

// A name that the file can hold: no line break, "=" or bracket, not a comment or a section,
// only spaces around it (the file trims tabs around names too, a lookup only spaces).
bool writable(const std::string& name, bool section)
{
    if (name.find_first_of(section ? "]\r\n" : "=\r\n") != std::string::npos)
        return false;
    const std::size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos)
        return false;
    const std::size_t last = name.find_last_not_of(' ');
    const auto blank = [](char c) { return c == '\t' || c == '\v'; };
    if (blank(name[first]) || blank(name[last]))
        return false;
    return section || (name[first] != ';' && name[first] != '[');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(16);
    const std::string key = in.ConsumeRandomLengthString(16);
    const std::string other = in.ConsumeRandomLengthString(16);
    const std::string value = in.ConsumeRandomLengthString(64);
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::string before = iniValue(text, section, other);
    FUZZ_CHECK(iniValue(text, section, key).size() <= kMaxValueLength, text);
    if (!writable(section, true) || !writable(key, false) || !writable(other, false))
        return 0;
    const bool same = iniValue("[s]\r\n" + key + "=1\r\n", "s", other) == "1";

    const std::string written = withIniValue(text, section, key, value);
    FUZZ_CHECK(iniValue(written, section, key) == readBackForm(value), written);
    if (!same)
        FUZZ_CHECK(iniValue(written, section, other) == before, written);
    FUZZ_CHECK(withIniValue(written, section, key, value) == written, written);

    const std::string removed = withoutIniKey(written, section, key);
    if (!same)
        FUZZ_CHECK(iniValue(removed, section, other) == before, removed);
    return 0;
}
