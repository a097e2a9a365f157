#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "RecordingServices.h"
#include "TempDir.h"
#include "app/LogModel.h"
#include "app/TZumerForm.h"
#include "platform/DriveType.h"
#include "TestPlatform.h"
#ifndef _WIN32
#include "platform/posix/PosixPlatform.h"
#endif

namespace sarvoli::testing {

#ifdef _WIN32
// On Windows the test's drive letters are mapped onto its folders by a platform underneath.
using SystemTestPlatform = ForwardingPlatform;
#else
using SystemTestPlatform = platform::PosixPlatform;
#endif

// The real platform with Finnish regional settings, any drive type a test asks for, and a
// clock that stands still.
class TestPlatform : public SystemTestPlatform {
public:
    explicit TestPlatform(const std::vector<TestDrive>& drives)
#ifdef _WIN32
        : ForwardingPlatform(drivesPlatform(drives))
#else
        : PosixPlatform(tableOf(drives))
#endif
    {
    }
    text::RegionalSettings regionalSettings() override { return text::RegionalSettings::finnish(); }
    text::DateTimeValue localNow() override { return now; }
    text::DateTimeValue now = text::encodeDateTime({2026, 12, 7, 11, 6, 34, 250});
    int driveType(std::string_view root) override
    {
        return forcedType >= 0 ? forcedType : SystemTestPlatform::driveType(root);
    }
    int forcedType = -1;
    bool setCurrentDirectory(std::string_view path) override
    {
        currentDirectory = path;
        return !currentDirectoryFails;
    }
    std::string currentDirectory;
    bool currentDirectoryFails = false;
    // A clock of the test's own when set, and a hook called before each copy.
    std::int64_t monotonicNanos() override { return clock ? *clock : SystemTestPlatform::monotonicNanos(); }
    std::optional<std::int64_t> clock;
    platform::OpResult copyFile(std::string_view source, std::string_view destination,
                                const platform::CopyDecision& decision) override
    {
        if (beforeCopy)
            beforeCopy();
        return SystemTestPlatform::copyFile(source, destination, decision);
    }
    std::function<void()> beforeCopy;
#ifndef _WIN32
    // The file system the copies go to, when set (ext4 when it is 0xEF53); a device whose flush fails.
    long fileSystem = 0;
    bool deviceFails = false;
    bool readBackChanged = false;  // every copy reads back with its first byte changed

protected:
    ssize_t readCopy(int fd, char* buffer, std::size_t size, off_t offset) override
    {
        const ssize_t n = PosixPlatform::readCopy(fd, buffer, size, offset);
        if (readBackChanged && n > 0 && offset == 0)
            buffer[0] = static_cast<char>(buffer[0] ^ 1);
        return n;
    }
    long fileSystemType(const std::string& folder) override
    {
        return fileSystem != 0 ? fileSystem : PosixPlatform::fileSystemType(folder);
    }
    int syncFileSystem(int fd) override { return deviceFails ? EIO : PosixPlatform::syncFileSystem(fd); }

private:
    static platform::DriveTable tableOf(const std::vector<TestDrive>& drives)
    {
        platform::DriveTable table;
        for (const TestDrive& d : drives)
            table.set(d.letter, platform::Drive{d.folder, d.type, d.hasMedium});
        return table;
    }
#endif
};

class TZumerFormTest : public ::testing::Test {
protected:
    TZumerFormTest() : platform(drives()), window(platform, {&messages, &openFile, &shell}, "P:\\") {}

    std::vector<TestDrive> drives()
    {
        std::filesystem::create_directories(tmp / "p");
        std::filesystem::create_directories(tmp / "d");
        std::filesystem::create_directories(tmp / "e");
        return {{'D', tmp / "d"},
                {'E', tmp / "e"},
                {'F', tmp / "f", platform::DriveRemovable, false},
                {'P', tmp / "p"}};  // the program's folder
    }

    template <typename W>
    W* child(const char* name)
    {
        W* w = window.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    void source(const std::string& rel, std::size_t bytes)
    {
        writeFile(tmp / ("d/src/" + rel), std::string(bytes, 'x'));
        setLocalMtime(tmp / ("d/src/" + rel), 2026, 12, 7, 11, 5, 32);
    }

    void setFolders(const char* from, const char* to)
    {
        child<QComboBox>("FromBox")->setEditText(QString::fromUtf8(from));
        child<QComboBox>("ToFolder")->setEditText(QString::fromUtf8(to));
    }

    void clickCopy() { QTest::mouseClick(child<QPushButton>("btCopy"), Qt::LeftButton); }

    // Runs `action` the first time the running copy lets the window in.
    void duringRun(std::function<void()> action)
    {
        window.setEventInterval(0);
        QTimer::singleShot(0, &window, std::move(action));
    }

    std::vector<std::string> logLines()
    {
        std::vector<std::string> lines;
        for (std::int64_t i = 0; i < window.log().lineCount(); ++i)
            lines.emplace_back(window.log().line(i));
        return lines;
    }

    QString caption(const char* name) { return child<QLabel>(name)->text(); }

    TempDir tmp;
    TestPlatform platform;
    RecordingMessageBoxes messages;
    ScriptedOpenFileDialog openFile;
    RecordingShell shell;
    app::TZumerForm window;
};

}  // namespace sarvoli::testing
