#include "statistics/LogText.h"

#include "platform/BlockReader.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "statistics/MarkerScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmar {

// Takes a shared lock of both kinds a writer here may use. False when another holder keeps the file to
// itself; a file system that offers no locking at all is read without one.
bool lockShared(int fd)
{
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return false;
    struct flock region { };
    region.l_type = F_RDLCK;
    region.l_whence = SEEK_SET;
    region.l_start = 0;
    region.l_len = 0;
    if (::fcntl(fd, F_SETLK, &region) != 0 && (errno == EACCES || errno == EAGAIN))
        return false;
    return true;
}

namespace {

// Passes over a byte order mark at the start of the file. False (errno set) when reading fails.
bool skipByteOrderMark(int fd)
{
    char head[kByteOrderMark.size()];
    const ssize_t n = retryInterrupted([&] { return ::pread(fd, head, sizeof head, 0); });
    if (n < 0)
        return false;
    if (std::string_view(head, static_cast<size_t>(n)) == kByteOrderMark)
        return ::lseek(fd, sizeof head, SEEK_SET) == static_cast<off_t>(sizeof head);
    return true;
}

} // namespace

LogText::LogText()
    : LogText(kBlockSize)
{
}

LogText::LogText(size_t blockSize)
    : blockSize_(std::clamp<size_t>(blockSize, 1, std::numeric_limits<uint32_t>::max()))
{
}

LogText::~LogText()
{
    close();
}

void LogText::bind(std::string path)
{
    close();
    copy_.letGo();
    path_ = std::move(path);
    bound_ = true;
}

void LogText::bindCopyOf(const std::string& logPath, const std::string& startDir)
{
    close();
    bound_ = false;
    path_.clear();
    copyError_.reset();
    try {
        copy_.make(logPath, startDir);
    } catch (const InOutError& error) {
        // A later rebuild says again why there is nothing to read, not "File not found" for a copy.
        copyError_ = error;
        throw;
    }
    path_ = copy_.path();
    logIdentity_ = { copy_.logDevice(), copy_.logInode() };
    bound_ = true;
}

bool LogText::extendCopy(const std::string& logPath)
{
    if (copy_.descriptor() < 0 || fd_ >= 0)
        return false;
    return copy_.extend(logPath);
}

void LogText::removeOwnCopy()
{
    copy_.removeOwn();
}

// Opens the bound file with its shared lock and returns the descriptor, or -1 with errno set.
int LogText::openLocked(bool& lockedByOther)
{
    lockedByOther = false;
    if (!bound_) {
        errno = ENOENT;
        return -1;
    }
    // Only a regular file is a log; a FIFO or a device named in the settings would block or never end.
    const int fd = openRegularFile(path_);
    if (fd < 0)
        return -1;
    if (!lockShared(fd)) {
        ::close(fd);
        lockedByOther = true;
        errno = EACCES;
        return -1;
    }
    return fd;
}

bool LogText::openShared()
{
    close();
    bool lockedByOther = false;
    fd_ = openLocked(lockedByOther);
    return fd_ >= 0;
}

void LogText::reset()
{
    close();
    int fd = -1;
    if (copy_.descriptor() >= 0) {
        // The copy is read again through the descriptor it was written with, from its first byte.
        fd = ::fcntl(copy_.descriptor(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            throw InOutError::fromErrno(errno);
        if (::lseek(fd, 0, SEEK_SET) != 0) {
            const int err = errno;
            ::close(fd);
            throw InOutError::fromErrno(err);
        }
    } else {
        if (!bound_ && copyError_)
            throw *copyError_;
        bool lockedByOther = false;
        fd = openLocked(lockedByOther);
        if (fd < 0)
            throw InOutError::fromErrno(errno);
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw InOutError::fromErrno(err);
    }
    openDevice_ = static_cast<uint64_t>(st.st_dev);
    openInode_ = static_cast<uint64_t>(st.st_ino);
    if (copy_.descriptor() < 0)
        logIdentity_ = { openDevice_, openInode_ };
    openSize_ = static_cast<int64_t>(st.st_size);
    if (!skipByteOrderMark(fd)) {
        const int err = errno;
        ::close(fd);
        throw InOutError::fromErrno(err);
    }
    const off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (start < 0) {
        const int err = errno;
        ::close(fd);
        throw InOutError::fromErrno(err);
    }
    blockOffset_ = nextOffset_ = static_cast<uint64_t>(start);
    lastByte_ = '\n';
    fd_ = fd;
    prepareParts();
}

// The parts of the blocks and room for their lines are made here, before the reading thread starts: from the
// heap of this thread, which the process maps 2 MB at a time, where the reading thread's own memory would be
// mapped a small page at a time as its lists grow. Only a preparation: without memory the lists grow later.
void LogText::prepareParts() noexcept
{
    const auto size = static_cast<size_t>(std::max<int64_t>(openSize_, 0));
    const size_t parts = std::min(blockSize_, size) / kPartSize + 1;
    // One line in 64 bytes that may matter: more than the logs seen hold.
    const size_t lines = std::min(kPartSize, size) / 64;
    try {
        for (BlockScan& scan : scans_) {
            if (scan.parts.size() < parts)
                scan.parts.resize(parts);
            for (Part& part : scan.parts)
                part.candidates.reserve(lines);
        }
    } catch (const std::bad_alloc&) {
    }
}

void LogText::close()
{
    // The block being read ahead uses the descriptor: the reader has to end first.
    reader_.reset();
    scanLastByte_ = '\n';
    if (fd_ >= 0)
        ::close(fd_); // releases both locks
    fd_ = -1;
    pos_ = end_ = 0;
    fileEnd_ = ended_ = false;
    lines_ = {};
    // The buffers are only needed while reading; a huge line must not keep its memory between rebuilds.
    for (BlockScan& scan : scans_) {
        std::vector<Part>().swap(scan.parts);
        scan.partCount = 0;
        scan.state.store(BlockScan::kReading);
    }
    current_ = nullptr;
    part_ = 0;
    block_ = nullptr;
    std::string().swap(spanning_);
    std::string().swap(scratch_);
}

void LogText::ensureOpen() const
{
    if (fd_ < 0)
        throw InOutError::notOpen();
}

// Finds in a block just read its first Ctrl+Z behind a line feed and cuts its whole lines into parts, then
// searches the parts that the thread handing out the lines does not take on: runs on the reading thread,
// and touches nothing but the block's scan and the last byte of the block before, which tells whether the
// block begins with a line.
void LogText::scanBlock(const char* bytes, size_t size, BlockScan& scan, char& lastByte) noexcept
{
    scan.ctrlZ = size;
    scan.partCount = 0;
    scan.bytes = bytes;
    scan.nextPart.store(0, std::memory_order_relaxed);
    const auto cut = [&scan] {
        scan.state.store(BlockScan::kCut, std::memory_order_release);
        scan.state.notify_all();
    };
    if (size == 0) {
        cut(); // the end of the file, or a failed read: nothing to search
        return;
    }
    const char before = std::exchange(lastByte, bytes[size - 1]);
    // Lines start behind the line feeds of the block, and at its start when the block before ended in one
    // (a Ctrl+Z there is seen as the block is handed out).
    const auto* lastLineFeed = static_cast<const char*>(::memrchr(bytes, '\n', size));
    if (lastLineFeed != nullptr) {
        const auto to = static_cast<size_t>(lastLineFeed - bytes) + 1;
        if (to < size && bytes[to] == kCtrlZ)
            scan.ctrlZ = to;
        size_t from = 0;
        if (before != '\n')
            from = static_cast<size_t>(static_cast<const char*>(std::memchr(bytes, '\n', size)) - bytes) + 1;
        try {
            for (size_t at = from; at < to; ++scan.partCount) {
                size_t end = to;
                if (to - at > kPartSize) {
                    const auto* lineFeed
                        = static_cast<const char*>(std::memchr(bytes + at + kPartSize, '\n', to - at - kPartSize));
                    end = static_cast<size_t>(lineFeed - bytes) + 1;
                }
                if (scan.partCount == scan.parts.size())
                    scan.parts.emplace_back();
                Part& part = scan.parts[scan.partCount];
                part.from = at;
                part.to = end;
                at = end;
            }
        } catch (const std::bad_alloc&) {
            // Without parts the lines are searched as they are handed out, and the Ctrl+Z here.
            scan.partCount = 0;
            for (size_t at = 1; at < size;) {
                const auto* z = static_cast<const char*>(std::memchr(bytes + at, kCtrlZ, size - at));
                if (z == nullptr)
                    break;
                if (z[-1] == '\n') {
                    scan.ctrlZ = static_cast<size_t>(z - bytes);
                    break;
                }
                at = static_cast<size_t>(z - bytes) + 1;
            }
        }
    }
    cut();
    scanParts(scan);
}

// Searches the parts of a block that nobody has begun, one at a time, until none is left.
void LogText::scanParts(BlockScan& scan) noexcept
{
    for (size_t k; (k = scan.nextPart.fetch_add(1, std::memory_order_relaxed)) < scan.partCount;) {
        Part& part = scan.parts[k];
        part.candidates.clear();
        try {
            part.stop = part.from + scanCandidates({ scan.bytes + part.from, part.to - part.from }, part.candidates);
            part.scanned = true;
            continue;
        } catch (const std::bad_alloc&) {
            // Without the list the lines are searched as they are handed out, and the Ctrl+Z here.
            part.candidates.clear();
            part.scanned = false;
        }
        part.stop = part.to;
        for (size_t at = part.from; at < part.to;) {
            if (scan.bytes[at] == kCtrlZ) {
                part.stop = at;
                break;
            }
            const auto* lineFeed = static_cast<const char*>(std::memchr(scan.bytes + at, '\n', part.to - at));
            at = static_cast<size_t>(lineFeed - scan.bytes) + 1;
        }
    }
}

// Before the block read ahead is taken: takes on the parts of it that the reading thread has not begun.
void LogText::helpScan()
{
    const int slot = reader_->readingSlot();
    if (slot < 0)
        return;
    BlockScan& scan = scans_[static_cast<size_t>(slot)];
    scan.state.wait(BlockScan::kReading, std::memory_order_acquire);
    scanParts(scan);
}

// Moves on to the next block; false at the end of the file.
bool LogText::fill()
{
    pos_ = end_ = 0;
    if (fileEnd_)
        return false;
    if (!reader_) {
        reader_ = std::make_unique<BlockReader>(fd_, blockSize_, [this](size_t slot, const char* bytes, size_t size) {
            scanBlock(bytes, size, scans_[slot], scanLastByte_);
        });
    }
    helpScan();
    const size_t slot = reader_->take();
    current_ = &scans_[slot];
    part_ = 0;
    block_ = reader_->bytes(slot);
    const size_t size = reader_->size(slot);
    blockOffset_ = nextOffset_;
    nextOffset_ += size;
    if (size != 0)
        lastByte_ = block_[size - 1];
    if (blockHook_)
        blockHook_();
    if (size == 0) {
        fileEnd_ = true;
        checkUnchanged();
        return false;
    }
    end_ = size;
    scans_[reader_->aheadSlot()].state.store(BlockScan::kReading, std::memory_order_relaxed);
    reader_->readAhead();
    return true;
}

// True when no further line follows; otherwise the next line starts at pos_ in the block. A block is
// moved on from only once it is handed out to its last byte, so its successor begins with a line.
bool LogText::atEnd()
{
    if (ended_)
        return true;
    if (pos_ == end_ && !fill())
        ended_ = true;
    else if (block_[pos_] == kCtrlZ)
        ended_ = true;
    return ended_;
}

// At the end of the file: a log only grows while it is read. One that ends before the size it had at the
// opening, or is now shorter than what was read of it, was emptied or cut under the reader; one whose name
// leads to another file now was replaced (the copy is read through its own descriptor and has no name to
// check).
void LogText::checkUnchanged()
{
    struct stat now { };
    const off_t position = ::lseek(fd_, 0, SEEK_CUR);
    if (::fstat(fd_, &now) != 0 || position < 0)
        throw InOutError::fromErrno(errno);
    const auto readUpTo = static_cast<int64_t>(position);
    bool changed = readUpTo < openSize_ || static_cast<int64_t>(now.st_size) < readUpTo;
    if (!changed && copy_.descriptor() < 0) {
        struct stat named { };
        changed = ::stat(path_.c_str(), &named) != 0 || static_cast<uint64_t>(named.st_dev) != openDevice_
            || static_cast<uint64_t>(named.st_ino) != openInode_;
    }
    if (changed)
        throw InOutError::logChanged();
}

LogText::ReadEnd LogText::readEnd() const
{
    ReadEnd end;
    if (fileEnd_) {
        end.offset = nextOffset_;
        end.lastLineOpen = lastByte_ != '\n';
    } else {
        end.offset = blockOffset_ + pos_;
        end.ctrlZ = ended_;
    }
    return end;
}

bool LogText::readText(std::string_view& text)
{
    const std::vector<CandidateLine>* candidates = nullptr;
    return readText(text, candidates);
}

bool LogText::readText(std::string_view& text, const std::vector<CandidateLine>*& candidates)
{
    text = {};
    candidates = nullptr;
    ensureOpen();
    if (atEnd())
        return false;
    const char* start = block_ + pos_;
    const size_t from = pos_;
    // The next part, up to a Ctrl+Z that starts a line, where the text ends.
    if (part_ < current_->partCount && current_->parts[part_].from == from) {
        const Part& part = current_->parts[part_++];
        pos_ = part.stop;
        text = { start, part.stop - from };
        if (part.scanned)
            candidates = &part.candidates;
        return true;
    }
    // Whole lines up to a Ctrl+Z that starts one, or up to the last line feed of the block.
    size_t to = current_->ctrlZ;
    if (to >= end_) {
        const auto* lineFeed = static_cast<const char*>(::memrchr(start, '\n', end_ - pos_));
        to = lineFeed == nullptr ? from : static_cast<size_t>(lineFeed - block_) + 1;
    }
    if (to > from) {
        pos_ = to;
        text = { start, to - from };
        return true;
    }
    // A line that runs over the block edge, gathered up to its line feed or the end of the file.
    spanning_.assign(start, end_ - pos_);
    pos_ = end_;
    while (fill()) {
        if (const auto* lineFeed = static_cast<const char*>(std::memchr(block_, '\n', end_))) {
            pos_ = static_cast<size_t>(lineFeed - block_) + 1;
            spanning_.append(block_, pos_);
            break;
        }
        spanning_.append(block_, end_);
        pos_ = end_;
    }
    text = spanning_;
    return true;
}

bool LogText::readLine(std::string_view& line)
{
    line = {};
    if (lines_.empty() && !readText(lines_))
        return false;
    const size_t lineFeed = lines_.find('\n');
    const std::string_view raw = lines_.substr(0, lineFeed);
    lines_.remove_prefix(lineFeed == std::string_view::npos ? lines_.size() : lineFeed + 1);
    line = withoutCarriageReturns(raw, scratch_);
    return true;
}

bool LogText::eof()
{
    ensureOpen();
    return lines_.empty() && atEnd();
}

std::string_view withoutCarriageReturns(std::string_view line, std::string& scratch)
{
    // The usual line ends with CR LF: its one carriage return needs no copy.
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (std::memchr(line.data(), '\r', line.size()) == nullptr)
        return line;
    scratch.clear();
    for (char c : line) {
        if (c != '\r')
            scratch += c;
    }
    return scratch;
}

} // namespace velmar
