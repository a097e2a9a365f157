#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/LocalText.h"
#include "app/QtServices.h"
#include "run/CommandLine.h"
#include "app/TZumerForm.h"
#include "run/UnattendedRun.h"
#include "platform/SystemPlatform.h"
#include "settings/WindowSettings.h"

namespace {

using namespace sarvoli;

// For scripts/run on a machine without a display: with SARVOLI3_SCREENSHOT=file.png the program
// saves a picture of the screen once the window is up, and ends. Nothing else uses it.
void saveScreenshotWhenAsked(QObject& window)
{
    const QString screenshot = qEnvironmentVariable("SARVOLI3_SCREENSHOT");
    if (screenshot.isEmpty())
        return;
    QTimer::singleShot(1000, &window, [screenshot] {
        const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(screenshot, "PNG");
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

int runWindow(QApplication& qtApp, platform::Platform& platform, const std::string& exeFolder,
              const std::string& settingsFile)
{
    app::QtMessageBoxes messages(nullptr);
    app::QtOpenFileDialog openFile(nullptr);
    app::QtShell shell;
    app::TZumerForm window(platform, {&messages, &openFile, &shell}, exeFolder, settingsFile);
    messages.setParent(&window);
    openFile.setParent(&window);
    window.show();

    saveScreenshotWhenAsked(window);
    return qtApp.exec();
}

}  // namespace

int main(int argc, char* argv[])
{
    const run::Options options = run::parseCommandLine(argc, argv);
    if (options.help) {
        std::cout << run::kHelp;
        return 0;
    }
    if (!options.error.empty()) {
        std::cerr << options.error << "\n\n" << run::kHelp;
        return run::kNotStarted;
    }
    QCoreApplication::setApplicationName(QStringLiteral("Sarvoli3"));

    // A run without a window needs no display: no GUI application is made for it.
    std::unique_ptr<QCoreApplication> qtApp;
    if (options.run)
        qtApp = std::make_unique<QCoreApplication>(argc, argv);
    else
        qtApp = std::make_unique<QApplication>(argc, argv);

#ifndef _WIN32
    // A copy past the file-size limit fails with its reason instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    auto platform = platform::createSystemPlatform();
    const std::string exeFolder = settings::exeFolderOf(platform->executablePath());
    const std::optional<std::string> settingsFile = run::settingsFileOf(*platform, options, exeFolder);
    if (!settingsFile) {
        std::cerr << "Asetustiedostoa ei voi kirjoittaa polkuna: "
                  << options.settingsFile.value_or(std::string()) << '\n';
        return run::kNotStarted;
    }
    if (!options.run)
        return runWindow(static_cast<QApplication&>(*qtApp), *platform, exeFolder, *settingsFile);

    run::catchStopSignals();
    run::UnattendedRun unattended{*platform, *settingsFile, app::toLocal(qEnvironmentVariable("HOME")), std::cout,
                                  std::cerr, run::stopSignalled, options.fields};
    return run::runUnattended(unattended);
}
