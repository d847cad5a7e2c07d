#include "platform/LineBlocks.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace velmar;

namespace {

// The runs of a stretch, each checked to end at a line feed but the last.
std::vector<std::string> runsOf(const std::string& path, uint64_t from, uint64_t to, size_t blockSize)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_GE(file.get(), 0);
    LineBlocks lines(file.get(), from, to, blockSize);
    std::vector<std::string> runs;
    std::string_view run;
    uint64_t at = from;
    while (lines.next(run)) {
        EXPECT_FALSE(run.empty());
        EXPECT_TRUE(runs.empty() || runs.back().back() == '\n') << "only the last run may lack a line feed";
        EXPECT_EQ(lines.runOffset(), at);
        at += run.size();
        EXPECT_EQ(lines.handedUpTo(), at);
        runs.emplace_back(run);
    }
    EXPECT_TRUE(run.empty());
    EXPECT_FALSE(lines.next(run)) << "the end stays the end";
    return runs;
}

std::string joined(const std::vector<std::string>& runs)
{
    std::string text;
    for (const std::string& run : runs)
        text += run;
    return text;
}

} // namespace

// Whatever the block size, the runs give the stretch whole and in order, every run ends behind a line
// feed, and only the last may end without one.
TEST(LineBlocks, HandsOutTheStretchInRunsOfWholeLines)
{
    std::string many;
    for (int i = 0; i < 400; ++i)
        many += std::string(static_cast<size_t>(i * 37 % 121), static_cast<char>('a' + i % 26))
            + (i % 97 == 5 ? std::string(700, 'L') : "") + (i % 3 == 0 ? "\n" : "\r\n");
    struct Case {
        const char* name;
        std::string content;
    } const cases[] = {
        { "empty file", "" },
        { "LF", "one\ntwo\n" },
        { "CR LF", "one\r\ntwo\r\n" },
        { "no final line end", "one\r\ntwo" },
        { "only line feeds", "\n\n\n" },
        { "one long line", std::string(5000, 'x') + "\n" + "y" },
        // Lines of every length up to 120 and some of 700, with both line ends.
        { "many lines", many },
    };
    for (const size_t blockSize : { size_t { 1 }, size_t { 2 }, size_t { 3 }, size_t { 7 }, size_t { 64 },
             size_t { 1000 }, size_t { 1 } << 20 }) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            test::TempDir dir;
            const std::string path = dir.write("log", c.content);
            const std::vector<std::string> runs = runsOf(path, 0, LineBlocks::kToTheEnd, blockSize);
            EXPECT_EQ(joined(runs), c.content);
            // A run holds at most what one block adds to a line begun before: no line is read twice.
            for (const std::string& run : runs) {
                const size_t lineFeed = run.find('\n');
                const size_t head = lineFeed == std::string::npos ? run.size() : lineFeed + 1;
                EXPECT_LE(run.size() - head, blockSize);
            }
        }
    }
}

// A stretch that ends inside the file ends there; one that goes on to the end takes in what was appended
// while it was read; a file that ends before the stretch does ends it.
TEST(LineBlocks, AStretchEndsWhereItIsToOrWhereTheFileEnds)
{
    test::TempDir dir;
    const std::string path = dir.write("log", "zero\none\ntwo\nthree\n");
    EXPECT_EQ(joined(runsOf(path, 5, 13, 3)), "one\ntwo\n");
    EXPECT_EQ(joined(runsOf(path, 9, 100, 4)), "two\nthree\n");
    EXPECT_EQ(joined(runsOf(path, 19, LineBlocks::kToTheEnd, 4)), "");

    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    LineBlocks lines(file.get(), 0, LineBlocks::kToTheEnd, 5);
    int blocks = 0;
    lines.setBlockHook([&] {
        if (++blocks == 2)
            test::appendFile(path, "four\n");
    });
    std::string text;
    std::string_view run;
    while (lines.next(run))
        text += run;
    EXPECT_EQ(text, "zero\none\ntwo\nthree\nfour\n");
    EXPECT_TRUE(lines.fileEnded());

    LineBlocks inside(file.get(), 0, 9, 5);
    while (inside.next(run)) { }
    EXPECT_FALSE(inside.fileEnded());
    EXPECT_EQ(inside.handedUpTo(), 9u);
}

TEST(LineBlocks, AFailedReadRaisesItsError)
{
    LineBlocks lines(-1, 0, LineBlocks::kToTheEnd, 16);
    std::string_view run;
    EXPECT_THROW_MSG(lines.next(run), InOutError, "I/O error " + std::to_string(EBADF));
    EXPECT_FALSE(lines.next(run));
}
