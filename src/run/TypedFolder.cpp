#include "run/TypedFolder.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include "folders/FolderRules.h"
#include "text/PathParts.h"

namespace sarvoli::run {

std::string userHome()
{
#ifdef _WIN32
    return qEnvironmentVariable("USERPROFILE").toLocal8Bit().toStdString();
#else
    return qEnvironmentVariable("HOME").toLocal8Bit().toStdString();
#endif
}

TypedFolder typedFolder([[maybe_unused]] platform::Platform& platform, std::string_view text,
                        [[maybe_unused]] std::string_view home, [[maybe_unused]] std::string_view workingFolder)
{
#ifndef _WIN32
    if (const auto host = folders::typedHostPath(text, home, workingFolder)) {
        if (const auto pathText = platform.pathTextOf(*host))
            return {text::withBackslash(*pathText), {}};
        return {std::string(text), host->find('\\') != std::string::npos ? "Nimessä on kenoviiva, sitä ei voi valita"
                                                                          : "Kansio ei ole millään asemalla"};
    }
#else
    const auto variable = [](std::string_view name) -> std::optional<std::string> {
        const QByteArray key(name.data(), static_cast<qsizetype>(name.size()));
        if (!qEnvironmentVariableIsSet(key.constData()))
            return std::nullopt;
        return qEnvironmentVariable(key.constData()).toLocal8Bit().toStdString();
    };
    if (const auto folder = folders::typedWindowsFolder(text, home, workingFolder, variable))
        return {*folder, {}};
#endif
    return {std::string(text), {}};
}

}  // namespace sarvoli::run
