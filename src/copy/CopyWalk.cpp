#include "copy/CopyWalk.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "platform/DirEntry.h"
#include "platform/DriveType.h"
#include "text/DateTimeText.h"
#include "text/PathParts.h"

namespace sarvoli::copy {

namespace {

// Attribute mask of the file pass: every file, hidden and system files too, no folders.
constexpr std::uint32_t kFileMask = platform::ReadOnly | platform::Hidden | platform::System
                                    | platform::VolumeLabel | platform::Archive;

constexpr const char* kBackslashInName = "nimessä on kenoviiva, sitä ei voi kopioida";
constexpr const char* kUnreadableFolder = "kansiota ei voi lukea";
constexpr const char* kIntoSource = "kohdekansio olisi lähdekansiossa, kansiota ei kopioida";
constexpr const char* kNotOnDevice = "kopioita ei saatu levylle";

// Copies and lines waiting for the copies before them, and the bytes of those copies, at the most.
constexpr std::size_t kMaxQueued = 256;
constexpr std::int64_t kMaxBytesQueued = 256 << 20;
// How long the window's turn waits, at the most, for the copies in flight to give their lines.
constexpr std::int64_t kLongestWaitForLines = 20'000'000;

// A copy's line when it failed: the usual line, "VIRHE: " and the reason.
std::string failureLine(const std::string& line, const std::string& reason) { return line + "   VIRHE: " + reason; }

// A name may hold control characters; shown as ^J (caret notation), each file stays one line.
std::string printable(std::string line)
{
    std::size_t i = 0;
    while (i < line.size() && static_cast<unsigned char>(line[i]) >= 0x20 && line[i] != 0x7f)
        ++i;
    if (i == line.size())
        return line;
    std::string out = line.substr(0, i);
    for (; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7f) {
            out += '^';
            out += c == 0x7f ? '?' : static_cast<char>(c + 0x40);
        } else {
            out += line[i];
        }
    }
    return out;
}

}  // namespace

using text::withBackslash;

CopyWalk::CopyWalk(platform::Platform& platform, RunHost& host, text::RegionalSettings settings,
                   std::int64_t eventIntervalNanos, int workers)
    : m_platform(platform), m_host(host), m_settings(std::move(settings)), m_eventInterval(eventIntervalNanos),
      m_workers(std::max(workers, 1))
{
}

int CopyWalk::defaultWorkers(int destinationDriveType)
{
    // Measured on two cores: into memory or onto a local disk two workers were fastest, four
    // no faster and eight 25% slower (they wait on each other's folder locks).
    const int cores = static_cast<int>(std::max(std::thread::hardware_concurrency(), 2u));
    const bool waitsOnDevice = destinationDriveType == platform::DriveRemote
                               || destinationDriveType == platform::DriveRemovable;
    return waitsOnDevice ? std::max(cores, 8) : cores;
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
    m_destinationId.reset();
    m_unfinished.clear();
    m_knownDestinationFolder.clear();
    m_destinationIsNew = false;
    m_lastEvents = m_platform.monotonicNanos();

    // The source folder by identity, so that no spelling of it (a link, a bind mount, "..",
    // another letter) lets a folder's copy land on it.
    m_sourceId = m_platform.folderId(m_sourceRoot);
    if (m_workers > 1) {
        m_pool = std::make_unique<CopyPool>(m_platform, m_workers);
        if (m_pool->workers() < m_workers)
            m_host.note("vain " + std::to_string(m_pool->workers()) + "/" + std::to_string(m_workers)
                        + " kopioijaa käynnistyi: " + m_pool->startFailure());
        if (m_pool->workers() == 0)
            m_pool.reset();  // the walk copies by itself
    }
    m_totals.aborted = !CopyFolder(texts.source, texts.subfolders);
    if (m_totals.aborted && m_pool)
        m_pool->dropWaiting();  // no file is started after the stop
    finishCopies();
    m_pool.reset();
    // Nothing of the run keeps a disk busy after its summary: the stick can be ejected.
    m_platform.holdFolders(false);
    return m_totals;
}

platform::FinishResult CopyWalk::finishOnAnotherThread()
{
    std::future<platform::FinishResult> finished;
    try {
        finished = std::async(std::launch::async, [this] { return m_platform.finishCopies(); });
    } catch (const std::system_error&) {
        return m_platform.finishCopies();  // no thread to be had: the window waits
    }
    // On a slow device this takes a while; the window stays live and says what it waits for.
    bool told = false;
    while (finished.wait_for(std::chrono::nanoseconds(waitSlice())) != std::future_status::ready) {
        if (!told) {
            told = true;
            m_host.writingToDevice(true);
        }
        m_host.processEvents();
    }
    if (told)
        m_host.writingToDevice(false);
    return finished.get();
}

void CopyWalk::finishCopies()
{
    // A copy still being written would get its final time before its data is on the device.
    waitForEveryCopy();
    if (m_unfinished.empty())
        return;
    std::vector<Unfinished> unfinished = std::move(m_unfinished);
    m_unfinished.clear();
    const platform::FinishResult finish = finishOnAnotherThread();
    if (finish.result.ok)
        return;
    m_totals.notOnDevice = true;
    const std::string reason = std::string(kNotOnDevice) + ": " + finish.result.reason;
    if (finish.lost.empty()) {  // the device failed, and no copy can be named
        logFailure(m_destinationRoot, reason);
        return;
    }
    // Each copy it covered is a failure after all, named in the walk's order.
    const std::unordered_set<std::string> lost(finish.lost.begin(), finish.lost.end());
    std::int64_t withdrawn = 0;
    for (Unfinished& u : unfinished) {
        if (!lost.contains(u.target))
            continue;
        --m_totals.copied;
        m_totals.kilobytes -= u.size / 1000;
        ++withdrawn;
    }
    m_host.withdrawCopies(withdrawn);
    for (Unfinished& u : unfinished)
        if (lost.contains(u.target))
            logFailure(std::move(u.line), reason);
}

bool CopyWalk::CopyFolder(const std::string& folder, bool recurse)
{
    const std::string folderPath = withBackslash(folder);
    const std::string destination = destinationFolder(m_destinationRoot, folderPath, m_sourceRootLength);
    // A folder whose copy would land on the source folder (the destination holds the source)
    // would write into the source tree, and then into what it copies.
    if (m_sourceId && m_platform.folderId(destination) == m_sourceId) {
        logFailure(destination, kIntoSource);
        return true;
    }

    // One search serves both passes: the files that match the mask, then the subfolders. An
    // unusable mask matches nothing, so that only the subfolders are walked.
    std::vector<std::string> subfolders;
    if (auto search = m_platform.findFirst(folderPath, m_maskUsable ? m_mask : std::string(), kFileMask, true)) {
        platform::DirEntry entry;
        while (search->next(entry)) {
            if (!(entry.attributes & platform::Directory))
                copyEntry(entry, folderPath, destination);
            if (!afterEntry())
                return false;
        }
        if (recurse)
            subfolders = search->subfolders();
        // A listing cut off part-way (a failing disk, a stale network handle) leaves the rest
        // of the folder out: said, never taken for its end.
        if (const std::string why = search->failure(); !why.empty())
            logFailure(destination, std::string(kUnreadableFolder) + ": " + why);
    } else {
        // A folder that is there but cannot be read or entered is not backed up: that is a
        // failure to report, not an empty folder. One that is not there has nothing to copy.
        const platform::FolderAccess access = m_platform.folderAccess(folderPath);
        if (!access.missing)
            logFailure(destination, access.result.ok ? std::string(kUnreadableFolder)
                                                     : std::string(kUnreadableFolder) + ": " + access.result.reason);
    }

    for (const std::string& name : subfolders) {
        if (name.find('\\') != std::string::npos) {
            logFailure(destination + name, kBackslashInName);
        } else {
            const std::string subfolder = folderPath + name;
            if (!isDestinationRoot(subfolder) && !CopyFolder(subfolder, true))
                return false;
        }
        if (!afterEntry())
            return false;
    }
    return true;
}

void CopyWalk::copyEntry(const platform::DirEntry& entry, const std::string& folderPath,
                         const std::string& destination)
{
    if (m_exclusions->excludes(entry.name))
        return;
    const std::string target = destination + entry.name;
    if (!entry.error.empty()) {  // neither its time nor what it is could be read
        logFailure(target, entry.error);
        return;
    }
    // Formatted only for files that get a line: most files of a run are left as they are.
    const auto line = [&] { return target + "   " + text::formatDateTime(entry.time.toDateTime(), m_settings); };
    if (entry.name.find('\\') != std::string::npos) {
        logFailure(line(), kBackslashInName);
        return;
    }
    // A folder that this run created held no file before it; only elsewhere can a copy exist.
    const bool newFolder = m_destinationIsNew && destination == m_knownDestinationFolder;
    if (!newFolder) {
        // A newer or equal copy is kept; an empty one of a source that holds data is no copy
        // (a copy cut off before its first byte looks so).
        const platform::FileAge age = m_platform.fileAge(target);
        if (!age.result.ok) {  // a copy may be there: nothing is overwritten on a guess
            logFailure(line(), age.result.reason);
            return;
        }
        if (age.exists && !(entry.time > age.time) && !(age.size == 0 && entry.size > 0))
            return;
    }

    if (destination != m_knownDestinationFolder) {
        m_destinationIsNew = false;
        if (!m_platform.directoryExists(destination)) {
            bool created = false;
            const platform::OpResult made = m_platform.forceDirectories(destination, created);
            if (!made.ok) {
                logFailure(line(), made.reason);
                return;
            }
            m_destinationIsNew = created;
        }
        // What a killed run left in a folder that was there before goes when a copy comes.
        if (!m_destinationIsNew)
            m_platform.removeLeftovers(destination);
        m_knownDestinationFolder = destination;
    }

    copyFile(folderPath + entry.name, target, line(), entry.size);
}

void CopyWalk::copyFile(const std::string& source, const std::string& target, std::string line, std::int64_t size)
{
    m_unfinished.push_back({target, line, size});
    if (!m_pool) {
        const platform::OpResult copied = m_platform.copyFile(source, target);
        if (!copied.ok) {
            logFailure(std::move(line), copied.reason);
            return;
        }
        ++m_totals.copied;
        m_totals.kilobytes += size / 1000;
        addLine(std::move(line), false);
    } else {
        auto job = std::make_shared<CopyJob>(source, target);
        m_pool->submit(job);
        m_queued.push_back({std::move(line), false, false, size, std::move(job)});
        m_bytesQueued += size;
        // A few files and bytes in flight, so that memory stays small whatever the tree.
        while (m_queued.size() > kMaxQueued || m_bytesQueued > kMaxBytesQueued)
            waitForACopy();
    }
    if (static_cast<std::int64_t>(m_unfinished.size()) >= kFinishEvery)
        finishCopies();
}

void CopyWalk::takeEnded()
{
    while (!m_queued.empty()) {
        Queued& q = m_queued.front();
        if (q.job) {
            const int state = q.job->state.load(std::memory_order_acquire);
            if (state == CopyJob::Waiting || state == CopyJob::Running)
                return;
            m_bytesQueued -= q.size;
            if (state == CopyJob::Done && q.job->result.ok) {
                ++m_totals.copied;
                m_totals.kilobytes += q.size / 1000;
                if (!q.cleared)
                    m_host.appendLine(printable(std::move(q.line)), false);
            } else if (state == CopyJob::Done) {
                ++m_totals.failed;
                if (!q.cleared)
                    m_host.appendLine(printable(failureLine(q.line, q.job->result.reason)), true);
            }  // a dropped copy was never started: no line, no count
        } else if (!q.cleared) {
            m_host.appendLine(printable(std::move(q.line)), q.failed);
        }
        m_queued.pop_front();
    }
}

void CopyWalk::takeEndedOrWait(std::int64_t timeoutNanos)
{
    const std::uint64_t seen = m_pool->ended();  // before the look, so that no end is missed
    const std::size_t before = m_queued.size();
    takeEnded();
    if (m_queued.size() == before)
        m_pool->waitForEnd(seen, timeoutNanos);
}

void CopyWalk::waitForACopy()
{
    takeEndedOrWait(waitSlice());
    letWindowIn();
    takeEnded();
}

void CopyWalk::waitForEveryCopy()
{
    while (!m_queued.empty())
        waitForACopy();
}

void CopyWalk::letWindowIn()
{
    std::int64_t now = m_platform.monotonicNanos();
    if (now - m_lastEvents < m_eventInterval)
        return;
    // The window finds the lines of every entry handled so far, as with one file at a time, so
    // that a command it runs (Clear, Abort) meets the same log; a copy that takes longer than
    // a moment gives its line later rather than keep the window waiting.
    const std::int64_t deadline = now + kLongestWaitForLines;
    while (m_pool && !m_queued.empty() && now < deadline) {
        takeEndedOrWait(std::min<std::int64_t>(deadline - now, 1'000'000));
        now = m_platform.monotonicNanos();
    }
    m_lastEvents = now;
    const std::uint64_t clears = m_host.logClears();
    m_host.processEvents();
    // With one file at a time their lines would have been in the log that was just emptied.
    if (m_host.logClears() != clears)
        for (Queued& q : m_queued)
            q.cleared = true;
    if (m_pool && m_host.abortRequested())
        m_pool->dropWaiting();
}

void CopyWalk::logFailure(std::string line, const std::string& reason)
{
    ++m_totals.failed;
    addLine(failureLine(line, reason), true);
}

void CopyWalk::addLine(std::string line, bool failed)
{
    // After the lines of the copies still in flight, as with one file at a time.
    if (m_queued.empty())
        m_host.appendLine(printable(std::move(line)), failed);
    else
        m_queued.push_back({std::move(line), failed, false, 0, nullptr});
}

bool CopyWalk::isDestinationRoot(const std::string& folderPath)
{
    // The destination may not exist when the run begins; look again until it does.
    if (!m_destinationId)
        m_destinationId = m_platform.folderId(m_destinationRoot);
    if (!m_destinationId)
        return false;
    return m_platform.folderId(folderPath) == m_destinationId;
}

bool CopyWalk::afterEntry()
{
    if (!m_queued.empty())
        takeEnded();
    letWindowIn();
    return !m_host.abortRequested();
}

}  // namespace sarvoli::copy
