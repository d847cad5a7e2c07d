#include "platform/Files.h"

#include "platform/Errors.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmar;

TEST(Files, PatternMatching)
{
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    } const cases[] = {
        { "english.lng", "*.lng", true },
        { "English.LNG", "*.lng", true },
        { ".lng", "*.lng", true },
        { "english.lng.bak", "*.lng", false },
        { "lng", "*.lng", false },
        { "a.b.lng", "*.lng", true },
        { "config", "conf?g", true },
        { "config", "c*", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(matchesPattern(c.name, c.pattern), c.match);
    }
}

TEST(Files, ListingIsSortedAndIncludesHiddenEntriesAndDirectories)
{
    test::TempDir dir;
    dir.write("russian.lng", "");
    dir.write("english.lng", "");
    dir.write(".hidden.lng", "");
    dir.write("notes.txt", "");
    ::mkdir(dir.file("folder.lng").c_str(), 0755);
    const std::vector<std::string> expected = { ".hidden.lng", "english.lng", "folder.lng", "russian.lng" };
    EXPECT_EQ(listDirectory(dir.path(), "*.lng"), expected);
}

TEST(Files, ExistsMeansAFileNotADirectory)
{
    test::TempDir dir;
    dir.write("config", "x");
    EXPECT_TRUE(fileExists(dir.file("config")));
    EXPECT_FALSE(fileExists(dir.path()));
    EXPECT_FALSE(fileExists(dir.file("missing")));
    EXPECT_FALSE(fileExists(""));
}

TEST(Files, FindIgnoringCase)
{
    test::TempDir dir;
    dir.write("Readme_EN.txt", "hello");
    EXPECT_EQ(findFileIgnoringCase(dir.file("readme_en.TXT")), dir.file("Readme_EN.txt"));
    EXPECT_EQ(findFileIgnoringCase(dir.file("Readme_EN.txt")), dir.file("Readme_EN.txt"));
    EXPECT_EQ(findFileIgnoringCase(dir.file("other.txt")), dir.file("other.txt"));
}

TEST(Files, CopyReplacesAndDeleteReports)
{
    test::TempDir dir;
    dir.write("a", "new content");
    dir.write("b", "old content that is longer");
    EXPECT_TRUE(copyFile(dir.file("a"), dir.file("b")));
    EXPECT_EQ(test::readFile(dir.file("b")), "new content");
    EXPECT_FALSE(copyFile(dir.file("missing"), dir.file("c")));
    deleteFile(dir.file("b"));
    EXPECT_FALSE(fileExists(dir.file("b")));
    EXPECT_THROW_MSG(deleteFile(dir.file("b")), InOutError, "File not found");
}

TEST(Files, ReadWholeFile)
{
    test::TempDir dir;
    dir.write("text", std::string("line\r\nwith \0 byte", 17));
    EXPECT_EQ(readWholeFile(dir.file("text")), std::string("line\r\nwith \0 byte", 17));
    EXPECT_THROW_MSG(readWholeFile(dir.file("missing")), FileOpenError, "Cannot open file " + dir.file("missing"));
    EXPECT_THROW_MSG(readWholeFile(""), FileOpenError, "Cannot open file ");
    EXPECT_THROW_MSG(readWholeFile(dir.path()), FileOpenError, "Cannot open file " + dir.path());
}

TEST(Files, CurrentDirectoryAndJoin)
{
    test::TempDir dir;
    {
        test::ScopedCurrentDir inside(dir.path());
        EXPECT_EQ(currentDirectory(), dir.path());
    }
    EXPECT_EQ(joinPath("/a/b", "c"), "/a/b/c");
    EXPECT_EQ(joinPath("/", "c"), "/c");
    EXPECT_EQ(joinPath("/a/", "~Log.tmp"), "/a/~Log.tmp");
}

TEST(Files, SameFileFollowsLinksAndNames)
{
    test::TempDir dir;
    dir.write("a", "x");
    dir.write("b", "x");
    ASSERT_EQ(::symlink(dir.file("a").c_str(), dir.file("link").c_str()), 0);
    EXPECT_TRUE(sameFile(dir.file("a"), dir.file("link")));
    EXPECT_TRUE(sameFile(dir.file("a"), dir.path() + "/./a"));
    EXPECT_FALSE(sameFile(dir.file("a"), dir.file("b")));
    EXPECT_FALSE(sameFile(dir.file("a"), dir.file("missing")));
}

// A FIFO or a device named where a text file belongs (a readme, a language file, a log and its copy)
// must neither wait for a writer nor read for ever.
TEST(Files, OnlyRegularFilesAreRead)
{
    test::TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const struct Case {
        const char* name;
        std::string path;
    } cases[] = {
        { "a FIFO without a writer", fifo },
        { "an endless device", "/dev/zero" },
        { "a directory", dir.path() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(openRegularFile(c.path), -1);
        EXPECT_THROW_MSG(readWholeFile(c.path), FileOpenError, "Cannot open file " + c.path);
        EXPECT_FALSE(copyFile(c.path, dir.file("copy")));
        EXPECT_FALSE(fileExists(dir.file("copy")));
    }
    const int fd = openRegularFile(dir.write("text", "abc"));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0); // read as any file is read
    ::close(fd);
}

TEST(Files, CopyContentTellsWhyItFailed)
{
    // The copy of a locked log reports the reason of a failed copy: a full disk must say so.
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    test::TempDir dir;
    FileDescriptor in(::open(dir.write("log", "some bytes").c_str(), O_RDONLY | O_CLOEXEC));
    FileDescriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    errno = 0;
    EXPECT_FALSE(copyContent(in.get(), full.get()));
    EXPECT_EQ(errno, ENOSPC);
    // Into a file that takes the bytes, everything arrives.
    FileDescriptor again(::open(dir.file("log").c_str(), O_RDONLY | O_CLOEXEC));
    FileDescriptor out(::open(dir.file("copy").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    EXPECT_TRUE(copyContent(again.get(), out.get()));
    EXPECT_EQ(test::readFile(dir.file("copy")), "some bytes");
}
