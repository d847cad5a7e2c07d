#include "statistics/LogText.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "statistics/MarkerScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sched.h>
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

LogText::LogText()
    : LogText(kBlockSize)
{
}

LogText::LogText(size_t blockSize)
    : blockSize_(std::max<size_t>(blockSize, 1))
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
        // The copy is read again through the descriptor it was written with.
        fd = ::fcntl(copy_.descriptor(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            throw InOutError::fromErrno(errno);
    } else {
        if (!bound_ && copyError_)
            throw *copyError_;
        bool lockedByOther = false;
        fd = openLocked(lockedByOther);
        if (fd < 0)
            throw InOutError::fromErrno(errno);
    }
    FileDescriptor file(fd);
    struct stat st { };
    if (::fstat(fd, &st) != 0)
        throw InOutError::fromErrno(errno);
    openDevice_ = static_cast<uint64_t>(st.st_dev);
    openInode_ = static_cast<uint64_t>(st.st_ino);
    if (copy_.descriptor() < 0)
        logIdentity_ = { openDevice_, openInode_ };
    openSize_ = static_cast<uint64_t>(std::max<off_t>(st.st_size, 0));
    textStart_ = textStartOf(fd);
    fd_ = file.release();
}

void LogText::close()
{
    if (fd_ >= 0)
        ::close(fd_); // releases both locks
    fd_ = -1;
}

void LogText::ensureOpen() const
{
    if (fd_ < 0)
        throw InOutError::notOpen();
}

LineBlocks LogText::stretch(uint64_t from, uint64_t to) const
{
    ensureOpen();
    LineBlocks lines(fd_, from, to, blockSize_);
    if (blockHook_)
        lines.setBlockHook(blockHook_);
    return lines;
}

std::vector<uint64_t> LogText::partStarts() const
{
    ensureOpen();
    std::vector<uint64_t> wanted = plan_.starts;
    const uint64_t text = openSize_ > textStart_ ? openSize_ - textStart_ : 0;
    const uint64_t least = std::max<uint64_t>(plan_.minPartBytes, 1);
    if (wanted.empty() && plan_.parts != 0) {
        const uint64_t parts = std::clamp<uint64_t>(text / least, 1, std::min(plan_.parts, ReadPlan::kMostParts));
        for (uint64_t k = 1; k < parts; ++k)
            wanted.push_back(textStart_ + text / parts * k);
    } else if (wanted.empty() && readers() > 1) {
        // Parts that shrink as the text is used up: while there is a lot left, a reader that is done takes
        // a large part; the last ones are small, so no reader is left with much while the others wait.
        const uint64_t share = 2 * uint64_t { readers() };
        uint64_t taken = 0;
        while (wanted.size() + 1 < ReadPlan::kMostParts) {
            const uint64_t left = text - taken;
            const uint64_t size = std::max(left / share, least);
            // What would be left behind this part is too little for one of its own: it stays with this one.
            if (left < size || left - size < least)
                break;
            taken += size;
            wanted.push_back(textStart_ + taken);
        }
    }
    // Each part begins behind the first line feed at or after the byte in front of its offset.
    std::vector<uint64_t> starts { textStart_ };
    std::vector<char> probe(size_t { 64 } << 10);
    for (const uint64_t offset : wanted) {
        uint64_t at = std::max(offset, starts.back() + 1) - 1;
        uint64_t start = 0;
        while (start == 0 && at < openSize_) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(probe.size(), openSize_ - at));
            const ssize_t n
                = retryInterrupted([&] { return ::pread(fd_, probe.data(), want, static_cast<off_t>(at)); });
            if (n < 0)
                throw InOutError::fromErrno(errno);
            if (n == 0)
                break;
            if (const auto* lineFeed
                = static_cast<const char*>(std::memchr(probe.data(), '\n', static_cast<size_t>(n))))
                start = at + static_cast<uint64_t>(lineFeed - probe.data()) + 1;
            at += static_cast<uint64_t>(n);
        }
        // A part begins with a line: none does behind the last line feed, or where the file ends.
        if (start == 0 || start >= openSize_)
            break;
        starts.push_back(start);
    }
    return starts;
}

unsigned LogText::readers() const
{
    const unsigned wanted = plan_.readers == 0 ? usableProcessors() : plan_.readers;
    return std::clamp(wanted, 1u, ReadPlan::kMostReaders);
}

// At the end of the file: a log only grows while it is read. One that ends before the size it had at the
// opening, or is now shorter than what was read of it, was emptied or cut under the reader; one whose name
// leads to another file now was replaced (the copy is read through its own descriptor and has no name to
// check).
void LogText::checkUnchanged(uint64_t readUpTo) const
{
    ensureOpen();
    struct stat now { };
    if (::fstat(fd_, &now) != 0)
        throw InOutError::fromErrno(errno);
    bool changed = readUpTo < openSize_ || static_cast<uint64_t>(std::max<off_t>(now.st_size, 0)) < readUpTo;
    if (!changed && copy_.descriptor() < 0) {
        struct stat named { };
        changed = ::stat(path_.c_str(), &named) != 0 || static_cast<uint64_t>(named.st_dev) != openDevice_
            || static_cast<uint64_t>(named.st_ino) != openInode_;
    }
    if (changed)
        throw InOutError::logChanged();
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

uint64_t textStartOf(int fd)
{
    char head[kByteOrderMark.size()];
    const ssize_t n = retryInterrupted([&] { return ::pread(fd, head, sizeof head, 0); });
    if (n < 0)
        throw InOutError::fromErrno(errno);
    return std::string_view(head, static_cast<size_t>(n)) == kByteOrderMark ? sizeof head : 0;
}

unsigned usableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<unsigned>(std::max(CPU_COUNT(&set), 1));
    return 1;
}

} // namespace velmar
