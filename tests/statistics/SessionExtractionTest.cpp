#include "statistics/SessionExtraction.h"

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "statistics/Charging.h"
#include "statistics/DayList.h"
#include "statistics/LogDate.h"
#include "statistics/LogText.h"
#include "statistics/Table.h"
#include "support/LogSamples.h"
#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace velmar;
using velmar::test::logOf;

namespace {

// The columns a session writes itself: date, start, end, address and size text (4 and 6 are the charge's).
struct Row {
    std::string date, start, end, address, size;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r)
{
    return out << '{' << r.date << ' ' << r.start << ' ' << r.end << " '" << r.address << "' " << r.size << '}';
}

class SessionExtraction : public ::testing::Test {
protected:
    // Builds the table from a log text with the date box texts; blockSize varies the reading underneath.
    void build(const std::string& content, std::string_view from = "", std::string_view to = "",
        size_t blockSize = LogText::kBlockSize)
    {
        log = std::make_unique<LogText>(blockSize);
        log->bind(dir.write("new_line.log", content));
        FillTabl(*log, from, to, charge, Str, dat1, dat2, times);
    }

    std::vector<Row> rows() const
    {
        std::vector<Row> out;
        for (int r = 1; r < Str.rowCount(); ++r) {
            if (r == 1 && Str.rowCount() == 2 && Str.cell(0, 1).empty())
                break; // the empty row that always stands under the header
            out.push_back({ std::string(Str.cell(0, r)), std::string(Str.cell(1, r)), std::string(Str.cell(2, r)),
                std::string(Str.cell(3, r)), std::string(Str.cell(5, r)) });
        }
        return out;
    }

    ScopedYear year { 2026 };
    ScopedLocale locale { { '.', ':' } };
    test::TempDir dir;
    std::unique_ptr<LogText> log;
    Charge charge { 0, 2.0 };
    Table Str { 7 };
    DayList dat1;
    std::vector<std::string> dat2;
    SessionTimes times;
};

constexpr std::string_view kConnect = "+ 12-Mar-2003 10:15:30 CONNECT 33600";
constexpr std::string_view kAddress = "  12-Mar-2003 10:15:32 Address : 2:5020/1234 Station of somebody";
constexpr std::string_view kCompleted = "+ 12-Mar-2003 10:20:30 Session completed successfully";

} // namespace

TEST_F(SessionExtraction, SessionRules)
{
    struct Case {
        const char* name;
        std::string log;
        std::vector<Row> rows;
    } const cases[] = {
        { "empty log", "", {} },
        { "one completed session",
            logOf({ "- 12-Mar-2003 10:15:00 Dialing 2:5020/1234", kConnect, kAddress,
                "  12-Mar-2003 10:15:40 Receiving 'a.pkt' (12,345b)", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/1234", "12,345" } } },
        { "all sessions aborted or cut off by the modem",
            logOf({ kConnect, kAddress, "+ 12-Mar-2003 10:16:00 Session aborted", kConnect,
                "+ 12-Mar-2003 10:17:00 Initializing modem" }),
            {} },
        // The carrier loss closes the session and its line gives the end time.
        { "carrier loss counted", logOf({ kConnect, kAddress, "! 12-Mar-2003 10:17:00 Aborting due to carrier loss" }),
            { { "12-Mar-2003", "10:15:30", "10:17:00", "2:5020/1234", "-" } } },
        { "log ends inside a session", logOf({ kConnect, kAddress, "  12-Mar-2003 10:16:00 Receiving" }), {} },
        { "last line closes the session, no final line end", logOf({ kConnect }) + std::string(kCompleted),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "-" } } },
        { "CONNECT as the last line", logOf({ kConnect }), {} },
        { "CONNECT inside a session starts nothing",
            logOf({ kConnect, "+ 12-Mar-2003 10:16:00 CONNECT 2400", kAddress, kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/1234", "-" } } },
        { "a session without an address", logOf({ kConnect, kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "-" } } },
        { "address as the last word of its line", logOf({ kConnect, "  Address : 2:5030/56.7", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "2:5030/56.7", "-" } } },
        { "a later address line writes over", logOf({ kConnect, kAddress, "Address : 1:2/3 aka", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "1:2/3", "-" } } },
        // 2000 is added, then 5000; the rejection goes back to the count before 5000 was added.
        { "rejected file taken out",
            logOf({ kConnect, "Receiving 'a.pkt' (2,000b)", "Receiving 'b.zip' (5,000b)",
                "  Receiving file was rejected", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "2,000" } } },
        // 1500 - 500.
        { "resumed file", logOf({ kConnect, "Receiving 'a.zip' (1,500b)", "  Resuming from offset 500", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "1,000" } } },
        // A "Receiving '" line with "from offset" on it adds nothing; its offset is still subtracted.
        { "offset on the Receiving line",
            logOf({ kConnect, "Receiving 'a' (1,500b)", "Receiving 'b' (900b) from offset 100", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "1,400" } } },
        // 700 before the file, then 3000 replaced by its part of 1200: 700 + 1200.
        { "part of a file",
            logOf({ kConnect, "Receiving 'a' (700b)", "Receiving 'x.zip' (3,000b)", "Part of 'x.zip' (1,200b) received",
                kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "1,900" } } },
        { "Receiving without b) adds 0", logOf({ kConnect, "Receiving 'a' (12 bytes)", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "-" } } },
        // The second "' (" goes as well: the name was "a' (b".
        { "quote and bracket twice", logOf({ kConnect, "Receiving 'a' (b' (1,234b)", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "1,234" } } },
        // 1000, then 300 more; the second "Part of" (behind the cut of the Receiving test) makes it 1000 + 200.
        { "a marker seen again behind a cut",
            logOf({ kConnect, "Receiving 'a' (1,000b)", "Part of Receiving 'b' (300b) Part of (200b)", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "1,200" } } },
        // The only "Part of" is cut away by the Receiving test: 1000 + 300.
        { "a marker cut away",
            logOf({ kConnect, "Receiving 'a' (1,000b)", "Part of Receiving 'b' (300b)", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "1,300" } } },
        // The address test cuts the closing marker away: the session goes on to the next closing line.
        { "closing marker before an address",
            logOf({ kConnect, "+ 12-Mar-2003 10:16:00 Session completed successfully Address : 2:1/1", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "2:1/1", "-" } } },
        // The dropped session's address must not show in the next counted one.
        { "dropped session clears its row",
            logOf({ kConnect, kAddress, "+ 12-Mar-2003 10:16:00 Session aborted", "+ 13-Mar-2003 08:00:00 CONNECT 2400",
                kCompleted }),
            { { "13-Mar-2003", "08:00:00", "10:20:30", "", "-" } } },
        { "lower-case connect is no session", logOf({ "+ 12-Mar-2003 10:15:30 connect 33600", kCompleted }), {} },
        { "a counting marker beside a dropping one counts",
            logOf({ kConnect, "+ 12-Mar-2003 10:16:00 Session aborted, Session completed successfully" }),
            { { "12-Mar-2003", "10:15:30", "10:16:00", "", "-" } } },
        { "Initializing modem beside a carrier loss counts",
            logOf({ kConnect, "+ 12-Mar-2003 10:16:10 Aborting due to carrier loss; Initializing modem" }),
            { { "12-Mar-2003", "10:15:30", "10:16:10", "", "-" } } },
        // The closing line is not looked at again, so its CONNECT begins nothing.
        { "closing line cannot begin a session",
            logOf({ kConnect, "+ 12-Mar-2003 10:16:00 Session completed successfully CONNECT", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:16:00", "", "-" } } },
        { "Ctrl+Z ends the log", logOf({ kConnect, kCompleted }) + "\x1A" + logOf({ kConnect, kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "-" } } },
        { "several sessions in log order",
            logOf({ kConnect, kAddress, kCompleted, "+ 2-Jan-2004 23:59:59 CONNECT", "Address : 2:5030/56.7",
                "+ 3-Jan-2004 00:00:30 Aborting due to carrier loss" }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/1234", "-" },
                { "2-Jan-2004", "23:59:59", "00:00:30", "2:5030/56.7", "-" } } },
        // Mended: the count before a file is reset with the session, so a part or rejection that comes
        // before any file of the session uses 0, not the count before the last file of the session before.
        { "earlier count does not leak into the next session",
            logOf({ kConnect, "Receiving 'a' (1,000b)", "Receiving 'b' (5,000b)", kCompleted, kConnect,
                "Receiving file was rejected", kCompleted, kConnect, "Part of 'c' (100b)", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "6,000" },
                { "12-Mar-2003", "10:15:30", "10:20:30", "", "-" },
                { "12-Mar-2003", "10:15:30", "10:20:30", "", "100" } } },
        // Sizes are read with their commas dropped, wherever they stand: 999999999 (nine digits, the most
        // read in one pass), 1000000000 (ten digits, read by the general rules), 1,2,3 = 123, 0,012 = 12 and
        // a leading space and plus sign that the general rules allow: 4 + 1000.
        { "sizes of every form",
            logOf({ kConnect, "Receiving 'a' (999,999,999b)", kCompleted, kConnect, "Receiving 'a' (1,000,000,000b)",
                kCompleted, kConnect, "Receiving 'a' (1,2,3b)", "Receiving 'b' (0,012b)", kCompleted, kConnect,
                "Receiving 'a' (4b)", "Receiving 'b' ( +1,000b)", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "999,999,999" },
                { "12-Mar-2003", "10:15:30", "10:20:30", "", "1000,000,000" },
                { "12-Mar-2003", "10:15:30", "10:20:30", "", "135" },
                { "12-Mar-2003", "10:15:30", "10:20:30", "", "1,004" } } },
        // Mended: 2000000000 + 2000000000 lies beyond 32 bits and is kept whole.
        { "received count beyond 32 bits",
            logOf({ kConnect, "Receiving 'a' (2,000,000,000b)", "Receiving 'b' (2,000,000,000b)", kCompleted }),
            { { "12-Mar-2003", "10:15:30", "10:20:30", "", "4000,000,000" } } },
    };
    for (const size_t blockSize : { LogText::kBlockSize, size_t { 7 } }) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            build(c.log, "", "", blockSize);
            EXPECT_EQ(rows(), c.rows);
            EXPECT_EQ(Str.rowCount(), static_cast<int>(c.rows.size()) + 1 + (c.rows.empty() ? 1 : 0));
            EXPECT_FALSE(log->isOpen());
            EXPECT_EQ(dat2, dat1.items());
        }
    }
}

TEST_F(SessionExtraction, MarkersAreFoundWhereverTheyStand)
{
    // Near misses of the markers' beginnings put in front of every marker, at each of 40 lengths, so that
    // the markers start at every place of the blocks the lines are searched in.
    const std::string nearMisses = "SessAddrReceRecfromPartInitAborSesSessionxAddressxPart";
    for (size_t pad = 0; pad < 40; ++pad) {
        SCOPED_TRACE(pad);
        const std::string p = nearMisses.substr(0, pad);
        // 1000 + 500, the 500 rejected, less an offset of 100: 900.
        build(logOf({ kConnect, p + "Address : 2:5020/1", p + "Receiving 'a' (1,000b)", p + "Receiving 'b' (500b)",
            p + "Receiving file was rejected", p + "Resuming from offset 100",
            "+ 12-Mar-2003 10:20:30 " + p + "Session completed successfully", kConnect,
            "+ 12-Mar-2003 10:21:00 " + p + "Session aborted", kConnect,
            "+ 12-Mar-2003 10:22:00 " + p + "Initializing modem", kConnect,
            "+ 12-Mar-2003 10:23:00 " + p + "Part of 'x' (5b)",
            "+ 12-Mar-2003 10:24:00 " + p + "Aborting due to carrier loss" }));
        EXPECT_EQ(rows(),
            (std::vector<Row> { { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/1", "900" },
                { "12-Mar-2003", "10:15:30", "10:24:00", "", "5" } }));
    }
}

TEST_F(SessionExtraction, RowOfACountedSession)
{
    // 10:15:30 to 10:20:30 is 300 seconds, 5 minutes at 2 a minute.
    build(logOf({ kConnect, kAddress, "Receiving 'a' (1,234,567b)", kCompleted }));
    ASSERT_EQ(Str.rowCount(), 2);
    const std::vector<std::string> expected
        = { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/1234", "5", "1,234,567", "10" };
    for (int col = 0; col < 7; ++col) {
        SCOPED_TRACE(col);
        EXPECT_EQ(Str.cell(col, 1), expected[static_cast<size_t>(col)]);
    }
    EXPECT_DOUBLE_EQ(times.SessionStart, dateValue(2003, 3, 12) + (10 * 3600 + 15 * 60 + 30) / 86400.0);
    EXPECT_DOUBLE_EQ(times.SessionEnd, dateValue(2003, 3, 12) + (10 * 3600 + 20 * 60 + 30) / 86400.0);
}

TEST_F(SessionExtraction, ARebuildStartsFromAnEmptyTable)
{
    build(logOf({ kConnect, kAddress, kCompleted, kConnect, kCompleted }));
    ASSERT_EQ(Str.rowCount(), 3);
    build("");
    EXPECT_EQ(Str.rowCount(), 2);
    EXPECT_EQ(Str.cell(0, 1), "");
    EXPECT_EQ(Str.cell(3, 1), "");
}

TEST_F(SessionExtraction, DateRange)
{
    const std::string log = logOf({
        "+ 9-Mar-2003 10:00:00 CONNECT",
        "+ 9-Mar-2003 10:01:00 Session completed successfully",
        "+ 10-Mar-2003 10:00:00 CONNECT",
        "+ 10-Mar-2003 10:01:00 Session completed successfully",
        "+ 11-Mar-2003 23:59:00 CONNECT",
        "+ 12-Mar-2003 00:01:00 Session completed successfully",
        "+ 12-Mar-2003 10:00:00 CONNECT",
        "+ 12-Mar-2003 10:01:00 Session completed successfully",
        // Excluded: its lines are read as lines outside a session, so the CONNECT among them begins one.
        "+ 13-Mar-2003 10:00:00 CONNECT",
        "+ 10-Mar-2003 11:00:00 CONNECT again",
        "+ 10-Mar-2003 11:02:00 Session completed successfully",
    });
    struct Case {
        const char* name;
        const char* from;
        const char* to;
        std::vector<std::string> days; // column 0 of the counted rows
    } const cases[] = {
        { "no range", "", "", { "9-Mar-2003", "10-Mar-2003", "11-Mar-2003", "12-Mar-2003", "13-Mar-2003" } },
        { "one text only means no range", "10-Mar-2003", "",
            { "9-Mar-2003", "10-Mar-2003", "11-Mar-2003", "12-Mar-2003", "13-Mar-2003" } },
        // The day of the first line decides; both ends belong to the range.
        { "both ends included", "10-Mar-2003", "12-Mar-2003",
            { "10-Mar-2003", "11-Mar-2003", "12-Mar-2003", "10-Mar-2003" } },
        { "one day", "11-Mar-2003", "11-Mar-2003", { "11-Mar-2003" } },
        { "two-digit years and spaces read as dates", "10-Mar-03", " 10-Mar-2003", { "10-Mar-2003", "10-Mar-2003" } },
        { "first day after the last", "12-Mar-2003", "10-Mar-2003", {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        build(log, c.from, c.to);
        std::vector<std::string> days;
        for (const Row& r : rows())
            days.push_back(r.date);
        EXPECT_EQ(days, c.days);
    }
}

TEST_F(SessionExtraction, DayListOnlyGrowsAndDat2CopiesIt)
{
    const std::string log = logOf({
        "+ 10-Mar-2003 10:00:00 CONNECT",
        "+ 10-Mar-2003 10:01:00 Session completed successfully",
        "+ 11-Mar-2003 10:00:00 CONNECT",
        "+ 11-Mar-2003 10:01:00 Session aborted",
        "+ 12-Mar-2003 10:00:00 CONNECT",
        "+ 12-Mar-2003 10:01:00 Session completed successfully",
        "+ 10-Mar-2003 12:00:00 CONNECT",
        "+ 10-Mar-2003 12:01:00 Session completed successfully",
    });
    // A day already offered in other letter case is not offered twice.
    dat1.add("12-MAR-2003");
    build(log);
    const std::vector<std::string> all = { "12-MAR-2003", "10-Mar-2003" };
    EXPECT_EQ(dat1.items(), all);
    EXPECT_EQ(dat2, all);

    build(log, "12-Mar-2003", "12-Mar-2003");
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(dat1.items(), all);
    EXPECT_EQ(dat2, all);

    // An empty log adds nothing, and Dat2 still gets the copy.
    dat2.clear();
    build("");
    EXPECT_EQ(dat1.items(), all);
    EXPECT_EQ(dat2, all);
}

// Sizes as the mailer writes them ("1,234b)" ending the line) are read at once, every other form by the
// general rules: both must give what the general rules give. Each expectation is the size text cut out by
// those rules with its commas dropped.
TEST_F(SessionExtraction, SizesInTheMailersFormAndBesideIt)
{
    const std::string at = "  12-Mar-2003 10:15:40 ";
    struct Case {
        const char* name;
        std::string line;
        const char* size;
    } const cases[] = {
        { "one digit, nothing", at + "Receiving 'a.pkt' (0b)", "-" },
        { "one digit", at + "Receiving 'a.pkt' (7b)", "7" },
        { "three digits", at + "Receiving 'a.pkt' (123b)", "123" },
        { "two groups", at + "Receiving 'a.pkt' (1,234b)", "1,234" },
        { "leading zeros", at + "Receiving 'a.pkt' (0,005b)", "5" },
        { "nine digits, the most read at once", at + "Receiving 'a.pkt' (123,456,789b)", "123,456,789" },
        { "ten digits", at + "Receiving 'a.pkt' (1,234,567,890b)", "1234,567,890" },
        { "no commas", at + "Receiving 'a.pkt' (1234b)", "1,234" },
        { "a comma out of place", at + "Receiving 'a.pkt' (12,34b)", "1,234" },
        { "a short group", at + "Receiving 'a.pkt' (1,23,456b)", "123,456" },
        { "a leading comma", at + "Receiving 'a.pkt' (,123b)", "123" },
        { "a trailing comma", at + "Receiving 'a.pkt' (1,234,b)", "1,234" },
        { "a space behind", at + "Receiving 'a.pkt' (1,234b) ", "1,234" },
        // The first "b)" ends the size: 5, not the 7 at the end of the line.
        { "text behind the size", at + "Receiving 'a.pkt' (5b) (7b)", "5" },
        // Cut at the first "' (", then at the second: the size behind the second counts.
        { "a name holding the opening", at + "Receiving 'a' (9,999b' (1,234b)", "1,234" },
        { "the shortest line read at once", "Receiving 'a' (1b)", "1" },
        { "a shorter line", "Receiving '' (1b)", "1" },
        { "behind an address on the same line", "Address : 2:1/1 Receiving 'a' (12b)", "12" },
    };
    for (const size_t blockSize : { LogText::kBlockSize, size_t { 7 } }) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            build(logOf({ kConnect, c.line, kCompleted }), "", "", blockSize);
            ASSERT_EQ(rows().size(), 1u);
            EXPECT_EQ(rows()[0].size, c.size);
        }
    }
}

TEST_F(SessionExtraction, AFailingLineEndsTheRebuildKeepingTheRowsCounted)
{
    const std::string before = logOf({ kConnect, kAddress, kCompleted });
    const std::string after = logOf({ "+ 14-Mar-2003 10:00:00 CONNECT", kCompleted });
    struct Case {
        const char* name;
        std::string lines;
        const char* from;
        const char* to;
        const char* message;
    } const cases[] = {
        // The space before "b)" stays in the number text.
        { "space before b)", logOf({ kConnect, "Receiving 'a' (1,500 b)" }), "", "",
            "'1500 ' is not a valid integer value" },
        { "one size beyond 32 bits", logOf({ kConnect, "Receiving 'a' (3,000,000,000b)" }), "", "",
            "'3000000000' is not a valid integer value" },
        { "empty part", logOf({ kConnect, "Part of 'x' (b) received" }), "", "", "'' is not a valid integer value" },
        { "text after the offset", logOf({ kConnect, "Resuming from offset 500 bytes" }), "", "",
            "'500 bytes' is not a valid integer value" },
        { "month word not in the table", logOf({ "+ 12-Sep-2003 10:15:30 CONNECT" }), "", "",
            "'12-Sep-2003' is not a valid date" },
        { "bad start time", logOf({ "+ 12-Mar-2003 25:00:00 CONNECT" }), "", "", "'25:00:00' is not a valid time" },
        // The time is converted before the session is found to lie outside the range.
        { "bad time of an excluded session", logOf({ "+ 12-Mar-2003 1O:00:00 CONNECT" }), "1-Jan-2003", "2-Jan-2003",
            "'1O:00:00' is not a valid time" },
        { "bad closing time", logOf({ kConnect, "+ 12-Mar-2003 10:60:00 Session completed successfully" }), "", "",
            "'10:60:00' is not a valid time" },
        // The closing line is read as the address test left it: "2:5020/1 Session ...", less two characters.
        { "closing line cut by the address test",
            logOf({ kConnect, "+ 12-Mar-2003 10:20:00 Address : 2:5020/1 Session completed successfully" }), "", "",
            "'5020/1' is not a valid date" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dat2 = { "untouched" };
        EXPECT_THROW_MSG(build(before + c.lines + after, c.from, c.to), ConvertError, c.message);
        if (std::string_view(c.from).empty()) {
            ASSERT_EQ(Str.rowCount(), 2);
            EXPECT_EQ(Str.cell(3, 1), "2:5020/1234");
        } else {
            EXPECT_EQ(Str.rowCount(), 2);
        }
        EXPECT_FALSE(log->isOpen());
        EXPECT_EQ(dat2, std::vector<std::string> { "untouched" });
    }
}

// Money that lies beyond a double fails the session that costs it, as a date that does not convert fails
// its line: the rows counted before stay, and no row is held for the one that failed.
TEST_F(SessionExtraction, MoneyBeyondADoubleEndsTheRebuildKeepingTheRowsCounted)
{
    // An earlier rebuild left a second row, which a row counted for the failing session would show again.
    build(logOf({ kConnect, kAddress, kCompleted, kConnect, "Address : 9:9/9", kCompleted }));
    ASSERT_EQ(Str.rowCount(), 3);
    charge.tarifPerMin = 1e300;
    // 5 minutes cost 5e300; 400 years of minutes (2.1e8) cost more than a double holds (1.8e308).
    const std::string text = logOf({ kConnect, kAddress, kCompleted, "+ 13-Mar-2003 08:00:00 CONNECT",
        "Address : 1:2/3", "+ 13-Mar-2403 08:00:00 Session completed successfully", kConnect, kCompleted });
    dat2 = { "untouched" };
    EXPECT_THROW_MSG(build(text), ConvertError, "Floating point overflow");
    EXPECT_EQ(Str.rowCount(), 2);
    EXPECT_EQ(Str.cell(3, 1), "2:5020/1234");
    EXPECT_FALSE(log->isOpen());
    EXPECT_EQ(dat2, std::vector<std::string> { "untouched" });
}

TEST_F(SessionExtraction, FailuresBeforeReadingChangeNothing)
{
    build(logOf({ kConnect, kAddress, kCompleted, kConnect, kCompleted }));
    ASSERT_EQ(Str.rowCount(), 3);
    dat2 = { "untouched" };

    EXPECT_THROW_MSG(FillTabl(*log, "1-Sep-2003", "2-Mar-2003", charge, Str, dat1, dat2, times), ConvertError,
        "'1-Sep-2003' is not a valid date");
    // The log removed since it was bound, and a log never bound.
    ::unlink(log->path().c_str());
    EXPECT_THROW_MSG(FillTabl(*log, "", "", charge, Str, dat1, dat2, times), InOutError, "File not found");
    LogText unbound;
    EXPECT_THROW_MSG(FillTabl(unbound, "", "", charge, Str, dat1, dat2, times), InOutError, "File not found");
    EXPECT_EQ(Str.rowCount(), 3);
    EXPECT_EQ(Str.cell(3, 1), "2:5020/1234");
    EXPECT_EQ(dat2, std::vector<std::string> { "untouched" });
}

TEST_F(SessionExtraction, DemoLogLoads)
{
    LogText demo;
    demo.bind(VELMAR_SOURCE_DIR "/demo/new_line.log");
    FillTabl(demo, "", "", charge, Str, dat1, dat2, times);
    // Every closing marker of the demo stands on the closing line of one session:
    // grep -c of "Session completed successfully" (208) plus "Aborting due to carrier loss" (50).
    EXPECT_EQ(Str.rowCount() - 1, 258);
    ASSERT_FALSE(dat1.items().empty());
    EXPECT_EQ(dat1.items().front(), "01-Sen-2003");
    EXPECT_EQ(dat1.items().back(), "30-Nob-2003");
    EXPECT_EQ(Str.cell(3, 1), "2:461/33");
    EXPECT_EQ(Str.cell(2, 1), "12:26:15");

    // The autumn months by their own words.
    build(test::readFile(VELMAR_SOURCE_DIR "/demo/new_line.log"), "1-Okt-2003", "31-Okt-2003");
    for (const Row& r : rows())
        EXPECT_NE(r.date.find("-Okt-2003"), std::string::npos) << r.date;
    EXPECT_GT(rows().size(), 50u);
}

// Found by fuzzing: a closing line that ended exactly at the end of a block of the log was read after the
// next block had replaced it, so the session got the next line's text as its end (or failed on it).
TEST_F(SessionExtraction, AClosingLineAtTheEdgeOfABlockIsReadAsItStands)
{
    const std::string closing = "! 12-Mar-2003 10:17:00 Aborting due to carrier loss\n";
    std::string head = logOf({ kConnect, kAddress });
    // A filler line makes the closing line fill a block of its own, from its first byte to its line feed.
    head += std::string(closing.size() - head.size() % closing.size() + closing.size() - 1, '.') + "\n";
    ASSERT_EQ(head.size() % closing.size(), 0u);
    build(head + closing + "+ 13-Apr-2003 23:59:00 CONNECT 2400\n", "", "", closing.size());
    EXPECT_EQ(rows(), (std::vector<Row> { { "12-Mar-2003", "10:15:30", "10:17:00", "2:5020/1234", "-" } }));
}

// A log that an editor saved in UTF-8 begins with a byte order mark; its first session is read as ever.
TEST_F(SessionExtraction, AUtf8ByteOrderMarkInFrontOfTheFirstSessionIsPassedOver)
{
    build("\xEF\xBB\xBF" + logOf({ kConnect, kAddress, kCompleted }));
    EXPECT_EQ(rows(), (std::vector<Row> { { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/1234", "-" } }));
}

// A damaged address line of megabytes would widen the address column of every export line to its size.
TEST_F(SessionExtraction, AnAddressIsKeptToItsFirst255Characters)
{
    const std::string address(3u << 20, 'a');
    build(logOf({ kConnect, "  12-Mar-2003 10:15:32 Address : " + address, kCompleted }));
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].address, address.substr(0, 255));
}

// Lines are looked at only where a marker may begin, but a carriage return inside a line is dropped before
// the line is read: one that splits a marker's first two bytes must not hide the line.
TEST_F(SessionExtraction, AMarkerSplitByACarriageReturnIsFound)
{
    const std::string content = logOf({ "+ 12-Mar-2003 10:15:30 C\rONNECT 33600",
        "  12-Mar-2003 10:15:32 A\rddress : 2:5020/7", "  12-Mar-2003 10:15:33 R\receiving 'a' (1,200b)",
        "+ 12-Mar-2003 10:20:30 S\ression completed successfully" });
    for (const size_t blockSize : { LogText::kBlockSize, size_t { 7 }, size_t { 64 } }) {
        SCOPED_TRACE("block " + std::to_string(blockSize));
        build(content, "", "", blockSize);
        // As if the carriage returns had never been there: 1,200 bytes from 2:5020/7, written "1,200".
        EXPECT_EQ(rows(), (std::vector<Row> { { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/7", "1,200" } }));
    }
}

// Lines that hold no marker are passed over in runs; the sessions around long runs of them, and markers
// right at the start or end of such runs, are read as ever.
TEST_F(SessionExtraction, LongRunsOfLinesWithoutMarkers)
{
    std::string content;
    for (int i = 0; i < 300; ++i)
        content += "  12-Mar-2003 10:15:31 " + std::string(static_cast<size_t>(i % 90), 'x') + " bytes, 3100 cps\n";
    const std::string filler = content;
    content = filler + std::string(kConnect) + "\n" + filler + std::string(kAddress) + "\n" + filler
        + "  12-Mar-2003 10:16:00 Receiving 'a' (2,000b)\n" + filler + std::string(kCompleted);
    for (const size_t blockSize : { LogText::kBlockSize, size_t { 100 }, size_t { 4096 } }) {
        SCOPED_TRACE("block " + std::to_string(blockSize));
        build(content, "", "", blockSize);
        EXPECT_EQ(rows(), (std::vector<Row> { { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/1234", "2,000" } }));
    }
}

// The sessions of a log of many blocks come out the same and in order whatever the size of the blocks,
// with lines and sessions over their edges, and a Ctrl+Z at the start of a line deep in a block ends the
// text there.
TEST_F(SessionExtraction, SessionsOverThePartsOfABlock)
{
    // 20,000 sessions of about 250 bytes: 5 MB, twenty blocks of 256 KB.
    std::string content;
    std::vector<size_t> sessionEnds; // where each session's closing line ends
    for (int i = 0; i < 20000; ++i) {
        content += std::string(kConnect) + "\r\n";
        content += "  12-Mar-2003 10:15:32 Address : 2:5020/" + std::to_string(i) + "\r\n";
        content += "  12-Mar-2003 10:15:33 " + std::string(static_cast<size_t>(i % 61), 'x') + " 3100 cps\r\n";
        content += "  12-Mar-2003 10:16:00 Receiving 'a' (" + std::to_string(i % 1000) + "b)\r\n";
        content += std::string(kCompleted) + "\r\n";
        sessionEnds.push_back(content.size());
    }
    // Every session counted, with its own address and size, whatever the blocks.
    const auto expectedRow = [](int i) {
        return Row { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/" + std::to_string(i),
            i % 1000 == 0 ? "-" : std::to_string(i % 1000) };
    };
    for (const size_t blockSize : { LogText::kBlockSize, size_t { 4096 }, size_t { 1000003 } }) {
        SCOPED_TRACE("block " + std::to_string(blockSize));
        build(content, "", "", blockSize);
        const std::vector<Row> got = rows();
        ASSERT_EQ(got.size(), 20000u);
        for (int i = 0; i < 20000; i += 997)
            EXPECT_EQ(got[static_cast<size_t>(i)], expectedRow(i)) << i;
        EXPECT_EQ(got.back(), expectedRow(19999));
    }
    // A Ctrl+Z behind session 10,500 (at about 2.6 MB, in the eleventh block) ends the text:
    // that session is the last one counted.
    std::string ended = content;
    ended.insert(sessionEnds[10500], "\x1A");
    build(ended);
    ASSERT_EQ(rows().size(), 10501u);
    EXPECT_EQ(rows().back(), expectedRow(10500));
}
