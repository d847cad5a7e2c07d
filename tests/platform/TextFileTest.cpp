#include "platform/TextFile.h"

#include "export/TemplateExport.h"
#include "platform/Errors.h"
#include "support/TestSupport.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(TextFile, QuietCloseAndDestructorKeepWhatWasWritten)
{
    test::TempDir dir;
    TextFile file;
    file.assign(dir.file("quiet.txt"));
    file.rewrite();
    file.write("kept");
    file.closeQuietly();
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(test::readFile(dir.file("quiet.txt")), "kept");

    {
        TextFile dropped;
        dropped.assign(dir.file("dropped.txt"));
        dropped.rewrite();
        dropped.write("kept too");
    }
    EXPECT_EQ(test::readFile(dir.file("dropped.txt")), "kept too");
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
