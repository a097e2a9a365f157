#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>

#include "platform/posix/LocaleSettings.h"
#include "text/DateTimeText.h"

using sarvoli::platform::regionalSettingsOf;
using namespace sarvoli::text;

namespace {

TEST(LocaleSettings, dropTheTimeZoneWithWhatFramesItAndKeepLiteralText)
{
    struct Row {
        const char* locale;
        RegionalSettings expected;
    };
    const Row rows[] = {
        {"C", {"yyyy-MM-dd", "HH:mm:ss", "-", ":"}},
        {"fi_FI", {"d.M.yyyy", "H.mm.ss", ".", "."}},
        {"en_US", {"M/d/yyyy", "h:mm:ss AP", "/", ":"}},
        {"de_DE", {"dd.MM.yyyy", "HH:mm:ss", ".", ":"}},
        {"es_ES", {"d/M/yyyy", "H:mm:ss", "/", ":"}},
        {"sq_AL", {"d.M.yyyy", "h:mm:ss AP", ".", ":"}},
        {"zh_TW", {"yyyy/M/d", "APh:mm:ss", "/", ":"}},
        {"ja_JP", {"yyyy/MM/dd", "H時mm分ss秒", "/", ":"}},
        {"ko_KR", {"yyyy. M. d.", "AP h시 m분 s초", ".", ":"}},
        {"bg_BG", {"d.MM.yyyy 'г'.", "H:mm:ss 'ч'.", ".", ":"}},
        {"ar_EG", {"d\u200F/M\u200F/yyyy", "h:mm:ss AP", "/", ":"}},
    };
    for (const Row& r : rows) {
        const RegionalSettings s = regionalSettingsOf(QLocale(QString::fromLatin1(r.locale)));
        EXPECT_EQ(s.shortDate, r.expected.shortDate) << r.locale;
        EXPECT_EQ(s.longTime, r.expected.longTime) << r.locale;
        EXPECT_EQ(s.dateSeparator, r.expected.dateSeparator) << r.locale;
        EXPECT_EQ(s.timeSeparator, r.expected.timeSeparator) << r.locale;
    }
}

// ASCII letters of the quoted literals of a Qt format: the only letters a text may show
// besides AM and PM.
QString quotedLetters(const QString& qtFormat)
{
    QString letters;
    for (const auto& m : QRegularExpression(QStringLiteral("'([^']*)'")).globalMatch(qtFormat))
        letters += m.captured(1);
    return letters;
}

// Why a text written under a locale's settings is not clean, or nothing when it is.
std::string faultOf(const std::string& text, const QString& allowedLetters)
{
    const QString t = QString::fromStdString(text);
    for (const char* framing : {"()", "[]", "( )", "[ ]"})
        if (t.contains(QLatin1String(framing)))
            return "empty brackets";
    if (t != t.trimmed() || t.endsWith(u',') || t.contains(QLatin1String("  ")))
        return "stray blank or comma";
    QString rest = t;
    rest.remove(QStringLiteral("AM")).remove(QStringLiteral("PM"));
    for (QChar c : rest)
        if (c.unicode() < 128 && c.isLetter() && !allowedLetters.contains(c))
            return std::string("stray letter ") + static_cast<char>(c.unicode());
    return {};
}

TEST(LocaleSettings, everyLocaleWritesCleanTextsThatReadBackToTheSecond)
{
    const double values[] = {
        encodeDateTime({2026, 3, 5, 0, 0, 0, 0}),       // midnight: the date alone
        encodeDateTime({2026, 3, 5, 9, 5, 3, 0}),       // a morning
        encodeDateTime({2026, 3, 5, 14, 7, 8, 0}),      // an afternoon
        encodeDateTime({2026, 12, 25, 23, 59, 58, 0}),  // two-digit day and month
        encodeDateTime({1899, 12, 30, 13, 13, 10, 0}),  // the date picker's empty value
    };
    std::string failures;
    int checked = 0;
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const RegionalSettings s = regionalSettingsOf(locale);
        const QString letters = quotedLetters(locale.dateFormat(QLocale::ShortFormat))
                                + quotedLetters(locale.timeFormat(QLocale::LongFormat));
        for (const double v : values) {
            const std::string text = formatDateTime(v, s);
            std::string fault = faultOf(text, letters);
            if (fault.empty()) {
                try {
                    if (parseDateTime(text, s, 2026) != v)
                        fault = "reads back as another time";
                } catch (const DateTimeError&) {
                    fault = "does not read back";
                }
            }
            if (!fault.empty())
                failures += locale.name().toStdString() + " '" + text + "': " + fault + "\n";
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
    EXPECT_EQ(failures, "");
}

}  // namespace
