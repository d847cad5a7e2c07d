#pragma once

#include "platform/Errors.h"
#include "platform/LineBlocks.h"
#include "statistics/LogCopy.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// How a rebuild shares the reading of the log among threads: the text is cut at line starts into parts,
/// each read on a thread of its own from a clean start, and the parts are joined where their readings
/// agree (see PartedRead). A reader that is done takes the next part nobody has taken yet, so a processor
/// that goes faster than the others (or is left alone by other work) reads more of the text.
struct ReadPlan {
    /// The most threads that read at once; 0: one for each processor this process may run on, at most
    /// kMostReaders.
    unsigned readers = 0;
    /// The parts, of even size; 0: as the readers and the size call for, in parts that grow smaller towards
    /// the end (see LogText::partStarts). At most kMostParts.
    unsigned parts = 0;
    /// The least bytes of text a part is given: a smaller log is read in fewer parts, or in one.
    uint64_t minPartBytes = uint64_t { 4 } << 20;
    /// Where the parts after the first begin, instead of evenly (tests): each at the first line start at or
    /// after its offset in the file.
    std::vector<uint64_t> starts;

    static constexpr unsigned kMostReaders = 8;
    static constexpr unsigned kMostParts = 64;
};

/// The text-file variable the log is read through: bound to the mailer's log or to its copy "~Log.tmp".
///
/// It opens the file with a shared lock and notes what it opened (its identity, size and where its text
/// begins, behind a UTF-8 byte order mark); the text is read in stretches of whole lines (LineBlocks),
/// by as many readers at once as the read plan says, and the end of a read is checked against what was
/// opened. The rules of the text itself (lines, carriage returns, a Ctrl+Z that ends it) are the marker
/// scan's (scanCandidates).
class LogText {
public:
    /// The size of the blocks the file is read in.
    static constexpr size_t kBlockSize = size_t { 256 } << 10;

    LogText();
    /// A LogText reading blocks of the given size (at least 1 byte), for the tests of the block edges.
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
    void reset();
    /// Closes the file and releases its lock; nothing happens when it is not open.
    void close();

    /// Once open: where the text begins in the file (behind a byte order mark), and the file's size at the
    /// opening.
    uint64_t textStart() const { return textStart_; }
    uint64_t openedSize() const { return openSize_; }
    /// Reads a stretch of the open file as runs of whole lines, in this variable's block size; `to` may be
    /// LineBlocks::kToTheEnd. Raises InOutError when the file is not open.
    LineBlocks stretch(uint64_t from, uint64_t to) const;
    /// Where the parts of a read of the whole text begin, as the read plan and the processors allow: the
    /// text start first, then line starts in increasing order. Left to the plan, each part is a share of
    /// what the parts before it leave (one in twice the readers), at least minPartBytes: the first ones
    /// are large, and the last ones small enough that the readers finish at nearly the same time. Raises
    /// InOutError when reading fails.
    std::vector<uint64_t> partStarts() const;
    /// The threads that read the parts at once, as the read plan and the processors allow (at least 1).
    unsigned readers() const;
    void setReadPlan(ReadPlan plan) { plan_ = std::move(plan); }
    /// A read of the text reached the end of the file at `readUpTo`: raises InOutError::logChanged() when
    /// the file was emptied or shortened while it was read (copied and truncated by a rotation), or its
    /// name now leads to another file -- a part of a log is never passed on as the whole of it.
    void checkUnchanged(uint64_t readUpTo) const;
    /// Runs each time a stretch moves on to the next block of the file (tests change the file there).
    void setBlockHook(std::function<void()> hook) { blockHook_ = std::move(hook); }

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
    int openLocked(bool& lockedByOther);
    void ensureOpen() const;

    std::string path_;
    bool bound_ = false;
    int fd_ = -1;
    LogCopy copy_; // the copy this variable reads, if any
    // What the opening saw of the file: its identity and size, and where its text begins.
    uint64_t openDevice_ = 0;
    uint64_t openInode_ = 0;
    uint64_t openSize_ = 0;
    uint64_t textStart_ = 0;
    Identity logIdentity_;
    std::function<void()> blockHook_;
    std::optional<InOutError> copyError_; // why the copy made last could not be made
    size_t blockSize_;
    ReadPlan plan_;
};

/// Takes a shared lock of both kinds a writer here may use (flock and fcntl) on an open file. False when
/// another holder keeps the file to itself; a file system that offers no locking at all is read without one.
bool lockShared(int fd);

/// A line as the log is read: every carriage return dropped (a copy into `scratch` only when one stands
/// before the end).
std::string_view withoutCarriageReturns(std::string_view line, std::string& scratch);

/// Where the text of an open file begins: behind a UTF-8 byte order mark at its start, else at 0. Raises
/// InOutError when reading fails.
uint64_t textStartOf(int fd);

/// The processors this process may run on (at least 1).
unsigned usableProcessors();

} // namespace velmar
