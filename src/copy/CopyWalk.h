#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "copy/Exclusions.h"
#include "copy/RunHost.h"
#include "platform/Platform.h"
#include "text/RegionalSettings.h"

namespace sarvoli::copy {

// The window's texts that a run works from; they are read once, when the run begins, so
// that edits during the run cannot send later files elsewhere.
struct RunTexts {
    std::string source;       // source folder (the folder box text the run started with)
    std::string destination;  // destination folder
    std::string mask;         // file mask
    std::string exclusions;   // exclusion field
    bool subfolders = true;
};

// What a run did.
struct RunTotals {
    std::int64_t copied = 0;     // files copied
    std::int64_t failed = 0;     // files whose copy failed
    std::int64_t kilobytes = 0;  // sum of each copied file's size / 1000
    bool aborted = false;
};

// The recursive walk: copies every file of the source tree that matches the mask, whose
// name holds no exclusion string, and whose copy is missing or older, recreating the
// folders below the destination as files need them. One log line per copied file: the
// destination path, three blanks and the source file's time; a failed copy's line adds
// three blanks, "VIRHE: " and the reason. Before run() returns, the data of every copy it
// counts is on the device.
class CopyWalk {
public:
    // `eventInterval`: how often, at the least, the window gets to handle its input.
    CopyWalk(platform::Platform& platform, RunHost& host, text::RegionalSettings settings,
             std::int64_t eventIntervalNanos = 5'000'000);

    RunTotals run(const RunTexts& texts);
    // How many copies, at the most, wait for the device before the walk lets them reach it.
    static constexpr std::int64_t kFinishEvery = 8192;
    // What the run in hand has done so far.
    const RunTotals& totals() const { return m_totals; }

    // The destination folder of a source folder path: the destination root followed by the
    // part of the folder path below the source root, ending in a backslash.
    static std::string destinationFolder(std::string_view destinationRoot, std::string_view folderPath,
                                         std::size_t sourceRootLength);

private:
    // Walks one folder; false when the run is to stop.
    bool CopyFolder(const std::string& folder, bool recurse);
    void copyEntry(const platform::DirEntry& entry, const std::string& folderPath,
                   const std::string& destinationFolder);
    bool isDestinationRoot(const std::string& folderPath);
    // Whether a run into the destination could write into the source tree.
    bool destinationHoldsSource(const std::string& sourceRoot);
    // Puts the copies made so far on the device, letting the window in while it waits.
    void finishCopies();
    void addLine(std::string line, bool failed);
    // After every entry: lets the window in when its time has come; true to go on.
    bool afterEntry();
    void logFailure(std::string line, const std::string& reason);

    platform::Platform& m_platform;
    RunHost& m_host;
    text::RegionalSettings m_settings;
    std::int64_t m_eventInterval;

    // Per run.
    std::string m_mask;
    bool m_maskUsable = false;
    std::optional<Exclusions> m_exclusions;
    std::string m_destinationRoot;
    std::size_t m_sourceRootLength = 0;
    std::string m_sourceRoot;
    std::optional<platform::FolderId> m_destinationId;
    std::optional<platform::FolderId> m_guardedSource;  // set when the destination holds the source
    std::int64_t m_unfinished = 0;                       // copies not yet finished on the device
    std::string m_knownDestinationFolder;
    bool m_destinationIsNew = false;  // the known folder was made by this run
    std::int64_t m_lastEvents = 0;
    RunTotals m_totals;
};

}  // namespace sarvoli::copy
