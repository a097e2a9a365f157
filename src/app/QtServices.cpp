#include "app/QtServices.h"

#include "app/LocalText.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QUrl>

namespace sarvoli::app {

namespace {

constexpr const char* kTitle = "Sarvoli3";

}  // namespace

void QtMessageBoxes::showMessage(const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kTitle), fromLocal(text), QMessageBox::Ok, m_parent);
    box.exec();
}

void QtMessageBoxes::showError(const std::string& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kTitle), fromLocal(text), QMessageBox::Ok, m_parent);
    box.exec();
}

std::optional<std::string> QtOpenFileDialog::choose(const std::string& title, const std::string& filter,
                                                    const std::string& startFolder, const std::string& fileName)
{
    QFileDialog dialog(m_parent, fromLocal(title), fromLocal(startFolder), fromLocal(filter));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!fileName.empty())
        dialog.selectFile(fromLocal(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return toLocal(dialog.selectedFiles().first());
}

bool QtShell::open(const std::string& address) { return QDesktopServices::openUrl(QUrl(fromLocal(address))); }

}  // namespace sarvoli::app
