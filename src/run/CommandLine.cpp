#include "run/CommandLine.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

#include <atomic>
#include <csignal>
#include <cstring>

#include "copy/CopyTexts.h"
#include "run/SettingsLocation.h"
#include "settings/WindowSettings.h"

namespace sarvoli::run {

const char* const kHelp =
    "Käyttö: sarvoli3 [--settings TIEDOSTO]\n"
    "        sarvoli3 --run [--settings TIEDOSTO] [--from KANSIO] [--to KANSIO] [--mask MASKI]\n"
    "                       [--exclude TEKSTI]... [--no-subfolders] [--hidden] [--dry-run | --verify]\n"
    "                       [--keep-versions N] [--guard [--allow-mass-replace]]\n"
    "\n"
    "Ilman valintaa sarvoli3 avaa ikkunansa.\n"
    "  --run       kopioi ilman ikkunaa ja näyttöä asetustiedostoon tallennetuilla kentillä\n"
    "              (Hakemistosta, Hakemistoon, Tiedostomaski, Ehk. merkit, Alikansiot mukaan)\n"
    "              ja kirjaa kopion historiaan kuten ikkuna. Lokirivit ja yhteenveto\n"
    "              tulevat vakiotulosteeseen, epäonnistuneet rivit myös virhetulosteeseen.\n"
    "              Ctrl+C (SIGINT, SIGTERM) pysäyttää ajon käsillä olevan tiedoston jälkeen,\n"
    "              kohteen, joka ei vastaa, kahdessa sekunnissa.\n"
    "  --from, --to KANSIO\n"
#ifdef _WIN32
    "              lähde- ja kohdekansio tallennettujen sijaan: D:\\docs, \\\\palvelin\\jako,\n"
    "              %USERPROFILE%\\Documents (ympäristömuuttujat %NIMI%), ~\\docs (profiilikansio)\n"
    "              tai työkansiosta docs ja ..\\kopiot.\n"
#else
    "              lähde- ja kohdekansio tallennettujen sijaan: polku (/home/matti/docs,\n"
    "              ~/docs, tai docs ja .. työkansiosta) tai polkuteksti (Z:\\home\\matti\\docs\\).\n"
#endif
    "  --mask MASKI\n"
    "              tiedostomaski tallennetun sijaan (*.txt).\n"
    "  --exclude TEKSTI\n"
    "              ohitettava teksti tallennettujen sijaan; enintään kaksi kertaa.\n"
    "  --no-subfolders\n"
    "              vain lähdekansion omat tiedostot.\n"
#ifdef _WIN32
    "  --hidden    myös piilokansiot, myös asetus Hidden=1.\n"
#else
    "  --hidden    myös piilokansiot (nimi alkaa pisteellä, kuten .git), myös asetus Hidden=1.\n"
#endif
    "              Komentorivin kentät eivät muuta tallennettuja kenttiä; ajo kirjataan\n"
    "              kansiohistoriaan kuten muutkin.\n"
    "  --dry-run   näyttää, mitä ajo kopioisi, ja virheet, jotka voi tietää kirjoittamatta:\n"
    "              ei luo kansiota, ei kirjoita mitään eikä kirjaa ajoa.\n"
    "  --verify    jokainen kopio luetaan levyltä takaisin ja verrataan lähteeseen; kopio,\n"
    "              joka ei vastaa lähdettä, on epäonnistunut ja kopioidaan seuraavalla\n"
    "              kerralla uudelleen (myös asetus Verify=1).\n"
    "  --keep-versions N\n"
    "              kopio, joka korvataan, siirretään ensin kohteen kansioon\n"
    "              Sarvoli3-vanhat-kopiot, ajon omaan kansioon (ajon alkuhetki UTC-aikana,\n"
    "              kuten 2026-12-11T130606Z) samalle polulle; N uusimman ajon kansiot\n"
    "              säilyvät, vanhemmat poistetaan ajon jälkeen, jossa mikään ei epäonnistunut\n"
    "              (myös asetus Versions=N). Palautus: siirrä tiedosto tai koko ajon kansio\n"
    "              takaisin kohdekansion päälle.\n"
    "  --guard     ajo, joka korvaisi vähintään puolet kohteen kopioista ja ainakin 100,\n"
    "              ei korvaa mitään: uudet tiedostot kopioidaan, määrät ja esimerkit\n"
    "              tulostetaan ja paluuarvo on 3 (myös asetus Guard=1).\n"
    "  --allow-mass-replace\n"
    "              --guard sallii tämän ajon korvata kopiot.\n"
#ifdef _WIN32
    "  --settings  tämä asetustiedosto; muuten settings.ini ohjelman kansiossa, tai\n"
    "              %LOCALAPPDATA%\\Sarvoli3, kun ohjelma on asennettu (Program Files)\n"
    "              tai sen kansioon ei voi kirjoittaa.\n"
#else
    "  --settings  tämä asetustiedosto; muuten settings.ini ohjelman kansiossa, tai\n"
    "              käyttäjän asetuskansiossa, kun ohjelma on asennettu tai sen kansioon\n"
    "              ei voi kirjoittaa.\n"
#endif
    "  --help      tämä ohje.\n"
    "Aina ohitetaan: piilokansiot (ilman valintaa --hidden), linkit kansioihin ja muut kuin\n"
    "tavalliset tiedostot (putket, pistokkeet, laitteet). Ilman tallennettua Ehk. merkit -kenttää\n"
    "ja valintaa --exclude ohitetaan nimet, joissa on .~ tai .bak, kuten ikkunassa.\n"
    "Paluuarvo: 0 kaikki kopioitiin, 1 jokin kopio epäonnistui tai ajo pysäytettiin,\n"
    "2 ajo ei alkanut (syy virhetulosteessa), 3 vahti (--guard) jätti kopiot korvaamatta.\n";

namespace {

// The value of an option given as "--name VALUE" or "--name=VALUE"; nothing when `arg` is not
// that option. `missing` is set when the option has no value.
std::optional<std::string> valueOf(const std::string& name, int argc, char* argv[], int& i, bool& missing)
{
    const std::string arg = argv[i];
    if (arg == name) {
        if (i + 1 >= argc) {
            missing = true;
            return std::string();
        }
        return std::string(argv[++i]);
    }
    if (arg.starts_with(name + "="))
        return arg.substr(name.size() + 1);
    return std::nullopt;
}

}  // namespace

Options parseCommandLine(int argc, char* argv[])
{
    Options options;
    const auto fail = [&](const std::string& why) {
        if (options.error.empty())
            options.error = why;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool missing = false;
        if (arg == "--run") {
            options.run = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--no-subfolders") {
            options.fields.noSubfolders = true;
        } else if (arg == "--verify") {
            options.fields.verify = true;
        } else if (arg == "--dry-run") {
            options.fields.preview = true;
        } else if (arg == "--hidden") {
            options.fields.hidden = true;
        } else if (arg == "--guard") {
            options.fields.guard = true;
        } else if (arg == "--allow-mass-replace") {
            options.fields.allowMassReplace = true;
        } else if (auto keep = valueOf("--keep-versions", argc, argv, i, missing)) {
            const std::optional<int> n = settings::keptRunsOf(*keep);
            if (!missing && (!n || *n < 1))
                fail("Valinnan --keep-versions arvo on ajojen määrä, 1 tai suurempi: " + *keep);
            options.fields.keepVersions = n.value_or(0);
        } else if (auto settings = valueOf("--settings", argc, argv, i, missing)) {
            options.settingsFile = *settings;
        } else if (auto from = valueOf("--from", argc, argv, i, missing)) {
            options.fields.from = *from;
        } else if (auto to = valueOf("--to", argc, argv, i, missing)) {
            options.fields.to = *to;
        } else if (auto mask = valueOf("--mask", argc, argv, i, missing)) {
            options.fields.mask = *mask;
        } else if (auto exclusion = valueOf("--exclude", argc, argv, i, missing)) {
            // The field keeps two strings parted by "|": one that holds it would be two.
            if (exclusion->find('|') != std::string::npos)
                fail("Ohitettava teksti ei voi sisältää merkkiä |: " + *exclusion);
            options.fields.exclusions.push_back(*exclusion);
        } else {
            fail("Tuntematon valinta: " + arg);
        }
        if (missing)
            fail("Valinnalta puuttuu arvo: " + arg);
    }
    if (options.fields.exclusions.size() > 2)
        fail("Ohitettavia tekstejä voi olla enintään kaksi (--exclude)");
    for (const auto* folder : {&options.fields.from, &options.fields.to})
        if (*folder && (*folder)->empty())
            fail(copy::texts::kNoFolderGiven);
    const FieldOptions& f = options.fields;
    if ((f.any() || f.verify || f.preview || f.hidden || f.keepVersions > 0 || f.guard || f.allowMassReplace)
        && !options.run)
        fail("Valinnat --from, --to, --mask, --exclude, --no-subfolders, --hidden, --dry-run, --verify, "
             "--keep-versions, --guard ja --allow-mass-replace vain valinnan --run kanssa");
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
