#include "Unit1/ChartsPage.h"

#include "RecordingDialogs.h"
#include "Unit1/TForm1.h"
#include "Unit1/Texts.h"
#include "platform/Locale.h"
#include "support/TestSupport.h"

#include <QAbstractBarSeries>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QTabWidget>

using velmar::test::TempDir;

namespace {

class Charts : public ::testing::Test {
protected:
    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    velmar::ScopedLocale locale { { '.', ':' } };
    RecordingDialogs dialogs;
};

QStringList categoriesOf(QChart* chart)
{
    for (QAbstractAxis* axis : chart->axes())
        if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis))
            return categories->categories();
    return {};
}

QList<qreal> valuesOf(QChart* chart)
{
    QList<qreal> values;
    const auto* series = qobject_cast<QAbstractBarSeries*>(chart->series().value(0));
    if (series && !series->barSets().isEmpty())
        for (int i = 0; i < series->barSets()[0]->count(); ++i)
            values.append(series->barSets()[0]->at(i));
    return values;
}

// The demo's log: September to November 2003, sessions of 2:5020/1234, 2:5030/56.7 and others.
TEST_F(Charts, DemoPageShowsMonthsAddressesAndHoursOnceItIsOpened)
{
    velmar::test::copyDemo(dir);
    TForm1 form(dialogs);
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(QStringLiteral("; ")).toStdString();
    EXPECT_EQ(form.PageC->tabText(TForm1::kChartsPage), QStringLiteral("Charts")); // the demo is in English

    // Nothing is worked out while the page is not in sight.
    EXPECT_TRUE(valuesOf(form.Charts->charts()[0]).isEmpty());

    form.PageC->setCurrentIndex(TForm1::kChartsPage);
    const QList<QChart*> charts = form.Charts->charts();
    ASSERT_EQ(charts.size(), 4);
    EXPECT_EQ(charts[0]->title(), QStringLiteral("Money by month"));
    EXPECT_EQ(categoriesOf(charts[0]),
        QStringList({ QStringLiteral("Sen 2003"), QStringLiteral("Okt 2003"), QStringLiteral("Nob 2003") }));
    EXPECT_EQ(categoriesOf(charts[1]), categoriesOf(charts[0]));

    // The minutes of the months add up to the total row of the summary.
    const velmar::Table& summary = form.StrFullData();
    const int total = summary.rowCount() - 1;
    qreal minutes = 0;
    for (qreal m : valuesOf(charts[1]))
        minutes += m;
    EXPECT_EQ(QString::number(minutes), QString::fromLatin1(summary.cell(1, total)));

    // Most money on top: the last category of the horizontal chart is the summary's most expensive address.
    const QStringList addresses = categoriesOf(charts[2]);
    ASSERT_FALSE(addresses.isEmpty());
    QString richest;
    double most = -1;
    for (int r = 1; r < total - 1; ++r) {
        const double money = std::stod(std::string(summary.cell(3, r)));
        if (money > most) {
            most = money;
            richest = QString::fromLatin1(summary.cell(0, r));
        }
    }
    EXPECT_EQ(addresses.back(), richest);

    // A screen reader gets the figures in the description of each chart: the months with their money in the
    // order of the bars, the addresses most money first.
    const QList<QChartView*> views = form.Charts->findChildren<QChartView*>();
    ASSERT_EQ(views.size(), 4);
    const QList<qreal> money = valuesOf(charts[0]);
    EXPECT_EQ(views[0]->accessibleName(), QStringLiteral("Money by month"));
    EXPECT_EQ(views[0]->accessibleDescription(),
        QStringLiteral("Sen 2003: %1; Okt 2003: %2; Nob 2003: %3")
            .arg(money[0], 0, 'f', 2)
            .arg(money[1], 0, 'f', 2)
            .arg(money[2], 0, 'f', 2));
    EXPECT_TRUE(views[2]->accessibleDescription().startsWith(richest + QStringLiteral(": ")))
        << views[2]->accessibleDescription().toStdString();

    EXPECT_EQ(categoriesOf(charts[3]).size(), 24);
    qreal sessions = 0;
    for (qreal s : valuesOf(charts[3]))
        sessions += s;
    EXPECT_EQ(QString::number(sessions), QString::fromLatin1(summary.cell(4, total)));
}

TEST_F(Charts, CaptionsComeFromTheLanguageFileWithDefaultsForOlderFiles)
{
    struct Case {
        const char* name;
        std::string file; // the language file's text (Windows-1251)
        QString page, otherAddresses, moneyTitle;
    } const cases[] = {
        // A file of an older version: no key 5 of "Pages" and no "Charts" section.
        { "older file gets the defaults", "[Pages]\r\n0=D\r\n", QStringLiteral("Charts"), QStringLiteral("All others"),
            QStringLiteral("Money by month") },
        { "own texts", velmar::test::cp1251("[Pages]\r\n5=Графики\r\n[Charts]\r\n0=Деньги\r\n3=Прочие\r\n"),
            QStringLiteral("Графики"), QStringLiteral("Прочие"), QStringLiteral("Деньги") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("lang.lng", c.file + "[Readme]\r\n0=readme.txt\r\n");
        dir.write("readme.txt", "readme");
        RecordingDialogs quiet;
        TForm1 form(quiet);
        form.REadIni(QStringLiteral("lang"));
        EXPECT_EQ(form.PageC->tabText(TForm1::kChartsPage), c.page);
        EXPECT_EQ(fromCodePage(form.Charts->texts().otherAddresses), c.otherAddresses);
        EXPECT_EQ(form.Charts->charts()[0]->title(), c.moneyTitle);
    }
}

TEST_F(Charts, ContextMenuSavesThePageAsPngOrSvgThroughTheFileDialog)
{
    velmar::test::copyDemo(dir);
    TForm1 form(dialogs);
    form.PageC->setCurrentIndex(TForm1::kChartsPage);
    form.resize(600, 500);

    dialogs.answers
        = { QString::fromStdString(dir.file("charts.png")), QString::fromStdString(dir.file("charts.svg")) };
    emit form.Charts->saveRequested(ChartsPage::Format::Png);
    EXPECT_EQ(dialogs.lastSuffix, QStringLiteral("png"));
    emit form.Charts->saveRequested(ChartsPage::Format::Svg);
    EXPECT_EQ(dialogs.lastSuffix, QStringLiteral("svg"));
    EXPECT_EQ(dialogs.lastSuggested, QString::fromStdString(dir.file("charts.png"))); // the name chosen last time
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(QStringLiteral("; ")).toStdString();

    const QImage png(QString::fromStdString(dir.file("charts.png")));
    EXPECT_FALSE(png.isNull());
    EXPECT_GT(png.height(), 4 * 200); // all four charts, not only what the page shows
    const std::string svg = velmar::test::readFile(dir.file("charts.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("Sen 2003"), std::string::npos);

    // A cancelled dialog writes nothing; a folder that does not exist gives a message and no file.
    emit form.Charts->saveRequested(ChartsPage::Format::Png);
    dialogs.answers = { QString::fromStdString(dir.file("missing/charts.png")) };
    emit form.Charts->saveRequested(ChartsPage::Format::Png);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith(QStringLiteral("Cannot create file ")))
        << dialogs.messages[0].toStdString();
}

TEST_F(Charts, RebuildWhileThePageIsOpenRedrawsAndAnEmptyTableSaysSo)
{
    velmar::test::copyDemo(dir);
    TForm1 form(dialogs);
    form.PageC->setCurrentIndex(TForm1::kChartsPage);
    ASSERT_EQ(categoriesOf(form.Charts->charts()[0]).size(), 3);
    auto* empty = form.Charts->findChild<QLabel*>(QStringLiteral("ChartsEmpty"));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->isHidden());

    // One day of the demo: the bars show that month alone.
    form.Dat1->setEditText(QStringLiteral("01-Okt-2003"));
    form.Dat2->setEditText(QStringLiteral("01-Okt-2003"));
    form.ApplyBClick();
    EXPECT_EQ(categoriesOf(form.Charts->charts()[0]), QStringList({ QStringLiteral("Okt 2003") }));

    // A day without sessions: no bars, the text of the language says why.
    form.Dat1->setEditText(QStringLiteral("1-Jan-2001"));
    form.Dat2->setEditText(QStringLiteral("2-Jan-2001"));
    form.ApplyBClick();
    EXPECT_FALSE(empty->isHidden());
    EXPECT_EQ(empty->text(), QStringLiteral("No sessions to show."));
}

} // namespace
