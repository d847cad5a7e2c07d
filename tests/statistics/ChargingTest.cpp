#include "statistics/Charging.h"

#include "platform/Clock.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "statistics/LogDate.h"
#include "statistics/Table.h"
#include "support/TestSupport.h"

#include <cmath>
#include <limits>

using namespace velmar;

namespace {

// A date-time as the session extraction builds it from the date and time texts of a log line.
double at(const char* date, const char* time)
{
    return VelmarToDate(date) + toTimeOfDay(time, ':');
}

struct SumCase {
    const char* name;
    int64_t seconds; // the whole seconds between start and end
    int32_t offset;
    int64_t minutes;
};

// Sums of 60 seconds or less cost one minute, longer ones are rounded up to whole minutes.
const SumCase kSumCases[] = {
    { "zero", 0, 0, 1 },
    { "one second", 1, 0, 1 },
    { "exactly a minute", 60, 0, 1 },
    { "a second over a minute", 61, 0, 2 },
    { "two minutes", 120, 0, 2 },
    { "a second over two minutes", 121, 0, 3 },
    { "an hour", 3600, 0, 60 },
    { "a second over an hour", 3601, 0, 61 },
    { "offset 30 plus 31 seconds is 61", 31, 30, 2 },
    { "offset -100 plus 90 seconds is negative", 90, -100, 1 },
    { "offset alone, 60", 0, 60, 1 },
    { "offset alone, 61", 0, 61, 2 },
    { "offset alone, 120", 0, 120, 2 },
    { "most negative offset", 10, std::numeric_limits<int32_t>::min(), 1 },
    // 2^31 - 1 + 0 seconds: 35791394 whole minutes and 7 seconds, so one more.
    { "largest offset", 0, std::numeric_limits<int32_t>::max(), 35791395 },
};

} // namespace

TEST(Charging, MinutesFromSecondsAndOffset)
{
    ScopedYear year(2026);
    const double start = at("12-Mar-2003", "00:00:00");
    for (const SumCase& c : kSumCases) {
        SCOPED_TRACE(c.name);
        const double end = start + static_cast<double>(c.seconds) / 86400.0;
        EXPECT_EQ(sessionMinutes(start, end, c.offset), c.minutes);
        // The order of start and end does not matter.
        EXPECT_EQ(sessionMinutes(end, start, c.offset), c.minutes);
    }
}

TEST(Charging, SessionsFromLogTimes)
{
    ScopedYear year(2026);
    struct LogCase {
        const char* name;
        const char* startDate;
        const char* startTime;
        const char* endDate;
        const char* endTime;
        int32_t offset;
        int64_t minutes;
    };
    const LogCase cases[] = {
        // 61 seconds. Before the end of 1989 the stored values give a product just below 61, which a
        // truncation would turn into 60 seconds and 1 minute.
        { "61 seconds in 1982", "16-Feb-1982", "10:00:00", "16-Feb-1982", "10:01:01", 0, 2 },
        { "61 seconds in 2003", "12-Mar-2003", "10:00:00", "12-Mar-2003", "10:01:01", 0, 2 },
        // 23:59:30 to 00:00:40 next day is 70 seconds.
        { "across midnight", "12-Mar-2003", "23:59:30", "13-Mar-2003", "00:00:40", 0, 2 },
        // 31 December to 1 January, 10 minutes exactly.
        { "across the new year", "31-Dec-2003", "23:55:00", "1-Jan-2004", "00:05:00", 0, 10 },
        { "end before start", "12-Mar-2003", "10:05:00", "12-Mar-2003", "10:00:00", 0, 5 },
        { "same instant", "12-Mar-2003", "10:00:00", "12-Mar-2003", "10:00:00", 0, 1 },
        { "an offset adds", "12-Mar-2003", "10:00:00", "12-Mar-2003", "10:00:59", 2, 2 },
    };
    for (const LogCase& c : cases) {
        SCOPED_TRACE(c.name);
        const double start = at(c.startDate, c.startTime);
        const double end = at(c.endDate, c.endTime);
        EXPECT_EQ(sessionMinutes(start, end, c.offset), c.minutes);
    }
    // The 1982 row really meets a product below the whole second.
    const double start = at("16-Feb-1982", "10:00:00");
    EXPECT_LT((at("16-Feb-1982", "10:01:01") - start) * 86400.0, 61.0);
}

TEST(Charging, AbsurdIntervalsDoNotOverflow)
{
    // 10000 years of seconds fit a 64-bit count; an infinite or undefined interval is capped.
    EXPECT_EQ(sessionMinutes(-693593, 2958465, std::numeric_limits<int32_t>::max()),
        (int64_t { 3652058 } * 86400 + std::numeric_limits<int32_t>::max() + 59) / 60);
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(sessionMinutes(0, INFINITY, 100), kMax / 60 + (kMax % 60 != 0 ? 1 : 0));
    EXPECT_EQ(sessionMinutes(0, NAN, 0), 1);
}

TEST(Charging, MoneyTexts)
{
    struct MoneyCase {
        const char* name;
        double tariff;
        double minutes;
        const char* comma; // under a comma decimal separator
        const char* point;
    };
    const MoneyCase cases[] = {
        { "4.79 times 3", 4.79, 3, "14,37", "14.37" },
        { "4.79 times 5", 4.79, 5, "23,95", "23.95" },
        { "whole tariff has no separator", 2, 3, "6", "6" },
        { "no tariff", 0, 7, "0", "0" },
        { "below one", 0.25, 1, "0,25", "0.25" },
        { "15 significant digits", 0.1, 3, "0,3", "0.3" },
    };
    for (const MoneyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const double money = TimetoMoney(c.minutes, c.tariff);
        {
            ScopedLocale locale({ ',', ':' });
            EXPECT_EQ(moneyText(money), c.comma);
        }
        {
            ScopedLocale locale({ '.', ':' });
            EXPECT_EQ(moneyText(money), c.point);
        }
    }
}

TEST(Charging, FillTimeWritesMinutesAndMoney)
{
    ScopedYear year(2026);
    ScopedLocale locale({ ',', ':' });
    Table Str(7);
    Str.setCell(0, 3, "12-Mar-2003");
    Str.setCell(5, 3, "1,000");
    // 2 minutes 1 second plus an offset of 0: 3 minutes at 4.79.
    FillTime(Str, 3, at("12-Mar-2003", "10:00:00"), at("12-Mar-2003", "10:02:01"), Charge { 0, 4.79 });
    EXPECT_EQ(Str.cell(4, 3), "3");
    EXPECT_EQ(Str.cell(6, 3), "14,37");
    // The other cells of the row are left alone.
    EXPECT_EQ(Str.cell(0, 3), "12-Mar-2003");
    EXPECT_EQ(Str.cell(5, 3), "1,000");

    // Minutes beyond 32 bits are written in full: 3000000000 minutes less 59 seconds.
    FillTime(Str, 1, 0, 3000000000.0 * 60 / 86400 - 59.0 / 86400, Charge { 0, 1 });
    EXPECT_EQ(Str.cell(4, 1), "3000000000");
    EXPECT_EQ(Str.cell(6, 1), "3000000000");
}

TEST(Charging, MoneyThatIsNoFiniteNumberIsRefused)
{
    ScopedLocale locale({ '.', ':' });
    const double most = std::numeric_limits<double>::max();
    const struct Case {
        const char* name;
        double minutes;
        double tariff;
        const char* money; // nullptr: "Floating point overflow"
    } cases[] = {
        { "the largest tariff for one minute", 1, most, "1.79769313486232E308" },
        // Twice the largest double is beyond it.
        { "the largest tariff for two minutes", 2, most, nullptr },
        { "a large tariff for many minutes", 3e9, 1e300, nullptr },
        { "a negative overflow", 2, -most, nullptr },
        { "an ordinary charge", 3, 4.79, "14.37" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double money = TimetoMoney(c.minutes, c.tariff);
        if (c.money)
            EXPECT_EQ(moneyText(money), c.money);
        else
            EXPECT_THROW_MSG(moneyText(money), ConvertError, "Floating point overflow");
    }
}

TEST(Charging, TheChargeOfASessionIsTheSameForTheTableAndTheRebuild)
{
    ScopedYear year(2026);
    ScopedLocale locale({ ',', ':' });
    const Charge charge { 30, 4.79 };
    MoneyTexts money(charge.tarifPerMin);
    // 2 minutes 1 second plus 30 seconds: 3 minutes, 14,37.
    const SessionCharge session
        = chargeSession(at("12-Mar-2003", "10:00:00"), at("12-Mar-2003", "10:02:01"), charge, money);
    EXPECT_EQ(session.minutes, 3);
    EXPECT_EQ(session.minutesText, "3");
    EXPECT_EQ(session.money, "14,37");
    Table Str(7);
    FillTime(Str, 1, at("12-Mar-2003", "10:00:00"), at("12-Mar-2003", "10:02:01"), charge);
    EXPECT_EQ(Str.cell(4, 1), session.minutesText);
    EXPECT_EQ(Str.cell(6, 1), session.money);
}
