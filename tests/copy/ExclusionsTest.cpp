#include <gtest/gtest.h>

#include "copy/Exclusions.h"

using sarvoli::copy::Exclusions;

namespace {

TEST(Exclusions, splitsTheFieldIntoAtMostTwoStrings)
{
    struct Row {
        const char* field;
        const char* first;
        const char* second;
    };
    const Row rows[] = {{".~|.bak", ".~", ".bak"}, {"abc", "abc", "/"}, {"", "/", "/"}, {"|", "", "/"},
                        {"a|b|c", "a", "b"},       {"|x", "", "x"},     {"x|", "x", "/"}};
    for (const Row& r : rows) {
        const Exclusions e(r.field);
        EXPECT_EQ(e.first(), r.first) << r.field;
        EXPECT_EQ(e.second(), r.second) << r.field;
    }
}

TEST(Exclusions, excludeNamesHoldingEitherStringCaseSensitively)
{
    const Exclusions standard(".~|.bak");
    EXPECT_TRUE(standard.excludes("report.bak"));
    EXPECT_TRUE(standard.excludes("x.~doc"));
    EXPECT_TRUE(standard.excludes("a.bak.txt"));
    EXPECT_FALSE(standard.excludes("REPORT.BAK"));
    EXPECT_FALSE(standard.excludes("report.txt"));

    for (const char* field : {"", "|", "|x"})
        EXPECT_FALSE(Exclusions(field).excludes("report.doc")) << field;
    EXPECT_TRUE(Exclusions("|x").excludes("box"));
    EXPECT_FALSE(Exclusions("a|b|c").excludes("c.txt")) << "a third string is ignored";
}

}  // namespace
