#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <optional>
#include <string>

#include "app/QtServices.h"
#include "run/ProgramStart.h"
#include "run/UnattendedRun.h"
#include "app/TZumerForm.h"
#include "platform/SystemPlatform.h"

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
    if (const std::optional<int> status = run::answeredByCommandLine(options))
        return *status;
    if (options.run)
        return run::runWithoutWindow(argc, argv, options);

    QApplication qtApp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Sarvoli3"));
    run::keepRunningPastFileSizeLimit();
    auto platform = platform::createSystemPlatform();
    std::string exeFolder;
    const std::optional<std::string> settingsFile = run::settingsFileFor(*platform, options, exeFolder);
    if (!settingsFile)
        return run::kNotStarted;
    const int status = runWindow(qtApp, *platform, exeFolder, *settingsFile);
    run::endEvenIfARunWaits(status);
    return status;
}
