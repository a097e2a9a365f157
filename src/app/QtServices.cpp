#include "app/QtServices.h"

#include "app/LocalText.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QUrl>

namespace sarvoli::app {

namespace {

constexpr const char* kTitle = "Sarvoli3";

// Qt's own file dialog, the same on every platform, made to answer as the system's dialog
// does without validation: the name in its name field comes back as it stands, relative to
// the folder shown; a folder's name enters that folder; the preset (a wildcard) stands in the
// name field of every folder entered, so that confirming it answers that folder.
class FolderAnsweringDialog : public QFileDialog {
public:
    FolderAnsweringDialog(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                          const QString& preset)
        : QFileDialog(parent, title, folder, filter), m_preset(preset)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::AnyFile);
        setAcceptMode(QFileDialog::AcceptOpen);
        selectFile(m_preset);
        if (auto* model = findChild<QFileSystemModel*>()) {
            connect(model, &QFileSystemModel::rootPathChanged, this, [this](const QString& root) {
                // After the dialog's own updates of the name field.
                QTimer::singleShot(0, this, [this, root] { presetAfterEntering(root); });
            });
        }
    }

    QString answer() const { return m_answer; }

    void accept() override
    {
        const QString typed = nameField() ? nameField()->text() : QString();
        if (typed.isEmpty())
            return;
        const QString path = QDir(directory()).absoluteFilePath(typed);
        if (!typed.contains(u'*') && !typed.contains(u'?') && QFileInfo(path).isDir()) {
            setDirectory(path);
            return;
        }
        m_answer = path;
        QDialog::accept();
    }

private:
    QLineEdit* nameField() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

    // A folder's name left in the name field after entering it gives way to the preset.
    void presetAfterEntering(const QString& root)
    {
        QLineEdit* field = nameField();
        if (!field)
            return;
        const QString typed = field->text();
        const bool folderName = typed.isEmpty() || typed == QFileInfo(root).fileName()
                                || QFileInfo(QDir(root).absoluteFilePath(typed)).isDir()
                                || QDir(typed).isAbsolute();
        if (folderName && !typed.contains(u'*')) {
            field->setText(m_preset);
            field->selectAll();
        }
    }

    QString m_preset;
    QString m_answer;
};

// A filter in the form "Description|pattern|Description|pattern" in Qt's form.
QString qtFilterOf(const std::string& filter)
{
    const QStringList parts = fromLocal(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(u';', u' ') + u')';
    return filters.join(QStringLiteral(";;"));
}

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

bool QtMessageBoxes::askYesNo(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kTitle), fromLocal(text), QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtOpenFileDialog::choose(const std::string& title, const std::string& filter,
                                                    const std::string& startFolder, const std::string& fileName)
{
    FolderAnsweringDialog dialog(m_parent, fromLocal(title), fromLocal(startFolder), qtFilterOf(filter),
                                 fromLocal(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.answer().isEmpty())
        return std::nullopt;
    return toLocal(dialog.answer());
}

bool QtShell::open(const std::string& address)
{
#ifdef _WIN32
    // The shell's own way, as the program was made: the verb "open", shown normally.
    return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOW)) > 32;
#else
    return QDesktopServices::openUrl(QUrl(fromLocal(address)));
#endif
}

}  // namespace sarvoli::app
