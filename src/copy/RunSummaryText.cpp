#include "copy/RunSummaryText.h"

namespace sarvoli::copy {

namespace {

// value / unit in tenths, halfway rounded up; value and unit are not negative.
std::string tenths(std::int64_t value, std::int64_t unit)
{
    const std::int64_t t = (value * 10 + unit / 2) / unit;
    return std::to_string(t / 10) + "." + std::to_string(t % 10);
}

std::string twoDigits(std::int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); }

}  // namespace

std::string sizeText(std::int64_t kilobytes)
{
    if (kilobytes < 1000)
        return std::to_string(kilobytes) + " KB";
    if (kilobytes < 1'000'000)
        return tenths(kilobytes, 1000) + " MB";
    // Divide first so that the tenths of very large totals cannot overflow.
    return tenths(kilobytes / 1000, 1000) + " GB";
}

std::string elapsedText(std::int64_t milliseconds, const std::string& timeSeparator)
{
    if (milliseconds < 0)
        milliseconds = 0;
    const std::int64_t ms = milliseconds % 1000;
    const std::int64_t seconds = milliseconds / 1000 % 60;
    const std::int64_t minutes = milliseconds / 60'000 % 60;
    std::string msText = std::to_string(ms);
    msText.insert(0, 3 - msText.size(), '0');
    return std::to_string(minutes) + timeSeparator + twoDigits(seconds) + timeSeparator + msText;
}

std::string summaryText(std::int64_t copiedFiles, std::int64_t failedFiles, std::int64_t kilobytes)
{
    std::string text = std::to_string(copiedFiles) + " tiedostoa kopioitu, kaikkiaan  " + sizeText(kilobytes);
    if (failedFiles > 0)
        text += ", " + std::to_string(failedFiles) + " epäonnistui";
    return text;
}

std::string previewSummaryText(std::int64_t files, std::int64_t failedFiles, std::int64_t kilobytes)
{
    std::string text = std::to_string(files) + " tiedostoa kopioitaisiin, kaikkiaan  " + sizeText(kilobytes);
    if (failedFiles > 0)
        text += ", " + std::to_string(failedFiles) + " epäonnistuisi";
    return text;
}

std::string keptText(std::int64_t kept, std::int64_t heldBack, bool preview)
{
    std::string text;
    if (kept > 0)
        text += ", " + std::to_string(kept) + (preview ? " vanhaa kopiota säilytettäisiin" : " vanhaa kopiota säilytetty");
    if (heldBack > 0)
        text += ", " + std::to_string(heldBack) + " kopiota jätettiin korvaamatta";
    return text;
}

}  // namespace sarvoli::copy
