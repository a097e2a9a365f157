// ExtractFields: never longer than its text; nothing for a first field or a count below one;
// all fields from the first are the text itself, less one trailing delimiter.
#include <fuzzer/FuzzedDataProvider.h>

#include <limits>

#include "FuzzCheck.h"
#include "text/ExtractFields.h"

using sarvoli::text::ExtractFields;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::int32_t first = in.ConsumeIntegralInRange<std::int32_t>(-2, 12);
    const std::int32_t count = in.ConsumeIntegralInRange<std::int32_t>(-2, 12);
    const std::string delimiter = in.ConsumeRandomLengthString(3);
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::string part = ExtractFields(text, delimiter, first, count);
    FUZZ_CHECK(part.size() <= text.size(), text);
    if (first < 1 || count < 1)
        FUZZ_CHECK(part.empty(), text);
    if (!delimiter.empty()) {
        std::string whole = text;
        if (whole.size() >= delimiter.size() && whole.ends_with(delimiter))
            whole.resize(whole.size() - delimiter.size());
        FUZZ_CHECK(ExtractFields(text, delimiter, 1, std::numeric_limits<std::int32_t>::max()) == whole, text);
    }
    return 0;
}
