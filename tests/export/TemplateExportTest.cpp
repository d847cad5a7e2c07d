#include "export/TemplateExport.h"

#include "platform/Errors.h"
#include "support/RecordingOut.h"
#include "support/TestSupport.h"

#include <chrono>
#include <string>
#include <vector>

using namespace velmar;

namespace {

using Rows = std::vector<std::vector<std::string>>;

Table makeTable(int colCount, const Rows& rows)
{
    Table table(colCount);
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            table.setCell(static_cast<int>(c), static_cast<int>(r), rows[r][c]);
    table.setRowCount(static_cast<int>(rows.size()));
    return table;
}

// Widths: date 11 ("12-Mar-2004"), times 8, address 13, minutes 3 and received 8 (both from the header), money 5.
const Rows kDetailed = {
    { "Date", "Start", "End", "Address", "Min", "Received", "Money" },
    { "1-Mar-2004", "10:00:01", "10:05:30", "2:5020/1", "6", "1,234", "3.6" },
    { "12-Mar-2004", "9:00:00", "9:01:00", "2:5020/1234.5", "1", "-", "0.6" },
};

// Address rows, the empty row, the total row. Widths: 13, 6 ("123456"), 8 ("Received"), 5, 5.
const Rows kSummary = {
    { "Address", "Min", "Received", "Money", "Count" },
    { "2:5020/1", "12", "1,234", "7.2", "2" },
    { "2:5020/1234.5", "123456", "-", "0.6", "1" },
    {},
    { "Total", "123468", "1,234", "7.8", "3" },
};

struct Case {
    const char* name;
    int tagOffset;
    const Rows* rows;
    int colCount;
    const char* templateText;
    ExportHeading heading;
    bool ok;
    std::string expected;
};

void runCases(const Case* begin, const Case* end)
{
    for (const Case* c = begin; c != end; ++c) {
        SCOPED_TRACE(c->name);
        const Table table = makeTable(c->colCount, *c->rows);
        StringOutText out;
        int badTags = 0;
        const bool ok = ExpStat(out, c->tagOffset, table, c->templateText, c->heading, [&] { ++badTags; });
        EXPECT_EQ(ok, c->ok);
        EXPECT_EQ(badTags, c->ok ? 0 : 1);
        EXPECT_EQ(out.text(), c->expected);
    }
}

const ExportHeading kNoRange {};

} // namespace

TEST(TemplateExport, DetailedTags)
{
    const Case cases[] = {
        // Minutes and received are as wide as their header texts, so the data cells get spaces in front.
        { "header text drives the padding", 0, &kDetailed, 7, "%5|%6", kNoRange, true,
            "Min|Received\r\n"
            "  6|   1,234\r\n"
            "  1|       -\r\n"
            "\r\n" },
        // Only one character after "%" is read: "%12" is column 0 (width 11) and then a literal 2.
        { "tag followed by a digit", 0, &kDetailed, 7, "%12", kNoRange, true,
            "       Date2\r\n"
            " 1-Mar-20042\r\n"
            "12-Mar-20042\r\n"
            "\r\n" },
        { "tag used twice", 0, &kDetailed, 7, "%5-%5", kNoRange, true,
            "Min-Min\r\n"
            "  6-  6\r\n"
            "  1-  1\r\n"
            "\r\n" },
        // Column 7 is within the width table but the detailed table has 7 columns: empty text of width 0.
        { "%8 vanishes", 0, &kDetailed, 7, "[%8]%5", kNoRange, true,
            "[]Min\r\n"
            "[]  6\r\n"
            "[]  1\r\n"
            "\r\n" },
        // Column -1 and column 8 name nothing.
        { "%0 and %9 vanish", 0, &kDetailed, 7, "<%0%9>", kNoRange, true, "<>\r\n<>\r\n<>\r\n\r\n" },
        // The default template: every column right-aligned, one space apart.
        { "default template", 0, &kDetailed, 7, "%1 %2 %3 %4 %5 %6 %7", kNoRange, true,
            "       Date    Start      End       Address Min Received Money\r\n"
            " 1-Mar-2004 10:00:01 10:05:30      2:5020/1   6    1,234   3.6\r\n"
            "12-Mar-2004  9:00:00  9:01:00 2:5020/1234.5   1        -   0.6\r\n"
            "\r\n" },
        { "template without a tag", 0, &kDetailed, 7, "plain text", kNoRange, true,
            "plain text\r\nplain text\r\nplain text\r\n\r\n" },
        // Three empty lines for the three rows, then the closing empty line.
        { "empty template", 0, &kDetailed, 7, "", kNoRange, true, "\r\n\r\n\r\n\r\n" },
    };
    runCases(std::begin(cases), std::end(cases));
}

TEST(TemplateExport, SummaryTags)
{
    const Case cases[] = {
        // Minutes column 6 wide: the cell 12 gets four spaces. The empty row becomes 13+6+8+5+5 spaces
        // and 4 separators.
        { "default summary template", 3, &kSummary, 5, "%4 %5 %6 %7 %8", kNoRange, true,
            "      Address    Min Received Money Count\r\n"
            "     2:5020/1     12    1,234   7.2     2\r\n"
            "2:5020/1234.5 123456        -   0.6     1\r\n"
                + std::string(41, ' ') + "\r\n"
                + "        Total 123468    1,234   7.8     3\r\n"
                  "\r\n" },
        // Column 5 lies past the summary's 5 columns: empty text of width 0.
        { "%9 vanishes", 3, &kSummary, 5, "<%9>%8", kNoRange, true,
            "<>Count\r\n<>    2\r\n<>    1\r\n<>     \r\n<>    3\r\n\r\n" },
        // With offset 3 these name the columns -4 to -1.
        { "%0 to %3 give nothing", 3, &kSummary, 5, "[%0%1%2%3]", kNoRange, true,
            "[]\r\n[]\r\n[]\r\n[]\r\n[]\r\n\r\n" },
    };
    runCases(std::begin(cases), std::end(cases));
}

TEST(TemplateExport, EmptyTables)
{
    const Rows emptyDetailed = { { "Date", "Start" } };
    const Rows emptySummary = { { "Address", "Min" }, {}, { "Total", "0" } };
    const Case cases[] = {
        // RowCount 2: the header and one empty data row of 4 + 1 + 5 spaces.
        { "detailed table without sessions", 0, &emptyDetailed, 7, "%1 %2", kNoRange, true,
            "Date Start\r\n          \r\n\r\n" },
        // The empty row above the total: 7 + 1 + 3 spaces.
        { "empty row above the total", 3, &emptySummary, 5, "%4 %5", kNoRange, true,
            "Address Min\r\n           \r\n  Total   0\r\n\r\n" },
    };
    runCases(std::begin(cases), std::end(cases));
}

TEST(TemplateExport, Heading)
{
    const Rows rows = { { "Min" }, { "6" } };
    const std::string block = "Min\r\n  6\r\n\r\n";
    const Case cases[] = {
        { "one day", 0, &rows, 7, "%1", { "1-Mar-2004", "1-Mar-2004", "Stat" }, true,
            "Stat 1-Mar-2004\r\n\r\n" + block },
        { "two days", 0, &rows, 7, "%1", { "1-Mar-2004", "12-Mar-2004", "Stat" }, true,
            "Stat 1-Mar-2004 - 12-Mar-2004\r\n\r\n" + block },
        // The texts are compared exactly, letter case included.
        { "texts differing in case", 0, &rows, 7, "%1", { "1-mar-2004", "1-Mar-2004", "Stat" }, true,
            "Stat 1-mar-2004 - 1-Mar-2004\r\n\r\n" + block },
        { "only the first date", 0, &rows, 7, "%1", { "1-Mar-2004", "", "Stat" }, true, block },
        { "only the last date", 0, &rows, 7, "%1", { "", "1-Mar-2004", "Stat" }, true, block },
    };
    runCases(std::begin(cases), std::end(cases));
}

TEST(TemplateExport, BadTagWritesNoRow)
{
    const ExportHeading range { "1-Mar-2004", "12-Mar-2004", "Stat" };
    const Case cases[] = {
        { "% at the end", 0, &kDetailed, 7, "%5 %", kNoRange, false, "" },
        { "doubled %", 0, &kDetailed, 7, "%%1", kNoRange, false, "" },
        { "non-digit after %", 0, &kDetailed, 7, "%1 %a", kNoRange, false, "" },
        { "lone %", 3, &kSummary, 5, "%", kNoRange, false, "" },
        // The heading comes before the rows, so it stays in the file.
        { "heading stays", 0, &kDetailed, 7, "%x", range, false, "Stat 1-Mar-2004 - 12-Mar-2004\r\n\r\n" },
    };
    runCases(std::begin(cases), std::end(cases));
}

TEST(TemplateExport, PercentInACellIsWrittenAsItStands)
{
    // A "%" brought in by a cell is never read as a tag, so "%1" in a cell neither repeats nor fails.
    const Rows rows = { { "D", "", "", "A%" }, { "%1", "", "", "%4" } };
    const Case cases[] = {
        { "cell holding tags", 0, &rows, 7, "%1|%4", kNoRange, true, " D|A%\r\n%1|%4\r\n\r\n" },
    };
    runCases(std::begin(cases), std::end(cases));
}

TEST(TemplateExport, BothTablesIntoOneOutputEachWithItsHeading)
{
    const Table detailed = makeTable(7, { { "Min" }, { "6" } });
    const Table summary = makeTable(5, { { "Addr" }, { "2:5020/1" } });
    const ExportHeading range { "1-Mar-2004", "1-Mar-2004", "Stat" };
    StringOutText out;
    EXPECT_TRUE(ExpStat(out, 0, detailed, "%1", range, [] { FAIL(); }));
    EXPECT_TRUE(ExpStat(out, 3, summary, "%4", range, [] { FAIL(); }));
    EXPECT_EQ(out.text(),
        "Stat 1-Mar-2004\r\n\r\nMin\r\n  6\r\n\r\n"
        "Stat 1-Mar-2004\r\n\r\n    Addr\r\n2:5020/1\r\n\r\n");
}

TEST(TemplateExport, WriteFailureReachesTheCaller)
{
    // Fails on the second write: the heading got through, the block of rows did not.
    test::RecordingOut out(2);
    const Table table = makeTable(7, kDetailed);
    EXPECT_THROW_MSG(ExpStat(out, 0, table, "%5", { "a", "b", "H" }, [] { FAIL(); }), InOutError, "Disk full");
    EXPECT_EQ(out.text, "H a - b\r\n\r\n");
}

TEST(TemplateExport, ALargeTableIsWrittenInSeveralBlocksWithNoLineLostOrCut)
{
    // A slow writer takes its time over each write, so that the second thread formats the pieces ahead of the
    // writing while this one waits for the disk.
    // 800,000 rows of "<row>|" right-aligned to the widest, 6 digits: with "|" and CR LF 9 bytes a line, about
    // 7.2 MB, so the rows span seven blocks of a megabyte (2^20 bytes) and every block edge falls inside them.
    constexpr int kRows = 800000;
    Table table(5);
    table.setRowCount(kRows);
    for (int row = 0; row < kRows; ++row)
        table.setCell(0, row, std::to_string(row));
    std::string expected;
    for (int row = 0; row < kRows; ++row) {
        const std::string number = std::to_string(row);
        expected += std::string(6 - number.size(), ' ') + number + "|\r\n";
    }
    expected += "\r\n";
    for (const int pause : { 0, 5 }) {
        SCOPED_TRACE(std::to_string(pause) + " ms a write");
        test::RecordingOut out(0, std::chrono::milliseconds(pause));
        ASSERT_TRUE(ExpStat(out, 0, table, "%1|", { "", "", "" }, [] { FAIL(); }));
        EXPECT_EQ(out.writes, 7);
        EXPECT_EQ(out.text.size(), expected.size());
        EXPECT_TRUE(out.text == expected);
    }
}

TEST(TemplateExport, AWriteFailureAnywhereInALargeTableReachesTheCaller)
{
    // A large table is formatted by two threads, each taking the next piece of rows, and written by one. Whichever
    // write fails, the error reaches the caller, nothing after it is written, and what came before is the
    // export's beginning: the first piece, a piece of the second thread, one far on, the very last.
    // 300,000 rows of at most 11 bytes ("299999 | " and CR LF): 3.3 MB, four pieces of a megabyte or less.
    constexpr int kRows = 300000;
    Table table(5);
    table.setRowCount(kRows);
    for (int row = 0; row < kRows; ++row)
        table.setCell(0, row, std::to_string(row));
    std::string whole;
    {
        test::RecordingOut out;
        ASSERT_TRUE(ExpStat(out, 0, table, "%1 | ", { "", "", "" }, [] { FAIL(); }));
        whole = out.text;
        ASSERT_EQ(out.writes, 4);
    }
    for (const int failAt : { 1, 2, 3, 4 }) {
        SCOPED_TRACE(failAt);
        test::RecordingOut out(failAt);
        EXPECT_THROW_MSG(ExpStat(out, 0, table, "%1 | ", { "", "", "" }, [] { FAIL(); }), InOutError, "Disk full");
        EXPECT_EQ(out.writes, failAt);
        EXPECT_TRUE(whole.starts_with(out.text));
        EXPECT_LT(out.text.size(), whole.size());
    }
}
