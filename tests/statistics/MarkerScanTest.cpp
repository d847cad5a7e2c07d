#include "statistics/MarkerScan.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmar;

namespace {

// Every place findCandidate stops at in the text, moving on one byte behind each.
std::vector<size_t> candidates(const std::string& text, bool inSession)
{
    std::vector<size_t> found;
    const char* end = text.data() + text.size();
    for (const char* from = text.data(); from < end;) {
        const char* hit = findCandidate(from, end, inSession);
        if (hit == end)
            break;
        found.push_back(static_cast<size_t>(hit - text.data()));
        from = hit + 1;
    }
    return found;
}

} // namespace

TEST(MarkerScan, FindsWhereALineMayMatter)
{
    struct Case {
        const char* name;
        std::string text;
        bool inSession;
        std::vector<size_t> expected; // offsets in text
    } const cases[] = {
        // Outside a session only "CONNECT" counts: its "CO" at 3.
        { "connect outside", "ab CONNECT 2400\n", false, { 3 } },
        // Inside a session a "CONNECT" line does nothing.
        { "connect inside", "ab CONNECT 2400\n", true, {} },
        // Each marker's first two bytes, at 2; outside a session none of them counts.
        { "address", "x Address : 2:5020/1\n", true, { 2 } },
        { "address outside", "x Address : 2:5020/1\n", false, {} },
        { "receiving", "x Receiving 'a' (1b)\n", true, { 2 } },
        { "from offset", "x from offset 100\n", true, { 2 } },
        { "part of", "x Part of 'a' (1b)\n", true, { 2 } },
        { "initializing", "x Initializing modem\n", true, { 2 } },
        { "session", "x Session aborted\n", true, { 2 } },
        { "aborting", "x Aborting due to carrier loss\n", true, { 2 } },
        // A pair that begins a marker is enough; the line itself tells later whether it holds one.
        { "near miss", "x Se Ad\n", true, { 2, 5 } },
        // Letters of the markers that never stand side by side as they begin one.
        { "no pair", "x S e A d r f C O\n", true, {} },
        // CR LF ends a line; a carriage return anywhere else is dropped from the line and may join a marker.
        { "CR LF", "a\r\nb\r\n", true, {} },
        { "lone CR", "C\rONNECT\r\n", false, { 1 } },
        { "lone CR inside", "S\ression aborted\r\n", true, { 1 } },
        { "CR as the last byte", "ab\r", false, { 2 } },
        { "CR before CR LF", "ab\r\r\n", true, { 2 } },
        // A marker that ends the text without a line feed.
        { "at the end", "xxCO", false, { 2 } },
        { "half a pair at the end", "xxC", false, {} },
    };
    // Filler in front moves every case over the edges of the 16 and 32 bytes compared at once, and the
    // filler behind puts the case in front of a long run as well as at the very end of the text.
    for (const auto& c : cases) {
        for (size_t pad = 0; pad < 70; ++pad) {
            for (size_t tail : { size_t { 0 }, size_t { 40 } }) {
                SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(pad) + " bytes before, " + std::to_string(tail)
                    + " after");
                std::string text = std::string(pad, 'x') + c.text + std::string(tail, 'y');
                std::vector<size_t> expected;
                for (size_t at : c.expected)
                    expected.push_back(pad + at);
                EXPECT_EQ(candidates(text, c.inSession), expected);
            }
        }
    }
}

TEST(MarkerScan, FindMarkersNotesWhereEachFirstStands)
{
    MarkerPositions found;
    findMarkers("Receiving 'a' Part of x Receiving file was rejected", found);
    // "Receiving '" at 0 (its second occurrence lacks the quote), "Part of" at 14, the rejection at 24.
    EXPECT_EQ(found.markers, (1u << kReceiving) | (1u << kPartOf) | (1u << kRejected));
    EXPECT_EQ(found.first[kReceiving], 0u);
    EXPECT_EQ(found.first[kPartOf], 14u);
    EXPECT_EQ(found.first[kRejected], 24u);
}

TEST(MarkerScan, ScanCandidatesGivesEachLineThatMayMatterOnce)
{
    struct Expected {
        uint32_t start;
        uint32_t size;
        bool plain;
    };
    // Lines of 0..4: a line with "CONNECT" and one with a marker both count (the scan does not know
    // whether a session is open); two markers in one line give it once; a line without either is left
    // out; the sizes leave out the line end, CR LF or LF; a carriage return inside makes a line not plain.
    const std::string text = "xx CONNECT 2400\r\n" // 0..16: size 15
                             "Address : 1 Part of\n" // 17..36: size 19
                             "nothing here\r\n" // 37..50: left out
                             "ab\rc\r\n" // 51..56: size 4, a lone CR
                             "Session aborted"; // 57..71: the last line without its line feed
    const std::vector<Expected> expected = { { 0, 15, true }, { 17, 19, true }, { 51, 4, false }, { 57, 15, true } };
    std::vector<CandidateLine> found;
    scanCandidates(text, found);
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(found[i].start, expected[i].start);
        EXPECT_EQ(found[i].size, expected[i].size);
        EXPECT_EQ(found[i].plain, expected[i].plain);
    }
}

TEST(MarkerScan, ScanCandidatesStopsAtACtrlZThatStartsALine)
{
    struct Case {
        const char* name;
        std::string text;
        size_t stop; // where the scan stops
        size_t lines; // candidates found before
    } const cases[] = {
        { "none", "a CONNECT\nb\x1A\n", 13, 1 },
        // Behind a line without a candidate, at 2; behind a candidate line, at 10.
        { "behind a plain line", "a\n\x1A CONNECT\n", 2, 0 },
        { "behind a candidate", "a CONNECT\n\x1A Session aborted\n", 10, 1 },
        { "first byte", "\x1A CONNECT\n", 0, 0 },
        // After a carriage return it is the second byte of its line, which is one candidate (its lone CR).
        { "after a CR", "a\n\r\x1A CONNECT\n", 13, 1 },
    };
    for (const auto& c : cases) {
        for (size_t pad = 0; pad < 40; ++pad) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(pad) + " bytes before");
            // The filler is a line of its own, so that the case still starts with a line.
            const std::string text = pad == 0 ? c.text : std::string(pad - 1, 'x') + "\n" + c.text;
            std::vector<CandidateLine> found;
            EXPECT_EQ(scanCandidates(text, found), pad + c.stop);
            EXPECT_EQ(found.size(), c.lines);
        }
    }
}
