// Runs of the real program beside a mailer that writes, locks and rotates its log, on start directories
// made for each check. Whatever happens, a run either writes exactly the full export and ends with status
// 0, or ends with status 1 and a message; and no run ever costs the user one of the files it reads.
#include "platform/Errors.h"
#include "platform/Files.h"
#include "settings/ConfigFile.h"
#include "settings/Language.h"
#include "support/ProgramRun.h"
#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using velmar::test::ProgramResult;
using velmar::test::TempDir;

namespace {

const char* const kChanged = "The log file was emptied, shortened or replaced while it was being read";

// A start directory with the demo's settings, language files and log.
class SafeRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmar::test::copyDemo(dir);
        labels = velmar::readLanguage(dir.file("english.lng")).labels;
    }

    ProgramResult run(
        const std::vector<std::string>& args, const velmar::test::RunLimits& limits = {}, int timeoutSeconds = 60) const
    {
        return velmar::test::runProgram(VELMAR_STAT, args, dir.path(), { "LC_ALL=C" }, timeoutSeconds, limits);
    }

    // The export of both tables that a clean run writes, from the start directory as it stands.
    std::string fullExport() const
    {
        const ProgramResult r = run({ "-a", "expected.txt", "-e" });
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::string text = read("expected.txt");
        ::unlink(dir.file("expected.txt").c_str());
        return text;
    }

    // Rewrites "config" with other texts.
    void configure(const velmar::ConfTexts& texts, double tariff = 4.79) const
    {
        velmar::TConfRec rec;
        try {
            velmar::readConfRec(dir.file("config"), rec);
        } catch (const velmar::ConvertError&) {
            // A tariff that is no number, written by an earlier case: the rest of the record is read.
        }
        velmar::fillConfRec(rec, texts);
        rec.TarifPerMin = tariff;
        velmar::writeConfRec(dir.file("config"), rec);
    }

    std::string read(const std::string& name) const { return velmar::test::readFile(dir.file(name)); }
    bool exists(const std::string& name) const { return velmar::fileExists(dir.file(name)); }

    // Every file of the start directory with its bytes.
    std::map<std::string, std::string> snapshot() const
    {
        std::map<std::string, std::string> files;
        for (const std::string& name : velmar::listDirectory(dir.path(), "*"))
            files[name] = exists(name) ? read(name) : std::string("(not a file)");
        return files;
    }

    TempDir dir;
    std::array<std::string, 16> labels;
};

// Holds a file locked as the mailer holds its log.
class MailerLock {
public:
    explicit MailerLock(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(::flock(fd_, LOCK_EX), 0);
    }
    ~MailerLock() { ::close(fd_); }
    MailerLock(const MailerLock&) = delete;
    MailerLock& operator=(const MailerLock&) = delete;

private:
    int fd_;
};

std::string repeated(const std::string& text, int times)
{
    std::string all;
    all.reserve(text.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

} // namespace

TEST_F(SafeRun, AnExportNeverTakesThePlaceOfAFileTheProgramReads)
{
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("config", dir.file("link-to-config").c_str()), 0);
    ASSERT_EQ(::link(dir.file("new_line.log").c_str(), dir.file("sub/second-name.log").c_str()), 0);
    const std::string copy = "~Log.tmp";
    const struct Case {
        const char* name;
        std::vector<std::string> args;
        bool locked; // the mailer holds the log, so "~Log.tmp" is this run's copy
    } cases[] = {
        { "the log", { "-d", "new_line.log", "-e" }, false },
        { "the settings file", { "-g", "config", "-e" }, false },
        { "a language file", { "-d", "english.lng", "-e" }, false },
        { "the other language file", { "-d", "russian.lng", "-e" }, false },
        { "the readme", { "-a", "readme-english.txt", "-e" }, false },
        { "the log by another spelling", { "-a", "sub/../new_line.log", "-e" }, false },
        { "the log by an absolute path", { "-a", dir.file("new_line.log"), "-e" }, false },
        { "a symbolic link to the settings", { "-g", "link-to-config", "-e" }, false },
        { "a hard link to the log", { "-d", "sub/second-name.log", "-e" }, false },
        { "the copy of a locked log", { "-a", copy, "-e" }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = snapshot();
        std::optional<MailerLock> lock;
        if (c.locked)
            lock.emplace(dir.file("new_line.log"));
        const ProgramResult r = run(c.args);
        lock.reset();
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, (c.locked ? "Error: " + labels[11] + "\n" : "") + "Error: " + labels[15] + "\n");
        // Byte for byte as before, the copy gone again with its run.
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(SafeRun, AnExportThatFailsKeepsTheOlderOneWhole)
{
    const std::string expected = fullExport();
    ASSERT_GT(expected.size(), 12000u);
    velmar::test::writeFile(dir.file("all.txt"), "yesterday's complete export\r\n");
    const auto before = snapshot();
    // The export file may grow to 10,000 bytes only: the disk is full before the export is.
    velmar::test::RunLimits limits;
    limits.fileSizeLimit = 10000;
    const ProgramResult r = run({ "-a", "all.txt", "-e" }, limits);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: I/O error 27\n"); // EFBIG, the file-size limit's own reason
    EXPECT_EQ(snapshot(), before); // the old export whole, no temporary file left
    // With room, the same run replaces it by the full export.
    EXPECT_EQ(run({ "-a", "all.txt", "-e" }).exitCode, 0);
    EXPECT_EQ(read("all.txt"), expected);
}

TEST_F(SafeRun, AFifoThatNobodyReadsFailsAtOnce)
{
    ASSERT_EQ(::mkfifo(dir.file("out.fifo").c_str(), 0644), 0);
    const ProgramResult r = run({ "-a", "out.fifo", "-e" }, {}, 20);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: " + labels[15] + "\n");
}

TEST_F(SafeRun, StandardOutputAndDevicesAreStillWrittenDirectly)
{
    const std::string expected = fullExport();
    ProgramResult r = run({ "-e", "-a" });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected);
    r = run({ "-a", "/dev/null", "-e" });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}

// copytruncate rotation: the log is copied away and emptied while a run reads it. Each attempt empties a
// large log after a delay that the outcomes steer into the read; every outcome must be a whole one.
TEST_F(SafeRun, ALogEmptiedWhileItIsReadIsNeverExportedInPart)
{
    const std::string bigLog = repeated(read("new_line.log"), 200); // 60 MB
    velmar::test::writeFile(dir.file("new_line.log"), bigLog);
    const std::string full = fullExport();
    velmar::test::writeFile(dir.file("new_line.log"), "");
    const std::string empty = fullExport();

    int midRead = 0, early = 0, late = 0;
    double delayMs = 150;
    for (int attempt = 0; attempt < 40 && midRead < 2; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt) + ", emptied after " + std::to_string(delayMs) + " ms");
        velmar::test::writeFile(dir.file("new_line.log"), bigLog);
        ::unlink(dir.file("all.txt").c_str());
        std::thread rotation([&, delayMs] {
            std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(delayMs * 1000)));
            EXPECT_EQ(::truncate(dir.file("new_line.log").c_str(), 0), 0);
        });
        const ProgramResult r = run({ "-a", "all.txt", "-e" });
        rotation.join();
        ASSERT_FALSE(r.timedOut);
        if (r.exitCode == 0) {
            // Read whole before the rotation, or only after it: the export of one of the two logs.
            const std::string exported = read("all.txt");
            ASSERT_TRUE(exported == full || exported == empty) << "a partial export with status 0";
            EXPECT_EQ(r.err, "");
            if (exported == full) {
                ++late;
                delayMs *= 0.7;
            } else {
                ++early;
                delayMs *= 1.3;
            }
        } else {
            ASSERT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.err, std::string("Error: ") + kChanged + "\n");
            EXPECT_FALSE(exists("all.txt")); // nothing of the part that was read
            ++midRead;
        }
    }
    std::printf("rotations: %d during the read, %d before it, %d after it\n", midRead, early, late);
    EXPECT_GE(midRead, 1) << "no rotation fell into the read";
}

TEST_F(SafeRun, TwoRunsOnALockedLogEachReadTheirOwnWholeCopy)
{
    const std::string bigLog = repeated(read("new_line.log"), 200); // 60 MB: a copy takes a while
    velmar::test::writeFile(dir.file("new_line.log"), bigLog);
    const std::string full = fullExport();
    // A copy of another log, left by a run that did not end, must never be read.
    velmar::test::writeFile(dir.file("~Log.tmp"), "  01-Jan-2003 00:00:00 Mailer started\r\n");
    const MailerLock lock(dir.file("new_line.log"));
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ProgramResult first, second;
        std::thread other([&] { second = run({ "-a", "second.txt", "-e" }); });
        // The second run starts a little later in every round, so the copies overlap at different points.
        std::this_thread::sleep_for(std::chrono::milliseconds(8 * round));
        first = run({ "-a", "first.txt", "-e" });
        other.join();
        for (const ProgramResult* r : { &first, &second }) {
            EXPECT_FALSE(r->timedOut);
            // The copy message is shown, so the status is 1; the export is the whole log all the same.
            EXPECT_EQ(r->exitCode, 1);
            EXPECT_EQ(r->err, "Error: " + labels[11] + "\n");
        }
        EXPECT_EQ(read("first.txt"), full);
        EXPECT_EQ(read("second.txt"), full);
        // Each run removes only its own copy; none of our temporary files is left.
        EXPECT_EQ(velmar::listDirectory(dir.path(), "~Log*").size(), exists("~Log.tmp") ? 1u : 0u);
        EXPECT_TRUE(velmar::listDirectory(dir.path(), ".*.tmp").empty());
    }
}

TEST_F(SafeRun, ACopyThatCannotBeMadeSaysWhyAndNoOlderCopyIsRead)
{
    const std::string staleCopy = "  01-Jan-2003 00:00:00 Mailer started\r\n";
    velmar::test::writeFile(dir.file("~Log.tmp"), staleCopy);
    TempDir exports;
    ASSERT_EQ(::chmod(exports.path().c_str(), 0777), 0);
    const std::string target = exports.file("all.txt");
    const struct Case {
        const char* name;
        velmar::test::RunLimits limits;
        mode_t startDirMode;
        const char* reason;
    } cases[] = {
        // An ordinary user in a start directory without write access (the super-user would write anyway).
        { "start directory not writable", { -1, true }, 0555, "File access denied" },
        // The copy meets the end of the room it may take (EFBIG, the file-size limit's own error).
        { "no room for the copy", { 100000, false }, 0755, "I/O error 27" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(::chmod(dir.path().c_str(), c.startDirMode), 0);
        std::optional<MailerLock> lock(dir.file("new_line.log"));
        const ProgramResult r = run({ "-a", target, "-e" }, c.limits);
        lock.reset();
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "Error: " + labels[11] + "\nError: " + c.reason + "\n");
        EXPECT_FALSE(velmar::fileExists(target));
        EXPECT_EQ(read("~Log.tmp"), staleCopy);
        EXPECT_EQ(velmar::listDirectory(dir.path(), "~Log*"), std::vector<std::string> { "~Log.tmp" });
    }
}

TEST_F(SafeRun, ALogNamedLikeTheCopyIsNeverDeleted)
{
    ::rename(dir.file("new_line.log").c_str(), dir.file("~Log.tmp").c_str());
    configure({ "4.79", "0", "~Log.tmp", "%1 %2 %3 %4 %5 %6 %7", "%4 %5 %6 %7 %8", "english" });
    const std::string log = read("~Log.tmp");
    const std::string full = fullExport();
    for (const bool locked : { false, true }) {
        SCOPED_TRACE(locked ? "locked" : "unlocked");
        std::optional<MailerLock> lock;
        if (locked)
            lock.emplace(dir.file("~Log.tmp"));
        const ProgramResult r = run({ "-a", "all.txt", "-e" });
        lock.reset();
        // Locked, the copy message is shown (status 1) and the copy is read; the export is the same.
        EXPECT_EQ(r.exitCode, locked ? 1 : 0);
        EXPECT_EQ(read("all.txt"), full);
        EXPECT_EQ(read("~Log.tmp"), log); // the mailer's log, byte for byte
    }
}

TEST_F(SafeRun, ATariffThatIsNoNumberIsRefused)
{
    const double huge = std::numeric_limits<double>::max();
    const struct Case {
        const char* name;
        double tariff;
        const char* message;
    } cases[] = {
        { "NaN", std::nan(""), "'NAN' is not a valid floating point value" },
        { "infinite", std::numeric_limits<double>::infinity(), "'INF' is not a valid floating point value" },
        { "minus infinite", -std::numeric_limits<double>::infinity(), "'-INF' is not a valid floating point value" },
        // A finite tariff whose money for two minutes no longer is.
        { "overflowing money", huge, "Floating point overflow" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        configure({ "4.79", "0", "new_line.log", "%1 %2 %3 %4 %5 %6 %7", "%4 %5 %6 %7 %8", "english" }, c.tariff);
        const ProgramResult r = run({ "-a", "all.txt", "-e" });
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, std::string("Error: ") + c.message + "\n");
        EXPECT_FALSE(exists("all.txt"));
    }
}

TEST_F(SafeRun, AReadOnlySettingsFileIsRead)
{
    const std::string full = fullExport();
    ASSERT_EQ(::chmod(dir.file("config").c_str(), 0444), 0);
    const ProgramResult r = run({ "-a", "all.txt", "-e" });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read("all.txt"), full);
}

TEST_F(SafeRun, ASymbolicLinkAsTheSettingsFileIsRead)
{
    const std::string full = fullExport();
    ASSERT_EQ(::mkdir(dir.file("settings").c_str(), 0755), 0);
    ASSERT_EQ(::rename(dir.file("config").c_str(), dir.file("settings/config").c_str()), 0);
    ASSERT_EQ(::symlink("settings/config", dir.file("config").c_str()), 0);
    const ProgramResult r = run({ "-a", "all.txt", "-e" });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(read("all.txt"), full);
}

TEST_F(SafeRun, ParametersReachTheCommandLineAsGiven)
{
    const std::string full = fullExport();
    const struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* file; // the file that must hold the export of both tables
    } cases[] = {
        // Options the toolkit would take for its own are file names like any other.
        { "-reverse", { "-a", "-reverse", "-e" }, "-reverse" },
        { "-platform", { "-a", "-platform", "-e" }, "-platform" },
        { "-style", { "-a", "-style", "-e" }, "-style" },
        { "-qwindowgeometry", { "-a", "-qwindowgeometry", "-e" }, "-qwindowgeometry" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read(c.file), full);
    }
}

TEST_F(SafeRun, AMessageQuotingControlBytesIsWhole)
{
    // A session's date with a NUL and a carriage return inside: the conversion message shows them escaped.
    std::string log = read("new_line.log");
    const size_t connect = log.find("+ 01-Sen-2003 12:25:09 CONNECT");
    ASSERT_NE(connect, std::string::npos);
    log[connect + 5] = '\0';
    log[connect + 6] = '\x1b';
    velmar::test::writeFile(dir.file("new_line.log"), log);
    const ProgramResult r = run({ "-a", "all.txt", "-e" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: '01-\\x00\\x1bn-2003' is not a valid date\n");
}

TEST_F(SafeRun, AHugeReadmeIsOnlyCheckedInARunWithoutADisplay)
{
    const std::string full = fullExport();
    // A readme of 2 GB (sparse: it takes no room); loading it would take minutes and gigabytes.
    const std::string readme = dir.file("readme-english.txt");
    ::unlink(readme.c_str());
    const int sparse = ::open(readme.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(sparse, 0);
    ASSERT_EQ(::ftruncate(sparse, off_t { 2 } << 30), 0);
    ::close(sparse);
    ProgramResult r = run({ "-a", "all.txt", "-e" }, {}, 20);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(read("all.txt"), full);
    // A readme that cannot be opened still stops the run with its message.
    ::unlink(dir.file("readme-english.txt").c_str());
    r = run({ "-a", "other.txt", "-e" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: Cannot open file readme-english.txt\n");
    EXPECT_FALSE(exists("other.txt"));
}
