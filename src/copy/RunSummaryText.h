#pragma once

#include <cstdint>
#include <string>

namespace sarvoli::copy {

// The run total in units of 1000 bytes as shown in the summary: "999 KB", "1.2 MB",
// "2.6 GB"; one decimal rounded half up, "." whatever the locale, units step by 1000.
std::string sizeText(std::int64_t kilobytes);

// The elapsed time of a run: minutes within the hour, separator, two-digit seconds,
// separator, three-digit milliseconds. Whole hours are not shown.
std::string elapsedText(std::int64_t milliseconds, const std::string& timeSeparator);

// The summary line: count of copied files, the total, and ", N epäonnistui" when copies failed.
std::string summaryText(std::int64_t copiedFiles, std::int64_t failedFiles, std::int64_t kilobytes);
// The summary line of a preview: what a run would copy, and ", N epäonnistuisi" for the
// failures it can already tell.
std::string previewSummaryText(std::int64_t files, std::int64_t failedFiles, std::int64_t kilobytes);
// What follows the counts where old copies were kept (or, in a preview, would be), and where
// the guard left copies unreplaced; empty where neither.
std::string keptText(std::int64_t kept, std::int64_t heldBack, bool preview);

}  // namespace sarvoli::copy
