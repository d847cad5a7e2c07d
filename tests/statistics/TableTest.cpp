#include "statistics/Table.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace velmar;

TEST(Table, FreshTableHasHeaderAndOneEmptyRow)
{
    Table t(7);
    EXPECT_EQ(t.colCount(), 7);
    EXPECT_EQ(t.rowCount(), 2);
    EXPECT_EQ(t.cell(0, 1), "");
    t.setRowCount(0);
    EXPECT_EQ(t.rowCount(), 2);
}

TEST(Table, CellsOutliveTheRowCount)
{
    Table t(3);
    t.setRowCount(5);
    for (int r = 2; r <= 4; ++r)
        t.setCell(1, r, "row" + std::to_string(r));
    t.setRowCount(2);
    t.setRowCount(5);
    EXPECT_EQ(t.cell(1, 2), "row2");
    EXPECT_EQ(t.cell(1, 4), "row4");

    // A cell written far beyond the count reads back at once.
    t.setRowCount(3);
    t.setCell(2, 7, "late");
    EXPECT_EQ(t.cell(2, 7), "late");
    t.setRowCount(8);
    EXPECT_EQ(t.cell(2, 7), "late");
}

TEST(Table, ClearRowEmptiesEveryCellOfTheRowOnly)
{
    Table t(3);
    t.setCell(0, 1, "a");
    t.setCell(2, 1, "c");
    t.setCell(0, 2, "keep");
    t.clearRow(1);
    EXPECT_EQ(t.cell(0, 1), "");
    EXPECT_EQ(t.cell(2, 1), "");
    EXPECT_EQ(t.cell(0, 2), "keep");
    t.setCell(1, 1, "b");
    EXPECT_EQ(t.cell(0, 1), "");
    EXPECT_EQ(t.cell(1, 1), "b");
}

TEST(Table, OverwritingCellsKeepsTheOthers)
{
    Table t(4);
    t.setCell(3, 1, "last");
    t.setCell(0, 1, "first");
    t.setCell(1, 1, std::string(300, 'x')); // a length that takes two bytes
    t.setCell(1, 1, "short");
    t.setCell(3, 1, "");
    EXPECT_EQ(t.cell(0, 1), "first");
    EXPECT_EQ(t.cell(1, 1), "short");
    EXPECT_EQ(t.cell(2, 1), "");
    EXPECT_EQ(t.cell(3, 1), "");
    // Columns outside the table are neither written nor read.
    t.setCell(4, 1, "no");
    t.setCell(-1, 1, "no");
    EXPECT_EQ(t.cell(4, 1), "");
    EXPECT_EQ(t.cell(-1, 1), "");
    EXPECT_EQ(t.cell(0, -1), "");
}

TEST(Table, CellTextMayComeFromTheTableItself)
{
    Table t(2);
    t.setCell(0, 1, "source text");
    for (int i = 0; i < 100; ++i) // rewrites move rows around in the store
        t.setCell(1, 1, t.cell(0, 1));
    t.setCell(0, 2, t.cell(1, 1));
    EXPECT_EQ(t.cell(0, 2), "source text");
}

TEST(Table, ManyRewritesKeepEveryRow)
{
    // Rewriting early rows with longer texts moves them; the store compacts itself and loses nothing.
    Table t(5);
    const int rows = 20000;
    for (int r = 1; r <= rows; ++r)
        t.setCell(0, r, std::to_string(r));
    for (int round = 0; round < 3; ++round) {
        for (int r = 1; r <= rows; ++r)
            t.setCell(round + 1, r, std::string(static_cast<size_t>(10 + round), 'a' + static_cast<char>(round)));
    }
    for (int r = 1; r <= rows; r += 997) {
        SCOPED_TRACE(r);
        EXPECT_EQ(t.cell(0, r), std::to_string(r));
        EXPECT_EQ(t.cell(3, r), std::string(12, 'c'));
    }
    // The same rows written once each: the rewrites may cost at most twice that.
    Table fresh(5);
    for (int r = 1; r <= rows; ++r) {
        for (int c = 0; c < 4; ++c)
            fresh.setCell(c, r, t.cell(c, r));
    }
    EXPECT_LT(t.memoryUsed(), 2 * fresh.memoryUsed());
}

TEST(Table, LongestTextOfEachColumnIsNotedAsRowsAreWritten)
{
    struct Step {
        int row;
        std::vector<std::string_view> texts; // written with setRow
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<int> longest; // expected longestRow of columns 0, 1, 2
    };
    const Case cases[] = {
        // The header row is no data: its long caption is not noted.
        { "header ignored", { { 0, { "a long caption", "x", "y" } } }, { 0, 0, 0 } },
        // Column by column the row of the longest text; the first of equal lengths stays.
        { "per column",
            { { 1, { "1-Jan-2004", "10", "1,000" } }, { 2, { "27-Nob-2003", "9", "1,000,000" } },
                { 3, { "27-Dec-2003", "100", "-" } } },
            { 2, 3, 2 } },
        // A column never written with text keeps row 0.
        { "empty column", { { 1, { "a", "" } } }, { 1, 0, 0 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table t(3);
        for (const Step& step : c.steps)
            t.setRow(step.row, step.texts);
        for (int col = 0; col < 3; ++col)
            EXPECT_EQ(t.longestRow(col), c.longest[static_cast<size_t>(col)]) << "column " << col;
    }
}

TEST(Table, ForgettingTheLongestStartsAfresh)
{
    Table t(2);
    t.setCell(1, 5, "a long address");
    EXPECT_EQ(t.longestRow(1), 5);
    t.forgetLongest();
    EXPECT_EQ(t.longestRow(1), 0);
    t.setCell(1, 2, "short");
    EXPECT_EQ(t.longestRow(1), 2);
    // Outside the columns: no row.
    EXPECT_EQ(t.longestRow(2), 0);
    EXPECT_EQ(t.longestRow(-1), 0);
}

// The rows are indexed in pieces of 65,536 that never move: rows on both sides of the edges of the pieces,
// written in order and out of it, keep their cells while the index grows past them.
TEST(Table, RowsOverTheEdgesOfTheIndexKeepTheirCells)
{
    Table table(2);
    const std::vector<int> rows = { 1, 65535, 65536, 65537, 131071, 131072, 200000 };
    // Out of order: the last row first, so that the index grows by several pieces at once.
    for (auto r = rows.rbegin(); r != rows.rend(); ++r)
        table.setCell(1, *r, "row " + std::to_string(*r));
    for (int r = 2; r < 70000; ++r) {
        if (std::find(rows.begin(), rows.end(), r) == rows.end())
            table.setCell(0, r, std::to_string(r));
    }
    table.setRowCount(200001);
    for (int r : rows) {
        EXPECT_EQ(table.cell(1, r), "row " + std::to_string(r)) << r;
        EXPECT_EQ(table.cell(0, r), "") << r;
    }
    EXPECT_EQ(table.cell(0, 65534), "65534");
    EXPECT_EQ(table.cell(0, 69999), "69999");
    // Never written: empty, beyond the rows written as well.
    EXPECT_EQ(table.cell(0, 150000), "");
    EXPECT_EQ(table.cell(0, 250000), "");
}
