#include "statistics/LogDate.h"

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "support/TestSupport.h"

#include <optional>

using namespace velmar;

namespace {

struct DateCase {
    const char* name;
    const char* text;
    std::optional<double> value; // nullopt: refused
    const char* rebuilt; // the text the refusal quotes
};

// Values are days since 30 December 1899; every expected value is built from dateValue, whose anchors
// are checked on their own below. All rows run in the year 2026.
const DateCase kDateCases[] = {
    { "month word Sen is September", "5-Sen-2003", dateValue(2003, 9, 5), nullptr },
    { "Sep is not a month word", "5-Sep-2003", std::nullopt, "5-Sep-2003" },
    { "Oct is not a month word", "1-Oct-2003", std::nullopt, "1-Oct-2003" },
    { "Nov is not a month word", "1-Nov-2003", std::nullopt, "1-Nov-2003" },
    { "month words are case-sensitive", "1-jan-2003", std::nullopt, "1-jan-2003" },
    { "Okt and Nob", "30-Okt-2003", dateValue(2003, 10, 30), nullptr },
    { "Nob", "1-Nob-2003", dateValue(2003, 11, 1), nullptr },
    { "Dec", "31-Dec-1999", dateValue(1999, 12, 31), nullptr },
    // Window of 2026: 1976..2075. 03 + 1900 = 1903 < 1976, so 2003; 75 + 1900 < 1976, so 2075; 76 stays 1976.
    { "two-digit year 03 in 2026", "1-Nob-03", dateValue(2003, 11, 1), nullptr },
    { "two-digit year 75 in 2026", "1-Okt-75", dateValue(2075, 10, 1), nullptr },
    { "two-digit year 76 in 2026", "1-Okt-76", dateValue(1976, 10, 1), nullptr },
    { "one-digit year", "1-Jan-5", dateValue(2005, 1, 1), nullptr },
    { "three digits are a full year", "1-Jan-005", dateValue(5, 1, 1), nullptr },
    { "31 February refused", "31-Feb-2003", std::nullopt, "31-02-2003" },
    { "29 February of a leap year", "29-Feb-2004", dateValue(2004, 2, 29), nullptr },
    { "29 February of 1900 refused (not a leap year)", "29-Feb-1900", std::nullopt, "29-02-1900" },
    { "29 February of 2000 (leap year)", "29-Feb-2000", dateValue(2000, 2, 29), nullptr },
    { "day 0 refused", "0-Mar-2003", std::nullopt, "0-03-2003" },
    { "year 0 refused", "1-Mar-0000", std::nullopt, "1-03-0000" },
    { "year 9999", "31-Dec-9999", dateValue(9999, 12, 31), nullptr },
    { "before the epoch is negative", "1-Jan-1899", dateValue(1899, 1, 1), nullptr },
    // "Mar" has no hyphen: its first three characters are the month word, "03" lacks a month.
    { "month word alone", "Mar", std::nullopt, "03" },
    { "empty text", "", std::nullopt, "" },
    { "spaces before numbers and separators", " 5 -Mar - 2003 ", dateValue(2003, 3, 5), nullptr },
    // The month word is the three characters right after the hyphen, here " Ma".
    { "a space after the first hyphen hides the month", " 5 - Mar - 2003", std::nullopt, " 5 - Mar - 2003" },
    { "trailing separator after the year", "5-Mar-2003-", dateValue(2003, 3, 5), nullptr },
    { "trailing separator and spaces", "5-Mar-2003 -  ", dateValue(2003, 3, 5), nullptr },
    { "two trailing separators refused", "5-Mar-2003--", std::nullopt, "5-03-2003--" },
    { "missing year is the current one", "5-Mar", dateValue(2026, 3, 5), nullptr },
    { "hyphen without year refused", "5-Mar-", std::nullopt, "5-03-" },
    { "leading zeros of the day", "0005-Mar-2003", dateValue(2003, 3, 5), nullptr },
    // Digits are taken while the value is below 1000: 10000 leaves its last 0 unread.
    { "a five-digit year refused", "5-Mar-10000", std::nullopt, "5-03-10000" },
    { "four-digit year 1000 rule", "5-Mar-9999", dateValue(9999, 3, 5), nullptr },
    { "a letter after the year refused", "5-Mar-2003x", std::nullopt, "5-03-2003x" },
    { "month word in the wrong place", "Mar-5-2003", std::nullopt, "Mar-5-2003" },
};

} // namespace

TEST(LogDate, DateTexts)
{
    ScopedYear year(2026);
    for (const DateCase& c : kDateCases) {
        SCOPED_TRACE(c.name);
        if (c.value)
            EXPECT_EQ(VelmarToDate(c.text), *c.value);
        else
            EXPECT_THROW_MSG(
                VelmarToDate(c.text), ConvertError, std::string("'") + c.rebuilt + "' is not a valid date");
    }
}

TEST(LogDate, TwoDigitYearsFollowTheClock)
{
    // In 2060 the window is 2010..2109: 03 becomes 2103, 10 stays 2010.
    ScopedYear year(2060);
    EXPECT_EQ(VelmarToDate("1-Jan-03"), dateValue(2103, 1, 1));
    EXPECT_EQ(VelmarToDate("1-Jan-10"), dateValue(2010, 1, 1));
    EXPECT_EQ(VelmarToDate("1-Jan"), dateValue(2060, 1, 1));
}

TEST(LogDate, DateValueAnchors)
{
    struct Anchor {
        int year, month, day;
        double value;
    };
    // Day 0 is 30 December 1899; 1900 was no leap year; the others are well-known serial dates.
    const Anchor anchors[] = {
        { 1899, 12, 30, 0 },
        { 1899, 12, 31, 1 },
        { 1900, 1, 1, 2 },
        { 1899, 12, 29, -1 },
        { 1900, 3, 1, 61 },
        { 2000, 1, 1, 36526 },
        { 2003, 3, 12, 37692 },
        { 1, 1, 1, -693593 },
        { 9999, 12, 31, 2958465 },
    };
    for (const Anchor& a : anchors) {
        SCOPED_TRACE(testing::Message() << a.year << "-" << a.month << "-" << a.day);
        EXPECT_EQ(dateValue(a.year, a.month, a.day), a.value);
    }
    EXPECT_EQ(VelmarToDate("12-Mar-2003"), 37692);
}
