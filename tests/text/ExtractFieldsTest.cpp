#include <gtest/gtest.h>

#include "text/ExtractFields.h"

using sarvoli::text::ExtractFields;

namespace {

struct Row {
    const char* text;
    const char* delimiter;
    int first;
    int count;
    const char* expected;
};

std::ostream& operator<<(std::ostream& os, const Row& r)
{
    return os << '"' << r.text << '"' << " " << '"' << r.delimiter << '"' << " " << r.first << " " << r.count << " " << '"' << r.expected << '"';
}

class ExtractFieldsTable : public ::testing::TestWithParam<Row> {};

TEST_P(ExtractFieldsTable, givesTheFieldsAsTheyStandInTheText)
{
    const Row& r = GetParam();
    EXPECT_EQ(ExtractFields(r.text, r.delimiter, r.first, r.count), r.expected)
        << "text '" << r.text << "' delimiter '" << r.delimiter << "' first " << r.first
        << " count " << r.count;
}

// Worked examples, then the values that each caller asks for.
INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, ExtractFieldsTable,
    ::testing::Values(Row{"a|b", "|", 1, 1, "a"}, Row{"a|b", "|", 2, 1, "b"},
                      Row{"a|b", "|", 3, 1, ""}, Row{"a|b", "|", 1, 2, "a|b"},
                      Row{"a|b|c", "|", 2, 5, "b|c"}, Row{"abc", "|", 1, 1, "abc"},
                      Row{"abc", "|", 2, 1, ""}, Row{"a||c", "|", 2, 1, ""},
                      Row{"|b", "|", 1, 1, ""}, Row{"|b", "|", 2, 1, "b"},
                      Row{"a|b|", "|", 1, 2, "a|b"}, Row{"a||", "|", 1, 3, "a|"},
                      Row{"a|b", "", 1, 1, "a|b"}, Row{"a|b", "", 2, 1, ""},
                      Row{"a|b", "|", 0, 1, ""}, Row{"a|b", "|", 1, 0, ""},
                      Row{"120,340", ",", 2, 1, "340"}, Row{"D:\\x\\y", "\\", 1, 2, "D:\\x"},
                      Row{"D:\\x\\y\\", "\\", 2, 9, "x\\y"}, Row{"D:\\x\\y", "\\", 4, 1, ""},
                      Row{"D:\\data\\_7.12.2026 11:06:34", "_", 2, 1, "7.12.2026 11:06:34"},
                      Row{"7.12.2026 11:06:34", " ", 2, 1, "11:06:34"}));

INSTANTIATE_TEST_SUITE_P(
    Callers, ExtractFieldsTable,
    ::testing::Values(
        Row{"114,210", ",", 1, 1, "114"}, Row{"114,210", ",", 2, 1, "210"},
        Row{"D:\\data\\_7.12.2026 11:06:34", "_", 1, 1, "D:\\data\\"},
        Row{"E:\\backup", "_", 1, 1, "E:\\backup"}, Row{".~|.bak", "|", 1, 1, ".~"},
        Row{".~|.bak", "|", 2, 1, ".bak"}, Row{"D:\\Kuvat\\*", "*", 1, 1, "D:\\Kuvat\\"},
        Row{"D:\\Kuvat\\loma.jpg", "*", 1, 1, "D:\\Kuvat\\loma.jpg"},
        Row{"D:\\Users\\matti\\Documents", "\\", 4, 1, "Documents"},
        Row{"D:\\Users\\matti\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k", "\\", 4, 9, "a\\b\\c\\d\\e\\f\\g\\h\\i"},
        Row{"D:\\Users\\matti\\Documents\\Työ\\", "\\", 4, 9, "Documents\\Työ"}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ExtractFieldsTable,
    ::testing::Values(Row{"", "|", 1, 1, ""}, Row{"a|b", "|", -1, 1, ""},
                      Row{"a|b", "|", 1, -3, ""}, Row{"a", "abc", 1, 1, "a"},
                      Row{"x<>y<>z", "<>", 2, 2, "y<>z"}, Row{"aaa", "aa", 2, 1, "a"},
                      Row{"a|b", "|", 2, 2147483647, "b"}));

TEST(ExtractFields, leavesTheCallersTextAlone)
{
    const std::string text = "a|b|c";
    (void)ExtractFields(text, "|", 2, 1);
    EXPECT_EQ(text, "a|b|c");
}

}  // namespace
