#include "app/TZumerForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>

#include "app/LocalText.h"
#include "app/LogModel.h"
#include "run/SettingsLock.h"
#include "copy/CopyWalk.h"
#include "settings/WindowSettings.h"
#include "text/DateTimeText.h"
#include "text/MessageText.h"
#include "text/WeekdayName.h"

// The window's memory: the settings file, the folder histories and the last-copy row.
namespace sarvoli::app {

namespace {

QDate qdateOf(text::DateTimeValue value)
{
    const text::CalendarDateTime dt = text::decodeDateTime(value);
    return QDate(dt.year, dt.month, dt.day);
}

text::DateTimeValue valueOf(const QDate& date) { return text::encodeDateTime({date.year(), date.month(), date.day()}); }

// Appends a folder to a box's list where the list lacks it; the box keeps its text.
void appendToList(QComboBox* box, const QString& folder)
{
    if (box->findText(folder, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        return;
    const QString text = box->currentText();
    box->addItem(folder);
    if (box->currentText() != text)
        box->setEditText(text);
}

}  // namespace

QString TZumerForm::settingsHostPath()
{
    return fromLocal(m_platform.systemPath(m_settingsFile.path()).value_or(std::string()));
}

int TZumerForm::currentYear() { return text::decodeDateTime(m_platform.localNow()).year; }

// The picker shows the date of the value it holds; the program sets it without raising its event.
void TZumerForm::showPickerValue()
{
    const QSignalBlocker block(m_dtPicker1);
    m_dtPicker1->setDate(qdateOf(m_pickerValue));
}

void TZumerForm::emptyLastCopyRow()
{
    m_pickerValue = text::withDateOf(m_pickerValue, 0);
    showPickerValue();
    m_dtPicker1->setEnabled(false);
    m_lbTime->hide();
    m_lbWeekday->hide();
}

void TZumerForm::fillLastCopyRow(const settings::LastCopy& lastCopy)
{
    m_pickerValue = text::withDateOf(m_pickerValue, lastCopy.value);
    showPickerValue();
    m_dtPicker1->setEnabled(true);
    m_lbWeekday->setText(fromLocal(text::WeekdayName(m_pickerValue)));
    m_lbWeekday->adjustSize();
    m_lbTime->setText(fromLocal(lastCopy.time));
    m_lbTime->adjustSize();
    m_lbWeekday->show();
    m_lbTime->show();
}

void TZumerForm::FormCreate()
{
    const settings::LoadedSettings loaded = settings::loadSettings(m_settingsFile, m_regional, currentYear());
    if (loaded.top)
        move(x(), *loaded.top);
    if (loaded.left)
        move(*loaded.left, y());
    if (loaded.fromBox)
        m_fromBox->setEditText(fromLocal(*loaded.fromBox));
    if (loaded.toFolder)
        m_toFolder->setEditText(fromLocal(*loaded.toFolder));
    for (const std::string& folder : loaded.sourceFolders.value_or(std::vector<std::string>()))
        appendToList(m_fromBox, fromLocal(folder));
    for (const std::string& folder : loaded.destinationFolders.value_or(std::vector<std::string>()))
        appendToList(m_toFolder, fromLocal(folder));
    if (loaded.mask)
        m_edFile->setText(fromLocal(*loaded.mask));
    if (loaded.exclusions)
        m_edPrev->setText(fromLocal(*loaded.exclusions));
    if (loaded.date) {
        m_pickerValue = text::withDateOf(m_pickerValue, *loaded.date);
        showPickerValue();
    }
    if (loaded.time) {
        m_dtPicker1->setEnabled(true);
        m_lbWeekday->setText(fromLocal(text::WeekdayName(m_pickerValue)));
        m_lbWeekday->adjustSize();
        m_lbWeekday->show();
        m_lbTime->setText(fromLocal(*loaded.time));
        m_lbTime->adjustSize();
        m_lbTime->show();
    }
    if (loaded.subs)
        m_subBox->setChecked(*loaded.subs);
    m_verify = loaded.verify;
    m_hidden = loaded.hidden;
    m_versions = loaded.versions;
    m_guard = loaded.guard;
    m_settingsRefusal = loaded.refusal;
    if (loaded.complete) {
        m_lastFromDir = m_fromBox->currentText();
        m_lastToDir = m_toFolder->currentText();
    }
    if (!loaded.error.empty())
        m_services.messages->showError(text::withFinalStop(loaded.error));
}

bool TZumerForm::FormClose()
{
    settings::WindowState state;
    state.fromBox = toLocal(m_fromBox->currentText());
    state.toFolder = toLocal(m_toFolder->currentText());
    state.mask = toLocal(m_edFile->text());
    state.exclusions = toLocal(m_edPrev->text());
    state.pickerValue = m_pickerValue;
    state.lastFromDir = toLocal(m_lastFromDir);
    state.lastToDir = toLocal(m_lastToDir);
    if (!m_lbTime->isHidden())
        state.time = toLocal(m_lbTime->text());
    state.subs = m_subBox->isChecked();
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
        state.top = y();
        state.left = x();
    }
    bool saved = false;
    const run::SettingsLock lock(settingsHostPath());
    guarded([&] {
        settings::saveSettings(m_settingsFile, state, m_regional);
        saved = true;
    });
    return saved;
}

// The run recorded itself in the settings file under the folders it ran with, which edits
// during the run do not change; the window shows the record.
void TZumerForm::RecordCopyRun(const copy::RunTexts& texts, const std::string& stamp)
{
    fillLastCopyRow(settings::lastCopyOf(stamp, m_regional, currentYear()));
    if (!texts.source.empty())
        appendToList(m_fromBox, fromLocal(texts.source));
    if (!texts.destination.empty())
        appendToList(m_toFolder, fromLocal(texts.destination));
    m_totalKilobytes = 0;
}

void TZumerForm::FromBoxChange()
{
    clearLog();
    m_lblNumberFound->hide();
    m_label7->hide();
    const std::string source = toLocal(m_fromBox->currentText());
    if (source.empty())
        return;
    if (const auto entry = m_sourceHistory.entryOf(source))
        fillLastCopyRow(settings::lastCopyOf(settings::History::dateTextOf(*entry), m_regional, currentYear()));
    else
        emptyLastCopyRow();
}

void TZumerForm::deleteFromHistory(QComboBox* box, settings::History& history)
{
    const QString folder = box->currentText();
    box->setEditText(QString());
    const int index = box->findText(folder, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return;
    box->removeItem(index);
    box->setEditText(QString());  // the box would otherwise show the entry that took the place
    history.remove(toLocal(folder));
}

void TZumerForm::Delete1Click() { deleteFromHistory(m_fromBox, m_sourceHistory); }
void TZumerForm::Delete2Click() { deleteFromHistory(m_toFolder, m_destinationHistory); }

void TZumerForm::DTPicker1Change()
{
    m_pickerValue = text::withDateOf(m_pickerValue, valueOf(m_dtPicker1->date()));
    m_lbWeekday->setText(fromLocal(text::WeekdayName(m_pickerValue)));
    m_lbWeekday->adjustSize();
}

}  // namespace sarvoli::app
