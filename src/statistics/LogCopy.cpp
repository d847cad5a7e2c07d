#include "statistics/LogCopy.h"

#include "platform/Errors.h"
#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmar {

LogCopy::~LogCopy()
{
    letGo();
}

void LogCopy::letGo()
{
    if (held_ >= 0)
        ::close(held_);
    held_ = -1;
}

void LogCopy::make(const std::string& logPath, const std::string& startDir)
{
    letGo();
    path_.clear();
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
        ownPath_ = copyPath;
        ownDevice_ = static_cast<uint64_t>(st.st_dev);
        ownInode_ = static_cast<uint64_t>(st.st_ino);
    }
    held_ = copy.release();
    logDevice_ = static_cast<uint64_t>(source.st_dev);
    logInode_ = static_cast<uint64_t>(source.st_ino);
    path_ = copyPath;
}

bool LogCopy::extend(const std::string& logPath)
{
    if (held_ < 0)
        return false;
    FileDescriptor log(openRegularFile(logPath));
    struct stat source { };
    struct stat copy { };
    if (log.get() < 0 || ::fstat(log.get(), &source) != 0 || ::fstat(held_, &copy) != 0)
        throw InOutError::fromErrno(errno);
    if (static_cast<uint64_t>(source.st_dev) != logDevice_ || static_cast<uint64_t>(source.st_ino) != logInode_
        || source.st_size < copy.st_size)
        return false;
    if (::lseek(log.get(), copy.st_size, SEEK_SET) != copy.st_size || ::lseek(held_, 0, SEEK_END) != copy.st_size
        || !copyContent(log.get(), held_))
        throw InOutError::fromErrno(errno);
    return true;
}

void LogCopy::removeOwn()
{
    if (ownPath_.empty())
        return;
    const std::string copyPath = std::exchange(ownPath_, std::string());
    struct stat st { };
    if (::lstat(copyPath.c_str(), &st) != 0)
        return;
    if (static_cast<uint64_t>(st.st_dev) != ownDevice_ || static_cast<uint64_t>(st.st_ino) != ownInode_)
        return;
    deleteFile(copyPath);
}

} // namespace velmar
