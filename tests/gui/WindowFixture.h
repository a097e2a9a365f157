#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "RecordingServices.h"
#include "TempDir.h"
#include "app/LogModel.h"
#include "app/TZumerForm.h"
#include "platform/DriveType.h"
#include "DrivesPlatform.h"
#include "FaultyPosixPlatform.h"

namespace sarvoli::testing {

#ifdef _WIN32
// On Windows the test's drive letters are mapped onto its folders by a platform underneath.
using SystemTestPlatform = ForwardingPlatform;
#else
// The file system the copies go to, a device whose flush fails, copies that read back changed,
// a device that stops answering: as a test sets them.
using SystemTestPlatform = FaultyPosixPlatform;
#endif

// The real platform with Finnish regional settings, any drive type a test asks for, and a
// clock that stands still.
class FixedClockPlatform : public SystemTestPlatform {
public:
    explicit FixedClockPlatform(const std::vector<TestDrive>& drives)
#ifdef _WIN32
        : ForwardingPlatform(drivesPlatform(drives))
#else
        : FaultyPosixPlatform(tableOf(drives))
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
    // A clock of the test's own when set (0 or more), and a hook called before each copy, on
    // the thread that copies.
    std::int64_t monotonicNanos() override
    {
        const std::int64_t own = clock.load();
        return own >= 0 ? own : SystemTestPlatform::monotonicNanos();
    }
    std::atomic<std::int64_t> clock{-1};
    platform::OpResult copyFile(std::string_view source, std::string_view destination,
                                const platform::CopyDecision& decision) override
    {
        if (beforeCopy)
            beforeCopy();
        return SystemTestPlatform::copyFile(source, destination, decision);
    }
    std::function<void()> beforeCopy;
#ifndef _WIN32
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

// Holds a run at each of its copies until the test's thread lets it go, so that a command of the
// window meets the run at a known entry, as a user's command meets it somewhere.
class CopyGate {
public:
    // On the thread that copies: waits until the test has seen this copy come.
    void arrive()
    {
        std::unique_lock lock(m_lock);
        const int ticket = ++m_arrived;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_released >= ticket; });
    }
    // On the test's thread: the number (from 1) of the next copy that waits, or 0.
    int waiting()
    {
        const std::lock_guard lock(m_lock);
        return m_released < m_arrived ? m_released + 1 : 0;
    }
    void release()
    {
        const std::lock_guard lock(m_lock);
        ++m_released;
        m_changed.notify_all();
    }
    // Between runs, none of whose copies waits.
    void reset()
    {
        const std::lock_guard lock(m_lock);
        m_arrived = m_released = 0;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_arrived = 0;
    int m_released = 0;
};

class TZumerFormTest : public ::testing::Test {
protected:
    TZumerFormTest() : platform(drives()), window(platform, {&messages, &openFile, &shell}, "P:\\")
    {
        // One file at a time, so that a command meets the run at the entry the test says; the
        // copy layer's tests show that several workers give the same log.
        window.setWorkers(1);
    }

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

    // Copy, and the user waiting for the summary; a command given meanwhile (a nested one included)
    // runs while the run waits at the copy it is given at.
    void clickCopy() { clickCopy(window); }
    void clickCopy(app::TZumerForm& in)
    {
        if (m_waiting) {  // a Copy given during a run: the run in hand goes on
            QTest::mouseClick(in.findChild<QPushButton*>("btCopy"), Qt::LeftButton);
            return;
        }
        gate.reset();  // the copies of this run count from 1
        QTest::mouseClick(in.findChild<QPushButton*>("btCopy"), Qt::LeftButton);
        m_waiting = true;
        while (in.isRunning()) {
            if (const int copy = gate.waiting()) {
                if (auto command = atCopy.find(copy); command != atCopy.end())
                    command->second();
                gate.release();
            }
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        m_waiting = false;
    }

    // Runs `command` on the window's thread while the run waits at the start of its n-th copy
    // (from 1), as a command that the user gives then.
    void atCopyNumber(int n, std::function<void()> command)
    {
        atCopy[n] = std::move(command);
        platform.beforeCopy = [this] { gate.arrive(); };
    }
    // Runs `action` while the run waits at its first copy.
    void duringRun(std::function<void()> action) { atCopyNumber(1, std::move(action)); }

    std::vector<std::string> logLines()
    {
        std::vector<std::string> lines;
        for (std::int64_t i = 0; i < window.log().lineCount(); ++i)
            lines.emplace_back(window.log().line(i));
        return lines;
    }

    QString caption(const char* name) { return child<QLabel>(name)->text(); }

    TempDir tmp;
    FixedClockPlatform platform;
    RecordingMessageBoxes messages;
    ScriptedOpenFileDialog openFile;
    RecordingShell shell;
    CopyGate gate;
    std::map<int, std::function<void()>> atCopy;
    app::TZumerForm window;

private:
    bool m_waiting = false;
};

}  // namespace sarvoli::testing
