#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QDateEdit>
#include <QDialog>

#include <algorithm>

#include "WindowFixture.h"

using namespace sarvoli;
using namespace sarvoli::testing;
using ::testing::ElementsAre;

namespace {

class FoldersWindowTest : public TZumerFormTest {
protected:
    FoldersWindowTest()
    {
        writeFile(tmp / "d/src/a.bin", std::string(1500, 'x'));
        setFolders("D:\\src\\", "E:\\backup");
        clickCopy();  // a log, a summary and a filled last-copy row
    }

    void trigger(const char* action) { window.findChild<QAction*>(action)->trigger(); }
    bool rowIsEmpty()
    {
        return !child<QDateEdit>("DTPicker1")->isEnabled() && child<QLabel>("lbTime")->isHidden()
               && child<QLabel>("lbWeekday")->isHidden() && child<QDateEdit>("DTPicker1")->date() == QDate(1899, 12, 30);
    }
};

TEST_F(FoldersWindowTest, thePickerPutsTheChosenFolderIntoItsBox)
{
    ASSERT_FALSE(rowIsEmpty());
    openFile.answer = tmp / "d/Kuvat/loma.jpg";
    QTest::mouseClick(child<QPushButton>("btPath"), Qt::LeftButton);
    EXPECT_EQ(child<QComboBox>("FromBox")->currentText(), "D:\\Kuvat\\");
    EXPECT_EQ(window.lastFromDir(), "D:\\Kuvat\\");
    ASSERT_EQ(openFile.calls.size(), 1u);
    EXPECT_EQ(openFile.calls[0].title, "Valitse kansio");
    EXPECT_EQ(openFile.calls[0].filter, "Folder|*");
    EXPECT_EQ(openFile.calls[0].fileName, "*");
    std::string startFolder = tmp / "d/src/";
#ifdef _WIN32
    std::replace(startFolder.begin(), startFolder.end(), '/', '\\');
#endif
    EXPECT_EQ(openFile.calls[0].startFolder, startFolder) << "the remembered folder, as the system writes it";
    EXPECT_EQ(window.log().lineCount(), 0);
    EXPECT_TRUE(rowIsEmpty()) << "no change event brought the folder's last copy back";
    EXPECT_FALSE(child<QLabel>("lblNumberFound")->isHidden()) << "the summary stays";
    EXPECT_FALSE(child<QLabel>("Label7")->isHidden());
    EXPECT_EQ(platform.currentDirectory, "P:\\");
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(FoldersWindowTest, aCancelKeepsTheBoxAndForgetsTheRememberedFolder)
{
    openFile.answer.reset();
    platform.currentDirectoryFails = true;
    QTest::mouseClick(child<QPushButton>("btPath2"), Qt::LeftButton);
    EXPECT_EQ(child<QComboBox>("ToFolder")->currentText(), "E:\\backup");
    EXPECT_TRUE(window.lastToDir().isEmpty());
    EXPECT_TRUE(rowIsEmpty()) << "the destination's button empties the row too";
    EXPECT_EQ(window.log().lineCount(), 0);
    EXPECT_THAT(messages.messages, ElementsAre("Hakemistovirhe"));

    QTest::mouseClick(child<QPushButton>("btPath2"), Qt::LeftButton);
    EXPECT_EQ(openFile.calls.back().startFolder, "") << "no starting folder after a cancel";
}

TEST_F(FoldersWindowTest, aPressDuringARunLeavesTheRunItsLog)
{
    for (int i = 0; i < 5; ++i)
        writeFile(tmp / ("d/src/f" + std::to_string(i) + ".bin"), std::string(1500, 'y'));
    openFile.answer = tmp / "d/Kuvat/";
    duringRun([this] { QTest::mouseClick(child<QPushButton>("btPath"), Qt::LeftButton); });
    clickCopy();
    EXPECT_TRUE(openFile.calls.empty());
    EXPECT_EQ(window.log().lineCount(), 5);
    EXPECT_EQ(child<QComboBox>("FromBox")->currentText(), "D:\\src\\");
}

TEST_F(FoldersWindowTest, samePathChangesTheDestinationAlone)
{
    setFolders("D:\\Projektit\\2008", "F:\\Vanha");
    trigger("SamePath1");
    EXPECT_EQ(child<QComboBox>("ToFolder")->currentText(), "F:\\Projektit\\2008");
    EXPECT_EQ(window.log().lineCount(), 1) << "nothing else changes";
    EXPECT_FALSE(rowIsEmpty());

    setFolders("", "F:\\Vanha");
    trigger("SamePath1");
    EXPECT_THAT(messages.messages, ElementsAre("Hakemistosta on tyhjä"));
    EXPECT_EQ(child<QComboBox>("ToFolder")->currentText(), "F:\\Vanha");
}

TEST_F(FoldersWindowTest, theAboutBoxIsOneBoxThatClosingHides)
{
    auto* box = window.findChild<QDialog*>("AboutBoxi");
    ASSERT_NE(box, nullptr) << "created at start-up";
    EXPECT_FALSE(box->isVisible());
    trigger("About1");
    trigger("About1");
    EXPECT_EQ(window.findChildren<QDialog*>("AboutBoxi").size(), 1);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    QTest::mouseClick(box->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    EXPECT_FALSE(box->isVisible());
    trigger("About1");
    box->close();  // the title bar's close box
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(window.findChild<QDialog*>("AboutBoxi"), box) << "hidden, not destroyed";
}

TEST_F(FoldersWindowTest, theAboutBoxLaysOutItsControlsAndHandsItsLinksToTheShell)
{
    auto* box = window.findChild<QDialog*>("AboutBoxi");
    EXPECT_EQ(box->windowTitle(), "Ohjelma");
    EXPECT_EQ(box->size(), QSize(297, 177));
    struct Row {
        const char* name;
        QRect geometry;  // width 0: the label sizes itself
        const char* text;
    };
    const Row rows[] = {
        {"Panel1", {0, 0, 297, 145}, nullptr},     {"ProgramIcon", {16, 8, 89, 81}, nullptr},
        {"ProductName", {137, 8, 0, 0}, "Sarvoli3"}, {"lbVersion", {167, 43, 0, 0}, "Versio 1b "},
        {"Label6", {176, 63, 0, 0}, "2008"},        {"lbEmail", {163, 112, 0, 0}, nullptr},
        {"lbUrl", {134, 124, 0, 0}, nullptr},        {"OKButton", {119, 152, 75, 25}, "OK"},
    };
    for (const Row& r : rows) {
        QWidget* w = box->findChild<QWidget*>(r.name);
        ASSERT_NE(w, nullptr) << r.name;
        EXPECT_EQ(w->mapTo(box, QPoint(0, 0)), r.geometry.topLeft()) << r.name;
        if (r.geometry.width() > 0) {
            EXPECT_EQ(w->size(), r.geometry.size()) << r.name;
        }
        if (r.text) {
            const QString text = qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text()
                                                          : qobject_cast<QPushButton*>(w)->text();
            EXPECT_EQ(text, r.text) << r.name;
        }
    }
    EXPECT_EQ(box->findChild<QLabel*>("ProductName")->font().pixelSize(), 32);
    EXPECT_TRUE(box->findChild<QPushButton*>("OKButton")->isDefault());

    auto* email = box->findChild<QLabel*>("lbEmail");
    auto* url = box->findChild<QLabel*>("lbUrl");
    EXPECT_EQ(email->cursor().shape(), Qt::PointingHandCursor);
    email->setText(" \t" + email->text() + " \n");
    url->setText("  " + url->text());
    QTest::mouseClick(email, Qt::LeftButton);
    QTest::mouseClick(url, Qt::LeftButton);
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0], "mailto:" + email->text().trimmed().toStdString());
    EXPECT_EQ(shell.opened[1], url->text().trimmed().toStdString());
    EXPECT_TRUE(shell.opened[1].starts_with("https://"));
}

}  // namespace
