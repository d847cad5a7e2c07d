#include "statistics/ChartFigures.h"

#include "platform/Clock.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "statistics/LogDate.h"
#include "statistics/Table.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

using namespace velmar;

namespace {

struct Session {
    const char* date;
    const char* start;
    const char* address;
    const char* minutes;
    const char* money;
};

Table detailed(const std::vector<Session>& sessions)
{
    Table Str(7);
    int r = 1;
    for (const Session& s : sessions) {
        const std::string_view row[] = { s.date, s.start, "23:59:59", s.address, s.minutes, "-", s.money };
        Str.setRow(r++, row);
    }
    Str.setRowCount(r);
    return Str;
}

// "Sen 2003: 12 min, 7.5 money, 2 sessions" - one text per month, so that a failure shows them all.
std::vector<std::string> monthsOf(const ChartFigures& f)
{
    std::vector<std::string> out;
    for (const MonthFigure& m : f.months)
        out.push_back(monthLabel(m.year, m.month) + ": " + std::to_string(m.minutes) + " min, "
            + formatFloat(m.money, '.') + " money, " + std::to_string(m.sessions) + " sessions");
    return out;
}

std::vector<std::string> addressesOf(const ChartFigures& f)
{
    std::vector<std::string> out;
    for (const AddressFigure& a : f.topAddresses)
        out.push_back(a.address + " " + formatFloat(a.money, '.') + " x" + std::to_string(a.sessions));
    if (f.restAddresses > 0)
        out.push_back("rest of " + std::to_string(f.restAddresses) + " " + formatFloat(f.restMoney, '.') + " x"
            + std::to_string(f.restSessions));
    return out;
}

struct MonthCase {
    const char* name;
    std::vector<Session> sessions;
    std::vector<std::string> months;
};

// Under a point decimal separator and the year 2010.
const MonthCase kMonthCases[] = {
    { "no sessions", {}, {} },
    { "one session", { { "12-Sen-2003", "10:00:00", "A", "3", "14.37" } },
        { "Sen 2003: 3 min, 14.37 money, 1 sessions" } },
    // 2 + 5 minutes and 1.5 + 2.25 money in November; December alone.
    { "two months",
        { { "1-Nob-2003", "10:00:00", "A", "2", "1.5" }, { "30-Nob-2003", "10:00:00", "B", "5", "2.25" },
            { "1-Dec-2003", "10:00:00", "A", "1", "1" } },
        { "Nob 2003: 7 min, 3.75 money, 2 sessions", "Dec 2003: 1 min, 1 money, 1 sessions" } },
    // October 2003 to January 2004: November and December have no sessions but are shown empty.
    { "empty months between are listed",
        { { "31-Okt-2003", "10:00:00", "A", "1", "1" }, { "2-Jan-2004", "10:00:00", "A", "2", "2" } },
        { "Okt 2003: 1 min, 1 money, 1 sessions", "Nob 2003: 0 min, 0 money, 0 sessions",
            "Dec 2003: 0 min, 0 money, 0 sessions", "Jan 2004: 2 min, 2 money, 1 sessions" } },
    // The log is not in calendar order after a clock change; the bars are.
    { "calendar order, not log order",
        { { "1-Feb-2004", "10:00:00", "A", "1", "1" }, { "1-Jan-2004", "10:00:00", "A", "1", "1" } },
        { "Jan 2004: 1 min, 1 money, 1 sessions", "Feb 2004: 1 min, 1 money, 1 sessions" } },
    // 03 is 2003 in the window 1960-2059 of the year 2010.
    { "two-digit year", { { "5-Mar-03", "10:00:00", "A", "1", "1" }, { "5-Mar-2003", "10:00:00", "A", "1", "1" } },
        { "Mar 2003: 2 min, 2 money, 2 sessions" } },
    // January 1900 to February 2100 is 2402 months, beyond the 1200 listed with their empty months.
    { "a span of over a hundred years lists only months with sessions",
        { { "1-Jan-1900", "10:00:00", "A", "1", "1" }, { "1-Feb-2100", "10:00:00", "A", "1", "1" } },
        { "Jan 1900: 1 min, 1 money, 1 sessions", "Feb 2100: 1 min, 1 money, 1 sessions" } },
};

TEST(ChartFigures, MoneyMinutesAndSessionsOfEveryCalendarMonth)
{
    ScopedLocale locale({ '.', ':' });
    ScopedYear year(2010);
    for (const MonthCase& c : kMonthCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(monthsOf(chartFigures(detailed(c.sessions))), c.months);
    }
}

TEST(ChartFigures, DateWithoutYearIsInTheCurrentYear)
{
    ScopedLocale locale({ '.', ':' });
    ScopedYear year(2010);
    // December 2009 and June 2010 (the current year): seven months listed, June last.
    const ChartFigures f = chartFigures(
        detailed({ { "5-Dec-2009", "10:00:00", "A", "1", "1" }, { "7-Jun", "10:00:00", "A", "4", "4" } }));
    ASSERT_EQ(f.months.size(), 7u);
    EXPECT_EQ(monthsOf(f).back(), "Jun 2010: 4 min, 4 money, 1 sessions");
}

struct AddressCase {
    const char* name;
    std::vector<Session> sessions;
    std::vector<std::string> addresses;
};

std::vector<Session> oneSessionEach(int count)
{
    // Address i costs i money: "1" to "<count>", so the most expensive come last in the log.
    static std::vector<std::string> names;
    static std::vector<std::string> money;
    names.clear();
    money.clear();
    for (int i = 1; i <= count; ++i) {
        names.push_back("2:5020/" + std::to_string(i));
        money.push_back(std::to_string(i));
    }
    std::vector<Session> out;
    for (int i = 0; i < count; ++i)
        out.push_back({ "1-Jan-2004", "10:00:00", names[i].c_str(), "1", money[i].c_str() });
    return out;
}

const AddressCase kAddressCases[] = {
    { "one address", { { "1-Jan-2004", "10:00:00", "2:5020/1", "1", "2.5" } }, { "2:5020/1 2.5 x1" } },
    // A: 1 + 3 = 4, B: 2; letter case ignored, the first spelling kept.
    { "summed, case ignored, most money first",
        { { "1-Jan-2004", "10:00:00", "2:5020/AbC", "1", "1" }, { "1-Jan-2004", "10:00:00", "B", "1", "2" },
            { "1-Jan-2004", "10:00:00", "2:5020/abc", "1", "3" } },
        { "2:5020/AbC 4 x2", "B 2 x1" } },
    { "ties keep log order",
        { { "1-Jan-2004", "10:00:00", "B", "1", "1" }, { "1-Jan-2004", "10:00:00", "A", "1", "1" } },
        { "B 1 x1", "A 1 x1" } },
    // Ten addresses exactly: nothing is left for the rest bar.
    { "ten addresses, no rest", oneSessionEach(10),
        { "2:5020/10 10 x1", "2:5020/9 9 x1", "2:5020/8 8 x1", "2:5020/7 7 x1", "2:5020/6 6 x1", "2:5020/5 5 x1",
            "2:5020/4 4 x1", "2:5020/3 3 x1", "2:5020/2 2 x1", "2:5020/1 1 x1" } },
};

TEST(ChartFigures, TopAddressesByMoney)
{
    ScopedLocale locale({ '.', ':' });
    for (const AddressCase& c : kAddressCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(addressesOf(chartFigures(detailed(c.sessions))), c.addresses);
    }
}

TEST(ChartFigures, AddressesBeyondTheTopTenAreSummedAsTheRest)
{
    ScopedLocale locale({ '.', ':' });
    // 13 addresses costing 1 to 13: the top ten are 13 down to 4; the rest 1 + 2 + 3 = 6 from 3 addresses.
    const ChartFigures f = chartFigures(detailed(oneSessionEach(13)));
    ASSERT_EQ(f.topAddresses.size(), 10u);
    EXPECT_EQ(f.topAddresses.front().address, "2:5020/13");
    EXPECT_EQ(f.topAddresses.back().address, "2:5020/4");
    EXPECT_EQ(f.restAddresses, 3);
    EXPECT_EQ(f.restSessions, 3);
    EXPECT_DOUBLE_EQ(f.restMoney, 6.0);
    EXPECT_EQ(f.sessions, 13);
}

TEST(ChartFigures, SessionsByHourOfTheirStart)
{
    ScopedLocale locale({ ',', ':' });
    // 00:00:00 and 00:59:59 are hour 0, 01:00:00 hour 1, 23:59:59 hour 23; money with a comma.
    const ChartFigures f = chartFigures(
        detailed({ { "1-Jan-2004", "00:00:00", "A", "1", "0,5" }, { "1-Jan-2004", "00:59:59", "A", "1", "0,5" },
            { "1-Jan-2004", "01:00:00", "A", "1", "0,5" }, { "1-Jan-2004", "23:59:59", "A", "1", "0,5" } }));
    std::array<int64_t, 24> expected {};
    expected[0] = 2;
    expected[1] = 1;
    expected[23] = 1;
    EXPECT_EQ(f.sessionsByHour, expected);
    ASSERT_EQ(f.topAddresses.size(), 1u);
    EXPECT_DOUBLE_EQ(f.topAddresses[0].money, 2.0);
}

TEST(ChartFigures, CellsThatDoNotReadBackRaiseTheirError)
{
    ScopedLocale locale({ '.', ':' });
    struct Bad {
        const char* name;
        Session session;
        const char* message;
    } const cases[] = {
        { "date", { "31-Feb-2004", "10:00:00", "A", "1", "1" }, "'31-02-2004' is not a valid date" },
        { "minutes", { "1-Jan-2004", "10:00:00", "A", "x", "1" }, "'x' is not a valid integer value" },
        // A comma is not the decimal separator here.
        { "money", { "1-Jan-2004", "10:00:00", "A", "1", "1,5" }, "'1,5' is not a valid floating point value" },
        { "time", { "1-Jan-2004", "25:00:00", "A", "1", "1" }, "'25:00:00' is not a valid time" },
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW_MSG(chartFigures(detailed({ c.session })), ConvertError, c.message);
    }
}

TEST(LogDate, CalendarDateIsTheInverseOfDateValue)
{
    // Every day of 1600 to 2400 and back: leap days, century years and the epoch itself.
    for (int year : { 1, 1600, 1899, 1900, 2000, 2003, 2004, 2100, 2400, 9999 }) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 28; day += 27) {
                int y = 0, m = 0, d = 0;
                calendarDate(dateValue(year, month, day) + 0.75, y, m, d);
                ASSERT_EQ(y * 10000 + m * 100 + d, year * 10000 + month * 100 + day);
            }
        }
    }
    int y = 0, m = 0, d = 0;
    calendarDate(0.0, y, m, d); // the epoch: 30 December 1899
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991230);
    calendarDate(dateValue(2004, 2, 29), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20040229);
    EXPECT_EQ(monthWord(9), "Sen");
    EXPECT_EQ(monthWord(13), "");
    EXPECT_EQ(monthLabel(2003, 9), "Sen 2003");
}

} // namespace

namespace {

TEST(ChartTally, RowsAddedInPiecesGiveTheFiguresOfOneTally)
{
    ScopedLocale locale({ '.', ':' });
    // 40 sessions over 7 addresses and three months; every way of cutting them in two and in pieces of 3.
    std::vector<std::string> text;
    std::vector<Session> sessions;
    text.reserve(200);
    for (int i = 0; i < 40; ++i) {
        text.push_back(std::to_string(1 + i % 28) + (i < 15 ? "-Sen-2003" : i < 30 ? "-Okt-2003" : "-Dec-2003"));
        text.push_back((i % 24 < 10 ? "0" : "") + std::to_string(i % 24) + ":30:00");
        text.push_back("2:5020/" + std::to_string(i % 7));
        text.push_back(std::to_string(1 + i % 5));
        text.push_back(std::to_string(i % 5) + ".25");
    }
    for (size_t i = 0; i < text.size(); i += 5)
        sessions.push_back(
            { text[i].c_str(), text[i + 1].c_str(), text[i + 2].c_str(), text[i + 3].c_str(), text[i + 4].c_str() });
    const Table Str = detailed(sessions);
    const ChartFigures whole = chartFigures(Str);
    ASSERT_EQ(whole.months.size(), 4u); // Sen, Okt, the empty Nob, Dec

    std::vector<std::vector<int>> cuttings = { { 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39 } };
    for (int cut = 1; cut <= 40; ++cut)
        cuttings.push_back({ cut });
    for (const std::vector<int>& cuts : cuttings) {
        SCOPED_TRACE(cuts.front());
        ChartTally tally;
        int from = 1;
        for (int cut : cuts) {
            tally.add(Str, from, cut + 1);
            from = cut + 1;
        }
        tally.add(Str, from, Str.rowCount());
        const ChartFigures pieces = tally.figures();
        EXPECT_EQ(monthsOf(pieces), monthsOf(whole));
        EXPECT_EQ(addressesOf(pieces), addressesOf(whole));
        EXPECT_EQ(pieces.sessionsByHour, whole.sessionsByHour);
    }
}

} // namespace
