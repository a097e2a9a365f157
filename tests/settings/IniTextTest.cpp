#include <gtest/gtest.h>

#include "settings/IniText.h"

using namespace sarvoli::settings;

namespace {

struct ReadRow {
    const char* text;
    const char* section;
    const char* key;
    const char* value;
};

TEST(IniText, readsWhatTheProfileFunctionsRead)
{
    const ReadRow rows[] = {
        {"[S]\r\nk=v\r\n", "S", "k", "v"},
        {"[S]\nk=v", "s", "K", "v"},                                 // names without regard to case
        {"[S]\rk=v\ra=b", "S", "a", "b"},                            // CR alone ends a line
        {"  [ S ] trailing\r\n \t k \t= \t v w \t\r\n", "S", "k", "v w"},  // blanks trimmed, text after ] ignored
        {"[S\r\nk=v\r\n", "S", "k", "v"},                            // a missing ] is tolerated
        {"[S]\r\nk=\"  v \"\r\n", "S", "k", "  v "},                 // outer quotes go, inner blanks stay
        {"[S]\r\nk='v'\r\n", "S", "k", "v"},
        {"[S]\r\nk=\"v'\r\n", "S", "k", "\"v'"},                     // mismatched quotes stay
        {"[S]\r\nk=\"\r\n", "S", "k", "\""},
        {"[S]\r\n;k=v\r\n", "S", "k", ""},                           // comment lines are never found
        {"[S]\r\n  ; k=v\r\nk=w\r\n", "S", "k", "w"},
        {"[S]\r\n#k=v\r\n", "S", "#k", "v"},                         // # is ordinary text
        {"[S]\r\nk=a;b\r\n", "S", "k", "a;b"},
        {"k=v\r\n[S]\r\n", "", "k", ""},                             // lines before any section are unreachable
        {"[S]\r\nk\r\n", "S", "k", ""},                              // a line without = is no key
        {"[S]\r\nk=1\r\nk=2\r\n", "S", "k", "1"},                    // the first key wins
        {"[S]\r\na=1\r\n[S]\r\nk=2\r\n", "S", "k", ""},              // a later section is never searched
        {"[T]\r\nk=v\r\n", "S", "k", ""},
        {"", "S", "k", ""},
        {"\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", "v"},               // a UTF-8 mark is no text
        {"[S]\r\nk==v\r\n", "S", "k", "=v"},
        {"[S]\r\nk = \r\n", "S", "k", ""},
    };
    for (const ReadRow& r : rows)
        EXPECT_EQ(iniValue(r.text, r.section, r.key), r.value) << r.text;
}

TEST(IniText, cutsLongValuesAtWholeCharacters)
{
    const std::string long3000(3000, 'x');
    EXPECT_EQ(iniValue("[S]\r\nk=" + long3000 + "\r\n", "S", "k"), std::string(2047, 'x'));
    const std::string umlauts = std::string(2046, 'x') + "äö";  // ä takes bytes 2047 and 2048
    EXPECT_EQ(iniValue("[S]\r\nk=" + umlauts, "S", "k"), std::string(2046, 'x'));
}

struct WriteRow {
    const char* before;
    const char* section;
    const char* key;
    const char* value;  // nullptr: remove the key
    const char* after;
};

TEST(IniText, editsInPlaceAsTheProfileFunctionsDo)
{
    const WriteRow rows[] = {
        {"", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"[S]\r\nk=v\r\n", "S", "k", "w", "[S]\r\nk=w\r\n"},
        {"[S]\r\n  Key = old \r\n", "s", "KEY", "new", "[S]\r\nKey=new\r\n"},  // the stored spelling stays
        {"[S]\r\nk=v", "S", "k", "w", "[S]\r\nk=w\r\n"},                      // a rewritten last line gains CRLF
        {"[S]\na=1\n; note\n\n[T]\n", "S", "b", "2", "[S]\na=1\nb=2\r\n; note\n\n[T]\n"},  // after the last key
        {"[S]\n; note\n", "S", "b", "2", "[S]\nb=2\r\n; note\n"},
        {"[S]\r\na=1", "T", "b", "2", "[S]\r\na=1\r\n[T]\r\nb=2\r\n"},      // a new section at the end
        {"[S]\r\nk=1\r\nk=2\r\n", "S", "k", "3", "[S]\r\nk=3\r\nk=2\r\n"},  // the first of duplicate keys
        {"[S]\r\na=1\r\n[S]\r\n", "S", "b", "2", "[S]\r\na=1\r\nb=2\r\n[S]\r\n"},
        {"[S]\r\nk=v\r\n", "S", "k", "two\r\nlines\nthree", "[S]\r\nk=two lines three\r\n"},
        {"[S]\r\na=1\r\nk=v\r\nb=2\r\n", "S", "k", nullptr, "[S]\r\na=1\r\nb=2\r\n"},
        {"[S]\r\na=1\r\n", "S", "k", nullptr, "[S]\r\na=1\r\n"},
    };
    for (const WriteRow& r : rows) {
        const std::string after =
            r.value ? withIniValue(r.before, r.section, r.key, r.value) : withoutIniKey(r.before, r.section, r.key);
        EXPECT_EQ(after, r.after) << r.before;
    }
    EXPECT_EQ(readBackForm(" \"a\r\nb\" "), "a b");
}

}  // namespace
