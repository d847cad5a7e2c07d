#include "statistics/DayList.h"

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "support/TestSupport.h"

#include <cctype>
#include <string>

using namespace velmar;

namespace {

using Items = std::vector<std::string>;

const Items kDays = { "1-Mar-2003", "2-Mar-2003", "3-Mar-2003", "4-Mar-2003", "5-Mar-2003" };

} // namespace

TEST(DayList, KeepsFirstCountedOrderAndIgnoresLetterCase)
{
    DayList days;
    EXPECT_TRUE(days.add("2-Mar-2003"));
    EXPECT_TRUE(days.add("1-Mar-2003"));
    EXPECT_FALSE(days.add("2-Mar-2003"));
    EXPECT_FALSE(days.add("2-MAR-2003")); // the same day in other letters
    EXPECT_TRUE(days.add("2-Mar-03")); // another text of the same day is another item
    EXPECT_EQ(days.items(), (Items { "2-Mar-2003", "1-Mar-2003", "2-Mar-03" }));
    EXPECT_TRUE(days.contains("1-mar-2003"));
    EXPECT_FALSE(days.contains("3-Mar-2003"));
    EXPECT_FALSE(days.contains(""));
}

// A log of decades lists thousands of days; the look-up grows many times on the way. Every day is listed
// once, in the order first counted, whatever letters it comes in later, and every one is found again.
TEST(DayList, ThousandsOfDaysAreEachListedOnce)
{
    DayList days;
    Items expected;
    const char* const months[] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sen", "Okt", "Nob", "Dec" };
    for (int year = 1990; year < 2020; ++year) {
        for (const char* month : months) {
            for (int day = 1; day <= 28; ++day)
                expected.push_back(std::to_string(day) + "-" + month + "-" + std::to_string(year));
        }
    }
    for (const std::string& day : expected)
        ASSERT_TRUE(days.add(day)) << day;
    struct Case {
        const char* name;
        std::string (*spell)(std::string);
    };
    const Case cases[] = {
        { "as first counted", [](std::string day) { return day; } },
        { "in capitals",
            [](std::string day) {
                for (char& c : day)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                return day;
            } },
        { "in small letters",
            [](std::string day) {
                for (char& c : day)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                return day;
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t added = 0;
        size_t found = 0;
        for (const std::string& day : expected) {
            added += days.add(c.spell(day));
            found += days.contains(c.spell(day));
        }
        EXPECT_EQ(added, 0u);
        EXPECT_EQ(found, expected.size());
    }
    EXPECT_EQ(days.items(), expected); // 30 years of 12 months of 28 days: 10,080 items
    EXPECT_FALSE(days.contains("29-Feb-2000"));
}

TEST(DayList, CyrillicLettersFoldToo)
{
    DayList days;
    EXPECT_TRUE(days.add(test::cp1251("1-Мар-2003")));
    EXPECT_FALSE(days.add(test::cp1251("1-мар-2003")));
    EXPECT_EQ(days.items().size(), 1u);
}

TEST(DayList, PickingFirstDaysTrimsAndRestoresTheLastDays)
{
    struct Step {
        const char* name;
        int picked;
        Items dat2After;
    };
    // Each step starts from the list the step before left; the first from the full copy.
    const Step steps[] = {
        { "third day: the days from it on", 2, { kDays.begin() + 2, kDays.end() } },
        { "first day again: the full list", 0, kDays },
        { "last day", 4, { "5-Mar-2003" } },
        { "second day: extended in front", 1, { kDays.begin() + 1, kDays.end() } },
        { "the same day again changes nothing", 1, { kDays.begin() + 1, kDays.end() } },
        { "index beyond the list is ignored", 5, { kDays.begin() + 1, kDays.end() } },
        { "negative index is ignored", -1, { kDays.begin() + 1, kDays.end() } },
    };
    Items dat2 = kDays;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        Dat1Select(kDays, s.picked, dat2);
        EXPECT_EQ(dat2, s.dat2After);
    }
}

TEST(DayList, PickingWithUnusualLists)
{
    // An empty list of last days gets every day from the picked one on.
    Items dat2;
    Dat1Select(kDays, 3, dat2);
    EXPECT_EQ(dat2, (Items { "4-Mar-2003", "5-Mar-2003" }));

    // Nothing to pick from.
    dat2 = { "x" };
    Dat1Select({}, 0, dat2);
    EXPECT_EQ(dat2, (Items { "x" }));

    // The picked day is found ignoring letter case.
    dat2 = { "1-mar-2003", "2-MAR-2003", "3-Mar-2003" };
    Dat1Select(kDays, 1, dat2);
    EXPECT_EQ(dat2, (Items { "2-MAR-2003", "3-Mar-2003" }));

    // A list whose first day is not among the first days is only trimmed, never extended.
    dat2 = { "9-Mar-2003" };
    Dat1Select(kDays, 0, dat2);
    EXPECT_EQ(dat2, (Items { "9-Mar-2003" }));
}

TEST(DayList, ApplyRange)
{
    ScopedYear year(2026);
    struct RangeCase {
        const char* name;
        const char* first;
        const char* last;
        RangeAction action;
    };
    const RangeCase cases[] = {
        { "ordered days", "1-Mar-2003", "5-Mar-2003", RangeAction::Rebuild },
        { "the same day", "3-Mar-2003", "3-Mar-2003", RangeAction::Rebuild },
        { "same day, two texts", "3-Mar-03", "3-Mar-2003", RangeAction::Rebuild },
        { "last before first", "5-Mar-2003", "1-Mar-2003", RangeAction::Clear },
        { "first text empty", "", "1-Mar-2003", RangeAction::Clear },
        { "last text empty", "1-Mar-2003", "", RangeAction::Clear },
        { "both empty", "", "", RangeAction::Clear },
        { "one empty, the other no date", "", "nonsense", RangeAction::Clear },
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ApplyRange(c.first, c.last), c.action);
    }
    EXPECT_THROW_MSG(ApplyRange("5-Sep-2003", "6-Sen-2003"), ConvertError, "'5-Sep-2003' is not a valid date");
    EXPECT_THROW_MSG(ApplyRange("5-Sen-2003", "6-Sep-2003"), ConvertError, "'6-Sep-2003' is not a valid date");
    EXPECT_THROW_MSG(ApplyRange(" ", "1-Mar-2003"), ConvertError, "' ' is not a valid date");
}
