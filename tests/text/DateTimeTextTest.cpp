#include <gtest/gtest.h>

#include "text/DateTimeText.h"

using namespace sarvoli::text;

namespace {

const RegionalSettings kFinnish = RegionalSettings::finnish();
const RegionalSettings kUs{"M/d/yyyy", "h:mm:ss AP", "/", ":"};
const RegionalSettings kIso{"yyyy-MM-dd", "HH:mm:ss", "-", ":"};
const RegionalSettings kBlankInDate{"d. M. yyyy", "H.mm.ss", ".", "."};
const RegionalSettings kSameSeparators{"d.M.yyyy", "H.mm.ss", ".", "."};
const RegionalSettings kLiteralText{"d.MM.yyyy 'г'.", "H時mm分ss秒", ".", ":"};
const RegionalSettings kDesignatorFirst{"yyyy. M. d.", "AP h시 m분 s초", ".", ":"};
constexpr int kNowYear = 2026;

double at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return encodeDateTime({y, mo, d, h, mi, s, ms});
}

struct FormatRow {
    const RegionalSettings* settings;
    double value;
    const char* text;
};

std::ostream& operator<<(std::ostream& os, const FormatRow& r)
{
    return os << '"' << r.text << '"';
}

class DateTimeTextTable : public ::testing::TestWithParam<FormatRow> {};

TEST_P(DateTimeTextTable, writesAndReadsBackTheSameSecond)
{
    const FormatRow& r = GetParam();
    EXPECT_EQ(formatDateTime(r.value, *r.settings), r.text);
    EXPECT_EQ(parseDateTime(r.text, *r.settings, kNowYear), r.value);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, DateTimeTextTable,
    ::testing::Values(FormatRow{&kFinnish, at(2026, 12, 7, 11, 6, 34), "7.12.2026 11:06:34"},
                      FormatRow{&kFinnish, at(2024, 3, 5, 9, 5, 3), "5.3.2024 9:05:03"},
                      FormatRow{&kFinnish, at(2026, 12, 7), "7.12.2026"},
                      FormatRow{&kFinnish, at(1899, 12, 30, 13, 13, 10), "30.12.1899 13:13:10"},
                      FormatRow{&kFinnish, at(2026, 1, 1, 0, 0, 1), "1.1.2026 0:00:01"},
                      FormatRow{&kUs, at(2026, 12, 7, 11, 6, 34), "12/7/2026 11:06:34 AM"},
                      FormatRow{&kUs, at(2026, 12, 7, 23, 6, 34), "12/7/2026 11:06:34 PM"},
                      FormatRow{&kUs, at(2026, 12, 7, 0, 30, 0), "12/7/2026 12:30:00 AM"},
                      FormatRow{&kUs, at(2026, 12, 7, 12, 0, 5), "12/7/2026 12:00:05 PM"},
                      FormatRow{&kIso, at(2026, 3, 5, 9, 5, 3), "2026-03-05 09:05:03"},
                      FormatRow{&kBlankInDate, at(2026, 12, 7, 11, 6, 34), "7. 12. 2026 11.06.34"},
                      FormatRow{&kSameSeparators, at(2026, 12, 7, 11, 6, 34), "7.12.2026 11.06.34"},
                      FormatRow{&kSameSeparators, at(2026, 12, 7), "7.12.2026"},
                      FormatRow{&kLiteralText, at(2026, 3, 5, 14, 7, 8), "5.03.2026 г. 14時07分08秒"},
                      FormatRow{&kLiteralText, at(2026, 3, 5), "5.03.2026 г."},
                      FormatRow{&kDesignatorFirst, at(2026, 3, 5, 0, 7, 8), "2026. 3. 5. AM 12시 7분 8초"}));

TEST(DateTimeText, leavesOutTheTimeOnlyAtMidnight)
{
    EXPECT_EQ(formatDateTime(at(2026, 12, 7, 0, 0, 0, 400), kFinnish), "7.12.2026");
    EXPECT_EQ(formatDateTime(at(2026, 12, 7, 0, 0, 1), kFinnish), "7.12.2026 0:00:01");
    EXPECT_EQ(formatDateTime(at(2026, 12, 7, 0, 1, 0), kFinnish), "7.12.2026 0:01:00");
}

TEST(DateTimeText, dropsTheMillisecondsOfTheValue)
{
    EXPECT_EQ(formatDateTime(at(1899, 12, 30, 13, 13, 10, 906), kFinnish), "30.12.1899 13:13:10");
}

TEST(DateTimeText, readsLenientForms)
{
    EXPECT_EQ(parseDateTime("7.12.2026 11.06.34", kFinnish, kNowYear), at(2026, 12, 7, 11, 6, 34));
    EXPECT_EQ(parseDateTime("07.12.2026 09:05", kFinnish, kNowYear), at(2026, 12, 7, 9, 5));
    EXPECT_EQ(parseDateTime("  7.12.2026  ", kFinnish, kNowYear), at(2026, 12, 7));
    EXPECT_EQ(parseDateTime("7.12 11:06:34", kFinnish, kNowYear), at(2026, 12, 7, 11, 6, 34));
    EXPECT_EQ(parseDateTime("7.12.26", kFinnish, kNowYear), at(2026, 12, 7));
    EXPECT_EQ(parseDateTime("7.12.80", kFinnish, kNowYear), at(1980, 12, 7));
    EXPECT_EQ(parseDateTime("7.12.76", kFinnish, kNowYear), at(1976, 12, 7));
    EXPECT_EQ(parseDateTime("7.12.75", kFinnish, kNowYear), at(2075, 12, 7));
    const RegionalSettings designatorFirst{"d.M.yyyy", "tt h:mm:ss", ".", ":"};
    EXPECT_EQ(formatDateTime(at(2026, 1, 1, 13, 2, 3), designatorFirst), "1.1.2026 PM 1:02:03");
    EXPECT_EQ(parseDateTime("1.1.2026 PM 1:02:03", designatorFirst, kNowYear), at(2026, 1, 1, 13, 2, 3));
    EXPECT_EQ(parseDateTime("1.1.2026 1:02:03 am", kUs, kNowYear), at(2026, 1, 1, 1, 2, 3));
}

TEST(DateTimeText, rejectsWhatIsNoDateWithTheMessageTheUserSees)
{
    const char* bad[] = {"",           "abc",           "7",              "32.12.2026",
                         "29.2.2025",  "7.13.2026",     "7.12.2026 25:00:00", "7.12.2026 11:60",
                         "7.12.2026 x", "7.12.2026 11:06:34 XM", "12/7/2026 13:00:00 PM"};
    for (const char* text : bad) {
        try {
            (void)parseDateTime(text, text[0] == '1' && text[2] == '/' ? kUs : kFinnish, kNowYear);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const DateTimeError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + text + "' is not a valid date and time");
        }
    }
}

TEST(DateTimeText, readsDatesInTheOrderOfTheShortDateFormat)
{
    EXPECT_EQ(parseDateTime("3/4/2026", kUs, kNowYear), at(2026, 3, 4));
    EXPECT_EQ(parseDateTime("3.4.2026", kFinnish, kNowYear), at(2026, 4, 3));
    EXPECT_EQ(parseDateTime("2026-04-03", kIso, kNowYear), at(2026, 4, 3));
}

TEST(DateTimeText, twoDigitYearPicturesAreWidened)
{
    const RegionalSettings shortYear{"dd.MM.yy", "HH:mm:ss", ".", ":"};
    const RegionalSettings widened = withFourDigitYear(shortYear);
    EXPECT_EQ(widened.shortDate, "dd.MM.yyyy");
    EXPECT_EQ(withFourDigitYear(RegionalSettings{"M/d/y", "h:mm:ss AP", "/", ":"}).shortDate, "M/d/yyyy");
    EXPECT_EQ(withFourDigitYear(kFinnish).shortDate, "d.M.yyyy");

    // A date far from now reads back to the same day only with the widened picture.
    const double old = at(1950, 6, 1, 8, 0, 0);
    EXPECT_EQ(parseDateTime(formatDateTime(old, widened), widened, kNowYear), old);
    EXPECT_NE(parseDateTime(formatDateTime(old, shortYear), shortYear, kNowYear), old);
}

}  // namespace
