#include "platform/TextFile.h"

#include "platform/Errors.h"
#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmar {

namespace {

constexpr int kStandardOutput = 1;

InOutError notOpenForOutput()
{
    return InOutError(TextFile::kNotOpenForOutput, "File not open for output");
}

} // namespace

void StringOutText::write(std::string_view bytes)
{
    text_ += bytes;
}

TextFile::~TextFile()
{
    discard();
}

void TextFile::assign(std::string name)
{
    closeQuietly();
    name_ = std::move(name);
}

void TextFile::openDirectly()
{
    // O_NONBLOCK: a FIFO that nobody reads must not hold the run for ever (it fails with ENXIO instead).
    const int fd = retryInterrupted(
        [&] { return ::open(name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644); });
    if (fd < 0)
        throw InOutError::fromErrno(errno);
    // Once open, a FIFO with a reader or a terminal is written at the pace it takes the bytes.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    ownsFd_ = true;
}

void TextFile::syncInBackground(uint64_t bytes, BackgroundSync::Sync sync)
{
    syncEvery_ = bytes;
    sync_ = std::move(sync);
}

void TextFile::rewrite(const std::vector<std::string>& inputs)
{
    closeQuietly();
    unsynced_ = 0;
    backgroundSyncs_ = 0;
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    if (name_.empty()) {
        // The process may have been started without a standard output.
        if (::fcntl(kStandardOutput, F_GETFD) < 0)
            throw InOutError::fromErrno(errno);
        fd_ = kStandardOutput;
        ownsFd_ = false;
        return;
    }
    // An export must never take the place of a file the program reads.
    for (const std::string& input : inputs) {
        if (!input.empty() && sameFile(name_, input))
            throw InOutError::fromErrno(EACCES);
    }

    struct stat old { };
    const bool exists = ::stat(name_.c_str(), &old) == 0;
    struct stat link { };
    const bool danglingLink = !exists && ::lstat(name_.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    // A link that leads nowhere yet gets its file created through it, as it always did.
    if (danglingLink || (exists && (!S_ISREG(old.st_mode) || old.st_nlink > 1))) {
        openDirectly();
        return;
    }
    const std::string target = exists ? resolveLink(name_) : name_;
    if (exists) {
        // A file the user may not write is refused as it always was, not replaced behind their back.
        const int probe = retryInterrupted([&] { return ::open(target.c_str(), O_WRONLY | O_CLOEXEC); });
        if (probe < 0)
            throw InOutError::fromErrno(errno);
        ::close(probe);
    }

    // The temporary file: a new name of this process beside the target, created exclusively.
    std::string name = target.substr(target.rfind('/') + 1);
    const std::string directory = directoryOf(target);
    static unsigned serial = 0;
    int fd = -1;
    std::string temporary;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = joinPath(
            directory, "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(serial++) + ".tmp");
        fd = retryInterrupted(
            [&] { return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644); });
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int err = errno;
        // A folder where no new file may be created: the file the user may write is written as it always was.
        if (exists && (err == EACCES || err == EPERM || err == EROFS)) {
            openDirectly();
            return;
        }
        throw InOutError::fromErrno(err);
    }
    if (exists) {
        // The new file keeps what the user gave the old one.
        ::fchmod(fd, old.st_mode & 07777);
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner's own files are theirs to give; the mode is kept all the same.
        }
    }
    fd_ = fd;
    ownsFd_ = true;
    target_ = target;
    temporary_ = temporary;
}

void TextFile::write(std::string_view bytes)
{
    if (!isOpen())
        throw notOpenForOutput();
    if (buffer_.size() + bytes.size() <= kBufferSize) {
        buffer_ += bytes;
        return;
    }
    flush();
    if (bytes.size() < kBufferSize) {
        buffer_ += bytes;
        return;
    }
    const size_t done = writeAll(fd_, bytes.data(), bytes.size());
    if (done < bytes.size()) {
        const int err = errno;
        // Keep the unwritten tail so that a quiet close can try it once more.
        buffer_.assign(bytes.substr(done));
        throw InOutError::fromErrno(err);
    }
    written(done);
}

void TextFile::flush()
{
    if (buffer_.empty())
        return;
    const size_t done = writeAll(fd_, buffer_.data(), buffer_.size());
    if (done < buffer_.size()) {
        const int err = errno;
        buffer_.erase(0, done);
        throw InOutError::fromErrno(err);
    }
    written(buffer_.size());
    buffer_.clear();
}

void TextFile::written(size_t bytes)
{
    if (temporary_.empty())
        return;
    unsynced_ += bytes;
    if (unsynced_ < syncEvery_)
        return;
    unsynced_ = 0;
    if (!backgroundSync_) {
        try {
            backgroundSync_ = std::make_unique<BackgroundSync>(fd_, sync_);
        } catch (const std::system_error&) {
            return; // no thread to spare: the sync at the close does it all
        }
    }
    backgroundSync_->request();
}

int TextFile::endBackgroundSync() noexcept
{
    if (!backgroundSync_)
        return 0;
    const int err = backgroundSync_->finish();
    backgroundSyncs_ = backgroundSync_->syncs();
    backgroundSync_.reset();
    return err;
}

int TextFile::release() noexcept
{
    // The background sync uses the descriptor: it ends first.
    endBackgroundSync();
    int err = 0;
    if (ownsFd_ && ::close(fd_) != 0 && errno != EINTR)
        err = errno;
    fd_ = -1;
    ownsFd_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
    return err;
}

void TextFile::commit()
{
    std::string temporary;
    temporary.swap(temporary_);
    if (::rename(temporary.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        throw InOutError::fromErrno(err);
    }
}

void TextFile::close()
{
    if (!isOpen())
        throw InOutError::notOpen();
    try {
        flush();
        // The export is complete on the disk before it takes the place of the older one. A background sync
        // that failed says so here: the failure need not show again in the last sync.
        if (const int err = endBackgroundSync())
            throw InOutError::fromErrno(err);
        if (!temporary_.empty() && retryInterrupted([this] { return ::fsync(fd_); }) != 0)
            throw InOutError::fromErrno(errno);
    } catch (...) {
        discard();
        throw;
    }
    if (const int err = release()) {
        if (!temporary_.empty())
            ::unlink(temporary_.c_str());
        temporary_.clear();
        throw InOutError::fromErrno(err);
    }
    if (!temporary_.empty())
        commit();
}

void TextFile::closeQuietly() noexcept
{
    if (!isOpen())
        return;
    try {
        close();
    } catch (...) {
        // Whatever reached a file written directly stays there; a temporary file is gone.
    }
}

void TextFile::discard() noexcept
{
    if (!isOpen())
        return;
    if (temporary_.empty()) {
        try {
            flush();
        } catch (...) {
            // Whatever reached the file stays there; the rest is given up.
        }
    }
    release();
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

} // namespace velmar
