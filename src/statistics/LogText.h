#pragma once

#include "platform/Errors.h"
#include "statistics/LogCopy.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class BlockReader;
struct CandidateLine;

/// The text-file variable the log is read through: bound to the mailer's log or to its copy "~Log.tmp".
///
/// Lines end at a line feed; every carriage return is dropped from a line, and a Ctrl+Z at the start of a
/// line ends the text. A UTF-8 byte order mark at the start of the file is passed over. The file is read
/// in large blocks and handed out as views into them, a run of whole lines at a time (readText) or line
/// by line (readLine), so memory grows with the longest line, never with the size of the log. While one
/// block is handed out, the next is read on a second thread, which also finds its lines that may hold a
/// marker (scanCandidates), part by part; the caller, when it comes for that block before all its parts
/// are searched, searches the rest itself. The caller's work and the reading of the file overlap, and the
/// order of the text is that of the file.
class LogText {
public:
    /// The size of the blocks the file is read in.
    static constexpr size_t kBlockSize = size_t { 2 } << 20;

    LogText();
    /// A LogText reading blocks of the given size (at least 1 byte, at most 4 GiB), for the tests of the
    /// block edges.
    explicit LogText(size_t blockSize);
    ~LogText();
    LogText(const LogText&) = delete;
    LogText& operator=(const LogText&) = delete;

    /// Binds the variable to a file name, closing an earlier opening first (and letting go of a copy it read).
    void bind(std::string path);
    /// The mailer holds the log: copies it as it stands now into a new file of this run in startDir, which
    /// takes the name "~Log.tmp" only once it is complete (replacing an older copy), and binds the variable
    /// to that copy through the descriptor it was written with: it is never opened again by name, so
    /// another run replacing or removing "~Log.tmp" cannot change what this one reads. A log that is itself
    /// that "~Log.tmp" is copied into a file without a name, and stays as it is. Raises InOutError with the
    /// reason when the log cannot be read ("File access denied", ...) or the copy cannot be made ("File
    /// access denied" for a start directory without write access, "Disk full"); the variable is then bound
    /// to nothing, so no older copy is ever read in its place, and a rebuild raises that reason again.
    void bindCopyOf(const std::string& logPath, const std::string& startDir);
    /// Brings the copy this variable reads up to the log it was made of, when that log only grew since: what
    /// was appended is added to the copy, so a log the mailer keeps locked is followed without copying it
    /// whole at every change. False (nothing changed) when there is no copy, the log is another file now or
    /// shorter than the copy: make a new copy then. Raises InOutError when reading or writing fails.
    bool extendCopy(const std::string& logPath);
    /// Removes "~Log.tmp" when it is still the copy this variable made last (the same device and inode);
    /// a file another run or the user put there stays. Raises InOutError when the deletion fails.
    void removeOwnCopy();
    /// True when the variable reads a copy it made rather than a file it opens by name.
    bool readsCopy() const { return copy_.descriptor() >= 0; }
    bool bound() const { return bound_; }
    const std::string& path() const { return path_; }
    bool isOpen() const { return fd_ >= 0; }

    /// Opens the bound file for reading while others may only read it at the same time: a shared lock.
    /// False (nothing thrown) when opening fails or another process holds an exclusive lock on it (flock
    /// LOCK_EX, or an fcntl write lock) -- how a mailer here keeps its log to itself.
    /// When it succeeds the file stays open (with its shared lock) until the next reset/close/bind.
    bool openShared();
    /// Opens the bound file from its first line for a rebuild, closing an earlier opening first; holds a
    /// shared lock while open (non-blocking: a file locked exclusively raises "File access denied").
    /// Raises InOutError (a LogText bound to nothing raises "File not found").
    /// When the end of the file is reached, the file is checked against what was seen at this opening: a
    /// log that was emptied or shortened while it was read (copied and truncated by a rotation), or whose
    /// name now leads to another file, makes that read raise InOutError::logChanged() -- a part of a log
    /// is never passed on as the whole of it.
    void reset();
    /// Called each time the reader moves on to the next block of the file (tests change the file there).
    void setBlockHook(std::function<void()> hook) { blockHook_ = std::move(hook); }
    /// Reads the next run of whole lines as they stand in the file: carriage returns kept, every line up to
    /// and with its line feed, except a last line of the file that has none. False at the end of the text
    /// (then `text` is empty). The view stays valid until the next read or close. Raises InOutError when
    /// reading fails or the file is not open. Reading by runs and by lines must not be mixed in one read.
    bool readText(std::string_view& text);
    /// The same, and `candidates` the lines of the text that may hold a marker, as scanCandidates finds
    /// them (found while the text was read ahead), or null when the text was not scanned (a line over a
    /// block edge).
    bool readText(std::string_view& text, const std::vector<CandidateLine>*& candidates);
    /// Reads the next line, its carriage returns dropped: true and the line, or false at the end of the
    /// file (then `line` is empty). The view stays valid until the next read or close, also across eof().
    /// Raises InOutError when reading fails or the file is not open.
    bool readLine(std::string_view& line);
    /// True when the end of the file has been reached (also when the next line starts with Ctrl+Z).
    bool eof();
    /// Closes the file and releases its lock and buffers; nothing happens when it is not open.
    void close();

    /// Where a read that reached the end of the text stopped in the file.
    struct ReadEnd {
        /// The bytes up to and with the line feed of the last whole line read, a byte order mark counted.
        uint64_t offset = 0;
        /// A Ctrl+Z at the start of the line at `offset` ended the text.
        bool ctrlZ = false;
        /// The file ended in a line without its line feed, which was handed out as a line of its own.
        bool lastLineOpen = false;
    };
    /// Once eof() is true: where the text ended.
    ReadEnd readEnd() const;
    /// The file on disk whose text is read: the bound file as opened last, or for a copy the log it was
    /// made of. Both 0 before any.
    struct Identity {
        uint64_t device = 0;
        uint64_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    Identity logIdentity() const { return logIdentity_; }
    /// The descriptor of the copy this variable reads (readsCopy()), for reading parts of it in place;
    /// -1 when it reads no copy.
    int copyDescriptor() const { return copy_.descriptor(); }

private:
    // The lines of a block are searched in parts of about this size. The reading thread searches them as
    // soon as the block is read; the thread that hands the lines out, when it comes for the block before
    // the search is done, takes on the parts nobody has begun, so the two share the work.
    static constexpr size_t kPartSize = size_t { 256 } << 10;

    // A run of whole lines of a block and, once it was searched, those of its lines that may hold a marker.
    struct Part {
        size_t from = 0;
        size_t to = 0;
        size_t stop = 0; // a Ctrl+Z that starts a line ends the text here; `to` when none does
        bool scanned = false; // the candidates are there (memory may have run out)
        std::vector<CandidateLine> candidates;
    };

    // What was found in a block: its first Ctrl+Z behind a line feed as far as the parts do not tell, and
    // the parts its whole lines were cut into.
    struct BlockScan {
        size_t ctrlZ = 0; // the block's size when it holds none
        std::vector<Part> parts; // parts[0..partCount) are this block's
        size_t partCount = 0;
        const char* bytes = nullptr;
        std::atomic<size_t> nextPart { 0 }; // the first part nobody has begun to search
        std::atomic<int> state { kReading };
        static constexpr int kReading = 0; // the block is being read: nothing to search yet
        static constexpr int kCut = 1; // the parts are laid out and being searched
    };

    static void scanBlock(const char* bytes, size_t size, BlockScan& scan, char& lastByte) noexcept;
    static void scanParts(BlockScan& scan) noexcept;
    void prepareParts() noexcept;
    void helpScan();
    void checkUnchanged();
    int openLocked(bool& lockedByOther);
    bool fill();
    bool atEnd();
    void ensureOpen() const;

    std::string path_;
    bool bound_ = false;
    int fd_ = -1;
    LogCopy copy_; // the copy this variable reads, if any
    // What the opening saw of the file: its identity and size.
    uint64_t openDevice_ = 0;
    uint64_t openInode_ = 0;
    int64_t openSize_ = 0;
    Identity logIdentity_;
    std::function<void()> blockHook_;
    std::optional<InOutError> copyError_; // why the copy made last could not be made
    size_t blockSize_;
    // Reads the file a block ahead, made on the first read. The block before the one handed out from stays
    // as it is: eof() may have to move on while the caller still holds a line of it.
    std::unique_ptr<BlockReader> reader_;
    std::array<BlockScan, 3> scans_; // by the reader's slots
    size_t part_ = 0; // the next part of *current_ to hand out
    char scanLastByte_ = '\n'; // the reading thread's: the last byte of the block it read before
    const BlockScan* current_ = nullptr; // what was found in the block handed out from
    const char* block_ = nullptr; // the bytes of *current_
    size_t pos_ = 0;
    size_t end_ = 0;
    bool fileEnd_ = false; // read(2) has returned 0
    uint64_t blockOffset_ = 0; // where *current_ starts in the file
    uint64_t nextOffset_ = 0; // where the next block starts in the file
    char lastByte_ = '\n'; // the last byte of the last block read
    bool ended_ = false; // no further line: the file end or a Ctrl+Z at a line start was reached
    std::string spanning_; // a line that runs over a block edge
    std::string_view lines_; // what readLine has still to hand out of the text read last
    std::string scratch_; // a line with its carriage returns removed
};

/// Takes a shared lock of both kinds a writer here may use (flock and fcntl) on an open file. False when
/// another holder keeps the file to itself; a file system that offers no locking at all is read without one.
bool lockShared(int fd);

/// A line as the log is read: every carriage return dropped (a copy into `scratch` only when one stands
/// before the end).
std::string_view withoutCarriageReturns(std::string_view line, std::string& scratch);

} // namespace velmar
