#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>

#include <filesystem>
#include <functional>
#include <vector>

#include "WindowFixture.h"

using namespace sarvoli;
using namespace sarvoli::testing;

namespace {

class CommandsDuringRunTest : public TZumerFormTest {
protected:
    // Runs the commands one after another, each while the run waits at its next copy.
    void inTurns(std::vector<std::function<void()>> commands)
    {
        atCopy.clear();
        for (std::size_t i = 0; i < commands.size(); ++i)
            atCopyNumber(static_cast<int>(i) + 1, std::move(commands[i]));
    }

    void trigger(const char* action) { window.findChild<QAction*>(action)->trigger(); }

    // Files below a folder that are not copies of the source's files at the same place.
    std::string strayFilesBelow(const std::string& folder)
    {
        std::string stray;
        if (!std::filesystem::exists(folder))
            return stray;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
            if (!e.is_regular_file() || e.path().filename() == "settings.ini")
                continue;
            const std::string rel = std::filesystem::relative(e.path(), tmp / "e/backup").generic_string();
            if (rel.starts_with("..") || readFile(e.path().string()) != readFile(tmp / ("d/src/" + rel)))
                stray += e.path().string() + " ";
        }
        return stray;
    }

    void checkTheRunIsWhole()
    {
        EXPECT_EQ(strayFilesBelow(tmp / "e"), "") << "a file landed where the run did not send it";
        EXPECT_FALSE(std::filesystem::exists(tmp / "d/src/backup"));
        const QString summary = caption("lblNumberFound");
        EXPECT_TRUE(summary.startsWith(QString::number(window.log().lineCount() - window.log().failedCount())
                                       + QString::fromUtf8(" tiedostoa kopioitu")))
            << summary.toStdString();
        EXPECT_NE(readFile(tmp / "p/settings.ini").find("0=D:\\src\\_7.12.2026 11:06:34"), std::string::npos)
            << "the run is recorded under the folder it ran with";
        EXPECT_TRUE(messages.errors.empty());
    }

};

TEST_F(CommandsDuringRunTest, everyCommandBetweenTwoEntriesLeavesTheRunWhole)
{
    for (int folder = 0; folder < 6; ++folder)
        for (int file = 0; file < 20; ++file)
            source("dir" + std::to_string(folder) + "/f" + std::to_string(file) + ".bin", 1500 + file);
    window.show();
    setFolders("D:\\src\\", "E:\\backup");
    child<QComboBox>("ToFolder")->addItem("E:\\backup");
    openFile.answer = tmp / "d/elsewhere/x.txt";
    inTurns({
        [this] { trigger("Clear1"); },
        [this] { QTest::keyClicks(child<QComboBox>("FromBox")->lineEdit(), "x"); },
        [this] { trigger("Delete1"); },
        [this] { trigger("Delete2"); },
        [this] { QTest::mouseClick(child<QPushButton>("btPath"), Qt::LeftButton); },
        [this] { QTest::mouseClick(child<QPushButton>("btPath2"), Qt::LeftButton); },
        [this] { setFolders("D:\\elsewhere", "E:\\other"); },
        [this] { trigger("SamePath1"); },
        [this] { trigger("About1"); },
        [this] { clickCopy(); },
    });
    clickCopy();
    EXPECT_FALSE(window.isRunning());
    EXPECT_TRUE(openFile.calls.empty()) << "the pickers wait for the run to end";
    EXPECT_EQ(window.log().lineCount(), 120 - 2) << "a line went with each of the two commands that empty the log";
    checkTheRunIsWhole();
}

TEST_F(CommandsDuringRunTest, abortAndCloseBetweenTwoEntriesStopTheRunWhole)
{
    for (int file = 0; file < 40; ++file)
        source("f" + std::to_string(file) + ".bin", 1500);
    window.show();
    setFolders("D:\\src\\", "E:\\backup");
    inTurns({
        [this] { trigger("About1"); },
        [this] { trigger("Abort1"); },
    });
    clickCopy();
    EXPECT_EQ(window.log().lineCount(), 2);
    checkTheRunIsWhole();

    inTurns({[this] { trigger("File1"); }});
    clickCopy();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isVisible()) << "closed once the run had ended";
    checkTheRunIsWhole();
    EXPECT_NE(readFile(tmp / "p/settings.ini").find("FromBox=D:\\src\\"), std::string::npos) << "and saved";
}

}  // namespace
