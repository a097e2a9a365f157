#include "app/TZumerForm.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <iostream>

#include "app/CopyPicture.h"
#include "app/LocalText.h"
#include "app/LogModel.h"
#include "app/LogView.h"
#include "app/TAboutBoxi.h"
#include "copy/CopyWalk.h"
#include "copy/DriveCheck.h"
#include "copy/RunSummaryText.h"
#include "run/RunRules.h"
#include "settings/WindowSettings.h"
#include "text/DateTime.h"
#include "text/PathParts.h"

namespace sarvoli::app {

namespace {

constexpr int kClientWidth = 490;
constexpr int kClientHeight = 292;
// The window takes what a run has told, and the view hears of new lines, every 20 ms: often
// enough to look live, seldom enough to cost little of a run.
constexpr int kPollMs = 20;
// A run that lasts longer than a second shows its running count, at most every 100 ms.
constexpr std::int64_t kProgressAfter = 1'000'000'000;
constexpr std::int64_t kProgressInterval = 100'000'000;
// A device that has not answered for this long is said to be so in the running count.
constexpr std::int64_t kSilentAfter = 3'000'000'000;

// The time of day that the date picker holds from the start: 13:13:10.906.
constexpr double kPickerTimeOfDay = ((13 * 60 + 13) * 60 + 10.906) / 86400.0;

QString qs(const char* utf8) { return QString::fromUtf8(utf8); }




template <typename W>
W* placed(W* widget, const char* name, int left, int top, int width = -1, int height = -1)
{
    widget->setObjectName(QString::fromLatin1(name));
    if (width < 0) {
        widget->move(left, top);
        widget->adjustSize();
    } else {
        widget->setGeometry(left, top, width, height);
    }
    return widget;
}

}  // namespace

TZumerForm::TZumerForm(platform::Platform& platform, Services services, std::string exeFolder, std::string settingsFile,
                       QWidget* parent)
    : QMainWindow(parent),
      m_platform(platform),
      m_services(services),
      m_regional(platform.regionalSettings()),
      m_exeFolder(std::move(exeFolder)),
      m_settingsFile(platform, settingsFile.empty() ? settings::settingsFileIn(m_exeFolder) : std::move(settingsFile)),
      m_sourceHistory(m_settingsFile, settings::kSourceSection, settings::History::Kind::Source),
      m_destinationHistory(m_settingsFile, settings::kDestinationSection, settings::History::Kind::Destination)
{
    createControls();
    createMenu();
    wireEvents();
    FormCreate();
    m_runTimer = new QTimer(this);
    m_runTimer->setInterval(kPollMs);
    connect(m_runTimer, &QTimer::timeout, this, [this] { guarded([this] { pollRun(); }); });
    m_aboutBox = new TAboutBoxi(*m_services.shell, this);
}

TZumerForm::~TZumerForm() = default;

void TZumerForm::createControls()
{
    setObjectName(QStringLiteral("ZumerForm"));
    setWindowTitle(qs("Sarvoli3 tiedostokopiointi"));
    setWindowIcon(copyPicture());
    // MS Sans Serif where it exists; elsewhere a face of like width, so that every caption
    // fits the places the window gives it.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                      QStringLiteral("Arial")});
    font.setPixelSize(11);
    setFont(font);
    QFont bold = font;
    bold.setBold(true);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    auto label = [&](const char* name, const char* text, int left, int top) {
        return placed(new QLabel(qs(text), client), name, left, top);
    };
    auto folderBox = [&](const char* name, int top, const char* tip) {
        auto* box = placed(new QComboBox(client), name, 80, top, 295, 21);
        box->setEditable(true);
        box->setCompleter(nullptr);
        box->setInsertPolicy(QComboBox::NoInsert);
        if (tip)
            box->setToolTip(qs(tip));
        return box;
    };
    auto pathButton = [&](const char* name, int top) {
        auto* button = placed(new QPushButton(QStringLiteral("..."), client), name, 379, top, 25, 21);
        button->setFont(bold);
        return button;
    };

    label("Label1", "Hakemistosta", 4, 4);
    m_fromBox = folderBox("FromBox", 0, "Exact path of the files to be backed up");
    m_btPath = pathButton("btPath", 0);
    m_btPath->setToolTip(qs("Klikkaa ja avaa kopioitava kansio"));
    label("Label6", "Hakemistoon", 4, 32);
    m_toFolder = folderBox("ToFolder", 28, "Jos tiedostot menevät yhteisen kansion alle");
    m_btPath2 = pathButton("btPath2", 28);

    m_subBox = placed(new QCheckBox(qs("Alikansiot mukaan"), client), "SubBox", 4, 57, 113, 17);
    m_subBox->setChecked(true);
    label("Label2", "Tiedostomaski", 125, 57);
    m_edFile = placed(new QLineEdit(qs(settings::kDefaultMask), client), "edFile", 209, 54, 50, 21);
    label("Label5", "Ehk. merkit", 283, 57);
    m_edPrev = placed(new QLineEdit(qs(settings::kDefaultExclusions), client), "edPrev", 351, 54, 54, 21);
    m_edPrev->setToolTip(
        qs("Merkkijonon sisältäviä tiedostonimiä ei kopioida. Max 2 jonoa erotusmerkkinä putki |."));

    m_btCopy = placed(new QPushButton(qs("&Kopioi"), client), "btCopy", 416, 44, 73, 54);
    m_btCopy->setFont(bold);
    m_btCopy->setIcon(copyPicture());
    m_btCopy->setIconSize(QSize(24, 24));

    label("Label4", "Viimeisin kopio", 4, 81);
    m_dtPicker1 = placed(new QDateEdit(client), "DTPicker1", 80, 77, 86, 21);
    m_dtPicker1->setCalendarPopup(true);
    m_dtPicker1->setDisplayFormat(QString::fromStdString(m_regional.shortDate));
    m_dtPicker1->setMinimumDate(QDate(1752, 9, 14));
    m_lbWeekday = label("lbWeekday", "", 179, 81);
    m_lbTime = label("lbTime", "", 237, 81);
    m_pickerValue = kPickerTimeOfDay;
    emptyLastCopyRow();

    m_log = new LogModel(this);
    m_listBox1 = placed(new LogView(*m_log, client), "ListBox1", 0, 104, kClientWidth, 161);

    m_lblNumberFound = label("lblNumberFound", "Tiedostoja kopioitu...", 5, 278);
    m_lblNumberFound->hide();
    m_label7 = label("Label7", "", 416, 278);
    m_label7->hide();

    for (QLabel* l : client->findChildren<QLabel*>())
        l->setFocusPolicy(Qt::NoFocus);
    arrangeTabOrder();
}

void TZumerForm::arrangeTabOrder()
{
    QWidget* order[] = {m_subBox, m_edFile, m_dtPicker1, m_listBox1, m_fromBox,
                        m_edPrev, m_btCopy,  m_btPath,    m_toFolder, m_btPath2};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void TZumerForm::createMenu()
{
    auto add = [this](const char* name, const char* caption) {
        QAction* action = menuBar()->addAction(qs(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    m_file1 = add("File1", "&Sulje");
    m_clear1 = add("Clear1", "&Tyhjennä");
    m_abort1 = add("Abort1", "&Peruuta");
    m_delete1 = add("Delete1", "P&oista Hakemistosta");
    m_delete2 = add("Delete2", "Poista &Hakemistoon");
    m_samePath1 = add("SamePath1", "S&ama polku");
    m_about1 = add("About1", "Ti&etoja");
    // Narrow items, so that all seven commands stand on the bar without an overflow button.
    menuBar()->setStyleSheet(QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 4px; }"));

    // A fixed border with the system menu and the minimize box, no maximize box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    move(210, 114);
}

void TZumerForm::wireEvents()
{
    const auto on = [this](auto* sender, auto signal, void (TZumerForm::*handler)()) {
        connect(sender, signal, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
    };
    on(m_file1, &QAction::triggered, &TZumerForm::File1Click);
    on(m_clear1, &QAction::triggered, &TZumerForm::Clear1Click);
    on(m_abort1, &QAction::triggered, &TZumerForm::Abort1Click);
    on(m_delete1, &QAction::triggered, &TZumerForm::Delete1Click);
    on(m_delete2, &QAction::triggered, &TZumerForm::Delete2Click);
    on(m_samePath1, &QAction::triggered, &TZumerForm::SamePath1Click);
    on(m_about1, &QAction::triggered, &TZumerForm::About1Click);
    on(m_btCopy, &QPushButton::clicked, &TZumerForm::btCopyClick);
    on(m_btPath, &QPushButton::clicked, &TZumerForm::btPathClick);
    on(m_btPath2, &QPushButton::clicked, &TZumerForm::btPath2Click);
    on(m_dtPicker1, &QDateEdit::userDateChanged, &TZumerForm::DTPicker1Change);

    // Choosing an entry raises the chosen-entry event and then the changed event; typing
    // raises the changed event alone; setting the text from the program raises neither.
    // Qt also reports a typed text that equals a list entry as chosen when it is confirmed
    // with Enter or by leaving the box: a flag raised around the box's own handling of those
    // two signals tells that apart from a choice.
    auto* edit = new QLineEdit(m_fromBox);
    const auto confirming = [this](bool on) { return [this, on] { m_confirmingTypedText = on; }; };
    connect(edit, &QLineEdit::returnPressed, this, confirming(true));
    connect(edit, &QLineEdit::editingFinished, this, confirming(true));
    m_fromBox->setLineEdit(edit);
    m_fromBox->setCompleter(nullptr);
    connect(edit, &QLineEdit::returnPressed, this, confirming(false));
    connect(edit, &QLineEdit::editingFinished, this, confirming(false));
    connect(m_fromBox, &QComboBox::activated, this, [this] {
        if (m_confirmingTypedText)
            return;
        guarded([this] { FromBoxClick(); });
        guarded([this] { FromBoxChange(); });
    });
    on(edit, &QLineEdit::textEdited, &TZumerForm::FromBoxChange);
}


void TZumerForm::btCopyClick()
{
    // A Copy given while a run is in progress would start a second run inside the first; a run
    // given up may still wait on its device, and keeps the folders it holds until it ends.
    if (m_running || (m_run && !m_run->ended()))
        return;
    m_run.reset();
    m_running = true;
    startCopyCommand();
}

void TZumerForm::endCommand()
{
    m_running = false;
    emit runEnded();
    // A close asked for during the command comes once the command has ended.
    if (m_closeRequested) {
        m_closeRequested = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void TZumerForm::startCopyCommand()
{
    m_runStartNanos = m_platform.monotonicNanos();
    m_log->clear();
    m_label7->hide();
    m_lblNumberFound->hide();

    // A folder typed as its host path stands for its path text, and the box shows it so.
    if (!takeTypedHostPath(m_fromBox) || !takeTypedHostPath(m_toFolder)) {
        endCommand();
        return;
    }
    // The run works from these texts alone, so edits during the run change nothing of it. Its
    // checks, the drive's among them, are made on its own thread: a drive may take its time.
    m_runTexts = {toLocal(m_fromBox->currentText()), toLocal(m_toFolder->currentText()), toLocal(m_edFile->text()),
                  toLocal(m_edPrev->text()), m_subBox->isChecked(), m_verify, false, m_hidden};
    if (!m_settingsRefusal.empty()) {
        m_services.messages->showMessage(m_settingsRefusal);
        endCommand();
        return;
    }
    run::RunRequest request;
    request.texts = m_runTexts;
    request.keepVersions = m_versions;
    request.guard = m_guard;
    request.asksHost = true;
    request.workers = m_workers;
    request.settingsFile = m_settingsFile.path();
    request.carriedKilobytes = m_totalKilobytes;
    m_run = std::make_unique<run::CopyRun>(m_platform, m_regional, request);
    m_runStarted = false;
    m_stopAskedAt.reset();
    m_lastProgress = m_runStartNanos;
    // The summary comes as soon as the run ends, not at the timer's next look.
    m_run->whenEnded([this] {
        QMetaObject::invokeMethod(this, [this] { guarded([this] { pollRun(); }); }, Qt::QueuedConnection);
    });
    m_run->start();
    m_runTimer->start();
}

void TZumerForm::pollRun()
{
    if (!m_run)
        return;
    if (!m_running) {
        // A run given up ends when its device answers at last; until then it is left alone.
        if (m_run->ended()) {
            m_run.reset();
            m_runTimer->stop();
        }
        return;
    }
    showNews(m_run->takeNews());
    const std::int64_t now = m_platform.monotonicNanos();
    const run::RunProgress progress = m_run->progress();
    if (m_run->ended()) {
        finishRun(m_run->outcome());
        return;
    }
    if (m_stopAskedAt && now - *m_stopAskedAt >= kStopWithin) {
        finishRun(m_run->giveUp());
        return;
    }
    if (now - m_runStartNanos >= kProgressAfter && now - m_lastProgress >= kProgressInterval) {
        m_lastProgress = now;
        const std::string ending =
            progress.silentNanos >= kSilentAfter
                ? ", kohde ei ole vastannut " + std::to_string(progress.silentNanos / 1'000'000'000) + " s..."
            : progress.writingToDevice ? ", kirjoitetaan levylle..."
                                       : "...";
        showCount(m_totalKilobytes + progress.kilobytes, ending.c_str());
    }
}

void TZumerForm::showNews(run::RunNews news)
{
    // Its checks passed: the source field gets the backslash that the run gives its text.
    if (news.started && !m_runStarted) {
        m_runStarted = true;
        if (const std::string withBackslash = text::withBackslash(m_runTexts.source); withBackslash != m_runTexts.source)
            m_fromBox->setEditText(fromLocal(withBackslash));
        m_runTexts.source = text::withBackslash(m_runTexts.source);
    }
    for (const run::RunLine& line : news.lines)
        m_log->append(line.text, line.failed);
    m_log->withdraw(news.withdrawn);
    // The window has no place for it but the program's standard error; the run goes on.
    for (const std::string& note : news.notes)
        std::cerr << "sarvoli3: " << note << '\n';
    publishLog();
    // Not inside the run's poll: the question's own loop gives the timer its turns.
    if (news.question)
        QMetaObject::invokeMethod(
            this, [this, found = *news.question] { guarded([&] { askMassReplacement(found); }); }, Qt::QueuedConnection);
}

void TZumerForm::askMassReplacement(const run::MassReplacement& found)
{
    if (!m_run || !m_running)
        return;
    const bool replace = m_services.messages->askYesNo(
        run::massReplacementText(found)
        + "\n\nKorvataanko ne? Ei: vain uudet tiedostot kopioidaan, kohteen kopiot jäävät ennalleen.");
    if (m_run)
        m_run->answer(replace);
}

void TZumerForm::finishRun(const run::RunOutcome& outcome)
{
    showNews(m_run->takeNews());
    if (m_run->ended()) {
        m_run.reset();
        m_runTimer->stop();
    }  // else given up: the timer looks now and then whether its call has come back
    m_running = false;  // before any message box, whose loop gives the timer its turns
    if (outcome.end == run::RunOutcome::End::Refused) {
        if (!outcome.refusal.empty())
            m_services.messages->showMessage(outcome.refusal);
        else
            m_services.messages->showError(outcome.error);
        endCommand();
        return;
    }
    m_totalKilobytes += outcome.totals.kilobytes;
    m_summaryEnding = copy::keptText(outcome.totals.kept, outcome.totals.heldBack, false);
    ShowRunSummary();
    m_summaryEnding.clear();
    // Copies that are not known to be on the device make no copy to remember, nor a total
    // for the next run to carry.
    if (outcome.totals.notOnDevice)
        m_totalKilobytes = 0;
    if (outcome.recordedAt)
        RecordCopyRun(m_runTexts, *outcome.recordedAt);
    if (!outcome.error.empty()) {
        m_services.messages->showError(outcome.error);
    } else {
        m_lastFromDir = fromLocal(m_runTexts.source);
        m_lastToDir = fromLocal(m_runTexts.destination);
    }
    endCommand();
}

void TZumerForm::showCount(std::int64_t kilobytes, const char* ending)
{
    const std::int64_t failed = m_log->failedCount();
    m_lblNumberFound->setText(
        fromLocal(copy::summaryText(m_log->copiedCount(), failed, kilobytes) + ending));
    m_lblNumberFound->adjustSize();
    m_lblNumberFound->show();
}

void TZumerForm::ShowRunSummary()
{
    showCount(m_totalKilobytes, m_summaryEnding.c_str());
    const std::int64_t elapsedMs = (m_platform.monotonicNanos() - m_runStartNanos) / 1'000'000;
    m_label7->setText(qs("Aika: ") + fromLocal(copy::elapsedText(elapsedMs, m_regional.timeSeparator)));
    m_label7->adjustSize();
    m_label7->show();
}

void TZumerForm::Abort1Click()
{
    // The stop request is the run's own: one given outside a run changes nothing of the next.
    if (!m_running || !m_run)
        return;
    m_run->stop();
    if (!m_stopAskedAt)
        m_stopAskedAt = m_platform.monotonicNanos();
}

void TZumerForm::Clear1Click()
{
    clearLog();
    m_lblNumberFound->hide();
}

void TZumerForm::clearLog()
{
    m_log->clear();
    // The lines of entries that the run handled before this are not shown.
    if (m_running && m_run)
        m_run->logCleared();
}

void TZumerForm::File1Click() { close(); }

void TZumerForm::FromBoxClick() { clearLog(); }



void TZumerForm::publishLog()
{
    if (m_log->publish())
        m_listBox1->scrollToBottom();
}

void TZumerForm::closeEvent(QCloseEvent* event)
{
    // Closing during a run stops the run first; the run closes the window when it has
    // shown its summary.
    if (m_running) {
        m_closeRequested = true;
        Abort1Click();
        event->ignore();
        return;
    }
    // A save that failed keeps the window open; the next close tries it again.
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

}  // namespace sarvoli::app
