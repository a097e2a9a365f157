#include "run/UnattendedRun.h"

#include <exception>

#include "run/RunRules.h"
#include "run/SettingsLock.h"
#include "run/TypedFolder.h"
#include "copy/CopyWalk.h"
#include "copy/DriveCheck.h"
#include "copy/RunSummaryText.h"
#include "settings/History.h"
#include "settings/WindowSettings.h"
#include "text/DateTimeText.h"
#include "text/MessageText.h"
#include "text/PathParts.h"

namespace sarvoli::run {

namespace {

class StreamHost : public copy::RunHost {
public:
    explicit StreamHost(UnattendedRun& run) : m_run(run) {}
    void appendLine(std::string line, bool failed) override
    {
        m_run.out << line << '\n';
        if (failed)
            m_run.err << line << '\n';
    }
    void processEvents() override {}
    bool abortRequested() const override { return m_run.stopRequested(); }
    void note(const std::string& text) override { m_run.err << "sarvoli3: " << text << '\n'; }

private:
    UnattendedRun& m_run;
};

// The fields of the window as it would show them after its start-up load.
struct Fields {
    std::string from;
    std::string to;
    std::string mask = settings::kDefaultMask;
    std::string exclusions = settings::kDefaultExclusions;
    bool subfolders = true;
};

}  // namespace

UnattendedStatus runUnattended(UnattendedRun& run)
{
    platform::Platform& platform = run.platform;
    const std::int64_t start = platform.monotonicNanos();
    const text::RegionalSettings regional = platform.regionalSettings();
    settings::IniFile file(platform, run.settingsFile);
    Fields fields;
    bool verify = run.given.verify;
    bool hidden = run.given.hidden;
    try {
        // With both folders on the command line a settings file is not needed: the record
        // makes one.
        const FieldOptions& given = run.given;
        const platform::FileContent content = platform.readFile(run.settingsFile);
        if (!content.result.ok || (!content.exists && !(given.from && given.to))) {
            run.err << run.settingsFile << ": "
                    << (content.result.ok ? std::string("asetustiedostoa ei ole") : content.result.reason) << '\n';
            return kNotStarted;
        }
        const settings::LoadedSettings loaded =
            settings::loadSettings(file, regional, text::decodeDateTime(platform.localNow()).year);
        if (!loaded.error.empty()) {
            run.err << text::withFinalStop(loaded.error) << '\n';
            return kNotStarted;
        }
        fields.from = given.from.value_or(loaded.fromBox.value_or(""));
        fields.to = given.to.value_or(loaded.toFolder.value_or(""));
        fields.mask = given.mask.value_or(loaded.mask.value_or(fields.mask));
        fields.exclusions = loaded.exclusions.value_or(fields.exclusions);
        if (!given.exclusions.empty())
            fields.exclusions = given.exclusions.size() == 1 ? given.exclusions[0]
                                                             : given.exclusions[0] + "|" + given.exclusions[1];
        fields.subfolders = !given.noSubfolders && loaded.subs.value_or(true);
        verify = verify || loaded.verify;
        hidden = hidden || loaded.hidden;

        // A folder given on the command line may be relative to where it was given, as for cp.
        for (std::string* folder : {&fields.from, &fields.to}) {
            const bool given = folder == &fields.from ? run.given.from.has_value() : run.given.to.has_value();
            const TypedFolder typed = typedFolder(platform, *folder, run.home, given ? run.workingFolder : std::string());
            if (!typed.error.empty()) {
                run.err << typed.error << ": " << *folder << '\n';
                return kNotStarted;
            }
            *folder = typed.text;
        }
        if (const auto refusal = copy::RunRefusal(platform, [] {}, fields.from, fields.to)) {
            run.err << *refusal << '\n';
            return kNotStarted;
        }
        // Unattended, a source that is not there (a disk not mounted) is no run with nothing
        // to copy: the job that started it must be able to tell.
        if (platform.folderAccess(text::withBackslash(fields.from)).missing) {
            run.err << "Lähdekansiota ei ole: " << fields.from << '\n';
            return kNotStarted;
        }
    } catch (const std::exception& e) {
        run.err << text::withFinalStop(e.what()) << '\n';
        return kNotStarted;
    }
    fields.from = text::withBackslash(fields.from);

    StreamHost host(run);
    copy::CopyWalk walk(platform, host, regional, 5'000'000, workersFor(platform, fields.to));
    const copy::RunTotals totals =
        walk.run({fields.from, fields.to, fields.mask, fields.exclusions, fields.subfolders, verify, run.given.preview,
                  hidden});
    run.out << (run.given.preview ? copy::previewSummaryText(totals.copied, totals.failed, totals.kilobytes)
                                  : copy::summaryText(totals.copied, totals.failed, totals.kilobytes))
            << '\n'
            << "Aika: " << copy::elapsedText((platform.monotonicNanos() - start) / 1'000'000, regional.timeSeparator)
            << '\n';
    run.out.flush();
    bool recorded = true;
    if (totals.aborted)
        run.err << "Kopiointi keskeytettiin\n";
    // Recorded as the window records a run: only one that copied data, all of it on the device.
    // A preview writes nothing, not even the record.
    if (!run.given.preview && isRecorded(totals.kilobytes, totals.notOnDevice)) {
        try {
            const SettingsLock lock(QString::fromLocal8Bit(platform.systemPath(run.settingsFile).value_or("")));
            const text::DateTimeValue now = platform.localNow();
            const std::string stamp = text::formatDateTime(now, regional);
            settings::recordRun(file, fields.from, fields.to, stamp);
            // The window's saved fields stay as the user left them when the command line gave others.
            if (!run.given.any()) {
                const settings::LastCopy last = settings::lastCopyOf(stamp, regional, text::decodeDateTime(now).year);
                settings::saveRunFields(file, fields.from, fields.to, stamp, last.time);
            }
        } catch (const std::exception& e) {
            run.err << text::withFinalStop(e.what()) << '\n';
            recorded = false;
        }
    }
    return totals.failed == 0 && !totals.aborted && recorded ? kEveryFileCopied : kSomeFailed;
}

}  // namespace sarvoli::run
