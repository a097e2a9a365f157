#include "text/DateTimeText.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "text/WeekdayName.h"

namespace sarvoli::text {

DateTimeError::DateTimeError(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid date and time")
{
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// One element of a picture: a piece of literal text, a field, or the AM/PM designator.
struct PictureToken {
    enum Kind { Literal, Day, Month, Year, Hour24, Hour12, Minute, Second, Designator };
    Kind kind = Literal;
    std::string_view text;  // Literal: the text, its quotes resolved
    int run = 0;            // letters in the field; Designator: 1 writes "A"/"P", 2 "AM"/"PM"
    bool lower = false;     // Designator written in lower case ("ap")
};

// Calls visit(token) for each element of a picture in order; stops when visit returns false.
// Letters that are not picture letters are literal text, as Windows treats them.
template <typename Visit>
bool forEachToken(std::string_view picture, Visit&& visit)
{
    std::size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'') {  // quoted literal; '' inside quotes is a quote
            ++i;
            std::size_t start = i;
            while (i < picture.size()) {
                if (picture[i] != '\'') {
                    ++i;
                    continue;
                }
                if (i > start && !visit(PictureToken{PictureToken::Literal, picture.substr(start, i - start)}))
                    return false;
                if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                    if (!visit(PictureToken{PictureToken::Literal, picture.substr(i, 1)}))
                        return false;
                    i += 2;
                    start = i;
                    continue;
                }
                start = i;
                break;
            }
            if (i >= picture.size() && i > start
                && !visit(PictureToken{PictureToken::Literal, picture.substr(start)}))
                return false;
            ++i;
            continue;
        }
        if ((c == 'A' || c == 'a') && i + 1 < picture.size() && upper(picture[i + 1]) == 'P') {
            if (!visit(PictureToken{PictureToken::Designator, {}, 2, c == 'a'}))
                return false;
            i += 2;
            continue;
        }
        PictureToken::Kind kind = PictureToken::Literal;
        switch (c) {
        case 'd': kind = PictureToken::Day; break;
        case 'M': kind = PictureToken::Month; break;
        case 'y': kind = PictureToken::Year; break;
        case 'H': kind = PictureToken::Hour24; break;
        case 'h': kind = PictureToken::Hour12; break;
        case 'm': kind = PictureToken::Minute; break;
        case 's': kind = PictureToken::Second; break;
        case 't': kind = PictureToken::Designator; break;
        default: break;
        }
        if (kind == PictureToken::Literal) {
            std::size_t end = i + 1;
            while (end < picture.size() && picture[end] != '\'' && !isAsciiLetter(picture[end]))
                ++end;
            if (!visit(PictureToken{PictureToken::Literal, picture.substr(i, end - i)}))
                return false;
            i = end;
            continue;
        }
        int run = 1;
        while (i + static_cast<std::size_t>(run) < picture.size() && picture[i + static_cast<std::size_t>(run)] == c)
            ++run;
        i += static_cast<std::size_t>(run);
        if (!visit(PictureToken{kind, {}, kind == PictureToken::Designator ? (run >= 2 ? 2 : 1) : run}))
            return false;
    }
    return true;
}

void appendNumber(std::string& out, int value, int minDigits)
{
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < minDigits)
        out.append(static_cast<std::size_t>(minDigits) - digits.size(), '0');
    out += digits;
}

void appendDesignator(std::string& out, const PictureToken& t, int hour)
{
    const char* text = hour < 12 ? "AM" : "PM";
    for (int k = 0; k < t.run; ++k)
        out += t.lower ? static_cast<char>(text[k] - 'A' + 'a') : text[k];
}

// Renders a Windows picture.
void renderPicture(std::string& out, std::string_view picture, const CalendarDateTime& dt, DateTimeValue value)
{
    forEachToken(picture, [&](const PictureToken& t) {
        const int width = t.run >= 2 ? 2 : 1;
        switch (t.kind) {
        case PictureToken::Literal: out += t.text; break;
        case PictureToken::Day:
            if (t.run >= 3)
                out += WeekdayName(value);
            else
                appendNumber(out, dt.day, width);
            break;
        case PictureToken::Month: appendNumber(out, dt.month, width); break;
        case PictureToken::Year:
            if (t.run >= 3)
                appendNumber(out, dt.year, 4);
            else
                appendNumber(out, dt.year % 100, width);
            break;
        case PictureToken::Hour24: appendNumber(out, dt.hour, width); break;
        case PictureToken::Hour12: appendNumber(out, dt.hour % 12 == 0 ? 12 : dt.hour % 12, width); break;
        case PictureToken::Minute: appendNumber(out, dt.minute, width); break;
        case PictureToken::Second: appendNumber(out, dt.second, width); break;
        case PictureToken::Designator: appendDesignator(out, t, dt.hour); break;
        }
        return true;
    });
}

// A year of one or two digits, taken within 50 years before or after the current year.
int widenYear(int year, int currentYear)
{
    const int pivot = currentYear - 50;
    int widened = pivot / 100 * 100 + year;
    if (widened < pivot)
        widened += 100;
    return widened;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t k = 0; k < prefix.size(); ++k)
        if (upper(text[k]) != upper(prefix[k]))
            return false;
    return true;
}

// What a picture-guided reading has found so far.
struct Reading {
    CalendarDateTime dt;
    bool twelveHour = false;
    int designator = 0;  // 0 none, 1 AM, 2 PM
};

// Reads the part of `text` from `i` that `picture` writes, exactly as renderPicture writes it
// (a one-letter field may have one or two digits); advances `i`. False when it does not match.
bool readPicture(std::string_view picture, std::string_view text, std::size_t& i, Reading& r, int currentYear)
{
    const auto number = [&](int minDigits, int maxDigits, int& value) {
        int digits = 0;
        value = 0;
        while (i < text.size() && isDigit(text[i]) && digits < maxDigits) {
            value = value * 10 + (text[i++] - '0');
            ++digits;
        }
        return digits >= minDigits && !(i < text.size() && isDigit(text[i]));
    };
    return forEachToken(picture, [&](const PictureToken& t) {
        const int minDigits = t.run >= 2 ? 2 : 1;
        switch (t.kind) {
        case PictureToken::Literal:
            if (text.substr(i, t.text.size()) != t.text)
                return false;
            i += t.text.size();
            return true;
        case PictureToken::Day:
            if (t.run < 3)
                return number(minDigits, 2, r.dt.day);
            for (int day = 0; day < 7; ++day) {  // a weekday name says nothing the date does not
                const std::string name = WeekdayName(day);
                if (text.substr(i, name.size()) == name) {
                    i += name.size();
                    return true;
                }
            }
            return false;
        case PictureToken::Month: return number(minDigits, 2, r.dt.month);
        case PictureToken::Year:
            if (t.run >= 3)
                return number(4, 4, r.dt.year);
            if (!number(minDigits, 2, r.dt.year))
                return false;
            r.dt.year = widenYear(r.dt.year, currentYear);
            return true;
        case PictureToken::Hour24: return number(minDigits, 2, r.dt.hour);
        case PictureToken::Hour12: r.twelveHour = true; return number(minDigits, 2, r.dt.hour);
        case PictureToken::Minute: return number(minDigits, 2, r.dt.minute);
        case PictureToken::Second: return number(minDigits, 2, r.dt.second);
        case PictureToken::Designator: {
            const std::string_view am = t.run == 2 ? "AM" : "A";
            const std::string_view pm = t.run == 2 ? "PM" : "P";
            r.designator = startsWithNoCase(text.substr(i), am) ? 1 : startsWithNoCase(text.substr(i), pm) ? 2 : 0;
            i += am.size();
            return r.designator != 0;
        }
        }
        return false;
    });
}

// Reads a text that formatDateTime wrote under `settings`; nothing when it is not such a text.
std::optional<DateTimeValue> readExactly(std::string_view text, const RegionalSettings& settings, int currentYear)
{
    Reading r;
    std::size_t i = 0;
    if (!readPicture(settings.shortDate, text, i, r, currentYear))
        return std::nullopt;
    if (i < text.size()) {
        if (text[i] != ' ' || !readPicture(settings.longTime, text, ++i, r, currentYear) || i != text.size())
            return std::nullopt;
        if (r.designator != 0) {
            if (r.dt.hour < 1 || r.dt.hour > 12)
                return std::nullopt;
            r.dt.hour = r.dt.hour % 12 + (r.designator == 2 ? 12 : 0);
        }
        if (r.twelveHour && r.designator == 0)  // a 12-hour time without AM/PM cannot be told apart
            return std::nullopt;
    }
    if (!isValidCalendarDateTime(r.dt))
        return std::nullopt;
    return encodeDateTime(r.dt);
}

// Order of day, month and year in a short date picture.
std::vector<PictureToken::Kind> dateFieldOrder(std::string_view picture)
{
    std::vector<PictureToken::Kind> order;
    forEachToken(picture, [&](const PictureToken& t) {
        const bool dateField = t.kind == PictureToken::Day || t.kind == PictureToken::Month
                               || t.kind == PictureToken::Year;
        if (dateField && std::find(order.begin(), order.end(), t.kind) == order.end())
            order.push_back(t.kind);
        return true;
    });
    if (order.size() != 3)
        order = {PictureToken::Day, PictureToken::Month, PictureToken::Year};
    return order;
}

struct Number {
    int value = 0;
    int digits = 0;
};

bool readNumber(std::string_view s, std::size_t& i, Number& n)
{
    n = {};
    while (i < s.size() && isDigit(s[i]) && n.digits < 5) {
        n.value = n.value * 10 + (s[i] - '0');
        ++n.digits;
        ++i;
    }
    return n.digits > 0 && !(i < s.size() && isDigit(s[i]));
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix)
{
    return !prefix.empty() && text.substr(at, prefix.size()) == prefix;
}

// The numbers of a date: two or three; any run of non-digit, non-blank characters (or blanks
// beside such characters) separates them, a bare blank ends the date. A separator directly
// after the last number (as in "7.12.2026." or "2026/") belongs to it. How many were read; 0
// when the text holds no date.
int readDateNumbers(std::string_view text, std::size_t& i, const RegionalSettings& settings, Number (&numbers)[3])
{
    int count = 0;
    while (count < 3) {
        if (!readNumber(text, i, numbers[count]))
            return 0;
        ++count;
        if (count == 3)
            break;
        std::size_t j = i;
        bool punctuation = false;
        while (j < text.size() && !isDigit(text[j])) {
            if (!isBlank(text[j])) {
                if (isAsciiLetter(text[j]))
                    break;
                punctuation = true;
            }
            ++j;
        }
        if (!punctuation || j >= text.size() || !isDigit(text[j]))
            break;
        i = j;
    }
    if (count < 2)
        return 0;
    if (startsWith(text, i, settings.dateSeparator))
        i += settings.dateSeparator.size();
    else if (i < text.size() && (text[i] == '.' || text[i] == '/' || text[i] == '-'))
        ++i;
    return count;
}

// Puts the date's numbers in the order of the short date format; without a year, the current one.
void placeDate(const Number (&numbers)[3], int count, const RegionalSettings& settings, int currentYear,
               CalendarDateTime& dt)
{
    Number year{currentYear, 4};
    int k = 0;
    for (PictureToken::Kind field : dateFieldOrder(settings.shortDate)) {
        if (field == PictureToken::Year && count == 2)
            continue;
        if (field == PictureToken::Day)
            dt.day = numbers[k].value;
        else if (field == PictureToken::Month)
            dt.month = numbers[k].value;
        else
            year = numbers[k];
        ++k;
    }
    dt.year = year.digits <= 2 ? widenYear(year.value, currentYear) : year.value;
}

// Reads the time of day that follows the date: one to three numbers, with an AM/PM designator
// before or after them. False when `rest` is no time.
bool readTimeOfDay(std::string_view rest, const RegionalSettings& settings, CalendarDateTime& dt)
{
    int designator = 0;  // 0 none, 1 AM, 2 PM
    const auto takeDesignator = [&](std::size_t& at) {
        std::size_t end = at;
        while (end < rest.size() && isAsciiLetter(rest[end]))
            ++end;
        const std::string_view word = rest.substr(at, end - at);
        if (word.empty() || word.size() > 2 || (word.size() == 2 && upper(word[1]) != 'M'))
            return false;
        designator = upper(word[0]) == 'A' ? 1 : upper(word[0]) == 'P' ? 2 : 0;
        at = end;
        while (at < rest.size() && isBlank(rest[at]))
            ++at;
        return designator != 0;
    };
    std::size_t j = 0;
    if (isAsciiLetter(rest[j]) && !takeDesignator(j))
        return false;
    int parts[3] = {0, 0, 0};
    int partCount = 0;
    while (partCount < 3) {
        Number n;
        if (!readNumber(rest, j, n) || n.digits > 2)
            return false;
        parts[partCount++] = n.value;
        std::size_t separator = 0;
        if (j < rest.size() && (rest[j] == ':' || rest[j] == '.'))
            separator = 1;
        else if (startsWith(rest, j, settings.timeSeparator))
            separator = settings.timeSeparator.size();
        if (separator == 0 || j + separator >= rest.size() || !isDigit(rest[j + separator]))
            break;
        j += separator;
    }
    while (j < rest.size() && isBlank(rest[j]))
        ++j;
    if (j < rest.size() && designator == 0 && !takeDesignator(j))
        return false;
    if (j != rest.size())
        return false;
    dt.hour = parts[0];
    dt.minute = parts[1];
    dt.second = parts[2];
    if (designator != 0) {
        if (dt.hour < 1 || dt.hour > 12)
            return false;
        dt.hour = dt.hour % 12 + (designator == 2 ? 12 : 0);
    }
    return true;
}

// Reads the forms that other settings or other programs may have written: see parseDateTime.
DateTimeValue readLeniently(std::string_view text, const RegionalSettings& settings, int currentYear)
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    Number numbers[3];
    const int count = readDateNumbers(text, i, settings, numbers);
    if (count == 0)
        throw DateTimeError(text);
    CalendarDateTime dt;
    placeDate(numbers, count, settings, currentYear, dt);
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size() && !readTimeOfDay(text.substr(i), settings, dt))
        throw DateTimeError(text);
    if (!isValidCalendarDateTime(dt))
        throw DateTimeError(text);
    return encodeDateTime(dt);
}

}  // namespace

RegionalSettings withFourDigitYear(RegionalSettings settings)
{
    std::string widened;
    const std::string& p = settings.shortDate;
    bool quoted = false;
    for (std::size_t i = 0; i < p.size();) {
        if (p[i] == '\'') {
            quoted = !quoted;
            widened += p[i++];
            continue;
        }
        if (!quoted && p[i] == 'y') {
            std::size_t run = 0;
            while (i + run < p.size() && p[i + run] == 'y')
                ++run;
            widened += "yyyy";
            i += run;
            continue;
        }
        widened += p[i++];
    }
    settings.shortDate = widened;
    return settings;
}

std::string formatDate(DateTimeValue value, const RegionalSettings& settings)
{
    std::string out;
    renderPicture(out, settings.shortDate, decodeDateTime(value), value);
    return out;
}

std::string formatTime(DateTimeValue value, const RegionalSettings& settings)
{
    std::string out;
    renderPicture(out, settings.longTime, decodeDateTime(value), value);
    return out;
}

std::string formatDateTime(DateTimeValue value, const RegionalSettings& settings)
{
    const CalendarDateTime dt = decodeDateTime(value);
    std::string out;
    renderPicture(out, settings.shortDate, dt, value);
    if (dt.hour != 0 || dt.minute != 0 || dt.second != 0) {
        out += ' ';
        renderPicture(out, settings.longTime, dt, value);
    }
    return out;
}

DateTimeValue parseDateTime(std::string_view text, const RegionalSettings& settings, int currentYear)
{
    // The program's own texts are read by their picture; anything else by the lenient rules.
    if (const auto exact = readExactly(text, settings, currentYear))
        return *exact;
    return readLeniently(text, settings, currentYear);
}

}  // namespace sarvoli::text
