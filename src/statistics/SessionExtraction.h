#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class DayList;
class Extraction;
class LogContinuation;
class LogText;
class Table;
struct Charge;

/// The date-times of the session being read, which the charging reads (kept between rebuilds).
struct SessionTimes {
    double SessionStart = 0;
    double SessionEnd = 0;
};

/// Rebuilds the detailed table from the log: one row for every session that begins at a "CONNECT" line and
/// is closed by "Session completed successfully" or "Aborting due to carrier loss", restricted to the days
/// dat1Text..dat2Text when both texts are given. An address is kept to its first 255 characters.
/// dat1: the day list of Dat1 (only grows); dat2Items: replaced by a copy of dat1's items at the end of a
/// completed rebuild. Raises the conversion or input/output error at the line that fails (rows counted so
/// far stay, log closed, dat2Items untouched). Hiding, showing and scrolling the table are the caller's.
/// With `continuation`, it becomes the continuation of this read (for the same day range and charge): a
/// later continueFillTabl takes in what the mailer appends. It can go on only when the read ended at a line
/// end; after a failed read, or a last line without its line feed, it asks for a rebuild.
void FillTabl(LogText& log, std::string_view dat1Text, std::string_view dat2Text, const Charge& charge, Table& Str,
    DayList& dat1, std::vector<std::string>& dat2Items, SessionTimes& times, LogContinuation* continuation = nullptr);

/// The end of the session rows of the detailed table FillTabl fills: its row count, or 1 while it holds
/// only the one empty row of a log without sessions.
int sessionRowsEnd(const Table& Str);

/// What continuing a read found.
enum class Continued {
    Nothing, ///< no whole line was appended since
    Read, ///< the whole lines appended were taken in
    Locked, ///< another program holds the file to itself: continue with a copy of it
    Rebuild, ///< the file is shorter than what was read, or the read cannot go on: read it from the start
};

/// A read of the log that can go on with what the mailer appends later: where it stopped (after the last
/// whole line) and what it had gathered there, such as a session that was still open.
class LogContinuation {
public:
    /// A read that has not begun: it starts at the first byte of the log, for the day range and charge given
    /// (the range as FillTabl takes it; raises the date conversion error of a bad day text).
    LogContinuation(std::string_view dat1Text, std::string_view dat2Text, const Charge& charge);
    ~LogContinuation();
    LogContinuation(LogContinuation&&) noexcept;
    LogContinuation& operator=(LogContinuation&&) noexcept;

    /// The bytes of the log taken in so far: whole lines, each up to and with its line feed.
    uint64_t offset() const { return offset_; }
    /// False once a read failed in the middle (the tables then hold part of a line's work): only a
    /// rebuild from the first line can go on.
    bool resumable() const { return resumable_; }
    /// True when a Ctrl+Z at the start of a line ended the text: nothing behind it is ever read.
    bool ended() const { return ended_; }

private:
    friend void FillTabl(LogText&, std::string_view, std::string_view, const Charge&, Table&, DayList&,
        std::vector<std::string>&, SessionTimes&, LogContinuation*);
    friend Continued continueFrom(int, uint64_t, uint64_t, uint64_t, LogContinuation&, Table&, DayList&,
        std::vector<std::string>&, SessionTimes&);

    std::unique_ptr<Extraction> extraction_;
    uint64_t offset_ = 0;
    // The log the offset counts in (0: the first file continued from), so that a log replaced by a longer
    // one is read from its start.
    uint64_t device_ = 0;
    uint64_t inode_ = 0;
    bool resumable_ = true;
    bool ended_ = false;
};

/// Takes in the whole lines appended to the file at `path` since the continuation's offset, as the one
/// read of FillTabl over the longer log would have: rows are appended to Str for the sessions that end in
/// them, a session open at the previous end goes on, and dat2Items becomes a copy of dat1's items. A line
/// still without its line feed is left for the next call. A file shorter than what was read, or another file
/// than the one read before (a rotated log), asks for a rebuild. Raises InOutError when the file cannot be read
/// and the conversion error of a bad line (the continuation is then no longer resumable).
Continued continueFillTabl(const std::string& path, LogContinuation& continuation, Table& Str, DayList& dat1,
    std::vector<std::string>& dat2Items, SessionTimes& times);
/// The same for a log read through its copy (`copy` reads one, see LogText::bindCopyOf): the copy is the log
/// as it stood when it was made, so it is continued without a lock and is never Locked.
Continued continueFillTabl(const LogText& copy, LogContinuation& continuation, Table& Str, DayList& dat1,
    std::vector<std::string>& dat2Items, SessionTimes& times);
/// Reads the continuation from an open descriptor of the log with that device and inode (or of a copy of
/// it), `size` bytes long; the two above open or look at the file once and call it.
Continued continueFrom(int fd, uint64_t device, uint64_t inode, uint64_t size, LogContinuation& continuation,
    Table& Str, DayList& dat1, std::vector<std::string>& dat2Items, SessionTimes& times);

} // namespace velmar
