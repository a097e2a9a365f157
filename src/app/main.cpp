#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/LocalText.h"
#include "app/QtServices.h"
#include "app/SettingsLocation.h"
#include "app/TZumerForm.h"
#include "app/UnattendedRun.h"
#include "platform/SystemPlatform.h"
#include "settings/WindowSettings.h"

namespace {

using namespace sarvoli;

constexpr const char* kHelp =
    "Käyttö: sarvoli3 [--settings TIEDOSTO]\n"
    "        sarvoli3 --run [--settings TIEDOSTO]\n"
    "\n"
    "Ilman valintaa sarvoli3 avaa ikkunansa.\n"
    "  --run       kopioi ilman ikkunaa ja näyttöä asetustiedostoon tallennetuilla kentillä\n"
    "              (Hakemistosta, Hakemistoon, Tiedostomaski, Ehk. merkit, Alikansiot mukaan)\n"
    "              ja kirjaa kopion historiaan kuten ikkuna. Lokirivit ja yhteenveto\n"
    "              tulevat vakiotulosteeseen, epäonnistuneet rivit myös virhetulosteeseen.\n"
    "              Ctrl+C (SIGINT, SIGTERM) pysäyttää ajon käsillä olevan tiedoston jälkeen.\n"
    "  --settings  tämä asetustiedosto; muuten settings.ini ohjelman kansiossa, tai\n"
    "              käyttäjän asetuskansiossa, kun ohjelma on asennettu tai sen kansioon\n"
    "              ei voi kirjoittaa.\n"
    "  --help      tämä ohje.\n"
    "Paluuarvo: 0 kaikki kopioitiin, 1 jokin kopio epäonnistui tai ajo pysäytettiin,\n"
    "2 ajo ei alkanut (syy virhetulosteessa).\n";

struct Options {
    bool run = false;
    bool help = false;
    std::optional<std::string> settingsFile;  // as given: a host path
    std::string error;
};

Options parse(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--run") {
            options.run = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--settings" && i + 1 < argc) {
            options.settingsFile = argv[++i];
        } else if (arg.starts_with("--settings=")) {
            options.settingsFile = arg.substr(std::strlen("--settings="));
        } else {
            options.error = "Tuntematon valinta: " + arg;
        }
    }
    return options;
}

// Set in a signal handler and read by the run: it must be lock-free to be safe there.
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) { g_stopRequested.store(true, std::memory_order_relaxed); }

// Ctrl+C and SIGTERM stop the run after the entry in hand; a second one ends the program at
// once (a copy cut off is copied again by the next run).
void catchStopSignals()
{
#ifdef _WIN32
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

// The settings file as a path text: the one given, or the program's own.
std::optional<std::string> settingsFileOf(platform::Platform& platform, const Options& options,
                                          const std::string& exeFolder)
{
    QString host;
    if (options.settingsFile)
        host = QFileInfo(QString::fromLocal8Bit(*options.settingsFile)).absoluteFilePath();
    else
        host = app::settingsFileFor(app::fromLocal(platform.systemPath(exeFolder).value_or(std::string())),
                                    QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    return platform.pathTextOf(app::toLocal(host));
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

    // SARVOLI3_SCREENSHOT=file.png: save a picture of the screen once the window is up, and
    // end; for looking at the window on a machine without a display.
    const QString screenshot = qEnvironmentVariable("SARVOLI3_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(1000, &window, [&] {
            const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(screenshot, "PNG");
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return qtApp.exec();
}

}  // namespace

int main(int argc, char* argv[])
{
    const Options options = parse(argc, argv);
    if (options.help) {
        std::cout << kHelp;
        return 0;
    }
    if (!options.error.empty()) {
        std::cerr << options.error << "\n\n" << kHelp;
        return app::kNotStarted;
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
    const std::optional<std::string> settingsFile = settingsFileOf(*platform, options, exeFolder);
    if (!settingsFile) {
        std::cerr << "Asetustiedostoa ei voi kirjoittaa polkuna: "
                  << options.settingsFile.value_or(std::string()) << '\n';
        return app::kNotStarted;
    }
    if (!options.run)
        return runWindow(static_cast<QApplication&>(*qtApp), *platform, exeFolder, *settingsFile);

    catchStopSignals();
    app::UnattendedRun run{*platform, *settingsFile, app::toLocal(qEnvironmentVariable("HOME")), std::cout, std::cerr,
                           [] { return g_stopRequested.load(std::memory_order_relaxed); }};
    return app::runUnattended(run);
}
