#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "app/Services.h"
#include "copy/CopyWalk.h"
#include "platform/Platform.h"
#include "run/CopyRun.h"
#include "settings/History.h"
#include "settings/IniFile.h"
#include "text/DateTime.h"
#include "text/MessageText.h"
#include "text/RegionalSettings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace sarvoli::settings {
struct LastCopy;
}

namespace sarvoli::app {

class LogModel;
class LogView;
class TAboutBoxi;

// The main window: every control of the program and the handlers of its commands. The
// handlers read the widgets, call the layers below and put the results back. A copy runs on a
// thread of its own (run::CopyRun); the window takes what it tells in batches and never waits on
// a device.
class TZumerForm : public QMainWindow {
    Q_OBJECT

public:
    // `exeFolder`: the program's folder as a path text, the current directory after a folder is picked.
    // `settingsFile`: the path text of the settings file; empty for settings.ini in `exeFolder`.
    TZumerForm(platform::Platform& platform, Services services, std::string exeFolder, std::string settingsFile = {},
               QWidget* parent = nullptr);
    ~TZumerForm() override;

    // How long Abort or Close waits for a run to end before it gives the run up: its device
    // does not answer.
    static constexpr std::int64_t kStopWithin = 800'000'000;

    // Command handlers.
    void btCopyClick();
    void Abort1Click();
    void Clear1Click();
    void File1Click();
    void FromBoxClick();
    void FromBoxChange();
    void Delete1Click();
    void Delete2Click();
    void SamePath1Click();
    void About1Click();
    void btPathClick();
    void btPath2Click();
    void DTPicker1Change();
    void ShowRunSummary();
    void FormCreate();
    // The save on close; false when it failed and the window must stay open.
    bool FormClose();

    const QString& lastFromDir() const { return m_lastFromDir; }
    const QString& lastToDir() const { return m_lastToDir; }
    std::int64_t totalKilobytes() const { return m_totalKilobytes; }
    // A Copy command is in hand: from the click to its summary.
    bool isRunning() const { return m_running; }
    LogModel& log() { return *m_log; }
    // How many files a run copies at once; 0 by the destination's drive type.
    void setWorkers(int workers) { m_workers = workers; }
    // Takes what the run in hand has told: its lines, its count, its end. Called by a timer while
    // a run goes on.
    void pollRun();

signals:
    // A Copy command has ended: its summary, or its refusal, has been shown.
    void runEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void startCopyCommand();
    // Ends the Copy command in hand with what its run came to.
    void finishRun(const run::RunOutcome& outcome);
    void endCommand();
    // Empties the log; the run in hand tells no line of an entry handled before.
    void clearLog();
    // Shows the lines and the count that the run has told since the last look.
    void showNews(run::RunNews news);
    // The guard's question, asked once the window's own loop has it.
    void askMassReplacement(const run::MassReplacement& found);
    // Puts the path text of a host path typed into a folder box in its place; false, with a
    // message, when no path text can name it.
    bool takeTypedHostPath(QComboBox* box);
    void createControls();
    void createMenu();
    void wireEvents();
    void arrangeTabOrder();
    void emptyLastCopyRow();
    void fillLastCopyRow(const settings::LastCopy& lastCopy);
    void showPickerValue();
    // Shows the record that the run made at `stamp` under the folders it ran with.
    void RecordCopyRun(const copy::RunTexts& texts, const std::string& stamp);
    // Removes the box's text from its list and from its history.
    void deleteFromHistory(QComboBox* box, settings::History& history);
    // The folder picker of one row: its box and its remembered folder.
    void pickFolder(QComboBox* box, QString& remembered);
    int currentYear();
    // The settings file in the system's own form, for its lock.
    QString settingsHostPath();
    void publishLog();
    // The count line: the summary's words for the files so far and `kilobytes`, then `ending`.
    void showCount(std::int64_t kilobytes, const char* ending);
    // Runs a handler; an error that escapes it is shown and the program goes on.
    template <typename Handler>
    void guarded(Handler&& handler);

    platform::Platform& m_platform;
    Services m_services;
    text::RegionalSettings m_regional;
    bool m_verify = false;  // Verify=1 in the settings file: every copy is read back
    bool m_hidden = false;  // Hidden=1 in the settings file: hidden folders are walked too
    int m_versions = 0;     // Versions=N: replaced copies are kept for the newest N runs
    bool m_guard = false;   // Guard=1: a run that would replace most copies asks first
    std::string m_settingsRefusal;  // why the saved settings let no run start
    std::string m_summaryEnding;    // what the summary tells after its counts
    std::string m_exeFolder;
    settings::IniFile m_settingsFile;
    settings::History m_sourceHistory;
    settings::History m_destinationHistory;

    // Controls, named after the program's vocabulary in their objectName.
    QComboBox* m_fromBox = nullptr;
    QComboBox* m_toFolder = nullptr;
    QPushButton* m_btPath = nullptr;
    QPushButton* m_btPath2 = nullptr;
    QCheckBox* m_subBox = nullptr;
    QLineEdit* m_edFile = nullptr;
    QLineEdit* m_edPrev = nullptr;
    QPushButton* m_btCopy = nullptr;
    QDateEdit* m_dtPicker1 = nullptr;
    QLabel* m_lbWeekday = nullptr;
    QLabel* m_lbTime = nullptr;
    LogView* m_listBox1 = nullptr;
    QLabel* m_lblNumberFound = nullptr;
    QLabel* m_label7 = nullptr;
    QAction* m_file1 = nullptr;
    QAction* m_clear1 = nullptr;
    QAction* m_abort1 = nullptr;
    QAction* m_delete1 = nullptr;
    QAction* m_delete2 = nullptr;
    QAction* m_samePath1 = nullptr;
    QAction* m_about1 = nullptr;
    LogModel* m_log = nullptr;
    QPointer<TAboutBoxi> m_aboutBox;

    // Program-wide values.
    QString m_lastFromDir;
    QString m_lastToDir;
    std::int64_t m_runStartNanos = 0;
    std::int64_t m_totalKilobytes = 0;
    // The run of the Copy command in hand, or one given up that still waits on its device.
    std::unique_ptr<run::CopyRun> m_run;
    copy::RunTexts m_runTexts;  // what it runs with
    bool m_runStarted = false;  // its checks passed
    std::optional<std::int64_t> m_stopAskedAt;  // when Abort or Close asked it to stop
    QTimer* m_runTimer = nullptr;
    std::int64_t m_lastProgress = 0;
    // The whole value that the date picker holds; it shows only the date.
    text::DateTimeValue m_pickerValue = 0;

    bool m_running = false;
    bool m_closeRequested = false;
    // Set while the source box's own text is being confirmed (Enter, leaving the box), when
    // Qt reports a typed text that equals a list entry as if that entry had been chosen.
    bool m_confirmingTypedText = false;
    int m_workers = 0;
};

template <typename Handler>
void TZumerForm::guarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        m_services.messages->showError(text::withFinalStop(e.what()));
    }
}

}  // namespace sarvoli::app
