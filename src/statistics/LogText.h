#pragma once

#include "platform/Errors.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// The text-file variable the log is read through: bound to the mailer's log or to its copy "~Log.tmp".
///
/// Lines end at a line feed; every carriage return is dropped from a line, and a Ctrl+Z at the start of a
/// line ends the text. A UTF-8 byte order mark at the start of the file is passed over. The file is read
/// in large blocks and a line is handed out as a view into the block, so memory grows with the longest
/// line, never with the size of the log. While the lines of one block are handed out, the next block is
/// read, and its line feeds found, on a second thread: the caller's work on a line and the reading of the
/// file overlap, and the order of the lines is that of the file.
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
    bool readsCopy() const { return held_ >= 0; }
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
    /// Reads the next line: true and the line, or false at the end of the file (then `line` is empty).
    /// The view stays valid until the next read or close, also across eof(). Raises InOutError when
    /// reading fails or the file is not open.
    bool readLine(std::string_view& line)
    {
        // The usual line: it ends in the current block, where its line feed is known already, and needs at
        // most the carriage return before its line feed dropped.
        if (fd_ >= 0 && !ended_ && pos_ < end_ && block_[pos_] != kCtrlZ && !current_->loneCarriageReturn
            && nextLineFeed_ < current_->lineFeeds.size()) {
            const char* start = block_ + pos_;
            const char* lineFeed = block_ + current_->lineFeeds[nextLineFeed_++];
            pos_ = static_cast<size_t>(lineFeed - block_) + 1;
            line = upToLineEnd(start, lineFeed);
            return true;
        }
        return readLineElsewhere(line);
    }
    /// True when the end of the file has been reached (also when the next line starts with Ctrl+Z).
    bool eof()
    {
        // Asked after every line of the log: the usual answer needs no call.
        if (fd_ >= 0 && !ended_ && pos_ < end_ && block_[pos_] != kCtrlZ)
            return false;
        return eofAfterBlock();
    }
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
    int copyDescriptor() const { return held_; }

private:
    static constexpr char kCtrlZ = 26;

    // A block of the file as the reading thread leaves it.
    struct Block {
        std::unique_ptr<char[]> bytes;
        size_t size = 0; // 0: the end of the file
        int error = 0; // errno of a failed read
        bool outOfMemory = false; // the index of the line feeds could not be made
        bool loneCarriageReturn = false; // a CR that no LF follows, so lines must be searched for one
        std::vector<uint32_t> lineFeeds; // where the line feeds stand, in order
    };

    class Reader;

    static void readBlock(int fd, size_t capacity, Block& block) noexcept;
    // The line from start to its line feed, without the carriage return of a CR LF line end.
    static std::string_view upToLineEnd(const char* start, const char* lineFeed)
    {
        const auto length = static_cast<size_t>(lineFeed - start);
        return { start, length - (length != 0 && lineFeed[-1] == '\r') };
    }
    bool eofAfterBlock();
    void checkUnchanged();
    void letCopyGo();
    void makeCopy(const std::string& logPath, const std::string& startDir);
    int openLocked(bool& lockedByOther);
    void readAhead();
    bool fill();
    const char* nextLineFeed();
    bool readLineElsewhere(std::string_view& line);
    bool atEnd();
    std::string_view withoutCarriageReturns(std::string_view raw);
    void ensureOpen() const;

    std::string path_;
    bool bound_ = false;
    int fd_ = -1;
    int held_ = -1; // the descriptor of the copy this variable reads, or -1
    // The copy made last, to be removed at the end only while it is still that file.
    std::string copyPath_;
    uint64_t copyDevice_ = 0;
    uint64_t copyInode_ = 0;
    // What the opening saw of the file: its identity and size.
    uint64_t openDevice_ = 0;
    uint64_t openInode_ = 0;
    int64_t openSize_ = 0;
    Identity logIdentity_;
    std::function<void()> blockHook_;
    std::optional<InOutError> copyError_; // why the copy made last could not be made
    size_t blockSize_;
    // The block handed out from, the one before it (eof() may have to move on while the caller still
    // holds a line of the block before) and the one being read ahead. Allocated on the first read.
    std::array<Block, 3> blocks_;
    Block* current_ = nullptr;
    Block* before_ = nullptr;
    Block* ahead_ = nullptr;
    std::unique_ptr<Reader> reader_; // the thread reading *ahead_, made on the first read
    bool reading_ = false; // *ahead_ is being read
    const char* block_ = nullptr; // the bytes of *current_
    size_t pos_ = 0;
    size_t end_ = 0;
    size_t nextLineFeed_ = 0; // the index in current_->lineFeeds of the first line feed at or after pos_
    bool fileEnd_ = false; // read(2) has returned 0
    uint64_t blockOffset_ = 0; // where *current_ starts in the file
    uint64_t nextOffset_ = 0; // where the next block starts in the file
    char lastByte_ = '\n'; // the last byte of the last block read
    bool ended_ = false; // no further line: the file end or a Ctrl+Z at a line start was reached
    std::string spanning_; // a line that runs over a block edge
    std::string scratch_; // a line with its carriage returns removed
};

/// Takes a shared lock of both kinds a writer here may use (flock and fcntl) on an open file. False when
/// another holder keeps the file to itself; a file system that offers no locking at all is read without one.
bool lockShared(int fd);

/// The name of the copy of a locked log.
inline constexpr std::string_view kLogCopyName = "~Log.tmp";

} // namespace velmar
