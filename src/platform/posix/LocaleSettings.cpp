#include "platform/posix/LocaleSettings.h"

#include <vector>

#include <QString>

namespace sarvoli::platform {

namespace {

// A piece of a Qt date or time format.
struct Token {
    enum Kind { Field, Quoted, Other, Dropped };
    Kind kind;
    QString text;  // Field: the letters in the program's picture language; otherwise literal text
};

bool isAsciiLetter(QChar c) { return c.unicode() < 128 && c.isLetter(); }

// Characters that only frame a dropped field: blanks, brackets and commas.
bool isFraming(QChar c)
{
    return c.isSpace() || c.category() == QChar::Punctuation_Open || c.category() == QChar::Punctuation_Close
           || c == u',' || c == u'\u060C' || c == u'\u3001' || c == u'\uFF0C';
}

// Splits a Qt format into fields, quoted literals and other literal text. The letters Qt
// shares with the Windows picture language stay; "A"/"a" alone and CLDR's day period "B"
// become the AM/PM designator; the time zone "t" and letters that neither language writes
// as a number or designator are dropped.
std::vector<Token> tokenize(const QString& format)
{
    std::vector<Token> tokens;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = format[i];
        if (c == u'\'') {  // '' is a quote, inside quotes or not
            QString literal;
            ++i;
            if (i < n && format[i] == u'\'') {
                literal = QStringLiteral("'");
                ++i;
            } else {
                while (i < n) {
                    if (format[i] != u'\'') {
                        literal += format[i++];
                    } else if (i + 1 < n && format[i + 1] == u'\'') {
                        literal += u'\'';
                        i += 2;
                    } else {
                        ++i;
                        break;
                    }
                }
            }
            tokens.push_back({Token::Quoted, literal});
            continue;
        }
        if (!isAsciiLetter(c)) {
            QString literal;
            while (i < n && format[i] != u'\'' && !isAsciiLetter(format[i]))
                literal += format[i++];
            if (!tokens.empty() && tokens.back().kind == Token::Other)
                tokens.back().text += literal;
            else
                tokens.push_back({Token::Other, literal});
            continue;
        }
        if ((c == u'A' || c == u'a') && i + 1 < n && (format[i + 1] == u'P' || format[i + 1] == u'p')) {
            tokens.push_back({Token::Field, c == u'a' ? QStringLiteral("ap") : QStringLiteral("AP")});
            i += 2;
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && format[i + run] == c)
            ++run;
        const QString letters = format.mid(i, run);
        i += run;
        switch (c.unicode()) {
        case 'd': case 'M': case 'y': case 'h': case 'H': case 'm': case 's':
            tokens.push_back({Token::Field, letters});
            break;
        case 'A': case 'B': tokens.push_back({Token::Field, QStringLiteral("AP")}); break;
        case 'a': tokens.push_back({Token::Field, QStringLiteral("ap")}); break;
        default: tokens.push_back({Token::Dropped, letters}); break;
        }
    }
    return tokens;
}

// Takes the dropped fields out together with the blanks, brackets and commas that frame them;
// a dropped field between two others leaves one blank.
std::vector<Token> withoutDropped(const std::vector<Token>& tokens)
{
    std::vector<Token> out;
    bool dropping = false;  // the field just dropped; framing that follows it goes too
    bool gap = false;       // something stood before the dropped field
    for (const Token& t : tokens) {
        if (t.kind == Token::Dropped) {
            if (!out.empty() && out.back().kind == Token::Other) {
                QString& before = out.back().text;
                while (!before.isEmpty() && isFraming(before.back()))
                    before.chop(1);
                if (before.isEmpty())
                    out.pop_back();
            }
            gap = gap || !out.empty();
            dropping = true;
            continue;
        }
        Token kept = t;
        if (dropping && kept.kind == Token::Other) {
            qsizetype k = 0;
            while (k < kept.text.size() && isFraming(kept.text[k]))
                ++k;
            kept.text.remove(0, k);
            if (kept.text.isEmpty())
                continue;
        }
        if (dropping && gap && kept.kind != Token::Other && out.back().kind != Token::Other)
            out.push_back({Token::Other, QStringLiteral(" ")});
        dropping = false;
        gap = false;
        out.push_back(kept);
    }
    return out;
}

// The program's picture of a Qt format.
std::string pictureOf(const QString& qtFormat)
{
    const std::vector<Token> tokens = withoutDropped(tokenize(qtFormat));
    bool twelveHour = false;
    bool designator = false;
    for (const Token& t : tokens) {
        twelveHour = twelveHour || (t.kind == Token::Field && t.text[0] == u'h');
        designator = designator || (t.kind == Token::Field && t.text.compare(u"ap", Qt::CaseInsensitive) == 0);
    }
    QString picture;
    for (const Token& t : tokens) {
        if (t.kind == Token::Quoted)
            picture += u'\'' + QString(t.text).replace(u'\'', QStringLiteral("''")) + u'\'';
        else if (t.kind == Token::Field && twelveHour && !designator && t.text[0] == u'h')
            picture += QString(t.text).replace(u'h', u'H');  // 2 PM must not read back as 2 AM
        else
            picture += t.text;
    }
    return picture.trimmed().toStdString();
}

// The first punctuation or symbol character of literal text that stands alone between two
// fields of a Qt format; `fallback` when there is none.
std::string separatorOf(const QString& qtFormat, const char* fallback)
{
    QString between;
    bool afterField = false;
    for (const Token& t : withoutDropped(tokenize(qtFormat))) {
        if (t.kind == Token::Other) {
            between += t.text;
        } else if (t.kind == Token::Quoted) {
            afterField = false;
        } else {
            if (afterField) {
                for (qsizetype k = 0; k < between.size(); ++k) {
                    const QChar c = between[k];
                    if (c.isPunct() || c.isSymbol())
                        return QString(c).toStdString();
                }
            }
            afterField = true;
            between.clear();
        }
    }
    return fallback;
}

}  // namespace

text::RegionalSettings regionalSettingsOf(const QLocale& locale)
{
    // The C locale states no preference: take formats that read back without doubt.
    if (locale.language() == QLocale::C)
        return text::RegionalSettings{"yyyy-MM-dd", "HH:mm:ss", "-", ":"};
    const QString date = locale.dateFormat(QLocale::ShortFormat);
    const QString time = locale.timeFormat(QLocale::LongFormat);
    return text::withFourDigitYear(
        text::RegionalSettings{pictureOf(date), pictureOf(time), separatorOf(date, "."), separatorOf(time, ":")});
}

}  // namespace sarvoli::platform
