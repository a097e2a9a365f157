#include <gtest/gtest.h>

#include "copy/KeptCopies.h"
#include "copy/RunSummaryText.h"

using namespace sarvoli::copy;

namespace {

TEST(RunSummaryText, sizeTextStepsBy1000AndRoundsHalfUp)
{
    const std::pair<std::int64_t, const char*> rows[] = {
        {0, "0 KB"},          {999, "999 KB"},        {1000, "1.0 MB"},       {1234, "1.2 MB"},
        {1250, "1.3 MB"},     {1249, "1.2 MB"},       {999'949, "999.9 MB"},  {999'950, "1000.0 MB"},
        {999'999, "1000.0 MB"}, {1'000'000, "1.0 GB"}, {2'550'000, "2.6 GB"}, {2'549'999, "2.5 GB"},
        {123'456'789'012, "123456.8 GB"}};
    for (const auto& [kilobytes, text] : rows)
        EXPECT_EQ(sizeText(kilobytes), text) << kilobytes;
}

TEST(RunSummaryText, elapsedTextShowsMinutesWithinTheHour)
{
    EXPECT_EQ(elapsedText(0, ":"), "0:00:000");
    EXPECT_EQ(elapsedText(1'234, ":"), "0:01:234");
    EXPECT_EQ(elapsedText(59'999, ":"), "0:59:999");
    EXPECT_EQ(elapsedText(((1 * 60 + 2) * 60 + 3) * 1000LL + 45, ":"), "2:03:045");
    EXPECT_EQ(elapsedText(125'007, "."), "2.05.007");
}

TEST(RunSummaryText, summaryCountsFilesAndAddsFailuresOnlyWhenThereAreSome)
{
    EXPECT_EQ(summaryText(12, 0, 1234), "12 tiedostoa kopioitu, kaikkiaan  1.2 MB");
    EXPECT_EQ(summaryText(5, 0, 0), "5 tiedostoa kopioitu, kaikkiaan  0 KB");
    EXPECT_EQ(summaryText(3, 2, 7), "3 tiedostoa kopioitu, kaikkiaan  7 KB, 2 epäonnistui");
}

}  // namespace

namespace {

TEST(KeptCopies, aRunsFolderIsNamedByItsStartInUtcAndSortedByItAndItsNumber)
{
    const std::pair<std::int64_t, const char*> names[] = {
        {0, "1970-01-01T000000Z"},
        {951'782'400, "2000-02-29T000000Z"},           // a leap day of a century divisible by 400
        {1'796'878'799, "2026-12-10T045959Z"},
        {4'102'444'800, "2100-01-01T000000Z"},
        {-1, "1969-12-31T235959Z"},                    // a clock set before 1970
    };
    for (const auto& [seconds, name] : names) {
        EXPECT_EQ(runFolderName(seconds), name) << seconds;
        EXPECT_TRUE(runFolderOrder(name)) << name;
    }
    // Names that are no run's folder are never removed as one.
    for (const char* other : {"notes", "2026-12-09T035959", "2026-12-09T03:59:59Z", "2026-12-09T035959Z-",
                              "2026-12-09T035959Z-0", "2026-12-09T035959Z-x", "2026-12-09T035959Zx"})
        EXPECT_FALSE(runFolderOrder(other)) << other;
    // A second run in the same second comes after the first, the tenth after the second.
    EXPECT_LT(*runFolderOrder("2026-12-09T035959Z"), *runFolderOrder("2026-12-09T035959Z-2"));
    EXPECT_LT(*runFolderOrder("2026-12-09T035959Z-2"), *runFolderOrder("2026-12-09T035959Z-10"));
    EXPECT_LT(*runFolderOrder("2026-12-09T035959Z-10"), *runFolderOrder("2026-12-10T000000Z"));
}

TEST(RunSummaryText, keptAndHeldBackCopiesFollowTheCountsOnlyWhenThereAreSome)
{
    EXPECT_EQ(keptText(0, 0, false), "");
    EXPECT_EQ(keptText(3, 0, false), ", 3 vanhaa kopiota säilytetty");
    EXPECT_EQ(keptText(3, 0, true), ", 3 vanhaa kopiota säilytettäisiin");
    EXPECT_EQ(keptText(0, 250, false), ", 250 kopiota jätettiin korvaamatta");
}

}  // namespace
