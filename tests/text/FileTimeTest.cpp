#include <gtest/gtest.h>

#include "text/DateTime.h"
#include "text/FileTime.h"

using namespace sarvoli::text;

namespace {

std::int64_t localSeconds(int y, int mo, int d, int h, int mi, int s)
{
    return daysFromCivil(y, mo, d) * 86'400 + h * 3600 + mi * 60 + s;
}

TEST(FileTime, truncatesOddSeconds)
{
    const FileTime odd = FileTime::fromLocalSeconds(localSeconds(2026, 12, 7, 11, 5, 33));
    const FileTime even = FileTime::fromLocalSeconds(localSeconds(2026, 12, 7, 11, 5, 32));
    EXPECT_EQ(odd, even);
    EXPECT_EQ(decodeDateTime(odd.toDateTime()), (CalendarDateTime{2026, 12, 7, 11, 5, 32, 0}));
    EXPECT_LT(even, FileTime::fromLocalSeconds(localSeconds(2026, 12, 7, 11, 5, 34)));
}

TEST(FileTime, appliesTheGivenUtcOffset)
{
    const std::int64_t utc = localSeconds(2026, 12, 7, 9, 5, 32);
    EXPECT_EQ(FileTime::fromUtc(utc, 2 * 3600), FileTime::fromLocalSeconds(localSeconds(2026, 12, 7, 11, 5, 32)));
}

TEST(FileTime, packsIntoTheMsDosForm)
{
    // 2026-12-07 11:05:32: date (46 << 9 | 12 << 5 | 7), time (11 << 11 | 5 << 5 | 16).
    const FileTime t = FileTime::fromLocalSeconds(localSeconds(2026, 12, 7, 11, 5, 32));
    const std::uint32_t packed = ((46u << 9 | 12u << 5 | 7u) << 16) | (11u << 11 | 5u << 5 | 16u);
    ASSERT_TRUE(t.dosPacked().has_value());
    EXPECT_EQ(*t.dosPacked(), packed);
    EXPECT_EQ(FileTime::fromDosPacked(packed), t);
}

TEST(FileTime, msDosRangeIs1980To2107)
{
    EXPECT_EQ(FileTime::fromLocalSeconds(localSeconds(1980, 1, 1, 0, 0, 0)).dosPacked(), (1u << 5 | 1u) << 16);
    EXPECT_TRUE(FileTime::fromLocalSeconds(localSeconds(2107, 12, 31, 23, 59, 58)).dosPacked().has_value());
    EXPECT_FALSE(FileTime::fromLocalSeconds(localSeconds(1979, 12, 31, 23, 59, 58)).dosPacked().has_value());
    EXPECT_FALSE(FileTime::fromLocalSeconds(localSeconds(2108, 1, 1, 0, 0, 0)).dosPacked().has_value());
    EXPECT_FALSE(FileTime::fromDosPacked(0).has_value());  // month 0 is no date
}

TEST(FileTime, timesOutsideTheMsDosRangeStillCompareByAge)
{
    const FileTime epoch = FileTime::fromLocalSeconds(0);
    const FileTime before = FileTime::fromLocalSeconds(-3);
    EXPECT_LT(before, epoch);
    EXPECT_EQ(before.localSeconds(), -4);
    EXPECT_EQ(decodeDateTime(epoch.toDateTime()), (CalendarDateTime{1970, 1, 1, 0, 0, 0, 0}));
}

}  // namespace
