#include "export/CommandLine.h"

#include "export/TemplateExport.h"
#include "platform/Errors.h"
#include "platform/TextFile.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <set>
#include <string>
#include <vector>

using namespace velmar;

namespace {

// Records every call as a short text; can be told which names fail to be created and where to fail.
class FakeTarget : public CommandLineTarget {
public:
    bool Rewr(const std::string& fileName) override
    {
        calls.push_back("Rewr(" + fileName + ")");
        return failingNames.count(fileName) == 0;
    }
    void exportTable(int tagOffset) override
    {
        calls.push_back("export(" + std::to_string(tagOffset) + ")");
        if (tagOffset == failingExport)
            throw InOutError::fromErrno(ENOSPC);
    }
    void closeExport() override
    {
        calls.push_back("close");
        if (closeFails)
            throw InOutError::fromErrno(ENOSPC);
    }
    void closeExportQuietly() noexcept override { calls.push_back("closeQuietly"); }
    void requestEnd() override { calls.push_back("end"); }

    std::set<std::string> failingNames;
    int failingExport = -1;
    bool closeFails = false;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

} // namespace

TEST(CommandLine, Switches)
{
    struct Case {
        const char* name;
        std::vector<std::string> params;
        std::set<std::string> failingNames;
        Calls expected;
    } const cases[] = {
        { "no parameters", {}, {}, {} },
        { "-e alone ends, writes nothing", { "-e" }, {}, { "end" } },
        { "-e first, then -d", { "-e", "-d", "a" }, {}, { "end", "Rewr(a)", "export(0)", "close" } },
        { "-d, -g and -e", { "-d", "a", "-g", "b", "-e" }, {},
            { "Rewr(a)", "export(0)", "close", "Rewr(b)", "export(3)", "close", "end" } },
        // The second switch creates the same file anew, so the file keeps only the summary.
        { "-d and -g with the same name", { "-d", "x", "-g", "x" }, {},
            { "Rewr(x)", "export(0)", "close", "Rewr(x)", "export(3)", "close" } },
        { "-a writes both into one file", { "-a", "both" }, {}, { "Rewr(both)", "export(0)", "export(3)", "close" } },
        // The name "-e" is the file and, in its own turn, the switch.
        { "-d followed by -e", { "-d", "-e" }, {}, { "Rewr(-e)", "export(0)", "close", "end" } },
        // "-g" exports into "-a"; then "-a" exports into "f"; "f" itself does nothing.
        { "names that are switches chain", { "-g", "-a", "f" }, {},
            { "Rewr(-a)", "export(3)", "close", "Rewr(f)", "export(0)", "export(3)", "close" } },
        { "capital switch is passed over", { "-D", "name", "-E" }, {}, {} },
        { "near misses are passed over", { "-dd", "d", "-", " -e", "-e ", "e" }, {}, {} },
        // The last switch has no name after it: the empty name (standard output).
        { "switch as the last parameter", { "x", "-d" }, {}, { "Rewr()", "export(0)", "close" } },
        { "-d -d", { "-d", "-d" }, {}, { "Rewr(-d)", "export(0)", "close", "Rewr()", "export(0)", "close" } },
        { "failed creation stops before -e", { "-d", "bad", "-e" }, { "bad" }, { "Rewr(bad)" } },
        // The first export stays done; the later switch and "-e" are not looked at.
        { "failure after a good export", { "-g", "ok", "-a", "bad", "-e", "-d", "c" }, { "bad" },
            { "Rewr(ok)", "export(3)", "close", "Rewr(bad)" } },
        { "-e before a failed creation still ends", { "-e", "-d", "bad" }, { "bad" }, { "end", "Rewr(bad)" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTarget target;
        target.failingNames = c.failingNames;
        ComLine(c.params, target);
        EXPECT_EQ(target.calls, c.expected);
    }
}

TEST(CommandLine, FailureWhileWritingClosesQuietlyAndPropagates)
{
    struct Case {
        const char* name;
        int failingExport;
        bool closeFails;
        Calls expected;
    } const cases[] = {
        // The summary of "-a" fails: no ordinary close, a quiet one, and "-d g" is never reached.
        { "export fails", 3, false, { "end", "Rewr(f)", "export(0)", "export(3)", "closeQuietly" } },
        { "close fails", -1, true, { "end", "Rewr(f)", "export(0)", "export(3)", "close", "closeQuietly" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTarget target;
        target.failingExport = c.failingExport;
        target.closeFails = c.closeFails;
        EXPECT_THROW_MSG(ComLine({ "-e", "-a", "f", "-d", "g" }, target), InOutError, "Disk full");
        EXPECT_EQ(target.calls, c.expected);
    }
}

namespace {

// Writes real files the way the window does, with one-row tables.
class FileTarget : public CommandLineTarget {
public:
    FileTarget()
    {
        detailed.setCell(0, 0, "Date");
        summary.setCell(0, 0, "Address");
    }
    bool Rewr(const std::string& fileName) override
    {
        expText.assign(fileName);
        try {
            expText.rewrite();
            return true;
        } catch (const InOutError&) {
            ++rewrFailures;
            return false;
        }
    }
    void exportTable(int tagOffset) override
    {
        if (tagOffset == 0)
            ExpStat(expText, 0, detailed, "%1;", {}, [] {});
        else
            ExpStat(expText, 3, summary, "%4;", {}, [] {});
    }
    void closeExport() override { expText.close(); }
    void closeExportQuietly() noexcept override { expText.closeQuietly(); }
    void requestEnd() override { ended = true; }

    Table detailed { 7 };
    Table summary { 5 };
    TextFile expText;
    int rewrFailures = 0;
    bool ended = false;
};

} // namespace

TEST(CommandLine, FilesWritten)
{
    test::TempDir dir;
    const std::string same = dir.file("same.txt");
    const std::string all = dir.file("all.txt");
    FileTarget target;
    ComLine({ "-d", same, "-g", same, "-a", all, "-d", dir.file("missing/x.txt"), "-e" }, target);
    // Header row, the empty data row, the closing empty line.
    EXPECT_EQ(test::readFile(same), "Address;\r\n       ;\r\n\r\n");
    EXPECT_EQ(test::readFile(all), "Date;\r\n    ;\r\n\r\nAddress;\r\n       ;\r\n\r\n");
    EXPECT_EQ(target.rewrFailures, 1);
    EXPECT_FALSE(target.ended);
}
