#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "statistics/Charging.h"
#include "statistics/DayList.h"
#include "statistics/LogText.h"
#include "statistics/SessionExtraction.h"
#include "statistics/Table.h"
#include "support/LogSamples.h"
#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

using namespace velmar;

namespace {

const Charge kCharge { 30, 4.79 };

// What a read leaves in the window: every cell of the detailed rows, both day lists and the last times.
struct Outcome {
    std::vector<std::string> rows;
    std::vector<std::string> dat1;
    std::vector<std::string> dat2;
    double start = 0, end = 0;
};

Outcome outcomeOf(const Table& Str, const DayList& dat1, const std::vector<std::string>& dat2, const SessionTimes& t)
{
    Outcome o;
    for (int r = 1; r < Str.rowCount(); ++r) {
        std::string row;
        for (int c = 0; c < Str.colCount(); ++c)
            row += std::string(Str.cell(c, r)) + "|";
        o.rows.push_back(row);
    }
    o.dat1 = dat1.items();
    o.dat2 = dat2;
    o.start = t.SessionStart;
    o.end = t.SessionEnd;
    return o;
}

// One read of the whole log, as a rebuild does it.
Outcome fullRead(const std::string& path, std::string_view from = "", std::string_view to = "")
{
    Table Str(7);
    DayList dat1;
    std::vector<std::string> dat2;
    SessionTimes times;
    LogText log;
    log.bind(path);
    FillTabl(log, from, to, kCharge, Str, dat1, dat2, times);
    return outcomeOf(Str, dat1, dat2, times);
}

// The log written piece by piece, the read continued after every piece.
Outcome readInPieces(const std::string& path, const std::string& log, const std::vector<size_t>& cuts,
    std::string_view from = "", std::string_view to = "")
{
    Table Str(7);
    DayList dat1;
    std::vector<std::string> dat2;
    SessionTimes times;
    LogContinuation continuation(from, to, kCharge);
    velmar::test::writeFile(path, "");
    size_t written = 0;
    for (size_t cut : cuts) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, log.data() + written, cut - written), static_cast<ssize_t>(cut - written));
        ::close(fd);
        written = cut;
        EXPECT_NE(continueFillTabl(path, continuation, Str, dat1, dat2, times), Continued::Rebuild);
    }
    return outcomeOf(Str, dat1, dat2, times);
}

void expectSame(const Outcome& got, const Outcome& want)
{
    EXPECT_EQ(got.rows, want.rows);
    EXPECT_EQ(got.dat1, want.dat1);
    EXPECT_EQ(got.dat2, want.dat2);
    EXPECT_EQ(got.start, want.start);
    EXPECT_EQ(got.end, want.end);
}

std::vector<size_t> everyPiece(size_t total, size_t piece)
{
    std::vector<size_t> cuts;
    for (size_t at = piece; at < total; at += piece)
        cuts.push_back(at);
    cuts.push_back(total);
    return cuts;
}

// The log that is continued piece by piece: everything that makes continuing hard.
const std::string& kSmallLog = test::kSessionsOfEveryKind;

class LogContinuationTest : public ::testing::Test {
protected:
    velmar::test::TempDir dir;
    velmar::ScopedLocale locale { { ',', ':' } };
    velmar::ScopedYear year { 2010 };
    std::string path = dir.file("new_line.log");

    // The window's state that one continued read works on, from an empty table on.
    Table Str { 7 };
    DayList dat1;
    std::vector<std::string> dat2;
    SessionTimes times;
    LogContinuation continuation { "", "", kCharge };

    Continued continueRead(const std::string& file)
    {
        return continueFillTabl(file, continuation, Str, dat1, dat2, times);
    }
};

TEST_F(LogContinuationTest, PiecesOfEverySizeGiveTheTablesOfOneRead)
{
    velmar::test::writeFile(path, kSmallLog);
    const Outcome whole = fullRead(path);
    ASSERT_EQ(whole.rows.size(), 3u); // 2:461/33, the carrier loss of 2:5012/8, 2:5020/1 at 11:00
    // Every piece size from one byte up cuts inside the byte order mark, inside lines, between the CR and
    // the LF of a line end and inside every session.
    for (size_t piece = 1; piece <= kSmallLog.size(); piece += piece < 40 ? 1 : 37) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        expectSame(readInPieces(path, kSmallLog, everyPiece(kSmallLog.size(), piece)), whole);
    }
}

TEST_F(LogContinuationTest, TheDemoLogCutAnywhere)
{
    const std::string demo = velmar::test::readFile(VELMAR_SOURCE_DIR "/demo/new_line.log");
    velmar::test::writeFile(path, demo);
    const Outcome whole = fullRead(path);
    ASSERT_GT(whole.rows.size(), 100u);
    // Cuts at primes of bytes fall at every place of a line and a session; a day range applies throughout.
    for (size_t piece : { 4099u, 65537u }) {
        SCOPED_TRACE(piece);
        expectSame(readInPieces(path, demo, everyPiece(demo.size(), piece)), whole);
    }
    const Outcome october = fullRead(path, "01-Okt-2003", "15-Okt-2003");
    expectSame(readInPieces(path, demo, everyPiece(demo.size(), 9973), "01-Okt-2003", "15-Okt-2003"), october);
}

// A rebuild that hands over its continuation: FillTabl reads the log as it stands at `cut`, with blocks of
// `blockSize` bytes, then the rest is appended and the continuation takes it in.
Outcome rebuildThenContinue(const std::string& path, const std::string& log, size_t cut, size_t blockSize,
    Continued& continued, bool throughCopy = false)
{
    Table Str(7);
    DayList dat1;
    std::vector<std::string> dat2;
    SessionTimes times;
    LogContinuation continuation("", "", kCharge);
    velmar::test::writeFile(path, log.substr(0, cut));
    LogText text(blockSize);
    if (throughCopy)
        text.bindCopyOf(path, std::string(path, 0, path.rfind('/')));
    else
        text.bind(path);
    FillTabl(text, "", "", kCharge, Str, dat1, dat2, times, &continuation);
    velmar::test::writeFile(path, log);
    if (throughCopy)
        text.bindCopyOf(path, std::string(path, 0, path.rfind('/')));
    continued = throughCopy ? continueFillTabl(text, continuation, Str, dat1, dat2, times)
                            : continueFillTabl(path, continuation, Str, dat1, dat2, times);
    return outcomeOf(Str, dat1, dat2, times);
}

TEST_F(LogContinuationTest, ARebuildHandsOverWhereItEnded)
{
    velmar::test::writeFile(path, kSmallLog);
    const Outcome whole = fullRead(path);
    // Every line end of the log, read in blocks of one byte (a block edge everywhere), of seven bytes and
    // whole, through the log and through its copy: the continuation must go on exactly there.
    for (size_t cut = kSmallLog.find('\n'); cut != std::string::npos; cut = kSmallLog.find('\n', cut + 1)) {
        for (size_t blockSize : { size_t { 1 }, size_t { 7 }, LogText::kBlockSize }) {
            for (bool copy : { false, true }) {
                SCOPED_TRACE("cut after byte " + std::to_string(cut) + ", blocks of " + std::to_string(blockSize)
                    + (copy ? ", copy" : ""));
                Continued continued {};
                expectSame(rebuildThenContinue(path, kSmallLog, cut + 1, blockSize, continued, copy), whole);
                EXPECT_EQ(continued, cut + 1 == kSmallLog.size() ? Continued::Nothing : Continued::Read);
            }
        }
    }
}

TEST_F(LogContinuationTest, WhereARebuildCannotBeContinued)
{
    const std::string ended = "+ 01-Sen-2003 11:00:00 CONNECT 2400\r\n"
                              "+ 01-Sen-2003 11:03:00 Session completed successfully\r\n";
    struct Case {
        const char* name;
        std::string log;
        size_t cut;
        Continued continued;
    };
    const Case cases[] = {
        // Only the byte order mark was there: the first line starts behind it, as in one read.
        { "byte order mark alone", kSmallLog, 3, Continued::Read },
        // The last line had no line feed yet and was read as a line: going on would read its rest as another.
        { "inside a line", kSmallLog, kSmallLog.find("Address") + 3, Continued::Rebuild },
        { "between CR and LF", ended, ended.find('\r') + 1, Continued::Rebuild },
        // The text ended at a Ctrl+Z: nothing behind it is read, whatever is appended.
        { "Ctrl+Z", ended + "\x1A\r\n" + ended, ended.size() + 1, Continued::Nothing },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        velmar::test::writeFile(path, c.log);
        const Outcome whole = fullRead(path);
        Continued continued {};
        const Outcome got = rebuildThenContinue(path, c.log, c.cut, 7, continued);
        EXPECT_EQ(continued, c.continued);
        if (continued != Continued::Rebuild)
            expectSame(got, whole);
    }
}

TEST_F(LogContinuationTest, WhatTheReadFindsInTheFile)
{
    velmar::test::writeFile(path, "+ 01-Sen-2003 12:25:09 CONNECT 14400\r\n  01-Sen-2003 12:25:13 Addr");

    // One whole line is taken; the line still being written is left for later.
    EXPECT_EQ(continueRead(path), Continued::Read);
    EXPECT_EQ(continuation.offset(), 38u);
    EXPECT_EQ(continueRead(path), Continued::Nothing);

    // Another program keeps the file to itself: a copy must be read.
    {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        EXPECT_EQ(continueRead(path), Continued::Locked);
        ::close(fd);
    }

    // Shorter than what was read: rotated or emptied, so only a read from the start is right.
    velmar::test::writeFile(path, "  01-Sen-2003 07:59:40 Mailer\r\n");
    EXPECT_EQ(continueRead(path), Continued::Rebuild);

    EXPECT_THROW(continueRead(dir.file("missing.log")), InOutError);
}

TEST_F(LogContinuationTest, ALogReplacedByALongerOneIsReadFromItsStart)
{
    const std::string session = "+ 01-Sen-2003 11:00:00 CONNECT 2400\r\n"
                                "+ 01-Sen-2003 11:03:00 Session completed successfully\r\n";
    velmar::test::writeFile(path, session);
    EXPECT_EQ(continueRead(path), Continued::Read);
    // The mailer renamed its log away and began a new one, which grew past the old size before it was
    // looked at: the offset means nothing in it.
    const std::string rotated = dir.file("new_line.log.1");
    ASSERT_EQ(::rename(path.c_str(), rotated.c_str()), 0);
    velmar::test::writeFile(path, session + session + session);
    EXPECT_EQ(continueRead(path), Continued::Rebuild);
}

TEST_F(LogContinuationTest, CtrlZEndsTheTextForGood)
{
    const std::string before = "+ 01-Sen-2003 11:00:00 CONNECT 2400\r\n"
                               "+ 01-Sen-2003 11:03:00 Session completed successfully\r\n";
    velmar::test::writeFile(path, before + "\x1A");
    EXPECT_EQ(continueRead(path), Continued::Read);
    EXPECT_TRUE(continuation.ended());
    // What stands behind the Ctrl+Z is no text of the log, as for one read of the whole file.
    velmar::test::writeFile(path, before + "\x1A\r\n" + before);
    EXPECT_EQ(continueRead(path), Continued::Nothing);
    expectSame(outcomeOf(Str, dat1, dat2, times), fullRead(path));

    // Whole lines behind the Ctrl+Z in the same read: the read stops at the Ctrl+Z, whose line is not taken.
    Table fresh(7);
    DayList days;
    std::vector<std::string> items;
    SessionTimes at;
    LogContinuation again("", "", kCharge);
    EXPECT_EQ(continueFillTabl(path, again, fresh, days, items, at), Continued::Read);
    EXPECT_TRUE(again.ended());
    EXPECT_EQ(again.offset(), before.size());
    expectSame(outcomeOf(fresh, days, items, at), fullRead(path));
}

TEST_F(LogContinuationTest, ABadLineStopsTheReadAndOnlyARebuildGoesOn)
{
    velmar::test::writeFile(path, "+ 31-Feb-2003 11:00:00 CONNECT 2400\r\n");
    EXPECT_THROW_MSG(continueRead(path), ConvertError, "'31-02-2003' is not a valid date");
    EXPECT_FALSE(continuation.resumable());
    EXPECT_EQ(continueRead(path), Continued::Rebuild);
    // A bad day text of the range is refused before anything is read.
    EXPECT_THROW(LogContinuation("1-Xyz-2003", "2-Jan-2003", kCharge), ConvertError);
}

} // namespace
