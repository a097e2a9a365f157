#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLocale>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/posix/LocaleSettings.h"
#include "platform/posix/PosixPlatform.h"
#include "settings/History.h"
#include "settings/WindowSettings.h"

using namespace sarvoli;
using namespace sarvoli::testing;
using ::testing::HasSubstr;

namespace {

struct Outcome {
    int status = -1;
    std::vector<std::string> out;  // standard output, a line each
    std::string err;
};

// Starts the built program as cron would, with no display and a bare environment, and
// collects what it prints. `onFirstLine` is called once its first line has come.
Outcome runProgram(const TempDir& tmp, std::vector<std::string> args,
                   const std::function<void(pid_t)>& onFirstLine = {}, const std::string& program = SARVOLI3_EXE)
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
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
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
    const Outcome help = runProgram(tmp, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, ::testing::Contains(HasSubstr("--run")));
    EXPECT_EQ(runProgram(tmp, {"--kopioi"}).status, 2);
}

TEST_F(ProgramRun, interruptStopsAfterTheEntryInHand)
{
    // More log lines than a pipe holds, so the run is still going when the signal comes;
    // files of 1 KB alone, so that the size tells the count.
    std::remove((tmp / "src/a.bin").c_str());
    std::remove((tmp / "src/sub/b.bin").c_str());
    for (int i = 0; i < 4000; ++i)
        writeFile(tmp / ("src/many/f" + std::to_string(i)), std::string(1000, 'x'));
    const Outcome stopped = runProgram(tmp, run(), [](pid_t pid) { kill(pid, SIGINT); });
    EXPECT_EQ(stopped.status, 1);
    EXPECT_THAT(stopped.err, HasSubstr("Kopiointi keskeytettiin"));
    ASSERT_GE(stopped.out.size(), 3u);
    const std::size_t lines = stopped.out.size() - 2;
    EXPECT_LT(lines, 4000u);
    EXPECT_EQ(stopped.out[lines], std::to_string(lines) + " tiedostoa kopioitu, kaikkiaan  " + std::to_string(lines) + " KB")
        << "every file reported, none more";
    std::size_t copied = 0;
    for (const std::string& folder : {tmp / "dst", tmp / "dst/many"}) {
        std::istringstream names(listFolder(folder));
        for (std::string name; names >> name;)
            copied += !isDirectory(folder + "/" + name) && name != ".keep";
    }
    EXPECT_EQ(copied, lines) << "every file copied is in the log";
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
