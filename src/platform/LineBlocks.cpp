#include "platform/LineBlocks.h"

#include "platform/Errors.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

namespace velmar {

void LineBlocks::Free::operator()(char* p) const noexcept
{
    std::free(p);
}

LineBlocks::LineBlocks(int fd, uint64_t from, uint64_t to, size_t blockSize)
    : fd_(fd)
    , at_(from)
    , to_(std::max(from, to))
    , blockSize_(std::max<size_t>(blockSize, 1))
    , runOffset_(from)
{
}

LineBlocks::~LineBlocks() = default;
LineBlocks::LineBlocks(LineBlocks&&) noexcept = default;
LineBlocks& LineBlocks::operator=(LineBlocks&&) noexcept = default;

// Reads the next block behind the bytes in the buffer; false when nothing is left to read.
bool LineBlocks::readBlock()
{
    if (fileEnded_ || at_ >= to_)
        return false;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(blockSize_, to_ - at_));
    if (filled_ + want > capacity_) {
        // A line longer than a block makes room for itself; every other read fits into what is there.
        const size_t capacity
            = std::max(filled_ + want, std::min(capacity_ * 2, filled_ + want + (size_t { 64 } << 20)));
        auto* grown = static_cast<char*>(std::realloc(buffer_.get(), capacity));
        if (grown == nullptr)
            throw std::bad_alloc();
        (void)buffer_.release();
        buffer_.reset(grown);
        capacity_ = capacity;
    }
    if (blockHook_)
        blockHook_();
    const ssize_t n
        = retryInterrupted([&] { return ::pread(fd_, buffer_.get() + filled_, want, static_cast<off_t>(at_)); });
    if (n < 0) {
        failed_ = true;
        throw InOutError::fromErrno(errno);
    }
    if (n == 0) {
        fileEnded_ = true;
        return false;
    }
    at_ += static_cast<uint64_t>(n);
    filled_ += static_cast<size_t>(n);
    return true;
}

bool LineBlocks::next(std::string_view& run)
{
    run = {};
    if (failed_)
        return false;
    // The run handed out last is done with: what follows it moves to the front.
    if (handed_ != 0) {
        std::memmove(buffer_.get(), buffer_.get() + handed_, filled_ - handed_);
        filled_ -= handed_;
        runOffset_ += handed_;
        handed_ = 0;
    }
    // Only the bytes read since can hold a new last line feed: a long line is not searched again.
    size_t searched = 0;
    for (;;) {
        const bool read = readBlock();
        if (filled_ > searched) {
            const auto* lineFeed
                = static_cast<const char*>(::memrchr(buffer_.get() + searched, '\n', filled_ - searched));
            if (lineFeed != nullptr) {
                handed_ = static_cast<size_t>(lineFeed - buffer_.get()) + 1;
                break;
            }
        }
        searched = filled_;
        if (!read) {
            // The end of the stretch: what is left is its last line.
            handed_ = filled_;
            break;
        }
    }
    if (handed_ == 0)
        return false;
    run = { buffer_.get(), handed_ };
    return true;
}

} // namespace velmar
