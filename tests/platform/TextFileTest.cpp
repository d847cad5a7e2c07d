#include "platform/TextFile.h"

#include "export/TemplateExport.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace velmar;

namespace {

// Points file descriptor 1 at a file for the lifetime of the guard.
class ScopedStdoutToFile {
public:
    explicit ScopedStdoutToFile(const std::string& path)
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(saved_, 0);
        EXPECT_GE(fd, 0);
        EXPECT_GE(::dup2(fd, 1), 0);
        ::close(fd);
    }
    ~ScopedStdoutToFile()
    {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }
    ScopedStdoutToFile(const ScopedStdoutToFile&) = delete;
    ScopedStdoutToFile& operator=(const ScopedStdoutToFile&) = delete;

private:
    int saved_ = -1;
};

// Bytes that show where a chunk went missing or was doubled.
std::string pattern(size_t size, char first)
{
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(first + static_cast<char>(i % 23));
    return text;
}

} // namespace

TEST(TextFile, RewriteReplacesAnExistingFile)
{
    test::TempDir dir;
    const std::string path = dir.write("out.txt", "an older and much longer content\r\n");
    TextFile file;
    file.assign(path);
    file.rewrite();
    EXPECT_TRUE(file.isOpen());
    file.write("ab");
    file.write("c\r\n");
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(test::readFile(path), "abc\r\n");

    // A second export to the same name writes over the first.
    file.rewrite();
    file.write("x");
    file.close();
    EXPECT_EQ(test::readFile(path), "x");
}

TEST(TextFile, NewFileIsCreatedReadableByAll)
{
    test::TempDir dir;
    const mode_t mask = ::umask(022);
    TextFile file;
    file.assign(dir.file("new.txt"));
    file.rewrite();
    file.close();
    ::umask(mask);
    struct stat st { };
    ASSERT_EQ(::stat(dir.file("new.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(st.st_size, 0);
}

TEST(TextFile, EmptyNameWritesToStandardOutput)
{
    test::TempDir dir;
    const std::string captured = dir.file("stdout.txt");
    {
        ScopedStdoutToFile redirect(captured);
        TextFile file;
        file.assign("");
        file.rewrite();
        file.write("to standard output\r\n");
        file.close();
        // Standard output stays usable after the close.
        EXPECT_EQ(::write(1, "after", 5), 5);
    }
    EXPECT_EQ(test::readFile(captured), "to standard output\r\nafter");
}

TEST(TextFile, FullDeviceFailsOnCloseAndIsClosedAfterwards)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    TextFile file;
    file.assign("/dev/full");
    file.rewrite();
    file.write("held in the buffer");
    EXPECT_THROW_MSG(file.close(), InOutError, "Disk full");
    EXPECT_FALSE(file.isOpen());
}

TEST(TextFile, FullDeviceFailsOnAWriteLargerThanTheBuffer)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    TextFile file;
    file.assign("/dev/full");
    file.rewrite();
    EXPECT_THROW_MSG(file.write(std::string(TextFile::kBufferSize + 1, 'x')), InOutError, "Disk full");
    EXPECT_TRUE(file.isOpen());
    file.closeQuietly();
    EXPECT_FALSE(file.isOpen());
}

TEST(TextFile, MissingFolderIsFileNotFound)
{
    test::TempDir dir;
    TextFile file;
    file.assign(dir.file("missing/out.txt"));
    EXPECT_THROW_MSG(file.rewrite(), InOutError, "File not found");
    EXPECT_FALSE(file.isOpen());
}

TEST(TextFile, UseWithoutOpenFileIsRefused)
{
    TextFile file;
    EXPECT_THROW_MSG(file.write("x"), InOutError, "File not open for output");
    EXPECT_THROW_MSG(file.close(), InOutError, "File not open");
    file.closeQuietly();
}

TEST(TextFile, WritesMoreThanTheBuffer)
{
    test::TempDir dir;
    const std::string path = dir.file("big.txt");
    // The second chunk no longer fits and flushes the first; the third fills the buffer exactly; the fourth is
    // larger than the buffer and goes straight through after a flush; the last one waits for the close.
    const std::string chunks[] = {
        pattern(100'000, 'a'),
        pattern(200'000, 'b'),
        pattern(TextFile::kBufferSize - 200'000, 'c'),
        pattern(TextFile::kBufferSize * 2 + 7, 'd'),
        pattern(17, 'e'),
    };
    std::string expected;
    TextFile file;
    file.assign(path);
    file.rewrite();
    for (const std::string& chunk : chunks) {
        file.write(chunk);
        expected += chunk;
    }
    file.close();
    EXPECT_EQ(test::readFile(path), expected);
}

TEST(TextFile, QuietCloseKeepsWhatWasWrittenAndTheDestructorGivesAnUnfinishedExportUp)
{
    test::TempDir dir;
    TextFile file;
    file.assign(dir.file("quiet.txt"));
    file.rewrite();
    file.write("kept");
    file.closeQuietly();
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(test::readFile(dir.file("quiet.txt")), "kept");

    // An export never closed is unfinished: the older file of its name stays, no temporary file is left.
    test::writeFile(dir.file("dropped.txt"), "older export");
    {
        TextFile dropped;
        dropped.assign(dir.file("dropped.txt"));
        dropped.rewrite();
        dropped.write("never closed");
    }
    EXPECT_EQ(test::readFile(dir.file("dropped.txt")), "older export");
    EXPECT_EQ(listDirectory(dir.path(), "*"), (std::vector<std::string> { "dropped.txt", "quiet.txt" }));
}

TEST(TextFile, ExportBlockThroughAFile)
{
    test::TempDir dir;
    Table table(7);
    table.setCell(0, 0, "Date");
    table.setCell(0, 1, "1-Mar-2004");
    TextFile file;
    file.assign(dir.file("export.txt"));
    file.rewrite();
    EXPECT_TRUE(ExpStat(file, 0, table, "[%1]", {}, [] { FAIL(); }));
    file.close();
    EXPECT_EQ(test::readFile(dir.file("export.txt")), "[      Date]\r\n[1-Mar-2004]\r\n\r\n");
}

namespace {

} // namespace

TEST(TextFile, ARegularFileIsWrittenBesideItAndReplacedOnlyWhenComplete)
{
    test::TempDir dir;
    const std::string path = dir.write("out.txt", "older export");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    TextFile file;
    file.assign(path);
    file.rewrite();
    ASSERT_FALSE(file.temporaryName().empty());
    EXPECT_EQ(directoryOf(file.temporaryName()), dir.path());
    file.write(std::string(TextFile::kBufferSize * 2, 'n'));
    // Until the close the older export is what the name shows.
    EXPECT_EQ(test::readFile(path), "older export");
    file.close();
    EXPECT_EQ(test::readFile(path), std::string(TextFile::kBufferSize * 2, 'n'));
    EXPECT_EQ(listDirectory(dir.path(), "*"), std::vector<std::string> { "out.txt" });
    struct stat st { };
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the mode the user gave the file is kept
}

TEST(TextFile, AFailedExportLeavesTheOlderFileAndNoTemporaryOne)
{
    // A file-size limit makes the writes fail the way a full disk does, at a point of our choosing.
    test::TempDir dir;
    const std::string path = dir.write("out.txt", "older complete export");
    const struct Case {
        const char* name;
        size_t bytes; // written before the close
    } cases[] = {
        { "failure while writing (more than the buffer)", TextFile::kBufferSize * 3 },
        { "failure at the close (all in the buffer)", 5000 },
    };
    struct rlimit saved { };
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextFile file;
        file.assign(path);
        file.rewrite();
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        bool failed = false;
        try {
            file.write(std::string(c.bytes, 'x'));
            file.close();
        } catch (const InOutError&) {
            failed = true;
            file.discard();
        }
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_TRUE(failed);
        EXPECT_FALSE(file.isOpen());
        EXPECT_EQ(test::readFile(path), "older complete export");
        EXPECT_EQ(listDirectory(dir.path(), "*"), std::vector<std::string> { "out.txt" });
    }
    std::signal(SIGXFSZ, SIG_DFL);
}

TEST(TextFile, AnInputOfTheProgramIsNeverTheTarget)
{
    test::TempDir dir;
    const std::string config = dir.write("config", "settings record");
    const std::string log = dir.write("new_line.log", "the log");
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(config.c_str(), dir.file("link-to-config").c_str()), 0);
    ASSERT_EQ(::link(log.c_str(), dir.file("hard-link-to-log").c_str()), 0);
    const std::vector<std::string> inputs { config, log, dir.file("missing.lng") };
    const struct Case {
        const char* name;
        std::string target;
        bool refused;
    } cases[] = {
        { "the settings file itself", config, true },
        { "another spelling of its path", dir.path() + "/sub/../config", true },
        { "a symbolic link to it", dir.file("link-to-config"), true },
        { "a hard link to the log", dir.file("hard-link-to-log"), true },
        { "a new file", dir.file("export.txt"), false },
        // An input that does not exist is no file to keep.
        { "the name of a missing input", dir.file("missing.lng"), false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextFile file;
        file.assign(c.target);
        if (c.refused) {
            EXPECT_THROW_MSG(file.rewrite(inputs), InOutError, "File access denied");
            EXPECT_FALSE(file.isOpen());
        } else {
            file.rewrite(inputs);
            file.write("export");
            file.close();
            EXPECT_EQ(test::readFile(c.target), "export");
        }
        EXPECT_EQ(test::readFile(config), "settings record");
        EXPECT_EQ(test::readFile(log), "the log");
    }
}

TEST(TextFile, TargetsThatAreNoPlainFileAreWrittenDirectly)
{
    test::TempDir dir;
    const std::string linked = dir.write("export.txt", "older");
    ASSERT_EQ(::link(linked.c_str(), dir.file("second-name.txt").c_str()), 0);
    dir.write("linked-to.txt", "older");
    ASSERT_EQ(::symlink("linked-to.txt", dir.file("symlink.txt").c_str()), 0);
    ASSERT_EQ(::symlink("created.txt", dir.file("dangling.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    // A reader that takes what the FIFO gets, without waiting for a writer.
    FileDescriptor reader(::open(dir.file("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_GE(reader.get(), 0);
    const struct Case {
        const char* name;
        std::string target;
        bool direct; // no temporary file
        std::string seenAt; // where the export shows afterwards
    } cases[] = {
        { "a device", "/dev/null", true, "" },
        { "a FIFO with a reader", dir.file("fifo"), true, "" },
        // Every name of a file with hard links keeps showing the one file.
        { "a file with two names", linked, true, dir.file("second-name.txt") },
        // Through a link the file it leads to is replaced; the link stays a link.
        { "a symbolic link", dir.file("symlink.txt"), false, dir.file("linked-to.txt") },
        // A link that leads nowhere yet: its file is created through it, as ever.
        { "a dangling link", dir.file("dangling.txt"), true, dir.file("created.txt") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextFile file;
        file.assign(c.target);
        file.rewrite();
        EXPECT_EQ(file.temporaryName().empty(), c.direct);
        file.write("new export");
        file.close();
        if (!c.seenAt.empty()) {
            EXPECT_EQ(test::readFile(c.seenAt), "new export");
        }
    }
    char got[64] = {};
    EXPECT_EQ(::read(reader.get(), got, sizeof got), 10);
    struct stat st { };
    ASSERT_EQ(::lstat(dir.file("symlink.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(TextFile, AFifoThatNobodyReadsIsRefusedAtOnce)
{
    test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    TextFile file;
    file.assign(dir.file("fifo"));
    // Opening without a reader would wait for ever; it fails instead (ENXIO).
    EXPECT_THROW_MSG(file.rewrite(), InOutError, "I/O error 6");
    EXPECT_FALSE(file.isOpen());
}

TEST(TextFile, AFileInAFolderWithoutWriteAccessIsWrittenDirectly)
{
    // No new file may be created in the folder, but the user may write the file: it is written as it
    // always was. The super-user may create files anywhere: the export runs as an ordinary user then.
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.file("closed").c_str(), 0777), 0);
    const std::string path = dir.write("closed/export.txt", "older");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.file("closed").c_str(), 0555), 0);
    auto exportAndCheck = [&]() -> int {
        TextFile file;
        file.assign(path);
        try {
            file.rewrite();
            if (!file.temporaryName().empty())
                return 1;
            file.write("new");
            file.close();
        } catch (const InOutError&) {
            return 2;
        }
        return 0;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(exportAndCheck(), 0);
    } else {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 ? exportAndCheck() : 3);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a temporary file, 2: refused, 3: no ordinary user";
    }
    EXPECT_EQ(test::readFile(path), "new");
    ::chmod(dir.file("closed").c_str(), 0755);
}

TEST(TextFile, AnExportWhoseBackgroundSyncFailedNeverReplacesTheOlderFile)
{
    test::TempDir dir;
    const std::string part(1000, 'x');
    const size_t parts = 2 * TextFile::kBufferSize / part.size();
    struct Case {
        const char* name;
        int result;
        const char* message; // empty: the export succeeds
    } const cases[] = {
        { "syncs that succeed", 0, "" },
        { "no room left", ENOSPC, "Disk full" },
        { "a failing disk", EIO, "I/O error 5" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write("out.txt", "the older export\r\n");
        std::atomic<int> calls { 0 };
        TextFile file;
        file.assign(path);
        // Every 100,000 bytes that reach the file: the first flush of the buffer asks for a sync.
        file.syncInBackground(100000, [&](int fd) {
            ++calls;
            return c.result != 0 ? c.result : (::fdatasync(fd) == 0 ? 0 : errno);
        });
        file.rewrite();
        for (size_t i = 0; i < parts; ++i)
            file.write(part);
        ASSERT_TRUE(test::eventually([&] { return calls.load() >= 1; }));
        if (*c.message == '\0') {
            file.close();
            EXPECT_EQ(test::readFile(path).size(), parts * part.size());
            EXPECT_GE(file.backgroundSyncs(), 1u);
        } else {
            EXPECT_THROW_MSG(file.close(), InOutError, c.message);
            EXPECT_EQ(test::readFile(path), "the older export\r\n");
        }
        EXPECT_FALSE(file.isOpen());
        EXPECT_EQ(listDirectory(dir.path(), "*"), std::vector<std::string> { "out.txt" });
    }
}
