#include "statistics/Summary.h"

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "statistics/Table.h"
#include "support/TestSupport.h"

#include <limits>
#include <string>
#include <vector>

using namespace velmar;

namespace {

struct Session {
    const char* address;
    const char* minutes;
    const char* bytes;
};

using Row = std::vector<std::string>; // the five cells of a summary row

Table detailed(const std::vector<Session>& sessions)
{
    Table Str(7);
    int r = 1;
    for (const Session& s : sessions) {
        Str.setCell(0, r, "12-Mar-2003");
        Str.setCell(1, r, "10:00:00");
        Str.setCell(2, r, "10:05:00");
        Str.setCell(3, r, s.address);
        Str.setCell(4, r, s.minutes);
        Str.setCell(5, r, s.bytes);
        Str.setCell(6, r, "999"); // the detailed money is never summed
        ++r;
    }
    Str.setRowCount(r);
    return Str;
}

// A summary with a header and leftovers of an earlier, longer build.
Table staleSummary()
{
    Table StrFull(5);
    for (int c = 0; c < 5; ++c)
        StrFull.setCell(c, 0, "head" + std::to_string(c));
    for (int r = 1; r < 10; ++r)
        for (int c = 0; c < 5; ++c)
            StrFull.setCell(c, r, "old");
    StrFull.setRowCount(10);
    return StrFull;
}

std::vector<Row> rowsOf(const Table& t)
{
    std::vector<Row> rows;
    for (int r = 1; r < t.rowCount(); ++r) {
        Row row;
        for (int c = 0; c < t.colCount(); ++c)
            row.emplace_back(t.cell(c, r));
        rows.push_back(row);
    }
    return rows;
}

const Row kEmpty = { "", "", "", "", "" };

struct SummaryCase {
    const char* name;
    std::vector<Session> sessions;
    double tariff;
    std::vector<Row> rows; // rows 1 to RowCount - 1 after the build
};

// Under a comma decimal separator; the money is the tariff times the summed minutes.
const SummaryCase kSummaryCases[] = {
    { "one session", { { "2:5020/1", "3", "1,000" } }, 2,
        { { "2:5020/1", "3", "1,000", "6", "1" }, kEmpty, { "Total", "3", "1,000", "6", "1" } } },
    // A: 1 + 4 minutes, 100 + 1,000 bytes; B: 2 minutes.
    { "A B A", { { "A", "1", "100" }, { "B", "2", "200" }, { "A", "4", "1,000" } }, 1,
        { { "A", "5", "1,100", "5", "2" }, { "B", "2", "200", "2", "1" }, kEmpty,
            { "Total", "7", "1,300", "7", "3" } } },
    { "letter case ignored, first spelling kept",
        { { "2:5020/AbC", "1", "1" }, { "2:5020/abc", "1", "1" }, { "2:5020/ABC", "1", "1" } }, 1,
        { { "2:5020/AbC", "3", "3", "3", "3" }, kEmpty, { "Total", "3", "3", "3", "3" } } },
    { "empty address is a row where it first appears",
        { { "A", "1", "-" }, { "", "2", "-" }, { "B", "3", "-" }, { "", "4", "-" } }, 1,
        { { "A", "1", "-", "1", "1" }, { "", "6", "-", "6", "2" }, { "B", "3", "-", "3", "1" }, kEmpty,
            { "Total", "10", "-", "10", "4" } } },
    { "nothing received shows a hyphen", { { "A", "1", "-" }, { "A", "1", "-" }, { "B", "1", "500" } }, 0,
        { { "A", "2", "-", "0", "2" }, { "B", "1", "500", "0", "1" }, kEmpty, { "Total", "3", "500", "0", "3" } } },
    // 4.79 * 5 = 23.95, not 4.79 * 2 + 4.79 * 3 summed from the detailed money.
    { "money of the summed minutes", { { "A", "2", "-" }, { "A", "3", "-" } }, 4.79,
        { { "A", "5", "-", "23,95", "2" }, kEmpty, { "Total", "5", "-", "23,95", "2" } } },
    // One session shows its minutes text as the detailed row has it; a sum is written plainly.
    { "one session keeps its minutes text", { { "A", " 05", "-" }, { "B", "+2", "-" }, { "B", "3", "-" } }, 1,
        { { "A", " 05", "-", "5", "1" }, { "B", "5", "-", "5", "2" }, kEmpty, { "Total", "10", "-", "10", "3" } } },
    { "a billion bytes get a group of four", { { "A", "1", "600,000,000" }, { "A", "1", "400,000,000" } }, 1,
        { { "A", "2", "1000,000,000", "2", "2" }, kEmpty, { "Total", "2", "1000,000,000", "2", "2" } } },
    // 2147483647 + 2147483647 + 2 = 2^32, which a 32-bit sum would wrap to 0.
    { "bytes beyond 32 bits", { { "A", "1", "2147,483,647" }, { "B", "1", "2147,483,647" }, { "A", "1", "2" } }, 1,
        { { "A", "2", "2147,483,649", "2", "2" }, { "B", "1", "2147,483,647", "1", "1" }, kEmpty,
            { "Total", "3", "4294,967,296", "3", "3" } } },
    // Sums stop at the 64-bit maximum instead of wrapping.
    { "absurd minutes saturate", { { "A", "9223372036854775807", "9223372036854,775,807" }, { "A", "1", "1" } }, 0,
        { { "A", "9223372036854775807", "9223372036854,775,807", "0", "2" }, kEmpty,
            { "Total", "9223372036854775807", "9223372036854,775,807", "0", "2" } } },
};

} // namespace

TEST(Summary, BuildsAddressRowsEmptyRowAndTotal)
{
    ScopedLocale locale({ ',', ':' });
    for (const SummaryCase& c : kSummaryCases) {
        SCOPED_TRACE(c.name);
        const Table Str = detailed(c.sessions);
        Table StrFull = staleSummary();
        FillFull(Str, StrFull, "Total", c.tariff);
        EXPECT_EQ(rowsOf(StrFull), c.rows);
        EXPECT_EQ(StrFull.cell(0, 0), "head0");
        EXPECT_EQ(StrFull.cell(4, 0), "head4");
        // The detailed table is only read.
        EXPECT_EQ(Str.cell(6, 1), "999");
    }
}

TEST(Summary, EmptyDetailedTableLeavesOneEmptyRow)
{
    Table StrFull = staleSummary();
    FillFull(Table(7), StrFull, "Total", 1);
    EXPECT_EQ(StrFull.rowCount(), 2);
    EXPECT_EQ(rowsOf(StrFull), (std::vector<Row> { kEmpty }));
    EXPECT_EQ(StrFull.cell(0, 0), "head0");

    // Without a date in its first row the table counts as empty, whatever else it holds.
    Table Str = detailed({ { "A", "1", "1" } });
    Str.setCell(0, 1, "");
    FillFull(Str, StrFull, "Total", 1);
    EXPECT_EQ(StrFull.rowCount(), 2);
    EXPECT_EQ(rowsOf(StrFull), (std::vector<Row> { kEmpty }));
}

TEST(Summary, CyrillicAddressesFoldToo)
{
    Table withNames(7);
    withNames.setCell(0, 1, "12-Mar-2003");
    withNames.setCell(3, 1, test::cp1251("Узел"));
    withNames.setCell(4, 1, "1");
    withNames.setCell(5, 1, "-");
    withNames.setCell(0, 2, "12-Mar-2003");
    withNames.setCell(3, 2, test::cp1251("УЗЕЛ"));
    withNames.setCell(4, 2, "1");
    withNames.setCell(5, 2, "-");
    withNames.setRowCount(3);
    Table StrFull(5);
    FillFull(withNames, StrFull, "Total", 1);
    EXPECT_EQ(StrFull.rowCount(), 4);
    EXPECT_EQ(StrFull.cell(0, 1), test::cp1251("Узел"));
    EXPECT_EQ(StrFull.cell(4, 1), "2");
}

TEST(Summary, BadCellsRaiseTheirErrorInReadingOrder)
{
    struct BadCase {
        const char* name;
        std::vector<Session> sessions;
        const char* message;
        std::vector<Row> rows; // what the summary shows afterwards
    };
    // A bad cell leaves the address rows summed before the failing detailed row, without money and without
    // the empty and the total row. The minutes of a first session are read only when a second one is added
    // or when the money is made, so an earlier bad minutes text can be reported after a later bad size.
    const BadCase cases[] = {
        { "bad size of a new address", { { "A", "1", "100" }, { "B", "1", "abc" } },
            "'abc' is not a valid integer value", { { "A", "1", "100", "", "1" } } },
        { "size quoted without its commas", { { "A", "1", "1,2x" } }, "'12x' is not a valid integer value", {} },
        { "empty size", { { "A", "1", "" } }, "'' is not a valid integer value", {} },
        { "bad minutes of a second session", { { "A", "1", "-" }, { "B", "2", "-" }, { "A", "1.5", "-" } },
            "'1.5' is not a valid integer value", { { "A", "1", "-", "", "1" }, { "B", "2", "-", "", "1" } } },
        { "bad first minutes met by a second session", { { "A", "x", "-" }, { "A", "1", "-" } },
            "'x' is not a valid integer value", { { "A", "x", "-", "", "1" } } },
        { "bad size after a bad first minutes text", { { "A", "x", "-" }, { "B", "1", "--" } },
            "'--' is not a valid integer value", { { "A", "x", "-", "", "1" } } },
        { "bad minutes of a single session, found for the money",
            { { "A", "1", "-" }, { "B", "", "10" }, { "A", "2", "-" } }, "'' is not a valid integer value",
            { { "A", "3", "-", "", "2" }, { "B", "", "10", "", "1" } } },
        { "bad size of a later session of an address", { { "A", "1", "1" }, { "A", "1", "1 " } },
            "'1 ' is not a valid integer value", { { "A", "1", "1", "", "1" } } },
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Table Str = detailed(c.sessions);
        Table StrFull = staleSummary();
        EXPECT_THROW_MSG(FillFull(Str, StrFull, "Total", 1), ConvertError, c.message);
        const std::vector<Row> expected = c.rows.empty() ? std::vector<Row> { kEmpty } : c.rows;
        EXPECT_EQ(rowsOf(StrFull), expected);
    }
}

TEST(Summary, MoneyBeyondADoubleLeavesTheRowsWithoutMoney)
{
    // At 1e300 a minute, 1e8 minutes cost 1e308 and 2e8 cost more than a double holds (1.8e308). The
    // summary then fails as it does for a bad cell: every address row with its sums, none with money, no
    // total; it never shows a stale row, a half-written one or "INF".
    struct Case {
        const char* name;
        std::vector<Session> sessions;
        std::vector<Row> rows;
    };
    const Case cases[] = {
        { "the money of an address", { { "A", "100000000", "-" }, { "B", "1", "5" }, { "A", "100000000", "-" } },
            { { "A", "200000000", "-", "", "2" }, { "B", "1", "5", "", "1" } } },
        { "the money of the total only", { { "A", "100000000", "-" }, { "B", "100000000", "1,000" } },
            { { "A", "100000000", "-", "", "1" }, { "B", "100000000", "1,000", "", "1" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Table Str = detailed(c.sessions);
        Table StrFull = staleSummary();
        EXPECT_THROW_MSG(FillFull(Str, StrFull, "Total", 1e300), ConvertError, "Floating point overflow");
        EXPECT_EQ(rowsOf(StrFull), c.rows);
    }
}

TEST(Summary, ManySessionsOfFewAddresses)
{
    // 300000 sessions over three addresses: sessions and sums come out exact.
    Table Str(7);
    const char* addresses[] = { "2:5020/1", "2:5020/2", "2:5020/1.5" };
    const int sessions = 300000;
    for (int r = 1; r <= sessions; ++r) {
        Str.setCell(0, r, "12-Mar-2003");
        Str.setCell(3, r, addresses[r % 3]);
        Str.setCell(4, r, "2");
        Str.setCell(5, r, "1,000,000");
    }
    Str.setRowCount(sessions + 1);
    Table StrFull(5);
    FillFull(Str, StrFull, "Total", 0.5);
    ASSERT_EQ(StrFull.rowCount(), 6);
    // Row 1 is the address of r = 1, then r = 2, then r = 3; each has 100000 sessions of 2 minutes.
    EXPECT_EQ(rowsOf(StrFull)[0], (Row { "2:5020/2", "200000", "100000,000,000", "100000", "100000" }));
    EXPECT_EQ(rowsOf(StrFull)[2], (Row { "2:5020/1", "200000", "100000,000,000", "100000", "100000" }));
    // 600000 minutes at 0.5 and 3 * 10^11 bytes.
    EXPECT_EQ(rowsOf(StrFull)[4], (Row { "Total", "600000", "300000,000,000", "300000", "300000" }));
}

TEST(Summary, TallyOfRowsAddedInPiecesWritesTheSummaryOfOneBuild)
{
    // Five addresses in letter cases that fold together, one of them seen once only (its minutes text kept).
    std::vector<Session> sessions;
    const char* addresses[] = { "A", "b", "a", "B", "C", "a", "B", "D", "b", "a" };
    const char* minutes[] = { "1", " 02", "3", "4", "5", "6", "7", "+8", "9", "10" };
    for (int i = 0; i < 10; ++i)
        sessions.push_back({ addresses[i], minutes[i], i % 2 ? "1,000" : "-" });
    const Table Str = detailed(sessions);
    Table whole(5);
    FillFull(Str, whole, "Total", 4.79);
    for (int cut = 1; cut <= 10; ++cut) {
        SCOPED_TRACE(cut);
        SummaryTally tally;
        Table StrFull = staleSummary();
        tally.add(Str, 1, cut + 1);
        tally.write(StrFull, "Total", 4.79); // the window shows the summary after every piece
        tally.add(Str, cut + 1, Str.rowCount());
        tally.write(StrFull, "Total", 4.79);
        EXPECT_EQ(rowsOf(StrFull), rowsOf(whole));
    }
}

TEST(Summary, AGrowingDetailedTableSummedAsItGrows)
{
    // The detailed table as a window following the log sees it: first without sessions (one empty row),
    // then with the sessions appended two at a time; after each step the summary must be that of one build.
    std::vector<Session> sessions;
    const char* addresses[] = { "A", "b", "a", "B", "C", "a" };
    const char* minutes[] = { "1", "2", "3", "4", "5", "6" };
    for (int i = 0; i < 6; ++i)
        sessions.push_back({ addresses[i], minutes[i], i % 2 ? "1,000" : "-" });
    const Table full = detailed(sessions);

    Table Str(7);
    Str.setRowCount(2);
    Str.clearRow(1);
    SummaryTally tally;
    int tallied = 1;
    Table StrFull = staleSummary();
    for (int rows = 0; rows <= 6; rows += 2) {
        SCOPED_TRACE(rows);
        Str.setRowCount(std::max(rows, 1) + 1);
        for (int r = 1; r <= rows; ++r)
            for (int c = 0; c < 7; ++c)
                Str.setCell(c, r, full.cell(c, r));
        FillFull(Str, StrFull, "Total", 4.79, tally, tallied);
        Table whole(5);
        FillFull(Str, whole, "Total", 4.79);
        EXPECT_EQ(rowsOf(StrFull), rowsOf(whole));
        EXPECT_EQ(tallied, rows + 1);
    }
}

TEST(Summary, TalliedInTwoHalvesAsOneByOne)
{
    // Many rows are tallied in two halves on two threads. Each case is built both ways, with the split
    // lowered to every table of two rows or more and with no split, and must give the same summary and the
    // same error. The rows are split at their middle: rows 1 to n/2 and the rest.
    struct HalvesCase {
        const char* name;
        std::vector<Session> sessions;
    };
    const HalvesCase cases[] = {
        { "addresses of both halves, new ones in each",
            { { "A", "1", "100" }, { "b", "2", "-" }, { "B", "3", "1,000" }, { "C", "4", "-" }, { "a", "5", "1" },
                { "D", "6", "2" } } },
        { "one session in each half keeps no text", { { "A", " 01", "-" }, { "A", "+2", "-" } } },
        // Read one by one, the bad first minutes of A are read when A comes again, in the later half.
        { "bad first minutes in the first half, met in the later", { { "A", "x", "-" }, { "A", "1", "-" } } },
        { "bad first minutes of an address first seen in the later half",
            { { "A", "1", "-" }, { "B", "2", "-" }, { "A", "y", "-" }, { "C", "3", "-" } } },
        // The later half's bad size comes after A's bad first minutes are met, so that one is raised.
        { "bad minutes met before a bad size of the later half",
            { { "A", "x", "-" }, { "B", "1", "-" }, { "A", "1", "-" }, { "C", "1", "?" } } },
        { "bad sizes in both halves: the first is raised",
            { { "A", "1", "-" }, { "B", "1", "1x" }, { "C", "1", "-" }, { "D", "1", "2x" } } },
        { "bad size in the later half only", { { "A", "1", "-" }, { "B", "1", "-" }, { "A", "1", "z" } } },
        { "bad minutes of a single session, found for the money",
            { { "A", "1", "-" }, { "B", "", "10" }, { "C", "2", "-" }, { "A", "2", "-" } } },
        // MAX + 1 - 5: one by one the sum stops at MAX, then falls by 5; added in halves it would give MAX - 4.
        { "a sum that stops at the end of the range, then falls",
            { { "A", "9223372036854775807", "-" }, { "B", "1", "-" }, { "A", "1", "-" }, { "A", "-5", "-" } } },
        { "bytes that stop at the end of the range, then fall",
            { { "A", "1", "9223372036854,775,807" }, { "B", "1", "-" }, { "A", "1", "1" }, { "A", "1", "-5" } } },
        { "large sums that stay in the range",
            { { "A", "2305843009213693951", "2305,843,009,213,693,951" },
                { "A", "2305843009213693951", "2305,843,009,213,693,951" } } },
    };
    ScopedLocale locale({ ',', ':' });
    struct Outcome {
        std::vector<Row> rows;
        std::string error;
    };
    const auto build = [](const Table& Str, int splitRows) {
        const int before = SummaryTally::setSplitRows(splitRows);
        Outcome outcome;
        Table StrFull = staleSummary();
        try {
            FillFull(Str, StrFull, "Total", 4.79);
        } catch (const ConvertError& e) {
            outcome.error = e.what();
        }
        SummaryTally::setSplitRows(before);
        outcome.rows = rowsOf(StrFull);
        return outcome;
    };
    std::vector<HalvesCase> all(std::begin(cases), std::end(cases));
    for (const SummaryCase& c : kSummaryCases)
        all.push_back({ c.name, c.sessions });
    for (const HalvesCase& c : all) {
        SCOPED_TRACE(c.name);
        const Table Str = detailed(c.sessions);
        const Outcome oneByOne = build(Str, std::numeric_limits<int>::max());
        const Outcome halves = build(Str, 2);
        EXPECT_EQ(halves.rows, oneByOne.rows);
        EXPECT_EQ(halves.error, oneByOne.error);
    }
    // The cases above reach what they are about: the errors and the stopped sum are there.
    EXPECT_EQ(build(detailed(cases[2].sessions), 2).error, "'x' is not a valid integer value");
    EXPECT_EQ(build(detailed(cases[4].sessions), 2).error, "'x' is not a valid integer value");
    EXPECT_EQ(build(detailed(cases[5].sessions), 2).error, "'1x' is not a valid integer value");
    EXPECT_EQ(build(detailed(cases[8].sessions), 2).rows[0][1], "9223372036854775802");
    EXPECT_EQ(build(detailed(cases[9].sessions), 2).rows[0][2], "9223372036854,775,802");
}

TEST(Summary, ThousandsOfAddressesEachFoundAgain)
{
    // 5,000 addresses, each first as "Node<i>" and later as "NODE<i>", in two passes: every one is a row of
    // its own with two sessions, in order of first appearance and spelled as first seen, however large the
    // look-up of the addresses has grown.
    constexpr int kAddresses = 5000;
    std::vector<std::string> names;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < kAddresses; ++i)
            names.push_back((pass == 0 ? "Node" : "NODE") + std::to_string(i));
    }
    std::vector<Session> sessions;
    for (const std::string& name : names)
        sessions.push_back({ name.c_str(), "1", "-" });
    const Table Str = detailed(sessions);
    Table StrFull(5);
    FillFull(Str, StrFull, "Total", 1);
    const std::vector<Row> rows = rowsOf(StrFull);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kAddresses) + 2);
    for (int i = 0; i < kAddresses; ++i)
        ASSERT_EQ(rows[static_cast<size_t>(i)], (Row { "Node" + std::to_string(i), "2", "-", "2", "2" }));
    EXPECT_EQ(rows.back(), (Row { "Total", "10000", "-", "10000", "10000" }));
}
