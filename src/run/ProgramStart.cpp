#include "run/ProgramStart.h"

#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/SystemPlatform.h"
#include "run/CopyRun.h"
#include "run/TypedFolder.h"
#include "run/UnattendedRun.h"
#include "settings/WindowSettings.h"

namespace sarvoli::run {

std::optional<int> answeredByCommandLine(const Options& options)
{
    if (options.help) {
        std::cout << kHelp;
        return 0;
    }
    if (!options.error.empty()) {
        std::cerr << options.error << "\n\n" << kHelp;
        return kNotStarted;
    }
    return std::nullopt;
}

std::optional<std::string> settingsFileFor(platform::Platform& platform, const Options& options,
                                           std::string& exeFolder)
{
    exeFolder = settings::exeFolderOf(platform.executablePath());
    std::optional<std::string> file = settingsFileOf(platform, options, exeFolder);
    if (!file)
        std::cerr << "Asetustiedostoa ei voi kirjoittaa polkuna: " << options.settingsFile.value_or(std::string())
                  << '\n';
    return file;
}

void endEvenIfARunWaits(int status)
{
    // A run given up waits in a call that its device may never answer: the process ends without
    // it, as nothing of the program waits for it any more.
    if (CopyRun::anyGivenUpStillWaiting()) {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(status);
    }
}

void keepRunningPastFileSizeLimit()
{
#ifndef _WIN32
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int runWithoutWindow(int argc, char* argv[], const Options& options)
{
    // No GUI application: a run without a window needs no display.
    QCoreApplication qtApp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Sarvoli3"));
    keepRunningPastFileSizeLimit();
    auto platform = platform::createSystemPlatform();
    std::string exeFolder;
    const std::optional<std::string> settingsFile = settingsFileFor(*platform, options, exeFolder);
    if (!settingsFile)
        return kNotStarted;
    catchStopSignals();
    const std::string home = userHome();
    const std::string working = QDir::toNativeSeparators(QDir::currentPath()).toLocal8Bit().toStdString();
    UnattendedRun unattended{*platform, *settingsFile, home, working, std::cout, std::cerr, stopSignalled, options.fields};
    const int status = runUnattended(unattended);
    endEvenIfARunWaits(status);
    return status;
}

}  // namespace sarvoli::run
