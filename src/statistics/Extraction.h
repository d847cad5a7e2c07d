#pragma once

#include "statistics/Charging.h"
#include "statistics/MarkerScan.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class DayList;
class LineBlocks;
class Table;
struct SessionTimes;

/// The days a rebuild counts sessions of, both included.
struct DayRange {
    double first;
    double last;
};

/// The range of the two date box texts: none unless both are given; raises the date conversion error of a
/// text that is not a log date.
std::optional<DayRange> dayRange(std::string_view dat1Text, std::string_view dat2Text);

/// The reading of the log line by line. It is fed the lines of the log in order and keeps between lines
/// whether a session is open and what it has gathered, so a read can stop at any line and go on later with
/// the lines behind it, as if the log had been read in one go. Every line it is fed is named by where it
/// starts in the file, so that a reading of a later part of the log can be joined to the reading before it.
class Extraction {
public:
    static constexpr uint64_t kNowhere = std::numeric_limits<uint64_t>::max();

    Extraction(const Charge& charge, std::optional<DayRange> range);

    /// The tables the lines are counted into, and the row the next counted session is written into.
    void attach(Table& Str, DayList& dat1, SessionTimes& times);
    int nextRow() const { return row_; }
    void setNextRow(int row) { row_ = row; }
    bool inSession() const { return inSession_; }

    /// How a read of a stretch ended.
    struct End {
        uint64_t offset = 0; ///< behind the last line taken in, or where a Ctrl+Z starts a line
        bool ctrlZ = false; ///< a Ctrl+Z at the start of a line ended the text
        bool lastLineOpen = false; ///< the last line taken in has no line feed
        bool stopped = false; ///< the read was stopped after a line (see read)
    };

    /// When a read is to stop: after a line that leaves it outside a session, asked with where that line
    /// starts.
    using StopAfter = std::function<bool(uint64_t line)>;

    /// Reads a stretch of the log and takes in its lines, up to its end or a Ctrl+Z that starts a line.
    /// With `wholeLinesOnly`, a last line without its line feed is left unread. With `stopAfter`, the read
    /// stops after the first line it says so of. With `cancel`, a run is read only while it is false (a read
    /// nobody waits for any longer).
    End read(LineBlocks& lines, bool wholeLinesOnly = false, const StopAfter* stopAfter = nullptr,
        const std::atomic<bool>* cancel = nullptr);

    /// Where the line being taken in (or the run being read) starts in the file: where a read that failed
    /// failed.
    uint64_t lineAt() const { return lineAt_; }
    /// Where the line that wrote SessionStart last starts, and the one that wrote SessionEnd last;
    /// kNowhere while this reading wrote none.
    uint64_t startWrittenAt() const { return startWrittenAt_; }
    uint64_t endWrittenAt() const { return endWrittenAt_; }

    /// A session this reading entered: the lines its "CONNECT" line and its closing line start at
    /// (kNowhere while it is open), and whether it was counted.
    struct Span {
        uint64_t begin = 0;
        uint64_t end = kNowhere;
        bool counted = false;
    };
    /// Notes the first `most` sessions entered from now on (0: none).
    void noteSpans(size_t most);
    const std::vector<Span>& spans() const { return spans_; }
    /// Up to where the spans tell every session entered: kNowhere when every session is noted, else where
    /// the first one not noted begins.
    uint64_t spansKnownUntil() const { return spansKnownUntil_; }

    /// Runs longer than this are not scanned in one piece (the scan counts in 32 bits): their first line, the
    /// one that ran over many blocks, is taken in alone. Lowered by tests.
    void setLongestScannedRun(size_t bytes) { longestScanned_ = bytes; }

private:
    struct SessionLine;

    size_t feedScanned(std::string_view text, uint64_t offset, const StopAfter* stopAfter);
    // Takes in a line of a run that starts at `offset` in the file, as the scan found it.
    void feedCandidate(std::string_view text, uint64_t offset, const CandidateLine& candidate);
    void feed(std::string_view line, const CandidateLine* scanned = nullptr);
    void begin(std::string_view line);
    void applyTests(SessionLine& line);
    void count(std::string_view line);
    double dayOf(std::string_view date);
    int32_t plainNumber(std::string_view text);

    const Charge charge_;
    const std::optional<DayRange> range_;
    Table* Str_ = nullptr;
    DayList* dat1_ = nullptr;
    SessionTimes* times_ = nullptr;
    bool inSession_ = false;
    int row_ = 1;
    int64_t received_ = 0;
    int64_t earlier_ = 0;
    MoneyTexts money_;
    std::string date_;
    std::string start_;
    std::string address_;
    std::string number_;
    std::string line_; // a line fed with its carriage returns dropped
    std::string lastCountedDay_;
    std::string lastDateText_;
    double lastDate_ = 0;
    bool haveLastDate_ = false;
    std::vector<CandidateLine> candidates_; // of the run being read
    uint64_t lineAt_ = 0;
    uint64_t startWrittenAt_ = kNowhere;
    uint64_t endWrittenAt_ = kNowhere;
    std::vector<Span> spans_;
    size_t spansWanted_ = 0;
    uint64_t spansKnownUntil_ = kNowhere;
    size_t longestScanned_ = std::numeric_limits<uint32_t>::max();
};

} // namespace velmar
