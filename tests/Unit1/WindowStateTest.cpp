// What the window keeps between runs, the design font, Qt's own translations, the day boxes and the widths
// of the columns.
#include "RecordingDialogs.h"
#include "Unit1/ColumnFitter.h"
#include "Unit1/DesktopSetup.h"
#include "Unit1/StatGrid.h"
#include "Unit1/TForm1.h"
#include "Unit1/WindowStateKeeper.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLocale>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTranslator>
#include <filesystem>

using velmar::test::TempDir;

namespace {

class WindowState : public ::testing::Test {
protected:
    void SetUp() override { velmar::test::copyDemo(dir); }

    // The kept state of one user, in a file of the temporary directory.
    QSettings store() const { return QSettings(QString::fromStdString(dir.file("window.ini")), QSettings::IniFormat); }

    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    RecordingDialogs dialogs;
};

} // namespace

TEST_F(WindowState, TheFirstStartHasTheDesignedGeometryAndWidths)
{
    TForm1 form(dialogs);
    QSettings kept = store();
    WindowStateKeeper keeper(form, *form.PageC, { form.Str, form.StrFull }, kept);
    keeper.restore();
    EXPECT_EQ(form.geometry(), QRect(223, 155, 429, 263));
    EXPECT_EQ(form.PageC->currentIndex(), TForm1::kDetailedPage);
}

TEST_F(WindowState, SizePageAndColumnWidthsComeBackAtTheNextStart)
{
    {
        TForm1 form(dialogs);
        form.setGeometry(100, 120, 640, 480);
        form.PageC->setCurrentIndex(TForm1::kSummaryPage);
        form.Str->setColumnWidth(3, 150);
        form.StrFull->setColumnWidth(0, 123);
        QSettings kept = store();
        WindowStateKeeper(form, *form.PageC, { form.Str, form.StrFull }, kept).save();
    }
    // "config" is the settings record of old, never touched by the window's state.
    const std::string config = velmar::test::readFile(dir.file("config"));
    TForm1 form(dialogs);
    QSettings kept = store();
    WindowStateKeeper(form, *form.PageC, { form.Str, form.StrFull }, kept).restore();
    EXPECT_EQ(form.size(), QSize(640, 480));
    EXPECT_EQ(form.PageC->currentIndex(), TForm1::kSummaryPage);
    EXPECT_EQ(form.Str->columnWidth(3), 150);
    EXPECT_EQ(form.StrFull->columnWidth(0), 123);
    EXPECT_EQ(velmar::test::readFile(dir.file("config")), config);
    EXPECT_EQ(config.size(), 816u);
}

TEST_F(WindowState, DamagedOrForeignStateIsPassedOver)
{
    struct Case {
        const char* name;
        QString page;
        QStringList widths; // of the detailed table
        int expectedPage;
        int expectedWidth3;
    };
    const Case cases[] = {
        // A page beyond the five and widths of another number of columns: nothing taken.
        { "out of range", QStringLiteral("9"), { QStringLiteral("10"), QStringLiteral("20") }, TForm1::kDetailedPage,
            -1 },
        // Not numbers, zero and absurd widths: the designed width stays for those columns.
        { "garbage", QStringLiteral("x"),
            { QStringLiteral("a"), QStringLiteral("0"), QStringLiteral("-5"), QStringLiteral("99999"),
                QStringLiteral("40"), QStringLiteral("40"), QStringLiteral("40") },
            TForm1::kDetailedPage, -1 },
        { "good", QStringLiteral("3"),
            { QStringLiteral("70"), QStringLiteral("60"), QStringLiteral("60"), QStringLiteral("111"),
                QStringLiteral("40"), QStringLiteral("70"), QStringLiteral("60") },
            TForm1::kExportPage, 111 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.file("window.ini"));
        {
            QSettings kept = store();
            kept.setValue(QStringLiteral("window/page"), c.page);
            kept.setValue(QStringLiteral("columns/Str"), c.widths);
        }
        RecordingDialogs shown;
        TForm1 form(shown);
        const int designed3 = form.Str->columnWidth(3);
        QSettings kept = store();
        WindowStateKeeper(form, *form.PageC, { form.Str, form.StrFull }, kept).restore();
        EXPECT_EQ(form.PageC->currentIndex(), c.expectedPage);
        EXPECT_EQ(form.Str->columnWidth(3), c.expectedWidth3 < 0 ? designed3 : c.expectedWidth3);
    }
}

TEST_F(WindowState, AStartThatFoundNoLogStaysOnTheSettingsPage)
{
    std::filesystem::remove(dir.file("new_line.log"));
    {
        QSettings kept = store();
        kept.setValue(QStringLiteral("window/page"), TForm1::kDetailedPage);
    }
    TForm1 form(dialogs);
    QSettings kept = store();
    WindowStateKeeper(form, *form.PageC, { form.Str, form.StrFull }, kept).restore();
    EXPECT_EQ(form.PageC->currentIndex(), TForm1::kSettingsPage);
}

TEST_F(WindowState, ColumnsAreAtLeastAsWideAsTheirLongestTextAndNeverBelowTheDesign)
{
    TForm1 form(dialogs);
    struct Grid {
        const char* name;
        StatGrid* grid;
        std::vector<int> designed;
    };
    const Grid grids[] = {
        { "detailed", form.Str, { 68, 53, 55, 66, 32, 60, 49 } },
        { "summary", form.StrFull, { 97, 80, 72, 64, 91 } },
    };
    for (const Grid& g : grids) {
        SCOPED_TRACE(g.name);
        const QFontMetrics metrics(g.grid->font());
        const QAbstractItemModel* model = g.grid->model();
        for (int column = 0; column < model->columnCount(); ++column) {
            SCOPED_TRACE(column);
            // Every text of the column, measured one by one here, fits its column.
            int widest = 0;
            for (int row = 0; row < model->rowCount(); ++row)
                widest = std::max(widest, metrics.horizontalAdvance(model->index(row, column).data().toString()));
            EXPECT_GE(g.grid->columnWidth(column), widest + 4);
            EXPECT_GE(g.grid->columnWidth(column), g.designed[static_cast<size_t>(column)]);
        }
    }
    EXPECT_EQ(form.Str->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
}

TEST_F(WindowState, AColumnWiderThanItNeedsIsLeftAsItIs)
{
    TForm1 form(dialogs);
    ColumnFitter fitter(*form.StrFull, form.StrFullData(), { 97, 80, 72, 64, 91 });
    form.StrFull->setColumnWidth(0, 400);
    fitter.widen();
    EXPECT_EQ(form.StrFull->columnWidth(0), 400);
    EXPECT_LT(fitter.neededWidth(0), 400);
}

TEST(DesignFont, LoadedFromItsDirectoryWhenFontconfigLacksIt)
{
    // fonts-wine is among the packages the build installs; its Tahoma lies outside fontconfig's paths.
    ASSERT_TRUE(std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf")) << "fonts-wine is not installed";
    EXPECT_TRUE(ensureDesignFont());
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Tahoma"));
    // A directory without it changes nothing; the font stays known.
    TempDir empty;
    EXPECT_TRUE(ensureDesignFont(QString::fromStdString(empty.path())));
}

TEST(QtTranslations, StandardTextsFollowTheLocale)
{
    struct Case {
        const char* locale;
        int loaded;
        QString cancel; // what Qt's standard Cancel button then says
    };
    // qt6-translations-l10n ships qtbase_ru.qm; "C" has no translation and keeps Qt's English.
    const Case cases[] = {
        { "ru_RU", 1, QStringLiteral("Отмена") },
        { "C", 0, QStringLiteral("Cancel") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const QList<QTranslator*> before = QCoreApplication::instance()->findChildren<QTranslator*>();
        EXPECT_EQ(installQtTranslations(QLocale(QLatin1String(c.locale))), c.loaded);
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), c.cancel);
        for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            if (!before.contains(translator)) {
                QCoreApplication::removeTranslator(translator);
                delete translator;
            }
        }
    }
}

TEST_F(WindowState, DayBoxesCompleteFromTheLogsDaysAndShowTwentyRows)
{
    TForm1 form(dialogs);
    for (QComboBox* box : { form.Dat1, form.Dat2 }) {
        SCOPED_TRACE(box->objectName().toStdString());
        EXPECT_EQ(box->maxVisibleItems(), 20);
        QCompleter* completer = box->completer();
        ASSERT_NE(completer, nullptr);
        EXPECT_EQ(completer->completionMode(), QCompleter::PopupCompletion);
        // Typed "1" is completed by every day of the log that begins so (the demo's days are 01- to 30-).
        int expected = 0;
        for (int i = 0; i < box->count(); ++i)
            expected += box->itemText(i).startsWith(QLatin1Char('1')) ? 1 : 0;
        ASSERT_GT(expected, 0);
        ASSERT_LT(expected, box->count());
        completer->setCompletionPrefix(QStringLiteral("1"));
        EXPECT_EQ(completer->completionCount(), expected);
        // The month word in other letter case: "01-SEN-2003" finds "01-Sen-2003".
        const QString day = box->itemText(0);
        completer->setCompletionPrefix(day.toUpper());
        EXPECT_GE(completer->completionCount(), 1);
        EXPECT_EQ(completer->currentCompletion(), day);
    }
}

TEST_F(WindowState, ADayChosenFromTheCompletionTrimsTheSecondList)
{
    TForm1 form(dialogs);
    const int all = form.Dat2->count();
    ASSERT_GT(all, 10);
    const QString third = form.Dat1->itemText(2);
    QCompleter* completer = form.Dat1->completer();
    completer->setCompletionPrefix(third);
    ASSERT_GE(completer->completionCount(), 1);
    // As when the user picks the day from the completion list: Dat1Select runs as for a pick from the list.
    emit completer->activated(completer->completionModel()->index(0, 0));
    EXPECT_EQ(form.Dat1->currentText(), third);
    EXPECT_EQ(form.Dat2->count(), all - 2);
    EXPECT_EQ(form.Dat2->itemText(0), third);
}
