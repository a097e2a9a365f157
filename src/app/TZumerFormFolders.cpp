#include "app/TZumerForm.h"

#include <QComboBox>

#include "app/LocalText.h"
#include "app/LogModel.h"
#include "app/TAboutBoxi.h"
#include "run/TypedFolder.h"
#include "folders/FolderRules.h"

// The folder commands of the window: the two pickers and the same-path command; and the about box.
namespace sarvoli::app {

void TZumerForm::btPathClick() { pickFolder(m_fromBox, m_lastFromDir); }

void TZumerForm::btPath2Click() { pickFolder(m_toFolder, m_lastToDir); }

void TZumerForm::pickFolder(QComboBox* box, QString& remembered)
{
    // A run keeps its log and its place: a press during it is ignored, as a second Copy is.
    if (m_running)
        return;
    m_log->clear();
    const std::optional<std::string> start = m_platform.systemPath(toLocal(remembered));
    const std::optional<std::string> chosen =
        m_services.openFile->choose("Valitse kansio", "Folder|*", start.value_or(std::string()), "*");
    std::optional<std::string> folder;
    if (chosen) {
        if (const std::optional<std::string> name = m_platform.pathTextOf(*chosen))
            folder = folders::chosenFolder(*name);
        else
            m_services.messages->showMessage("Nimessä on kenoviiva, sitä ei voi valita");
    }
    if (folder)
        box->setEditText(fromLocal(*folder));  // set by the program: no change event
    remembered = fromLocal(folder.value_or(std::string()));
    if (!m_platform.setCurrentDirectory(m_exeFolder))
        m_services.messages->showMessage("Hakemistovirhe");
    emptyLastCopyRow();
}

bool TZumerForm::takeTypedHostPath(QComboBox* box)
{
    const run::TypedFolder folder = run::typedFolder(m_platform, toLocal(box->currentText()), run::userHome());
    if (!folder.error.empty()) {
        m_services.messages->showMessage(folder.error);
        return false;
    }
    if (fromLocal(folder.text) != box->currentText())
        box->setEditText(fromLocal(folder.text));  // set by the program: no change event
    return true;
}

void TZumerForm::SamePath1Click()
{
    const std::optional<std::string> destination =
        folders::samePathDestination(toLocal(m_fromBox->currentText()), toLocal(m_toFolder->currentText()));
    if (!destination) {
        m_services.messages->showMessage("Hakemistosta on tyhjä");
        return;
    }
    m_toFolder->setEditText(fromLocal(*destination));
}

void TZumerForm::About1Click()
{
    if (!m_aboutBox)
        m_aboutBox = new TAboutBoxi(*m_services.shell, this);
    m_aboutBox->show();
    m_aboutBox->raise();
    m_aboutBox->activateWindow();
}

}  // namespace sarvoli::app
