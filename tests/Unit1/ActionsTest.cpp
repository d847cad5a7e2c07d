#include "RecordingDialogs.h"
#include "Unit1/StatGrid.h"
#include "Unit1/TForm1.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "settings/ConfigFile.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <sys/stat.h>
#include <unistd.h>

using velmar::test::TempDir;

namespace {

// The demo start directory in a temporary copy, opened by the window.
class Actions : public ::testing::Test {
protected:
    void SetUp() override { velmar::test::copyDemo(dir); }

    TForm1& open()
    {
        form = std::make_unique<TForm1>(dialogs);
        EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(QStringLiteral("; ")).toStdString();
        return *form;
    }

    // Shows the window and waits until it has the focus, so that focus changes reach it.
    void activate()
    {
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->PageC->setCurrentIndex(TForm1::kSettingsPage);
    }

    std::string configBytes() const { return velmar::test::readFile(dir.file("config")); }

    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    RecordingDialogs dialogs;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(Actions, RefusedOffsetIsPutBackAndKeepsTheFocus)
{
    TForm1& f = open();
    activate();
    f.Offset->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(f.Offset->hasFocus());
    f.Offset->setText(QStringLiteral("abc"));
    f.tarif->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].toStdString(), f.LabelList()[13]);
    EXPECT_EQ(f.Offset->text(), QStringLiteral("0")); // the saved offset
    EXPECT_TRUE(f.Offset->hasFocus());
}

TEST_F(Actions, NumberChecksRunWhenLeavingForTheSaveButtonButNotForToolButtons)
{
    TForm1& f = open();
    activate();
    // A tool button never takes the focus: leaving is not even attempted.
    f.tarif->setFocus();
    QApplication::processEvents();
    f.tarif->setText(QStringLiteral("4,79")); // a comma where the locale wants a point
    QTest::mouseClick(f.DefB, Qt::LeftButton);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(f.tarif->hasFocus());
    // The save button does take it, so the check runs first and puts the saved tariff back.
    f.tarif->setText(QStringLiteral("4,79"));
    f.SaveB->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    ASSERT_GE(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].toStdString(), f.LabelList()[13]);
    EXPECT_EQ(f.tarif->text(), QStringLiteral("4.79"));
}

TEST_F(Actions, ValidNumberChangesNothingUntilSaved)
{
    TForm1& f = open();
    activate();
    f.tarif->setFocus();
    QApplication::processEvents();
    f.tarif->setText(QStringLiteral("2.5"));
    f.Offset->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_DOUBLE_EQ(f.ConfRec().TarifPerMin, 4.79);
}

TEST_F(Actions, DefaultsThenSaveStoreTheDefaultTemplates)
{
    TForm1& f = open();
    f.DefB->click();
    EXPECT_EQ(f.FileN->text(), QStringLiteral("C:\\Mail\\LOG\\NEW_LINE.LOG"));
    f.SaveB->click();
    // The default log does not exist here: its message, the settings page, the statistics hidden.
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].toStdString(), f.LabelList()[10]);
    EXPECT_FALSE(f.PageC->isTabVisible(0));
    EXPECT_EQ(f.PageC->currentIndex(), TForm1::kSettingsPage);

    velmar::TConfRec saved;
    velmar::readConfRec(dir.file("config"), saved);
    EXPECT_EQ(saved.ExpFormat(), "%1 %2 %3 %4 %5 %6 %7");
    EXPECT_EQ(saved.Exp2Format(), "%4 %5 %6 %7 %8");
    EXPECT_EQ(saved.LogFile(), "C:\\Mail\\LOG\\NEW_LINE.LOG");
    EXPECT_DOUBLE_EQ(saved.TarifPerMin, 4.79);
    EXPECT_EQ(saved.LangName(), "english");
}

TEST_F(Actions, SaveWithATextThatDoesNotConvertKeepsTheOldConfig)
{
    TForm1& f = open();
    const std::string before = configBytes();
    f.tarif->setText(QStringLiteral("4,79")); // does not convert under a point locale
    f.SaveB->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("'4,79' is not a valid floating point value"));
    EXPECT_EQ(configBytes(), before);
}

TEST_F(Actions, SaveRebuildsWithTheNewTariffAndLanguage)
{
    TForm1& f = open();
    f.PageV(false);
    f.tarif->setText(QStringLiteral("2"));
    f.LangBox->setCurrentIndex(f.LangBox->findText(QStringLiteral("russian")));
    f.SaveB->click();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(f.PageC->isTabVisible(0));
    EXPECT_EQ(f.PageC->tabText(1), QStringLiteral("Сводка"));
    // Every session is now charged 2 per minute.
    const velmar::Table& str = f.StrData();
    for (int r = 1; r < str.rowCount(); r += 37)
        EXPECT_EQ(std::stol(std::string(str.cell(6, r))), 2 * std::stol(std::string(str.cell(4, r)))) << r;
    EXPECT_EQ(velmar::currentDirectory(), dir.path());
}

TEST_F(Actions, OpenLogPutsTheChosenPathInTheEditWithoutSaving)
{
    TForm1& f = open();
    const std::string before = configBytes();
    dialogs.answers.push_back(std::nullopt); // cancelled
    f.OpenLog->click();
    EXPECT_EQ(f.FileN->text(), QStringLiteral("new_line.log"));
    EXPECT_EQ(dialogs.lastTitle, QStringLiteral("Открыть Log-File"));
    dialogs.answers.push_back(QStringLiteral("/var/log/fido/new_line.log"));
    f.OpenLog->click();
    EXPECT_EQ(f.FileN->text(), QStringLiteral("/var/log/fido/new_line.log"));
    EXPECT_EQ(configBytes(), before);
}

TEST_F(Actions, PickingADayTrimsTheListOfLastDaysAndApplyRebuilds)
{
    TForm1& f = open();
    const int days = f.Dat1->count();
    ASSERT_GT(days, 3);
    f.Dat1->setCurrentIndex(2);
    f.Dat1Select(2);
    EXPECT_EQ(f.Dat2->count(), days - 2);
    EXPECT_EQ(f.Dat2->itemText(0), f.Dat1->itemText(2));
    f.Dat1->setCurrentIndex(0);
    f.Dat1Select(0);
    EXPECT_EQ(f.Dat2->count(), days);

    // The same day in both boxes: only that day's sessions are left.
    const QString day = f.Dat1->itemText(2);
    f.Dat1->setEditText(day);
    f.Dat2->setEditText(day);
    f.ApplyB->click();
    const velmar::Table& str = f.StrData();
    ASSERT_GT(str.rowCount(), 1);
    for (int r = 1; r < str.rowCount(); ++r)
        EXPECT_EQ(QString::fromStdString(std::string(str.cell(0, r))), day);
    EXPECT_EQ(f.Dat1->count(), days); // the list of days never shrinks

    // The last day before the first: both texts are emptied, the tables stay.
    const int rows = str.rowCount();
    f.Dat1->setEditText(f.Dat1->itemText(3));
    f.Dat2->setEditText(f.Dat1->itemText(1));
    f.ApplyB->click();
    EXPECT_EQ(f.Dat1->currentText(), QString());
    EXPECT_EQ(f.Dat2->currentText(), QString());
    EXPECT_EQ(f.StrData().rowCount(), rows);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Actions, ApplyWithABadDateShowsItsMessage)
{
    TForm1& f = open();
    f.Dat1->setEditText(QStringLiteral("5-Sep-2003"));
    f.Dat2->setEditText(QStringLiteral("6-Sen-2003"));
    QTest::mouseClick(f.ApplyB, Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("'5-Sep-2003' is not a valid date"));
}

TEST_F(Actions, ExportButtonsWriteTheChosenFile)
{
    TForm1& f = open();
    const std::string detailed = dir.file("detailed.txt");
    dialogs.answers.push_back(QString::fromStdString(detailed));
    f.FullStat->click();
    EXPECT_EQ(dialogs.lastTitle, QStringLiteral("Экспортировать"));
    EXPECT_EQ(dialogs.lastSuffix, QStringLiteral("txt"));
    const std::string text = velmar::test::readFile(detailed);
    // One line per row, the header first, then the closing empty line; CR LF throughout.
    const size_t lines = velmar::test::crlfLineCount(text);
    EXPECT_EQ(lines, static_cast<size_t>(f.StrData().rowCount()) + 1);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");

    // The dialog offers the last name again; cancelling writes nothing.
    velmar::test::writeFile(detailed, "kept");
    f.AllStat->click();
    EXPECT_EQ(dialogs.lastSuggested, QString::fromStdString(detailed));
    EXPECT_EQ(velmar::test::readFile(detailed), "kept");
}

TEST_F(Actions, AllStatWithARangeWritesBothBlocksEachWithItsHeading)
{
    TForm1& f = open();
    const QString first = f.Dat1->itemText(0), last = f.Dat1->itemText(1);
    f.Dat1->setEditText(first);
    f.Dat2->setEditText(last);
    f.ApplyB->click();
    const std::string file = dir.file("all.txt");
    dialogs.answers.push_back(QString::fromStdString(file));
    f.AllStat->click();
    const std::string text = velmar::test::readFile(file);
    const std::string heading = f.LabelList()[1] + " " + first.toStdString() + " - " + last.toStdString() + "\r\n\r\n";
    EXPECT_EQ(text.compare(0, heading.size(), heading), 0);
    const size_t second = text.find(heading, heading.size());
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(text.compare(second - 2, 2, "\r\n"), 0);
}

TEST_F(Actions, BadDetailedTemplateStillLetsTheSummaryFollow)
{
    TForm1& f = open();
    f.Exp->setText(QStringLiteral("%1 %"));
    const std::string file = dir.file("all.txt");
    dialogs.answers.push_back(QString::fromStdString(file));
    f.AllStat->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].toStdString(), f.LabelList()[14]);
    const std::string text = velmar::test::readFile(file);
    const size_t summaryLines = static_cast<size_t>(f.StrFullData().rowCount()) + 1;
    const size_t lines = velmar::test::crlfLineCount(text);
    EXPECT_EQ(lines, summaryLines);
}

TEST_F(Actions, ExportToAFullDiskShowsItsMessageAndGoesOn)
{
    TForm1& f = open();
    dialogs.answers.push_back(QStringLiteral("/dev/full"));
    f.FullStat->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("Disk full"));
    // The next export works as ever.
    dialogs.answers.push_back(QString::fromStdString(dir.file("ok.txt")));
    f.FullStat2->click();
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(velmar::fileExists(dir.file("ok.txt")));
}

TEST_F(Actions, ExportIntoAMissingFolderShowsTheErrorAndWritesNothing)
{
    TForm1& f = open();
    dialogs.answers.push_back(QString::fromStdString(dir.file("no/such/folder.txt")));
    f.FullStat->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("File not found"));
}

TEST_F(Actions, AnExportButtonNeverWritesOverAFileTheProgramReads)
{
    TForm1& f = open();
    const char* const inputs[] = { "config", "new_line.log", "english.lng", "russian.lng", "readme-english.txt" };
    for (const char* name : inputs) {
        SCOPED_TRACE(name);
        const std::string before = velmar::test::readFile(dir.file(name));
        dialogs.answers.push_back(QString::fromStdString(dir.file(name)));
        dialogs.messages.clear();
        f.AllStat->click();
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0], QStringLiteral("File access denied"));
        EXPECT_EQ(velmar::test::readFile(dir.file(name)), before);
    }
}

TEST_F(Actions, SaveThroughALinkedConfigPastAFifoAtItsTemporaryName)
{
    // "config" is a link into a folder of its own, and a FIFO stands at the temporary name of the save.
    ASSERT_EQ(::mkdir(dir.file("settings").c_str(), 0755), 0);
    ASSERT_EQ(::rename(dir.file("config").c_str(), dir.file("settings/config").c_str()), 0);
    ASSERT_EQ(::symlink("settings/config", dir.file("config").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("settings/config.tmp").c_str(), 0644), 0);
    TForm1& f = open();
    f.Exp->setText(QStringLiteral("%1 %4"));
    f.SaveB->click();
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(QStringLiteral("; ")).toStdString();
    struct stat st { };
    ASSERT_EQ(::lstat(dir.file("config").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    velmar::TConfRec saved;
    velmar::readConfRec(dir.file("settings/config"), saved);
    EXPECT_EQ(saved.ExpFormat(), "%1 %4");
    EXPECT_FALSE(velmar::fileExists(dir.file("settings/config.tmp")));
}
