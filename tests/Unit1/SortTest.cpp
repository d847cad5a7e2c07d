// Clicking the headers of the statistics tables: the view's order changes, the core's tables do not.
#include "RecordingDialogs.h"
#include "Unit1/SortedRowsModel.h"
#include "Unit1/StatGrid.h"
#include "Unit1/StatTableModel.h"
#include "Unit1/TForm1.h"
#include "platform/Converters.h"
#include "statistics/LogDate.h"
#include "statistics/SizeText.h"
#include "statistics/Table.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

using velmar::test::TempDir;

namespace {

class Sorting : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmar::test::copyDemo(dir);
        form = std::make_unique<TForm1>(dialogs);
        ASSERT_TRUE(dialogs.messages.isEmpty());
    }

    // Clicks the header of a column as the user does, with the page in front.
    void clickHeader(StatGrid* grid, int page, int column)
    {
        form->show();
        form->PageC->setCurrentIndex(page);
        QHeaderView* header = grid->horizontalHeader();
        const QPoint at(
            header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    static QString shown(const StatGrid* grid, int row, int column)
    {
        return grid->model()->index(row, column).data().toString();
    }

    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    RecordingDialogs dialogs;
    std::unique_ptr<TForm1> form;
};

// The value of a cell as the column means it, read with the core's own converters.
double valueOf(const QString& text, int column, bool summary)
{
    const std::string bytes = text.toStdString();
    const int kind = summary ? column + 3 : column; // the summary's columns are the detailed 3..7
    switch (kind) {
    case 0:
        return velmar::VelmarToDate(bytes);
    case 1:
    case 2:
        return velmar::toTimeOfDay(bytes);
    case 4:
    case 7:
        return static_cast<double>(velmar::toInt64(bytes));
    case 5:
        return static_cast<double>(velmar::StrToSize(bytes));
    default:
        return velmar::toFloat(bytes);
    }
}

} // namespace

// Three clicks on each numeric or date column: ascending, descending, log order; the indicator follows.
TEST_F(Sorting, HeaderClicksCycleAscendingDescendingAndLogOrder)
{
    struct Case {
        const char* name;
        bool summary;
        int column;
    };
    const Case cases[] = {
        { "detailed date", false, 0 },
        { "detailed start", false, 1 },
        { "detailed minutes", false, 4 },
        { "detailed received", false, 5 },
        { "detailed money", false, 6 },
        { "summary minutes", true, 1 },
        { "summary received", true, 2 },
        { "summary money", true, 3 },
        { "summary sessions", true, 4 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StatGrid* grid = c.summary ? form->StrFull : form->Str;
        const int page = c.summary ? TForm1::kSummaryPage : TForm1::kDetailedPage;
        // The summary's last two rows (empty and total) are not sorted.
        const int rows = grid->model()->rowCount() - (c.summary ? 2 : 0);
        ASSERT_GT(rows, 3);
        QStringList logOrder;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            logOrder.append(shown(grid, r, c.column));

        for (const Qt::SortOrder order : { Qt::AscendingOrder, Qt::DescendingOrder }) {
            clickHeader(grid, page, c.column);
            EXPECT_EQ(grid->horizontalHeader()->sortIndicatorSection(), c.column);
            EXPECT_EQ(grid->horizontalHeader()->sortIndicatorOrder(), order);
            for (int r = 1; r < rows; ++r) {
                const double before = valueOf(shown(grid, r - 1, c.column), c.column, c.summary);
                const double after = valueOf(shown(grid, r, c.column), c.column, c.summary);
                if (order == Qt::AscendingOrder)
                    ASSERT_LE(before, after) << "row " << r;
                else
                    ASSERT_GE(before, after) << "row " << r;
            }
            if (c.summary) {
                EXPECT_EQ(shown(grid, rows, 0), QString());
                EXPECT_EQ(shown(grid, rows + 1, 0).toStdString(), form->LabelList()[0]);
            }
        }
        clickHeader(grid, page, c.column);
        EXPECT_EQ(grid->horizontalHeader()->sortIndicatorSection(), -1);
        QStringList now;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            now.append(shown(grid, r, c.column));
        EXPECT_EQ(now, logOrder);
    }
}

TEST_F(Sorting, AddressesSortWithoutRegardToLetterCase)
{
    clickHeader(form->StrFull, TForm1::kSummaryPage, 0);
    const int rows = form->StrFull->model()->rowCount() - 2;
    for (int r = 1; r < rows; ++r) {
        const QString before = shown(form->StrFull, r - 1, 0);
        const QString after = shown(form->StrFull, r, 0);
        EXPECT_LE(QString::compare(before, after, Qt::CaseInsensitive), 0) << before.toStdString();
    }
}

TEST_F(Sorting, OnlyTheViewChangesAndCopyFollowsTheShownOrder)
{
    const velmar::Table& full = form->StrFullData();
    std::vector<std::string> before;
    for (int r = 0; r < full.rowCount(); ++r)
        before.emplace_back(full.cell(3, r));

    clickHeader(form->StrFull, TForm1::kSummaryPage, 3);
    clickHeader(form->StrFull, TForm1::kSummaryPage, 3); // descending: the dearest address first

    // The core's summary keeps its order: exports and the total are unchanged.
    for (int r = 0; r < full.rowCount(); ++r)
        EXPECT_EQ(full.cell(3, r), before[static_cast<size_t>(r)]) << r;

    // Ctrl+C on the first two rows shown copies them as shown, dearest first.
    StatGrid* grid = form->StrFull;
    grid->setFocus();
    grid->selectionModel()->select(grid->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    grid->selectionModel()->select(grid->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QStringList lines = grid->selectedRowsText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].section(QLatin1Char('\t'), 0, 0), shown(grid, 0, 0));
    EXPECT_EQ(lines[1].section(QLatin1Char('\t'), 0, 0), shown(grid, 1, 0));
    EXPECT_GE(valueOf(lines[0].section(QLatin1Char('\t'), 3, 3), 3, true),
        valueOf(lines[1].section(QLatin1Char('\t'), 3, 3), 3, true));
}

TEST_F(Sorting, ARebuildKeepsTheChosenOrder)
{
    clickHeader(form->Str, TForm1::kDetailedPage, 4);
    form->ApplyBClick(); // both date texts empty: nothing rebuilt
    form->Dat1->setEditText(form->Dat1->itemText(0));
    form->Dat2->setEditText(form->Dat2->itemText(form->Dat2->count() - 1));
    form->ApplyB->click();
    ASSERT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(form->StrOrder->sortColumn(), 4);
    const int rows = form->Str->model()->rowCount();
    for (int r = 1; r < rows; ++r)
        ASSERT_LE(valueOf(shown(form->Str, r - 1, 4), 4, false), valueOf(shown(form->Str, r, 4), 4, false)) << r;
}

// The model alone over a small summary-like table: rows 1..4 are addresses, row 5 empty, row 6 the total.
TEST(SortedRowsModel, MapsRowsBothWaysAndKeepsTheFixedRowsLast)
{
    velmar::Table table(2);
    table.setRowCount(7);
    const char* const cells[][2] = { { "Address", "Min" }, { "2:5020/b", "10" }, { "2:5020/A", "9" },
        { "1:1/1", "100" }, { "2:5020/a", "9" }, { "", "" }, { "Total", "128" } };
    for (int r = 0; r < 7; ++r) {
        table.setCell(0, r, cells[r][0]);
        table.setCell(1, r, cells[r][1]);
    }
    StatTableModel source(table);
    SortedRowsModel model(
        table, [](int column) { return column == 0 ? velmar::SortKind::Address : velmar::SortKind::Count; }, 2);
    model.setSourceModel(&source);

    struct Case {
        const char* name;
        int column;
        Qt::SortOrder order;
        std::vector<int> sourceRows; // model row -> source row (table row - 1), worked out by hand
    };
    const Case cases[] = {
        // 9 (rows 2 and 4, equal: table order), 10, 100; then the empty and total rows.
        { "minutes up", 1, Qt::AscendingOrder, { 1, 3, 0, 2, 4, 5 } },
        { "minutes down", 1, Qt::DescendingOrder, { 2, 0, 1, 3, 4, 5 } },
        // "1:1/1" < "2:5020/a" = "2:5020/A" (case folded, table order) < "2:5020/b".
        { "addresses up", 0, Qt::AscendingOrder, { 2, 1, 3, 0, 4, 5 } },
        { "log order", -1, Qt::AscendingOrder, { 0, 1, 2, 3, 4, 5 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model.sortBy(c.column, c.order);
        ASSERT_EQ(model.rowCount(), 6);
        for (int row = 0; row < 6; ++row) {
            const QModelIndex shown = model.index(row, 1);
            const QModelIndex inSource = model.mapToSource(shown);
            EXPECT_EQ(inSource.row(), c.sourceRows[static_cast<size_t>(row)]) << "row " << row;
            EXPECT_EQ(model.mapFromSource(inSource), shown) << "row " << row;
            EXPECT_EQ(shown.data(), inSource.data());
        }
    }
    // The header is the source's, and a click cycles up, down and back to log order.
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Min"));
    model.cycle(1);
    EXPECT_EQ(model.sortOrder(), Qt::AscendingOrder);
    model.cycle(1);
    EXPECT_EQ(model.sortOrder(), Qt::DescendingOrder);
    model.cycle(1);
    EXPECT_EQ(model.sortColumn(), -1);
}
