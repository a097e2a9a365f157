// The date-time reader under several regional settings: a text either reads as a valid date
// and time or is refused with the user's message; what it reads as is written again as a text
// that reads back to the same second.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "text/DateTimeText.h"

using namespace sarvoli::text;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const RegionalSettings kSettings[] = {
        RegionalSettings::finnish(),
        {"M/d/yyyy", "h:mm:ss AP", "/", ":"},
        {"yyyy-MM-dd", "HH:mm:ss", "-", ":"},
        {"d.MM.yyyy 'г'.", "H時mm分ss秒", ".", ":"},
        {"yyyy. M. d.", "AP h시 m분 s초", ".", ":"},
    };
    FuzzedDataProvider in(data, size);
    const RegionalSettings& settings = kSettings[in.ConsumeIntegralInRange<std::size_t>(0, 4)];
    const int year = in.ConsumeIntegralInRange<int>(1, 9999);
    const std::string text = in.ConsumeRemainingBytesAsString();
    DateTimeValue value = 0;
    try {
        value = parseDateTime(text, settings, year);
    } catch (const DateTimeError& e) {
        // The message quotes the text (up to a NUL byte, where a C string ends).
        const std::string message = e.what();
        const std::string quoted = text.substr(0, text.find('\0'));
        FUZZ_CHECK(message == "'" + quoted + "' is not a valid date and time" || text.find('\0') != std::string::npos,
                   text);
        return 0;
    }
    const std::string written = formatDateTime(value, settings);
    DateTimeValue again = 0;
    try {
        again = parseDateTime(written, settings, year);
    } catch (const DateTimeError&) {
        FUZZ_CHECK(false, text + " -> " + written);
    }
    FUZZ_CHECK(again == value, text + " -> " + written);
    return 0;
}
