// Damaged inputs given to the real program, run unattended as cron runs it: whatever the files hold, it
// ends in time, says what went wrong in the system's words and writes every export it can.
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "settings/ConfigFile.h"
#include "settings/Language.h"
#include "support/ProgramRun.h"
#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <array>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace std::string_literals;
using velmar::test::ProgramResult;
using velmar::test::TempDir;

namespace {

// A start directory with the demo's settings, language files and log.
class FaultRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmar::test::copyDemo(dir);
        demoLog = read("new_line.log");
    }

    // Runs the program with an export of both tables into all.txt and "-e".
    ProgramResult run(int timeoutSeconds = 60)
    {
        ::unlink(dir.file("all.txt").c_str());
        return velmar::test::runProgram(
            VELMAR_STAT, { "-a", "all.txt", "-e" }, dir.path(), { "LC_ALL=C" }, timeoutSeconds);
    }

    // The export that a run over this log writes; the run must end cleanly.
    std::string exportOf(const std::string& log)
    {
        velmar::test::writeFile(dir.file("new_line.log"), log);
        const ProgramResult r = run();
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        return exists("all.txt") ? read("all.txt") : std::string();
    }

    std::string read(const char* name) const { return velmar::test::readFile(dir.file(name)); }
    bool exists(const char* name) const { return velmar::fileExists(dir.file(name)); }

    TempDir dir;
    std::string demoLog;
};

// The lines of the summary block (the second block of an export of both tables, behind the empty line
// that ends the detailed one).
std::vector<std::string> summaryLines(const std::string& exported)
{
    const size_t start = exported.find("\r\n\r\n") + 4;
    std::vector<std::string> lines;
    for (size_t at = start, end; (end = exported.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(exported.substr(at, end - at));
    return lines;
}

// The start of the line that holds a position.
size_t lineStart(const std::string& text, size_t at)
{
    const size_t lf = text.rfind('\n', at == 0 ? 0 : at - 1);
    return lf == std::string::npos || at == 0 ? 0 : lf + 1;
}

// Replaces the value of a key line of a language file ("0=Total" and the like) in a section.
std::string withValue(std::string lang, std::string_view section, std::string_view key, std::string_view value)
{
    const size_t inSection = lang.find("[" + std::string(section) + "]");
    const size_t at = lang.find("\n" + std::string(key) + "=", inSection);
    const size_t from = at + 1 + key.size() + 1;
    lang.replace(from, lang.find('\r', from) - from, value);
    return lang;
}

} // namespace

TEST_F(FaultRun, LogCutOffInsideASessionCountsTheSessionsBeforeIt)
{
    // The session around the first received file: its CONNECT line, address, file and closing line.
    const size_t receiving = demoLog.find("Receiving '");
    const size_t connect = lineStart(demoLog, demoLog.rfind("CONNECT", receiving));
    const size_t address = demoLog.find("Address :", connect);
    const size_t closing = demoLog.find("Session completed successfully", receiving);
    ASSERT_LT(address, receiving);
    ASSERT_NE(closing, std::string::npos);
    // A log that ends right before that session holds exactly the sessions that a cut inside it leaves.
    const std::string before = exportOf(demoLog.substr(0, connect));
    ASSERT_GT(velmar::test::crlfLineCount(before), 6u); // sessions before it were counted

    const struct Case {
        const char* name;
        size_t cut;
    } cases[] = {
        { "inside the CONNECT line", connect + 30 },
        { "inside the address", address + 12 },
        // "(996b)" cut to "(99": the size has no "b)" and the session no end.
        { "inside the size of a file", demoLog.find('(', receiving) + 3 },
        { "inside the closing marker", closing + 12 },
        { "right before the closing line", lineStart(demoLog, closing) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(exportOf(demoLog.substr(0, c.cut)), before);
    }
}

TEST_F(FaultRun, NulBytesAndBinaryGarbageAreTextLikeAnyOther)
{
    const std::string intact = exportOf(demoLog);
    const std::string garbage = "\0\0\x01\x7F\xFF\xFE\x1B[2J\0\x98"s;
    const size_t receiving = demoLog.find("Receiving '");
    const size_t inSession = demoLog.find('\n', receiving) + 1; // a line start inside a session
    const size_t outside = lineStart(demoLog, demoLog.find("Waiting for calls"));
    const struct Case {
        const char* name;
        std::string log;
    } cases[] = {
        { "a line of garbage inside a session",
            demoLog.substr(0, inSession) + garbage + "\r\n" + demoLog.substr(inSession) },
        { "a line of garbage between sessions",
            demoLog.substr(0, outside) + garbage + "\r\n" + demoLog.substr(outside) },
        { "garbage at the end without a line end", demoLog + garbage },
        { "a line of NUL bytes",
            demoLog.substr(0, outside) + std::string(4096, '\0') + "\n" + demoLog.substr(outside) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(exportOf(c.log), intact);
    }

    // A NUL inside an address is part of it, byte for byte.
    const size_t address = demoLog.find("Address : ") + 10;
    const std::string exported = exportOf(demoLog.substr(0, address)
        + "2:5020/\0"
          "99"s
        + demoLog.substr(address));
    EXPECT_NE(exported.find("2:5020/\0"
                            "992:"s),
        std::string::npos);
}

TEST_F(FaultRun, LineOf50MegabytesIsReadAndNeitherHangsNorFloodsTheExport)
{
    const std::string intact = exportOf(demoLog);
    const std::string huge(50u << 20, 'x');
    const size_t receiving = demoLog.find("Receiving '");
    const size_t inSession = demoLog.find('\n', receiving) + 1;
    const size_t outside = lineStart(demoLog, demoLog.find("Waiting for calls"));

    EXPECT_EQ(exportOf(demoLog.substr(0, outside) + huge + "\r\n" + demoLog.substr(outside)), intact);
    EXPECT_EQ(exportOf(demoLog.substr(0, inSession) + huge + "\r\n" + demoLog.substr(inSession)), intact);

    // An address line of 50 MB: the address keeps its first 255 characters, so the export stays the size of
    // the log's sessions instead of 50 MB for every line.
    const size_t address = demoLog.find("Address : ") + 10;
    const std::string exported
        = exportOf(demoLog.substr(0, address) + huge + demoLog.substr(demoLog.find('\r', address)));
    EXPECT_NE(exported.find(" " + std::string(255, 'x') + " "), std::string::npos);
    EXPECT_LT(exported.size(), 2 * intact.size() + velmar::test::crlfLineCount(intact) * 255);

    // A size of 50 MB digits does not convert: the system's message quotes its start, and the run fails.
    const size_t size = demoLog.find('(', receiving) + 1;
    velmar::test::writeFile(dir.file("new_line.log"),
        demoLog.substr(0, size) + std::string(50u << 20, '9') + demoLog.substr(demoLog.find("b)", size)));
    const ProgramResult r = run();
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: '" + std::string(1024, '9') + "...' is not a valid integer value\n");
    EXPECT_FALSE(exists("all.txt")); // start-up ended before the command line was looked at
}

TEST_F(FaultRun, LogOfOnlyCtrlZHoldsNoSession)
{
    for (const std::string& log : { "\x1A"s, std::string(100, '\x1A'), "\x1A" + demoLog }) {
        SCOPED_TRACE(log.size());
        const std::string exported = exportOf(log);
        // Each table: the header row, its one empty row and the empty line that ends the block.
        EXPECT_EQ(velmar::test::crlfLineCount(exported), 6u);
    }
    // A Ctrl+Z at a line start ends the log there.
    const size_t half = lineStart(demoLog, demoLog.size() / 2);
    EXPECT_EQ(exportOf(demoLog.substr(0, half) + "\x1A" + demoLog.substr(half)), exportOf(demoLog.substr(0, half)));
}

TEST_F(FaultRun, Utf8LogWithAByteOrderMarkReadsAsWithout)
{
    EXPECT_EQ(exportOf("\xEF\xBB\xBF" + demoLog), exportOf(demoLog));
    // Also when the mark stands right in front of a session's date.
    const std::string session = demoLog.substr(lineStart(demoLog, demoLog.find("CONNECT")));
    EXPECT_EQ(exportOf("\xEF\xBB\xBF" + session), exportOf(session));
    EXPECT_GT(velmar::test::crlfLineCount(exportOf(session)), 6u);
}

TEST_F(FaultRun, LanguageFileWithBytesOutsideTheCodePage)
{
    // 0x98 is the one byte Windows-1251 leaves undefined; NUL and the rest pass as bytes.
    const std::string caption = "Tot\x98l\0\xFF"s;
    const std::string message = "No log \x98 here\xFF"s;
    std::string lang = withValue(read("english.lng"), "Labels", "0", caption);
    lang = withValue(lang, "Labels", "10", message);
    velmar::test::writeFile(dir.file("english.lng"), lang);

    const std::vector<std::string> lines = summaryLines(exportOf(demoLog));
    ASSERT_GE(lines.size(), 3u);
    const std::string& total = lines[lines.size() - 2];
    EXPECT_EQ(total.find(caption), total.find_first_not_of(' ')); // the caption, right-aligned
    for (const std::string& line : lines)
        EXPECT_TRUE(line.empty() || line.size() == lines[0].size()) << line;

    // The message is shown, each byte as the character the code page gives it.
    ::unlink(dir.file("new_line.log").c_str());
    const ProgramResult r = run();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: " + velmar::test::utf8FromCp1251(message) + "\n");
}

TEST_F(FaultRun, LanguageValueOf10000CharactersIsCutTo2047)
{
    velmar::test::writeFile(
        dir.file("english.lng"), withValue(read("english.lng"), "Labels", "0", std::string(10000, 'T')));
    const std::vector<std::string> lines = summaryLines(exportOf(demoLog));
    ASSERT_GE(lines.size(), 3u);
    const std::string& total = lines[lines.size() - 2];
    EXPECT_EQ(total.find(std::string(2047, 'T') + " "), 0u);
    // The address column is as wide as the caption in every line.
    for (const std::string& line : lines)
        EXPECT_TRUE(line.empty() || line.size() == total.size());
}

TEST_F(FaultRun, SettingsRecordWithLengthsBeyondTheirFields)
{
    // A language whose name fills the 25 characters of the field exactly, with the English texts.
    const std::string name = "abcdefghijklmnopqrstuvwxy";
    std::filesystem::copy_file(dir.file("english.lng"), dir.file(name + ".lng"));
    std::string config = read("config");
    ASSERT_EQ(config.size(), velmar::TConfRec::kSize);
    config.replace(velmar::TConfRec::kLangNameAt, 1 + 25 + 6, "\xFF" + name + "zzzzzz");
    velmar::test::writeFile(dir.file("config"), config);

    // The length 255 is taken as 25, so the gap's "zzzzzz" is no part of the name and the file is found.
    const std::string exported = exportOf(demoLog);
    const std::array<std::string, 8> cols = velmar::readLanguage(dir.file("english.lng")).cols;
    EXPECT_NE(exported.substr(0, exported.find("\r\n")).find(cols[0]), std::string::npos);
    EXPECT_EQ(read("config"), config); // nothing wrote to the settings
}

TEST_F(FaultRun, LogThatIsAFifoEndsTheRunInsteadOfWaitingForAWriter)
{
    ::unlink(dir.file("new_line.log").c_str());
    ASSERT_EQ(::mkfifo(dir.file("new_line.log").c_str(), 0644), 0);
    const ProgramResult r = run(20);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    // It cannot be read, so a copy is tried, and no copy can be made of it either: the message says why.
    const std::string held = velmar::readLanguage(dir.file("english.lng")).labels[11];
    EXPECT_EQ(r.err, "Error: " + held + "\nError: File access denied\n");
    EXPECT_FALSE(exists("~Log.tmp"));
}
