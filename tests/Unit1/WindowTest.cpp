#include "RecordingDialogs.h"
#include "Unit1/Application.h"
#include "Unit1/StatGrid.h"
#include "Unit1/TForm1.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

using velmar::test::TempDir;

namespace {

// A window started in an empty temporary directory (no "config"), with a stand-in for the user.
class EmptyStart : public ::testing::Test {
protected:
    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    RecordingDialogs dialogs;
};

} // namespace

TEST_F(EmptyStart, WindowHasItsCaptionSizeAndPagesInOrder)
{
    TForm1 form(dialogs);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Velmar statistic v1.4"));
    EXPECT_EQ(form.size(), QSize(429, 263));
    EXPECT_EQ(form.pos(), QPoint(223, 155));
    ASSERT_EQ(form.PageC->count(), 6);
    const QStringList captions = { QStringLiteral("Подробная"), QStringLiteral("Общая"), QStringLiteral("Настройки"),
        QStringLiteral("Экспорт"), QStringLiteral("Инфо"), QStringLiteral("Charts") };
    const QStringList pages = { QStringLiteral("Tab1"), QStringLiteral("Tab2"), QStringLiteral("Tab3"),
        QStringLiteral("Tab4"), QStringLiteral("TabSheet1"), QStringLiteral("TabCharts") };
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(form.PageC->tabText(i), captions[i]);
        EXPECT_EQ(form.PageC->widget(i)->objectName(), pages[i]);
    }
}

TEST_F(EmptyStart, ControlsCarryTheirNamesAndBuiltInTexts)
{
    TForm1 form(dialogs);
    struct Edit {
        const char* name;
        QString text;
    } const edits[] = {
        { "Offset", QStringLiteral("0") },
        { "tarif", QStringLiteral("4.79") }, // the tests' locale writes a decimal point
        { "FileN", QStringLiteral("C:\\Mail\\LOG\\new_line.log") },
        { "Exp", QStringLiteral("%1 %2 %3 %4 %5 %6") },
        { "Exp2", QStringLiteral("%4 %5 %6 %7") },
    };
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.name);
        auto* widget = form.findChild<QLineEdit*>(QLatin1String(e.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->text(), e.text);
    }
    EXPECT_TRUE(form.findChild<QLineEdit*>(QStringLiteral("FileN"))->isReadOnly());
    EXPECT_EQ(form.findChild<QPushButton*>(QStringLiteral("SaveB"))->text(), QStringLiteral("Сохранить"));
    EXPECT_EQ(form.findChild<QToolButton*>(QStringLiteral("DefB"))->text(), QStringLiteral("По дефолту"));
    EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("Lang"))->title(), QStringLiteral(" Language (Язык) "));
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("Label1"))->toolTip(),
        QStringLiteral("(в сек) время набора нормера и т.д."));
    EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("PrefBox"))->geometry(), QRect(6, 2, 343, 63));
    EXPECT_EQ(form.Offset->geometry(), QRect(6, 32, 61, 21));

    // Tool buttons never take the focus; the save button does.
    for (const char* name : { "DefB", "OpenLog", "ApplyB", "FullStat", "FullStat2", "AllStat" }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(form.findChild<QToolButton*>(QLatin1String(name))->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_NE(form.SaveB->focusPolicy() & Qt::ClickFocus, 0);
}

TEST_F(EmptyStart, TablesHaveTheirColumnsAndLook)
{
    TForm1 form(dialogs);
    auto* str = form.findChild<StatGrid*>(QStringLiteral("Str"));
    auto* strFull = form.findChild<StatGrid*>(QStringLiteral("StrFull"));
    ASSERT_NE(str, nullptr);
    ASSERT_NE(strFull, nullptr);
    const int strWidths[] = { 68, 53, 55, 66, 32, 60, 49 };
    ASSERT_EQ(str->model()->columnCount(), 7);
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(str->columnWidth(c), strWidths[c]) << c;
    const int fullWidths[] = { 97, 80, 72, 64, 91 };
    ASSERT_EQ(strFull->model()->columnCount(), 5);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(strFull->columnWidth(c), fullWidths[c]) << c;
    EXPECT_EQ(str->model()->rowCount(), 1); // the one empty data row under the header
    EXPECT_EQ(str->verticalHeader()->defaultSectionSize(), 16);
    EXPECT_EQ(str->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(str->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(str->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_TRUE(str->horizontalHeader()->styleSheet().contains(QStringLiteral("rgb(221, 245, 255)")));
}

TEST_F(EmptyStart, StartUpWithoutConfigShowsTheSettingsPageAndHidesTheStatistics)
{
    TForm1 form(dialogs);
    // No language applied and no "russian" file here: the message is our built-in text of entry 12.
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains(QStringLiteral("config")));
    EXPECT_EQ(form.PageC->currentIndex(), TForm1::kSettingsPage);
    EXPECT_FALSE(form.PageC->isTabVisible(0));
    EXPECT_FALSE(form.PageC->isTabVisible(1));
    EXPECT_TRUE(form.PageC->isTabVisible(2));
    EXPECT_FALSE(form.PageC->isTabVisible(TForm1::kChartsPage));
    EXPECT_TRUE(form.LabelList().empty());
    EXPECT_EQ(form.LangBox->count(), 0);
    EXPECT_EQ(form.StartDir(), dir.path());
    EXPECT_FALSE(form.LogText().bound());
}

TEST_F(EmptyStart, MessageWithoutConfigComesFromTheRussianFileWhenThereIsOne)
{
    dir.write("russian.lng", velmar::test::cp1251("[Labels]\r\n12=Нет файла настроек\r\n"));
    TForm1 form(dialogs);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("Нет файла настроек"));
    // Borrowing the text applies no language.
    EXPECT_TRUE(form.LabelList().empty());
    EXPECT_EQ(form.PageC->tabText(0), QStringLiteral("Подробная"));
}

TEST_F(EmptyStart, PageVHidesAndShowsTheStatisticsTabsInPlace)
{
    TForm1 form(dialogs);
    form.PageV(true);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(form.PageC->isTabVisible(i)) << i;
    EXPECT_EQ(form.PageC->currentIndex(), TForm1::kSettingsPage); // the active page is not changed
    form.PageV(false);
    EXPECT_FALSE(form.PageC->isTabVisible(0));
    EXPECT_FALSE(form.PageC->isTabVisible(1));
    EXPECT_TRUE(form.PageC->isTabVisible(3));
    EXPECT_TRUE(form.PageC->isTabVisible(4));
    EXPECT_FALSE(form.PageC->isTabVisible(TForm1::kChartsPage)); // the charts show the statistics too
    form.PageV(true);
    EXPECT_EQ(form.PageC->widget(0), form.Tab1);
    EXPECT_EQ(form.PageC->widget(1), form.Tab2);
    EXPECT_EQ(form.PageC->widget(TForm1::kChartsPage), form.TabCharts);
}

TEST_F(EmptyStart, ReleasingTheMouseGivesTheLastSummaryColumnTheRest)
{
    TForm1 form(dialogs);
    form.PageV(true);
    form.PageC->setCurrentIndex(TForm1::kSummaryPage);
    form.show();
    form.resize(600, 300);
    const int width = form.StrFull->viewport()->width();
    ASSERT_GT(width, 400);
    form.StrFullMouseUp();
    // The viewport's width (without frame and vertical scroll bar) less the first four columns
    // (97 + 80 + 72 + 64): the last column ends at the visible edge.
    EXPECT_EQ(form.StrFull->columnWidth(4), width - 313);
    form.StrFull->setColumnWidth(0, 77); // narrowed by 20
    emit form.StrFull->mouseReleased();
    EXPECT_EQ(form.StrFull->columnWidth(4), width - 293);
}

TEST(Application, NamesItselfForTheDesktop)
{
    setUpApplication();
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("velmar-stat"));
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    // Sharp on high-DPI screens: the icon comes at large sizes too, not only scaled up.
    EXPECT_GE(icon.actualSize(QSize(256, 256)).width(), 256);
    EXPECT_FALSE(icon.pixmap(16, 16).isNull());

    // A desktop appends an application display name of its own to every caption; the program sets none,
    // so the caption stays "Velmar statistic v1.4".
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
}
