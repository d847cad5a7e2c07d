#include "statistics/Table.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <array>
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

TEST(Table, ARowMayBeWrittenFromTheCellsOfAnother)
{
    // A new row is laid out straight into the store, which grows by new chunks meanwhile: every row is
    // written from the cells of the row before it, and over an existing row from its own cells too.
    Table t(3);
    t.setRow(1, std::vector<std::string_view> { "first", "", "a text of the last column" });
    std::array<std::string_view, 3> cells;
    for (int r = 2; r < 20'000; ++r) {
        t.rowCells(r - 1, cells);
        t.setRow(r, cells);
    }
    t.rowCells(19'999, cells);
    EXPECT_EQ(cells[0], "first");
    EXPECT_EQ(cells[1], "");
    EXPECT_EQ(cells[2], "a text of the last column");
    t.rowCells(7, cells);
    const std::array<std::string_view, 3> swapped = { cells[2], cells[0], cells[1] };
    t.setRow(7, swapped);
    t.rowCells(7, cells);
    EXPECT_EQ(cells[0], "a text of the last column");
    EXPECT_EQ(cells[1], "first");
    EXPECT_EQ(cells[2], "");
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

// Rows taken over from another table read as they were written there, at their new places; what this
// table held there before is gone, the rows around stay, and the other table is left empty. Rows written
// afterwards (which may make the table compact its memory) keep every taken row.
TEST(Table, RowsTakenFromAnotherTableKeepTheirCells)
{
    const auto text = [](int row, int col) { return "r" + std::to_string(row) + "c" + std::to_string(col); };
    const struct Case {
        const char* name;
        int ownRows; // rows 1..ownRows written here first
        int theirRows; // rows 1..theirRows written there
        int first, count, at;
    } cases[] = {
        { "into an empty table", 0, 50, 1, 50, 1 },
        { "behind rows of its own", 30, 50, 1, 50, 31 },
        // Rows 31 to 40 here are replaced, 41 to 60 were never written.
        { "over rows of its own", 40, 30, 1, 30, 31 },
        // Their first 5 rows stay behind.
        { "without their first rows", 10, 30, 6, 25, 11 },
        { "thousands of rows over many chunks", 3000, 20000, 101, 19900, 3001 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table mine(3);
        Table theirs(3);
        for (int r = 1; r <= c.ownRows; ++r)
            mine.setRow(r, std::vector<std::string_view> { "own", std::to_string(r), "" });
        for (int r = 1; r <= c.theirRows; ++r) {
            const std::string a = text(r, 0), b = text(r, 1), d = text(r, 2);
            theirs.setRow(r, std::vector<std::string_view> { a, b, d });
        }
        mine.takeRows(theirs, c.first, c.count, c.at);
        for (int k = 0; k < c.count; ++k) {
            for (int col = 0; col < 3; ++col)
                ASSERT_EQ(mine.cell(col, c.at + k), text(c.first + k, col)) << k;
        }
        for (int r = 1; r < c.at && r <= c.ownRows; ++r)
            ASSERT_EQ(mine.cell(1, r), std::to_string(r));
        EXPECT_EQ(theirs.cell(0, c.first), "");
        EXPECT_EQ(theirs.memoryUsed(), 0u);
        // Rewriting every row here lets go of the memory the taken rows left; they still read the same.
        for (int r = 1; r < c.at; ++r)
            mine.setRow(r, std::vector<std::string_view> { "rewritten, longer than before" });
        for (int k = 0; k < c.count; k += 7)
            ASSERT_EQ(mine.cell(2, c.at + k), text(c.first + k, 2)) << k;
    }
}

// The longest text of a column follows the rows taken: one of theirs that is longer than any here, or the
// longest of those taken when their longest stayed behind.
TEST(Table, TheLongestTextFollowsTheRowsTaken)
{
    Table mine(2);
    mine.setRow(1, std::vector<std::string_view> { "abc", "a" });
    Table theirs(2);
    theirs.setRow(1, std::vector<std::string_view> { "a", "the longest of all" });
    theirs.setRow(2, std::vector<std::string_view> { "abcdefgh", "bb" });
    theirs.setRow(3, std::vector<std::string_view> { "ab", "ccc" });
    mine.takeRows(theirs, 2, 2, 2);
    // Column 0: "abcdefgh", their row 2, is now row 2. Column 1: their longest (row 1) stayed behind, so
    // the longest taken, "ccc" of their row 3, now row 3.
    EXPECT_EQ(mine.longestRow(0), 2);
    EXPECT_EQ(mine.longestRow(1), 3);
}

// The size of the longest text of a column in the data rows, which an export sizes its columns by, whatever
// was written, overwritten, cut off by the row count or taken from another table. Each expectation is the
// longest of the texts the rows 1 to RowCount - 1 hold in the end, counted by hand; every case is also held
// to a look at every cell.
TEST(Table, LongestTextOfAColumnIsThatOfTheRowsInTheTable)
{
    using Rows = std::vector<std::string_view>;
    struct Case {
        const char* name;
        void (*build)(Table&);
        size_t longest; // of column 1
    };
    const Case cases[] = {
        { "the longest noted",
            [](Table& t) {
                t.setRowCount(4);
                t.setRow(1, Rows { "", "abc" });
                t.setRow(2, Rows { "", "abcdef" });
                t.setRow(3, Rows { "", "ab" });
            },
            6 },
        // The header's caption is no data.
        { "header row",
            [](Table& t) {
                t.setRow(0, Rows { "", "a long caption" });
                t.setCell(1, 1, "ab");
            },
            2 },
        // "abcdef" was the longest once; row 2 now holds "a", so "abc" of row 1 is the longest.
        { "longest overwritten",
            [](Table& t) {
                t.setRowCount(3);
                t.setCell(1, 1, "abc");
                t.setCell(1, 2, "abcdef");
                t.setCell(1, 2, "a");
            },
            3 },
        { "longest cleared",
            [](Table& t) {
                t.setRowCount(3);
                t.setCell(1, 1, "abc");
                t.setCell(1, 2, "abcdef");
                t.clearRow(2);
            },
            3 },
        // Row 4 lies behind the row count of 4: rows 1 to 3 count.
        { "longest behind the row count",
            [](Table& t) {
                t.setCell(1, 1, "ab");
                t.setCell(1, 4, "abcdef");
                t.setRowCount(4);
            },
            2 },
        // After forgetLongest only "abc" is noted, but row 1 still holds the longer "abcdefgh".
        { "an older row after forgetting",
            [](Table& t) {
                t.setRowCount(3);
                t.setCell(1, 1, "abcdefgh");
                t.forgetLongest();
                t.setCell(1, 2, "abc");
            },
            8 },
        { "nothing written", [](Table& t) { t.setRowCount(5); }, 0 },
        // Their rows 2 and 3 ("bb", "ccc") become rows 2 and 3; their longest stayed behind.
        { "rows taken",
            [](Table& t) {
                Table theirs(2);
                theirs.setRow(1, Rows { "", "the longest of all" });
                theirs.setRow(2, Rows { "", "bb" });
                theirs.setRow(3, Rows { "", "ccc" });
                t.setCell(1, 1, "a");
                t.takeRows(theirs, 2, 2, 2);
                t.setRowCount(4);
            },
            3 },
        // The table taken from had forgotten its longest: "abcdefg" of its row 1 was never noted there.
        { "rows taken from a table that forgot",
            [](Table& t) {
                Table theirs(2);
                theirs.setCell(1, 1, "abcdefg");
                theirs.forgetLongest();
                theirs.setCell(1, 2, "ab");
                t.takeRows(theirs, 1, 2, 1);
                t.setRowCount(3);
            },
            7 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table t(2);
        c.build(t);
        EXPECT_EQ(t.longestText(1), c.longest);
        for (int col = -1; col <= 2; ++col) {
            size_t every = 0;
            for (int row = 1; col >= 0 && row < t.rowCount(); ++row)
                every = std::max(every, t.cell(col, row).size());
            EXPECT_EQ(t.longestText(col), every) << "column " << col;
        }
    }
}

// A row written whole reads back cell by cell, for texts of every size a row's copying treats apart (none,
// 1 to 3, 4 to 7, 8 to 16, longer) and lengths of one, two and three length bytes (up to 127, 128, 16,384),
// in every column and with empty cells in front, between and behind.
TEST(Table, RowsWrittenWholeReadBackForTextsOfEverySize)
{
    const std::vector<size_t> sizes = { 0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 127, 128, 300, 16383, 16384 };
    Table t(4);
    int row = 1;
    std::vector<std::vector<std::string>> written;
    for (const size_t size : sizes) {
        for (size_t col = 0; col < 4; ++col) {
            // The text of `size` bytes in column col, distinct bytes so that a byte copied to the wrong place
            // shows; a short text in the next column, nothing in the others.
            std::vector<std::string> texts(4);
            for (size_t i = 0; i < size; ++i)
                texts[col] += static_cast<char>('a' + (i * 7 + col) % 26);
            if (col + 1 < 4)
                texts[col + 1] = "z";
            const std::vector<std::string_view> views(texts.begin(), texts.end());
            t.setRow(row++, views);
            written.push_back(texts);
        }
    }
    t.setRowCount(row);
    for (int r = 1; r < row; ++r) {
        std::array<std::string_view, 4> cells {};
        t.rowCells(r, cells);
        for (int col = 0; col < 4; ++col) {
            const std::string& text = written[static_cast<size_t>(r - 1)][static_cast<size_t>(col)];
            EXPECT_EQ(t.cell(col, r), text) << "row " << r << ", column " << col;
            EXPECT_EQ(cells[static_cast<size_t>(col)], text) << "row " << r << ", column " << col;
        }
    }
}
