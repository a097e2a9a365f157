#include "run/UnattendedRun.h"

#include <chrono>
#include <exception>
#include <optional>

#include "run/CopyRun.h"
#include "run/TypedFolder.h"
#include "copy/RunSummaryText.h"
#include "settings/History.h"
#include "settings/WindowSettings.h"
#include "text/DateTimeText.h"
#include "text/MessageText.h"
#include "text/PathParts.h"

namespace sarvoli::run {

namespace {

// How long a stopped run may take to end before it is given up: within two seconds of a
// signal, whatever a device does.
constexpr std::int64_t kStopWithin = 1'500'000'000;
// How often the run's news is printed.
constexpr auto kNewsInterval = std::chrono::milliseconds(20);

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
    int keepVersions = run.given.keepVersions;
    bool guard = run.given.guard;
    try {
        // With both folders on the command line a settings file is not needed: the record
        // makes one.
        const FieldOptions& given = run.given;
        const platform::FileContent content = platform.readFile(run.settingsFile);
        if (!content.result.ok || (!content.exists && !(given.from && given.to))) {
            run.err << run.settingsFile << ": "
                    << (content.result.ok ? std::string("asetustiedostoa ei ole") : content.result.reason()) << '\n';
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
        guard = guard || loaded.guard;
        if (keepVersions == 0) {
            if (!loaded.refusal.empty()) {
                run.err << loaded.refusal << '\n';
                return kNotStarted;
            }
            keepVersions = loaded.versions;
        }

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
    } catch (const std::exception& e) {
        run.err << text::withFinalStop(e.what()) << '\n';
        return kNotStarted;
    }
    RunRequest request;
    request.texts = {fields.from, fields.to, fields.mask, fields.exclusions, fields.subfolders, verify,
                     run.given.preview, hidden};
    request.settingsFile = run.settingsFile;
    request.sourceMustExist = true;
    request.keepVersions = keepVersions;
    request.guard = guard;
    request.allowMassReplace = run.given.allowMassReplace;
    // The window's saved fields stay as the user left them when the command line gave others.
    request.saveFields = !run.given.any();
    CopyRun copyRun(platform, regional, request);
    copyRun.start();
    const auto print = [&](RunNews news) {
        for (const std::string& note : news.notes)
            run.err << "sarvoli3: " << note << '\n';
        for (const RunLine& line : news.lines) {
            run.out << line.text << '\n';
            if (line.failed)
                run.err << line.text << '\n';
        }
    };
    // A signal stops the run after the entries in hand; a device that does not answer then does
    // not keep the program waiting.
    std::optional<std::int64_t> stoppedAt;
    std::optional<RunOutcome> givenUp;
    while (!copyRun.ended()) {
        print(copyRun.takeNews());
        if (run.stopRequested() && !stoppedAt) {
            copyRun.stop();
            stoppedAt = platform.monotonicNanos();
        }
        if (stoppedAt && platform.monotonicNanos() - *stoppedAt > kStopWithin) {
            givenUp = copyRun.giveUp();
            break;
        }
        copyRun.waitForEnd(kNewsInterval);
    }
    const RunOutcome outcome = givenUp ? *givenUp : copyRun.outcome();
    const RunNews last = copyRun.takeNews();
    if (outcome.end == RunOutcome::End::Refused) {
        run.err << (outcome.refusal.empty() ? outcome.error : outcome.refusal) << '\n';
        return kNotStarted;
    }
    print(last);
    const copy::RunTotals& totals = outcome.totals;
    run.out << (run.given.preview ? copy::previewSummaryText(totals.copied, totals.failed, totals.kilobytes)
                                  : copy::summaryText(totals.copied, totals.failed, totals.kilobytes))
            << copy::keptText(run.given.preview && keepVersions > 0 ? totals.replacing : totals.kept, totals.heldBack,
                              run.given.preview)
            << '\n'
            << "Aika: " << copy::elapsedText((platform.monotonicNanos() - start) / 1'000'000, regional.timeSeparator)
            << '\n';
    run.out.flush();
    if (totals.aborted)
        run.err << "Kopiointi keskeytettiin\n";
    if (!outcome.error.empty())
        run.err << outcome.error << '\n';
    const bool whole = totals.failed == 0 && !totals.aborted && outcome.error.empty();
    if (const MassReplacement found{totals.existing, totals.replacing, totals.examples};
        run.given.preview && guard && replacesMost(found))
        run.err << massReplacementText(found) << '\n' << "Vahti jättäisi kohteen kopiot korvaamatta.\n";
    if (outcome.heldBack) {
        run.err << massReplacementText(*outcome.heldBack) << '\n'
                << "Vahti jätti kohteen kopiot korvaamatta (uudet tiedostot kopioitiin); "
                   "korvaa ne valinnalla --allow-mass-replace.\n";
        if (whole)
            return kReplacementsHeld;
    }
    return whole ? kEveryFileCopied : kSomeFailed;
}

}  // namespace sarvoli::run
