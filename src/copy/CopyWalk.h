#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "copy/CopyQueue.h"
#include "copy/Exclusions.h"
#include "copy/FolderScan.h"
#include "copy/RunHost.h"
#include "copy/RunTotals.h"
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
    bool verify = false;      // each copy read back from the device and compared with its source
    bool preview = false;     // nothing written: the lines of what a run would copy, and its failures
    bool hidden = false;      // hidden folders are walked too
    // Where a copy replaces another, the old one goes into this folder of the kept copies
    // (a path text ending in a backslash) at its path below the destination root; empty: it is
    // replaced.
    std::string keptRunFolder = {};
    bool countOnly = false;         // with `preview`: the totals alone, nothing asked of each copy
    bool holdReplacements = false;  // no copy that is there is replaced; new ones are made
    // Once set, no copy takes its name any more: whoever ran the walk gave up waiting for it.
    const std::atomic<bool>* abandoned = nullptr;
};

// The recursive walk: copies every file of the source tree that matches the mask, whose
// name holds no exclusion string, and whose copy is missing or older, recreating the
// folders below the destination as files need them. One log line per copied file: the
// destination path, three blanks and the source file's time; a failed copy's line adds
// three blanks, "VIRHE: " and the reason. Before run() returns, the data of every copy it
// counts is on the device.
class CopyWalk {
public:
    // `workers`: how many files are copied at once; with one, each copy is made by the walk
    // itself. Whatever the number, the log gets the same lines in the same order (the walk's),
    // each once its copy has ended.
    CopyWalk(platform::Platform& platform, RunHost& host, text::RegionalSettings settings, int workers = 1);

    // How many workers a run into a device of the given kind uses: one a core (two at the
    // least), and eight where each copy waits on the device more than on a core.
    static int defaultWorkers(platform::DestinationClass destination);

    RunTotals run(const RunTexts& texts);
    // What the run in hand has done so far.
    const RunTotals& totals() const { return m_totals; }

    // The destination folder of a source folder path: the destination root followed by the
    // part of the folder path below the source root, ending in a backslash.
    static std::string destinationFolder(std::string_view destinationRoot, std::string_view folderPath,
                                         std::size_t sourceRootLength);

private:
    // Walks one folder; false when the run is to stop. A subfolder that is the destination
    // folder itself is passed over.
    bool CopyFolder(const std::string& folder, bool recurse, bool isSubfolder = false);
    // Whether the folder's copies may go to its destination folder; a failure line where not.
    bool destinationUsable(const std::string& destination, bool isSubfolder, const FolderScan* scan);
    // The names handed to one destination folder, as its file system compares them, where two
    // names that differ only in case name one file there: the first of each in the walk's order.
    using NamesHere = std::unordered_map<std::string, std::string>;
    // `age`: the copy's age, where it was asked ahead.
    void copyEntry(const platform::DirEntry& entry, const std::string& folderPath, const std::string& destinationFolder,
                   const platform::FileAge* age, NamesHere& names);
    // Why a file or folder of the source cannot be written under its name into the destination
    // folder (the system would not keep it, or an earlier name of the folder differs only in
    // case); empty where it can. Each name that can is remembered in `names`.
    std::string unwritable(const std::string& name, NamesHere& names);
    // The reading of a folder made ahead of the walk, once it is done; null where none was, or
    // where it is too old to decide by or the folder could not be searched then.
    std::shared_ptr<FolderScan> readAhead(const std::string& folderPath);
    // A reading of the source folder `folderPath` by the run's search, not started.
    std::shared_ptr<FolderScan> newScan(const std::string& folderPath, std::string destination) const;
    // Asks the files of entries listed long ago, and their copies, again.
    void askAgain(FolderScan& scan);
    // Hands the reading of the next few subfolders from `next` on to the workers.
    void scanAhead(const std::string& folderPath, const std::vector<std::string>& subfolders, std::size_t next);
    // `id`: the folder's own, where it is known.
    bool isDestinationRoot(const std::string& folderPath, const std::optional<platform::FolderId>* id = nullptr);
    // After every entry: the lines of the copies that have ended; true to go on.
    bool afterEntry() { return m_queue->afterEntry(); }
    void logFailure(std::string line, const std::string& reason);

    platform::Platform& m_platform;
    RunHost& m_host;
    text::RegionalSettings m_settings;
    const std::atomic<bool>* m_abandoned = nullptr;

    // Per run.
    std::string m_mask;
    bool m_maskUsable = false;
    std::optional<Exclusions> m_exclusions;
    std::string m_destinationRoot;
    std::size_t m_sourceRootLength = 0;
    std::string m_sourceRoot;
    std::optional<platform::FolderId> m_sourceId;  // no folder's copy may land on it
    std::string m_knownDestinationFolder;
    bool m_destinationIsNew = false;  // the known folder was made by this run
    // A folder that this run made, with none of the folders below it there then: a folder below
    // it that the run has not made is not there (on a network each question is a round trip).
    std::string m_madeRoot;
    bool isUnderMadeRoot(const std::string& folder) const
    {
        return !m_madeRoot.empty() && folder.size() > m_madeRoot.size() && folder.starts_with(m_madeRoot);
    }
    // Whether this run made the destination folder: it held no copy before.
    bool madeByThisRun(const std::string& destination) const
    {
        return (m_destinationIsNew && destination == m_knownDestinationFolder)
               || (destination != m_knownDestinationFolder && isUnderMadeRoot(destination));
    }
    RunTotals m_totals;
    int m_workers;
    std::unique_ptr<CopyQueue> m_queue;  // the copies in flight and the wait for the device
    // Folders read ahead, by their source folder path, and how many may wait for the walk at once.
    std::unordered_map<std::string, std::shared_ptr<FolderScan>> m_scans;
    std::size_t m_scanBudget = 0;
    bool m_preview = false;
    bool m_countOnly = false;
    bool m_holdReplacements = false;
    std::string m_keptRunFolder;
    std::string m_knownKeptFolder;  // made already
    // Whether a name at the top of the source would be copied onto the folder of the kept copies.
    bool isKeptFolder(const std::string& folderPath, const std::string& name);
    std::optional<bool> m_keptFolderThere;  // asked once such a name comes
    bool m_hidden = false;
    bool m_foldsCase = false;  // names that differ only in case name one file in the destination
};

}  // namespace sarvoli::copy
