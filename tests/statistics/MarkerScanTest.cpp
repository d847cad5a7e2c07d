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
        // Outside a session only "CONNECT" counts: its "CON" at 3.
        { "connect outside", "ab CONNECT 2400\n", false, { 3 } },
        // Inside a session a "CONNECT" line does nothing.
        { "connect inside", "ab CONNECT 2400\n", true, {} },
        // Each marker's first three bytes, at 2; outside a session none of them counts.
        { "address", "x Address : 2:5020/1\n", true, { 2 } },
        { "address outside", "x Address : 2:5020/1\n", false, {} },
        { "receiving", "x Receiving 'a' (1b)\n", true, { 2 } },
        { "from offset", "x from offset 100\n", true, { 2 } },
        { "part of", "x Part of 'a' (1b)\n", true, { 2 } },
        { "initializing", "x Initializing modem\n", true, { 2 } },
        { "session", "x Session aborted\n", true, { 2 } },
        { "aborting", "x Aborting due to carrier loss\n", true, { 2 } },
        // Three bytes that begin a marker are enough; the line itself tells later whether it holds one.
        { "near miss", "x Ses Add\n", true, { 2, 6 } },
        // Two bytes that begin a marker are not: words such as "Sending" or "Result" pass.
        { "two bytes", "x Se Ad Sending Result Pa fr In Ab CO\n", true, {} },
        { "two bytes outside", "x CO COM CONN\n", false, { 9 } },
        // Letters of the markers that never stand side by side as they begin one.
        { "no pair", "x S e A d r f C O\n", true, {} },
        // CR LF ends a line; a carriage return anywhere else is dropped from the line and may join a marker.
        { "CR LF", "a\r\nb\r\n", true, {} },
        { "lone CR", "C\rONNECT\r\n", false, { 1 } },
        { "lone CR inside", "S\ression aborted\r\n", true, { 1 } },
        { "CR as the last byte", "ab\r", false, { 2 } },
        { "CR before CR LF", "ab\r\r\n", true, { 2 } },
        // A marker that ends the text without a line feed.
        { "at the end", "xxCON", false, { 2 } },
        { "two of three at the end", "xxCO", false, {} },
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

// Where a line may matter, worked out position by position from what findCandidate promises: the first
// three bytes of "CONNECT" outside a session or of a marker inside one, or a carriage return without a line
// feed behind it.
std::vector<size_t> candidatesByDefinition(const std::string& text, bool inSession)
{
    std::vector<std::string_view> prefixes;
    if (inSession) {
        for (std::string_view marker : kMarkers)
            prefixes.push_back(marker.substr(0, 3));
    } else {
        prefixes.push_back(kConnect.substr(0, 3));
    }
    std::vector<size_t> found;
    for (size_t at = 0; at < text.size(); ++at) {
        const std::string_view rest = std::string_view(text).substr(at);
        bool hit = rest[0] == '\r' && (rest.size() == 1 || rest[1] != '\n');
        for (std::string_view prefix : prefixes)
            hit = hit || rest.starts_with(prefix);
        if (hit)
            found.push_back(at);
    }
    return found;
}

namespace {

// Searches with at most the given width for a scope (the processor may offer less: then the next narrower).
class ScopedScanWidth {
public:
    explicit ScopedScanWidth(unsigned bytes)
        : before_(setScanWidth(bytes))
    {
    }
    ~ScopedScanWidth() { setScanWidth(before_); }
    ScopedScanWidth(const ScopedScanWidth&) = delete;
    ScopedScanWidth& operator=(const ScopedScanWidth&) = delete;

private:
    unsigned before_;
};

// The widths a processor may search with: AVX-512, AVX2, SSE2 and byte by byte, each tested here whatever
// the processor running the tests would choose (one it lacks gives the next narrower).
constexpr unsigned kScanWidths[] = { 64, 32, 16, 1 };

} // namespace

TEST(MarkerScan, EveryOffsetAgreesWithTheDefinition)
{
    // Texts dense in the bytes the markers begin with, their near misses (the same low or high four bits as
    // a marker byte, such as 'E' for 'e' or 0xC3 for 'C'), line ends, lone carriage returns and bytes above
    // 127, drawn from a fixed sequence: every prefix lands on every offset of the 16 and 32 bytes compared
    // at once, and at the very end of the text.
    const std::string alphabet = "CONconAddRecfroParIniSesAboSEsRECcON\r\n\x1A \xC3\xCF\xE4\x80\xFF";
    uint32_t state = 12345;
    const auto next = [&] {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const size_t size = next() % 120;
        for (size_t i = 0; i < size; ++i) {
            // Whole prefixes now and then, so that hits are not left to chance.
            if (next() % 8 == 0)
                text += next() % 4 == 0 ? std::string(kConnect.substr(0, 3))
                                        : std::string(kMarkers[next() % kMarkerCount].substr(0, 3));
            else
                text += alphabet[next() % alphabet.size()];
        }
        for (const unsigned width : kScanWidths) {
            const ScopedScanWidth scan(width);
            for (bool inSession : { false, true }) {
                SCOPED_TRACE("round " + std::to_string(round) + (inSession ? ", inside" : ", outside") + ", "
                    + std::to_string(width) + " bytes at once");
                EXPECT_EQ(candidates(text, inSession), candidatesByDefinition(text, inSession));
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

namespace {

// A candidate line as text, for comparing two lists in one message: where it stands, its size, whether it
// is plain, and what it holds.
std::string describe(const CandidateLine& line)
{
    std::string text = std::to_string(line.start) + "+" + std::to_string(line.size) + (line.plain ? "" : " not plain")
        + (line.connect ? " CONNECT" : "");
    for (unsigned m = 0; m < kMarkerCount; ++m) {
        if ((line.markers & (1u << m)) != 0)
            text += " " + std::string(kMarkers[m]);
    }
    return text;
}

std::vector<std::string> describe(const std::vector<CandidateLine>& lines)
{
    std::vector<std::string> texts;
    for (const CandidateLine& line : lines)
        texts.push_back(describe(line));
    return texts;
}

// A run of up to `most` - 1 pieces picked from `pieces` by a fixed sequence, with its Ctrl+Z taken out three
// times in four, so that most runs are scanned to their end.
class PieceRuns {
public:
    PieceRuns(const std::vector<std::string>& pieces, uint32_t seed)
        : pieces_(pieces)
        , state_(seed)
    {
    }

    std::string next(size_t most)
    {
        std::string text;
        const size_t count = number() % most;
        for (size_t i = 0; i < count; ++i)
            text += pieces_[number() % pieces_.size()];
        if (number() % 4 != 0)
            std::erase(text, '\x1A');
        return text;
    }

private:
    uint32_t number()
    {
        state_ = state_ * 1103515245u + 12345u;
        return state_ >> 16;
    }

    const std::vector<std::string>& pieces_;
    uint32_t state_;
};

} // namespace

TEST(MarkerScan, TheBlockPassGivesWhatTheLineByLineScanGives)
{
    // Runs of lines built from whole markers, their first bytes, "CONNECT", near misses, carriage returns
    // alone and before line feeds, Ctrl+Z at and behind line starts, bytes above 127 and filler of every
    // length, from a fixed sequence. The line-by-line scan searches each line with findMarkers, so the two
    // agree when the one pass over the block finds the same lines and markers; the lengths take
    // every line and marker over the edges of the 32 and 64 bytes the pass looks at together, and to the
    // very end of the run.
    std::vector<std::string> pieces = { "CONNECT 2400", "CON", "CONNEC", "Add", "Ses", "Rec", "\r", "\r\n", "\n",
        "\n\x1A", "\x1A", "\xC3\xCF", " ", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", "yy", "'", "Receiving" };
    for (std::string_view marker : kMarkers)
        pieces.emplace_back(marker);
    PieceRuns runs(pieces, 777);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = runs.next(24);
        SCOPED_TRACE("round " + std::to_string(round) + ": " + text);
        std::vector<CandidateLine> block;
        const size_t blockStop = scanCandidates(text, block);
        // What a processor without AVX2 runs, with SSE2 and without: scanCandidates a line at a time.
        for (const unsigned width : kScanWidths) {
            SCOPED_TRACE(std::to_string(width) + " bytes at once");
            const ScopedScanWidth scan(width);
            std::vector<CandidateLine> narrower;
            EXPECT_EQ(scanCandidates(text, narrower), blockStop);
            EXPECT_EQ(describe(narrower), describe(block));
            std::vector<CandidateLine> lineByLine;
            EXPECT_EQ(scanCandidatesLineByLine(text, lineByLine), blockStop);
            EXPECT_EQ(describe(lineByLine), describe(block));
        }
    }
}

TEST(MarkerScan, TheBlockPassAgreesOverItsWindows)
{
    // The pass takes a run 16 KB at a time and finds each line from the line feeds around its places:
    // lines longer than the 64 bytes looked at around a place, than a window and than several, places
    // and line feeds on every side of a window's edge, and a Ctrl+Z behind one. The line-by-line scan
    // finds each line by its own searches, so the two agree when the windows are joined right.
    const std::string longFiller(16'300, 'x');
    std::vector<std::string> pieces = { "\n", "\r\n", "\r", "\n\x1A", "Rec", "CONNECT 2400", std::string(70, 'y'),
        std::string(1'000, 'z'), longFiller, longFiller + longFiller };
    for (std::string_view marker : kMarkers)
        pieces.emplace_back(marker);
    PieceRuns runs(pieces, 4242);
    const auto expectAgreement = [](const std::string& text) {
        std::vector<CandidateLine> lineByLine;
        const size_t stop = scanCandidatesLineByLine(text, lineByLine);
        for (const unsigned width : { 64u, 32u }) {
            SCOPED_TRACE(std::to_string(width) + " bytes at once");
            const ScopedScanWidth scan(width);
            std::vector<CandidateLine> block;
            EXPECT_EQ(scanCandidates(text, block), stop);
            EXPECT_EQ(describe(block), describe(lineByLine));
        }
    };
    for (int round = 0; round < 300; ++round) {
        const std::string text = runs.next(40);
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(text.size()) + " bytes");
        expectAgreement(text);
    }
    // A marker, a lone carriage return or a line feed at each place from 70 bytes in front of the first
    // window's end to 70 behind, in a line that begins and ends far from it.
    constexpr size_t kWindow = 16'384;
    for (const std::string_view what :
        { std::string_view("Address :"), std::string_view("\r"), std::string_view("\n"), std::string_view("\n\x1A") }) {
        for (size_t at = kWindow - 70; at <= kWindow + 70; ++at) {
            std::string text(3 * kWindow, 'x');
            text[100] = '\n';
            text[2 * kWindow + 100] = '\n';
            text.replace(at, what.size(), what);
            text.replace(at + 300, 7, "CONNECT");
            SCOPED_TRACE("at " + std::to_string(at));
            expectAgreement(text);
        }
    }
}
