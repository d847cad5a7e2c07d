#include "statistics/LogText.h"

#include "platform/Errors.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <fcntl.h>
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

// A log saved by an editor in UTF-8 may begin with a byte order mark. It is no text of the log, and left
// in place it would stand in front of the first line's date. False (errno set) when reading fails.
bool skipByteOrderMark(int fd)
{
    unsigned char head[3];
    const ssize_t n = retryInterrupted([&] { return ::pread(fd, head, sizeof head, 0); });
    if (n < 0)
        return false;
    if (n == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
        return ::lseek(fd, 3, SEEK_SET) == 3;
    return true;
}

// True when the block holds a carriage return that no line feed follows (one at the very end of the block
// counts, since its line feed may come in the next block). Most logs end every line with CR LF and hold
// no other carriage return: their lines then need no search for one.
bool hasLoneCarriageReturn(const char* p, size_t n)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    __m128i lone = _mm_setzero_si128();
    for (; i + 17 <= n; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
        lone = _mm_or_si128(lone, _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(here, cr)));
    }
    if (_mm_movemask_epi8(lone) != 0)
        return true;
#endif
    for (; i < n; ++i) {
        if (p[i] == '\r' && (i + 1 == n || p[i + 1] != '\n'))
            return true;
    }
    return false;
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
    letCopyGo();
}

void LogText::letCopyGo()
{
    if (held_ >= 0)
        ::close(held_);
    held_ = -1;
}

void LogText::bind(std::string path)
{
    close();
    letCopyGo();
    path_ = std::move(path);
    bound_ = true;
}

void LogText::bindCopyOf(const std::string& logPath, const std::string& startDir)
{
    close();
    letCopyGo();
    bound_ = false;
    path_.clear();
    copyError_.reset();
    try {
        makeCopy(logPath, startDir);
    } catch (const InOutError& error) {
        // A later rebuild says again why there is nothing to read, not "File not found" for a copy.
        copyError_ = error;
        throw;
    }
}

void LogText::makeCopy(const std::string& logPath, const std::string& startDir)
{
    FileDescriptor log(openRegularFile(logPath));
    struct stat source { };
    if (log.get() < 0 || ::fstat(log.get(), &source) != 0)
        throw InOutError::fromErrno(errno);
    // The copy is written into a new file of this run; another run copying at the same time writes its own.
    const std::string copyPath = joinPath(startDir, kLogCopyName);
    static unsigned serial = 0;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = joinPath(startDir, "~Log." + std::to_string(::getpid()) + "." + std::to_string(serial++) + ".tmp");
        fd = retryInterrupted(
            [&] { return ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644); });
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw InOutError::fromErrno(errno);
    FileDescriptor copy(fd);
    struct stat st { };
    if (!copyContent(log.get(), copy.get()) || ::fstat(copy.get(), &st) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        throw InOutError::fromErrno(err);
    }
    if (sameFile(logPath, copyPath)) {
        // The configured log is itself named "~Log.tmp": it stays, and the copy needs no name.
        ::unlink(temporary.c_str());
    } else {
        if (::rename(temporary.c_str(), copyPath.c_str()) != 0) {
            const int err = errno;
            ::unlink(temporary.c_str());
            throw InOutError::fromErrno(err);
        }
        copyPath_ = copyPath;
        copyDevice_ = static_cast<uint64_t>(st.st_dev);
        copyInode_ = static_cast<uint64_t>(st.st_ino);
    }
    held_ = copy.release();
    logIdentity_ = { static_cast<uint64_t>(source.st_dev), static_cast<uint64_t>(source.st_ino) };
    path_ = copyPath;
    bound_ = true;
}

bool LogText::extendCopy(const std::string& logPath)
{
    if (held_ < 0 || fd_ >= 0)
        return false;
    FileDescriptor log(openRegularFile(logPath));
    struct stat source { };
    struct stat copy { };
    if (log.get() < 0 || ::fstat(log.get(), &source) != 0 || ::fstat(held_, &copy) != 0)
        throw InOutError::fromErrno(errno);
    const Identity identity { static_cast<uint64_t>(source.st_dev), static_cast<uint64_t>(source.st_ino) };
    if (!(identity == logIdentity_) || source.st_size < copy.st_size)
        return false;
    if (::lseek(log.get(), copy.st_size, SEEK_SET) != copy.st_size || ::lseek(held_, 0, SEEK_END) != copy.st_size
        || !copyContent(log.get(), held_))
        throw InOutError::fromErrno(errno);
    return true;
}

void LogText::removeOwnCopy()
{
    if (copyPath_.empty())
        return;
    const std::string copyPath = std::exchange(copyPath_, std::string());
    struct stat st { };
    if (::lstat(copyPath.c_str(), &st) != 0)
        return;
    if (static_cast<uint64_t>(st.st_dev) != copyDevice_ || static_cast<uint64_t>(st.st_ino) != copyInode_)
        return;
    deleteFile(copyPath);
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
    if (held_ >= 0) {
        // The copy is read again through the descriptor it was written with, from its first byte.
        fd = ::fcntl(held_, F_DUPFD_CLOEXEC, 0);
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
    if (held_ < 0)
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
}

// The thread that reads the log ahead, one block at a time, for as long as the log is open.
class LogText::Reader {
public:
    Reader()
        : thread_([this] { run(); })
    {
    }

    ~Reader()
    {
        wait();
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Starts reading the next block of fd into `block`; the reader must be idle.
    void start(int fd, size_t capacity, Block& block)
    {
        {
            const std::lock_guard lock(mutex_);
            fd_ = fd;
            capacity_ = capacity;
            job_ = &block;
        }
        wake_.notify_one();
    }

    // Waits until the block started last is read.
    void wait()
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return job_ == nullptr; });
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || job_ != nullptr; });
            if (job_ == nullptr)
                return;
            Block& block = *job_;
            const int fd = fd_;
            const size_t capacity = capacity_;
            lock.unlock();
            readBlock(fd, capacity, block);
            lock.lock();
            job_ = nullptr;
            done_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_; // a block to read, or the end
    std::condition_variable done_; // the block is read
    Block* job_ = nullptr;
    int fd_ = -1;
    size_t capacity_ = 0;
    bool quit_ = false;
    std::thread thread_; // last: it starts once the rest is ready
};

void LogText::close()
{
    // The block being read ahead uses the descriptor and a buffer: the reader has to end first.
    reader_.reset();
    reading_ = false;
    if (fd_ >= 0)
        ::close(fd_); // releases both locks
    fd_ = -1;
    pos_ = end_ = nextLineFeed_ = 0;
    fileEnd_ = ended_ = false;
    // The buffers are only needed while reading; a huge line must not keep its memory between rebuilds.
    blocks_ = {};
    current_ = before_ = ahead_ = nullptr;
    block_ = nullptr;
    std::string().swap(spanning_);
    std::string().swap(scratch_);
}

void LogText::ensureOpen() const
{
    if (fd_ < 0)
        throw InOutError::notOpen();
}

// Reads the next block of the file into `block` and notes what its lines need: runs on the reading thread,
// and touches nothing but the descriptor and the block.
void LogText::readBlock(int fd, size_t capacity, Block& block) noexcept
{
    block.size = 0;
    block.error = 0;
    block.outOfMemory = false;
    block.loneCarriageReturn = false;
    block.lineFeeds.clear();
    const ssize_t n = retryInterrupted([&] { return ::read(fd, block.bytes.get(), capacity); });
    if (n < 0) {
        block.error = errno;
        return;
    }
    block.size = static_cast<size_t>(n);
    const char* bytes = block.bytes.get();
    block.loneCarriageReturn = hasLoneCarriageReturn(bytes, block.size);
    // A block of nothing but empty lines would need four bytes of index per byte; past a line of eight
    // bytes on average the rest of the block is searched line by line instead.
    const size_t most = capacity / 8;
    try {
        for (const char* from = bytes; block.lineFeeds.size() < most;) {
            const auto* lineFeed = static_cast<const char*>(std::memchr(from, '\n', bytes + block.size - from));
            if (lineFeed == nullptr)
                break;
            block.lineFeeds.push_back(static_cast<uint32_t>(lineFeed - bytes));
            from = lineFeed + 1;
        }
    } catch (const std::bad_alloc&) {
        block.outOfMemory = true;
    }
}

// Starts reading the next block into *ahead_ on the reading thread.
void LogText::readAhead()
{
    if (!reader_)
        reader_ = std::make_unique<Reader>();
    reader_->start(fd_, blockSize_, *ahead_);
    reading_ = true;
}

// Moves on to the next block; false at the end of the file.
bool LogText::fill()
{
    pos_ = end_ = nextLineFeed_ = 0;
    if (fileEnd_)
        return false;
    if (current_ == nullptr) {
        for (Block& block : blocks_)
            block.bytes = std::make_unique_for_overwrite<char[]>(blockSize_);
        current_ = &blocks_[0];
        before_ = &blocks_[1];
        ahead_ = &blocks_[2];
    }
    // The first block, or one whose read failed, is read now; a failed one is read again on the next call.
    if (!reading_)
        readAhead();
    reader_->wait();
    reading_ = false;
    if (ahead_->error != 0)
        throw InOutError::fromErrno(ahead_->error);
    if (ahead_->outOfMemory)
        throw std::bad_alloc();
    // The line handed out last may lie in the current block: it becomes the one before, and the block
    // before that is free for the next read.
    Block* const freed = before_;
    before_ = current_;
    current_ = ahead_;
    ahead_ = freed;
    block_ = current_->bytes.get();
    blockOffset_ = nextOffset_;
    nextOffset_ += current_->size;
    if (current_->size != 0)
        lastByte_ = block_[current_->size - 1];
    if (blockHook_)
        blockHook_();
    if (current_->size == 0) {
        fileEnd_ = true;
        checkUnchanged();
        return false;
    }
    end_ = current_->size;
    readAhead();
    return true;
}

// True when no further line follows; otherwise the next line starts at pos_ in the block.
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
    if (!changed && held_ < 0) {
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

bool LogText::eofAfterBlock()
{
    ensureOpen();
    return atEnd();
}

// The first line feed at or after pos_ in the current block, or null when the block holds none.
const char* LogText::nextLineFeed()
{
    const std::vector<uint32_t>& lineFeeds = current_->lineFeeds;
    if (nextLineFeed_ < lineFeeds.size())
        return block_ + lineFeeds[nextLineFeed_++];
    return static_cast<const char*>(std::memchr(block_ + pos_, '\n', end_ - pos_));
}

// Any other line: at the file end, behind a Ctrl+Z, over a block edge, or with carriage returns inside.
bool LogText::readLineElsewhere(std::string_view& line)
{
    line = {};
    ensureOpen();
    if (atEnd())
        return false;

    const char* start = block_ + pos_;
    const char* lineFeed = nextLineFeed();
    if (lineFeed != nullptr) {
        pos_ += static_cast<size_t>(lineFeed - start) + 1;
        if (current_->loneCarriageReturn)
            line = withoutCarriageReturns({ start, static_cast<size_t>(lineFeed - start) });
        else
            line = upToLineEnd(start, lineFeed);
        return true;
    }

    spanning_.assign(start, end_ - pos_);
    pos_ = end_;
    while (fill()) {
        lineFeed = nextLineFeed();
        if (lineFeed != nullptr) {
            spanning_.append(block_, lineFeed);
            pos_ = static_cast<size_t>(lineFeed - block_) + 1;
            break;
        }
        spanning_.append(block_, end_);
        pos_ = end_;
    }
    line = withoutCarriageReturns(spanning_);
    return true;
}

std::string_view LogText::withoutCarriageReturns(std::string_view raw)
{
    // The usual line ends with CR LF: its one carriage return needs no copy.
    if (!raw.empty() && raw.back() == '\r')
        raw.remove_suffix(1);
    if (std::memchr(raw.data(), '\r', raw.size()) == nullptr)
        return raw;
    scratch_.clear();
    for (char c : raw) {
        if (c != '\r')
            scratch_ += c;
    }
    return scratch_;
}

} // namespace velmar
