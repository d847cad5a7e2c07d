#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velmar {

/// The text that opens a session.
inline constexpr std::string_view kConnect = "CONNECT";

/// A Ctrl+Z at the start of a line ends the text of the log: nothing behind it is read.
inline constexpr char kCtrlZ = 26;

/// A log saved by an editor in UTF-8 may begin with a byte order mark. It is no text of the log: left in
/// place it would stand in front of the first line's date.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// The markers looked for inside a session.
enum Marker : unsigned {
    kAddress,
    kReceiving,
    kFromOffset,
    kPartOf,
    kRejected,
    kInitializing,
    kCompleted,
    kSessionAborted,
    kCarrierLoss,
    kMarkerCount
};

inline constexpr std::array<std::string_view, kMarkerCount> kMarkers = {
    "Address :",
    "Receiving '",
    "from offset",
    "Part of",
    "Receiving file was rejected",
    "Initializing modem",
    "Session completed successfully",
    "Session aborted",
    "Aborting due to carrier loss",
};

/// Where the markers first occur in a line; only the entries of the markers in `markers` are set.
struct MarkerPositions {
    unsigned markers = 0;
    std::array<size_t, kMarkerCount> first;
};

/// Finds in one pass over a line which markers it holds anywhere, and where each first stands.
void findMarkers(std::string_view line, MarkerPositions& out);

/// The first byte at or after `from` of a line that may matter to the reading of the log: outside a
/// session a line that may hold "CONNECT", inside one a line that may hold one of the markers; `end` when
/// no line before `end` may. Every other line does nothing, so whole runs of lines are passed over without
/// looking for their ends. A line may matter only where the first three bytes of a marker stand (those of
/// "CONNECT" outside a session), or where a carriage return stands that no line feed follows (the line as
/// read has its carriage returns dropped, so one inside a marker hides it from the bytes).
const char* findCandidate(const char* from, const char* end, bool inSession);

/// A line of a run of whole lines that may matter inside or outside a session, as scanCandidates found it.
struct CandidateLine {
    uint32_t start = 0; ///< where the line starts in the run
    uint32_t size = 0; ///< its bytes before its line end (the line feed and a carriage return before it)
    bool plain = true; ///< no other carriage return: the bytes are the line as read
    /// Of a plain line: whether it holds "CONNECT" and which markers it holds (as findMarkers gives them);
    /// a line that is not plain is looked at once its carriage returns are dropped.
    bool connect = false;
    uint16_t markers = 0;
};

/// Appends to `out` every line of a run of whole lines (the last may lack its line feed; at most 4 GiB)
/// that may matter inside a session or outside one, in order: a plain line that holds "CONNECT" or a
/// marker, with what it holds, and a line with a carriage return inside that may (see findCandidate). The lines left
/// out do nothing wherever they stand. A Ctrl+Z that starts a line ends the text: the scan stops there and returns
/// where it stands; the size of the run when no line starts with one.
size_t scanCandidates(std::string_view lines, std::vector<CandidateLine>& out);
/// The same, a line at a time: each line that may matter is found with findCandidate and then searched with
/// findMarkers. What processors without AVX2 run; the one pass over the block must give the same lines.
size_t scanCandidatesLineByLine(std::string_view lines, std::vector<CandidateLine>& out);

/// The most bytes the searches above compare at once: 64 (where the processor has AVX-512 with its byte
/// operations; only scanCandidates compares that many, the other searches 32), 32 (where it has AVX2;
/// scanCandidates then makes its one pass over the block), 16, or 1 (byte by byte). The widest the processor offers is
/// used unless a narrower one is chosen here, as the tests do so that every way of searching is tested on any
/// processor; a width the processor lacks gives the next narrower one. Returns the width used before.
/// Choose it before any search starts.
unsigned setScanWidth(unsigned bytes);

} // namespace velmar
