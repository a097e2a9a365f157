#include "copy/CopyWalk.h"

#include <algorithm>
#include <thread>

#include "platform/DirEntry.h"
#include "copy/CopyRule.h"
#include "copy/CopyTexts.h"
#include "copy/KeptCopies.h"
#include "platform/DriveType.h"
#include "text/DateTimeText.h"
#include "text/PathParts.h"

namespace sarvoli::copy {

namespace {

// How many subfolders of a folder are read ahead of the walk, where workers can read them:
// enough for eight workers, few enough that memory stays small.
constexpr std::size_t kFoldersAhead = 8;
// How many folders read ahead may wait for the walk at once, in any tree: each holds up to a
// thousand entries, and a handle while it is read or its listing is longer than that.
constexpr std::int64_t kMostScansWaiting = 128;
// Handles that a run needs besides the folders read ahead: the program's own, and for each
// worker its source, its copy and the few folders it holds.
constexpr std::int64_t kHandlesOfTheRun = 64;
constexpr std::int64_t kHandlesOfAWorker = 8;
// A folder read ahead longer ago than this is read again when the walk comes to it, so that no
// copy is decided by what its folder held long before (another program may have changed it).
constexpr std::int64_t kFreshFor = 250'000'000;

using namespace texts;

// Why a folder is not backed up: it cannot be read, for the system's reason where one is known.
std::string unreadable(const std::string& reason)
{
    return reason.empty() ? std::string(kUnreadableFolder) : std::string(kUnreadableFolder) + ": " + reason;
}

}  // namespace

using text::withBackslash;

CopyWalk::CopyWalk(platform::Platform& platform, RunHost& host, text::RegionalSettings settings, int workers)
    : m_platform(platform), m_host(host), m_settings(std::move(settings)), m_workers(std::max(workers, 1))
{
}

int CopyWalk::defaultWorkers(platform::DestinationClass destination)
{
    // Measured on two cores: into memory or onto a local disk two workers were fastest, four
    // no faster and eight 25% slower (they wait on each other's folder locks). On a file system
    // over SSH eight overlap their round trips.
    const int cores = static_cast<int>(std::max(std::thread::hardware_concurrency(), 2u));
    return platform::waitsOnDevice(destination) ? std::max(cores, 8) : cores;
}

std::string CopyWalk::destinationFolder(std::string_view destinationRoot, std::string_view folderPath,
                                        std::size_t sourceRootLength)
{
    std::string folder = withBackslash(destinationRoot);
    if (sourceRootLength < folderPath.size())
        folder.append(folderPath.substr(sourceRootLength));
    return withBackslash(folder);
}

RunTotals CopyWalk::run(const RunTexts& texts)
{
    m_totals = {};
    m_platform.holdFolders(true);
    m_mask = texts.mask;
    // A mask is a name pattern; one that holds a path would search another folder.
    m_maskUsable = !m_mask.empty() && m_mask.find_first_of("\\/") == std::string::npos;
    m_exclusions.emplace(texts.exclusions);
    m_destinationRoot = withBackslash(texts.destination);
    m_sourceRootLength = texts.source.size();
    m_sourceRoot = withBackslash(texts.source);
    m_knownDestinationFolder.clear();
    m_destinationIsNew = false;
    m_madeRoot.clear();

    // Nothing below the destination root is reached through a link, even one made during the run.
    m_platform.guardBelow(m_destinationRoot);
    m_hidden = texts.hidden;
    m_foldsCase = m_platform.foldsCase(m_destinationRoot);
    // Within the open-file limit with room for the copies: a deep tree read ahead must not use
    // up the handles that one worker would copy it with.
    m_scanBudget = static_cast<std::size_t>(std::clamp<std::int64_t>(
        (m_platform.openFileLimit() - kHandlesOfTheRun - kHandlesOfAWorker * m_workers) / 2, 0, kMostScansWaiting));

    // The source folder by identity, so that no spelling of it (a link, a bind mount, "..",
    // another letter) lets a folder's copy land on it.
    m_sourceId = m_platform.folderId(m_sourceRoot);
    m_preview = texts.preview;
    m_countOnly = texts.preview && texts.countOnly;
    m_holdReplacements = texts.holdReplacements;
    m_keptRunFolder = texts.keptRunFolder;
    m_knownKeptFolder.clear();
    m_keptFolderThere.reset();
    m_abandoned = texts.abandoned;
    m_queue = std::make_unique<CopyQueue>(m_platform, m_host, m_totals, m_destinationRoot, m_workers, texts.verify);
    // A destination gone away stops the run as a failure, not as a stop asked for.
    m_totals.aborted = !CopyFolder(texts.source, texts.subfolders) && !m_queue->destinationLost();
    if (m_totals.aborted)
        m_queue->dropWaiting();  // no file is started after the stop
    m_queue->finish();
    m_queue.reset();
    m_scans.clear();  // the searches that a stop left open
    // Nothing of the run keeps a disk busy after its summary: the stick can be ejected.
    m_platform.holdFolders(false);
    return m_totals;
}

bool CopyWalk::CopyFolder(const std::string& folder, bool recurse, bool isSubfolder)
{
    const std::string folderPath = withBackslash(folder);
    const std::string destination = destinationFolder(m_destinationRoot, folderPath, m_sourceRootLength);
    std::shared_ptr<FolderScan> scan = readAhead(folderPath);
    if (isSubfolder && isDestinationRoot(folderPath, scan ? &scan->folderId : nullptr))
        return true;
    if (!destinationUsable(destination, isSubfolder, scan.get()))
        return true;

    // One search serves both passes: the files that match the mask, then the subfolders. An
    // unusable mask matches nothing, so that only the subfolders are walked. Where the folder
    // was not read ahead, it is read as the walk goes: one entry, what the walk does with it,
    // then the next.
    if (!scan) {
        scan = newScan(folderPath, destination);
        scan->search = m_platform.findFirst(folderPath, scan->mask, kFileMask, true);
        scan->searched = static_cast<bool>(scan->search);
    }
    std::vector<std::string> subfolders;
    NamesHere names;
    if (scan->searched) {
        // With workers, a folder's entries past those in hand come a thousand at a time: the
        // walk lists the next ones while a worker asks the ages of their copies and the walk
        // then handles those before them, so that one folder of many thousand files is read on
        // two cores, as many small folders are.
        std::shared_ptr<FolderScan> listed;  // the entries after these, listed, their ages not asked
        const auto listNext = [&](FolderScan& after) {
            std::shared_ptr<FolderScan> more;
            if (!after.listed && m_queue->worksAhead()) {
                more = std::make_shared<FolderScan>();
                more->continues(after);
                more->list(m_platform);
            }
            return more;
        };
        listed = listNext(*scan);
        for (;;) {
            std::shared_ptr<FolderScan> asked;  // `listed`, its ages being asked by a worker
            if (listed) {
                asked = std::move(listed);
                // A folder that this run made holds no copies to ask about.
                if (madeByThisRun(destination)) {
                    asked->ages.assign(asked->entries.size(), std::nullopt);
                } else {
                    asked->task = std::make_shared<CopyJob>([this, raw = asked.get()] { raw->askAges(m_platform); });
                    m_queue->runAhead({asked->task});
                }
                listed = listNext(*asked);
            }
            for (std::size_t i = 0; i < scan->entries.size(); ++i) {
                const platform::DirEntry& entry = scan->entries[i];
                if (!(entry.attributes & platform::Directory))
                    copyEntry(entry, folderPath, destination, scan->ages[i] ? &*scan->ages[i] : nullptr, names);
                if (!afterEntry()) {
                    if (asked && asked->task)  // the worker reads its entries until it is done
                        m_queue->waitFor(asked->task);
                    return false;
                }
            }
            if (!asked)
                break;
            if (asked->task)
                m_queue->waitFor(asked->task);
            if (m_platform.monotonicNanos() - asked->readAt > kFreshFor)
                askAgain(*asked);
            scan = std::move(asked);
        }
        platform::DirEntry entry;
        while (!scan->listed) {
            if (!scan->search->next(entry)) {
                scan->endListing();
                break;
            }
            if (!(entry.attributes & platform::Directory))
                copyEntry(entry, folderPath, destination, nullptr, names);
            if (!afterEntry())
                return false;
        }
        if (recurse)
            subfolders = std::move(scan->subfolders);
        // A listing cut off part-way (a failing disk, a stale network handle) leaves the rest
        // of the folder out: said, never taken for its end.
        if (scan->failure)
            logFailure(destination, unreadable(scan->failure.message()));
    } else {
        // A folder that is there but cannot be read or entered is not backed up: that is a
        // failure to report, not an empty folder. One that is not there has nothing to copy.
        const platform::FolderAccess& access = scan->search.access;
        if (!access.missing)
            logFailure(destination, unreadable(access.result.reason()));
    }
    scan.reset();  // its entries are done with: memory stays small however deep the tree

    for (std::size_t k = 0; k < subfolders.size(); ++k) {
        const std::string& name = subfolders[k];
        if (m_queue->worksAhead())
            scanAhead(folderPath, subfolders, k);
        if (const std::string why = unwritable(name, names); !why.empty()) {
            logFailure(destination + name, why);
        } else if (isKeptFolder(folderPath, name)) {
            logFailure(destination + name, kKeptFolderName);
        } else {
            const std::string subfolder = folderPath + name;
            if (!CopyFolder(subfolder, true, true))
                return false;
        }
        if (!afterEntry())
            return false;
    }
    return true;
}

bool CopyWalk::destinationUsable(const std::string& destination, bool isSubfolder, const FolderScan* scan)
{
    // A folder in a tree that this run made holds nothing the run did not put there.
    if (isUnderMadeRoot(destination))
        return true;
    // The destination root may be a link, and is compared as the folder it names. Below it, a
    // link would send copies wherever it points (into the source, outside the destination).
    const platform::FolderPlace place =
        !isSubfolder ? platform::FolderPlace{platform::FolderPlace::Folder, m_platform.folderId(destination), {}}
        : scan       ? scan->destinationPlace
                     : m_platform.folderPlace(destination);
    if (place.kind == platform::FolderPlace::Link) {
        logFailure(destination, kThroughLink);
        return false;
    }
    // A folder whose copy would land on the source folder (the destination holds the source)
    // would write into the source tree, and then into what it copies.
    if (m_sourceId && place.id == m_sourceId) {
        logFailure(destination, kIntoSource);
        return false;
    }
    return true;
}

std::shared_ptr<FolderScan> CopyWalk::newScan(const std::string& folderPath, std::string destination) const
{
    auto scan = std::make_shared<FolderScan>();
    scan->hidden = m_hidden;
    scan->folderPath = folderPath;
    scan->destination = std::move(destination);
    scan->mask = m_maskUsable ? m_mask : std::string();
    scan->exclusions = &*m_exclusions;
    return scan;
}

void CopyWalk::askAgain(FolderScan& scan)
{
    // Listed long before the walk came to them (the copies before them took long): each file
    // and its copy are asked again, so that no copy is decided on what they were then. A file
    // not found now is left as listed: its copy finds it gone and passes it over, or finds a
    // link to nothing and says so.
    std::vector<std::size_t> files;
    std::vector<std::string_view> names;
    for (std::size_t i = 0; i < scan.entries.size(); ++i)
        if (!(scan.entries[i].attributes & platform::Directory) && scan.entries[i].error.ok) {
            files.push_back(i);
            names.push_back(scan.entries[i].name);
        }
    std::vector<platform::FileAge> now = m_platform.fileAges(scan.folderPath, names);
    std::vector<platform::FileAge> copies = m_platform.fileAges(scan.destination, names);
    now.resize(files.size());
    copies.resize(files.size());
    for (std::size_t k = 0; k < files.size(); ++k) {
        platform::DirEntry& entry = scan.entries[files[k]];
        if (!now[k].result.ok) {
            entry.error = now[k].result;
        } else if (now[k].exists) {
            entry.time = now[k].time;
            entry.size = now[k].size;
        }
        scan.ages[files[k]] = copies[k];
    }
}

std::shared_ptr<FolderScan> CopyWalk::readAhead(const std::string& folderPath)
{
    const auto ahead = m_scans.find(folderPath);
    if (ahead == m_scans.end())
        return nullptr;
    std::shared_ptr<FolderScan> scan = std::move(ahead->second);
    m_scans.erase(ahead);
    m_queue->waitFor(scan->task);
    // A folder that could not be searched then (short of handles, say) is tried again, as one
    // worker would try it now; one read long ago may hold what is no longer there.
    if (!scan->searched || m_platform.monotonicNanos() - scan->readAt > kFreshFor)
        return nullptr;
    return scan;
}

void CopyWalk::scanAhead(const std::string& folderPath, const std::vector<std::string>& subfolders, std::size_t next)
{
    // The walk goes into the first of them next, then into its subfolders: these go before every
    // reading handed on earlier, in the walk's order.
    std::vector<std::shared_ptr<CopyJob>> tasks;
    for (std::size_t k = next; k < std::min(subfolders.size(), next + kFoldersAhead); ++k) {
        if (subfolders[k].find('\\') != std::string::npos)
            continue;
        const std::string path = folderPath + subfolders[k] + "\\";
        if (m_scans.contains(path))
            continue;
        if (m_scans.size() >= m_scanBudget)
            break;
        auto scan = newScan(path, destinationFolder(m_destinationRoot, path, m_sourceRootLength));
        scan->task = std::make_shared<CopyJob>([this, raw = scan.get()] { raw->read(m_platform); });
        tasks.push_back(scan->task);
        m_scans.emplace(path, std::move(scan));
    }
    if (!tasks.empty())
        m_queue->runAhead(tasks);
}

std::string CopyWalk::unwritable(const std::string& name, NamesHere& names)
{
    if (name.find('\\') != std::string::npos)
        return kBackslashInName;
    if (std::string why = m_platform.refusedName(name); !why.empty())
        return why;
    // Two source names that name one file in the destination would take turns in it, a run
    // after another: the first keeps it.
    if (m_foldsCase) {
        const auto [first, isNew] = names.try_emplace(m_platform.foldedName(name), name);
        if (!isNew && first->second != name) {
            std::string why = kSameButCase;
            return why.replace(why.find('%'), 1, first->second);
        }
    }
    return {};
}

void CopyWalk::copyEntry(const platform::DirEntry& entry, const std::string& folderPath,
                         const std::string& destination, const platform::FileAge* knownAge, NamesHere& names)
{
    if (m_exclusions->excludes(entry.name))
        return;
    const std::string target = destination + entry.name;
    // Formatted only for files that get a line: most files of a run are left as they are.
    const auto line = [&] { return target + "   " + text::formatDateTime(entry.time.toDateTime(), m_settings); };
    if (const std::string why = unwritable(entry.name, names); !why.empty()) {
        logFailure(entry.error.ok ? line() : target, why);
        return;
    }
    if (!entry.error.ok) {  // neither its time nor what it is could be read
        logFailure(target, entry.error.reason());
        return;
    }
    if (isKeptFolder(folderPath, entry.name)) {
        logFailure(line(), kKeptFolderName);
        return;
    }
    // A folder that this run created held no file before it; only elsewhere can a copy exist.
    const bool madeHere = destination != m_knownDestinationFolder && isUnderMadeRoot(destination);
    const bool newFolder = madeByThisRun(destination);
    const platform::FileAge source{{}, true, entry.time, entry.size};
    bool targetSeen = false;
    // A copy that may be there and cannot be told is not overwritten on a guess.
    const auto needsCopy = [&](const platform::FileAge& age) {
        if (!age.result.ok) {
            logFailure(line(), age.result.reason());
            return false;
        }
        targetSeen = age.exists;
        m_totals.existing += age.exists ? 1 : 0;
        return copyIsNeeded(source, age);
    };
    if (!newFolder && !needsCopy(knownAge ? *knownAge : m_platform.fileAge(target)))
        return;
    if (targetSeen) {
        if (m_holdReplacements) {
            ++m_totals.heldBack;
            return;
        }
        ++m_totals.replacing;
        if (m_totals.examples.size() < 3)
            m_totals.examples.push_back(target);
    }

    if (m_countOnly) {
        m_queue->wouldCopy(line(), entry.size);
        return;
    }
    if (m_preview) {  // what the copy would meet is known; the folder and the copy are not made
        const platform::OpResult blocked = m_platform.previewCopy(folderPath + entry.name, target);
        if (blocked.ok)
            m_queue->wouldCopy(line(), entry.size);
        else if (!blocked.unneeded)
            logFailure(line(), blocked.reason());
        return;
    }
    if (destination != m_knownDestinationFolder) {
        m_destinationIsNew = false;
        if (madeHere || !m_platform.directoryExists(destination)) {
            bool created = false;
            const platform::OpResult made = m_platform.forceDirectories(destination, created);
            if (!made.ok) {
                logFailure(line(), made.reason());
                return;
            }
            m_destinationIsNew = created;
            if (created && !isUnderMadeRoot(destination))
                m_madeRoot = destination;
            // Made by another program since: a copy may be there after all.
            if (madeHere && !created) {
                m_madeRoot.clear();
                if (!needsCopy(m_platform.fileAge(target)))
                    return;
            }
        }
        // What a killed run left in a folder that was there before goes when a copy comes.
        if (!m_destinationIsNew)
            m_platform.removeLeftovers(destination);
        m_knownDestinationFolder = destination;
    }

    platform::CopyDecision decision{&copyIsNeeded, targetSeen, m_abandoned, {}};
    if (targetSeen && !m_keptRunFolder.empty()) {
        // The old copy keeps its path below the destination root in the run's folder.
        const std::string kept = m_keptRunFolder + destination.substr(m_destinationRoot.size());
        if (kept != m_knownKeptFolder) {
            bool created = false;
            if (const platform::OpResult made = m_platform.forceDirectories(kept, created); !made.ok) {
                logFailure(line(), std::string(kNotKept) + ": " + made.reason());
                return;
            }
            m_knownKeptFolder = kept;
        }
        decision.keepAs = kept + entry.name;
    }
    m_queue->copy(folderPath + entry.name, target, line(), entry.size, decision);
}

bool CopyWalk::isKeptFolder(const std::string& folderPath, const std::string& name)
{
    if (folderPath != m_sourceRoot
        || !(m_foldsCase ? m_platform.foldedName(name) == m_platform.foldedName(kKeptFolder) : name == kKeptFolder))
        return false;
    // Without kept copies of its own, a run copies such a name as any other, unless an earlier
    // run keeps copies there.
    if (!m_keptFolderThere)
        m_keptFolderThere = !m_keptRunFolder.empty() || m_platform.directoryExists(m_destinationRoot + kKeptFolder);
    return *m_keptFolderThere;
}

void CopyWalk::logFailure(std::string line, const std::string& reason) { m_queue->fail(std::move(line), reason); }

bool CopyWalk::isDestinationRoot(const std::string& folderPath, const std::optional<platform::FolderId>* id)
{
    // The destination may not exist when the run begins; looked at again until it does.
    const std::optional<platform::FolderId>& destination = m_queue->destinationId();
    if (!destination)
        return false;
    return (id ? *id : m_platform.folderId(folderPath)) == destination;
}

}  // namespace sarvoli::copy
