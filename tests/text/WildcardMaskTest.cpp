#include <gtest/gtest.h>

#include "text/WildcardMask.h"

using sarvoli::text::WildcardMask;

namespace {

struct Row {
    const char* mask;
    const char* name;
    bool matches;
};

std::ostream& operator<<(std::ostream& os, const Row& r)
{
    return os << '"' << r.mask << '"' << " " << '"' << r.name << '"' << " " << r.matches;
}

class WildcardMaskTable : public ::testing::TestWithParam<Row> {};

TEST_P(WildcardMaskTable, matchesLikeTheWindowsDirectorySearch)
{
    const Row& r = GetParam();
    EXPECT_EQ(WildcardMask(r.mask).matches(r.name), r.matches) << "mask '" << r.mask << "' name '" << r.name << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Rules, WildcardMaskTable,
    ::testing::Values(
        // "*.*" and "*" match everything, dot-less names too.
        Row{"*.*", "readme", true}, Row{"*.*", "a.txt", true}, Row{"*.*", ".hidden", true},
        Row{"*", "a.b.c", true},
        // Plain extensions, case-insensitive.
        Row{"*.txt", "a.txt", true}, Row{"*.txt", "A.TXT", true}, Row{"*.TXT", "notes.txt", true},
        Row{"*.txt", "a.txt.bak", false}, Row{"*.txt", "a.b.txt", true}, Row{"*.txt", "txt", false},
        Row{"*.htm", "x.html", false}, Row{"*.doc", "x.docx", false},
        // "*." and a trailing dot: only names without an extension.
        Row{"*.", "readme", true}, Row{"*.", "a.txt", false}, Row{"readme.", "readme", true},
        Row{"readme.", "readme.txt", false}, Row{"a..", "a", true},
        // "?" is one character, or none at a dot or the end.
        Row{"a?.txt", "ab.txt", true}, Row{"a?.txt", "a.txt", true}, Row{"a?.txt", "abc.txt", false},
        Row{"???", "ab", true}, Row{"???", "abcd", false}, Row{"a?c", "a.c", false},
        // "." before "*" or "?" is a dot or the end.
        Row{"f*.*", "f", true}, Row{"f*.*", "foo.bar", true}, Row{"f*.*", "gf.x", false},
        Row{"f.?", "f", true}, Row{"f.?", "f.c", true},
        // "*" before "." runs to the last dot.
        Row{"*.b", "a.b", true}, Row{"a*.b", "a.x.b", true}, Row{"*.tar.gz", "a.tar.gz", true}, Row{"*.tar.gz", "a.gz", false},
        // Star in the middle and literals.
        Row{"re*rt.doc", "report.doc", true}, Row{"re*rt.doc", "report.docx", false},
        Row{"raportti.doc", "RAPORTTI.DOC", true}, Row{"raportti.doc", "raportti2.doc", false},
        // Trailing blanks of the mask do not count; an empty mask matches nothing.
        Row{"*.txt  ", "a.txt", true}, Row{"", "a.txt", false}, Row{"   ", "a", false},
        // Letters beyond ASCII fold too.
        Row{"ä*.TXT", "Äiti.txt", true}, Row{"*Ö.*", "kÖ.md", true}, Row{"å*", "Ålands", true},
        Row{"*ö", "ko", false}));

}  // namespace
