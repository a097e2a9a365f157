#include "run/CommandLine.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

#include <atomic>
#include <csignal>
#include <cstring>

#include "run/SettingsLocation.h"

namespace sarvoli::run {

const char* const kHelp =
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

Options parseCommandLine(int argc, char* argv[])
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

namespace {

// Set in a signal handler and read by the run: it must be lock-free to be safe there.
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) { g_stopRequested.store(true, std::memory_order_relaxed); }

QString fromLocal(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

bool stopSignalled() { return g_stopRequested.load(std::memory_order_relaxed); }

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

std::optional<std::string> settingsFileOf(platform::Platform& platform, const Options& options,
                                          const std::string& exeFolder)
{
    QString host;
    if (options.settingsFile)
        host = QFileInfo(QString::fromLocal8Bit(*options.settingsFile)).absoluteFilePath();
    else
        host = settingsFileFor(fromLocal(platform.systemPath(exeFolder).value_or(std::string())),
                               QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    return platform.pathTextOf(host.toLocal8Bit().toStdString());
}

}  // namespace sarvoli::run
