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

// Reads the way a rebuild does: a line, then the end-of-file test.
std::vector<std::string> readAll(LogText& log)
{
    std::vector<std::string> lines;
    std::string_view line;
    do {
        log.readLine(line);
        lines.emplace_back(line);
    } while (!log.eof());
    return lines;
}

// Reads the way the session extraction does: a line, the end-of-file test, and only then the line is taken,
// so a view that the test spoilt shows.
std::vector<std::string> readAllTakingEachLineAfterTheTest(LogText& log)
{
    std::vector<std::string> lines;
    std::string_view line;
    bool end = false;
    while (!end) {
        log.readLine(line);
        end = log.eof();
        lines.emplace_back(line);
    }
    return lines;
}

std::vector<std::string> readFileLines(const std::string& path, size_t blockSize)
{
    LogText log(blockSize);
    log.bind(path);
    log.reset();
    auto lines = readAll(log);
    log.close();
    return lines;
}

} // namespace

TEST(LogText, SplitsLines)
{
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> lines;
    } const cases[] = {
        // An empty file still yields the one empty line that reading at the end gives.
        { "empty file", "", { "" } },
        { "LF", "one\ntwo\n", { "one", "two" } },
        { "CR LF", "one\r\ntwo\r\n", { "one", "two" } },
        { "no final line end", "one\r\ntwo", { "one", "two" } },
        // The line feed after "two" ends that line; the empty text behind it is no further line.
        { "empty lines", "\n\none\n\n", { "", "", "one", "" } },
        { "lone CR dropped", "a\rb\r\nc\r\r\n\r", { "ab", "c", "" } },
        { "CR LF only", "\r\n", { "" } },
        { "Ctrl+Z at a line start ends the file", "one\r\n\x1Atwo\r\nthree\r\n", { "one" } },
        { "Ctrl+Z as the first byte",
            "\x1A"
            "one\n",
            { "" } },
        { "Ctrl+Z inside a line is a byte", "one\x1A two\r\nthree", { "one\x1A two", "three" } },
        // A CR before the Ctrl+Z makes it the second byte of its line, dropped CR or not.
        { "Ctrl+Z after a CR", "one\n\r\x1A", { "one", "\x1A" } },
        { "NUL bytes", "a\0b\r\n\0\n"s, { "a\0b"s, "\0"s } },
        // More line feeds than a block keeps the places of: the rest of the block is searched.
        { "dense short lines", "a\n\n\r\nbc\n\n\n\r\nd\r\n\n\n\ne\n\n\r\n\n\nfg\r\n\n\n\nh",
            { "a", "", "", "bc", "", "", "", "d", "", "", "", "e", "", "", "", "", "fg", "", "", "", "h" } },
    };
    // Small blocks put every line end, CR LF pair and Ctrl+Z on a block edge somewhere; blocks of 8 and 16
    // bytes keep the places of one and two line feeds only.
    for (const size_t blockSize :
        { LogText::kBlockSize, size_t { 1 }, size_t { 2 }, size_t { 3 }, size_t { 5 }, size_t { 8 }, size_t { 16 } }) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            test::TempDir dir;
            EXPECT_EQ(readFileLines(dir.write("new_line.log", c.content), blockSize), c.lines);
        }
    }
}

TEST(LogText, ReadingAtTheEndGivesEmptyLines)
{
    test::TempDir dir;
    LogText log;
    log.bind(dir.write("new_line.log", "only\r\n"));
    log.reset();
    std::string_view line;
    EXPECT_FALSE(log.eof());
    EXPECT_TRUE(log.readLine(line));
    EXPECT_EQ(line, "only");
    EXPECT_TRUE(log.eof());
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(log.readLine(line));
        EXPECT_EQ(line, "");
        EXPECT_TRUE(log.eof());
    }
}

TEST(LogText, LinesLongerThanTheBlock)
{
    test::TempDir dir;
    const std::string longLine(3 * LogText::kBlockSize + 17, 'x');
    const std::string withCr = std::string(LogText::kBlockSize - 1, 'y') + "\r\r" + "z";
    const std::string path = dir.write("new_line.log", "a\r\n" + longLine + "\r\n" + withCr + "\r\nb");
    const auto lines = readFileLines(path, LogText::kBlockSize);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[1].size(), longLine.size());
    EXPECT_TRUE(lines[1] == longLine);
    EXPECT_TRUE(lines[2] == std::string(LogText::kBlockSize - 1, 'y') + "z");
    EXPECT_EQ(lines[3], "b");
}

TEST(LogText, ResetStartsAgainFromTheFirstLineAndSeesTheFileAsItNowStands)
{
    test::TempDir dir;
    const std::string path = dir.write("new_line.log", "one\ntwo\n");
    LogText log;
    log.bind(path);
    ASSERT_TRUE(log.openShared());
    EXPECT_TRUE(log.isOpen());
    log.reset();
    std::string_view line;
    log.readLine(line);
    EXPECT_EQ(line, "one");
    test::writeFile(path, "one\ntwo\nthree\n");
    log.reset();
    EXPECT_EQ(readAll(log), (std::vector<std::string> { "one", "two", "three" }));
    log.close();
    EXPECT_FALSE(log.isOpen());
    EXPECT_THROW_MSG(log.readLine(line), InOutError, "File not open");
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
    EXPECT_EQ(readAll(log), std::vector<std::string> { "current" });

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
    EXPECT_EQ(readAll(log), (std::vector<std::string> { "first", "second" }));
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
            EXPECT_EQ(readAll(log), (std::vector<std::string> { "first", "second" }));
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
    EXPECT_EQ(readAll(log), std::vector<std::string> { "the mailer's own log" });
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
                readAll(log), InOutError, "The log file was emptied, shortened or replaced while it was being read");
        } else {
            EXPECT_GE(readAll(log).size(), 200u);
        }
        log.close();
        // Read again as it now stands, the log passes.
        log.setBlockHook({});
        log.reset();
        EXPECT_NO_THROW(readAll(log));
    }
}

// Found by fuzzing: the end-of-file test after a line that ends exactly at a block edge read the next
// block over the line the caller still held, so a session's closing line was read as the next line.
TEST(LogText, TheLineReadStaysValidAcrossTheEndOfFileTest)
{
    test::TempDir dir;
    const std::string path = dir.write("new_line.log", "abc\ndefg\r\nhi\n\x1Aj");
    // Every block size from 1 byte to more than the file puts the edges everywhere.
    for (size_t blockSize = 1; blockSize <= 16; ++blockSize) {
        SCOPED_TRACE("block " + std::to_string(blockSize));
        LogText log(blockSize);
        log.bind(path);
        log.reset();
        EXPECT_EQ(readAllTakingEachLineAfterTheTest(log), (std::vector<std::string> { "abc", "defg", "hi" }));
    }
}

// Many blocks pass while a log is read: each is read ahead while the one before is handed out. The line
// taken last must survive the end-of-file test that moves on to the next block, on every path a line can
// come by (known line feed, searched line feed, over an edge, with carriage returns inside).
TEST(LogText, ManyBlocksReadAheadKeepEveryLineAndItsView)
{
    std::string content;
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        std::string text(static_cast<size_t>(i * 37 % 121), static_cast<char>('a' + i % 26));
        if (i % 97 == 5)
            text = std::string(700, 'L'); // longer than the small blocks
        std::string written = text;
        if (i % 53 == 7)
            written.insert(written.size() / 2, "\r"); // a lone CR, dropped
        content += written + (i % 3 == 0 ? "\n" : "\r\n");
        expected.push_back(text);
    }
    test::TempDir dir;
    const std::string path = dir.write("new_line.log", content);
    for (const size_t blockSize : { size_t { 64 }, size_t { 1000 }, size_t { 4096 }, LogText::kBlockSize }) {
        SCOPED_TRACE("block " + std::to_string(blockSize));
        LogText log(blockSize);
        log.bind(path);
        log.reset();
        EXPECT_EQ(readAllTakingEachLineAfterTheTest(log), expected);
    }
}

TEST(LogText, AByteOrderMarkAtTheStartIsPassedOver)
{
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> lines;
    } const cases[] = {
        { "mark before the first line", "\xEF\xBB\xBFone\r\ntwo", { "one", "two" } },
        { "mark alone", "\xEF\xBB\xBF", { "" } },
        // Only the start of the file can hold the mark; anywhere else the bytes are text.
        { "mark in a later line", "one\n\xEF\xBB\xBFtwo", { "one", "\xEF\xBB\xBFtwo" } },
        { "two bytes of a mark are text", "\xEF\xBBone", { "\xEF\xBBone" } },
        { "Ctrl+Z behind the mark ends the file", "\xEF\xBB\xBF\x1Aone\n", { "" } },
    };
    for (const size_t blockSize : { LogText::kBlockSize, size_t { 1 }, size_t { 2 } }) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            test::TempDir dir;
            EXPECT_EQ(readFileLines(dir.write("new_line.log", c.content), blockSize), c.lines);
        }
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

// Read a run of whole lines at a time, the log is handed out as it stands up to the end of its text: every
// run ends at a line feed except a last line without one, and nothing behind a Ctrl+Z that starts a line.
TEST(LogText, ReadTextHandsOutWholeLines)
{
    struct Case {
        const char* name;
        std::string content;
        std::string text; // what the runs give together
        LogText::ReadEnd end;
    } const cases[] = {
        { "empty file", "", "", { 0, false, false } },
        { "whole lines", "one\r\ntwo\n", "one\r\ntwo\n", { 9, false, false } },
        // The last line without its line feed is handed out; the offset is the end of the file.
        { "open last line", "one\ntw\ro", "one\ntw\ro", { 8, false, true } },
        // The Ctrl+Z stands at 5; a Ctrl+Z inside a line is text.
        { "Ctrl+Z at a line start", "o\x1Ane\n\x1Atwo\n", "o\x1Ane\n", { 5, true, false } },
        { "Ctrl+Z first",
            "\x1A"
            "one\n",
            "", { 0, true, false } },
        // The byte order mark is no text, but its 3 bytes count in the offset.
        { "byte order mark", "\xEF\xBB\xBFone\n", "one\n", { 7, false, false } },
    };
    for (const size_t blockSize : { LogText::kBlockSize, size_t { 1 }, size_t { 2 }, size_t { 3 }, size_t { 5 } }) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            test::TempDir dir;
            LogText log(blockSize);
            log.bind(dir.write("new_line.log", c.content));
            log.reset();
            std::string all;
            std::string_view text;
            bool lastWithoutLineFeed = false;
            while (log.readText(text)) {
                EXPECT_FALSE(text.empty());
                EXPECT_FALSE(lastWithoutLineFeed) << "only the last run may end without a line feed";
                lastWithoutLineFeed = text.back() != '\n';
                all += text;
            }
            EXPECT_EQ(all, c.text);
            EXPECT_TRUE(log.eof());
            const LogText::ReadEnd end = log.readEnd();
            EXPECT_EQ(end.offset, c.end.offset);
            EXPECT_EQ(end.ctrlZ, c.end.ctrlZ);
            EXPECT_EQ(end.lastLineOpen, c.end.lastLineOpen);
            log.close();
        }
    }
}
