#include "text/DateTimeText.h"

#include <cctype>
#include <vector>

#include "text/WeekdayName.h"

namespace sarvoli::text {

DateTimeError::DateTimeError(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid date and time")
{
}

namespace {

bool isPictureLetter(char c)
{
    switch (c) {
    case 'd': case 'M': case 'y': case 'H': case 'h': case 'm': case 's': case 't':
        return true;
    default:
        return false;
    }
}

void appendNumber(std::string& out, int value, int minDigits)
{
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < minDigits)
        out.append(static_cast<std::size_t>(minDigits) - digits.size(), '0');
    out += digits;
}

// Renders a Windows picture; letters it does not know are copied as they stand.
std::string renderPicture(std::string_view picture, const CalendarDateTime& dt, DateTimeValue value)
{
    std::string out;
    std::size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'') {  // quoted literal; '' inside quotes is a quote
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        out += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += picture[i++];
            }
            continue;
        }
        if ((c == 'A' || c == 'a') && i + 1 < picture.size()
            && (picture[i + 1] == 'P' || picture[i + 1] == 'p')) {
            const bool upper = c == 'A';
            out += dt.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
            i += 2;
            continue;
        }
        if (!isPictureLetter(c)) {
            out += c;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        i += run;
        const int width = run >= 2 ? 2 : 1;
        const int hour12 = dt.hour % 12 == 0 ? 12 : dt.hour % 12;
        switch (c) {
        case 'd':
            if (run >= 3)
                out += WeekdayName(value);
            else
                appendNumber(out, dt.day, width);
            break;
        case 'M': appendNumber(out, dt.month, width); break;
        case 'y':
            if (run >= 3)
                appendNumber(out, dt.year, 4);
            else
                appendNumber(out, dt.year % 100, width);
            break;
        case 'H': appendNumber(out, dt.hour, width); break;
        case 'h': appendNumber(out, hour12, width); break;
        case 'm': appendNumber(out, dt.minute, width); break;
        case 's': appendNumber(out, dt.second, width); break;
        case 't':
            out += dt.hour < 12 ? (run >= 2 ? "AM" : "A") : (run >= 2 ? "PM" : "P");
            break;
        default: break;
        }
    }
    return out;
}

// Order of day, month and year in a short date picture, by their first letters.
std::vector<char> dateFieldOrder(std::string_view picture)
{
    std::vector<char> order;
    bool quoted = false;
    for (char c : picture) {
        if (c == '\'')
            quoted = !quoted;
        else if (!quoted && (c == 'd' || c == 'M' || c == 'y')) {
            bool seen = false;
            for (char o : order)
                seen = seen || o == c;
            if (!seen)
                order.push_back(c);
        }
    }
    if (order.size() != 3)
        order = {'d', 'M', 'y'};
    return order;
}

struct Number {
    int value = 0;
    int digits = 0;
};

bool readNumber(std::string_view s, std::size_t& i, Number& n)
{
    n = {};
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && n.digits < 5) {
        n.value = n.value * 10 + (s[i] - '0');
        ++n.digits;
        ++i;
    }
    return n.digits > 0 && !(i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])));
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
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
    return renderPicture(settings.shortDate, decodeDateTime(value), value);
}

std::string formatTime(DateTimeValue value, const RegionalSettings& settings)
{
    return renderPicture(settings.longTime, decodeDateTime(value), value);
}

std::string formatDateTime(DateTimeValue value, const RegionalSettings& settings)
{
    const CalendarDateTime dt = decodeDateTime(value);
    std::string out = renderPicture(settings.shortDate, dt, value);
    if (dt.hour != 0 || dt.minute != 0 || dt.second != 0) {
        out += ' ';
        out += renderPicture(settings.longTime, dt, value);
    }
    return out;
}

DateTimeValue parseDateTime(std::string_view text, const RegionalSettings& settings, int currentYear)
{
    const auto fail = [&]() -> DateTimeError { return DateTimeError(text); };
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;

    // Date: two or three numbers; any run of non-digit, non-blank characters (or blanks
    // beside such characters) separates them, a bare blank ends the date.
    Number numbers[3];
    int count = 0;
    while (count < 3) {
        if (!readNumber(text, i, numbers[count]))
            throw fail();
        ++count;
        if (count == 3)
            break;
        std::size_t j = i;
        bool punctuation = false;
        while (j < text.size() && !std::isdigit(static_cast<unsigned char>(text[j]))) {
            if (!isBlank(text[j])) {
                if (std::isalpha(static_cast<unsigned char>(text[j])))
                    break;
                punctuation = true;
            }
            ++j;
        }
        if (!punctuation || j >= text.size() || !std::isdigit(static_cast<unsigned char>(text[j])))
            break;
        i = j;
    }
    if (count < 2)
        throw fail();
    // A separator directly after the last date number (as in "7.12.2026." or "2026/") belongs to it.
    if (i < text.size() && (text[i] == settings.dateSeparator || text[i] == '.' || text[i] == '/'
                            || text[i] == '-'))
        ++i;

    CalendarDateTime dt;
    const std::vector<char> order = dateFieldOrder(settings.shortDate);
    Number year{currentYear, 4};
    int k = 0;
    for (char field : order) {
        if (field == 'y' && count == 2)
            continue;
        if (field == 'd')
            dt.day = numbers[k].value;
        else if (field == 'M')
            dt.month = numbers[k].value;
        else
            year = numbers[k];
        ++k;
    }
    dt.year = year.value;
    if (year.digits <= 2) {  // two-digit years fall within 50 years before or after now
        const int pivot = currentYear - 50;
        dt.year = pivot / 100 * 100 + year.value;
        if (dt.year < pivot)
            dt.year += 100;
    }

    // Time: optional.
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size()) {
        std::string_view rest = text.substr(i);
        std::string_view designator;
        // The designator may stand before or after the numbers.
        auto takeDesignator = [&](std::string_view word) {
            if (equalsNoCase(word, "AM") || equalsNoCase(word, "A") || equalsNoCase(word, "PM")
                || equalsNoCase(word, "P")) {
                designator = word;
                return true;
            }
            return false;
        };
        std::size_t j = 0;
        auto readWord = [&](std::size_t& at) {
            const std::size_t start = at;
            while (at < rest.size() && std::isalpha(static_cast<unsigned char>(rest[at])))
                ++at;
            return rest.substr(start, at - start);
        };
        if (j < rest.size() && std::isalpha(static_cast<unsigned char>(rest[j]))) {
            if (!takeDesignator(readWord(j)))
                throw fail();
            while (j < rest.size() && isBlank(rest[j]))
                ++j;
        }
        int parts[3] = {0, 0, 0};
        int partCount = 0;
        while (partCount < 3) {
            Number n;
            if (!readNumber(rest, j, n) || n.digits > 2)
                throw fail();
            parts[partCount++] = n.value;
            if (j < rest.size()
                && (rest[j] == ':' || rest[j] == '.' || rest[j] == settings.timeSeparator)
                && j + 1 < rest.size() && std::isdigit(static_cast<unsigned char>(rest[j + 1])))
                ++j;
            else
                break;
        }
        while (j < rest.size() && isBlank(rest[j]))
            ++j;
        if (j < rest.size() && designator.empty()) {
            if (!takeDesignator(readWord(j)))
                throw fail();
            while (j < rest.size() && isBlank(rest[j]))
                ++j;
        }
        if (j != rest.size())
            throw fail();
        dt.hour = parts[0];
        dt.minute = parts[1];
        dt.second = parts[2];
        if (!designator.empty()) {
            if (dt.hour < 1 || dt.hour > 12)
                throw fail();
            const bool pm = std::toupper(static_cast<unsigned char>(designator[0])) == 'P';
            dt.hour = dt.hour % 12 + (pm ? 12 : 0);
        }
    }
    if (!isValidCalendarDateTime(dt))
        throw fail();
    return encodeDateTime(dt);
}

}  // namespace sarvoli::text
