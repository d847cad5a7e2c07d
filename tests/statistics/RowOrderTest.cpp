#include "statistics/RowOrder.h"

#include "platform/Locale.h"
#include "statistics/Table.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// A one-column table whose rows 1..n hold the texts.
Table columnOf(const std::vector<std::string>& texts)
{
    Table table(1);
    table.setRowCount(static_cast<int>(texts.size()) + 1);
    table.setCell(0, 0, "header");
    for (size_t i = 0; i < texts.size(); ++i)
        table.setCell(0, static_cast<int>(i) + 1, texts[i]);
    return table;
}

struct Case {
    const char* name;
    SortKind kind;
    std::vector<std::string> texts; // rows 1, 2, 3, ...
    std::vector<int> ascending; // table rows in ascending order
};

// Each expectation is the rows read by hand in the order of their values; equal keys keep table order.
const Case kCases[] = {
    // As text "9" > "10" > "100"; as numbers 9 < 10 < 100.
    { "minutes as numbers", SortKind::Count, { "10", "9", "100", "1" }, { 4, 2, 1, 3 } },
    // The separators are no part of the number: 1,000 is a thousand, "-" nothing at all.
    { "size texts with separators", SortKind::Size, { "1,000", "999", "-", "2,000,000", "1234,567,890" },
        { 3, 2, 1, 4, 5 } },
    // The locale of this table is a comma: "4,79" is below "12", "47,9" above.
    { "money with the locale's comma", SortKind::Money, { "47,9", "4,79", "12", "0,5" }, { 4, 2, 3, 1 } },
    // Month words of the log (Sen, Okt, Nob): 30-Sen before 1-Okt before 27-Nob, then the next year.
    { "dates by the log's month words", SortKind::Date, { "27-Nob-2003", "1-Okt-2003", "30-Sen-2003", "2-Jan-2004" },
        { 3, 2, 1, 4 } },
    // Day 9 before day 10 although "9" > "1" as text.
    { "dates by day", SortKind::Date, { "10-Dec-2003", "9-Dec-2003" }, { 2, 1 } },
    { "times", SortKind::Time, { "23:59:59", "9:05:00", "10:00:00", "09:04:59" }, { 4, 2, 3, 1 } },
    // Letter case does not count; equal addresses keep their order.
    { "addresses without case", SortKind::Address, { "2:5020/b", "2:5020/A", "2:5020/a", "1:1/1" }, { 4, 2, 3, 1 } },
    // A damaged or empty cell sorts first instead of stopping the sort.
    { "unreadable first", SortKind::Count, { "5", "", "x", "1" }, { 2, 3, 4, 1 } },
    { "repeated dates keep table order", SortKind::Date, { "2-Jan-2004", "1-Jan-2004", "1-Jan-2004", "2-Jan-2004" },
        { 2, 3, 1, 4 } },
};

TEST(RowOrder, EachKindSortsByItsValue)
{
    const ScopedLocale comma({ ',', ':' });
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const Table table = columnOf(c.texts);
        const int last = static_cast<int>(c.texts.size());
        EXPECT_EQ(sortedRows(table, 0, c.kind, 1, last, false), c.ascending);
    }
}

TEST(RowOrder, DescendingReversesButKeepsEqualKeysInTableOrder)
{
    struct Reversed {
        const char* name;
        SortKind kind;
        std::vector<std::string> texts;
        std::vector<int> descending;
    };
    const Reversed cases[] = {
        { "numbers", SortKind::Count, { "10", "9", "100" }, { 3, 1, 2 } },
        // Rows 1 and 3 are equal: 1 stays before 3 in either direction.
        { "ties stable", SortKind::Address, { "b", "a", "B" }, { 1, 3, 2 } },
    };
    for (const Reversed& c : cases) {
        SCOPED_TRACE(c.name);
        const Table table = columnOf(c.texts);
        EXPECT_EQ(sortedRows(table, 0, c.kind, 1, static_cast<int>(c.texts.size()), true), c.descending);
    }
}

TEST(RowOrder, OnlyTheGivenRowsAreOrdered)
{
    // Rows 1..3 of five: the summary's empty and total rows (4 and 5) are left out by the caller.
    const Table table = columnOf({ "3", "1", "2", "", "6" });
    EXPECT_EQ(sortedRows(table, 0, SortKind::Count, 1, 3, false), (std::vector<int> { 2, 3, 1 }));
    EXPECT_TRUE(sortedRows(table, 0, SortKind::Count, 3, 2, false).empty());
}

TEST(RowOrder, ColumnKindsOfBothTables)
{
    const SortKind detailed[] = { SortKind::Date, SortKind::Time, SortKind::Time, SortKind::Address, SortKind::Count,
        SortKind::Size, SortKind::Money };
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(detailedColumnKind(c), detailed[c]) << c;
    const SortKind summary[] = { SortKind::Address, SortKind::Count, SortKind::Size, SortKind::Money, SortKind::Count };
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(summaryColumnKind(c), summary[c]) << c;
}

// Rows appended later and put into the order one by one: for every case above, every split into rows
// known before and rows appended, in both directions, the order must be the one a sort of all rows gives
// (worked out by sortedRows itself, whose cases above are checked by hand).
TEST(RowOrder, AppendedRowsTakeThePlaceASortOfAllGivesThem)
{
    const ScopedLocale comma({ ',', ':' });
    for (const Case& c : kCases) {
        const Table table = columnOf(c.texts);
        const int last = static_cast<int>(c.texts.size());
        for (int known = 0; known <= last; ++known) {
            for (bool descending : { false, true }) {
                SCOPED_TRACE(std::string(c.name) + ", rows known " + std::to_string(known)
                    + (descending ? ", descending" : ", ascending"));
                std::vector<int> order = sortedRows(table, 0, c.kind, 1, known, descending);
                insertSortedRows(table, 0, c.kind, order, known + 1, last, descending);
                EXPECT_EQ(order, sortedRows(table, 0, c.kind, 1, last, descending));
            }
        }
    }
}

} // namespace
} // namespace velmar
