#include "platform/CodePage.h"
#include "platform/Files.h"
#include "settings/ConfigFile.h"
#include "settings/Language.h"
#include "support/ProgramRun.h"
#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using velmar::test::ProgramResult;
using velmar::test::TempDir;

namespace {

// A start directory with the demo's settings, language files and log.
class Unattended : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmar::test::copyDemo(dir);
        labels = velmar::readLanguage(dir.file("english.lng")).labels;
    }

    ProgramResult run(const std::vector<std::string>& args, std::vector<std::string> env = {})
    {
        env.push_back("LC_ALL=C");
        return velmar::test::runProgram(VELMAR_STAT, args, dir.path(), env);
    }

    std::string read(const char* name) const { return velmar::test::readFile(dir.file(name)); }
    bool exists(const char* name) const { return velmar::fileExists(dir.file(name)); }

    TempDir dir;
    std::array<std::string, 16> labels;
};

} // namespace

TEST_F(Unattended, TwoSwitchesWriteTwoFilesAndEndWithStatusZero)
{
    const ProgramResult r = run({ "-d", "detailed.txt", "-g", "summary.txt", "-e" });
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    const std::string detailed = read("detailed.txt");
    const std::string summary = read("summary.txt");
    EXPECT_EQ(detailed.rfind("       Date", 0), 0u) << detailed.substr(0, 80);
    EXPECT_NE(summary.find(labels[0]), std::string::npos); // the total row
    EXPECT_GT(velmar::test::crlfLineCount(detailed), velmar::test::crlfLineCount(summary));
}

TEST_F(Unattended, SameNameTwiceKeepsOnlyTheSecondExport)
{
    ASSERT_EQ(run({ "-g", "summary.txt" }).exitCode, 0);
    const ProgramResult r = run({ "-d", "out.txt", "-g", "out.txt", "-e" });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(read("out.txt"), read("summary.txt"));
}

TEST_F(Unattended, FileNamedLikeASwitchIsWrittenAndActsAsTheSwitch)
{
    // "-d" takes "-e" as its file name, and "-e" then also ends the program.
    const ProgramResult r = run({ "-d", "-e" });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(exists("-e"));
    ASSERT_EQ(run({ "-d", "detailed.txt" }).exitCode, 0);
    EXPECT_EQ(read("-e"), read("detailed.txt"));
}

TEST_F(Unattended, CapitalisedSwitchIsPassedOver)
{
    const ProgramResult r = run({ "-D", "detailed.txt", "-e" });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(exists("detailed.txt"));
}

TEST_F(Unattended, SwitchAsTheLastParameterWritesToStandardOutput)
{
    const ProgramResult r = run({ "-e", "-a" });
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(run({ "-a", "all.txt" }).exitCode, 0);
    EXPECT_EQ(r.out, read("all.txt"));
}

TEST_F(Unattended, UnwritableFileShowsItsMessageAndFails)
{
    const ProgramResult r = run({ "-d", "no/such/dir.txt", "-g", "summary.txt", "-e" });
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: " + labels[15] + "\n");
    EXPECT_FALSE(exists("summary.txt")); // processing stops at the failed file
}

TEST_F(Unattended, BadTemplateShowsItsMessageAndTheNextExportStillRuns)
{
    velmar::TConfRec rec;
    velmar::readConfRec(dir.file("config"), rec);
    velmar::fillConfRec(rec, { "4.79", "0", "new_line.log", "%1 %x", "%4 %5 %6 %7 %8", "english" });
    velmar::writeConfRec(dir.file("config"), rec);
    const ProgramResult r = run({ "-d", "detailed.txt", "-g", "summary.txt" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: " + labels[14] + "\n");
    EXPECT_EQ(read("detailed.txt"), "");
    EXPECT_GT(read("summary.txt").size(), 0u);
}

TEST_F(Unattended, FullDiskShowsDiskFull)
{
    const ProgramResult r = run({ "-a", "/dev/full", "-e" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: Disk full\n");
}

TEST_F(Unattended, MissingLogOrSettingsEndWithStatusOne)
{
    ::unlink(dir.file("new_line.log").c_str());
    ProgramResult r = run({ "-a", "all.txt", "-e" });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: " + labels[10] + "\n");
    EXPECT_FALSE(exists("all.txt"));

    ::unlink(dir.file("config").c_str());
    r = run({ "-a", "all.txt", "-e" });
    EXPECT_EQ(r.exitCode, 1);
    // No language applied yet: the message comes from the "russian" file of the start directory,
    // shown in UTF-8 on the terminal.
    const std::string russian12 = velmar::readLanguage(dir.file("russian.lng")).labels[12];
    ASSERT_FALSE(russian12.empty());
    EXPECT_EQ(r.err, "Error: " + velmar::test::utf8FromCp1251(russian12) + "\n");
    EXPECT_FALSE(exists("all.txt"));
}

TEST_F(Unattended, EndingByTheSwitchRemovesTheCopyOfALockedLog)
{
    ASSERT_EQ(run({ "-d", "expected.txt" }).exitCode, 0);
    // The mailer holds the log with an exclusive lock: the program says so and reads a copy, which the
    // run removes again when it ends.
    const int fd = ::open(dir.file("new_line.log").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const ProgramResult r = run({ "-d", "detailed.txt", "-e" });
    ::close(fd);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: " + labels[11] + "\n");
    EXPECT_EQ(read("detailed.txt"), read("expected.txt"));
    EXPECT_FALSE(exists("~Log.tmp"));
}

namespace {

// The "Error: " lines of a standard error: what the user is told, without the toolkit's remarks.
std::string errorLines(const std::string& err)
{
    std::string lines;
    for (size_t from = 0; from < err.size();) {
        const size_t end = std::min(err.find('\n', from), err.size());
        if (err.compare(from, 7, "Error: ") == 0)
            lines.append(err, from, end - from).append("\n");
        from = end + 1;
    }
    return lines;
}

} // namespace

// A run without a screen does start-up with the core alone; with a screen the window program does it. The
// platform "minimal" stands in for a screen here, and "-e" comes first, so that the window shows no box
// and its messages go to standard error too. Both must write the same files and say the same.
TEST_F(Unattended, TheWindowProgramWritesAndSaysWhatARunWithoutAScreenDoes)
{
    struct Case {
        const char* name;
        const char* detailedTemplate;
        std::vector<std::string> args;
        std::vector<const char*> files;
        int exitCode;
    };
    const Case cases[] = {
        { "both tables", "%1 %2 %3 %4 %5 %6 %7", { "-e", "-a", "all.txt" }, { "all.txt" }, 0 },
        { "a bad tag: entry 14, the summary still written", "%1 %x", { "-e", "-d", "d.txt", "-g", "s.txt" },
            { "d.txt", "s.txt" }, 1 },
        { "a file that cannot be made: entry 15, nothing after it", "%1", { "-e", "-d", "no/dir/d.txt", "-g", "s.txt" },
            { "s.txt" }, 1 },
    };
    TempDir runtime;
    ::chmod(runtime.path().c_str(), 0700);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        velmar::TConfRec rec;
        velmar::readConfRec(dir.file("config"), rec);
        velmar::fillConfRec(rec, { "4.79", "0", "new_line.log", c.detailedTemplate, "%4 %5 %6 %7 %8", "english" });
        velmar::writeConfRec(dir.file("config"), rec);

        const ProgramResult core = run(c.args);
        std::vector<std::string> written;
        for (const char* file : c.files) {
            written.push_back(exists(file) ? read(file) : "(none)");
            ::unlink(dir.file(file).c_str());
        }
        const ProgramResult window = run(c.args, { "QT_QPA_PLATFORM=minimal", "XDG_RUNTIME_DIR=" + runtime.path() });
        EXPECT_EQ(core.exitCode, c.exitCode);
        EXPECT_EQ(window.exitCode, c.exitCode);
        EXPECT_EQ(core.err, errorLines(core.err)) << "a run without a screen says nothing but its messages";
        EXPECT_EQ(errorLines(window.err), core.err);
        for (size_t k = 0; k < c.files.size(); ++k) {
            SCOPED_TRACE(c.files[k]);
            EXPECT_EQ(exists(c.files[k]) ? read(c.files[k]) : "(none)", written[k]);
            ::unlink(dir.file(c.files[k]).c_str());
        }
    }
}

TEST_F(Unattended, ADisplayNobodyAnswersAtGivesTheRunWithoutTheWindow)
{
    // A crontab that still names a display of a session long gone: before, the window's toolkit ended the
    // program at once and nothing was exported. Now the run says so once and exports as without a display.
    TempDir runtime; // a runtime directory without a compositor's socket
    ASSERT_EQ(run({ "-a", "plain.txt", "-e" }).exitCode, 0);
    struct Case {
        const char* name;
        std::vector<std::string> env;
        const char* named;
    };
    const Case cases[] = {
        { "X", { "DISPLAY=:59000" }, "DISPLAY=:59000" },
        { "X over TCP", { "DISPLAY=127.0.0.1:59000.0" }, "DISPLAY=127.0.0.1:59000.0" },
        { "Wayland", { "WAYLAND_DISPLAY=wayland-gone", "XDG_RUNTIME_DIR=" + runtime.path() },
            "WAYLAND_DISPLAY=wayland-gone" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramResult r = run({ "-a", "out.txt", "-e" }, c.env);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err,
            std::string("velmar-stat: no display can be reached (") + c.named
                + "); the run goes on without the window\n");
        EXPECT_EQ(read("out.txt"), read("plain.txt"));
    }
}
