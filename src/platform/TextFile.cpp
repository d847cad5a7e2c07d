#include "platform/TextFile.h"

#include "platform/Errors.h"
#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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
    closeQuietly();
}

void TextFile::assign(std::string name)
{
    closeQuietly();
    name_ = std::move(name);
}

void TextFile::rewrite()
{
    closeQuietly();
    if (name_.empty()) {
        // The process may have been started without a standard output.
        if (::fcntl(kStandardOutput, F_GETFD) < 0)
            throw InOutError::fromErrno(errno);
        fd_ = kStandardOutput;
        ownsFd_ = false;
    } else {
        int fd;
        do
            fd = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        while (fd < 0 && errno == EINTR);
        if (fd < 0)
            throw InOutError::fromErrno(errno);
        fd_ = fd;
        ownsFd_ = true;
    }
    buffer_.clear();
    buffer_.reserve(kBufferSize);
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
    buffer_.clear();
}

int TextFile::release() noexcept
{
    int err = 0;
    if (ownsFd_ && ::close(fd_) != 0 && errno != EINTR)
        err = errno;
    fd_ = -1;
    ownsFd_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
    return err;
}

void TextFile::close()
{
    if (!isOpen())
        throw InOutError(kNotOpen, "File not open");
    try {
        flush();
    } catch (...) {
        release();
        throw;
    }
    if (const int err = release())
        throw InOutError::fromErrno(err);
}

void TextFile::closeQuietly() noexcept
{
    if (!isOpen())
        return;
    try {
        flush();
    } catch (...) {
        // Whatever reached the file stays there; the rest is given up.
    }
    release();
}

} // namespace velmar
