// The window following the log while the mailer writes it: what is appended shows in both tables, the day
// lists and the charts as if the window had been started on the longer log; a rotated log is read anew.
#include "RecordingDialogs.h"
#include "Unit1/ChartsPage.h"
#include "Unit1/LogFollower.h"
#include "Unit1/SortedRowsModel.h"
#include "Unit1/StatGrid.h"
#include "Unit1/TForm1.h"
#include "platform/Files.h"
#include "statistics/Table.h"
#include "support/TestSupport.h"

#include <QAbstractBarSeries>
#include <QAbstractItemModelTester>
#include <QBarSet>
#include <QChart>
#include <QComboBox>
#include <QDialog>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using velmar::test::TempDir;

namespace {

// Two sessions of a day after the demo's last one: one of an address the demo knows, one of a new one.
const std::string kTwoSessions = "+ 01-Dec-2003 10:00:00 CONNECT 28800\r\n"
                                 "  01-Dec-2003 10:00:04 Address : 2:5020/1234\r\n"
                                 "  01-Dec-2003 10:00:10 Receiving 'a.pkt' (1,000b)\r\n"
                                 "+ 01-Dec-2003 10:02:00 Session completed successfully\r\n"
                                 "+ 01-Dec-2003 11:00:00 CONNECT 28800\r\n"
                                 "  01-Dec-2003 11:00:04 Address : 2:9999/1 Newcomer\r\n"
                                 "! 01-Dec-2003 11:07:30 Aborting due to carrier loss\r\n";

std::vector<std::string> rowsOf(const velmar::Table& table)
{
    std::vector<std::string> rows;
    for (int r = 0; r < table.rowCount(); ++r) {
        std::string row;
        for (int c = 0; c < table.colCount(); ++c)
            row += std::string(table.cell(c, r)) + "|";
        rows.push_back(row);
    }
    return rows;
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

QList<qreal> hourValues(ChartsPage* page)
{
    QList<qreal> values;
    const auto* series = qobject_cast<QAbstractBarSeries*>(page->charts().value(3)->series().value(0));
    if (series && !series->barSets().isEmpty())
        for (int i = 0; i < series->barSets()[0]->count(); ++i)
            values.append(series->barSets()[0]->at(i));
    return values;
}

class Following : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmar::test::copyDemo(dir);
        log = dir.file("new_line.log");
        form = std::make_unique<TForm1>(dialogs);
        ASSERT_TRUE(dialogs.messages.isEmpty());
        form->show();
        // The demo's settings name the log relative to the start directory.
        ASSERT_EQ(form->Follower().path(), QStringLiteral("new_line.log"));
    }

    void append(const std::string& bytes)
    {
        const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }

    // What a window started on the log as it stands now shows: the state following must reach. After a
    // rotation the list of days still holds those of the old log too, as after any rebuild (it never
    // shrinks while the window is open).
    void expectSameAsANewStart(bool rotated = false)
    {
        RecordingDialogs quiet;
        const TForm1 fresh(quiet);
        EXPECT_EQ(rowsOf(form->StrData()), rowsOf(fresh.StrData()));
        EXPECT_EQ(rowsOf(form->StrFullData()), rowsOf(fresh.StrFullData()));
        if (rotated) {
            for (const QString& day : itemsOf(fresh.Dat1))
                EXPECT_TRUE(itemsOf(form->Dat1).contains(day)) << day.toStdString();
        } else {
            EXPECT_EQ(itemsOf(form->Dat1), itemsOf(fresh.Dat1));
        }
        EXPECT_EQ(itemsOf(form->Dat2), itemsOf(form->Dat1));
        // The views show every row of the tables.
        EXPECT_EQ(form->Str->model()->rowCount(), form->StrData().rowCount() - 1);
        EXPECT_EQ(form->StrFull->model()->rowCount(), form->StrFullData().rowCount() - 1);
    }

    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    std::string log;
    RecordingDialogs dialogs;
    std::unique_ptr<TForm1> form;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;

    void TearDown() override { testers.clear(); }
};

} // namespace

TEST_F(Following, AppendedSessionsShowAsInAWindowStartedOnTheLongerLog)
{
    const int rows = form->StrData().rowCount();
    const int days = form->Dat1->count();
    // Cut inside the first session and inside a line: each piece is taken in as far as its lines are whole.
    const size_t cuts[]
        = { 60, kTwoSessions.find("Receiving") + 4, kTwoSessions.find("+ 01-Dec-2003 11"), kTwoSessions.size() };
    size_t written = 0;
    for (size_t cut : cuts) {
        append(kTwoSessions.substr(written, cut - written));
        written = cut;
        form->followLog();
    }
    EXPECT_EQ(form->StrData().rowCount(), rows + 2);
    EXPECT_EQ(form->Dat1->count(), days + 1);
    EXPECT_EQ(form->Dat1->itemText(days), QStringLiteral("01-Dec-2003"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    expectSameAsANewStart();
}

TEST_F(Following, SortSelectionAndScrollStayAsTheUserLeftThem)
{
    form->PageC->setCurrentIndex(TForm1::kDetailedPage);
    // The detailed table sorted by money, most first; a row in the middle selected; scrolled to the end.
    form->StrOrder->sortBy(6, Qt::DescendingOrder);
    const int picked = 5;
    const QModelIndex chosen = form->Str->model()->index(picked, 0);
    form->Str->selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    form->Str->selectionModel()->setCurrentIndex(chosen, QItemSelectionModel::NoUpdate);
    const QString pickedRow = form->Str->model()->index(picked, 3).data().toString()
        + form->Str->model()->index(picked, 1).data().toString();
    form->Str->scrollToBottom();
    // The summary sorted by sessions, and its first address selected.
    form->StrFullOrder->sortBy(4, Qt::AscendingOrder);
    form->StrFull->selectionModel()->select(
        form->StrFull->model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QString pickedAddress = form->StrFull->model()->index(0, 0).data().toString();

    append(kTwoSessions);
    form->followLog();

    EXPECT_EQ(form->StrOrder->sortColumn(), 6);
    EXPECT_EQ(form->StrOrder->sortOrder(), Qt::DescendingOrder);
    // Still in order of money: each row's money at least that of the row below (a comma locale is not in use).
    QAbstractItemModel* shown = form->Str->model();
    for (int r = 1; r < shown->rowCount(); ++r)
        ASSERT_GE(shown->index(r - 1, 6).data().toString().toDouble(), shown->index(r, 6).data().toString().toDouble())
            << r;
    // The same session is selected, wherever it stands now.
    const QModelIndexList selected = form->Str->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(
        shown->index(selected[0].row(), 3).data().toString() + shown->index(selected[0].row(), 1).data().toString(),
        pickedRow);
    EXPECT_EQ(form->Str->selectionModel()->currentIndex().row(), selected[0].row());
    const QScrollBar* bar = form->Str->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());

    const QModelIndexList summarySelected = form->StrFull->selectionModel()->selectedRows();
    ASSERT_EQ(summarySelected.size(), 1);
    EXPECT_EQ(summarySelected[0].data().toString(), pickedAddress);
    // The empty and the total row stay last.
    const int summaryRows = form->StrFull->model()->rowCount();
    EXPECT_EQ(form->StrFull->model()->index(summaryRows - 2, 0).data().toString(), QString());
    EXPECT_EQ(form->StrFull->model()->index(summaryRows - 1, 0).data().toString(),
        QString::fromStdString(form->labelText(0)));
    expectSameAsANewStart();
}

TEST_F(Following, AViewNotAtItsEndKeepsItsPlace)
{
    form->PageC->setCurrentIndex(TForm1::kDetailedPage);
    form->Str->scrollToTop();
    const int top = form->Str->verticalScrollBar()->value();
    append(kTwoSessions);
    form->followLog();
    EXPECT_EQ(form->Str->verticalScrollBar()->value(), top);
    EXPECT_LT(form->Str->verticalScrollBar()->value(), form->Str->verticalScrollBar()->maximum());
}

TEST_F(Following, ARotatedOrShortenedLogIsReadFromItsStart)
{
    const std::string demo = velmar::test::readFile(log);
    const std::string lastDays = demo.substr(demo.find("+ 30-Nob-2003"));
    struct Case {
        const char* name;
        std::function<void()> change;
    };
    const Case cases[] = {
        // The mailer renamed the log away and began a new one: only its sessions are left.
        { "renamed and begun anew",
            [&] {
                ASSERT_EQ(::rename(log.c_str(), (log + ".1").c_str()), 0);
                velmar::test::writeFile(log, lastDays);
            } },
        // Copied away and emptied in place, then written on.
        { "emptied in place",
            [&] {
                ASSERT_EQ(::truncate(log.c_str(), 0), 0);
                append(kTwoSessions);
            } },
        // A new log that outgrew the old one before it was looked at.
        { "replaced by a longer log",
            [&] {
                ASSERT_EQ(::rename(log.c_str(), (log + ".2").c_str()), 0);
                velmar::test::writeFile(log, demo + kTwoSessions + kTwoSessions);
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.change();
        form->followLog();
        EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(" / ").toStdString();
        expectSameAsANewStart(true);
    }
}

TEST_F(Following, WhileTheLogIsAwayNothingIsShownAndTheNewOneIsTakenWhenItComes)
{
    const std::vector<std::string> before = rowsOf(form->StrData());
    ASSERT_EQ(::rename(log.c_str(), (log + ".1").c_str()), 0);
    form->followLog();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(rowsOf(form->StrData()), before);
    velmar::test::writeFile(log, kTwoSessions);
    form->followLog();
    EXPECT_EQ(form->StrData().rowCount(), 3);
    expectSameAsANewStart(true);
}

TEST_F(Following, ALockedLogIsFollowedThroughItsCopy)
{
    const int holder = ::open(log.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const int rows = form->StrData().rowCount();
    append(kTwoSessions);
    form->followLog();
    EXPECT_EQ(form->StrData().rowCount(), rows + 2);
    EXPECT_TRUE(form->LogText().readsCopy());
    EXPECT_TRUE(velmar::fileExists(dir.file("~Log.tmp")));
    // No box for the copy while following: the user was told at start-up, if at all.
    EXPECT_TRUE(dialogs.messages.isEmpty());
    // Still locked: the same copy is brought up to date, not made anew.
    struct stat copy { };
    ASSERT_EQ(::stat(dir.file("~Log.tmp").c_str(), &copy), 0);
    append(kTwoSessions);
    form->followLog();
    EXPECT_EQ(form->StrData().rowCount(), rows + 4);
    struct stat extended { };
    ASSERT_EQ(::stat(dir.file("~Log.tmp").c_str(), &extended), 0);
    EXPECT_EQ(extended.st_ino, copy.st_ino);
    EXPECT_EQ(velmar::test::readFile(dir.file("~Log.tmp")), velmar::test::readFile(log));
    ::close(holder);

    // Free again: the log itself is read, and a rebuild reads it rather than the older copy.
    append(kTwoSessions);
    form->followLog();
    EXPECT_EQ(form->StrData().rowCount(), rows + 6);
    EXPECT_FALSE(form->LogText().readsCopy());
    form->ApplyB->click();
    EXPECT_EQ(form->StrData().rowCount(), rows + 6);
    form->close();
    EXPECT_FALSE(velmar::fileExists(dir.file("~Log.tmp")));
}

TEST_F(Following, AnErrorIsShownOnceNotEverySecond)
{
    // 31 February is no date: the line stops the read, and every later look meets it again.
    append("+ 31-Feb-2003 10:00:00 CONNECT 28800\r\n");
    form->followLog();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("'31-02-2003' is not a valid date"));
    for (int look = 0; look < 3; ++look) {
        append("  01-Dec-2003 10:00:04 Waiting\r\n");
        form->followLog();
    }
    EXPECT_EQ(dialogs.messages.size(), 1);

    // The mailer's next log is good: it is read, and a later error is shown again.
    ASSERT_EQ(::rename(log.c_str(), (log + ".1").c_str()), 0);
    velmar::test::writeFile(log, kTwoSessions);
    form->followLog();
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(form->StrData().rowCount(), 3);
    append("+ 31-Feb-2003 12:00:00 CONNECT 28800\r\n");
    form->followLog();
    EXPECT_EQ(dialogs.messages.size(), 2);
}

TEST_F(Following, NothingRunsWhileABoxWaitsForTheUser)
{
    const int rows = form->StrData().rowCount();
    QDialog box(form.get());
    box.setModal(true);
    box.show();
    ASSERT_NE(QApplication::activeModalWidget(), nullptr);
    append(kTwoSessions);
    form->followLog();
    EXPECT_EQ(form->StrData().rowCount(), rows);
    box.close();
    // The change was not taken as seen: the next look finds it.
    form->Follower().check();
    EXPECT_EQ(form->StrData().rowCount(), rows + 2);
}

TEST_F(Following, ADateRangeKeepsApplying)
{
    form->Dat1->setEditText(QStringLiteral("01-Dec-2003"));
    form->Dat2->setEditText(QStringLiteral("01-Dec-2003"));
    form->ApplyB->click();
    ASSERT_EQ(form->StrData().rowCount(), 2); // only the empty row: the demo has no December
    append("+ 30-Nob-2003 23:00:00 CONNECT 28800\r\n" // the day before: outside
           "+ 30-Nob-2003 23:01:00 Session completed successfully\r\n"
        + kTwoSessions);
    form->followLog();
    ASSERT_EQ(form->StrData().rowCount(), 3);
    EXPECT_EQ(std::string(form->StrData().cell(0, 1)), "01-Dec-2003");
    EXPECT_EQ(form->Str->model()->rowCount(), 2);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Following, TheChartsTakeInTheNewSessions)
{
    form->PageC->setCurrentIndex(TForm1::kChartsPage);
    const QList<qreal> before = hourValues(form->Charts);
    ASSERT_EQ(before.size(), 24);
    append(kTwoSessions);
    form->followLog();
    QList<qreal> after = hourValues(form->Charts);
    ASSERT_EQ(after.size(), 24);
    // One session began at 10 and one at 11 o'clock.
    EXPECT_EQ(after[10], before[10] + 1);
    EXPECT_EQ(after[11], before[11] + 1);
    after[10] -= 1;
    after[11] -= 1;
    EXPECT_EQ(after, before);
}

TEST_F(Following, TheWatcherBringsAnAppendedSessionWithoutBeingAsked)
{
    const int rows = form->StrData().rowCount();
    append(kTwoSessions);
    // The file system's event, or at the latest the poll of a second, starts the read.
    QTRY_COMPARE_WITH_TIMEOUT(form->StrData().rowCount(), rows + 2, 5000);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST(FollowingUnattended, AWindowNeverShownFollowsNothing)
{
    TempDir dir;
    velmar::test::copyDemo(dir);
    const velmar::test::ScopedCurrentDir inside(dir.path());
    RecordingDialogs dialogs;
    const TForm1 form(dialogs);
    EXPECT_TRUE(form.Follower().path().isEmpty());
}
