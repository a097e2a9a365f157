#include "run/SettingsLocation.h"

#ifdef _WIN32
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace sarvoli::run {

bool isInstalledIn(const QString& exeFolder)
{
#ifdef _WIN32
    // Beside the mark that the installer leaves, or anywhere under the Program Files folders
    // (where an elevated program could write beside itself, and the uninstaller would leave
    // its settings behind).
    const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(exeFolder));
    if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("sarvoli3-installed.txt"))))
        return true;
    for (const KNOWNFOLDERID& id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX64, FOLDERID_ProgramFilesX86}) {
        PWSTR path = nullptr;
        const QString programFiles = SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))
                                         ? QDir::cleanPath(QDir::fromNativeSeparators(QString::fromWCharArray(path)))
                                         : QString();
        CoTaskMemFree(path);  // also where the call failed
        if (!programFiles.isEmpty()
            && (folder.compare(programFiles, Qt::CaseInsensitive) == 0
                || folder.startsWith(programFiles + QLatin1Char('/'), Qt::CaseInsensitive)))
            return true;
    }
    return false;
#endif
    const QDir bin(exeFolder);
    return bin.dirName() == QLatin1String("bin")
           && QFileInfo::exists(bin.filePath(QStringLiteral("../share/applications/sarvoli3.desktop")));
}

bool isWritableFolder(const QString& folder)
{
    // Permission bits do not tell it all (read-only mounts, ACLs, root): try it.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".sarvoli3-probe-XXXXXX")));
    return probe.open();
}

QString settingsFileFor(const QString& exeFolder, const QString& configFolder)
{
    const QString beside = QDir(exeFolder).filePath(QStringLiteral("settings.ini"));
    if (!isInstalledIn(exeFolder) && isWritableFolder(exeFolder))
        return beside;
    // A folder that cannot be made shows up as "Unable to write to" at the first save.
    QDir().mkpath(configFolder);
    const QString config = QDir(configFolder).filePath(QStringLiteral("settings.ini"));
    // The fields and histories of a copy whose folder has become read-only (a CD, a shared
    // folder) are not lost: the configuration folder starts from them. Written anew rather
    // than copied, so that a read-only file's bits do not come along.
    QFile from(beside);
    if (!QFileInfo::exists(config) && from.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = from.readAll();
        QFile to(config);
        if (to.open(QIODevice::WriteOnly) && to.write(bytes) != bytes.size())
            to.remove();
    }
    return config;
}

}  // namespace sarvoli::run
