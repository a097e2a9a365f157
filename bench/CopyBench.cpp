// The copy benchmark's tool:
//   generate DIR FILES FOLDERS SEED   a tree of FILES files (200 B to 16 KB) in FOLDERS folders
//   touch DIR PERCENT SEED SECONDS    gives PERCENT of the files the last-write time SECONDS
//   verify SOURCE DESTINATION         the destination holds exactly the source's files, bytes and times
//   covers SOURCE DESTINATION         the destination holds every file of the source, bytes and times
//   mutate DIR SEED ROUND             changes a tree as a user would: new, changed and deleted
//                                     files, new folders
//   run SOURCE DESTINATION            one Copy through the real window: its fields set, its button clicked
//   workers                           how many files a run copies at once here

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/LogModel.h"
#include "app/QtServices.h"
#include "app/TZumerForm.h"
#include "copy/CopyWalk.h"
#include "copy/KeptCopies.h"
#include "platform/DriveType.h"
#include "platform/SystemPlatform.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kBaseTime = 1'767'268'800;  // 2026-01-01 12:00:00 UTC

void setTime(const fs::path& path, std::int64_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// The regular files below a folder, relative to it, sorted.
std::vector<fs::path> filesBelow(const fs::path& root)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.push_back(fs::relative(e.path(), root));
    std::sort(files.begin(), files.end());
    return files;
}

int generate(const fs::path& root, long files, long folders, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::vector<fs::path> folder{root};
    for (long i = 1; i <= folders; ++i)  // a tree with ten subfolders to a folder
        folder.push_back(folder[static_cast<std::size_t>((i - 1) / 10)] / ("kansio" + std::to_string(i)));
    for (const auto& f : folder)
        fs::create_directories(f);
    std::uniform_int_distribution<int> size(200, 16 * 1024);
    std::string bytes;
    for (long j = 0; j < files; ++j) {
        const fs::path path = folder[static_cast<std::size_t>(j % (folders + 1))] / ("tiedosto" + std::to_string(j) + ".dat");
        bytes.resize(static_cast<std::size_t>(size(random)));
        for (char& c : bytes)
            c = static_cast<char>(random());
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        setTime(path, kBaseTime + j);
    }
    return 0;
}

int touch(const fs::path& root, double percent, unsigned seed, std::int64_t seconds)
{
    std::vector<fs::path> files = filesBelow(root);
    std::shuffle(files.begin(), files.end(), std::mt19937_64(seed));
    files.resize(static_cast<std::size_t>(static_cast<double>(files.size()) * percent / 100));
    for (const auto& f : files)
        setTime(root / f, seconds);
    std::printf("%zu\n", files.size());
    return 0;
}

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}


// Every file of the source has its copy, bytes and last-write time; with `exactly`, nothing more.
int compare(const fs::path& source, const fs::path& destination, bool exactly)
{
    const std::vector<fs::path> files = filesBelow(source);
    // The old copies that a run kept are no copies of the source.
    std::vector<fs::path> copies = filesBelow(destination);
    std::erase_if(copies, [](const fs::path& f) { return *f.begin() == sarvoli::copy::kKeptFolder; });
    if (exactly && copies != files) {
        std::fprintf(stderr, "verify: the destination does not hold the same files\n");
        return 1;
    }
    for (const auto& f : files) {
        struct stat a {}, b {};
        stat((source / f).c_str(), &a);
        if (stat((destination / f).c_str(), &b) != 0 || a.st_mtim.tv_sec != b.st_mtim.tv_sec
            || a.st_mtim.tv_nsec != b.st_mtim.tv_nsec || contentOf(source / f) != contentOf(destination / f)) {
            std::fprintf(stderr, "verify: %s differs\n", f.c_str());
            return 1;
        }
    }
    std::printf("verified %zu files\n", files.size());
    return 0;
}

int mutate(const fs::path& root, unsigned seed, int round)
{
    std::mt19937_64 random(seed * 1000u + static_cast<unsigned>(round));
    std::vector<fs::path> files = filesBelow(root);
    std::shuffle(files.begin(), files.end(), random);
    std::vector<fs::path> folders;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_directory())
            folders.push_back(e.path());
    std::uniform_int_distribution<int> size(200, 16 * 1024);
    const std::int64_t stamp = kBaseTime + 1'000'000 + round * 100'000;  // later than any before
    const auto write = [&](const fs::path& path) {
        std::string bytes(static_cast<std::size_t>(size(random)), '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        setTime(path, stamp + static_cast<std::int64_t>(random() % 1000));
    };
    const std::size_t changed = files.size() / 100;
    const std::size_t deleted = files.size() / 200;
    for (std::size_t i = 0; i < changed; ++i)
        write(root / files[i]);
    for (std::size_t i = changed; i < changed + deleted; ++i)
        fs::remove(root / files[i]);
    for (std::size_t i = 0; i < files.size() / 100; ++i)
        write(folders[random() % folders.size()] / ("kierros" + std::to_string(round) + "-" + std::to_string(i) + ".dat"));
    for (int f = 0; f < 5; ++f) {
        const fs::path folder = folders[random() % folders.size()] / ("uusi" + std::to_string(round) + "-" + std::to_string(f));
        fs::create_directories(folder / "syvempi");
        for (int i = 0; i < 10; ++i)
            write(folder / (i % 2 ? "syvempi" : ".") / ("t" + std::to_string(i) + ".dat"));
    }
    std::printf("changed %zu, deleted %zu, added %zu files and 5 folders\n", changed, deleted, files.size() / 100 + 50);
    return 0;
}

// Processor time that the machine's host took from its processors so far, all of them together
// (the steal of /proc/stat); 0 where there is none to read.
long long stolenMs()
{
    std::ifstream stat("/proc/stat");
    std::string cpu;
    long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    if (!(stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal) || cpu != "cpu")
        return 0;
    return steal * 1000 / sysconf(_SC_CLK_TCK);
}

int run(int argc, char** argv, const fs::path& source, const fs::path& destination)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto platform = sarvoli::platform::createSystemPlatform();
    const auto pathText = [&](const fs::path& p) { return platform->pathTextOf(fs::absolute(p).string()).value(); };
    // The settings file goes to a folder of the benchmark's own.
    const fs::path exeFolder = fs::absolute(destination).parent_path() / "program";
    fs::create_directories(exeFolder);
    // SARVOLI3_BENCH_VERIFY=1: the window reads every copy back, as Verify=1 in its settings file
    // makes it; SARVOLI3_BENCH_VERSIONS=N keeps the copies it replaces, as Versions=N does.
    const QString versions = qEnvironmentVariable("SARVOLI3_BENCH_VERSIONS");
    if (qEnvironmentVariable("SARVOLI3_BENCH_VERIFY") == "1")
        std::ofstream(exeFolder / "settings.ini") << "[ZumerForm]\r\nVerify=1\r\n";
    else if (!versions.isEmpty())
        std::ofstream(exeFolder / "settings.ini") << "[ZumerForm]\r\nVersions=" << versions.toStdString() << "\r\n";
    else
        fs::remove(exeFolder / "settings.ini");
    sarvoli::app::QtMessageBoxes messages(nullptr);
    sarvoli::app::QtOpenFileDialog openFile(nullptr);
    sarvoli::app::QtShell shell;
    sarvoli::app::TZumerForm window(*platform, {&messages, &openFile, &shell}, pathText(exeFolder) + "\\");
    window.show();
    QCoreApplication::processEvents();
    window.findChild<QComboBox*>("FromBox")->setEditText(QString::fromStdString(pathText(source)));
    window.findChild<QComboBox*>("ToFolder")->setEditText(QString::fromStdString(pathText(destination)));

    const auto cpuSeconds = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
               + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    // The longest the window waited for a turn of its event loop during the run: a timer that
    // fires every millisecond, precisely, whose turns come late when the loop is held. (A timer
    // of no interval would keep a core busy in a loop that the run no longer holds.)
    auto lastTurn = start;
    // A virtual machine's processors may be taken by its host for tens of milliseconds, the run's
    // threads and the window's alike: a gap during which the host took processor time (steal in
    // /proc/stat, read at least every 10 ms) is told apart from one that is the program's.
    double longestGap = 0;
    double longestStolenGap = 0;
    const long long stealBefore = stolenMs();
    long long stealAtCheck = stealBefore;
    auto lastCheck = start;
    // SARVOLI3_BENCH_GAPS=N: every gap of N ms or more is told on standard error, with when it began.
    const int tellGapsFrom = qEnvironmentVariableIntValue("SARVOLI3_BENCH_GAPS");
    const auto turn = [&] {
        const auto now = std::chrono::steady_clock::now();
        const double gap = std::chrono::duration<double>(now - lastTurn).count();
        bool stolen = false;
        if (gap >= 0.005 || now - lastCheck >= std::chrono::milliseconds(10)) {
            const long long steal = stolenMs();
            stolen = steal > stealAtCheck;
            stealAtCheck = steal;
            lastCheck = now;
        }
        if (tellGapsFrom > 0 && gap * 1000 >= tellGapsFrom)
            std::fprintf(stderr, "gap %.1f ms from %.3f s%s\n", gap * 1000,
                         std::chrono::duration<double>(lastTurn - start).count(), stolen ? ", the host took processor time" : "");
        double& longest = stolen ? longestStolenGap : longestGap;
        longest = std::max(longest, gap);
        lastTurn = now;
    };
    QTimer turns;
    turns.setTimerType(Qt::PreciseTimer);
    turns.setInterval(1);
    QObject::connect(&turns, &QTimer::timeout, turn);
    turns.start();
    // The run goes on a thread of its own; the window's loop turns meanwhile until its summary.
    QEventLoop untilSummary;
    QObject::connect(&window, &sarvoli::app::TZumerForm::runEnded, &untilSummary, &QEventLoop::quit);
    window.findChild<QPushButton*>("btCopy")->click();
    if (window.isRunning())
        untilSummary.exec();
    turn();
    turns.stop();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuBefore;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("seconds %.4f\ncpu %.4f\nmax_gap_ms %.1f\nmax_stolen_gap_ms %.1f\nsteal_ms %lld\nlines %lld\nsummary %s\n%s\npeak_kb %ld\n",
                seconds, cpu, longestGap * 1000, longestStolenGap * 1000, stolenMs() - stealBefore,
                static_cast<long long>(window.log().lineCount()),
                window.findChild<QLabel*>("lblNumberFound")->text().toStdString().c_str(),
                window.findChild<QLabel*>("Label7")->text().toStdString().c_str(), usage.ru_maxrss);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 6)
        return generate(argv[2], std::atol(argv[3]), std::atol(argv[4]), static_cast<unsigned>(std::atol(argv[5])));
    if (command == "touch" && argc == 6)
        return touch(argv[2], std::atof(argv[3]), static_cast<unsigned>(std::atol(argv[4])), std::atoll(argv[5]));
    if (command == "verify" && argc == 4)
        return compare(argv[2], argv[3], true);
    if (command == "covers" && argc == 4)
        return compare(argv[2], argv[3], false);
    if (command == "mutate" && argc == 5)
        return mutate(argv[2], static_cast<unsigned>(std::atol(argv[3])), std::atoi(argv[4]));
    if (command == "workers") {
        std::printf("%d\n", sarvoli::copy::CopyWalk::defaultWorkers(sarvoli::platform::DestinationClass::Memory));
        return 0;
    }
    if (command == "run" && argc == 4)
        return run(argc, argv, argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s generate DIR FILES FOLDERS SEED | touch DIR PERCENT SEED SECONDS |"
                         " verify|covers SOURCE DESTINATION | mutate DIR SEED ROUND | run SOURCE DESTINATION\n", argv[0]);
    return 2;
}
