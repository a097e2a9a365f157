#include "run/SettingsLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace sarvoli::run {

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
