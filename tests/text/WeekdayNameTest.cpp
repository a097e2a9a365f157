#include <gtest/gtest.h>

#include "text/DateTime.h"
#include "text/WeekdayName.h"

using namespace sarvoli::text;

namespace {

TEST(WeekdayName, namesEveryDayOfAWeek)
{
    // 7 December 2026 is a Monday.
    const double monday = encodeDateTime({2026, 12, 7, 0, 0, 0, 0});
    const char* expected[] = {"Maanantai", "Tiistai", "Keskiviikko", "Torstai",
                              "Perjantai", "Lauantai", "Sunnuntai"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(WeekdayName(monday + i), expected[i]) << i;
}

TEST(WeekdayName, usesTheDateAndNotTheTimeOfDay)
{
    EXPECT_EQ(WeekdayName(0.0), "Lauantai");
    EXPECT_EQ(WeekdayName(0.999), "Lauantai");
    EXPECT_EQ(WeekdayName(encodeDateTime({2026, 12, 7, 11, 6, 34, 0})), "Maanantai");
}

TEST(WeekdayName, countsBackwardsBeforeDayZero)
{
    EXPECT_EQ(WeekdayName(-1.0), "Perjantai");   // 29 December 1899
    EXPECT_EQ(WeekdayName(-1.25), "Perjantai");  // same day, 06:00
    EXPECT_EQ(WeekdayName(-7.0), "Lauantai");
    EXPECT_EQ(WeekdayName(-693593.0), "Maanantai");  // 1 January of year 1
}

}  // namespace
