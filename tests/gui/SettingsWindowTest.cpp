#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QLineEdit>

#include <filesystem>
#include <memory>
#include <sstream>

#include "WindowFixture.h"

using namespace sarvoli;
using namespace sarvoli::testing;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

class SettingsWindowTest : public TZumerFormTest {
protected:
    std::string settingsFile() { return readFile(tmp / "p/settings.ini"); }
    void setSettingsFile(const std::string& text) { writeFile(tmp / "p/settings.ini", text); }

    // The program started anew on the same folder.
    std::unique_ptr<app::TZumerForm> restart()
    {
        auto w = std::make_unique<app::TZumerForm>(platform, app::Services{&messages, &openFile, &shell}, "P:\\");
        w->setWorkers(1);
        return w;
    }

    static QStringList listOf(app::TZumerForm& w, const char* box)
    {
        QStringList items;
        auto* combo = w.findChild<QComboBox*>(QString::fromLatin1(box));
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }

    // What the last-copy row shows: the picker's date, weekday and time, or "" when empty.
    static QString lastCopyRow(app::TZumerForm& w)
    {
        if (!w.findChild<QDateEdit*>("DTPicker1")->isEnabled())
            return w.findChild<QLabel*>("lbTime")->isHidden() ? QString() : QStringLiteral("half-empty");
        return w.findChild<QDateEdit*>("DTPicker1")->date().toString("d.M.yyyy") + " "
               + w.findChild<QLabel*>("lbWeekday")->text() + " " + w.findChild<QLabel*>("lbTime")->text();
    }

    void typeSource(const char* text) { QTest::keyClicks(child<QComboBox>("FromBox")->lineEdit(), QString::fromUtf8(text)); }
    void trigger(const char* action) { window.findChild<QAction*>(action)->trigger(); }
};

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends in CRLF";
    return lines;
}

TEST_F(SettingsWindowTest, aFirstRecordedRunAndACloseLeaveTheDocumentedFile)
{
    writeFile(tmp / "d/data/a.bin", std::string(1500, 'x'));
    window.show();
    setFolders("D:\\data", "E:\\backup");
    clickCopy();
    EXPECT_EQ(lastCopyRow(window), QString::fromUtf8("7.12.2026 Maanantai 11:06:34"));
    ASSERT_TRUE(window.close());
    EXPECT_THAT(linesOf(settingsFile()),
                ElementsAre("[FromBox]", "0=D:\\data\\_7.12.2026 11:06:34", "[ToFolder]", "0=E:\\backup",
                            "[ZumerForm]", "FromBox=D:\\data\\", "ToFolder=E:\\backup", "File=*.*", "Prev=.~|.bak",
                            "Date=7.12.2026 13:13:10", "FrmDir=D:\\data\\", "ToDir=E:\\backup", "Time=11:06:34",
                            "Subs=1", "fSarvol=114,210"));
}

TEST_F(SettingsWindowTest, theWindowComesBackAsItWasLeft)
{
    writeFile(tmp / "d/src/a.bin", std::string(1500, 'x'));
    window.show();
    setFolders("D:\\src\\", "E:\\backup");
    clickCopy();
    child<QCheckBox>("SubBox")->setChecked(false);
    child<QLineEdit>("edFile")->setText("*.txt");
    child<QLineEdit>("edPrev")->setText("");
    window.move(340, 120);
    ASSERT_TRUE(window.close());

    auto again = restart();
    EXPECT_EQ(again->pos(), QPoint(340, 120));
    EXPECT_EQ(again->findChild<QComboBox*>("FromBox")->currentText(), "D:\\src\\");
    EXPECT_EQ(again->findChild<QComboBox*>("ToFolder")->currentText(), "E:\\backup");
    EXPECT_EQ(listOf(*again, "FromBox"), QStringList({"D:\\src\\"}));
    EXPECT_EQ(listOf(*again, "ToFolder"), QStringList({"E:\\backup"}));
    EXPECT_FALSE(again->findChild<QCheckBox*>("SubBox")->isChecked());
    EXPECT_EQ(again->findChild<QLineEdit*>("edFile")->text(), "*.txt");
    EXPECT_EQ(again->findChild<QLineEdit*>("edPrev")->text(), ".~|.bak") << "an emptied field comes back as it starts";
    EXPECT_EQ(lastCopyRow(*again), QString::fromUtf8("7.12.2026 Maanantai 11:06:34"));
    EXPECT_EQ(again->lastFromDir(), "D:\\src\\");
    EXPECT_TRUE(messages.errors.empty());
}

#ifndef _WIN32  // the read-back seam is the POSIX platform's
TEST_F(SettingsWindowTest, keysAddedByHandToTheSettingsFileChangeTheWindowsRunsAndStay)
{
    struct Row {
        const char* key;
        const char* file;  // below the source
        const char* without;
        const char* with;
    };
    const Row rows[] = {
        // A stick that hands back other bytes than it was given: every copy read back is caught.
        {"Verify=1", "a.bin", "1 tiedostoa kopioitu, kaikkiaan  3 KB", "0 tiedostoa kopioitu, kaikkiaan  0 KB, 1 epäonnistui"},
        // A name beginning with a dot: a hidden folder, walked only when asked.
        {"Hidden=1", ".git/a.bin", "0 tiedostoa kopioitu, kaikkiaan  0 KB", "1 tiedostoa kopioitu, kaikkiaan  3 KB"},
    };
    platform.corruptCopy = tmp / "e/";  // every copy reads back changed
    for (const Row& r : rows) {
        std::filesystem::remove_all(tmp / "d/src");
        source(r.file, 3000);
        for (const bool given : {false, true}) {
            std::filesystem::remove_all(tmp / "e");
            setSettingsFile(given ? "[ZumerForm]\r\n" + std::string(r.key) + "\r\n" : "[ZumerForm]\r\n");
            auto w = restart();
            w->findChild<QComboBox*>("FromBox")->setEditText("D:\\src\\");
            w->findChild<QComboBox*>("ToFolder")->setEditText("E:\\backup\\");
            clickCopy(*w);
            EXPECT_EQ(w->findChild<QLabel*>("lblNumberFound")->text(), QString::fromUtf8(given ? r.with : r.without))
                << r.key << " " << given;
            ASSERT_TRUE(w->close());
            EXPECT_EQ(settingsFile().find(r.key) != std::string::npos, given) << r.key << ": never written, nor dropped";
        }
    }
}
#endif

TEST_F(SettingsWindowTest, theGuardAsksBeforeMostCopiesAreReplacedAndVersionsKeepTheOldOnes)
{
    for (int i = 0; i < 120; ++i)
        source("f" + std::to_string(i) + ".txt", 10);
    setSettingsFile("[ZumerForm]\r\nGuard=1\r\nVersions=2\r\n");
    auto w = restart();
    w->findChild<QComboBox*>("FromBox")->setEditText("D:\\src\\");
    w->findChild<QComboBox*>("ToFolder")->setEditText("E:\\backup\\");
    clickCopy(*w);
    EXPECT_TRUE(messages.questions.empty()) << "a first run replaces nothing";
    for (int i = 0; i < 120; ++i) {
        writeFile(tmp / ("d/src/f" + std::to_string(i) + ".txt"), "new");
        setLocalMtime(tmp / ("d/src/f" + std::to_string(i) + ".txt"), 2026, 12, 8, 9, 0, 0);
    }
    const auto label = [&] { return w->findChild<QLabel*>("lblNumberFound")->text(); };
    clickCopy(*w);  // answered no
    ASSERT_EQ(messages.questions.size(), 1u);
    EXPECT_THAT(messages.questions[0], ::testing::HasSubstr("Ajo korvaisi 120 kopiota kohteen 120 kopiosta"));
    EXPECT_THAT(messages.questions[0], ::testing::HasSubstr("E:\\backup\\f"));
    EXPECT_EQ(label(), QString::fromUtf8("0 tiedostoa kopioitu, kaikkiaan  0 KB, 120 kopiota jätettiin korvaamatta"));
    EXPECT_EQ(readFile(tmp / "e/backup/f7.txt"), std::string(10, 'x'));
    messages.answerYes = true;
    clickCopy(*w);
    EXPECT_EQ(label(), QString::fromUtf8("120 tiedostoa kopioitu, kaikkiaan  0 KB, 120 vanhaa kopiota säilytetty"));
    EXPECT_EQ(readFile(tmp / "e/backup/f7.txt"), "new");
    int kept = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(tmp / "e/backup/Sarvoli3-vanhat-kopiot"))
        kept += e.is_regular_file() && readFile(e.path().string()) == std::string(10, 'x');
    EXPECT_EQ(kept, 120);
    ASSERT_TRUE(w->close());

    // A count of runs that cannot be read turns nothing off quietly: no run starts on it.
    setSettingsFile("[ZumerForm]\r\nVersions=kaksi\r\n");
    auto bad = restart();
    bad->findChild<QComboBox*>("FromBox")->setEditText("D:\\src\\");
    bad->findChild<QComboBox*>("ToFolder")->setEditText("E:\\backup\\");
    clickCopy(*bad);
    EXPECT_THAT(messages.messages, ElementsAre(::testing::HasSubstr("Versions")));
}

struct LoadRow {
    const char* file;
    QStringList sources;
    const char* fromBox;
    const char* error;  // "" when the load completes
};

TEST_F(SettingsWindowTest, startUpLoadsWhatTheFileHoldsAndStopsAtTheFirstError)
{
    const LoadRow rows[] = {
        {"[FromBox]\r\n0=D:\\a\\_1.1.2026\r\n1=D:\\a\\_2.1.2026\r\n2=D:\\b\\_3.1.2026\r\n", {"D:\\a\\", "D:\\b\\"}, "", ""},
        {"[FromBox]\r\n0=D:\\a\\_1.1.2026\r\n2=D:\\b\\_3.1.2026\r\n", {"D:\\a\\"}, "", ""},  // a gap ends the list
        {"[FromBox]\r\n0=D:\\my_data\\_1.1.2026\r\n", {"D:\\my_data\\"}, "", ""},
        {"[ZumerForm]\r\nfSarvol=120\r\nFromBox=D:\\x\\\r\n", {}, "", "'' is not a valid integer value."},
        {"[ZumerForm]\r\nfSarvol=1,x\r\nFromBox=D:\\x\\\r\n", {}, "", "'x' is not a valid integer value."},
        {"[ZumerForm]\r\nFromBox=D:\\x\\\r\nDate=7/12/2026 PM\r\n[FromBox]\r\n0=D:\\a\\_1.1.2026\r\n", {"D:\\a\\"},
         "D:\\x\\", "'7/12/2026 PM' is not a valid date and time."},
    };
    for (const LoadRow& r : rows) {
        setSettingsFile(r.file);
        messages.errors.clear();
        auto w = restart();
        EXPECT_EQ(listOf(*w, "FromBox"), r.sources) << r.file;
        EXPECT_EQ(w->findChild<QComboBox*>("FromBox")->currentText(), r.fromBox) << r.file;
        if (*r.error) {
            EXPECT_THAT(messages.errors, ElementsAre(r.error)) << r.file;
            EXPECT_TRUE(w->lastFromDir().isEmpty()) << "the remembered folders are not set after an error";
        } else {
            EXPECT_TRUE(messages.errors.empty()) << r.file;
        }
    }
    setSettingsFile("[ZumerForm]\r\nfSarvol=120\r\n");
    EXPECT_EQ(restart()->pos(), QPoint(210, 120)) << "the top is set before the left fails";
}

TEST_F(SettingsWindowTest, eachRecordedRunRewritesItsFoldersEntryAndClearsTheTotal)
{
    writeFile(tmp / "d/my_src/a.bin", std::string(1500, 'x'));
    setFolders("D:\\my_src\\", "E:\\backup");
    clickCopy();
    writeFile(tmp / "d/my_src/b.bin", std::string(2500, 'x'));
    platform.now = text::encodeDateTime({2026, 12, 8});  // midnight
    clickCopy();
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("1 tiedostoa kopioitu, kaikkiaan  2 KB"));
    EXPECT_EQ(lastCopyRow(window), QString::fromUtf8("8.12.2026 Tiistai "));
    EXPECT_THAT(linesOf(settingsFile()),
                ElementsAre("[FromBox]", "0=D:\\my_src\\_8.12.2026", "[ToFolder]", "0=E:\\backup"));

    // After a restart the folder, underscore and all, finds its own entry again.
    auto w = restart();
    EXPECT_EQ(listOf(*w, "FromBox"), QStringList({"D:\\my_src\\"}));
    QTest::keyClicks(w->findChild<QComboBox*>("FromBox")->lineEdit(), "D:\\my_src\\");
    EXPECT_EQ(lastCopyRow(*w), QString::fromUtf8("8.12.2026 Tiistai "));
}

TEST_F(SettingsWindowTest, aNewFolderTakesTheFirstFreeKeyAndNoOtherFoldersEntry)
{
    setSettingsFile("[FromBox]\r\n0=D:\\a\\_1.1.2026\r\n2=D:\\b\\_3.1.2026\r\n");
    auto w = restart();
    writeFile(tmp / "d/new/a.bin", std::string(1500, 'x'));
    w->findChild<QComboBox*>("FromBox")->setEditText("D:\\new\\");
    w->findChild<QComboBox*>("ToFolder")->setEditText("E:\\b");
    clickCopy(*w);
    EXPECT_EQ(listOf(*w, "FromBox"), QStringList({"D:\\a\\", "D:\\new\\"}));
    EXPECT_THAT(linesOf(settingsFile()),
                ElementsAre("[FromBox]", "0=D:\\a\\_1.1.2026", "2=D:\\b\\_3.1.2026", "1=D:\\new\\_7.12.2026 11:06:34",
                            "[ToFolder]", "0=E:\\b"));
}

TEST_F(SettingsWindowTest, typingOrChoosingARememberedSourceBringsBackItsLastCopy)
{
    setSettingsFile("[FromBox]\r\n0=D:\\b\\_1.1.2026 8:00:00\r\n1=D:\\a\\_5.3.2026 14:07:08\r\n");
    auto w = restart();
    auto* box = w->findChild<QComboBox*>("FromBox");
    QTest::keyClicks(box->lineEdit(), "D:\\a");
    EXPECT_EQ(lastCopyRow(*w), "") << "D:\\a is not D:\\a\\";
    QTest::keyClicks(box->lineEdit(), "\\");
    EXPECT_EQ(lastCopyRow(*w), QString::fromUtf8("5.3.2026 Torstai 14:07:08"));
    QTest::keyClicks(box->lineEdit(), "x");
    EXPECT_EQ(lastCopyRow(*w), "");

    box->setCurrentIndex(0);
    emit box->activated(0);
    EXPECT_EQ(lastCopyRow(*w), QString::fromUtf8("1.1.2026 Torstai 8:00:00"));
}

TEST_F(SettingsWindowTest, confirmingATypedTextThatIsInTheListIsNoChoice)
{
    writeFile(tmp / "d/src/a.bin", std::string(1500, 'x'));
    setFolders("D:\\src\\", "E:\\backup");
    clickCopy();
    auto* box = child<QComboBox>("FromBox");
    box->insertItem(0, "D:\\other\\");
    box->setCurrentIndex(0);
    box->setEditText("D:\\src\\");  // typed, while the list's current entry is another
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(box->lineEdit(), &focusOut);
    EXPECT_EQ(window.log().lineCount(), 1) << "neither raised the chosen-entry event";
    EXPECT_FALSE(child<QLabel>("Label7")->isHidden()) << "nor the changed event";
}

TEST_F(SettingsWindowTest, deletingTheMiddleOfThreeMovesTheRestUp)
{
    setSettingsFile("[FromBox]\r\n0=D:\\a\\_1.1.2026\r\n1=D:\\b\\_2.1.2026\r\n2=D:\\d\\_3.1.2026\r\n");
    auto w = restart();
    w->findChild<QComboBox*>("FromBox")->setEditText("D:\\b\\");
    w->findChild<QAction*>("Delete1")->trigger();
    EXPECT_EQ(listOf(*w, "FromBox"), QStringList({"D:\\a\\", "D:\\d\\"}));
    EXPECT_EQ(w->findChild<QComboBox*>("FromBox")->currentText(), "");
    EXPECT_THAT(linesOf(settingsFile()), ElementsAre("[FromBox]", "0=D:\\a\\_1.1.2026", "1=D:\\d\\_3.1.2026"));

    w->findChild<QAction*>("Delete1")->trigger();  // an empty box: nothing else changes
    EXPECT_EQ(listOf(*w, "FromBox"), QStringList({"D:\\a\\", "D:\\d\\"}));
}

TEST_F(SettingsWindowTest, aFileThatCannotBeWrittenIsReportedAndLosesNothing)
{
    writeFile(tmp / "d/src/a.bin", std::string(1500, 'x'));
    setSettingsFile("[ZumerForm]\r\nFile=*.*\r\n");
    chmod((tmp / "p/settings.ini").c_str(), 0444);
    window.show();
    setFolders("D:\\src\\", "E:\\backup");
    clickCopy();
    EXPECT_THAT(messages.errors, ElementsAre("Unable to write to P:\\settings.ini."));
    EXPECT_EQ(window.totalKilobytes(), 1) << "the total of a run that was not recorded stays";
    EXPECT_TRUE(window.lastFromDir().isEmpty()) << "the command ended with the error";

    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible()) << "a failed save keeps the window open";
    chmod((tmp / "p/settings.ini").c_str(), 0644);
    EXPECT_TRUE(window.close()) << "the next close tries the save again";
    EXPECT_NE(settingsFile().find("FromBox=D:\\src\\"), std::string::npos);
}

}  // namespace
