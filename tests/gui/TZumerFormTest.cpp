#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#ifndef _WIN32
#include <map>
#include <memory>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "MemoryDisk.h"
#include "WindowFixture.h"
#include "app/LogView.h"

using namespace sarvoli;
using namespace sarvoli::testing;
using ::testing::ElementsAre;

namespace {

struct ControlRow {
    const char* name;
    int left, top, width, height;  // width -1: the control sizes itself
    const char* text;
    const char* toolTip;
    bool hidden;
    bool enabled;
};

TEST_F(TZumerFormTest, controlsStandWhereTheWindowPutsThem)
{
    const char* prevTip = "Merkkijonon sisältäviä tiedostonimiä ei kopioida. Max 2 jonoa erotusmerkkinä putki |.";
    const ControlRow rows[] = {
        {"Label1", 4, 4, -1, -1, "Hakemistosta", "", false, true},
        {"FromBox", 80, 0, 295, 21, "", "Exact path of the files to be backed up", false, true},
        {"btPath", 379, 0, 25, 21, "...", "Klikkaa ja avaa kopioitava kansio", false, true},
        {"Label6", 4, 32, -1, -1, "Hakemistoon", "", false, true},
        {"ToFolder", 80, 28, 295, 21, "", "Jos tiedostot menevät yhteisen kansion alle", false, true},
        {"btPath2", 379, 28, 25, 21, "...", "", false, true},
        {"SubBox", 4, 57, 113, 17, "Alikansiot mukaan", "", false, true},
        {"Label2", 125, 57, -1, -1, "Tiedostomaski", "", false, true},
        {"edFile", 209, 54, 50, 21, "*.*", "", false, true},
        {"Label5", 283, 57, -1, -1, "Ehk. merkit", "", false, true},
        {"edPrev", 351, 54, 54, 21, ".~|.bak", prevTip, false, true},
        {"btCopy", 416, 44, 73, 54, "&Kopioi", "", false, true},
        {"Label4", 4, 81, -1, -1, "Viimeisin kopio", "", false, true},
        {"DTPicker1", 80, 77, 86, 21, nullptr, "", false, false},
        {"lbWeekday", 179, 81, -1, -1, "", "", true, true},
        {"lbTime", 237, 81, -1, -1, "", "", true, true},
        {"ListBox1", 0, 104, 490, 161, nullptr, "", false, true},
        {"lblNumberFound", 5, 278, -1, -1, "Tiedostoja kopioitu...", "", true, true},
        {"Label7", 416, 278, -1, -1, "", "", true, true},
    };
    for (const ControlRow& r : rows) {
        QWidget* w = child<QWidget>(r.name);
        ASSERT_NE(w, nullptr) << r.name << ": a control that is not there fails";
        EXPECT_EQ(w->pos(), QPoint(r.left, r.top)) << r.name;
        if (r.width >= 0) {
            EXPECT_EQ(w->size(), QSize(r.width, r.height)) << r.name;
        }
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(r.toolTip)) << r.name;
        EXPECT_EQ(w->isHidden(), r.hidden) << r.name;
        EXPECT_EQ(w->isEnabled(), r.enabled) << r.name;
        if (!r.text)
            continue;
        QString text;
        if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            text = e->text();
        else if (auto* c = qobject_cast<QComboBox*>(w))
            text = c->currentText();
        EXPECT_EQ(text, QString::fromUtf8(r.text)) << r.name;
    }
    EXPECT_TRUE(child<QCheckBox>("SubBox")->isChecked());
    EXPECT_EQ(child<QDateEdit>("DTPicker1")->date(), QDate(1899, 12, 30));
    EXPECT_TRUE(child<QPushButton>("btCopy")->font().bold());
    EXPECT_TRUE(child<QPushButton>("btPath")->font().bold());
    EXPECT_TRUE(child<QPushButton>("btPath2")->font().bold());
    EXPECT_FALSE(child<QPushButton>("btCopy")->icon().isNull());
    EXPECT_FALSE(child<QLabel>("Label1")->font().bold());
    EXPECT_EQ(child<QComboBox>("FromBox")->completer(), nullptr);
    EXPECT_EQ(child<QComboBox>("ToFolder")->completer(), nullptr);
}

TEST_F(TZumerFormTest, windowHasAFixedSizeCaptionPositionAndMenuBar)
{
    EXPECT_EQ(window.objectName(), "ZumerForm");
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Sarvoli3 tiedostokopiointi"));
    EXPECT_EQ(window.centralWidget()->size(), QSize(490, 292));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.size().height(), 292 + window.menuBar()->sizeHint().height());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(window.pos(), QPoint(210, 114));

    QStringList bar;
    for (QAction* a : window.menuBar()->actions()) {
        EXPECT_EQ(a->menu(), nullptr) << "commands stand directly on the bar";
        bar << a->objectName() + "=" + a->text();
    }
    EXPECT_EQ(bar, QStringList({"File1=&Sulje", QString::fromUtf8("Clear1=&Tyhjennä"), "Abort1=&Peruuta",
                                "Delete1=P&oista Hakemistosta", "Delete2=Poista &Hakemistoon",
                                "SamePath1=S&ama polku", "About1=Ti&etoja"}));
}

TEST_F(TZumerFormTest, tabOrderRunsThroughTheControlsInTheirOrder)
{
    const QStringList expected = {"SubBox", "edFile", "DTPicker1", "ListBox1", "FromBox",
                                  "edPrev", "btCopy", "btPath",    "ToFolder", "btPath2"};
    QStringList seen;
    QWidget* w = child<QWidget>("SubBox");
    for (int i = 0; i < 200 && seen.size() < expected.size(); ++i, w = w->nextInFocusChain()) {
        const QString name = w->objectName();
        if (expected.contains(name) && (seen.isEmpty() || seen.last() != name))
            seen << name;
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(TZumerFormTest, aRunCopiesLogsAndSummarises)
{
    source("a.bin", 600'000);
    source("docs/b.bin", 634'000);
    source("docs/skip.bak", 10);
    setFolders("D:\\src", "E:\\backup");
    clickCopy();

    EXPECT_THAT(logLines(), ElementsAre("E:\\backup\\a.bin   7.12.2026 11:05:32",
                                        "E:\\backup\\docs\\b.bin   7.12.2026 11:05:32"));
    EXPECT_EQ(window.log().rowCount(), 2) << "the view has been told of every line";
    EXPECT_EQ(readFile(tmp / "e/backup/docs/b.bin").size(), 634'000u);
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("2 tiedostoa kopioitu, kaikkiaan  1.2 MB"));
    EXPECT_FALSE(child<QLabel>("lblNumberFound")->isHidden());
    EXPECT_TRUE(caption("Label7").startsWith("Aika: 0:0"));
    EXPECT_FALSE(child<QLabel>("Label7")->isHidden());
    EXPECT_EQ(child<QComboBox>("FromBox")->currentText(), "D:\\src\\") << "the source gains its backslash";
    EXPECT_EQ(window.lastFromDir(), "D:\\src\\");
    EXPECT_EQ(window.lastToDir(), "E:\\backup");
    EXPECT_EQ(window.totalKilobytes(), 0) << "the recorded run clears its total";
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(messages.errors.empty());
}

TEST_F(TZumerFormTest, aFailedCopyIsCountedApart)
{
    source("good.txt", 2000);
    source("bad.txt", 5000);
    writeFile(tmp / "e/backup/bad.txt/in-the-way", "x");
    setFolders("D:\\src\\", "E:\\backup\\");
    clickCopy();
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("1 tiedostoa kopioitu, kaikkiaan  2 KB, 1 epäonnistui"));
}

#ifndef _WIN32  // the flush seam is the POSIX platform's
TEST_F(TZumerFormTest, copiesThatDoNotReachTheDeviceAreFailuresAndTheRunIsNotRecorded)
{
    source("a.bin", 600'000);
    source("docs/b.bin", 634'000);
    platform.fileSystem = 0xEF53;  // a disk whose copies wait for the flush of the batch
    platform.deviceFails = true;
    setFolders("D:\\src\\", "E:\\backup\\");
    clickCopy();
    const std::string lost = "   VIRHE: kopioita ei saatu levylle: " + std::string(std::strerror(EIO));
    EXPECT_THAT(logLines(), ElementsAre("E:\\backup\\a.bin   7.12.2026 11:05:32",
                                        "E:\\backup\\docs\\b.bin   7.12.2026 11:05:32",
                                        "E:\\backup\\a.bin   7.12.2026 11:05:32" + lost,
                                        "E:\\backup\\docs\\b.bin   7.12.2026 11:05:32" + lost));
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("0 tiedostoa kopioitu, kaikkiaan  0 KB, 2 epäonnistui"));
    EXPECT_EQ(child<QComboBox>("FromBox")->count(), 0) << "no copy to remember";
    EXPECT_FALSE(exists(tmp / "p/settings.ini"));
    EXPECT_EQ(window.totalKilobytes(), 0) << "nothing carried to the next run";

    platform.deviceFails = false;
    clickCopy();
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("2 tiedostoa kopioitu, kaikkiaan  1.2 MB"));
    EXPECT_EQ(child<QComboBox>("FromBox")->count(), 1) << "the run that reached the device is recorded";
}
#endif

#ifndef _WIN32  // mounts a file system of its own for each disk
TEST_F(TZumerFormTest, afterACopyTheSourceAndTheDestinationDiskCanBeUnmounted)
{
    for (const int workers : {1, 2}) {
        std::map<std::string, std::unique_ptr<MemoryDisk>> disks;
        for (const char* disk : {"d", "e"}) {
            disks[disk] = std::make_unique<MemoryDisk>(tmp / disk, "16m");
            if (!disks[disk]->mounted())
                GTEST_SKIP() << disks[disk]->whyNot();
        }
        source("a.bin", 3000);
        source("docs/b.bin", 4000);
        source("docs/old/c.bin", 5000);
        platform.fileSystem = 0xEF53;  // the way of a disk: copies wait for the flush, then get their time
        window.setWorkers(workers);
        setFolders("D:\\src\\", "E:\\backup\\");
        clickCopy();
        EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("3 tiedostoa kopioitu, kaikkiaan  12 KB"));
        // Between runs the window still asks about folders (the picker) and writes its settings.
        EXPECT_TRUE(platform.directoryExists("E:\\backup\\docs\\"));
        EXPECT_TRUE(platform.replaceFile("E:\\backup\\notes.ini", "[ZumerForm]\r\n").ok);
        // The window stays open, as a user's does while the stick is ejected.
        for (const char* disk : {"e", "d"}) {
            EXPECT_TRUE(disks[disk]->unmount()) << workers << " workers: disk " << disk << ": " << std::strerror(errno);
        }
    }
}
#endif

TEST_F(TZumerFormTest, checksRefuseTheRunAndLeaveTheLogEmpty)
{
    source("a.bin", 1000);
    struct Row {
        const char* from;
        const char* to;
        const char* message;
    };
    const Row rows[] = {
        {"", "E:\\backup", "HAKEMISTO tai LEVY on valitsematta"},
        {"D:\\src\\", "", "HAKEMISTO tai LEVY on valitsematta"},
        {"D:\\src\\", "q:\\backup", "Asemaa q ei ole tai se ei ole käytettävissä."},
        {"D:\\src\\", "\\\\server\\share", "Asemaa \\ ei ole tai se ei ole käytettävissä."},
        {"D:\\src\\", "f:\\card", "Asemaa f ei ole tai se ei ole käytettävissä."},
        {"D:\\src", "Ä:\\x", "Asemaa Ä ei ole tai se ei ole käytettävissä."},
    };
    for (const Row& r : rows) {
        setFolders("D:\\src\\", "E:\\backup");
        clickCopy();  // a run to fill the log and show the summary
        ASSERT_EQ(window.log().lineCount(), 1);
        messages.messages.clear();
        setFolders(r.from, r.to);
        clickCopy();
        EXPECT_THAT(messages.messages, ElementsAre(r.message)) << r.to;
        EXPECT_EQ(window.log().lineCount(), 0) << r.to;
        EXPECT_TRUE(child<QLabel>("lblNumberFound")->isHidden()) << r.to;
        EXPECT_TRUE(child<QLabel>("Label7")->isHidden()) << r.to;
        EXPECT_EQ(child<QComboBox>("FromBox")->currentText(), QString::fromUtf8(r.from)) << "unchanged";
        std::filesystem::remove_all(tmp / "e/backup");
    }
}

#ifndef _WIN32  // folders are typed as host paths on Linux alone
TEST_F(TZumerFormTest, foldersTypedAsHostPathsRunAsTheirPathTexts)
{
    source("a.bin", 1000);
    setFolders((tmp / "d/src").c_str(), (tmp / "e//backup/").c_str());
    clickCopy();
    EXPECT_THAT(messages.messages, ElementsAre());
    EXPECT_EQ(child<QComboBox>("FromBox")->currentText(), QStringLiteral("D:\\src\\"));
    EXPECT_EQ(child<QComboBox>("ToFolder")->currentText(), QStringLiteral("E:\\backup\\"));
    EXPECT_EQ(window.lastToDir(), QStringLiteral("E:\\backup\\"));
    EXPECT_TRUE(std::filesystem::exists(tmp / "e/backup/a.bin"));

    // A host path that no path text can name is told as such, never as a missing drive.
    const std::pair<std::string, const char*> rows[] = {
        {(tmp / "e/a\\b"), "Nimessä on kenoviiva, sitä ei voi valita"},
        {"/no-drive-here/backup", "Kansio ei ole millään asemalla"},
    };
    for (const auto& [to, message] : rows) {
        messages.messages.clear();
        setFolders("D:\\src\\", to.c_str());
        clickCopy();
        EXPECT_THAT(messages.messages, ElementsAre(message)) << to;
        EXPECT_EQ(window.log().lineCount(), 0) << to;
    }
}
#endif

TEST_F(TZumerFormTest, aLongRunShowsItsCountUntilTheSummaryReplacesIt)
{
    for (int i = 0; i < 60; ++i)
        source("f" + std::to_string(i) + ".txt", 1500);
    setFolders("D:\\src\\", "E:\\backup");
    // Each copy takes 40 ms on the test's clock: 2.4 s in all.
    platform.clock = 0;
    std::vector<QString> seen;  // the count line as each copy begins
    for (int n = 1; n <= 60; ++n)
        atCopyNumber(n, [&, n] {
            platform.clock = (n - 1) * 40'000'000LL;
            window.pollRun();  // the window's look at the run, as its timer gives it
            const QLabel* count = child<QLabel>("lblNumberFound");
            seen.push_back(count->isHidden() ? QString() : count->text());
        });
    clickCopy();
    ASSERT_EQ(seen.size(), 60u);
    // Nothing in the first second; after it the running count, new at most every 100 ms.
    for (std::size_t i = 0; i < 25; ++i)
        EXPECT_EQ(seen[i], QString()) << i;
    EXPECT_EQ(seen[25], QString::fromUtf8("25 tiedostoa kopioitu, kaikkiaan  25 KB..."));
    int changes = 0;
    for (std::size_t i = 26; i < seen.size(); ++i)
        changes += seen[i] != seen[i - 1];
    EXPECT_EQ(changes, 11);  // at 1.12 s, 1.24 s ... 2.32 s: every third copy
    EXPECT_EQ(seen.back(), QString::fromUtf8("58 tiedostoa kopioitu, kaikkiaan  58 KB..."));
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("60 tiedostoa kopioitu, kaikkiaan  60 KB"));
}

TEST_F(TZumerFormTest, abortDuringARunStopsItAndStillSummarises)
{
    for (int i = 0; i < 30; ++i)
        source("f" + std::to_string(i) + ".bin", 1500);
    setFolders("D:\\src\\", "E:\\backup");
    duringRun([this] { window.findChild<QAction*>("Abort1")->trigger(); });
    clickCopy();
    EXPECT_EQ(window.log().lineCount(), 1);
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("1 tiedostoa kopioitu, kaikkiaan  1 KB"));
    EXPECT_FALSE(child<QLabel>("Label7")->isHidden());
    EXPECT_EQ(window.lastFromDir(), "D:\\src\\");

    // The stop request belonged to that run: the next one copies the rest.
    atCopy.clear();
    clickCopy();
    EXPECT_EQ(window.log().lineCount(), 29);
}

TEST_F(TZumerFormTest, abortOutsideARunChangesNothing)
{
    source("a.bin", 1500);
    window.findChild<QAction*>("Abort1")->trigger();
    setFolders("D:\\src\\", "E:\\backup");
    clickCopy();
    EXPECT_EQ(window.log().lineCount(), 1);
}

TEST_F(TZumerFormTest, clearDuringARunEmptiesTheLogAndTheSummaryCountsWhatIsLeft)
{
    for (int i = 0; i < 5; ++i)
        source("f" + std::to_string(i) + ".bin", 1500);
    setFolders("D:\\src\\", "E:\\backup");
    duringRun([this] { window.findChild<QAction*>("Clear1")->trigger(); });
    clickCopy();
    EXPECT_EQ(window.log().lineCount(), 4);
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("4 tiedostoa kopioitu, kaikkiaan  5 KB"));
}

TEST_F(TZumerFormTest, aSecondCopyDuringARunIsIgnored)
{
    for (int i = 0; i < 5; ++i)
        source("f" + std::to_string(i) + ".bin", 1500);
    setFolders("D:\\src\\", "E:\\backup");
    duringRun([this] { clickCopy(); });
    clickCopy();
    EXPECT_EQ(window.log().lineCount(), 5);
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("5 tiedostoa kopioitu, kaikkiaan  5 KB"));
    EXPECT_TRUE(messages.messages.empty());
}

#ifndef _WIN32  // the copy's data seam is the POSIX platform's
TEST_F(TZumerFormTest, aDeviceThatStopsAnsweringHoldsNeitherTheWindowNorItsCommands)
{
    // A share that drops off the network in the middle of the second copy.
    source("a.bin", 1500);
    source("b.bin", 2500);
    source("c.bin", 3500);
    platform.fileSystem = 0x65735546;  // FUSE: each copy on the device before it is named
    platform.stallAt = "/b.bin";
    window.show();
    setFolders("D:\\src\\", "E:\\backup");
    QTest::mouseClick(child<QPushButton>("btCopy"), Qt::LeftButton);
    const auto waitUntil = [](const std::function<bool()>& done, int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    };
    ASSERT_TRUE(waitUntil([&] { return platform.stalled && window.log().lineCount() == 1; }, 5000));
    // The running count says so, a few seconds on.
    const std::int64_t realNow = platform.SystemTestPlatform::monotonicNanos();
    for (const std::int64_t later : {5'000'000'000LL, 10'000'000'000LL}) {
        platform.clock = realNow + later;
        window.pollRun();
    }
    EXPECT_THAT(caption("lblNumberFound").toStdString(), ::testing::HasSubstr(", kohde ei ole vastannut "));
    platform.clock = -1;

    // The window answers while the run's call does not come back.
    const auto asked = std::chrono::steady_clock::now();
    window.findChild<QAction*>("Clear1")->trigger();
    EXPECT_EQ(window.log().lineCount(), 0);
    window.findChild<QAction*>("Abort1")->trigger();
    ASSERT_TRUE(waitUntil([&] { return !window.isRunning(); }, 2000)) << "Abort ends the run within a second";
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
    EXPECT_THAT(logLines(), ::testing::ElementsAre("E:\\backup\\   VIRHE: kohde ei vastaa, kopiointi keskeytettiin"));
    EXPECT_EQ(caption("lblNumberFound"), QString::fromUtf8("0 tiedostoa kopioitu, kaikkiaan  1 KB, 1 epäonnistui"));
    clickCopy();
    EXPECT_EQ(window.log().lineCount(), 1) << "no second run while the first has not let go of its folders";
    EXPECT_TRUE(window.close()) << "Close, with the settings saved";
    const std::string settings = readFile(tmp / "p/settings.ini");
    EXPECT_NE(settings.find("FromBox=D:\\src\\"), std::string::npos);
    EXPECT_EQ(settings.find("[FromBox]"), std::string::npos) << "a run given up is not recorded";

    // The device answers at last: the copy that it finishes takes no name, and nothing of it stays.
    platform.letStalledGoOn();
    ASSERT_TRUE(waitUntil([&] { return !exists(tmp / "e/backup/c.bin") && listFolder(tmp / "e/backup") == "a.bin"; }, 2000))
        << listFolder(tmp / "e/backup");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(listFolder(tmp / "e/backup"), "a.bin");
}
#endif

TEST_F(TZumerFormTest, closingDuringARunStopsTheRunThenCloses)
{
    for (int i = 0; i < 20; ++i)
        source("f" + std::to_string(i) + ".bin", 1500);
    window.show();
    setFolders("D:\\src\\", "E:\\backup");
    duringRun([this] { window.findChild<QAction*>("File1")->trigger(); });
    clickCopy();
    EXPECT_EQ(window.log().lineCount(), 1);
    EXPECT_FALSE(child<QLabel>("lblNumberFound")->isHidden()) << "the summary came first";
    EXPECT_TRUE(window.isVisible()) << "the window closes once the command has ended";
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(TZumerFormTest, runRemembersTheFoldersItRanWithNotLaterEdits)
{
    source("a.bin", 1500);
    source("b/c.bin", 1500);
    setFolders("D:\\src", "E:\\backup");
    duringRun([this] { setFolders("D:\\elsewhere\\", "E:\\other"); });
    clickCopy();
    EXPECT_EQ(window.lastFromDir(), "D:\\src\\");
    EXPECT_EQ(window.lastToDir(), "E:\\backup");
    EXPECT_TRUE(exists(tmp / "e/backup/b/c.bin"));
    EXPECT_FALSE(exists(tmp / "e/other"));
}

TEST_F(TZumerFormTest, clearHidesTheCountButNotTheTime)
{
    source("a.bin", 1500);
    setFolders("D:\\src\\", "E:\\backup");
    clickCopy();
    window.findChild<QAction*>("Clear1")->trigger();
    EXPECT_EQ(window.log().lineCount(), 0);
    EXPECT_EQ(window.log().rowCount(), 0);
    EXPECT_TRUE(child<QLabel>("lblNumberFound")->isHidden());
    EXPECT_FALSE(child<QLabel>("Label7")->isHidden());
}

TEST_F(TZumerFormTest, choosingASourceFromTheListEmptiesTheLog)
{
    source("a.bin", 1500);
    setFolders("D:\\src\\", "E:\\backup");
    clickCopy();
    auto* box = child<QComboBox>("FromBox");
    box->addItem("D:\\other\\");
    box->setCurrentIndex(0);
    emit box->activated(0);
    EXPECT_EQ(window.log().lineCount(), 0);
}

TEST_F(TZumerFormTest, anErrorThatEndsACommandIsShownWithAFullStop)
{
    platform.forcedType = platform::DriveRemovable;
    setFolders("D:\\src\\", "\\\\server\\share");
    clickCopy();
    EXPECT_THAT(messages.errors, ElementsAre("Ei kelvollinen asematunnus."));
    EXPECT_FALSE(window.isRunning());
    EXPECT_TRUE(window.lastFromDir().isEmpty());
}

TEST_F(TZumerFormTest, theLogShowsItsLastLinesAfterARunAndKeysMoveThroughIt)
{
    for (int i = 0; i < 30; ++i)
        source("f" + std::to_string(100 + i) + ".bin", 10);
    window.show();
    setFolders("D:\\src\\", "E:\\backup");
    clickCopy();
    auto* view = child<app::LogView>("ListBox1");
    ASSERT_EQ(window.log().rowCount(), 30);
    const int inSight = view->viewport()->height() / app::LogView::kRowHeight;
    EXPECT_EQ(view->topRow(), 30 - inSight) << "the last line is in sight";
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(view->currentRow(), 0);
    EXPECT_EQ(view->topRow(), 0);
    QTest::keyClick(view, Qt::Key_PageDown);
    EXPECT_EQ(view->currentRow(), inSight);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, 2 * app::LogView::kRowHeight + 3));
    EXPECT_EQ(view->currentRow(), view->topRow() + 2);
    QTest::keyClick(view, Qt::Key_End);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(view->currentRow(), 28);
    EXPECT_EQ(view->topRow(), 30 - inSight) << "the chosen row stays in sight";
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(logLines().at(28)))
        << "Ctrl+C copies the chosen line";
    window.findChild<QAction*>("Clear1")->trigger();
    EXPECT_EQ(view->currentRow(), -1);
    EXPECT_EQ(view->topRow(), 0);
}

TEST_F(TZumerFormTest, aScreenReaderReadsTheLogAsAListOfItsLines)
{
    source("a.txt", 1500);
    source("b.txt", 10);
    source("c.txt", 20);
    std::filesystem::create_directories(tmp / "e/backup/b.txt");  // in the way of b.txt's copy
    window.show();
    setFolders("D:\\src\\", "E:\\backup");
    clickCopy();
    auto* view = child<app::LogView>("ListBox1");
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Home);
    QTest::keyClick(view, Qt::Key_Down);

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 3u);
    ASSERT_EQ(list->childCount(), 3);
    int failures = 0;
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* item = list->child(i);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->text(QAccessible::Name), QString::fromStdString(lines[static_cast<std::size_t>(i)]));
        EXPECT_EQ(list->indexOfChild(item), i);
        EXPECT_EQ(item->parent(), list);
        EXPECT_EQ(item->state().selected, i == 1) << i;
        EXPECT_EQ(item->state().focused, i == 1) << i;
        if (item->text(QAccessible::Name).contains(QStringLiteral("VIRHE: "))) {
            ++failures;
            EXPECT_EQ(item->text(QAccessible::Description), QString::fromUtf8("epäonnistui"));
        }
    }
    EXPECT_EQ(failures, 1) << "the failure line is read with the others";
    EXPECT_EQ(list->focusChild(), list->child(1));
    EXPECT_EQ(list->child(3), nullptr);
}

TEST(LogModel, publishesLinesInBatchesAndKeepsExactCounts)
{
    app::LogModel model;
    int inserted = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
        inserted += last - first + 1;
    });
    model.append("one", false);
    model.append("two   VIRHE: x", true);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.publish());
    EXPECT_FALSE(model.publish());
    EXPECT_EQ(inserted, 2);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.lineCount(), 2);
    EXPECT_EQ(model.failedCount(), 1);
    EXPECT_EQ(model.line(1), "two   VIRHE: x");
    EXPECT_TRUE(model.isFailed(1));
    EXPECT_FALSE(model.isFailed(0));
    EXPECT_EQ(model.data(model.index(0), Qt::DisplayRole).toString(), "one");
    EXPECT_EQ(model.data(model.index(0), Qt::SizeHintRole).toSize().height(), 13);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.failedCount(), 0);
}

}  // namespace
