#include "app/SettingsLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace sarvoli::app {

bool isInstalledIn(const QString& exeFolder)
{
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
    if (!isInstalledIn(exeFolder) && isWritableFolder(exeFolder))
        return QDir(exeFolder).filePath(QStringLiteral("settings.ini"));
    // A folder that cannot be made shows up as "Unable to write to" at the first save.
    QDir().mkpath(configFolder);
    return QDir(configFolder).filePath(QStringLiteral("settings.ini"));
}

}  // namespace sarvoli::app
