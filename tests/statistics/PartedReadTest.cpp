// A read in parts must give what one read from the first line gives, wherever the parts begin: the rows
// with every cell, the day lists, the session times, the error of a line that fails, and where the read
// ended for a continuation. Each log below is read once in one part, then cut at every line start into
// two parts and at pairs of line starts into three, and each outcome is held to the one-part read.

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "statistics/Charging.h"
#include "statistics/DayList.h"
#include "statistics/LogText.h"
#include "statistics/SessionExtraction.h"
#include "statistics/Table.h"
#include "support/LogSamples.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

using namespace velmar;
using velmar::test::logOf;

namespace {

const Charge kCharge { 30, 4.79 };

struct Outcome {
    std::vector<std::string> rows;
    int rowCount = 0;
    std::vector<std::string> dat1;
    std::vector<std::string> dat2;
    double start = 0, end = 0;
    std::string error;
    // The continuation the read handed over, and the rows after a further piece of log was taken in.
    uint64_t offset = 0;
    bool resumable = false, ended = false;
    std::vector<std::string> rowsAfterMore;

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o)
{
    out << "rowCount " << o.rowCount << ", error '" << o.error << "', offset " << o.offset << ", times " << o.start
        << " " << o.end << ", resumable " << o.resumable << ", ended " << o.ended << "\n";
    for (const std::string& row : o.rows)
        out << "  " << row << "\n";
    out << "  days:";
    for (const std::string& day : o.dat1)
        out << " " << day;
    return out << "\n  rows after more: " << o.rowsAfterMore.size();
}

std::vector<std::string> rowsOf(const Table& Str)
{
    std::vector<std::string> rows;
    for (int r = 1; r < Str.rowCount(); ++r) {
        std::string row;
        for (int c = 0; c < Str.colCount(); ++c)
            row += std::string(Str.cell(c, r)) + "|";
        rows.push_back(row);
    }
    return rows;
}

// What the mailer writes after the read: the end of a session that may still be open, and one more.
constexpr std::string_view kMore = "  03-Sen-2003 09:00:00 Receiving 'z.pkt' (11b)\r\n"
                                   "+ 03-Sen-2003 09:01:00 Session completed successfully\r\n"
                                   "+ 03-Sen-2003 10:00:00 CONNECT 2400\r\n"
                                   "+ 03-Sen-2003 10:01:00 Session completed successfully\r\n";

class PartedRead : public ::testing::Test {
protected:
    // Reads the log with the plan; the tables start as a window's do after an earlier rebuild: a stale
    // row beyond the rows, a day listed already, earlier session times.
    Outcome readWith(const std::string& content, const ReadPlan& plan, std::string_view from = "",
        std::string_view to = "", size_t blockSize = LogText::kBlockSize)
    {
        const std::string path = dir.write("new_line.log", content);
        Table Str(7);
        for (int r = 1; r < 40; ++r)
            Str.setCell(2, r, "stale");
        DayList dat1;
        dat1.add("02-Sen-2003");
        std::vector<std::string> dat2 { "stale" };
        SessionTimes times { 1.5, 2.5 };
        LogText log(blockSize);
        log.setReadPlan(plan);
        log.bind(path);
        LogContinuation continuation(from, to, kCharge);
        Outcome o;
        try {
            FillTabl(log, from, to, kCharge, Str, dat1, dat2, times, &continuation);
        } catch (const Error& error) {
            o.error = error.what();
        }
        EXPECT_FALSE(log.isOpen());
        o.rows = rowsOf(Str);
        o.rowCount = Str.rowCount();
        o.dat1 = dat1.items();
        o.dat2 = dat2;
        o.start = times.SessionStart;
        o.end = times.SessionEnd;
        if (o.error.empty()) {
            o.offset = continuation.offset();
            o.resumable = continuation.resumable();
            o.ended = continuation.ended();
            if (o.resumable) {
                test::appendFile(path, std::string(kMore));
                try {
                    continueFillTabl(path, continuation, Str, dat1, dat2, times);
                    o.rowsAfterMore = rowsOf(Str);
                } catch (const Error& error) {
                    o.rowsAfterMore = { error.what() };
                }
            }
        }
        return o;
    }

    static ReadPlan onePart()
    {
        ReadPlan plan;
        plan.parts = 1;
        return plan;
    }

    static ReadPlan partsFrom(std::vector<uint64_t> starts)
    {
        ReadPlan plan;
        plan.starts = std::move(starts);
        return plan;
    }

    // Holds the read in two parts from every line start, and in three from pairs of them, to the read
    // in one part.
    void expectEveryCutAgrees(const std::string& content, std::string_view from = "", std::string_view to = "")
    {
        const Outcome whole = readWith(content, onePart(), from, to);
        std::vector<uint64_t> lineStarts;
        for (size_t at = 1; at < content.size(); ++at) {
            if (content[at - 1] == '\n')
                lineStarts.push_back(at);
        }
        for (const uint64_t start : lineStarts) {
            SCOPED_TRACE("parts from " + std::to_string(start));
            EXPECT_EQ(readWith(content, partsFrom({ start }), from, to), whole);
        }
        for (size_t i = 0; i < lineStarts.size(); i += 3) {
            for (size_t j = i + 1; j < lineStarts.size(); j += 4) {
                SCOPED_TRACE("parts from " + std::to_string(lineStarts[i]) + " and " + std::to_string(lineStarts[j]));
                EXPECT_EQ(readWith(content, partsFrom({ lineStarts[i], lineStarts[j] }), from, to), whole);
            }
        }
    }

    test::TempDir dir;
    ScopedLocale locale { { ',', ':' } };
    ScopedYear year { 2010 };
};

constexpr std::string_view kConnect = "+ 01-Sen-2003 12:25:09 CONNECT 14400";
constexpr std::string_view kAddress = "  01-Sen-2003 12:25:13 Address : 2:461/33";
constexpr std::string_view kFile = "  01-Sen-2003 12:25:35 Receiving 'a.pkt' (1,996b)";
constexpr std::string_view kCompleted = "+ 01-Sen-2003 12:26:15 Session completed successfully";

} // namespace

// Each log is made so that some cut falls where joining the parts is hard; the expectation is always the
// one-part read of the same log.
TEST_F(PartedRead, EveryCutGivesWhatOneReadGives)
{
    const struct Case {
        const char* name;
        std::string log;
    } cases[] = {
        { "empty log", "" },
        // Resumed, partial and rejected files, dropped sessions, a day change inside a session, LF and
        // CR LF, a lone carriage return inside a marker.
        { "sessions of every kind", test::kSessionsOfEveryKind },
        // A "CONNECT" inside a session means nothing there; a part that begins in front of it begins a
        // session at it, and its reading agrees with the one before only after the session's end.
        { "CONNECT inside a session",
            logOf({ kConnect, kAddress, "+ 01-Sen-2003 12:25:20 CONNECT 2400", kFile,
                "  01-Sen-2003 12:25:40 Address : 2:5020/9", kCompleted, kConnect, kCompleted }) },
        // The day of a session begun inside another is no day of the table: the part that counted that
        // session counted it in the place of the session around it.
        { "CONNECT of another day inside a session",
            logOf({ kConnect, kAddress, "+ 05-Sen-2003 12:25:20 CONNECT 2400", kFile, kCompleted,
                "+ 06-Sen-2003 12:25:09 CONNECT 14400", kCompleted }) },
        // The line that ends one session holds "CONNECT": it begins none, but a part whose reading is
        // outside a session there begins one.
        { "a closing line with CONNECT",
            logOf({ kConnect, kAddress, kFile, "! 01-Sen-2003 12:26:00 Session aborted, no CONNECT", kFile,
                "+ 01-Sen-2003 12:27:00 CONNECT 2400", kFile, kCompleted,
                "+ 01-Sen-2003 12:28:00 Session completed successfully after CONNECT", kFile, kConnect, kFile,
                kCompleted }) },
        // A session without its closing line runs on over the next one's "CONNECT": nothing agrees until
        // the end, so a part is read again by the reading before it.
        { "a session without its closing line",
            logOf({ kConnect, kAddress, kFile, kFile, kConnect, "  01-Sen-2003 12:25:40 Address : 2:5020/9", kFile,
                kCompleted, kConnect, kFile, kCompleted }) },
        // A partial file takes the count from before its own file; the count left by the last session is
        // no start of the next.
        { "partial and rejected files over a cut",
            logOf({ kConnect, kFile, kCompleted, kConnect, "  01-Sen-2003 12:25:39 Part of (100b)", kFile,
                "  01-Sen-2003 12:25:40 Receiving file was rejected", kCompleted, kConnect,
                "  01-Sen-2003 12:25:39 Part of (100b)", kCompleted }) },
        // Ctrl+Z at the start of a line ends the text, in whichever part it stands.
        { "Ctrl+Z ends the text",
            logOf({ kConnect, kFile, kCompleted, kConnect, kFile }) + "\x1A"
                + logOf({ kCompleted, kConnect, kCompleted }) },
        { "Ctrl+Z inside a line is a byte",
            logOf({ kConnect, "  01-Sen-2003 12:25:36 \x1A Receiving 'b' (5b)", kCompleted }) },
        // A line that fails ends the read there, with the rows before it; one in a session the reading
        // before never begins fails nothing.
        { "a bad number",
            logOf({ kConnect, kFile, kCompleted, kConnect, "  01-Sen-2003 12:25:35 Receiving 'a' (1x0b)", kCompleted,
                kConnect, kCompleted }) },
        { "a bad date in a session begun inside another",
            logOf(
                { kConnect, kFile, "+ 41-Sen-2003 12:25:20 CONNECT 2400", kFile, kCompleted, kConnect, kCompleted }) },
        { "a bad time at the end",
            logOf({ kConnect, kFile, kCompleted, kConnect, "+ 01-Sen-2003 12:6x:15 Session completed successfully",
                kConnect, kCompleted }) },
        // The last line has no line feed: the read cannot go on behind it.
        { "last line without its line feed",
            logOf({ kConnect, kFile, kCompleted, kConnect, kFile }) + std::string(kCompleted) },
        { "open session at the end", logOf({ kConnect, kFile, kCompleted, kConnect, kAddress, kFile }) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectEveryCutAgrees(c.log);
    }
}

// Sessions outside the day range are passed over, and their lines looked at only for the next "CONNECT".
TEST_F(PartedRead, EveryCutAgreesWithADayRange)
{
    const std::string log = logOf({ "+ 01-Sen-2003 12:25:09 CONNECT 14400", kFile,
        "+ 01-Sen-2003 12:26:15 Session completed successfully", "+ 02-Sen-2003 12:25:09 CONNECT 14400", kFile,
        "+ 02-Sen-2003 12:25:30 CONNECT 14400", "+ 02-Sen-2003 12:26:15 Session completed successfully",
        "+ 03-Sen-2003 12:25:09 CONNECT 14400", kFile, "+ 03-Sen-2003 12:26:15 Session completed successfully" });
    expectEveryCutAgrees(log, "02-Sen-2003", "03-Sen-2003");
    expectEveryCutAgrees(log, "01-Sen-2003", "01-Sen-2003");
    // A closing line with "CONNECT" of a day outside the range: a part outside a session there begins
    // none, but notes the session start of that line, which the one read never does.
    const std::string closing
        = logOf({ kConnect, kFile, "! 02-Sen-2003 12:30:00 Session aborted, CONNECT 2400", kFile });
    expectEveryCutAgrees(closing, "01-Sen-2003", "01-Sen-2003");
}

// Lines that end a session and hold "CONNECT": a reading inside a session leaves it there, one outside
// begins one. Two readings that stand on either side of such a line take turns forever, so the part notes
// more sessions of its own than it keeps (64) without agreeing with the reading before it, which then reads
// the part again itself.
TEST_F(PartedRead, APartThatNeverAgreesIsReadAgain)
{
    std::string log = logOf({ kConnect, kFile });
    for (int i = 0; i < 150; ++i)
        log += logOf({ "! 01-Sen-2003 12:30:00 Session aborted, CONNECT 2400", kFile });
    log += logOf({ kCompleted, kConnect, kFile, kCompleted });
    const Outcome whole = readWith(log, onePart());
    // The last session of the turns, and the one behind it.
    ASSERT_EQ(whole.rows.size(), 2u);
    for (size_t at = 1; at < log.size(); ++at) {
        if (log[at - 1] != '\n')
            continue;
        SCOPED_TRACE("parts from " + std::to_string(at));
        EXPECT_EQ(readWith(log, partsFrom({ at })), whole);
    }
}

// A log of many sessions and blocks read in several parts, at small blocks too: by one reader that reads
// them all, by fewer readers than parts (each takes the next part when done with one), and in the parts
// that shrink towards the end, as the plan cuts them when left to itself.
TEST_F(PartedRead, ManyPartsOfALargerLog)
{
    std::string log;
    for (int i = 0; i < 3000; ++i) {
        const std::string day = std::to_string(1 + i / 200) + "-Okt-2003";
        log += "+ " + day + " 10:00:00 CONNECT 2400\r\n";
        log += "  " + day + " 10:00:01 Address : 2:5020/" + std::to_string(i % 37) + "\r\n";
        for (int f = 0; f < i % 5; ++f)
            log += "  " + day + " 10:00:02 Receiving 'f" + std::to_string(f) + "' (1," + std::to_string(100 + i)
                + "b)\r\n";
        log += "+ " + day
            + (i % 11 == 3 ? " 10:05:00 Session aborted\r\n" : " 10:05:00 Session completed successfully\r\n");
    }
    const Outcome whole = readWith(log, onePart());
    ASSERT_GT(whole.rows.size(), 2500u);
    for (const unsigned readers : { 1u, 2u, 3u }) {
        for (const unsigned parts : { 0u, 2u, 3u, 8u }) {
            for (const size_t blockSize : { size_t { 100 }, LogText::kBlockSize }) {
                SCOPED_TRACE(std::to_string(readers) + " readers, " + std::to_string(parts) + " parts, block "
                    + std::to_string(blockSize));
                ReadPlan plan;
                plan.readers = readers;
                plan.parts = parts;
                plan.minPartBytes = parts == 0 ? 4096 : 1;
                EXPECT_EQ(readWith(log, plan, "", "", blockSize), whole);
            }
        }
    }
}
