#include "statistics/LogText.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace velmar;
using namespace std::string_literals;

namespace {

// The text of the open log as a read of it is handed it: its runs of whole lines from the text start to
// the end of the file, each ending at a line feed but the last; the end of the read is checked.
std::string textOf(LogText& log)
{
    LineBlocks lines = log.stretch(log.textStart(), LineBlocks::kToTheEnd);
    std::string text;
    std::string_view run;
    while (lines.next(run)) {
        EXPECT_TRUE(text.empty() || text.back() == '\n') << "only the last run may end without a line feed";
        text += run;
    }
    log.checkUnchanged(lines.handedUpTo());
    return text;
}

} // namespace

TEST(LogText, ResetStartsAgainFromTheFirstLineAndSeesTheFileAsItNowStands)
{
    test::TempDir dir;
    const std::string path = dir.write("new_line.log", "one\ntwo\n");
    LogText log;
    log.bind(path);
    ASSERT_TRUE(log.openShared());
    EXPECT_TRUE(log.isOpen());
    log.reset();
    EXPECT_EQ(log.openedSize(), 8u);
    EXPECT_EQ(textOf(log), "one\ntwo\n");
    test::writeFile(path, "one\ntwo\nthree\n");
    log.reset();
    EXPECT_EQ(log.openedSize(), 14u);
    EXPECT_EQ(textOf(log), "one\ntwo\nthree\n");
    log.close();
    EXPECT_FALSE(log.isOpen());
    EXPECT_THROW_MSG(log.stretch(0, LineBlocks::kToTheEnd), InOutError, "File not open");
    EXPECT_THROW_MSG(log.partStarts(), InOutError, "File not open");
}

TEST(LogText, OpeningFailures)
{
    test::TempDir dir;
    LogText log;
    EXPECT_FALSE(log.bound());
    EXPECT_FALSE(log.openShared());
    EXPECT_THROW_MSG(log.reset(), InOutError, "File not found");

    const std::string path = dir.write("new_line.log", "x\n");
    log.bind(path);
    EXPECT_TRUE(log.bound());
    EXPECT_EQ(log.path(), path);
    ASSERT_TRUE(log.openShared());
    // Removed since it was bound: the next rebuild cannot open it.
    ::unlink(path.c_str());
    EXPECT_THROW_MSG(log.reset(), InOutError, "File not found");
    EXPECT_FALSE(log.isOpen());
    EXPECT_FALSE(log.openShared());
}

TEST(LogText, AnExclusiveFlockKeepsTheLogFromUs)
{
    test::TempDir dir;
    const std::string path = dir.write("new_line.log", "x\n");
    const int mailer = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(mailer, 0);
    ASSERT_EQ(::flock(mailer, LOCK_EX), 0);

    LogText log;
    log.bind(path);
    EXPECT_FALSE(log.openShared());
    EXPECT_THROW_MSG(log.reset(), InOutError, "File access denied");

    ASSERT_EQ(::flock(mailer, LOCK_UN), 0);
    EXPECT_TRUE(log.openShared());
    // While we read, a writer cannot take the log to itself, but another reader can share it.
    EXPECT_NE(::flock(mailer, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(::flock(mailer, LOCK_SH | LOCK_NB), 0);
    ::flock(mailer, LOCK_UN);
    log.close();
    EXPECT_EQ(::flock(mailer, LOCK_EX | LOCK_NB), 0);
    ::close(mailer);
}

TEST(LogText, AnotherProcessesWriteLockKeepsTheLogFromUs)
{
    test::TempDir dir;
    const std::string path = dir.write("new_line.log", "x\n");
    int locked[2];
    int release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The mailer: holds a write lock until told to let go.
        const int fd = ::open(path.c_str(), O_RDWR);
        struct flock region { };
        region.l_type = F_WRLCK;
        region.l_whence = SEEK_SET;
        const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &region) == 0) ? 'y' : 'n';
        (void)!::write(locked[1], &ok, 1);
        char go = 0;
        (void)!::read(release[0], &go, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(locked[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');

    LogText log;
    log.bind(path);
    EXPECT_FALSE(log.openShared());
    EXPECT_THROW_MSG(log.reset(), InOutError, "File access denied");

    const char go = 'g';
    EXPECT_EQ(::write(release[1], &go, 1), 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(log.openShared());
    for (int fd : { locked[0], locked[1], release[0], release[1] })
        ::close(fd);
}

TEST(LogText, CopyOfALockedLog)
{
    test::TempDir start;
    test::TempDir logDir;
    const std::string logPath = logDir.write("new_line.log", "current\r\n");
    const std::string copyPath = start.file("~Log.tmp");

    // A copy left by an earlier run is replaced, and the copy is read.
    test::writeFile(copyPath, "old copy, longer than the log\r\n");
    LogText log;
    log.bindCopyOf(logPath, start.path());
    EXPECT_TRUE(log.readsCopy());
    EXPECT_EQ(log.path(), copyPath);
    EXPECT_EQ(test::readFile(copyPath), "current\r\n");
    log.reset();
    EXPECT_EQ(textOf(log), "current\r\n");

    // Nothing but "~Log.tmp" is left in the start directory.
    EXPECT_EQ(listDirectory(start.path(), "*"), std::vector<std::string> { "~Log.tmp" });
}

TEST(LogText, ACopyIsBroughtUpToALogThatOnlyGrew)
{
    test::TempDir start;
    test::TempDir logDir;
    const std::string logPath = logDir.write("new_line.log", "first\r\n");
    const std::string copyPath = start.file("~Log.tmp");
    LogText log;
    EXPECT_FALSE(log.extendCopy(logPath)); // no copy yet
    log.bindCopyOf(logPath, start.path());

    // What the mailer appended is added to the same copy.
    test::appendFile(logPath, "second\r\n");
    struct stat before { };
    ASSERT_EQ(::stat(copyPath.c_str(), &before), 0);
    EXPECT_TRUE(log.extendCopy(logPath));
    EXPECT_EQ(test::readFile(copyPath), "first\r\nsecond\r\n");
    struct stat after { };
    ASSERT_EQ(::stat(copyPath.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    log.reset();
    EXPECT_EQ(textOf(log), "first\r\nsecond\r\n");
    log.close();

    // Nothing new: the copy stays as it is.
    EXPECT_TRUE(log.extendCopy(logPath));
    EXPECT_EQ(test::readFile(copyPath), "first\r\nsecond\r\n");

    // Shorter than the copy, or another file under the log's name: only a new copy is right.
    ASSERT_EQ(::truncate(logPath.c_str(), 3), 0);
    EXPECT_FALSE(log.extendCopy(logPath));
    ASSERT_EQ(::rename(logPath.c_str(), (logPath + ".1").c_str()), 0);
    test::writeFile(logPath, "first\r\nsecond\r\nthird, of another log\r\n");
    EXPECT_FALSE(log.extendCopy(logPath));
    EXPECT_EQ(test::readFile(copyPath), "first\r\nsecond\r\n");
}

TEST(LogText, TheCopyIsReadThroughItsOwnDescriptorWhateverHappensToItsName)
{
    test::TempDir start;
    const std::string logPath = start.write("new_line.log", "first\r\nsecond\r\n");
    const std::string copyPath = start.file("~Log.tmp");
    const struct Case {
        const char* name;
        void (*change)(const std::string& copyPath);
    } cases[] = {
        // Another run in the same start directory replaced the copy by its own (half-written) one.
        { "replaced",
            [](const std::string& path) {
                test::writeFile(path + ".other", "half");
                ::rename((path + ".other").c_str(), path.c_str());
            } },
        // Another run removed it at its end.
        { "removed", [](const std::string& path) { ::unlink(path.c_str()); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogText log;
        log.bindCopyOf(logPath, start.path());
        c.change(copyPath);
        // A rebuild and a second one (a date range) both read the copy this run made.
        for (int rebuild = 0; rebuild < 2; ++rebuild) {
            log.reset();
            EXPECT_EQ(textOf(log), "first\r\nsecond\r\n");
            log.close();
        }
        // Only the copy this run made is ever removed.
        const bool hadOther = fileExists(copyPath);
        log.removeOwnCopy();
        EXPECT_EQ(fileExists(copyPath), hadOther);
        ::unlink(copyPath.c_str());
    }
}

TEST(LogText, AFailedCopySaysWhyAndNoOlderCopyIsRead)
{
    test::TempDir start;
    const std::string copyPath = start.write("~Log.tmp", "a copy of another log\r\n");
    LogText log;
    log.bind(start.write("bound.log", "bound before\r\n"));
    // A log that cannot be read: its own reason, not "File not found" for a copy the user never named.
    EXPECT_THROW_MSG(log.bindCopyOf(start.file("gone.log"), start.path()), InOutError, "File not found");
    EXPECT_FALSE(log.bound());
    EXPECT_THROW_MSG(log.reset(), InOutError, "File not found");
    ASSERT_EQ(::mkfifo(start.file("fifo.log").c_str(), 0644), 0);
    EXPECT_THROW_MSG(log.bindCopyOf(start.file("fifo.log"), start.path()), InOutError, "File access denied");
    // A rebuild after it (a date range) gives the same reason, not "File not found" for the copy.
    EXPECT_THROW_MSG(log.reset(), InOutError, "File access denied");
    // A start directory that is no directory: the copy cannot be made.
    EXPECT_THROW_MSG(log.bindCopyOf(copyPath, start.file("~Log.tmp")), InOutError, "File not found");
    // The other log's copy is left as it was and nothing of ours is left behind.
    EXPECT_EQ(test::readFile(copyPath), "a copy of another log\r\n");
    EXPECT_EQ(listDirectory(start.path(), "~Log*"), std::vector<std::string> { "~Log.tmp" });
}

TEST(LogText, ALogNamedLikeTheCopyIsNeverDeleted)
{
    test::TempDir start;
    const std::string logPath = start.write("~Log.tmp", "the mailer's own log\r\n");
    LogText log;
    log.bindCopyOf(logPath, start.path());
    log.reset();
    EXPECT_EQ(textOf(log), "the mailer's own log\r\n");
    log.close();
    log.removeOwnCopy();
    EXPECT_EQ(test::readFile(logPath), "the mailer's own log\r\n");
    // The copy had no name, so the start directory holds the log alone.
    EXPECT_EQ(listDirectory(start.path(), "*"), std::vector<std::string> { "~Log.tmp" });
}

TEST(LogText, RemoveOwnCopy)
{
    test::TempDir start;
    LogText log;
    EXPECT_NO_THROW(log.removeOwnCopy()); // no copy made
    start.write("~Log.tmp", "a copy of an earlier run");
    log.removeOwnCopy();
    EXPECT_TRUE(fileExists(start.file("~Log.tmp"))); // not this run's

    log.bindCopyOf(start.write("new_line.log", "log"), start.path());
    log.removeOwnCopy();
    EXPECT_FALSE(fileExists(start.file("~Log.tmp")));
    EXPECT_TRUE(fileExists(start.file("new_line.log")));
}

TEST(LogText, RemoveOwnCopyReportsAFailedDeletion)
{
    test::TempDir start;
    LogText log;
    log.bindCopyOf(start.write("new_line.log", "log"), start.path());
    ASSERT_EQ(::chmod(start.path().c_str(), 0555), 0);
    if (::geteuid() != 0) {
        EXPECT_THROW_MSG(log.removeOwnCopy(), InOutError, "File access denied");
    } else {
        // The super-user may delete from a read-only directory: try it as an ordinary user.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int result = 3;
            if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
                try {
                    log.removeOwnCopy();
                    result = 1;
                } catch (const InOutError& e) {
                    result = std::string(e.what()) == "File access denied" ? 0 : 2;
                }
            }
            ::_exit(result);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: nothing raised, 2: another message, 3: no ordinary user";
    }
    EXPECT_TRUE(fileExists(start.file("~Log.tmp")));
    ::chmod(start.path().c_str(), 0755);
}

// A rotation that copies the log and empties it, or cuts it, while it is read: the reader must not pass
// the part it read for the whole log.
TEST(LogText, ALogShortenedOrReplacedWhileItIsReadFailsTheRead)
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "line " + std::to_string(i) + " of the log\r\n";
    const struct Case {
        const char* name;
        int atBlock; // the change happens as the reader moves on to this block (of 64 bytes)
        void (*change)(const std::string& path);
        bool fails;
    } cases[] = {
        { "emptied after the first block", 1, [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 0), 0); },
            true },
        { "cut to 100 bytes in the middle", 20, [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 100), 0); },
            true },
        // Emptied, then written again by the mailer, but less than was read: still shorter than before.
        { "emptied and written anew", 5,
            [](const std::string& p) { test::writeFile(p, "12-Mar-2003 new line after the rotation\r\n"); }, true },
        // Renamed away and a new log put in its place: the name leads to another file now.
        { "replaced by a new file", 3,
            [](const std::string& p) {
                ::rename(p.c_str(), (p + ".1").c_str());
                test::writeFile(p, "new\r\n");
            },
            true },
        // The mailer appends while the log is read: that is no change of this kind.
        { "grown", 3,
            [](const std::string& p) {
                const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND);
                EXPECT_EQ(::write(fd, "more\r\n", 6), 6);
                ::close(fd);
            },
            false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir.write("new_line.log", text);
        LogText log(64);
        log.bind(path);
        int blocks = 0;
        log.setBlockHook([&] {
            if (++blocks == c.atBlock)
                c.change(path);
        });
        log.reset();
        if (c.fails) {
            EXPECT_THROW_MSG(
                textOf(log), InOutError, "The log file was emptied, shortened or replaced while it was being read");
        } else {
            EXPECT_GE(textOf(log).size(), text.size());
        }
        log.close();
        // Read again as it now stands, the log passes.
        log.setBlockHook({});
        log.reset();
        EXPECT_NO_THROW(textOf(log));
    }
}

TEST(LogText, AByteOrderMarkAtTheStartIsPassedOver)
{
    struct Case {
        const char* name;
        std::string content;
        uint64_t textStart;
    } const cases[] = {
        { "mark before the first line", "\xEF\xBB\xBFone\r\ntwo", 3 },
        { "mark alone", "\xEF\xBB\xBF", 3 },
        // Only the start of the file can hold the mark; anywhere else the bytes are text.
        { "mark in a later line", "one\n\xEF\xBB\xBFtwo", 0 },
        { "two bytes of a mark are text", "\xEF\xBBone", 0 },
        { "empty file", "", 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        LogText log(2);
        log.bind(dir.write("new_line.log", c.content));
        log.reset();
        EXPECT_EQ(log.textStart(), c.textStart);
        EXPECT_EQ(textOf(log), c.content.substr(c.textStart));
    }
}

// A log path that names a FIFO (or a device) must not leave the window waiting for a writer.
TEST(LogText, AFifoIsNoLog)
{
    test::TempDir dir;
    const std::string fifo = dir.file("new_line.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    LogText log;
    log.bind(fifo);
    EXPECT_FALSE(log.openShared());
    EXPECT_THROW_MSG(log.reset(), InOutError, "File access denied");
    log.bind("/dev/zero");
    EXPECT_THROW_MSG(log.reset(), InOutError, "File access denied");
}

// The parts of a read begin at line starts: behind the first line feed at or after the byte in front of
// each wanted offset, evenly spread over the text unless the plan names the offsets.
TEST(LogText, TheTextIsCutIntoPartsAtLineStarts)
{
    const auto lines = [](int count, size_t size) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += std::string(size - 1, static_cast<char>('a' + i % 26)) + "\n";
        return text;
    };
    struct Case {
        const char* name;
        std::string content;
        unsigned parts;
        uint64_t minPartBytes;
        std::vector<uint64_t> wanted;
        std::vector<uint64_t> starts;
        unsigned readers = 2;
    } const cases[] = {
        // 100 bytes hold one part of at least 60.
        { "one part below twice the least", lines(10, 10), 2, 60, {}, { 0 } },
        // 100 / 2 = 50: byte 49 is a line feed, so a line starts at 50.
        { "halves at a line start", lines(10, 10), 2, 10, {}, { 0, 50 } },
        // 110 / 2 = 55 lies inside the line of bytes 50 to 59: the next line starts at 60.
        { "halves inside a line", lines(11, 10), 2, 10, {}, { 0, 60 } },
        // 120 / 3 = 40: lines start at 40 and 80.
        { "thirds", lines(12, 10), 3, 10, {}, { 0, 40, 80 } },
        // More parts than the text has room for: 30 bytes in parts of at least 10 are three.
        { "no more parts than the least size allows", lines(3, 10), 8, 10, {}, { 0, 10, 20 } },
        // The text begins at 3; 3 + 110 / 2 = 58 lies in the line of bytes 53 to 62.
        { "behind a byte order mark", "\xEF\xBB\xBF" + lines(11, 10), 2, 10, {}, { 3, 63 } },
        // 1 -> the line feed at 9; 25 -> 29; 26 lies in front of the part before, so behind it: 39.
        { "offsets named", lines(5, 10), 0, 0, { 1, 25, 26 }, { 0, 10, 30, 40 } },
        // A line start at the end of the file begins no part, nor does a last line without a line feed.
        { "the end of the file", lines(5, 10), 0, 0, { 50 }, { 0 } },
        { "no line feed behind the middle", "short\n" + std::string(100, 'x'), 2, 10, {}, { 0 } },
        { "empty file", "", 2, 1, {}, { 0 } },
        // Left to the plan, each part is a fourth of what two readers have left, at least 10: 25, 18, 14,
        // 10, then 10 and 10 while 10 more remain; the last 13 stay with the part before. Each offset
        // (25, 43, 57, 67, 77, 87) moves to the line start behind it.
        { "shrinking parts for two readers", lines(10, 10), 0, 10, {}, { 0, 30, 50, 60, 70, 80, 90 }, 2 },
        // Three readers: sixths of what is left, 16 and 14 (84 / 6), then the least, 12, four times; the
        // last 22 stay with the part before. Offsets 16, 30, 42, 54, 66, 78.
        { "shrinking parts for three readers", lines(10, 10), 0, 12, {}, { 0, 20, 30, 50, 60, 70, 80 }, 3 },
        { "one reader reads one part", lines(10, 10), 0, 10, {}, { 0 }, 1 },
        // 70 bytes: a part of 40 would leave 30, too little for a second one.
        { "too little for a second part", lines(7, 10), 0, 40, {}, { 0 }, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        LogText log;
        log.bind(dir.write("new_line.log", c.content));
        ReadPlan plan;
        plan.parts = c.parts;
        plan.readers = c.readers;
        plan.minPartBytes = c.minPartBytes;
        plan.starts = c.wanted;
        log.setReadPlan(plan);
        log.reset();
        EXPECT_EQ(log.partStarts(), c.starts);
    }
    // Many readers and a small least size: no more than the most parts, each no larger than the one before
    // it but for the line it is rounded to.
    test::TempDir dir;
    LogText log;
    log.bind(dir.write("new_line.log", lines(1000, 10)));
    ReadPlan plan;
    plan.readers = ReadPlan::kMostReaders;
    plan.minPartBytes = 1;
    log.setReadPlan(plan);
    log.reset();
    const std::vector<uint64_t> starts = log.partStarts();
    ASSERT_EQ(starts.size(), ReadPlan::kMostParts);
    for (size_t k = 2; k < starts.size(); ++k)
        EXPECT_LE(starts[k] - starts[k - 1], starts[k - 1] - starts[k - 2] + 10) << "part " << k;
    // Left to the processors, there are as many readers as they allow, up to the most.
    log.setReadPlan(ReadPlan());
    EXPECT_EQ(log.readers(), std::min(usableProcessors(), ReadPlan::kMostReaders));
}
