#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLocale>

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <thread>
#include <sstream>
#include <cstring>
#include <string>
#include <vector>

#include "MemoryDisk.h"
#include "TempDir.h"
#include "copy/RunSummaryText.h"
#include "platform/posix/LocaleSettings.h"
#include "platform/posix/PosixPlatform.h"
#include "settings/History.h"
#include "settings/WindowSettings.h"

using namespace sarvoli;
using namespace sarvoli::testing;
using ::testing::HasSubstr;

namespace {

// How the program is started, beyond its arguments.
struct Launch {
    std::vector<std::string> environment;  // added to the bare one
    bool asOrdinaryUser = false;            // as root, run as nobody: root passes every permission test
    rlim_t fileSizeLimit = RLIM_INFINITY;
    rlim_t processLimit = RLIM_INFINITY;    // threads count as processes of the user
    rlim_t openFileLimit = 0;               // 0: as the test has it
    std::string workingFolder;              // empty: the test's
    std::function<void(pid_t)> onStart;     // called once the program has started
    std::function<void(const std::string&)> onOutput;  // called with all it printed so far, as it comes
};

constexpr uid_t kNobody = 65534;

struct Outcome {
    int status = -1;
    std::vector<std::string> out;  // standard output, a line each
    std::string err;
};

// Starts the built program as cron would, with no display and a bare environment, and
// collects what it prints. `onFirstLine` is called once its first line has come.
Outcome runProgram(const TempDir& tmp, std::vector<std::string> args,
                   const std::function<void(pid_t)>& onFirstLine = {}, const std::string& program = SARVOLI3_EXE,
                   const Launch& launch = {})
{
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = {"HOME=" + tmp.path(), "PATH=/usr/bin:/bin"};
    for (const char* sanitizer : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})  // for the sanitizer build
        if (const char* value = std::getenv(sanitizer))
            environment.push_back(std::string(sanitizer) + "=" + value);
    // The launch's own settings take the place of those above with the same name.
    for (const std::string& setting : launch.environment) {
        const std::string name = setting.substr(0, setting.find('=') + 1);
        std::erase_if(environment, [&](const std::string& e) { return e.starts_with(name); });
        environment.push_back(setting);
    }
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string errFile = tmp / ("stderr-" + std::to_string(::getpid()));

    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        close(pipeFds[0]);
        if (launch.asOrdinaryUser && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(126);
        const struct rlimit limit = {launch.fileSizeLimit, launch.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        // Set once the user is changed: the limit holds for what the program starts, not the change.
        const struct rlimit processes = {launch.processLimit, launch.processLimit};
        setrlimit(RLIMIT_NPROC, &processes);
        if (launch.openFileLimit > 0) {
            const struct rlimit files = {launch.openFileLimit, launch.openFileLimit};
            setrlimit(RLIMIT_NOFILE, &files);
        }
        if (!launch.workingFolder.empty() && chdir(launch.workingFolder.c_str()) != 0)
            _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (launch.onStart)
        launch.onStart(pid);
    Outcome outcome;
    std::string text;
    char buffer[4096];
    bool told = false;
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
        if (!told && onFirstLine && text.find('\n') != std::string::npos) {
            told = true;
            onFirstLine(pid);
        }
        if (launch.onOutput)
            launch.onOutput(text);
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        outcome.out.push_back(line);
    outcome.err = readFile(errFile);
    std::remove(errFile.c_str());
    return outcome;
}

// The path text of a host path, as the program writes it.
std::string pathText(const std::string& host)
{
    std::string text = "Z:" + host;
    for (char& c : text)
        c = c == '/' ? '\\' : c;
    return text;
}

// Bytes that no run of a pattern can fake: a copy is whole only when every one is in place.
std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t word = random();
        std::memcpy(&bytes[i], &word, 8);
    }
    return bytes;
}

// True while the process holds a file in `folder` open (the copy being written).
bool writingInto(pid_t pid, const std::string& folder)
{
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (!ec && target.starts_with(folder + "/") && target.find("/settings.ini") == std::string::npos)
            return true;
    }
    return false;
}

// A file system on a loop device, as a disk of its own; mounting it needs root. `mkfs` makes
// it on the image named last on its line.
class LoopDisk {
public:
    explicit LoopDisk(const std::string& mountPoint, const std::string& mkfs = "mkfs.ext4 -q -F", const char* size = "256M")
        : m_image("/var/tmp/sarvoli3-disk-" + std::to_string(getpid()) + "-" + std::to_string(++s_count) + ".img"),
          m_mountPoint(mountPoint)
    {
        std::filesystem::create_directories(mountPoint);
        m_ready = geteuid() == 0
                  && std::system(("truncate -s " + std::string(size) + " " + m_image + " && " + mkfs + " " + m_image
                                  + " >/dev/null 2>&1").c_str()) == 0
                  && mount();
    }
    ~LoopDisk()
    {
        unmount();
        std::remove(m_image.c_str());
    }
    bool ready() const { return m_ready; }
    bool mount() { return std::system(("mount -o loop " + m_image + " " + m_mountPoint).c_str()) == 0; }
    bool unmount() { return ::umount(m_mountPoint.c_str()) == 0; }
    // Commits the journal as any program's fsync on the disk does, with what the run has
    // named so far, whatever of their data is still in memory.
    bool commitJournal()
    {
        const int fd = open((m_mountPoint + "/other-program.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool committed = fd >= 0 && write(fd, "x", 1) == 1 && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
        return committed;
    }
    // What a power cut does: the device stops taking writes, and what its journal did not
    // commit is gone (the shutdown without a log flush of XFS, which ext4 shares, as xfstests
    // simulate one).
    bool powerCut()
    {
        const int fd = open(m_mountPoint.c_str(), O_RDONLY | O_DIRECTORY);
        std::uint32_t noLogFlush = 2;
        const bool cut = fd >= 0 && ioctl(fd, _IOR('X', 125, std::uint32_t), &noLogFlush) == 0;
        if (fd >= 0)
            close(fd);
        return cut;
    }

private:
    static inline int s_count = 0;
    std::string m_image;
    std::string m_mountPoint;
    bool m_ready = false;
};

// The program where an ordinary user can start it, with the test's folder theirs: the build's
// own folder may be one that they cannot enter (a clone in /root).
std::string programForNobody(const TempDir& tmp)
{
    const std::string program = tmp / "bin/sarvoli3";
    std::filesystem::create_directories(tmp / "bin");
    std::filesystem::copy_file(SARVOLI3_EXE, program, std::filesystem::copy_options::overwrite_existing);
    if (geteuid() == 0) {
        EXPECT_EQ(std::system(("chown -R 65534:65534 " + tmp.path()).c_str()), 0);
    }
    return program;
}

// The sanitizer build's leak check stops the world with a thread of its own and cannot work
// under a tracer: where a launch leaves it no thread or traces it, it is left out.
std::string withoutLeakCheck()
{
    const char* options = std::getenv("ASAN_OPTIONS");
    return std::string("ASAN_OPTIONS=") + (options ? std::string(options) + ":" : std::string()) + "detect_leaks=0";
}

void writeSettings(const TempDir& tmp, const std::string& formLines)
{
    writeFile(tmp / "settings.ini", "[ZumerForm]\r\n" + formLines);
}

class ProgramRun : public ::testing::Test {
protected:
    ProgramRun()
    {
        writeFile(tmp / "src/a.bin", std::string(3000, 'a'));
        writeFile(tmp / "src/sub/b.bin", std::string(2500, 'b'));
        writeFile(tmp / "dst/.keep", "");
        // Typed as a Linux user writes folders: the run takes them as their path texts.
        writeSettings(tmp, "FromBox=" + tmp / "src" + "\r\nToFolder=~/dst\r\nSubs=1\r\n");
    }
    std::vector<std::string> run() { return {"--run", "--settings", tmp / "settings.ini"}; }

    TempDir tmp;
};

TEST_F(ProgramRun, copiesAndRecordsWithoutADisplayThenFindsNothingToCopy)
{
    const Outcome first = runProgram(tmp, run());
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "");
    ASSERT_EQ(first.out.size(), 4u);
    EXPECT_THAT(first.out[0] + first.out[1], HasSubstr(pathText(tmp / "dst/a.bin   ")));
    EXPECT_THAT(first.out[0] + first.out[1], HasSubstr(pathText(tmp / "dst/sub/b.bin   ")));
    EXPECT_EQ(first.out[2], "2 tiedostoa kopioitu, kaikkiaan  5 KB");
    EXPECT_THAT(first.out[3], ::testing::MatchesRegex("Aika: 0:0[0-9]:[0-9][0-9][0-9]"));
    EXPECT_EQ(readFile(tmp / "dst/sub/b.bin"), std::string(2500, 'b'));

    // What the window reads at its next start: the folders and the last copy.
    platform::PosixPlatform platform;
    settings::IniFile file(platform, pathText(tmp / "settings.ini"));
    const text::RegionalSettings c = platform::regionalSettingsOf(QLocale::c());
    const settings::LoadedSettings loaded = settings::loadSettings(file, c, 2026);
    EXPECT_EQ(loaded.error, "");
    const std::string source = pathText(tmp / "src/");
    EXPECT_EQ(loaded.fromBox, source);
    EXPECT_EQ(loaded.toFolder, pathText(tmp / "dst/"));
    EXPECT_EQ(loaded.sourceFolders, std::vector<std::string>{source});
    EXPECT_EQ(loaded.destinationFolders, std::vector<std::string>{pathText(tmp / "dst/")});
    ASSERT_TRUE(loaded.date && loaded.time);
    const auto entry = settings::History(file, settings::kSourceSection, settings::History::Kind::Source).entryOf(source);
    ASSERT_TRUE(entry);
    EXPECT_EQ(settings::lastCopyOf(settings::History::dateTextOf(*entry), c, 2026).time, *loaded.time);

    const Outcome second = runProgram(tmp, run());
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out.size(), 2u);
    EXPECT_EQ(second.out.at(0), "0 tiedostoa kopioitu, kaikkiaan  0 KB");
}

TEST_F(ProgramRun, exitStatusTellsFailureAndARunThatCouldNotStart)
{
    // A folder in the way of a copy: the run goes on, the line goes to both streams.
    writeFile(tmp / "src/c.bin", std::string(1200, 'c'));
    writeFile(tmp / "dst/c.bin/in-the-way", "");
    const Outcome failed = runProgram(tmp, run());
    EXPECT_EQ(failed.status, 1);
    ASSERT_EQ(failed.out.size(), 5u);
    EXPECT_EQ(failed.out[3], "2 tiedostoa kopioitu, kaikkiaan  5 KB, 1 epäonnistui");
    EXPECT_THAT(failed.err, HasSubstr(pathText(tmp / "dst/c.bin   ")));
    EXPECT_THAT(failed.err, HasSubstr("VIRHE: "));

    struct Row {
        const char* settings;  // nullptr: no settings file
        const char* message;
    };
    const Row rows[] = {
        {nullptr, "asetustiedostoa ei ole"},
        {"ToFolder=Z:\\tmp\r\n", "HAKEMISTO tai LEVY on valitsematta"},
        {"FromBox=Z:\\tmp\r\nToFolder=q:\\kopiot\r\n", "Asemaa q ei ole tai se ei ole käytettävissä."},
        {"FromBox=Z:\\tmp\r\nToFolder=/a\\b\r\n", "Nimessä on kenoviiva, sitä ei voi valita"},
        {"FromBox=Z:\\tmp\r\nToFolder=Z:\\tmp\r\nDate=eilen\r\n", "'eilen' is not a valid date and time."},
    };
    for (const Row& r : rows) {
        std::remove((tmp / "settings.ini").c_str());
        if (r.settings)
            writeSettings(tmp, r.settings);
        const Outcome refused = runProgram(tmp, run());
        EXPECT_EQ(refused.status, 2) << r.message;
        EXPECT_THAT(refused.err, HasSubstr(r.message));
        EXPECT_THAT(refused.out, ::testing::IsEmpty()) << r.message;
    }
    // A settings file that is there but cannot be read is not called missing; a source that
    // is not there (a disk not mounted) is no run with nothing to copy.
    std::remove((tmp / "settings.ini").c_str());
    mkdir((tmp / "settings.ini").c_str(), 0755);
    const Outcome unreadable = runProgram(tmp, run());
    EXPECT_EQ(unreadable.status, 2);
    EXPECT_THAT(unreadable.err, HasSubstr(std::strerror(EISDIR)));
    rmdir((tmp / "settings.ini").c_str());
    writeSettings(tmp, "FromBox=" + tmp / "unmounted" + "\r\nToFolder=" + tmp / "dst" + "\r\n");
    const Outcome missing = runProgram(tmp, run());
    EXPECT_EQ(missing.status, 2);
    EXPECT_THAT(missing.err, HasSubstr("Lähdekansiota ei ole: " + pathText(tmp / "unmounted")));

    const Outcome help = runProgram(tmp, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, ::testing::Contains(HasSubstr("--run")));
    EXPECT_EQ(runProgram(tmp, {"--kopioi"}).status, 2);
}

TEST_F(ProgramRun, fieldsOnTheCommandLineTakeThePlaceOfTheSavedOnesForOneRun)
{
    writeFile(tmp / "src/notes.txt", std::string(1500, 'n'));
    writeFile(tmp / "src/skip.bak", std::string(1500, 's'));
    writeFile(tmp / "src/.git/config", std::string(1500, 'g'));  // a hidden folder
    const std::string saved = "FromBox=" + tmp / "src" + "\r\nToFolder=~/dst\r\nSubs=1\r\n";
    struct Row {
        const char* name;
        bool settingsFile;
        std::vector<std::string> args;  // after --run --settings FILE
        int status;
        const char* message;            // on standard error, for a refused run
        std::vector<std::string> copies;  // the files in the destination afterwards
        const char* destination;          // below the test's folder
        bool records = true;              // a run that copies is recorded in the histories
    };
    const std::string other = tmp / "other";
    const Row rows[] = {
        {"both folders, no settings file", false, {"--from", tmp / "src", "--to", other}, 0, nullptr,
         {"a.bin", "notes.txt", "sub/b.bin"}, "other"},
        {"folders of the working folder", false, {"--from", "./src", "--to", "src/../other"}, 0, nullptr,
         {"a.bin", "notes.txt", "sub/b.bin"}, "other"},
        {"hidden folders too", true, {"--hidden", "--mask", "*.*"}, 0, nullptr, {".git/config", "a.bin", "notes.txt", "sub/b.bin"}, "dst"},
        {"the destination alone, as a path text", true, {"--to", pathText(other)}, 0, nullptr,
         {"a.bin", "notes.txt", "sub/b.bin"}, "other"},
        {"a mask", true, {"--mask", "*.txt"}, 0, nullptr, {"notes.txt"}, "dst"},
        {"read back", true, {"--verify", "--mask", "*.bin"}, 0, nullptr, {"a.bin", "sub/b.bin"}, "dst"},
        {"a preview", true, {"--dry-run"}, 0, nullptr, {}, "dst", false},
        {"a preview with its folders", false, {"--dry-run", "--from", tmp / "src", "--to", other}, 0, nullptr, {}, "other",
         false},
        {"two exclusions", true, {"--exclude", ".bin", "--exclude", "notes"}, 0, nullptr, {"skip.bak"}, "dst"},
        {"an empty exclusion: nothing left out", true, {"--exclude", "", "--no-subfolders"}, 0, nullptr,
         {"a.bin", "notes.txt", "skip.bak"}, "dst"},
        {"three exclusions", true, {"--exclude", "a", "--exclude", "b", "--exclude", "c"}, 2, "enintään kaksi", {}, "dst"},
        {"an exclusion holding |", true, {"--exclude", "a|b"}, 2, "merkkiä |", {}, "dst"},
        {"an empty folder", true, {"--from", ""}, 2, "HAKEMISTO tai LEVY on valitsematta", {}, "dst"},
        {"a folder without its value", true, {"--to"}, 2, "puuttuu arvo: --to", {}, "dst"},
        {"an unknown option", true, {"--verbose"}, 2, "Tuntematon valinta: --verbose", {}, "dst"},
        {"one folder and no settings file", false, {"--to", other}, 2, "asetustiedostoa ei ole", {}, "other"},
    };
    for (const Row& r : rows) {
        std::filesystem::remove_all(tmp / "dst");
        std::filesystem::remove_all(other);
        std::remove((tmp / "settings.ini").c_str());
        if (r.settingsFile)
            writeSettings(tmp, saved);
        std::vector<std::string> args = run();
        args.insert(args.end(), r.args.begin(), r.args.end());
        Launch inTheTestsFolder;
        inTheTestsFolder.workingFolder = tmp.path();
        const Outcome o = runProgram(tmp, args, {}, SARVOLI3_EXE, inTheTestsFolder);
        EXPECT_EQ(o.status, r.status) << r.name << "\n" << o.err;
        std::vector<std::string> copies;
        const std::string destination = tmp / r.destination;
        std::error_code none;  // a destination that is not there holds no copy
        for (const auto& e : std::filesystem::recursive_directory_iterator(destination, none))
            if (e.is_regular_file())
                copies.push_back(std::filesystem::relative(e.path(), destination).generic_string());
        std::sort(copies.begin(), copies.end());
        EXPECT_EQ(copies, r.copies) << r.name;
        const std::string settings = exists(tmp / "settings.ini") ? readFile(tmp / "settings.ini") : "";
        if (r.message) {
            EXPECT_THAT(o.err, HasSubstr(r.message)) << r.name;
            EXPECT_THAT(o.out, ::testing::IsEmpty()) << r.name;
            EXPECT_EQ(settings, r.settingsFile ? "[ZumerForm]\r\n" + saved : "") << r.name << ": nothing written";
        } else if (!r.records) {
            EXPECT_THAT(o.out, ::testing::Contains("3 tiedostoa kopioitaisiin, kaikkiaan  6 KB")) << r.name;
            EXPECT_FALSE(exists(destination)) << r.name << ": no folder made";
            EXPECT_EQ(settings, r.settingsFile ? "[ZumerForm]\r\n" + saved : "") << r.name << ": nothing recorded";
        } else {
            // Recorded in the histories; the saved fields stay as the window left them.
            EXPECT_THAT(settings, HasSubstr("[FromBox]")) << r.name;
            EXPECT_THAT(settings, HasSubstr("[ToFolder]\r\n0=" + pathText(destination))) << r.name;
            EXPECT_EQ(settings.find("FrmDir="), std::string::npos) << r.name;
            if (r.settingsFile) {
                EXPECT_THAT(settings, HasSubstr("ToFolder=~/dst\r\n")) << r.name;
            }
        }
    }
}

// A FUSE file system served by a bindfs process of the test's own, which the test can stop as a
// server stops answering (a NAS gone off the network, a hung server). Mounting needs root.
class StoppableShare {
public:
    StoppableShare(const std::string& backing, const std::string& mountPoint) : m_mountPoint(mountPoint)
    {
        std::filesystem::create_directories(backing);
        std::filesystem::create_directories(mountPoint);
        struct stat before {};
        stat(mountPoint.c_str(), &before);
        if (geteuid() != 0 || access("/usr/bin/bindfs", X_OK) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            execl("/usr/bin/bindfs", "bindfs", "-f", backing.c_str(), mountPoint.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500 && !m_ready; ++i) {
            struct stat now {};
            m_ready = stat(mountPoint.c_str(), &now) == 0 && now.st_dev != before.st_dev;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~StoppableShare()
    {
        if (m_pid <= 0)
            return;
        answerAgain();
        (void)std::system(("fusermount -u -z " + m_mountPoint + " 2>/dev/null").c_str());
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    bool ready() const { return m_ready; }
    void stopAnswering() { kill(m_pid, SIGSTOP); }
    void answerAgain() { kill(m_pid, SIGCONT); }

private:
    std::string m_mountPoint;
    pid_t m_pid = -1;
    bool m_ready = false;
};

TEST_F(ProgramRun, aSignalStopsTheRunAfterTheEntryInHandWhateverTheDeviceDoes)
{
    // More log lines than a pipe holds, so the run is still going when the signal comes;
    // files of 1 KB alone, so that the size tells the count.
    std::remove((tmp / "src/a.bin").c_str());
    std::remove((tmp / "src/sub/b.bin").c_str());
    for (int i = 0; i < 4000; ++i)
        writeFile(tmp / ("src/many/f" + std::to_string(i)), std::string(1000, 'x'));
    struct Row {
        const char* name;
        int signal;
        bool deviceStops;  // the destination's server stops answering as the signal comes
    };
    const Row rows[] = {{"Ctrl+C", SIGINT, false}, {"SIGTERM, a server that does not answer", SIGTERM, true}};
    for (const Row& r : rows) {
        std::optional<StoppableShare> share;
        std::string copies = tmp / "dst";
        if (r.deviceStops) {
            share.emplace(tmp / "served", tmp / "share");
            if (!share->ready()) {
                std::cout << "[ SKIPPED  ] " << r.name << ": needs root, /dev/fuse and bindfs for a FUSE file system of its own\n";
                continue;
            }
            copies = tmp / "served/dst";
            writeSettings(tmp, "FromBox=" + tmp / "src" + "\r\nToFolder=" + tmp / "share/dst" + "\r\n");
        }
        std::chrono::steady_clock::time_point signalled;
        std::optional<std::chrono::steady_clock::duration> summaryAfter;
        Launch watched;
        // The summary comes within two seconds however long the device takes. A thread of the
        // program may still wait in the kernel for the server's answer to a call it had already
        // taken; the process is gone once it has it.
        watched.onOutput = [&](const std::string& printed) {
            if (!summaryAfter && printed.find("tiedostoa kopioitu") != std::string::npos) {
                summaryAfter = std::chrono::steady_clock::now() - signalled;
                if (share)
                    share->answerAgain();
            }
        };
        std::atomic<bool> over{false};
        std::thread patience;  // a run that waits for the server all the same is not waited for long
        const Outcome stopped = runProgram(tmp, run(), [&](pid_t pid) {
            if (share) {
                share->stopAnswering();
                patience = std::thread([&] {
                    for (int i = 0; i < 500 && !over; ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    share->answerAgain();
                });
            }
            signalled = std::chrono::steady_clock::now();
            kill(pid, r.signal);
        }, SARVOLI3_EXE, watched);
        over = true;
        if (patience.joinable())
            patience.join();
        ASSERT_TRUE(summaryAfter) << r.name;
        EXPECT_LT(*summaryAfter, std::chrono::seconds(2)) << r.name << ": the summary within two seconds of the signal";
        EXPECT_EQ(stopped.status, 1) << r.name;
        EXPECT_THAT(stopped.err, HasSubstr("Kopiointi keskeytettiin")) << r.name;
        ASSERT_GE(stopped.out.size(), 3u) << r.name;
        const std::size_t failed = r.deviceStops ? 1 : 0;  // the device that did not answer
        const std::size_t lines = stopped.out.size() - 2 - failed;
        EXPECT_LT(lines, 4000u) << r.name;
        EXPECT_EQ(stopped.out[lines + failed],
                  copy::summaryText(static_cast<std::int64_t>(lines), static_cast<std::int64_t>(failed),
                                    static_cast<std::int64_t>(lines)))
            << r.name << ": every file reported, none more";
        // Every copy that carries its name is whole; each one counted carries its name.
        std::size_t named = 0;
        for (const std::string& folder : {copies, copies + "/many"}) {
            std::istringstream names(listFolder(folder));
            for (std::string name; names >> name;) {
                if (isDirectory(folder + "/" + name) || name == ".keep" || name.starts_with(".sarvoli3-"))
                    continue;
                ++named;
                EXPECT_EQ(readFile(folder + "/" + name), std::string(1000, 'x')) << r.name << ": " << name;
            }
        }
        if (r.deviceStops)
            EXPECT_GE(named, lines) << r.name;  // a name the server was already asked to give may follow
        else
            EXPECT_EQ(named, lines) << r.name << ": every file copied is in the log";
        // The next run copies the rest, and what the run cut off left behind goes (into the
        // share's own folder, which takes no round trip a copy).
        writeSettings(tmp, "FromBox=" + tmp / "src" + "\r\nToFolder=" + copies + "\r\n");
        const Outcome again = runProgram(tmp, run());
        EXPECT_EQ(again.status, 0) << r.name << "\n" << again.err;
        EXPECT_EQ(listFolder(copies + "/many").find(".sarvoli3-"), std::string::npos) << r.name;
    }
}

// A UTC time as yyyy-MM-dd HH:mm:ss in Helsinki, by the UTC offset in force there now.
std::string helsinkiTextOf(std::time_t utc)
{
    const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    setenv("TZ", "Europe/Helsinki", 1);
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::time_t shifted = utc + local.tm_gmtoff;
    saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
    tzset();
    EXPECT_NE(local.tm_gmtoff, 0) << "Helsinki's time zone is known (tzdata)";
    std::tm parts{};
    gmtime_r(&shifted, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

TEST_F(ProgramRun, aCopyCutOffByAKillIsCopiedAgainByTheNextRun)
{
    // Large enough that the kill lands while its data is written.
    const std::string big = randomBytes(192u << 20, 1);
    writeFile(tmp / "src/big.bin", big);
    setMtimeSeconds(tmp / "src/big.bin", 1'780'000'000);
    Launch helsinki;
    helsinki.environment = {"TZ=Europe/Helsinki"};
    Launch killing = helsinki;
    bool killed = false;
    killing.onStart = [&](pid_t pid) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!killed && std::chrono::steady_clock::now() < deadline) {
            if (writingInto(pid, tmp / "dst")) {
                kill(pid, SIGKILL);
                killed = true;
            }
        }
    };
    runProgram(tmp, run(), {}, SARVOLI3_EXE, killing);
    ASSERT_TRUE(killed) << "the run was seen writing a copy";
    EXPECT_TRUE(!exists(tmp / "dst/big.bin") || readFile(tmp / "dst/big.bin") == big)
        << "no partial copy carries the name";

    const Outcome again = runProgram(tmp, run(), {}, SARVOLI3_EXE, helsinki);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(readFile(tmp / "dst/big.bin") == big) << "the whole file";
    EXPECT_EQ(mtimeNanos(tmp / "dst/big.bin"), 1'780'000'000'000'000'000);
    // The file's time in the log in Helsinki's time, by the offset in force now, as Windows
    // gives file times.
    EXPECT_THAT(again.out, ::testing::Contains(pathText(tmp / "dst/big.bin") + "   " + helsinkiTextOf(1'780'000'000)));

    const Outcome third = runProgram(tmp, run(), {}, SARVOLI3_EXE, helsinki);
    EXPECT_EQ(third.out.at(0), "0 tiedostoa kopioitu, kaikkiaan  0 KB") << "a copy once made is made";
}

TEST_F(ProgramRun, aFullDiskOrAFileSizeLimitFailsTheCopyAndLeavesTheOldOneWhole)
{
    writeFile(tmp / "src/big.bin", randomBytes(3u << 20, 2));
    struct Case {
        const char* name;
        std::string destination;
        rlim_t fileSizeLimit;
        int error;
    };
    std::vector<Case> cases = {{"file-size limit", tmp / "limited", 1u << 20, EFBIG}};
    // A real full disk: a small memory file system.
    const std::string full = tmp / "full";
    const MemoryDisk disk(full, "2m");
    if (disk.mounted())
        cases.push_back({"full disk", full, RLIM_INFINITY, ENOSPC});
    else
        std::cout << "[ SKIPPED  ] the full disk: " << disk.whyNot() << "\n";

    for (const Case& c : cases) {
        writeFile(c.destination + "/big.bin", "the copy before");
        setMtimeSeconds(c.destination + "/big.bin", 1'600'000'000);
        writeSettings(tmp, "FromBox=" + tmp / "src" + "\r\nToFolder=" + c.destination + "\r\n");
        Launch launch;
        launch.fileSizeLimit = c.fileSizeLimit;
        const Outcome o = runProgram(tmp, run(), {}, SARVOLI3_EXE, launch);
        EXPECT_EQ(o.status, 1) << c.name << ": a failure, and the program lives to say so\n" << o.err;
        EXPECT_THAT(o.err, HasSubstr(pathText(c.destination + "/big.bin   ")) ) << c.name;
        EXPECT_THAT(o.err, HasSubstr(std::string("VIRHE: ") + std::strerror(c.error))) << c.name;
        EXPECT_THAT(o.out, ::testing::Contains("2 tiedostoa kopioitu, kaikkiaan  5 KB, 1 epäonnistui")) << c.name;
        EXPECT_EQ(readFile(c.destination + "/big.bin"), "the copy before") << c.name;
        EXPECT_EQ(listFolder(c.destination), "a.bin big.bin sub") << c.name << ": nothing partial left behind";
    }
}

TEST_F(ProgramRun, foldersThatCannotBeEnteredOrListedAndFilesThatCannotBeExaminedAreFailures)
{
    // Root passes every permission test: the program runs as an ordinary user.
    writeFile(tmp / "src/noexec/b.bin", "b");
    writeFile(tmp / "src/noexec/inner/d.bin", "d");
    writeFile(tmp / "src/noread/c.bin", "c");
    writeFile(tmp / "src/secret.bin", "a file that may not be read");
    writeFile(tmp / "src/ro/r.bin", "r");
    const std::string program = programForNobody(tmp);
    std::filesystem::create_directories(tmp / "dst/ro");
    chmod((tmp / "dst/ro").c_str(), 0555);  // a destination folder that may not be written
    chmod((tmp / "src/secret.bin").c_str(), 0);
    chmod((tmp / "src/noexec").c_str(), 0644);
    chmod((tmp / "src/noread").c_str(), 0311);
    Launch user;
    user.asOrdinaryUser = true;
    // The preview finds what the run will meet, without writing.
    const Outcome preview = runProgram(tmp, {"--run", "--dry-run", "--settings", tmp / "settings.ini"}, {}, program, user);
    const Outcome o = runProgram(tmp, run(), {}, program, user);
    chmod((tmp / "src/noexec").c_str(), 0755);
    chmod((tmp / "src/noread").c_str(), 0755);

    EXPECT_EQ(o.status, 1) << o.err;
    const std::string denied = std::strerror(EACCES);
    EXPECT_THAT(o.err, HasSubstr(pathText(tmp / "dst/noexec/b.bin") + "   VIRHE: " + denied));
    EXPECT_THAT(o.err, HasSubstr(pathText(tmp / "dst/noexec/inner/") + "   VIRHE: kansiota ei voi lukea: " + denied));
    EXPECT_THAT(o.err, HasSubstr(pathText(tmp / "dst/noread/") + "   VIRHE: kansiota ei voi lukea: " + denied));
    EXPECT_THAT(o.err, HasSubstr(pathText(tmp / "dst/secret.bin   ")));
    EXPECT_THAT(o.err, HasSubstr(pathText(tmp / "dst/ro/r.bin   ")));
    EXPECT_THAT(o.out, ::testing::Contains("2 tiedostoa kopioitu, kaikkiaan  5 KB, 5 epäonnistui"));
    EXPECT_EQ(preview.status, 1);
    EXPECT_EQ(preview.err, o.err) << "the same failure lines";
    EXPECT_THAT(preview.out, ::testing::Contains("2 tiedostoa kopioitaisiin, kaikkiaan  5 KB, 5 epäonnistuisi"));
    EXPECT_EQ(readFile(tmp / "dst/sub/b.bin"), std::string(2500, 'b')) << "what could be read is copied";
}

TEST_F(ProgramRun, twoNamesThatDifferOnlyInCaseOntoAFatStickKeepTheFirstCopyForGood)
{
    // A memory stick as it comes: FAT, where Data.txt and data.txt name one file.
    const std::string disk = tmp / "stick";
    LoopDisk fat(disk, "mkfs.vfat", "64M");
    if (!fat.ready())
        GTEST_SKIP() << "needs root, a loop device, mkfs.vfat (dosfstools) and a kernel that mounts FAT";
    writeFile(tmp / "case/Data.txt", "upper case");
    writeFile(tmp / "case/data.txt", "lower");
    const auto run = [&] { return runProgram(tmp, {"--run", "--from", tmp / "case", "--to", disk + "/dst"}); };
    const Outcome first = run();
    EXPECT_EQ(first.status, 1);
    EXPECT_THAT(first.out, ::testing::Contains(::testing::HasSubstr("vain kirjainkoko eroaa")));
    EXPECT_THAT(first.out, ::testing::Contains(::testing::HasSubstr("1 tiedostoa kopioitu")));
    const std::string kept = readFile(disk + "/dst/data.txt");  // either name finds the one copy
    const Outcome second = run();
    EXPECT_THAT(second.out, ::testing::Contains(::testing::HasSubstr("0 tiedostoa kopioitu"))) << "no flip";
    EXPECT_EQ(readFile(disk + "/dst/data.txt"), kept);
}

TEST_F(ProgramRun, aPowerCutLeavesNoCopyThatLooksCompleteAndLosesNothingAfterTheSummary)
{
    const std::string disk = tmp / "disk";
    LoopDisk ext4(disk);
    if (!ext4.ready())
        GTEST_SKIP() << "needs root and a loop device for a file system of its own";
    std::map<std::string, std::string> files;
    for (int i = 0; i < 600; ++i) {
        const std::string name = "many/f" + std::to_string(i) + ".bin";
        files[name] = randomBytes(i % 50 == 0 ? 1u << 20 : 16u << 10, 10 + i);
        writeFile(tmp / ("src/" + name), files[name]);
    }
    files["a.bin"] = readFile(tmp / "src/a.bin");
    files["sub/b.bin"] = readFile(tmp / "src/sub/b.bin");
    writeSettings(tmp, "FromBox=" + tmp / "src" + "\r\nToFolder=" + disk + "/dst\r\n");
    // Every copy that carries its source's time holds all of its data; with `all`, every file is there.
    const auto check = [&](bool all, const char* when) {
        int complete = 0;
        for (const auto& [name, bytes] : files) {
            const std::string copy = disk + "/dst/" + name;
            if (exists(copy) && mtimeNanos(copy) == mtimeNanos(tmp / ("src/" + name))) {
                ++complete;
                EXPECT_TRUE(readFile(copy) == bytes) << when << ": " << name << " looks complete and is not";
            } else {
                EXPECT_FALSE(all) << when << ": " << name << " is missing or older";
            }
        }
        return complete;
    };

    // Cut in the middle of a run, just after another program's fsync: what is there may be
    // short, but then it looks older. The device takes nothing more, so the run's flush fails:
    // none of its copies is a copy, and the run is no copy to record.
    const Outcome cut = runProgram(tmp, run(), [&](pid_t) {
        EXPECT_TRUE(ext4.commitJournal());
        EXPECT_TRUE(ext4.powerCut());
    });
    EXPECT_EQ(cut.status, 1);
    EXPECT_THAT(cut.out, ::testing::Contains(::testing::StartsWith("0 tiedostoa kopioitu, kaikkiaan  0 KB, ")));
    EXPECT_THAT(cut.err, HasSubstr("VIRHE: kopioita ei saatu levylle: "));
    EXPECT_THAT(readFile(tmp / "settings.ini"), ::testing::Not(HasSubstr("[FromBox]"))) << "not recorded";
    ASSERT_TRUE(ext4.unmount());
    ASSERT_TRUE(ext4.mount());
    check(false, "after a cut during the run");
    const Outcome mended = runProgram(tmp, run());
    EXPECT_EQ(mended.status, 0) << mended.err;

    // Cut right after the summary: everything it counted is on the disk.
    for (int i = 0; i < 600; i += 3)
        setMtimeSeconds(tmp / ("src/many/f" + std::to_string(i) + ".bin"), 1'900'000'000);
    const Outcome before = runProgram(tmp, run());
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_THAT(before.out, ::testing::Contains(HasSubstr("200 tiedostoa kopioitu")));
    ASSERT_TRUE(ext4.powerCut());
    ASSERT_TRUE(ext4.unmount());
    ASSERT_TRUE(ext4.mount());
    EXPECT_EQ(check(true, "after a cut after the summary"), 602);
}

// The files below `folder` with their bytes, by their paths below it; temporary files left out.
std::map<std::string, std::string> filesBelow(const std::string& folder)
{
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
        if (e.is_regular_file() && !e.path().filename().string().starts_with(".sarvoli3-"))
            files[std::filesystem::relative(e.path(), folder).string()] = readFile(e.path().string());
    return files;
}

TEST_F(ProgramRun, aPowerCutWhileVersionsAreKeptLeavesEveryOldCopyWholeInItsPlaceOrInItsRunsFolder)
{
    const std::string disk = tmp / "disk";
    LoopDisk ext4(disk);
    if (!ext4.ready())
        GTEST_SKIP() << "needs root and a loop device for a file system of its own";
    constexpr int kFiles = 400;
    constexpr int kRounds = 5;
    // Version k of each file, written at 1'700'000'000 + k million seconds.
    const auto bytesOf = [](int file, int version) {
        return randomBytes(file % 40 == 0 ? 1u << 20 : 16u << 10, static_cast<unsigned>(version * 10'000 + file));
    };
    const auto writeVersion = [&](int version) {
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = tmp / ("src/many/f" + std::to_string(i));
            writeFile(name, bytesOf(i, version));
            setMtimeSeconds(name, 1'700'000'000 + version * 1'000'000);
        }
    };
    writeVersion(0);
    const std::vector<std::string> args = {"--run", "--settings", tmp / "settings.ini", "--keep-versions", "10"};
    writeSettings(tmp, "FromBox=" + tmp / "src" + "\r\nToFolder=" + disk + "/dst\r\n");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(runProgram(tmp, args).status, 0);
    // Cuts at any moment of a run as long as the first one, and a little after.
    const int runMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - started).count());
    const unsigned seed = static_cast<unsigned>(std::time(nullptr));
    std::mt19937 random(seed);
    for (int round = 1; round <= kRounds; ++round) {
        writeVersion(round);
        const int after = std::uniform_int_distribution<int>(0, runMs * 5 / 4)(random);
        Launch cut;
        std::thread cutter;
        cut.onStart = [&](pid_t) {
            cutter = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(after));
                EXPECT_TRUE(ext4.commitJournal());
                EXPECT_TRUE(ext4.powerCut());
            });
        };
        runProgram(tmp, args, {}, SARVOLI3_EXE, cut);
        cutter.join();
        ASSERT_TRUE(ext4.unmount());
        ASSERT_TRUE(ext4.mount());
        // Every file under a name is one version whole, with that version's time; the version
        // that the cut run replaced is there for each file, in its place or kept.
        std::map<std::string, std::vector<int>> found;  // "many/fN": the versions seen
        const auto look = [&](const std::string& folder, const std::string& below) {
            for (const auto& [path, bytes] : filesBelow(folder)) {
                if (!path.starts_with(below))
                    continue;
                const int i = std::stoi(path.substr(below.size()));
                int version = -1;
                for (int v = 0; v <= round && version < 0; ++v)
                    version = bytes == bytesOf(i, v) ? v : -1;
                EXPECT_GE(version, 0) << "seed " << seed << " round " << round << ": " << folder << "/" << path
                                      << " is no version whole (" << bytes.size() << " bytes)";
                if (version >= 0) {
                    EXPECT_EQ(mtimeNanos(folder + "/" + path), (1'700'000'000 + version * 1'000'000) * 1'000'000'000LL)
                        << folder << "/" << path;
                }
                found["many/f" + std::to_string(i)].push_back(version);
            }
        };
        look(disk + "/dst", "many/f");
        std::error_code none;  // a cut before the first old copy was kept leaves no folder for them
        for (const auto& run : std::filesystem::directory_iterator(disk + "/dst/Sarvoli3-vanhat-kopiot", none))
            look(run.path().string(), "many/f");
        int replaced = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::vector<int>& versions = found["many/f" + std::to_string(i)];
            replaced += std::count(versions.begin(), versions.end(), round) > 0;
            EXPECT_NE(std::find(versions.begin(), versions.end(), round - 1), versions.end())
                << "seed " << seed << " round " << round << ", cut after " << after << " ms: f" << i
                << "'s old copy is nowhere whole";
        }
        std::cout << "[          ] cut after " << after << " ms: " << replaced << " of " << kFiles << " replaced\n";
        const Outcome mended = runProgram(tmp, args);
        ASSERT_EQ(mended.status, 0) << mended.err;
    }
}

TEST_F(ProgramRun, versionsAreKeptForTheNewestRunsAndOnlyAWholeRunRemovesAny)
{
    const std::vector<std::string> args = {"--run", "--settings", tmp / "settings.ini", "--keep-versions", "2"};
    ASSERT_EQ(runProgram(tmp, args).status, 0);
    const std::string kept = tmp / "dst/Sarvoli3-vanhat-kopiot";
    const auto runFolders = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(kept))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    for (int run = 1; run <= 4; ++run) {
        writeFile(tmp / "src/a.bin", std::string(3000, static_cast<char>('a' + run)));
        setMtimeSeconds(tmp / "src/a.bin", 1'800'000'000 + run * 100);
        if (run == 4) {  // a folder in a copy's way fails the run
            writeFile(tmp / "src/in-the-way.bin", "");
            std::filesystem::create_directories(tmp / "dst/in-the-way.bin");
        }
        const std::vector<std::string> before = run == 4 ? runFolders() : std::vector<std::string>();
        const Outcome o = runProgram(tmp, args);
        EXPECT_EQ(o.status, run == 4 ? 1 : 0) << o.err;
        EXPECT_THAT(o.out, ::testing::Contains(HasSubstr(", 1 vanhaa kopiota säilytetty"))) << run;
        const std::vector<std::string> folders = runFolders();
        if (run < 4) {
            EXPECT_EQ(folders.size(), std::min(run, 2)) << run;
            EXPECT_EQ(readFile(kept + "/" + folders.back() + "/a.bin"), std::string(3000, static_cast<char>('a' + run - 1)));
        } else {
            EXPECT_EQ(folders.size(), 3u) << "a failed run removes none";
            EXPECT_TRUE(std::includes(folders.begin(), folders.end(), before.begin(), before.end()));
        }
    }
    // A source folder of the kept copies' name is not copied in among them.
    writeFile(tmp / "src/Sarvoli3-vanhat-kopiot/x.bin", "x");
    const Outcome named = runProgram(tmp, args);
    EXPECT_THAT(named.err, HasSubstr("dst\\Sarvoli3-vanhat-kopiot   VIRHE: nimi on kohteessa vanhojen kopioiden kansion"));
    EXPECT_FALSE(exists(kept + "/x.bin"));
}

TEST_F(ProgramRun, theGuardHoldsBackARunThatWouldReplaceMostCopiesUnlessAllowed)
{
    struct Row {
        const char* name;
        int files;         // in the tree, each with a copy unless `fresh`
        int replaced;      // of them, made newer
        const char* fresh;  // "" copies there; "none": no destination folder; "empty": an empty one
        bool allow;
        int status;
    };
    const Row rows[] = {
        {"a first run", 200, 0, "none", false, 0},
        {"an empty destination", 200, 0, "empty", false, 0},
        {"99 files, all replaced", 99, 99, "", false, 0},
        {"half of 200", 200, 100, "", false, 3},
        {"half of 200, allowed", 200, 100, "", true, 0},
        {"all of 200", 200, 200, "", false, 3},
        {"all of 200, allowed", 200, 200, "", true, 0},
        {"99 of 200", 200, 99, "", false, 0},
    };
    int n = 0;
    for (const Row& r : rows) {
        const std::string src = tmp / ("g" + std::to_string(++n) + "/src");
        const std::string dst = tmp / ("g" + std::to_string(n) + "/dst");
        for (int i = 0; i < r.files; ++i) {
            writeFile(src + "/d/f" + std::to_string(i), "old");
            setMtimeSeconds(src + "/d/f" + std::to_string(i), 1'700'000'000);
        }
        const std::vector<std::string> base = {"--run", "--settings", tmp / "settings.ini", "--from", src, "--to", dst};
        if (std::string(r.fresh) == "empty") {
            std::filesystem::create_directories(dst);
        } else if (!*r.fresh) {
            ASSERT_EQ(runProgram(tmp, base).status, 0) << r.name;
        }
        for (int i = 0; i < r.replaced; ++i) {
            writeFile(src + "/d/f" + std::to_string(i), "new");
            setMtimeSeconds(src + "/d/f" + std::to_string(i), 1'800'000'000);
        }
        writeFile(src + "/added", "new");  // copied either way
        std::vector<std::string> args = base;
        args.push_back("--guard");
        if (r.allow)
            args.push_back("--allow-mass-replace");
        const Outcome o = runProgram(tmp, args);
        EXPECT_EQ(o.status, r.status) << r.name << "\n" << o.err;
        EXPECT_EQ(readFile(dst + "/added"), "new") << r.name;
        int likeSource = 0;  // held back, the replaced ones keep their old copies
        for (int i = 0; i < r.files; ++i)
            likeSource += readFile(dst + "/d/f" + std::to_string(i)) == readFile(src + "/d/f" + std::to_string(i));
        EXPECT_EQ(likeSource, r.status == 3 ? r.files - r.replaced : r.files) << r.name;
        if (r.status == 3) {
            EXPECT_THAT(o.err, HasSubstr("Ajo korvaisi " + std::to_string(r.replaced) + " kopiota kohteen "
                                         + std::to_string(r.files) + " kopiosta, esimerkiksi:\n  Z:"))
                << r.name;
            EXPECT_THAT(o.out, ::testing::Contains(HasSubstr(std::to_string(r.replaced) + " kopiota jätettiin korvaamatta")));
        }
    }
}

TEST_F(ProgramRun, aSystemShortOfThreadsCopiesWithFewerWorkersAndSaysSo)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a process limit that leaves no thread holds only for a user of its own: needs root to be nobody";
    for (int i = 0; i < 30; ++i)
        writeFile(tmp / ("src/many/f" + std::to_string(i)), std::string(1000 + i, 'm'));
    const std::string program = programForNobody(tmp);
    Launch starved;
    starved.asOrdinaryUser = true;
    starved.processLimit = 1;  // the program itself: no thread can start
    starved.environment = {"SARVOLI3_WORKERS=4", withoutLeakCheck()};
    const Outcome o = runProgram(tmp, run(), {}, program, starved);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.err, HasSubstr("vain 0/4 kopioijaa käynnistyi"));
    EXPECT_THAT(o.out, ::testing::Contains("32 tiedostoa kopioitu, kaikkiaan  35 KB"));
    EXPECT_EQ(readFile(tmp / "dst/many/f29"), std::string(1029, 'm'));
}

TEST_F(ProgramRun, aDeepTreeIsCopiedWholeWithinTheOpenFileLimit)
{
    // Eight folders a level, the walk going down the first of each (deep node_modules and build
    // trees are so): the folders read ahead wait for the walk at every level.
    std::string level = tmp / "src/deep";
    int files = 2;
    for (int depth = 0; depth < 60; ++depth) {
        for (int k = 7; k >= 0; --k, ++files)
            writeFile(level + "/d" + std::to_string(k) + "/f", std::to_string(depth));
        level += "/d0";
    }
    Launch limited;
    limited.openFileLimit = 200;
    limited.environment = {"SARVOLI3_WORKERS=2"};
    const Outcome o = runProgram(tmp, run(), {}, SARVOLI3_EXE, limited);
    EXPECT_EQ(o.status, 0) << o.err.substr(0, 600);
    EXPECT_THAT(o.out, ::testing::Contains(std::to_string(files) + " tiedostoa kopioitu, kaikkiaan  5 KB"));
}

TEST_F(ProgramRun, aPowerCutWhileCopiesAreReplacedOnXfsLeavesEachOldCopyOrTheNewOneWhole)
{
    const std::string disk = tmp / "xfs";
    LoopDisk xfs(disk, "mkfs.xfs -q -f", "512M");
    if (!xfs.ready())
        GTEST_SKIP() << "needs root, a loop device and mkfs.xfs for an XFS file system of its own";
    std::map<std::string, std::string> before, after;
    for (int i = 0; i < 612; ++i) {
        const std::string name = "many/f" + std::to_string(i) + ".bin";
        const std::size_t size = i % 60 == 0 ? 1u << 20 : 16u << 10;
        before[name] = randomBytes(size, 1000 + i);
        after[name] = randomBytes(size, 5000 + i);
        writeFile(tmp / ("src/" + name), before[name]);
        setMtimeSeconds(tmp / ("src/" + name), 1'700'000'000);
    }
    writeSettings(tmp, "FromBox=" + tmp / "src" + "\r\nToFolder=" + disk + "/dst\r\n");
    ASSERT_EQ(runProgram(tmp, run()).status, 0);
    for (const auto& [name, bytes] : after) {
        writeFile(tmp / ("src/" + name), bytes);
        setMtimeSeconds(tmp / ("src/" + name), 1'800'000'000);
    }

    // Cut in the middle of the run that replaces them, just after another program's fsync,
    // which puts every rename made so far in the log, whatever of the data is in memory.
    runProgram(tmp, run(), [&](pid_t) {
        EXPECT_TRUE(xfs.commitJournal());
        EXPECT_TRUE(xfs.powerCut());
    });
    ASSERT_TRUE(xfs.unmount());
    ASSERT_TRUE(xfs.mount());
    int replaced = 0;
    for (const auto& [name, bytes] : after) {
        const std::string copy = readFile(disk + "/dst/" + name);
        replaced += copy == bytes;
        EXPECT_TRUE(copy == bytes || copy == before.at(name)) << name << ": " << copy.size() << " bytes, neither copy";
    }
    std::cout << "[          ] " << replaced << " of 612 replaced before the cut\n";
    const Outcome mended = runProgram(tmp, run());
    EXPECT_EQ(mended.status, 0) << mended.err;
    for (const auto& [name, bytes] : after)
        EXPECT_TRUE(readFile(disk + "/dst/" + name) == bytes) << name;

    // Cut while the replacements of a batch take their old copies' places, one by one after the
    // batch's flush: each rename is slowed down so that the cut comes among them.
    std::map<std::string, std::string> third;
    for (const auto& [name, bytes] : after) {
        third[name] = randomBytes(bytes.size(), 9000 + static_cast<unsigned>(third.size()));
        writeFile(tmp / ("src/" + name), third[name]);
        setMtimeSeconds(tmp / ("src/" + name), 1'850'000'000);
    }
    const auto countReplaced = [&] {
        int n = 0;
        for (const auto& [name, bytes] : third)
            n += readFile(disk + "/dst/" + name) == bytes;
        return n;
    };
    std::vector<std::string> slowed = {"-f", "-qq", "-e", "trace=renameat,renameat2", "-e",
                                       "inject=renameat,renameat2:delay_enter=10000", SARVOLI3_EXE};
    for (const std::string& a : run())
        slowed.push_back(a);
    Launch traced;
    traced.environment = {withoutLeakCheck()};
    bool cutAmongRenames = false;
    std::thread cutter;
    traced.onStart = [&](pid_t) {
        // Beside the reading of its output, which must go on for the run to reach its renames.
        cutter = std::thread([&] {
            for (int wait = 0; wait < 3000 && !cutAmongRenames; ++wait) {
                cutAmongRenames = countReplaced() >= 50;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_TRUE(xfs.commitJournal());
            EXPECT_TRUE(xfs.powerCut());
        });
    };
    runProgram(tmp, slowed, {}, "/usr/bin/strace", traced);
    cutter.join();
    ASSERT_TRUE(cutAmongRenames) << "the renames never began";
    ASSERT_TRUE(xfs.unmount());
    ASSERT_TRUE(xfs.mount());
    for (const auto& [name, bytes] : third) {
        const std::string copy = readFile(disk + "/dst/" + name);
        EXPECT_TRUE(copy == bytes || copy == after.at(name)) << name << ": " << copy.size() << " bytes, neither copy";
    }
    const int renamed = countReplaced();
    std::cout << "[          ] " << renamed << " of 612 renamed in before the cut among the renames\n";
    EXPECT_GE(renamed, 50) << "what was renamed before the journal's commit stays";
    EXPECT_LT(renamed, 612);
    EXPECT_EQ(runProgram(tmp, run()).status, 0);
    EXPECT_EQ(countReplaced(), 612);
}

TEST_F(ProgramRun, copiesOntoAFuseFileSystemAreFlushedEachByItself)
{
    const std::string backing = tmp / "served";
    const std::string mounted = tmp / "fuse";
    std::filesystem::create_directories(backing);
    std::filesystem::create_directories(mounted);
    if (geteuid() != 0 || std::system(("bindfs " + backing + " " + mounted + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "needs root, /dev/fuse and bindfs for a FUSE file system of its own";
    for (int i = 0; i < 20; ++i)
        writeFile(tmp / ("src/many/f" + std::to_string(i)), std::string(5000, 'f'));
    writeSettings(tmp, "FromBox=" + tmp / "src" + "\r\nToFolder=" + mounted + "/dst\r\n");
    // syncfs() does nothing on FUSE and answers 0: only a flush of each copy reaches the server.
    const std::string trace = tmp / "trace";
    std::vector<std::string> args = {"-f", "-qq", "-e", "trace=fsync,syncfs", "-o", trace, SARVOLI3_EXE};
    for (const std::string& a : run())
        args.push_back(a);
    Launch traced;
    traced.environment = {withoutLeakCheck()};
    const Outcome o = runProgram(tmp, args, {}, "/usr/bin/strace", traced);
    const bool unmounted = std::system(("fusermount -u " + mounted).c_str()) == 0;
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(unmounted) << "nothing of the run holds the mount";
    const std::string calls = readFile(trace);
    int fsyncs = 0;
    for (std::size_t at = 0; (at = calls.find("fsync(", at)) != std::string::npos; ++at)
        ++fsyncs;
    EXPECT_GE(fsyncs, 22) << "one a copy at the least";
    EXPECT_EQ(calls.find("syncfs("), std::string::npos) << "no trust in a flush that does nothing";
    EXPECT_EQ(readFile(backing + "/dst/many/f19"), std::string(5000, 'f'));
    EXPECT_EQ(mtimeNanos(backing + "/dst/many/f19"), mtimeNanos(tmp / "src/many/f19"));
}

TEST_F(ProgramRun, twoRunsAtOnceLeaveTheSettingsFileWhole)
{
    for (int round = 0; round < 4; ++round) {
        std::remove((tmp / "dst/a.bin").c_str());
        std::remove((tmp / "dst/sub/b.bin").c_str());
        Outcome outcomes[2];
        std::thread other([&] { outcomes[1] = runProgram(tmp, run()); });
        outcomes[0] = runProgram(tmp, run());
        other.join();
        for (const Outcome& o : outcomes)
            EXPECT_EQ(o.status, 0) << o.err;
    }
    platform::PosixPlatform platform;
    settings::IniFile file(platform, pathText(tmp / "settings.ini"));
    const settings::LoadedSettings loaded =
        settings::loadSettings(file, platform::regionalSettingsOf(QLocale::c()), 2026);
    EXPECT_EQ(loaded.error, "");
    EXPECT_EQ(loaded.sourceFolders, std::vector<std::string>{pathText(tmp / "src/")});
    EXPECT_EQ(listFolder(tmp.path()), "dst settings.ini src") << "no lock or temporary file is left";
}

TEST_F(ProgramRun, anInstalledProgramKeepsItsSettingsInTheConfigurationFolder)
{
    const std::string prefix = tmp / "inst";
    ASSERT_EQ(std::system((std::string(SARVOLI3_INSTALL) + " " + prefix + " >/dev/null").c_str()), 0);
    EXPECT_TRUE(exists(prefix + "/share/applications/sarvoli3.desktop"));
    EXPECT_TRUE(exists(prefix + "/share/icons/hicolor/48x48/apps/sarvoli3.png"));
    EXPECT_TRUE(exists(prefix + "/share/icons/hicolor/scalable/apps/sarvoli3.svg"));

    // The settings of the runs above, moved where an installed program looks for them.
    const std::string config = tmp / ".config/Sarvoli3/settings.ini";
    writeFile(config, readFile(tmp / "settings.ini"));
    const Outcome installed = runProgram(tmp, {"--run"}, {}, prefix + "/bin/sarvoli3");
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_EQ(installed.out.size(), 4u) << "found its fields and copied";
    EXPECT_THAT(readFile(config), HasSubstr("[FromBox]")) << "recorded where it found them";
    EXPECT_EQ(listFolder(prefix + "/bin"), "sarvoli3") << "nothing written beside the program";
}

}  // namespace
