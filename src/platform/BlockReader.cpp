#include "platform/BlockReader.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Memory.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>

namespace velmar {

// The thread that reads the blocks, one at a time, for as long as the reader exists.
class BlockReader::Thread {
public:
    explicit Thread(BlockReader& reader)
        : reader_(reader)
        , thread_([this] { run(); })
    {
    }

    ~Thread()
    {
        wait();
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts reading the block of the slot; the thread must be idle.
    void start(size_t slot)
    {
        {
            const std::lock_guard lock(mutex_);
            slot_ = slot;
            busy_ = true;
        }
        wake_.notify_one();
    }

    // Waits until the block started last is read.
    void wait()
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return !busy_; });
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || busy_; });
            if (!busy_)
                return;
            const size_t slot = slot_;
            lock.unlock();
            reader_.read(slot);
            lock.lock();
            busy_ = false;
            done_.notify_one();
        }
    }

    BlockReader& reader_;
    std::mutex mutex_;
    std::condition_variable wake_; // a block to read, or the end
    std::condition_variable done_; // the block is read
    size_t slot_ = 0;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_; // last: it starts once the rest is ready
};

BlockReader::BlockReader(int fd, size_t blockSize, Work work)
    : fd_(fd)
    , blockSize_(std::max<size_t>(blockSize, 1))
    , work_(std::move(work))
{
    for (Block& block : blocks_)
        block.bytes = makeLargeBuffer(blockSize_);
}

BlockReader::~BlockReader() = default;

// Runs on the reading thread: touches nothing but the descriptor and the block of the slot.
void BlockReader::read(size_t slot) noexcept
{
    Block& block = blocks_[slot];
    block.size = 0;
    block.error = 0;
    const ssize_t n = retryInterrupted([&] { return ::read(fd_, block.bytes.get(), blockSize_); });
    if (n < 0)
        block.error = errno;
    else
        block.size = static_cast<size_t>(n);
    if (work_)
        work_(slot, block.bytes.get(), block.size);
}

void BlockReader::readAhead()
{
    if (!thread_)
        thread_ = std::make_unique<Thread>(*this);
    thread_->start(ahead_);
    reading_ = true;
}

size_t BlockReader::take()
{
    // The first block, or one whose read failed, is read now.
    if (!reading_)
        readAhead();
    thread_->wait();
    reading_ = false;
    if (blocks_[ahead_].error != 0)
        throw InOutError::fromErrno(blocks_[ahead_].error);
    // The block taken last may still be in use: it becomes the one before, and the block before that is
    // free for the next read.
    const size_t freed = before_;
    before_ = current_;
    current_ = ahead_;
    ahead_ = freed;
    return current_;
}

} // namespace velmar
