#include <gtest/gtest.h>

#include "text/Utf8.h"

using namespace sarvoli::text;

namespace {

TEST(Utf8, cutsFallBetweenWholeCharactersAndStrayBytesStandAlone)
{
    struct Row {
        const char* text;
        std::size_t at;
        std::size_t start;  // of the character that byte `at` belongs to
        std::size_t end;    // of the character that starts there
    };
    const Row rows[] = {
        {"abc", 1, 1, 2},
        {"a\xC3\xA4z", 2, 1, 3},          // inside "ä"
        {"a\xC3\xA4z", 1, 1, 3},
        {"\xE2\x82\xAC!", 2, 0, 3},       // inside "€"
        {"\xF0\x9F\x98\x80", 3, 0, 4},    // inside a four-byte character
        {"X:\\\x95", 3, 3, 4},            // a stray continuation byte is a character of its own
        {"\xC3x", 0, 0, 1},               // a lead byte without its continuation
    };
    for (const Row& r : rows) {
        EXPECT_EQ(characterStart(r.text, r.at), r.start) << r.text << " at " << r.at;
        EXPECT_EQ(characterEnd(r.text, r.start), r.end) << r.text << " at " << r.at;
    }
}

}  // namespace
