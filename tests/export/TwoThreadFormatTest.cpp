#include "export/TwoThreadFormat.h"

#include "platform/Errors.h"
#include "support/RecordingOut.h"
#include "support/TestSupport.h"

#include <chrono>
#include <new>
#include <string>
#include <thread>

namespace velmar {
namespace {

using namespace std::chrono_literals;

std::string pieceText(size_t piece)
{
    return "piece " + std::to_string(piece) + "\n";
}

// What the pieces before the last make, in order.
std::string writtenText(size_t pieces)
{
    std::string text;
    for (size_t piece = 0; piece + 1 < pieces; ++piece)
        text += pieceText(piece);
    return text;
}

TEST(TwoThreadFormat, EveryPieceIsWrittenOnceAndInOrderWhicheverThreadIsSlower)
{
    struct Case {
        const char* name;
        size_t pieces;
        std::chrono::milliseconds helperPause; // what the second thread takes over each piece it formats
        std::chrono::milliseconds writePause;
        size_t helperFails; // from this piece on, formatting fails on the second thread (none: pieces)
        // The most pieces the second thread may have formatted, and the fewest.
        size_t helperMost;
        size_t helperLeast;
    } const cases[] = {
        // The second thread takes 5 ms a piece, a write 1 ms: this one formats up to three pieces further
        // on while it waits, so it formats most (waiting for every piece the other thread has instead, it
        // would format hardly any).
        { "slow second thread", 40, 5ms, 1ms, 40, 19, 1 },
        // Each write takes 5 ms: meanwhile the second thread formats the pieces ahead, nearly all (all when
        // it takes the first piece before this thread does).
        { "slow writing", 40, 0ms, 5ms, 40, 40, 21 },
        // The second thread fails at the first piece from 5 on that it takes and stops: this one formats
        // that piece and every other left.
        { "second thread fails", 40, 1ms, 0ms, 5, 5, 0 },
        { "one piece", 1, 0ms, 0ms, 1, 1, 0 },
        { "no piece", 0, 0ms, 0ms, 0, 0, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::thread::id writer = std::this_thread::get_id();
        TwoThreadFormat format(c.pieces, [&](size_t piece, std::string& text) {
            if (std::this_thread::get_id() != writer) {
                if (piece >= c.helperFails)
                    throw std::bad_alloc();
                std::this_thread::sleep_for(c.helperPause);
            }
            text += pieceText(piece);
        });
        test::RecordingOut out(0, c.writePause);
        std::string last;
        format.run(out, last);
        EXPECT_EQ(out.text, writtenText(c.pieces));
        EXPECT_EQ(last, c.pieces == 0 ? "" : pieceText(c.pieces - 1));
        EXPECT_LE(format.formattedByHelper(), c.helperMost);
        EXPECT_GE(format.formattedByHelper(), c.helperLeast);
    }
}

TEST(TwoThreadFormat, AFailedWriteStopsBothAndReachesTheCaller)
{
    for (const int failAt : { 1, 3, 9 }) {
        SCOPED_TRACE(failAt);
        TwoThreadFormat format(10, [](size_t piece, std::string& text) { text += pieceText(piece); });
        test::RecordingOut out(failAt);
        std::string last;
        EXPECT_THROW_MSG(format.run(out, last), InOutError, "Disk full");
        // The writes before the failing one brought the first pieces, nothing else.
        EXPECT_EQ(out.text, writtenText(static_cast<size_t>(failAt)));
        EXPECT_EQ(last, "");
    }
}

} // namespace
} // namespace velmar
