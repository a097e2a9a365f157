#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "copy/CopyPool.h"
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
    bool notOnDevice = false;    // the device's flush failed: the run is no copy to record
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
    // `workers`: how many files are copied at once; with one, each copy is made by the walk
    // itself. Whatever the number, the log gets the same lines in the same order (the walk's),
    // each once its copy has ended.
    CopyWalk(platform::Platform& platform, RunHost& host, text::RegionalSettings settings,
             std::int64_t eventIntervalNanos = 5'000'000, int workers = 1);

    // How many workers a run into a drive of the given type uses: one a core (two at the least),
    // and eight on a network or removable drive, where each copy waits on the device more than
    // on a core.
    static int defaultWorkers(int destinationDriveType);

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
    // Puts the copies made so far on the device, letting the window in while it waits; those
    // it cannot vouch for become failures.
    void finishCopies();
    // platform.finishCopies() on a thread of its own, so that the window stays live.
    platform::FinishResult finishOnAnotherThread();
    void addLine(std::string line, bool failed);
    // Copies a file, on a worker when there are workers; its line comes once the copy has ended.
    void copyFile(const std::string& source, const std::string& target, std::string line, std::int64_t size);
    // Adds the lines of the copies that have ended, in the walk's order, up to the first still running.
    void takeEnded();
    // Takes the lines of the copies that have ended; when there were none, waits until one ends
    // or the time is up.
    void takeEndedOrWait(std::int64_t timeoutNanos);
    // Waits a little for a copy to end, letting the window in when its time has come.
    void waitForACopy();
    // How long one wait for a copy or for the device lasts: the event interval, 1 ms at the least.
    std::int64_t waitSlice() const { return std::max<std::int64_t>(m_eventInterval, 1'000'000); }
    // Waits until every copy given to the workers has ended and has its line.
    void waitForEveryCopy();
    // Lets the window handle its input when its time has come; a stop asked for there drops
    // the copies not yet started.
    void letWindowIn();
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
    std::optional<platform::FolderId> m_sourceId;  // no folder's copy may land on it
    // The copies not yet finished on the device, in the walk's order.
    struct Unfinished {
        std::string target;
        std::string line;
        std::int64_t size = 0;
    };
    std::vector<Unfinished> m_unfinished;
    std::string m_knownDestinationFolder;
    bool m_destinationIsNew = false;  // the known folder was made by this run
    std::int64_t m_lastEvents = 0;
    RunTotals m_totals;

    // Copies in flight and the lines waiting for them, in the walk's order.
    struct Queued {
        std::string line;
        bool failed = false;
        bool cleared = false;  // the log was emptied after its entry: counted, not shown
        std::int64_t size = 0;
        std::shared_ptr<CopyJob> job;  // none for a line that waits only for the lines before it
    };
    int m_workers;
    std::unique_ptr<CopyPool> m_pool;
    std::deque<Queued> m_queued;
    std::int64_t m_bytesQueued = 0;
};

}  // namespace sarvoli::copy
