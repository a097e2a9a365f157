#include <gtest/gtest.h>

#include "text/DateTime.h"

using namespace sarvoli::text;

namespace {

TEST(DateTime, dayZeroIsTheLastDaysOf1899)
{
    EXPECT_EQ(encodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_EQ(encodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
    EXPECT_EQ(encodeDateTime({1970, 1, 1, 0, 0, 0, 0}), 25569.0);
    EXPECT_EQ(encodeDateTime({2026, 12, 7, 12, 0, 0, 0}), 46363.5);
}

TEST(DateTime, timeOfDayBeforeDayZeroCountsForward)
{
    EXPECT_EQ(encodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    const CalendarDateTime dt = decodeDateTime(-1.25);
    EXPECT_EQ(dt, (CalendarDateTime{1899, 12, 29, 6, 0, 0, 0}));
}

TEST(DateTime, roundTripsToTheMillisecond)
{
    const CalendarDateTime samples[] = {
        {2026, 12, 7, 11, 6, 34, 0},  {1899, 12, 30, 13, 13, 10, 906}, {2000, 2, 29, 23, 59, 59, 999},
        {1980, 1, 1, 0, 0, 0, 1},     {2107, 12, 31, 23, 59, 58, 0},   {1, 1, 1, 0, 0, 0, 0},
        {9999, 12, 31, 23, 59, 59, 999}, {1850, 6, 15, 18, 30, 0, 500}};
    for (const CalendarDateTime& dt : samples)
        EXPECT_EQ(decodeDateTime(encodeDateTime(dt)), dt) << dt.year << "-" << dt.month << "-" << dt.day;
}

TEST(DateTime, roundingToTheNextMidnightMovesTheDate)
{
    const CalendarDateTime dt = decodeDateTime(1.0 - 1e-10);
    EXPECT_EQ(dt, (CalendarDateTime{1899, 12, 31, 0, 0, 0, 0}));
}

TEST(DateTime, validatesCalendarFields)
{
    EXPECT_TRUE(isValidCalendarDateTime({2024, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(isValidCalendarDateTime({2023, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(isValidCalendarDateTime({1900, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(isValidCalendarDateTime({2026, 13, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(isValidCalendarDateTime({2026, 4, 31, 0, 0, 0, 0}));
    EXPECT_FALSE(isValidCalendarDateTime({2026, 1, 1, 24, 0, 0, 0}));
    EXPECT_FALSE(isValidCalendarDateTime({2026, 1, 1, 0, 60, 0, 0}));
}

TEST(DateTime, localSecondsGiveTheirCalendarValue)
{
    EXPECT_EQ(dateTimeFromLocalSeconds(0), 25569.0);
    EXPECT_EQ(decodeDateTime(dateTimeFromLocalSeconds(-1)), (CalendarDateTime{1969, 12, 31, 23, 59, 59, 0}));
    EXPECT_EQ(decodeDateTime(dateTimeFromLocalSeconds(1796641594, 250)),
              (CalendarDateTime{2026, 12, 7, 11, 6, 34, 250}));
}

}  // namespace
